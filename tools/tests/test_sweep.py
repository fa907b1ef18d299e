"""pairlab-sweep end to end with the real program through Snakemake: a 2 x 2 grid of two chunks
each and its rerun; the same tables whatever the batches and cores; sweeps refused before any
job; a point that fails at run time, the fix; an interrupted sweep and its rerun; the population
shared by the chunks of a point; a sweep with the analysis of its tables, its power and model
recovery; the SLURM dry run."""

import json
import signal
import subprocess
import textwrap
import time

import shutil

import pandas as pd
import pytest
from conftest import TOOLS, run_tool

from pairlab_tools import compare, job, plot, tables
from pairlab_tools.plan import job_seed, load_sweep

SWEEP = """\
    base: "-continuous 1 -model -1 -N 100 -matings 10 -numfiles 4 -userphenotypes 1"
    grid:
      -choice: [0, 0.5]
      -tolerance: [0.05, 0.1]
    chunk: 2
    seed: 42
    files: [PairlabUserPhenotypes.txt]
    resources: {runtime: 7}
"""
POINTS = [[0, 0.05], [0, 0.1], [0.5, 0.05], [0.5, 0.1]]  # choice, tolerance


def write_sweep(directory, text, name="sweep"):
    directory.mkdir(exist_ok=True)
    (directory / "PairlabUserPhenotypes.txt").write_text(
        "# 50 females, then 50 males\n" + "".join(f"{(i * 37) % 101 / 10}\n" for i in range(100)))
    path = directory / f"{name}.yaml"
    path.write_text(textwrap.dedent(text))
    return path


def done_times(sweep_dir):
    return {p.parent.name: p.stat().st_mtime_ns for p in sweep_dir.glob(f"jobs/*/{job.DONE}")}


def stand_in(directory, binary, body):
    """A program standing in for pairlab: runs `body` (shell) for runs, not for checks, then
    the real program."""
    path = directory / "stand-in"
    path.write_text(f'#!/bin/sh\ncase " $* " in *" -checkonly 1 "*) ;; *) {body} ;; esac\n'
                    f'exec {binary} "$@"\n')
    path.chmod(0o755)
    return path


@pytest.fixture(scope="module")
def sweep(binary, tmp_path_factory):
    path = write_sweep(tmp_path_factory.mktemp("sweep"), SWEEP)
    result = run_tool("pairlab-sweep", path, "--cores", 2, binary=binary)
    assert result.returncode == 0, result.stdout + result.stderr
    # Quiet: what the sweep is, one line of progress, how it ended.
    assert len(result.stdout.splitlines()) == 3 and result.stderr == "", result.stdout
    assert result.stdout.splitlines()[1].startswith("8/8 jobs done")
    return path.with_suffix("")


def test_merged_tables_hold_every_replicate_once_with_its_parameters(sweep):
    runs = tables.read_table(sweep / "runs.tsv")
    assert list(zip(runs["point"], runs["chunk"])) == [(p, c) for p in range(4) for c in range(2)]
    assert runs["seed"].tolist() == [job_seed(42, p, c) for p in range(4) for c in range(2)]
    assert runs["shift"].tolist() == [0, 2] * 4 and (runs["status"] == 0).all()
    assert runs[["sweep_choice", "sweep_tolerance"]].values[::2].tolist() == POINTS
    assert runs[["choice", "tolerance"]].values[::2].tolist() == POINTS  # the ledger's own

    files = tables.read_table(sweep / "files.tsv")
    assert files.groupby("point")["file"].apply(sorted).tolist() == [[1, 2, 3, 4]] * 4
    assert files[["sweep_choice", "sweep_tolerance"]].drop_duplicates().values.tolist() == POINTS
    summary = tables.read_table(sweep / "summary.tsv")
    assert summary["replicates"].tolist() == [4] * 4
    means = files.groupby("point")["correlation"].mean()
    assert summary["correlation_mean"].tolist() == pytest.approx(means.tolist())
    assert not (sweep / "failed.tsv").exists()


