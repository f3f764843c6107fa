#!/usr/bin/python3
"""quillon-tango's figures: an attribute read, the Status round trip through TANGO to the
pseudo-terminal controller and back decoded, and a 1000-cycle run's change events.

usage: tango_bench.py BUILD_DIR
"""

import os
import statistics
import sys
import tempfile
import time

build = sys.argv[1]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tango"))
sys.argv = sys.argv[:1]
import server_test  # noqa: E402

server_test.BUILD = build


def figure(name, value, unit, goal=None, at_least=False):
    met = goal is None or (value >= goal if at_least else value <= goal)
    bound = "no goal" if goal is None else f"goal {'>=' if at_least else '<='} {goal:g} {unit}"
    print(f"FIGURE {name}: {value:.3f} {unit} ({bound})" + ("" if goal is None else
          " met" if met else " NOT MET"), flush=True)


def timed(call, count):
    times = []
    for _ in range(count):
        start = time.perf_counter()
        call()
        times.append((time.perf_counter() - start) * 1000)
    times.sort()
    return statistics.median(times), times[int(len(times) * 0.99) - 1]


with tempfile.TemporaryDirectory() as folder:
    pty = server_test.SimPty(folder)
    server = server_test.Server(folder, {"Driver": "tty"}, pty.env)
    try:
        dev = server.proxy
        median, p99 = timed(lambda: dev.CyclesLeft, 1000)
        figure("TANGO read of CyclesLeft, median of 1000", median, "ms", 1)
        figure("TANGO read of CyclesLeft, 99th percentile", p99, "ms")
        median, p99 = timed(dev.Refresh, 200)
        figure("TANGO Refresh (status round trip, pseudo-terminal), median of 200", median, "ms", 5)
        figure("TANGO Refresh, 99th percentile", p99, "ms")
    finally:
        server.stop()
        pty.pull()

import database_test  # noqa: E402

with tempfile.TemporaryDirectory() as folder:
    cycles = database_test.main(build, folder, 1000)
figure("TANGO change events of a 1000-cycle run at the fastest cycle, cycles counted once",
       cycles, "cycles", 1000, at_least=True)
