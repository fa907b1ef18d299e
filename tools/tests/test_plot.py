"""pairlab-plot: the numbers behind each figure (on tables written by hand), and every figure
command on the tables of real runs of each road."""

import math
import subprocess

import numpy as np
import pandas as pd
import pytest
from conftest import run_tool

from pairlab_tools import plot, tables

# Two 2 x 2 rounds: 2 pairs of type 1 x 1 from uniform frequencies, then one 2 x 1 and one 2 x 2
# from frequencies 0.25, 0.75; a second replicate stops after the first round.
ROUNDS = pd.DataFrame(
    [("a", 1, 1, f, m, 0.5, 0.5, 2 if (f, m) == (1, 1) else 0) for f in (1, 2) for m in (1, 2)]
    + [("a", 1, 2, f, m, [0.25, 0.75][f - 1], [0.25, 0.75][m - 1], 1 if f == 2 else 0)
       for f in (1, 2) for m in (1, 2)]
    + [("a", 2, 1, f, m, 0.5, 0.5, 2 if (f, m) == (1, 1) else 0) for f in (1, 2) for m in (1, 2)],
    columns=["run_id", "replicate", "round", "female_type", "male_type", "female_frequency",
             "male_frequency", "pairs"])


def test_round_indices_of_the_sample_so_far():
    running = plot.round_indices(ROUNDS.sample(frac=1, random_state=1))  # any row order
    first = running[running["replicate"] == 1].set_index("round")
    # By hand: round 1 observed (1, .25, .25, .25) against random .25 and mated (1, .5, .5, .5);
    # round 2 observed (.5, .125, .25, .25), random (.15625, .21875, .21875, .40625), mated
    # (.5, .25, .25, .25).
    assert first.loc[1, ["JRpti", "JRpsi", "JRpss"]].tolist() == pytest.approx(
        [0.75 * math.log(4), 0.75 * math.log(2), 0.75 * math.log(4) + 0.75 * math.log(2)])
    assert first.loc[2, ["JRpti", "JRpsi", "JRpss"]].tolist() == pytest.approx(
        [0.5323305232250557, 0.08664339756999316, 0.4840393991256262])
    summary = plot.round_summary(running).set_index(["index", "round"])
    assert summary.loc[("JRpti", 1)].tolist() == pytest.approx([0.75 * math.log(4), 0.0, 2])
    running.loc[running["replicate"] == 2, "JRpti"] += 2  # sd 1: divided by 2, not 1
    assert plot.round_summary(running).iloc[0].tolist()[2:] == pytest.approx(
        [0.75 * math.log(4) + 1, 1.0, 2])
    assert summary.loc[("JRpsi", 2)].tolist() == pytest.approx([0.08664339756999316, 0.0, 1])


def test_j_divergence_of_empty_cells():
    x, y = np.array([[0.0, 0.5, 0.0]]), np.array([[0.0, 0.5, 0.5]])
    assert plot.j_divergence(x, y, 1).tolist() == [math.inf]
    assert plot.j_divergence(x[:, :2], y[:, :2], 1).tolist() == [0.0]


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


def test_share_of_significant_replicates_per_index_in_the_programs_order():
    indices = pd.DataFrame({"replicate": [1, 1, 1, 2, 2, 2], "index": ["Jpti", "JRpti", "E0R"] * 2,
                            "significant": [1, 0, 0, 1, 1, 0]})
    assert plot.significance_shares(indices).to_dict() == {"JRpti": 0.5, "Jpti": 1.0}


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
    summary = pd.DataFrame({"N": [100] * 6, "choice": [0.5, 0.0, 0.5, 0.0, 0.9, 0.9],
                            "tolerance": [0.1, 0.1, 0.2, 0.2, 0.1, 0.2],
                            "correlation_mean": [5, 1, 6, 2, 9, 10], "correlation_low": range(6),
                            "correlation_high": range(10, 16), "JRpti_significant": range(6)})
    assert plot.sweep_axes(summary, ["N", "choice", "tolerance"]) == ("choice", "tolerance", [])
    assert plot.sweep_axes(summary, ["N", "choice", "tolerance"], x="tolerance") == (
        "tolerance", "choice", [])
    lines = plot.sweep_lines(summary, "correlation", "choice", "tolerance")
    assert [value for value, _ in lines] == [0.1, 0.2]
    assert lines[0][1][["x", "mean", "low", "high"]].values.tolist() == [
        [0.0, 1, 1, 11], [0.5, 5, 0, 10], [0.9, 9, 4, 14]]
    share = plot.sweep_lines(summary, "JRpti_significant", "choice", None)[0][1]
    assert list(share.columns) == ["x", "mean"] and share["x"].tolist() == [0.0, 0.0, 0.5, 0.5, 0.9, 0.9]


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


@pytest.fixture(scope="module")
def road_outputs(binary, tmp_path_factory):
    """The output directory of a small real run of each road."""
    outputs = {}
    for road, args in ROADS.items():
        cwd = tmp_path_factory.mktemp(road)
        run = subprocess.run([str(binary), *args.split(), "-fixseed", "3"], cwd=cwd,
                             capture_output=True, text=True)
        assert run.returncode == 0, run.stdout
        (outputs[road],) = cwd.glob("Out_Pairlab*")
    return outputs


@pytest.mark.parametrize("road, fmt", [("continuous", "png"), ("rounds", "pdf"), ("discrete", "svg")])
def test_every_figure_of_a_road_is_a_valid_image(road_outputs, tmp_path, road, fmt):
    out = tmp_path / "figures"
    result = run_tool("pairlab-plot", road_outputs[road], "--out", out, "--format", fmt)
    assert result.returncode == 0, result.stderr
    expected = [out / f"{name}.{fmt}" for name in FIGURES[road]]
    assert result.stdout.split() == [str(p) for p in expected]
    assert all(p.read_bytes().startswith(SIGNATURES[fmt]) for p in expected)


def test_round_indices_end_on_the_programs_JRpti(road_outputs):
    """Under mass encounters the index of the whole sample after the last round is the run's
    JRpti (but for the rounding of the closed last cell of the random-mating table)."""
    running = plot.round_indices(tables.read_table(road_outputs["rounds"] / "Pairlab_rounds.tsv"))
    last = running.sort_values("round").groupby("replicate").last()["JRpti"]
    indices = tables.read_table(road_outputs["rounds"] / "Pairlab_indices.tsv")
    program = indices[indices["index"] == "JRpti"].set_index("replicate")["value"]
    assert last.sort_index().tolist() == pytest.approx(program.sort_index().tolist(), rel=1e-9)