def test_a_rerun_of_a_finished_sweep_does_nothing(sweep, binary):
    before = done_times(sweep)
    result = run_tool("pairlab-sweep", sweep.with_suffix(".yaml"), binary=binary)
    assert result.returncode == 0, result.stderr
    assert "Nothing to be done" in (sweep / "snakemake.log").read_text()
    assert done_times(sweep) == before and len(before) == 8


@pytest.mark.parametrize("batching, cores", [("    batch: 3\n", 2), ("", 1)])
def test_the_tables_are_the_same_whatever_the_batches_and_the_cores(
        sweep, binary, tmp_path, batching, cores):
    # One core: more jobs than batches per core, so a timing sets the batches.
    path = write_sweep(tmp_path, SWEEP + batching)
    result = run_tool("pairlab-sweep", path, "--cores", cores, binary=binary)
    assert result.returncode == 0, result.stderr
    plan = json.loads((tmp_path / "sweep" / "plan.json").read_text())
    assert [len(b) for b in plan["batches"].values()] == ([3, 3, 2] if batching else [2] * 4)
    assert ("timing" in plan) == (not batching)
    assert compare.differences(sweep, tmp_path / "sweep") == []


def test_the_sweep_figures_are_drawn_from_its_summary(sweep):
    result = run_tool("pairlab-plot", sweep, "--point", 1)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [str(sweep / "figures" / name) for name in (
        "sweep_correlation.png", "point1/pairs_scatter.png", "point1/correlations.png",
        "point1/traits.png")]


REFUSED = {
    "misspelled option": ("base: '-chioce 0.5'\ngrid: {-N: [100, 200, 300, 400]}\n",
                          "points 0-3 (4 points): ",
                          "-chioce is not a valid command line parameter"),
    "value out of range": ("base: '-continuous 1'\ngrid: {-choice: [0, 5], -N: [100, 200]}\n",
                           "point 2 (-choice 5 -N 100): ", "choice"),
    "swept option without effect": ("base: '-continuous 1 -model -1'\ngrid: {-MRmax: [5, 7]}\n",
                                    "point 0 (-MRmax 5): the grid sweeps -MRmax, which has no "
                                    "effect here: ", ""),
    "identical replicates": ("base: '-model 1 -numfiles 40'\nchunk: 10\n",
                             "point 0 (no swept option): its 40 replicates would all be "
                             "identical: -numfiles: ", ""),
    "no tables": ("base: '-tidy 0'\n", "-tidy 0 in base", ""),
    "points equal as numbers": ("grid: {-N: [100, 1e2]}\n", "the value '100' twice", ""),
    "analysis options": ("base: '-model -3 -numfiles 2'\nanalyze: {process: sideways}\n",
                         "  analyze (--process sideways): pairlab-analyze: --process takes ", ""),
}


@pytest.mark.parametrize("case", REFUSED)
def test_a_sweep_that_cannot_run_is_refused_before_any_job(binary, tmp_path, case):
    text, start, rest = REFUSED[case]
    path = write_sweep(tmp_path, text + "seed: 1\n")
    result = run_tool("pairlab-sweep", path, binary=binary)
    assert result.returncode == 2 and result.stdout == ""
    assert start in result.stderr and rest in result.stderr.split(start, 1)[1], result.stderr
    assert not (tmp_path / "sweep").exists()


FAILING = """\
    base: "-model -1 -N 100 -numfiles 4"
    grid: {-matings: [10, 30], -femtypes: [2, 3]}
    chunk: 2
    seed: 5
"""


