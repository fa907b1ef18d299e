"""pairlab-sweep end to end with the real program through Snakemake: a 2 x 2 grid of two chunks
each, its rerun, a point that fails, the fix, and the SLURM dry run."""

import textwrap

import pytest
from conftest import run_tool

from pairlab_tools import job, tables
from pairlab_tools.plan import job_seed

SWEEP = """\
    base: "-continuous 1 -model -1 -N 100 -matings 10 -numfiles 4 -userphenotypes 1"
    grid:
      -choice: {choices}
      -tolerance: [0.05, 0.1]
    chunk: 2
    seed: 42
    files: [PairlabUserPhenotypes.txt]
    resources: {{runtime: 7}}
"""
POINTS = [[0, 0.05], [0, 0.1], [0.5, 0.05], [0.5, 0.1]]  # choice, tolerance


def write_sweep(directory, choices):
    directory.mkdir(exist_ok=True)
    (directory / "PairlabUserPhenotypes.txt").write_text(
        "# 50 females, then 50 males\n" + "".join(f"{(i * 37) % 101 / 10}\n" for i in range(100)))
    path = directory / "sweep.yaml"
    path.write_text(textwrap.dedent(SWEEP.format(choices=choices)))
    return path


def done_times(sweep_dir):
    return {p.parent.name: p.stat().st_mtime_ns for p in sweep_dir.glob(f"jobs/*/{job.DONE}")}


@pytest.fixture(scope="module")
def sweep(binary, tmp_path_factory):
    path = write_sweep(tmp_path_factory.mktemp("sweep"), "[0, 0.5]")
    result = run_tool("pairlab-sweep", path, "--cores", 2, binary=binary)
    assert result.returncode == 0, result.stdout + result.stderr
    return path.with_suffix("")


def test_merged_tables_hold_every_replicate_once_with_its_parameters(sweep):
    runs = tables.read_table(sweep / "runs.tsv")
    assert list(zip(runs["point"], runs["chunk"])) == [(p, c) for p in range(4) for c in range(2)]
    assert runs["seed"].tolist() == [job_seed(42, p, c) for p in range(4) for c in range(2)]
    assert runs["shift"].tolist() == [0, 2] * 4 and (runs["status"] == 0).all()
    assert runs[["choice", "tolerance"]].values[::2].tolist() == POINTS

    files = tables.read_table(sweep / "files.tsv")
    assert files.groupby("point")["file"].apply(sorted).tolist() == [[1, 2, 3, 4]] * 4
    assert files[["choice", "tolerance"]].drop_duplicates().values.tolist() == POINTS
    summary = tables.read_table(sweep / "summary.tsv")
    assert summary["replicates"].tolist() == [4] * 4
    means = files.groupby("point")["correlation"].mean()
    assert summary["correlation_mean"].tolist() == pytest.approx(means.tolist())


def test_a_rerun_of_a_finished_sweep_does_nothing(sweep, binary):
    before = done_times(sweep)
    result = run_tool("pairlab-sweep", sweep.with_suffix(".yaml"), binary=binary)
    assert result.returncode == 0, result.stderr
    assert "Nothing to be done" in result.stdout + result.stderr
    assert done_times(sweep) == before and len(before) == 8


def test_the_sweep_figures_are_drawn_from_its_summary(sweep):
    result = run_tool("pairlab-plot", sweep, "--point", 1)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [str(sweep / "figures" / name) for name in (
        "sweep_correlation.png", "point1/pairs_scatter.png", "point1/correlations.png",
        "point1/traits.png")]


def test_a_failing_point_leaves_the_others_complete_and_a_fix_runs_only_what_is_missing(
        sweep, binary, tmp_path):
    path = write_sweep(tmp_path, "[0, 0.5, 5]")
    result = run_tool("pairlab-sweep", path, "--cores", 1, binary=binary)
    assert result.returncode != 0
    failed = [line for line in result.stderr.splitlines() if line.startswith("  point")]
    assert [line.split(":")[0] for line in failed] == [
        "  point 4 (choice=5, tolerance=0.05), chunk 0", "  point 4 (choice=5, tolerance=0.05), chunk 1",
        "  point 5 (choice=5, tolerance=0.1), chunk 0", "  point 5 (choice=5, tolerance=0.1), chunk 1"]
    assert all("exit status 1: " in line and "choice" in line.split("exit status 1: ")[1]
               for line in failed)
    out = tmp_path / "sweep"
    status, message = job.read_log(out / "jobs" / "p4_c0")
    assert status == 1 and "choice" in message
    completed = done_times(out)
    assert sorted(completed) == [f"p{p}_c{c}" for p in range(4) for c in range(2)]
    assert not (out / "runs.tsv").exists()

    # The same points with the same seed give the same numbers on one core as on two.
    for name in completed:
        mine, theirs = (tables.read_table(job.output_of(d / "jobs" / name) / "Pairlab_files.tsv")
                        for d in (out, sweep))
        columns = ["file", "correlation", "female_encounters", "male_encounters"]
        assert mine[columns].equals(theirs[columns])

    path.write_text(path.read_text().replace("[0, 0.5, 5]", "[0, 0.5, 0.9]"))
    result = run_tool("pairlab-sweep", path, "--cores", 2, binary=binary)
    assert result.returncode == 0, result.stderr
    times = done_times(out)
    assert {k: times[k] for k in completed} == completed and len(times) == 12
    assert tables.read_table(out / "summary.tsv")["replicates"].tolist() == [4] * 6


def test_the_slurm_dry_run_parses_with_the_sweeps_resources(binary, tmp_path):
    path = write_sweep(tmp_path, "[0, 0.5]")
    result = run_tool("pairlab-sweep", path, "--slurm", "--dry-run", binary=binary)
    assert result.returncode == 0, result.stderr
    output = result.stdout + result.stderr
    assert output.count("rule job:") == 8 and "runtime=7" in output and "mem_mb=1000" in output
    assert not (tmp_path / "sweep" / "jobs").exists()
