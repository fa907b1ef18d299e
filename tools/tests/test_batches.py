"""The batches of a sweep: consecutive jobs filling about a minute of work, a share of the jobs
per core, or the sweep's own batch size; and the command line of a timing run."""

import pytest

from pairlab_tools import batches


def plan_of(numfiles):
    return {"jobs": {f"p{i}_c0": {"numfiles": n, "args": []} for i, n in enumerate(numfiles)}}


@pytest.mark.parametrize("numfiles, size, timing, slots, expected", [
    # The sweep's size wins over everything.
    ([1] * 7, 3, batches.Timing(100.0, 0.0), 2, [3, 3, 1]),
    # A minute of work: 20 s to start, 1 s a replicate; a job above the minute is alone.
    ([10, 10, 20, 100, 1], None, batches.Timing(20.0, 1.0), None, [2, 1, 1, 1]),
    # Locally, at most a quarter of the jobs per core in a batch: 10 jobs, 2 cores.
    ([1] * 10, None, batches.Timing(0.01, 0.0), 2, [2, 2, 2, 2, 2]),
    # No timing (few jobs): one job a batch.
    ([1] * 3, None, None, 2, [1, 1, 1]),
])
def test_batches_hold_consecutive_jobs(numfiles, size, timing, slots, expected):
    plan = plan_of(numfiles)
    made = batches.make_batches(plan, size, timing, slots)
    assert list(made) == [f"b{i}" for i in range(len(expected))]
    assert [len(jobs) for jobs in made.values()] == expected
    assert [name for jobs in made.values() for name in jobs] == list(plan["jobs"])


def test_a_timing_run_changes_only_the_last_numfiles_and_shift():
    args = ["-numfiles", "9", "-N", "100", "-numfiles", "50", "-shift", "100", "-fixseed", "3"]
    assert batches.with_numfiles(args, 1) == ["-numfiles", "9", "-N", "100", "-numfiles", "1",
                                              "-shift", "0", "-fixseed", "3"]
    timing = batches.Timing(0.5, 0.25, 1.0)
    assert timing.job_seconds({"numfiles": 4}) == 1.5
    assert timing.job_seconds({"numfiles": 4, "analysis_args": []}) == 5.5