def test_a_point_failing_at_run_time_leaves_the_others_complete_and_a_fix_runs_only_it(
        binary, tmp_path):
    fail = tmp_path / "FAIL"
    fail.write_text("")
    program = stand_in(tmp_path, binary, f'case " $* " in *" -matings 30 -femtypes 3 "*) '
                                         f'[ -e {fail} ] && echo "no mate left" && exit 3;; esac')
    path = write_sweep(tmp_path, FAILING)
    result = run_tool("pairlab-sweep", path, "--cores", 2, binary=program)
    assert result.returncode == 1
    out = tmp_path / "sweep"
    failed = tables.read_text_rows(out / "failed.tsv")
    assert [row[:6] for row in failed[1]] == [["3", c, "30", "3", "3", "no mate left"]
                                              for c in ("0", "1")]
    assert failed[0][:4] == ["point", "chunk", "sweep_matings", "sweep_femtypes"]
    assert "point 3 (-matings 30 -femtypes 3), chunk 0: exit status 3: no mate left" \
        in result.stderr
    summary = tables.read_table(out / "summary.tsv")
    assert summary["point"].tolist() == [0, 1, 2] and summary["replicates"].tolist() == [4] * 3
    # The swept -matings beside the table's own count of matings.
    matings = tables.read_table(out / "matings.tsv")
    assert set(matings["point"]) == {0, 1, 2}
    assert (matings.groupby(["point", "file"])["matings"].sum().groupby("point").first()
            == matings.groupby("point")["sweep_matings"].first()).all()

    completed = done_times(out)
    fail.unlink()
    result = run_tool("pairlab-sweep", path, "--cores", 2, binary=program)
    assert result.returncode == 0, result.stderr
    times = done_times(out)
    assert {k: times[k] for k in completed} == completed and len(times) == 8
    summary = tables.read_table(out / "summary.tsv")
    assert summary["replicates"].tolist() == [4] * 4
    assert not (out / "failed.tsv").exists()
    # Observed / expected matings per pair of types: 2 x 2 at every point, 3 x 2 at two.
    assert summary["ratio_3x2_mean"].notna().tolist() == [False, True, False, True]
    assert plot.main([str(out), "--format", "svg"]) == 0
    assert (out / "figures" / "sweep_matings.svg").exists()


