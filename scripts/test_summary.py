#!/usr/bin/env python3
"""Prints the summary of a scripts/test.sh run and exits non-zero if anything failed or did
not run.

Reads the stage table test.sh writes (one line per stage: name, result, seconds, kind,
report) and, for ctest stages, the JUnit file ctest wrote; for fuzz stages, the fuzzer's log.
A stage without tests of its own (setup, format, a build) counts as one check; a stage that
did not run because what it needs failed counts as one failure.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree


def skip_reason(output):
    """The reason a skipped test gave: GoogleTest's message after its "Skipped" line, else
    the last line that speaks of skipping, else the last line of output."""
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    for index, line in enumerate(lines):
        if line.endswith(": Skipped") and index + 1 < len(lines):
            reason = lines[index + 1]
            if not reason.startswith("[  SKIPPED ]"):
                return reason
    for line in reversed(lines):
        if re.search(r"skip", line, re.IGNORECASE) and not line.startswith("[  SKIPPED ]"):
            return line
    return lines[-1] if lines else "(the test gave no reason)"


def ctest_counts(path):
    """(passed, failed, skipped, [(test, reason)], [failed test]) from a ctest JUnit file."""
    try:
        suite = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        return 0, 1, 0, [], ["(no test report: %s)" % error]
    passed = failed = skipped = 0
    skips, failures = [], []
    for case in suite.iter("testcase"):
        name = case.get("name")
        output = case.findtext("system-out") or ""
        status = case.get("status")
        skip = case.find("skipped")
        if status == "run":
            passed += 1
        elif status == "notrun" and skip is not None and \
                skip.get("message", "").startswith("SKIP_"):
            skipped += 1
            skips.append((name, skip_reason(output)))
        else:
            # Failures, and tests ctest did not run because a fixture they need failed.
            failed += 1
            why = skip.get("message") if skip is not None else None
            failures.append(name + (" (not run: %s)" % why if why else ""))
    return passed, failed, skipped, skips, failures


def fuzz_executions(path):
    try:
        with open(path, errors="replace") as log:
            found = re.findall(r"stat::number_of_executed_units:\s*(\d+)", log.read())
    except OSError:
        return None
    return int(found[-1]) if found else None


def main(stage_table):
    rows, all_skips, all_failures = [], [], []
    totals = [0, 0, 0]
    incomplete = False
    with open(stage_table) as table:
        for line in table:
            name, result, seconds, kind, report = line.rstrip("\n").split("\t")
            counts = [0, 0, 0]
            note = ""
            if result == "notrun":
                counts = [0, 1, 0]
                note = "not run"
                incomplete = True
                all_failures.append("%s: the stage did not run" % name)
            elif result == "skipped":
                counts = [0, 0, 1]
                note = "skipped (--quick)"
                all_skips.append((name, "the whole stage", "--quick leaves it out"))
            elif kind == "ctest":
                passed, failed, skipped, skips, failures = ctest_counts(report)
                if result == "failed" and failed == 0:
                    failed = 1  # ctest itself failed (no test, or a test that timed out)
                    failures.append("(ctest failed; see its output above)")
                counts = [passed, failed, skipped]
                all_skips += [(name, test, why) for test, why in skips]
                all_failures += ["%s: %s" % (name, test) for test in failures]
            else:
                counts = [1, 0, 0] if result == "passed" else [0, 1, 0]
                if result != "passed":
                    all_failures.append(name)
                if kind == "fuzz":
                    runs = fuzz_executions(report)
                    if runs is not None:
                        note = "%d executions" % runs
            totals = [a + b for a, b in zip(totals, counts)]
            rows.append((name, result, int(seconds), counts, note))

    print("== summary")
    print("%-22s %-8s %7s %7s %7s %8s" % ("stage", "result", "time", "passed", "failed",
                                        "skipped"))
    for name, result, seconds, counts, note in rows:
        print("%-22s %-8s %5d s %7d %7d %8d  %s" % (name, result, seconds, *counts, note))
    print("total time: %d s" % sum(row[2] for row in rows))
    if all_skips:
        print("skipped:")
        for stage, test, why in all_skips:
            print("  %s: %s: %s" % (stage, test, why))
    if all_failures:
        print("failed:")
        for failure in all_failures:
            print("  " + failure)
    print("%d passed, %d failed, %d skipped" % tuple(totals))
    return 1 if totals[1] or incomplete else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: test_summary.py STAGES.tsv")
    sys.exit(main(sys.argv[1]))
