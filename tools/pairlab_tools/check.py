"""The check of a sweep before any job runs: the program's check mode (-checkonly 1) for every
point, as the point's run of all its replicates, in a folder holding the sweep's user files.

A point is refused when the program would stop it (with the program's own message), when a swept
option has no effect at that point (the program's "Not applied: -<option>: <reason>" on standard
error), and when its replicates would all be identical (-numfiles not applied to more than one
replicate)."""

import shutil
import subprocess
import tempfile
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field

from .plan import canonical, column_of, is_option

NOT_APPLIED = "Not applied: "
OUTPUT_DIRECTORY = "Output directory: "


@dataclass
class PointCheck:
    point: int
    status: int
    message: str = ""                                  # why the run would stop ('' if it runs)
    not_applied: dict = field(default_factory=dict)    # option as printed -> reason
    output: str = ""                                   # the output directory it would write


def read_check(point, status, stdout, stderr):
    """The outcome of one check from what the program printed."""
    check = PointCheck(point, status)
    other = []
    for line in (stdout + "\n" + stderr).splitlines():
        line = line.strip()
        if line.startswith(NOT_APPLIED):
            option, _, reason = line[len(NOT_APPLIED):].partition(": ")
            check.not_applied[option.strip()] = reason.strip()
        elif line.startswith(OUTPUT_DIRECTORY):
            check.output = line[len(OUTPUT_DIRECTORY):].strip()
        elif line and not line.startswith("Seed:"):
            other.append(line)
    if status != 0:
        check.message = " ".join(other) or f"the check stopped with status {status}"
    return check


def run_checks(binary, arguments, files, workers):
    """Runs the check of every point (arguments: the command line of each point) in a temporary
    folder holding copies of the user files; returns a PointCheck per point, in order."""
    with tempfile.TemporaryDirectory(prefix="pairlab-sweep-check-") as folder:
        for file in files:
            shutil.copy2(file, folder)

        def check(point):
            try:
                run = subprocess.run([str(binary), *arguments[point]], cwd=folder,
                                     capture_output=True, text=True, errors="replace")
            except OSError as error:
                return PointCheck(point, 127, f"cannot start {binary}: {error}")
            return read_check(point, run.returncode, run.stdout, run.stderr)

        pool = ThreadPoolExecutor(max_workers=max(1, workers))
        try:
            return list(pool.map(check, range(len(arguments))))
        finally:  # interrupted: the checks not started yet never start
            pool.shutdown(wait=True, cancel_futures=True)


def judge(sweep, checks):
    """(refusals, notes): the points that cannot run, as (point, reason), and one note per
    option of the base that has no effect at some point."""
    plans = sweep.point_plans()
    swept = {canonical(option): option for option in sweep.grid}
    base = {canonical(option) for option in sweep.base if is_option(option)}
    refusals, notes = [], {}
    for check in checks:
        if check.status != 0:
            refusals.append((check.point, check.message))
            continue
        total = plans[check.point][2]
        for option, reason in check.not_applied.items():
            name = canonical(option)
            if name in swept:
                refusals.append((check.point, f"the grid sweeps {swept[name]}, which has no "
                                              f"effect here: {reason}"))
            elif name == "-numfiles":  # the sweep sets it; one replicate asked, one written
                if total > 1:
                    refusals.append((check.point, f"its {total} replicates would all be "
                                                  f"identical: -numfiles: {reason}"))
            elif name in base:
                notes.setdefault((option, reason), []).append(check.point)
    return refusals, notes


def point_words(sweep, point):
    row = sweep.point_table()[point]
    words = [f"{option} {row[column_of(option)]}" for option in sweep.grid]
    return " ".join(words) or "no swept option"


def ranges(numbers):
    """'0-3, 5, 7-8' for [0, 1, 2, 3, 5, 7, 8]."""
    parts, start = [], None
    for i, n in enumerate(numbers):
        if start is None:
            start = n
        if i + 1 == len(numbers) or numbers[i + 1] != n + 1:
            parts.append(str(start) if start == n else f"{start}-{n}")
            start = None
    return ", ".join(parts)


def refusal_lines(sweep, refusals):
    """Every refused point with its reason: points refused for one reason are listed together
    (each with its swept values when they are few)."""
    by_reason = {}
    for point, reason in refusals:
        by_reason.setdefault(reason, []).append(point)
    lines = []
    for reason, points in sorted(by_reason.items(), key=lambda item: min(item[1])):
        points = sorted(set(points))
        if len(points) <= 3:
            lines += [f"  point {p} ({point_words(sweep, p)}): {reason}" for p in points]
        else:
            lines.append(f"  points {ranges(points)} ({len(points)} points): {reason}")
    return lines


def missing_check_mode(refusals, count):
    """True when every point was refused because the program does not know the options of
    these tools (a program older than them)."""
    return len(refusals) == count > 0 and all(
        "not a valid command line parameter" in reason
        and ("-checkonly" in reason or "-popseed" in reason) for _, reason in refusals)


def check_sweep(sweep, binary, workers):
    """Checks every point; returns (lines of refusal, lines of notes). No line of refusal: the
    sweep may run."""
    checks = run_checks(binary, sweep.check_args(), sweep.files, workers)
    refusals, notes = judge(sweep, checks)
    if missing_check_mode(refusals, len(checks)):
        return [f"  the program {binary} has no check mode (-checkonly) or no -popseed: it is "
                "older than these tools; build it again or give --binary"], []
    runnable = [c.point for c in checks if c.status == 0]

    def where(points):
        if len(points) == len(checks):
            return "every point"
        if points == runnable:
            return "every point that can run"
        return f"point {points[0]}" if len(points) == 1 else "points " + ranges(points)

    note_lines = [f"note: {option} in base has no effect at {where(points)}: {reason}"
                  for (option, reason), points in notes.items()]
    return refusal_lines(sweep, refusals), note_lines


# A small table every encounter process can replay: 8 matings of 10 females and 10 males.
ANALYSIS_PROBE = ("female_type\tmale_type\tmatings\tfemale_premating\tmale_premating\n"
                  "1\t1\t3\t5\t5\n1\t2\t1\t5\t5\n2\t1\t1\t5\t5\n2\t2\t3\t5\t5\n")


def check_analysis(analyzer, options):
    """The analysis options of a sweep tried on a small table before any job: lines of refusal
    (none when pairlab-analyze takes them)."""
    with tempfile.TemporaryDirectory(prefix="pairlab-sweep-check-") as folder:
        table = f"{folder}/probe.tsv"
        with open(table, "w") as probe:
            probe.write(ANALYSIS_PROBE)
        command = [str(analyzer), table, "--out", f"{folder}/analysis", *options, "--seed", "1",
                   "--show", "0", "--progress", "0"]
        try:
            run = subprocess.run(command, cwd=folder, capture_output=True, text=True,
                                 errors="replace")
        except OSError as error:
            return [f"  analyze: cannot start {analyzer}: {error}"]
    if run.returncode == 0:
        return []
    lines = [line.strip() for line in (run.stderr + "\n" + run.stdout).splitlines()
             if line.strip() and not line.startswith(("Reading file", "Seed:"))]
    return [f"  analyze ({' '.join(options) or 'no options'}): "
            f"{lines[0] if lines else f'pairlab-analyze stopped with status {run.returncode}'}"]
