"""pairlab-plot on the output directory of pairlab-analyze: the numbers behind each figure (on
tables written by hand), and the figures of a real analysis."""

import subprocess

import pandas as pd
import pytest
from conftest import run_tool

from pairlab_tools import plot_analysis


def test_cells_pooled_over_tables_or_of_one():
    cells = pd.DataFrame({"table": [1, 1, 2, 2], "female_type": ["A", "B", "A", "B"],
                          "male_type": ["X", "X", "X", "X"], "observed": [3, 1, 5, 0],
                          "expected": [2.0, 2.0, 2.5, 2.5]})
    pooled = plot_analysis.cell_ratios(cells)
    assert pooled[["observed", "expected"]].values.tolist() == [[8, 4.5], [1, 4.5]]
    assert plot_analysis.cell_ratios(cells, 2)["ratio"].tolist() == [2.0, 0.0]


def test_weights_averaged_over_tables_largest_first():
    models = pd.DataFrame({"table": [1, 1, 2, 2], "model": ["random", "M3"] * 2,
                           "weight": [0.75, 0.25, 0.15, 0.85]})
    assert plot_analysis.model_weights(models).to_dict() == pytest.approx({"M3": 0.55,
                                                                           "random": 0.45})
    assert plot_analysis.model_weights(models, 1).index.tolist() == ["random", "M3"]


def test_null_distributions_carry_their_test_s_p_value():
    tests = pd.DataFrame({"table": [1, 1], "index": ["Jpti", "Jpsi"], "value": [0.3, 0.2],
                          "p_null": [0.01, 0.04], "p_perm": [float("nan"), 0.02]})
    null = pd.DataFrame({"table": 1, "test": ["null", "null", "permutation"],
                         "index": ["Jpti", "Jpsi", "Jpsi"], "bin": 1, "lower": 0.0,
                         "upper": 0.5, "replicates": 9})
    found = {(d["test"], d["index"]): (d["observed"], d["p"])
             for d in plot_analysis.null_distributions(null, tests, 1)}
    assert found == {("null", "Jpti"): (0.3, 0.01), ("null", "Jpsi"): (0.2, 0.04),
                     ("permutation", "Jpsi"): (0.2, 0.02)}


def test_figures_of_a_real_analysis(binary, tmp_path):
    analyze = binary.parent / "pairlab-analyze"
    table = tmp_path / "field.tsv"
    rows = ["site\tfemale_type\tmale_type\tmatings\tfemale_premating\tmale_premating"]
    for site, counts in (("north", (20, 5, 7, 18)), ("south", (9, 11, 10, 10))):
        cells = zip(("A", "A", "B", "B"), ("A", "B", "A", "B"), counts)
        rows += [f"{site}\t{f}\t{m}\t{c}\t50\t50" for f, m, c in cells]
    table.write_text("\n".join(rows) + "\n")
    subprocess.run([str(analyze), str(table), "--null", "99", "--seed", "3"], check=True,
                   capture_output=True)
    directory = tmp_path / "field_analysis"
    result = run_tool("pairlab-plot", directory)
    assert result.returncode == 0, result.stderr
    names = {"analysis_cells.png", "analysis_weights.png", "analysis_null.png"}
    assert {p.name for p in (directory / "figures").iterdir()} == names
    one = run_tool("pairlab-plot", directory, "--file", 2, "--out", tmp_path / "two")
    assert one.returncode == 0 and {p.name for p in (tmp_path / "two").iterdir()} == names
    missing = run_tool("pairlab-plot", directory, "--file", 3)
    assert missing.returncode == 2 and "no table 3" in missing.stderr


