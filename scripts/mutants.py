#!/usr/bin/env python3
"""Puts every fault mutate.py knows into a file, one at a time, and runs only the tests that
run the changed line.

    scripts/mutants.py --build DIR --coverage FILE [--max N --seed S] [--part K/N]
                       [--results FILE] SOURCE...
    scripts/mutants.py --report --results FILE

mutate.py (../shared/tools/mutate.py, or --mutate) finds the fault sites and draws a sample;
this runs all of them (or, with --max and --seed, the very sample mutate.py would draw from
the same files: a fresh estimate of the share of faults the tests notice), which mutate.py's
way, a whole build and a fixed set of tests per fault, makes a matter of days. What makes
it fast:
- FILE is the map scripts/test_coverage.py wrote: for a fault on a line, only the tests that
  ran that line can notice it; they run one at a time, quickest first, and the first that
  fails ends the fault's run. The test programs are built first; the rest of the build,
  which runs maptool itself, only when a test needs it.
- A fault on a line no test ran is a survivor at once, with no build.
Each result is appended to --results (JSON lines) as it is known, and a run started again
skips the faults already there, so a long sweep can be stopped and resumed; --part 1/2 and
2/2 split a plan between two worktrees. The SOURCE files must be as they were when the map
was made (their hashes are compared) and committed.
"""

import argparse
import hashlib
import json
import os
import random
import re
import runpy
import signal
import subprocess
import sys
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))


def load_mutate(path):
    """mutate.py's functions, read from its file (its command line does not run)."""
    return types.SimpleNamespace(**runpy.run_path(path))


def run(cmd, timeout):
    """(status, output); on a timeout the whole process group goes, so that a hung test's
    children do not live on."""
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return "timeout", ""


def batches_for(line, per_line, tests):
    """The runs that can notice a fault on the line, each a list of tests for one ctest call
    that stops at the first failure: the tests that ran the line, quickest first, one by
    one (the first of them usually fails), then the rest of them in one call. A line the
    counters name with no test is run by none. For a line they do not name (a statement's
    second line, a member's initial value) the nearest named line above it within a few
    lines stands in, and every other test that ran the file (for a file with no named line,
    every test) follows in a last call. A test that failed while the map was made (under a
    file size limit, or in a folder it made read-only, gcov cannot write its counters) may
    run lines the map does not give it: it joins the last call of every fault."""
    def quickest(ids):
        return sorted(ids, key=lambda i: tests[i]["seconds"])

    everything = quickest({i for ran in per_line.values() for i in ran})
    unmapped = quickest(i for i, test in enumerate(tests) if not test["passed"])
    first, named = [], False
    for n in range(line, max(0, line - 4), -1):
        if str(n) in per_line:
            first, named = quickest(per_line[str(n)]), n == line
            break
    if named and not first:
        return [unmapped] if unmapped else []
    if not everything:
        # A header's member initial value or default argument: no line of the file is
        # named, and any test may run the code that uses it.
        everything = quickest(range(len(tests)))
    rest = first[3:] + ([] if named else [i for i in everything if i not in set(first)])
    rest += [i for i in unmapped if i not in set(first[:3] + rest)]
    return [[i] for i in first[:3]] + ([rest] if rest else [])


def report(path):
    per_file = {}
    for line in open(path, encoding="utf-8"):
        r = json.loads(line)
        per_file.setdefault(r["file"], []).append(r)
    total = {"killed": 0, "survived": 0, "broken": 0}
    for f, rs in per_file.items():
        count = {v: sum(r["verdict"] == v for r in rs) for v in total}
        for v in total:
            total[v] += count[v]
        print("%s: %d of %d noticed, %d did not compile" % (f, count["killed"], count["killed"] + count["survived"], count["broken"]))
        for r in rs:
            if r["verdict"] == "survived":
                print("  %d%s\n    - %s\n    + %s" % (r["line"], " (no test runs it)" if not r["tests"] else "", r["old"], r["new"].strip()))
    tried = total["killed"] + total["survived"]
    print("all: %d of %d noticed (%.1f%%), %d did not compile" % (total["killed"], tried, 100.0 * total["killed"] / max(tried, 1), total["broken"]))
    return 0


