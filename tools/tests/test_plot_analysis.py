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
