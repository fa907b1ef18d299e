"""Compares the tables of two sweep directories, as text, leaving out the columns that name a
run rather than its results (its run id, its start and end times, the log's path):

    python3 -m pairlab_tools.compare DIR1 DIR2

exits 0 when both hold the same tables with the same rows, 1 otherwise (saying where they first
differ). The tables are read a line at a time."""

import itertools
import sys
from pathlib import Path

RUN_COLUMNS = {"run_id", "start_time", "end_time", "log"}
TABLES = ["points.tsv", "runs.tsv", "files.tsv", "pairs.tsv", "matings.tsv", "indices.tsv",
          "rounds.tsv", "round_indices.tsv", "tests.tsv", "models.tsv", "summary.tsv",
          "failed.tsv"]


def kept_lines(path):
    """The lines of a table without its run-specific columns."""
    with open(path, encoding="utf-8", errors="replace") as table:
        header = table.readline().rstrip("\n").split("\t")
        keep = [i for i, column in enumerate(header) if column not in RUN_COLUMNS]
        yield "\t".join(header[i] for i in keep)
        for line in table:
            cells = line.rstrip("\n").split("\t")
            yield "\t".join(cells[i] if i < len(cells) else "" for i in keep)


def differences(first, second):
    """The differences between the tables of two sweep directories, as lines of text."""
    found = []
    for name in TABLES:
        a, b = Path(first) / name, Path(second) / name
        if not a.exists() and not b.exists():
            continue
        if a.exists() != b.exists():
            found.append(f"{name}: only in {a.parent if a.exists() else b.parent}")
            continue
        pairs = itertools.zip_longest(kept_lines(a), kept_lines(b))
        for number, (x, y) in enumerate(pairs, start=1):
            if x != y:
                found.append(f"{name}, line {number}:\n  {str(x)[:300]}\n  {str(y)[:300]}")
                break
    return found


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if len(argv) != 2:
        print("usage: python3 -m pairlab_tools.compare DIR1 DIR2", file=sys.stderr)
        return 2
    found = differences(*argv)
    if not any((Path(argv[0]) / name).exists() for name in TABLES):
        found.append(f"{argv[0]} holds no table of a sweep")
    for line in found:
        print(line)
    if not found:
        print(f"same tables (run ids and times aside): {argv[0]} and {argv[1]}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
