"""pairlab-plot: the numbers behind each figure (on tables written by hand, and on real runs
against the program's own reports), which runs a figure shows, and every figure command on the
tables of real runs of each road."""

import math
import subprocess

import pandas as pd
import pytest
from conftest import run_tool

from pairlab_tools import plot, tables

def test_mean_of_each_round_index_with_its_confidence_interval():
    rows = [("r", rep, rnd, index, value) for rep, rnd, index, value in [
        (1, 1, "JRpsi", 0.5), (2, 1, "JRpsi", 1.5), (3, 1, "JRpsi", 1.0),
        (1, 2, "JRpsi", 0.25), (2, 2, "JRpsi", math.inf),              # replicate 3 stopped
        (1, 1, "JRpti", 2.0), (2, 1, "JRpti", 2.0), (3, 1, "JRpti", 2.0)]]
    table = pd.DataFrame(rows, columns=["run_id", "replicate", "round", "index", "value"])
    means = plot.round_index_means(table.sample(frac=1, random_state=2))
    assert means[["index", "round", "replicates"]].values.tolist() == [
        ["JRpti", 1, 3], ["JRpsi", 1, 3], ["JRpsi", 2, 2]]
    half = 4.302652729911275 * 0.5 / math.sqrt(3)                  # t(0.975, 2) sd / sqrt(3)
    assert means[["mean", "ci_low", "ci_high"]].values.ravel().tolist() == pytest.approx(
        [2.0, 2.0, 2.0, 1.0, 1.0 - half, 1.0 + half, math.inf, math.nan, math.nan], nan_ok=True)


def test_share_of_significant_replicates_with_its_wilson_interval():
    indices = pd.DataFrame({"replicate": [1, 1, 1, 2, 2, 2, 3, 3, 3],
                            "index": ["Jpti", "JRpti", "E0R"] * 3,
                            "significant": [1, 0, 0, 1, 1, 0, 1, 0, 0]})
    shares = plot.significance_shares(indices)
    assert shares[["index", "replicates", "significant"]].values.tolist() == [
        ["JRpti", 3, 1], ["Jpti", 3, 3]]
    assert shares[["share", "ci_low", "ci_high"]].values.ravel().tolist() == pytest.approx(
        [1 / 3, 0.06149194, 0.79234040, 1.0, 0.43850297, 1.0])


def test_observed_matings_against_the_random_expectation_of_each_file():
    rows = []
    for file, females, males, matings in [(1, (30, 10), (20, 20), [[10, 5], [3, 2]]),
                                          (2, (10, 10), (10, 30), [[1, 4], [2, 3]])]:
        rows += [("a", file, f + 1, m + 1, females[f], males[m], matings[f][m], 1)
                 for f in range(2) for m in range(2)]
    frame = pd.DataFrame(rows, columns=["run_id", "file", "female_type", "male_type",
                                        "female_premating", "male_premating", "matings", "complete"])
    out = plot.matings_against_expected(frame)
    # File 1: 20 matings, females 3/4 and 1/4, males 1/2 each; file 2: 10, 1/2 each, 1/4 and 3/4.
    assert out["observed"].tolist() == [11, 9, 5, 5]
    assert out["expected"].tolist() == pytest.approx([8.75, 11.25, 3.75, 6.25])
    assert out["ratio"].tolist() == pytest.approx([11 / 8.75, 9 / 11.25, 5 / 3.75, 5 / 6.25])


@pytest.mark.parametrize("file, n", [(None, 5), (2, 2), (3, 1)])
def test_scatter_of_one_file_or_all_pooled(file, n):
    pairs = pd.DataFrame({"file": [1, 1, 2, 2, 3], "female_trait": [0.0, 1.0, 2.0, 3.0, 4.0]})
    pairs["male_trait"] = 2 * pairs["female_trait"] + 1
    x, y, slope, intercept, r = plot.scatter_data(pairs, file)
    assert len(x) == len(y) == n
    if n == 1:  # no line through a single pair
        assert slope is None and math.isnan(r)
    else:
        assert (slope, intercept, r) == pytest.approx((2.0, 1.0, 1.0))


def test_phenotype_file(tmp_path):
    path = tmp_path / "phenotypes.txt"
    path.write_text("Tue Dec  8 08:58:12 2026\n\nPairlab\t\nPhenotypic distribution: \n\n"
                    "#females\n0.5\n-1e-3\n\n#males\n2\n\n")
    females, males = plot.read_phenotypes(path)
    assert females.tolist() == [0.5, -0.001] and males.tolist() == [2.0]