@pytest.mark.parametrize("signum", [signal.SIGINT, signal.SIGTERM])
def test_an_interrupted_sweep_ends_without_a_traceback_and_its_rerun_completes(
        binary, tmp_path, signum):
    program = stand_in(tmp_path, binary, "sleep 0.4")
    path = write_sweep(tmp_path, "base: '-model -1 -N 100 -matings 10 -numfiles 4'\n"
                                 "chunk: 1\nseed: 3\n")
    command = [str(TOOLS / "bin" / "pairlab-sweep"), str(path), "--cores", "1",
               "--binary", str(program)]
    sweep = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out = tmp_path / "sweep"
    deadline = time.time() + 60
    while len(done_times(out)) < 2 and time.time() < deadline:
        time.sleep(0.05)
    sweep.send_signal(signum)
    stdout, stderr = sweep.communicate(timeout=60)
    assert sweep.returncode == 128 + signum
    assert stderr == f"pairlab-sweep: interrupted by {signum.name}; run the same command " \
                     "again to continue\n"
    logs = [p.read_text() for p in out.glob("jobs/*/log.txt")] + [
        (out / "snakemake.log").read_text()]
    assert not any("Traceback" in text for text in logs)
    completed = done_times(out)
    assert 2 <= len(completed) < 4
    # The job that ended last may have ended before Snakemake knew: it may run again.
    completed.pop(max(completed, key=completed.get))
    if signum == signal.SIGTERM:
        return

    result = subprocess.run(command, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    times = done_times(out)
    assert {k: times[k] for k in completed} == completed and len(times) == 4


CHUNKS = """\
    base: "-onematround 0 -uniform 0 -model -3 -choicefactor 2 -N 200 -matings 50 -numfiles 20"
    chunk: {chunk}
    seed: 7
"""


def test_every_replicate_of_a_point_has_the_same_population_whatever_the_chunk(binary, tmp_path):
    compositions = {}
    for chunk in (1, 20):
        sweep = load_sweep(write_sweep(tmp_path, CHUNKS.format(chunk=chunk), f"chunk{chunk}"))
        rounds = []
        for j in sweep.jobs():
            directory = tmp_path / f"chunk{chunk}" / j.name
            assert job.run_job(directory, binary, j.args, [])[0] == 0
            rounds.append(tables.read_table(job.output_of(directory) / "Pairlab_rounds.tsv"))
        first = pd.concat(rounds, ignore_index=True)
        first = first[first["round"] == 1]
        per_replicate = first.groupby("replicate").apply(
            lambda r: tuple(r.sort_values(["female_type", "male_type"])[
                ["female_frequency", "male_frequency"]].itertuples(index=False)))
        assert len(per_replicate) == 20 and per_replicate.nunique() == 1
        compositions[chunk] = per_replicate.iloc[0]
    assert compositions[1] == compositions[20]


ANALYSED = """\
    base: "-N 400 -matings 60 -numfiles 6 -choicefactor 3 -incrfactor 3"
    grid: {-model: [-1, -3]}
    chunk: 3
    analyze: {null: 19, level: 0.1}
    seed: 11
"""


def test_an_analysed_sweep_gives_the_power_of_its_tests_and_its_model_recovery(binary, tmp_path):
    path = write_sweep(tmp_path, ANALYSED)
    result = run_tool("pairlab-sweep", path, "--cores", 2, binary=binary)
    assert result.returncode == 0, result.stderr
    out = tmp_path / "sweep"
    tests, models = (tables.read_table(out / f"{name}.tsv") for name in ("tests", "models"))
    assert tests.columns[:4].tolist() == ["point", "sweep_model", "table", "run_id"]
    assert len(tests) == 2 * 6 * 5 and tests["null_replicates"].eq(19).all()
    summary = tables.read_table(out / "summary.tsv").set_index("point")
    for point, rows in tests.groupby("point"):
        jpsi = rows[rows["index"] == "Jpsi"]
        for test, column in (("chisq", "p_chisq"), ("null", "p_null"), ("perm", "p_perm")):
            assert summary.loc[point, f"Jpsi_{test}_power"] == pytest.approx(
                (jpsi[column] <= 0.1).mean())
        top = models[(models["point"] == point) & (models["rank"] == 1)]["model"]
        assert summary.loc[point, "M3_selected"] == pytest.approx((top == "M3").mean())
    assert plot.main([str(out), "--format", "svg"]) == 0
    drawn = {p.name for p in (out / "figures").iterdir()}
    assert {"sweep_power_chisq.svg", "sweep_power_null.svg", "sweep_power_perm.svg",
            "model_recovery.svg"} <= drawn

    # Another level changes the summary only; a job removed by hand runs again, alone.
    before = done_times(out)
    path.write_text(path.read_text().replace("level: 0.1", "level: 0.01"))
    shutil.rmtree(out / "jobs" / "p1_c0")
    result = run_tool("pairlab-sweep", path, binary=binary)
    assert result.returncode == 0, result.stderr
    after = done_times(out)
    assert {k: v for k, v in after.items() if after[k] != before.get(k)}.keys() == {"p1_c0"}
    jpsi = tests[(tests["point"] == 0) & (tests["index"] == "Jpsi")]
    assert tables.read_table(out / "summary.tsv").loc[0, "Jpsi_chisq_power"] == pytest.approx(
        (jpsi["p_chisq"] <= 0.01).mean())


def test_the_slurm_dry_run_parses_with_the_sweeps_resources(binary, tmp_path):
    path = write_sweep(tmp_path, SWEEP)
    result = run_tool("pairlab-sweep", path, "--slurm", "--dry-run", binary=binary)
    assert result.returncode == 0, result.stderr
    output = result.stdout + result.stderr
    assert output.count("rule batch:") == 1 and "runtime=7" in output and "mem_mb=1000" in output
    assert not (tmp_path / "sweep" / "jobs").exists()
