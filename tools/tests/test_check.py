"""What the check of a sweep makes of the program's check mode, on the program's output written
by hand (the real program's refusals are in test_sweep.py)."""

import textwrap

import pytest

from pairlab_tools import check
from pairlab_tools.plan import load_sweep

SWEEP = """\
    base: "-onematround 0 -model 3 -MRmax 7 -numfiles {numfiles}"
    grid: {{-choicefactor: [2, 3], -selfactor: [1, 2]}}
    seed: 1
"""


def sweep_of(tmp_path, numfiles=10):
    path = tmp_path / "sweep.yaml"
    path.write_text(textwrap.dedent(SWEEP.format(numfiles=numfiles)))
    return load_sweep(path)


@pytest.mark.parametrize("status, stdout, stderr, numfiles, refusal, note", [
    (0, "Seed: 5\nOutput directory: Out_x\n", "", 10, None, None),
    (1, "\n ERROR: -chioce is not a valid command line parameter\n", "", 10,
     "ERROR: -chioce is not a valid command line parameter", None),
    (5, "Seed: 5\n\nToo few population males or females (5)\nfor too many matings (100)\n", "",
     10, "Too few population males or females (5) for too many matings (100)", None),
    # A swept option without effect, under its other name too.
    (0, "Seed: 5\n", "Not applied: -incrfactor: model 3 has no selection factor\n", 10,
     "the grid sweeps -selfactor, which has no effect here: model 3 has no selection factor",
     None),
    (0, "Seed: 5\n", "Not applied: -numfiles: without drift the process with replacement writes "
     "one file\n", 10, "its 10 replicates would all be identical: -numfiles: without drift the "
     "process with replacement writes one file", None),
    (0, "Seed: 5\n", "Not applied: -numfiles: one file\n", 1, None, None),   # one was asked for
    (0, "Seed: 5\n", "Not applied: -MRmax: no rounds\n", 10, None, ("-MRmax", "no rounds")),
    (0, "Seed: 5\n", "Not applied: -writefiles: tables only\n", 10, None, None),  # the sweep's
])
def test_a_point_is_refused_when_the_program_would_stop_or_ignore_what_is_swept(
        tmp_path, status, stdout, stderr, numfiles, refusal, note):
    sweep = sweep_of(tmp_path, numfiles)
    checks = [check.read_check(p, status, stdout, stderr) for p in range(4)]
    refusals, notes = check.judge(sweep, checks)
    assert refusals == ([] if refusal is None else [(p, refusal) for p in range(4)])
    assert notes == ({} if note is None else {note: [0, 1, 2, 3]})
    assert checks[0].output == ("Out_x" if "Output" in stdout else "")


def test_refused_points_are_listed_with_their_values_or_grouped_by_reason(tmp_path):
    sweep = sweep_of(tmp_path)
    lines = check.refusal_lines(sweep, [(3, "bad b"), (0, "bad a"), (1, "bad a"), (2, "bad a"),
                                        (3, "bad a")])
    assert lines == ["  points 0-3 (4 points): bad a",
                     "  point 3 (-choicefactor 3 -selfactor 2): bad b"]
    assert check.ranges([0, 1, 2, 5, 7, 8]) == "0-2, 5, 7-8"
    old = [(p, "\n ERROR: -checkonly is not a valid command line parameter") for p in range(4)]
    assert check.missing_check_mode(old, 4) and not check.missing_check_mode(old[:3], 4)
