#!/usr/bin/env python3
"""Records which test runs which source line, one test at a time.

    scripts/test_coverage.py --build DIR [--exclude REGEX] [--out FILE]

DIR is a build configured with `-DCMAKE_CXX_FLAGS="--coverage -O0"` and built. For each test
that `ctest -N` lists (and --exclude does not name) it removes the counters, runs that test
alone and reads the counters back with `gcov`. FILE (default test_coverage.json) then holds,
for each file under the source folder's src/, the lines each test ran, the test's time and
whether it passed, and a hash of the file, so that a later reader can tell when the file has
changed since. scripts/mutants.py uses it to run, for a fault on a line, only the tests that
run that line.
"""

import argparse
import glob
import hashlib
import json
import os
import re
import subprocess
import sys
import time


def test_names(build, exclude):
    out = subprocess.run(["ctest", "--test-dir", build, "-N"], stdout=subprocess.PIPE, check=True)
    names = re.findall(r"^\s*Test\s+#\d+: (\S+)$", out.stdout.decode(), re.M)
    return [n for n in names if not (exclude and re.search(exclude, n))]


def source_root(build):
    for line in open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8"):
        if line.startswith("CMAKE_HOME_DIRECTORY:INTERNAL="):
            return line.split("=", 1)[1].strip()
    sys.exit("test_coverage: %s has no CMakeCache.txt naming its source" % build)


def lines_run(build, root):
    """{relative file: {line: ran}} from the counters the last test left, for every line
    that holds code (a line with none, such as a member's initial value, is not named)."""
    counters = glob.glob(os.path.join(build, "**", "*.gcda"), recursive=True)
    if not counters:
        return {}
    out = subprocess.run(["gcov", "-j", "-t"] + counters, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, cwd=build).stdout
    ran = {}
    for chunk in out.split(b"\n"):
        if not chunk.strip():
            continue
        try:
            doc = json.loads(chunk)
        except ValueError:
            continue
        for f in doc["files"]:
            name = os.path.normpath(os.path.join(doc.get("current_working_directory", ""), f["file"]))
            if not name.startswith(os.path.join(root, "src") + os.sep):
                continue
            per_line = ran.setdefault(os.path.relpath(name, root), {})
            for l in f["lines"]:
                per_line[l["line_number"]] = per_line.get(l["line_number"], False) or l["count"] > 0
    return ran


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--exclude", default=None, help="ctest names (regular expression) not to run")
    ap.add_argument("--out", default="test_coverage.json")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    root = source_root(build)
    tests, lines = [], {}
    names = test_names(build, a.exclude)
    for i, name in enumerate(names):
        for g in glob.glob(os.path.join(build, "**", "*.gcda"), recursive=True):
            os.remove(g)
        start = time.time()
        rc = subprocess.run(["ctest", "--test-dir", build, "-R", "^%s$" % re.escape(name), "--timeout", "300"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        seconds = time.time() - start
        tests.append({"name": name, "seconds": round(seconds, 3), "passed": rc == 0})
        for f, ran in lines_run(build, root).items():
            per_line = lines.setdefault(f, {})
            for n, hit in ran.items():
                tests_of_line = per_line.setdefault(str(n), [])
                if hit:
                    tests_of_line.append(i)
        print("[%d/%d] %s %.1f s%s" % (i + 1, len(names), name, seconds, "" if rc == 0 else " FAILED"), flush=True)
    sources = glob.glob(os.path.join(root, "src", "**", "*.[ch]*"), recursive=True)
    hashes = {os.path.relpath(f, root): hashlib.sha1(open(f, "rb").read()).hexdigest() for f in sources}
    with open(a.out, "w", encoding="utf-8") as h:
        json.dump({"tests": tests, "lines": lines, "hashes": hashes}, h)
    return 0


if __name__ == "__main__":
    sys.exit(main())