def ctest(a, names, limit, total):
    """(status, the names that passed, the first that failed or None) of one ctest call."""
    rc, out = run(["ctest", "--test-dir", a.build, "--stop-on-failure", "-R", names,
                   "--timeout", str(limit)], total)
    passed = set(re.findall(r"Test\s+#\d+: (\S+) \.+\s+Passed", out))
    failed = re.search(r"Test\s+#\d+: (\S+) \.*[^\n]*\*\*\*(?!Skipped)", out)
    return rc, passed, failed.group(1) if failed else None


def run_tests(a, batch, tests, mapped):
    """("killed", the test that failed) or ("survived", None) for one batch. A test that
    fails is run again alone with more time before it counts: a script that drives a
    browser or npm can miss its time on a loaded machine, and such a failure says nothing
    of the fault."""
    if not mapped:
        rc, _, failed = ctest(a, a.tests, 60, 1800)
        return ("survived", None) if rc == 0 else ("killed", failed or "?")
    seconds = {tests[i]["name"]: tests[i]["seconds"] for i in batch}
    left = list(seconds)
    while left:
        limit = max(60, int(10 * max(seconds[n] for n in left)))
        names = "^(%s)$" % "|".join(re.escape(n) for n in left)
        rc, passed, failed = ctest(a, names, limit, limit * len(left) + 60)
        if rc == 0:
            return "survived", None
        if failed is None or rc == "timeout":
            return "killed", (failed or "?") + (" (timeout)" if rc == "timeout" else "")
        again, _, _ = ctest(a, "^%s$" % re.escape(failed), 3 * limit, 3 * limit + 60)
        if again != 0:
            return "killed", failed
        print("  %s failed once and passed alone: not counted" % failed, flush=True)
        left = [n for n in left if n not in passed and n != failed]
    return "survived", None


# The programs the GoogleTest tests run. The whole build also runs maptool (to write the
# completion scripts, say), which a fault can break or hang: that counts as noticed.
PROGRAMS = ["mapmaker", "maptool", "unit_tests", "end_to_end_tests", "maptool_tests"]


