#!/usr/bin/python3
"""A timed exposure series: three exposures of 250 ms, 0.5 s apart, through one quillonctl shell."""
import json
import os
import subprocess
import sys
import time

command = os.environ.get("QUILLONCTL", "quillonctl").split() + ["--json", "shell"]
tool = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)


def ask(line, last=lambda reply: reply["type"] != "event"):
    """Sends one command line; returns its reply lines (each with the time it came) up to the last."""
    tool.stdin.write(line + "\n")
    tool.stdin.flush()
    replies = []
    while True:
        text = tool.stdout.readline()
        if not text:
            sys.exit(f"quillonctl ended during '{line}' (status {tool.wait()})")
        reply = json.loads(text)
        if reply["type"] == "error":
            sys.exit(f"'{line}': {reply['class']}: {reply['message']}")
        reply["at"] = time.monotonic()
        replies.append(reply)
        if last(reply):
            return replies


ask("timer exposure 0:00:00.2500")
ask("timer closed 0:00:00.5000")
ask("repeat 3")
status = ask("status")[-1]
if (status["exposure-time"], status["closed-time"], status["repeat"]) != (250.0, 500.0, 3):
    sys.exit(f"the controller did not take the series: {status}")

events = ask("run go --wait", last=lambda reply: reply.get("event") == "run-end")
shutter = [e for e in events if e.get("event") == "shutter"]
left = [e["left"] for e in events if e.get("event") == "cycle"]
if [e["state"] for e in shutter] != ["opened", "closed"] * 3 or left != [2, 1, 0]:
    sys.exit(f"the run did not go as set: {events}")
for n, (opened, closed) in enumerate(zip(shutter[::2], shutter[1::2]), 1):
    print(f"exposure {n}: shutter open {1000 * (closed['at'] - opened['at']):.0f} ms")

tool.stdin.close()
sys.exit(tool.wait())