def test_sweep_lines_and_axes():
    summary = pd.DataFrame({"sweep_N": [100] * 6, "sweep_choice": [0.5, 0.0, 0.5, 0.0, 0.9, 0.9],
                            "sweep_tolerance": [0.1, 0.1, 0.2, 0.2, 0.1, 0.2],
                            "correlation_mean": [5, 1, 6, 2, 9, 10], "correlation_ci_low": range(6),
                            "correlation_ci_high": range(10, 16), "correlation_low": [0] * 6,
                            "JRpti_significant": range(6)})
    parameters = ["sweep_N", "sweep_choice", "sweep_tolerance"]
    assert plot.sweep_axes(summary, parameters) == ("sweep_choice", "sweep_tolerance", [])
    assert plot.sweep_axes(summary, parameters, x="sweep_tolerance") == (
        "sweep_tolerance", "sweep_choice", [])
    lines = plot.sweep_lines(summary, "correlation", "sweep_choice", "sweep_tolerance")
    assert [value for value, _ in lines] == [0.1, 0.2]
    # The band is the confidence interval of the mean, not the spread of the replicates.
    assert lines[0][1][["x", "mean", "low", "high"]].values.tolist() == [
        [0.0, 1, 1, 11], [0.5, 5, 0, 10], [0.9, 9, 4, 14]]
    share = plot.sweep_lines(summary, "JRpti_significant", "sweep_choice", None)[0][1]
    assert list(share.columns) == ["x", "mean", "incomplete"]
    assert share["x"].tolist() == [0.0, 0.0, 0.5, 0.5, 0.9, 0.9]
    # Points whose files did not all complete their sample are marked.
    summary["replicates"], summary["complete"] = 10, [10, 10, 3, 10, 10, 0]
    marked = plot.sweep_lines(summary, "correlation", "sweep_choice", "sweep_tolerance")[1][1]
    assert marked[["x", "incomplete"]].values.tolist() == [[0.0, False], [0.5, True], [0.9, True]]


LEDGER_HEADER = ["run_id", "status", "message", "command_line", "writedistrib"]


def runs_of(*rows):
    return [(run_id, dict(zip(LEDGER_HEADER, [run_id, status, "", command, "1"])), has_rows)
            for run_id, status, command, has_rows in rows]


RUNS = runs_of(("7-111-a", 0, "pairlab -continuous 1 -choice 0.5 -tidy 1 -fixseed 7", True),
               ("8-222-a", 0, "pairlab -continuous 1 -choice -0.6 -tidy 2 -fixseed 8", True),
               ("9-333-a", 1, "pairlab -continuous 1 -choice 9", False))


@pytest.mark.parametrize("runs, wanted, pool, chosen, context, note", [
    (RUNS, None, False, ["8-222-a"], "run 8-222-a: -continuous 1 -choice -0.6",
     "this directory holds 2 runs with results; drawn: the last, 8-222-a"),
    (RUNS[:1], None, False, ["7-111-a"], "run 7-111-a: -continuous 1 -choice 0.5", None),
    (RUNS, "7-", False, ["7-111-a"], "run 7-111-a: -continuous 1 -choice 0.5", None),
    (RUNS, None, True, ["7-111-a", "8-222-a"], "2 runs pooled (with different options)", None),
    (runs_of(("1", 0, "p -N 5 -fixseed 1", True), ("2", 0, "p -N 5 -fixseed 2", True)), None,
     True, ["1", "2"], "2 runs pooled: -N 5", None),
    (RUNS, "1", False, "no run matches '1'", None, None),
    (RUNS, "", False, "more than one run matches", None, None),
    (RUNS, "9-333-a", False, "run 9-333-a wrote no rows to the tables \\(status 1", None, None),
])
def test_figures_of_a_directory_are_of_one_run_unless_runs_are_pooled_on_request(
        runs, wanted, pool, chosen, context, note):
    if isinstance(chosen, str):
        with pytest.raises(plot.Refusal, match=chosen):
            plot.choose_runs(runs, wanted, pool)
        return
    got_chosen, got_context, got_note = plot.choose_runs(runs, wanted, pool)
    assert (got_chosen, got_context) == (chosen, context)
    assert (got_note or "").startswith(note or "")


ROADS = {
    "continuous": "-continuous 1 -model -1 -choice 0.5 -N 100 -matings 10 -numfiles 3 -tidy 2 "
                  "-writedistrib 1",
    "rounds": "-onematround 0 -model 10 -MRmax 10 -N 100 -matings 20 -numfiles 3 -tidy 1",
    "discrete": "-model -1 -N 100 -matings 10 -numfiles 3 -tidy 1",
}
FIGURES = {
    "continuous": ["pairs_scatter", "correlations", "traits"],
    "rounds": ["indices_by_round", "significance"],
    "discrete": ["matings_vs_expected"],
}
SIGNATURES = {"png": b"\x89PNG\r\n\x1a\n", "pdf": b"%PDF", "svg": b"<?xml"}


