#!/usr/bin/python3
"""Plants faults in the product one at a time and records which tests catch each.

A fault file holds blocks separated by blank lines:
    [ID] path/to/file.cpp: what the fault does
    - exact text (must occur once in the file)
    + replacement (may be empty)
Consecutive "- " lines are one text of several lines, the "+ " lines after them its replacement.
Usage:
    scripts/plant-faults.py check FAULTS            every block applies to the tree
    scripts/plant-faults.py run FAULTS BUILD OUT [ID...]
The tree must be built in BUILD; each fault is built and the suite run (ctest) with it, then the
file is put back. OUT gets one line per fault: ID, then the failing tests, or "-" for none,
"build-failed" when the fault does not compile.
"""
import fcntl
import os
import re
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


def read_faults(path):
    faults, block = [], []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for line in lines + [""]:
        if line.strip() == "":
            if block:
                faults.append(parse_block(block))
                block = []
        elif not line.startswith("#") or block:
            block.append(line)
    return faults


def parse_block(block):
    head = re.match(r"\[(\S+)\]\s+(\S+?):\s*(.*)", block[0])
    if not head:
        sys.exit(f"bad fault header: {block[0]}")
    edits, find, repl = [], [], []
    for line in block[1:] + ["- "]:
        if line.startswith("- ") or line == "-":
            if repl:
                edits.append(("\n".join(find), "\n".join(repl)))
                find, repl = [], []
            find.append(line[2:])
        elif line.startswith("+"):
            if not find:
                sys.exit(f"{head.group(1)}: '+' without '-'")
            repl.append(line[2:])
        else:
            sys.exit(f"{head.group(1)}: bad line {line!r}")
    if len(find) > 1:
        sys.exit(f"{head.group(1)}: '-' without '+'")
    return {"id": head.group(1), "file": head.group(2), "what": head.group(3), "edits": edits}


def apply(fault, root):
    path = os.path.join(root, fault["file"])
    with open(path, encoding="utf-8") as f:
        original = f.read()
    text = original
    for find, replace in fault["edits"]:
        n = text.count(find)
        if n != 1:
            return original, None, f"{fault['id']}: {find!r} occurs {n} times in {fault['file']}"
        text = text.replace(find, replace)
    return original, text, None


def check(faults, root):
    ok = True
    seen = set()
    for fault in faults:
        if fault["id"] in seen:
            print(f"{fault['id']}: id used twice")
            ok = False
        seen.add(fault["id"])
        _, _, error = apply(fault, root)
        if error:
            print(error)
            ok = False
    print(f"{len(faults)} faults" + ("" if ok else ", some do not apply"))
    return ok


def failing_tests(build):
    # PLANT_CTEST_ARGS narrows the run, e.g. "-R quillonctl" for a fault in one part.
    extra = os.environ.get("PLANT_CTEST_ARGS", "").split()
    run = subprocess.run(["ctest", "-j2", "--timeout", "60", *extra], cwd=build, capture_output=True,
                         text=True)
    failed = []
    listing = False
    for line in run.stdout.splitlines():
        if "The following tests FAILED" in line:
            listing = True
        elif listing:
            m = re.match(r"\s*\d+ - (\S+)", line)
            if m:
                failed.append(m.group(1))
    return failed


def run(faults, build, out, only):
    # Two runs in one tree would plant their faults on top of each other.
    lock = open(os.path.join(ROOT, ".plant-faults.lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit("another run is planting faults in this tree")
    done = set()
    if os.path.exists(out):
        with open(out) as f:
            done = {line.split()[0] for line in f if line.strip()}
    for fault in faults:
        if (only and fault["id"] not in only) or fault["id"] in done:
            continue
        original, text, error = apply(fault, ROOT)
        if error:
            print(error)
            continue
        path = os.path.join(ROOT, fault["file"])
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            built = subprocess.run(["cmake", "--build", build, "-j2"], capture_output=True)
            result = failing_tests(build) if built.returncode == 0 else ["build-failed"]
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        line = f"{fault['id']} {' '.join(result) if result else '-'}"
        print(line, flush=True)
        with open(out, "a") as f:
            f.write(line + "\n")


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("check", "run"):
        sys.exit(__doc__)
    faults = read_faults(sys.argv[2])
    if sys.argv[1] == "check":
        sys.exit(0 if check(faults, ROOT) else 1)
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    run(faults, os.path.abspath(sys.argv[3]), sys.argv[4], set(sys.argv[5:]))


if __name__ == "__main__":
    main()