def try_fault(a, chosen, tests, mapped):
    """Builds the programs with the fault in and runs the batches: the first batches, when
    they are GoogleTest tests, before the rest of the build."""
    rc, out = run(["cmake", "--build", a.build, "--target"] + PROGRAMS, 600)
    if rc != 0:
        return "broken", None
    whole_build = False
    for batch in chosen:
        if not whole_build and not (mapped and len(batch) == 1 and "." in tests[batch[0]]["name"]):
            rc, out = run(["cmake", "--build", a.build], 180)
            if rc != 0:
                return "killed", "the build's own run of maptool" + (" (timeout)" if rc == "timeout" else "")
            whole_build = True
        verdict, by = run_tests(a, batch, tests, mapped)
        if verdict == "killed":
            return verdict, by
    return "survived", None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("sources", nargs="*")
    ap.add_argument("--build")
    ap.add_argument("--coverage")
    ap.add_argument("--mutate", default=os.path.join(HERE, "..", "..", "shared", "tools", "mutate.py"))
    ap.add_argument("--results", default="mutants.jsonl")
    ap.add_argument("--max", type=int, default=0, help="run only mutate.py's sample of this size")
    ap.add_argument("--seed", type=int, default=1, help="with --max: mutate.py's seed")
    ap.add_argument("--part", default="1/1", metavar="K/N", help="run every Nth fault of the plan from the Kth")
    ap.add_argument("--report", action="store_true", help="sum up --results and list its survivors")
    ap.add_argument("--retry", metavar="FILE", help="run again only the survivors FILE lists (with --coverage, or --tests)")
    ap.add_argument("--tests", metavar="REGEX", help="with --retry and no --coverage: the ctest names to run for each")
    a = ap.parse_args()
    if a.report:
        return report(a.results)
    if not (a.sources and a.build and (a.coverage or (a.retry and a.tests))):
        ap.error("SOURCE and --build, and --coverage or --retry with --tests, are needed for a run")
    mutate = load_mutate(a.mutate)
    cover = json.load(open(a.coverage, encoding="utf-8")) if a.coverage else None
    tests = cover["tests"] if cover else [{"name": a.tests, "seconds": 6}]
    wanted = None
    if a.retry:
        # Lines move when a file is mended: a survivor is known again by its text.
        wanted = set()
        for line in open(a.retry, encoding="utf-8"):
            r = json.loads(line)
            if r["verdict"] == "survived":
                wanted.add((r["file"], r["old"], r["new"]))
    for f in a.sources:
        if cover and hashlib.sha1(open(f, "rb").read()).hexdigest() != cover["hashes"].get(f):
            sys.exit("mutants: %s changed since the coverage map was made; make it again" % f)
        if subprocess.run(["git", "diff", "--quiet", "--", f]).returncode != 0:
            sys.exit("mutants: %s has uncommitted changes; commit or stash them first" % f)
    done = set()
    if os.path.exists(a.results):
        for line in open(a.results, encoding="utf-8"):
            r = json.loads(line)
            done.add((r["file"], r["line"], r["new"]))
    # A run stopped while a fault was being compiled can leave an object newer than the
    # file put back: make the files newer still.
    for f in a.sources:
        os.utime(f)
    rc, out = run(["cmake", "--build", a.build], 3600)
    if rc != 0:
        sys.exit("mutants: the build fails before any change:\n" + out[-2000:])

    original = {}

    def restore(*_):
        for f, text in original.items():
            with open(f, "w", encoding="utf-8", errors="surrogateescape") as h:
                h.write(text)

    signal.signal(signal.SIGINT, lambda *_: (restore(), sys.exit(130)))
    signal.signal(signal.SIGTERM, lambda *_: (restore(), sys.exit(143)))
    # The plan: every site of every file, or the very sample mutate.py would draw with the
    # same files, --max and --seed (split among workers with --part).
    plan = []
    for f in a.sources:
        lines, found = mutate.sites(f)
        plan += [(f, lines) + site for site in found]
    if a.max:
        random.Random(a.seed).shuffle(plan)
        plan = plan[:a.max]
    part, parts = map(int, a.part.split("/"))
    plan = plan[part - 1::parts]
    results = open(a.results, "a", encoding="utf-8")
    try:
        for f, lines, n, old, new in plan:
            if (f, n + 1, new) in done or (wanted is not None and (f, old.strip(), new) not in wanted):
                continue
            text = "\n".join(lines)
            original[f] = text
            per_line = cover["lines"].get(f, {}) if cover else {}
            chosen = batches_for(n + 1, per_line, tests) if cover else [[0]]
            start = time.time()
            verdict, by = "survived", None
            if chosen:
                with open(f, "w", encoding="utf-8", errors="surrogateescape") as h:
                    h.write("\n".join(lines[:n] + [new] + lines[n + 1:]))
                verdict, by = try_fault(a, chosen, tests, cover is not None)
                with open(f, "w", encoding="utf-8", errors="surrogateescape") as h:
                    h.write(text)
            else:
                by = "no test runs this line"
            r = {"file": f, "line": n + 1, "old": old.strip(), "new": new, "verdict": verdict,
                 "by": by, "tests": sum(map(len, chosen)), "seconds": round(time.time() - start, 1)}
            results.write(json.dumps(r) + "\n")
            results.flush()
            print("%s:%d %s%s" % (f, n + 1, verdict, " (%s)" % by if by else ""), flush=True)
    finally:
        restore()
        run(["cmake", "--build", a.build], 3600)
    return 0


if __name__ == "__main__":
    sys.exit(main())
