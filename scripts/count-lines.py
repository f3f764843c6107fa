#!/usr/bin/python3
"""Size of the test suite against the product: lines that are neither blank nor comment-only.

Test code: C, C++, Python and shell under tests/ and fuzz/. Product: every other C and C++ file
except bench/. Data (sessions, expected texts, .cfg seeds, fuzz corpora) is counted apart.
Usage: scripts/count-lines.py [ROOT [PART...]]   (PART: e.g. tests/panel, counted on its own too)
"""
import os
import sys

CODE = {".c": "c", ".cpp": "c", ".h": "c", ".hpp": "c", ".py": "hash", ".sh": "hash"}
SKIP_DIRS = {".git", "bench"}


def code_lines(path, style):
    count, in_block = 0, False
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.strip()
            if style == "hash":
                if line and not line.startswith("#"):
                    count += 1
                continue
            if in_block:
                end = line.find("*/")
                if end < 0:
                    continue
                in_block, line = False, line[end + 2:].strip()
            if line.startswith("/*"):
                end = line.find("*/", 2)
                if end < 0:
                    in_block = True
                    continue
                line = line[end + 2:].strip()
            if line and not line.startswith("//"):
                count += 1
    return count


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    parts = {os.path.normpath(p): 0 for p in sys.argv[2:]}
    tests = product = data = 0
    for top in sorted(os.listdir(root)):
        if top in SKIP_DIRS or top.startswith("build") or not os.path.isdir(os.path.join(root, top)):
            continue
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs[:] = [d for d in dirs if d != ".git"]
            for name in files:
                path = os.path.join(folder, name)
                style = CODE.get(os.path.splitext(name)[1])
                in_tests = top in ("tests", "fuzz")
                if style is None:
                    if in_tests and name != "CMakeLists.txt":
                        with open(path, "rb") as f:
                            data += sum(1 for line in f if line.strip())
                    continue
                if in_tests:
                    n = code_lines(path, style)
                    tests += n
                    rel = os.path.relpath(path, root)
                    for part in parts:
                        if rel.startswith(part + os.sep):
                            parts[part] += n
                elif style == "c":
                    product += code_lines(path, style)
    print(f"test code {tests}, product code {product}: {100 * tests / product:.1f} %; "
          f"test data {data} non-blank lines")
    for part, n in parts.items():
        print(f"{part}: {n}")


if __name__ == "__main__":
    main()