def test_posterior_statistics_and_models_of_one_table():
    posterior = pd.DataFrame({"table": [1, 1, 1, 1, 2], "model": ["FND", "FND", "random", "FND",
                                                                   "FND"],
                              "simulation": [3, 3, 8, 9, 4], "weight": [1.0, 1.0, 0.5, 0.0, 1.0],
                              "parameter": ["choice", "tolerance", None, "choice", "choice"],
                              "value": [0.4, 0.1, None, 0.6, 0.9],
                              "adjusted": [0.45, 0.12, None, 0.5, 0.8]})
    nan = float("nan")
    estimates = pd.DataFrame({
        "table": [1] * 6 + [2, 2], "model": ["FND"] * 4 + ["FND", "random", "FND", "random"],
        "parameter": ["choice", "choice", "tolerance", "tolerance", "probability",
                      "probability", "probability", "probability"],
        "method": ["rejection", "regression"] * 2 + ["rejection"] * 4,
        "mean": [0.5, 0.47, 0.1, nan, 0.75, 0.25, 0.25, 0.75],
        "median": [0.5, 0.45, 0.1, nan, nan, nan, nan, nan],
        "lower": [0.4, 0.4, 0.1, nan, nan, nan, nan, nan],
        "upper": [0.6, 0.5, 0.1, nan, nan, nan, nan, nan],
        "prior_lower": [0.0, 0.0, 0.02, 0.02] + [nan] * 4,
        "prior_upper": [1.0, 1.0, 0.5, 0.5] + [nan] * 4})
    found = {(p["model"], p["parameter"]): p
             for p in plot_analysis.posterior_parameters(posterior, estimates, 1)}
    assert list(found) == [("FND", "choice"), ("FND", "tolerance")]
    choice = found[("FND", "choice")]
    assert choice["values"].tolist() == [0.4, 0.6] and choice["method"] == "regression"
    assert choice["prior"] == (0.0, 1.0) and choice["interval"] == (0.4, 0.5)
    # Without an adjustment the summary is the rejection's.
    assert found[("FND", "tolerance")]["method"] == "rejection"
    assert plot_analysis.model_probabilities(estimates).to_dict() == {"FND": 0.5, "random": 0.5}
    assert plot_analysis.model_probabilities(estimates, 2).to_dict() == {"FND": 0.25,
                                                                         "random": 0.75}
    statistics = pd.DataFrame({"table": 1, "statistic": ["r", "r", "r", "r"],
                               "in_distance": 1, "source": ["observed", "scale", "accepted",
                                                            "accepted"],
                               "value": [0.5, 0.1, 0.45, 0.52]})
    (r,) = plot_analysis.statistic_values(statistics, 1)
    assert r["observed"] == 0.5 and r["used"] and r["accepted"].tolist() == [0.45, 0.52]


def test_figures_of_an_inference_on_simulated_pairs_show_the_true_values(binary, tmp_path):
    analyze = binary.parent / "pairlab-analyze"
    subprocess.run([str(binary), "-continuous", "1", "-model", "-1", "-choice", "0.7",
                    "-tolerance", "0.2", "-N", "100", "-matings", "20", "-numfiles", "2",
                    "-tidy", "2", "-writefiles", "0", "-fixseed", "3", "-outdir", "sim"],
                   cwd=tmp_path, check=True, capture_output=True)
    pairs = next((tmp_path / "sim").glob("Out_Pairlab*")) / "Pairlab_pairs.tsv"
    subprocess.run([str(analyze), str(pairs.relative_to(tmp_path)), "--continuous", "--models",
                    "FND,random", "--abc", "200", "--accept", "0.1", "--prior", "choice=0:1",
                    "--prior", "tolerance=0.02:0.5", "--null", "0", "--seed", "1", "--out",
                    "inference"], cwd=tmp_path, check=True, capture_output=True)
    directory = tmp_path / "inference"
    tests = plot_analysis.tables.read_table(directory / "tests.tsv")
    truth = plot_analysis.true_values(directory, tests, 2)
    assert truth["choice"] == 0.7 and truth["tolerance"] == 0.2
    result = run_tool("pairlab-plot", directory, "--file", 2)
    assert result.returncode == 0, result.stderr
    assert {p.name for p in (directory / "figures").iterdir()} == {
        "analysis_posterior.png", "analysis_statistics.png", "analysis_models.png"}