def run_program(binary, cwd, args):
    run = subprocess.run([str(binary), *args.split()], cwd=cwd, capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    (output,) = cwd.glob("Out_Pairlab*")
    return output


@pytest.fixture(scope="module")
def road_outputs(binary, tmp_path_factory):
    """The output directory of a small real run of each road."""
    return {road: run_program(binary, tmp_path_factory.mktemp(road), args + " -fixseed 3")
            for road, args in ROADS.items()}


@pytest.mark.parametrize("road, fmt", [("continuous", "png"), ("rounds", "pdf"),
                                       ("discrete", "svg")])
def test_every_figure_of_a_road_is_a_valid_image(road_outputs, tmp_path, road, fmt):
    out = tmp_path / "figures"
    result = run_tool("pairlab-plot", road_outputs[road], "--out", out, "--format", fmt)
    assert result.returncode == 0, result.stderr
    expected = [out / f"{name}.{fmt}" for name in FIGURES[road]]
    assert result.stdout.split() == [str(p) for p in expected]
    assert all(p.read_bytes().startswith(SIGNATURES[fmt]) for p in expected)
    assert result.stderr == ""                         # one run: nothing to say


def report_means(report):
    """Per round of a significance report: the replicates and the printed mean of JRpti, JRpsi
    and JRpss."""
    lines = report.read_text().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("Round\tNumFiles"))
    rows = {}
    for line in lines[start + 1:]:
        if not line.strip():
            break
        fields = line.split("\t")
        rows[int(fields[0])] = (int(fields[1]), fields[2], fields[4], fields[6])
    return rows


def printed_equal(value, text):
    """value equals the number printed with 6 significant digits, to that precision."""
    printed = float(text)
    if not math.isfinite(printed):
        return value == printed
    unit = 10.0 ** (math.floor(math.log10(abs(printed))) - 5) if printed else 1e-300
    return abs(value - printed) <= 0.5 * unit * (1 + 1e-9)


@pytest.mark.parametrize("args", [
    "-onematround 0 -model 3 -MRmax 1 -choicefactor 3 -N 200 -matings 40 -numfiles 20",  # isolation
    "-onematround 0 -model 10 -MRmax 10 -incrfactor 3 -N 200 -matings 60 -numfiles 20",  # selection
])
def test_indices_by_round_draws_the_means_of_the_programs_significance_report(
        binary, tmp_path, args):
    output = run_program(binary, tmp_path, args + " -tidy 1 -writefiles 0 -fixseed 5")
    (report,) = output.glob("Pairlab_Mmax_*_.txt")
    expected = report_means(report)
    means = plot.round_index_means(tables.read_table(output / "Pairlab_round_indices.tsv"))
    assert sorted(means["round"].unique()) == sorted(expected)
    for column, index in enumerate(plot.ROUND_INDICES, start=1):
        line = means[means["index"] == index].set_index("round")
        for round_, row in expected.items():
            assert line.at[round_, "replicates"] == row[0]
            assert printed_equal(line.at[round_, "mean"], row[column]), (index, round_)
    if "model 3" in args:  # isolation, hardly any selection
        last = means[means["round"] == max(expected)].set_index("index")["mean"]
        assert last["JRpsi"] > 20 * last["JRpss"]


def test_a_directory_of_several_runs_draws_the_last_unless_told(binary, tmp_path, capsys):
    base = "-continuous 1 -model -1 -N 100 -matings 20 -numfiles 4 -tidy 1 -writefiles 0"
    output = run_program(binary, tmp_path, base + " -choice 0.9 -fixseed 1")
    run_program(binary, tmp_path, base + " -choice 0.5 -fixseed 2")  # the name leaves -choice out
    # Another -numfiles would replace the first run's correlation file: it stops.
    stopped = subprocess.run([str(binary), *base.split(), "-choice", "0.9", "-numfiles", "5"],
                             cwd=tmp_path, capture_output=True)
    assert stopped.returncode != 0
    first, last, _ = tables.read_table(output / "Pairlab_runs.tsv")["run_id"]
    cases = [([], [last], "holds 2 runs with results; drawn: the last"),
             (["--run", first[:4]], [first], ""), (["--all"], [first, last], "")]
    for options, drawn, note in cases:
        assert plot.main([str(output), "--format", "svg", *options]) == 0
        assert note in capsys.readouterr().err
        svg = (output / "figures" / "correlations.svg").read_text()
        assert f"across {4 * len(drawn)} files" in svg
        assert ("2 runs pooled (with different options)" in svg) == (len(drawn) == 2)
    assert plot.main([str(output), "--run", _]) == 2
    assert "wrote no rows to the tables (status 1" in capsys.readouterr().err
    # A run that wrote nothing: nothing to draw, said with a non-zero status.
    empty = tmp_path / "empty"
    empty.mkdir()
    (empty / "Pairlab_files.tsv").write_text("run_id\tfile\tsample_size\treport\tcorrelation\n")
    assert plot.main([str(empty)]) == 1 and "nothing to draw" in capsys.readouterr().err
