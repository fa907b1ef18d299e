"""pairlab-plot for the output directory of pairlab-analyze (tests.tsv, cells.tsv, models.tsv,
null.tsv): observed against expected matings per cell as a heat map, the Akaike weights of the
models, and each index's simulated null distribution with the observed value and its p-value.

A directory of one table draws that table; of many tables, the heat map pools them, the weights
are averaged over them and the null distributions are those of the first table; `--file N`
draws table N alone. Each figure's numbers come from a function of their own (cell_ratios,
model_weights, null_distributions), so that they can be checked apart from the drawing.
"""

import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from . import tables  # noqa: E402

RESULT_TABLES = ("tests", "cells", "models")
INDEX_WORDS = {
    "Jpti": "departure from random mating (Jpti)",
    "Jpsi": "sexual isolation (Jpsi)",
    "Jpss": "sexual selection (Jpss)",
    "Jps1": "sexual selection on females (Jps1)",
    "Jps2": "sexual selection on males (Jps2)",
}
PROCESS_WORDS = {"replacement": "matings drawn with replacement",
                 "individual": "individual encounters", "mass": "mass encounters"}


def is_analysis_directory(directory):
    return all((Path(directory) / f"{name}.tsv").exists() for name in RESULT_TABLES)


def of_table(frame, table):
    return frame if table is None else frame[frame["table"] == table]


# ---------------------------------------------------------------------------------------------
# The data of each figure

def cell_ratios(cells, table=None):
    """Observed and expected matings (under random mating, from the population) per pair of
    types, summed over the tables (or of one table), and their ratio."""
    cells = of_table(cells, table).copy()
    for column in ("female_type", "male_type"):  # types in their first appearance
        cells[column] = cells[column].astype(str)
    out = (cells.groupby(["female_type", "male_type"], sort=False)
           .agg(observed=("observed", "sum"), expected=("expected", "sum")).reset_index())
    out["ratio"] = out["observed"] / out["expected"]
    return out


def model_weights(models, table=None):
    """The Akaike weight of each model (its mean over the tables), largest first."""
    weights = of_table(models, table).groupby("model", sort=False)["weight"].mean()
    return weights.sort_values(ascending=False, kind="stable")


def null_distributions(null, tests, table):
    """Per simulated test and index of one table: the bins (lower, upper, replicates), the
    observed value and the p-value."""
    out = []
    tests = of_table(tests, table).set_index("index")
    for (test, index), bins in of_table(null, table).groupby(["test", "index"], sort=False):
        p = tests.loc[index, "p_perm" if test == "permutation" else "p_null"]
        out.append({"test": test, "index": index, "observed": tests.loc[index, "value"], "p": p,
                    "bins": bins[["lower", "upper", "replicates"]].reset_index(drop=True)})
    return out


# ---------------------------------------------------------------------------------------------
# Drawing

def save(figure, out, name, fmt):
    path = Path(out) / f"{name}.{fmt}"
    figure.savefig(path, bbox_inches="tight")
    plt.close(figure)
    print(path)
    return path


def plot_cells(cells, out, fmt, what):
    ratios = cell_ratios(cells)
    females = list(dict.fromkeys(ratios["female_type"]))
    males = list(dict.fromkeys(ratios["male_type"]))
    grid = ratios.set_index(["female_type", "male_type"])
    with np.errstate(divide="ignore"):
        log_ratio = np.array([[np.log2(grid.loc[(f, m), "ratio"]) if (f, m) in grid.index
                               else np.nan for m in males] for f in females])
    finite = np.abs(log_ratio[np.isfinite(log_ratio)])
    limit = max(finite.max() if finite.size else 0.0, 0.1)
    figure, ax = plt.subplots(figsize=(1.4 * len(males) + 3, 1.2 * len(females) + 2))
    image = ax.imshow(log_ratio, cmap="RdBu_r", vmin=-limit, vmax=limit)
    for i, f in enumerate(females):
        for j, m in enumerate(males):
            if (f, m) in grid.index:
                ax.text(j, i, f"{grid.loc[(f, m), 'observed']:.4g}\n"
                              f"({grid.loc[(f, m), 'expected']:.4g})",
                        ha="center", va="center", fontsize=8)
    ax.set_xticks(range(len(males)), [f"male {m}" for m in males])
    ax.set_yticks(range(len(females)), [f"female {f}" for f in females])
    figure.colorbar(image, label="observed / expected matings (log2)")
    ax.set_title(f"Matings observed (expected under random mating), {what}")
    return save(figure, out, "analysis_cells", fmt)


def plot_weights(models, out, fmt, what, averaged):
    weights = model_weights(models)
    figure, ax = plt.subplots(figsize=(7, 0.35 * len(weights) + 1.5))
    ax.barh(weights.index.astype(str), weights.to_numpy(), color="tab:green")
    ax.invert_yaxis()
    ax.set(xlim=(0, 1), xlabel="mean Akaike weight" if averaged else "Akaike weight",
           title=f"Models by Akaike weight, {what}")
    return save(figure, out, "analysis_weights", fmt)


def plot_null(distributions, out, fmt, what, process):
    columns = min(len(distributions), 3)
    rows = -(-len(distributions) // columns)
    figure, axes = plt.subplots(rows, columns, figsize=(4.6 * columns, 3.6 * rows), squeeze=False)
    for ax in axes.flat[len(distributions):]:
        ax.set_visible(False)
    for ax, d in zip(axes.flat, distributions):
        bins = d["bins"]
        ax.bar(bins["lower"], bins["replicates"], width=bins["upper"] - bins["lower"],
               align="edge", color="tab:gray")
        ax.axvline(d["observed"], color="tab:red", label=f"observed {d['observed']:.4g}")
        how = "permutations" if d["test"] == "permutation" else process
        ax.set(xlabel=INDEX_WORDS.get(d["index"], d["index"]), ylabel="replicates",
               title=f"{d['index']}, {how}: p = {d['p']:.3g}")
        ax.legend(fontsize=8)
    figure.suptitle(f"Simulated null distributions, {what}")
    figure.tight_layout()
    return save(figure, out, "analysis_null", fmt)


def run_process(directory):
    """The process of the Monte Carlo tests, from the run ledger."""
    ledger = Path(directory) / "Pairlab_runs.tsv"
    if ledger.exists():
        runs = tables.read_table(ledger)
        if "process" in runs and len(runs):
            return PROCESS_WORDS.get(str(runs["process"].iloc[-1]), "simulated replicates")
    return "simulated replicates"


def draw(directory, out, fmt, table=None):
    """Draws the figures of an analysis directory into out; returns the exit status."""
    directory = Path(directory)
    data = {name: tables.read_table(directory / f"{name}.tsv") for name in RESULT_TABLES}
    numbers = list(dict.fromkeys(data["tests"]["table"]))
    if table is not None and table not in numbers:
        print(f"pairlab-plot: the analysis has no table {table} (tables 1 to {len(numbers)})",
              file=sys.stderr)
        return 2
    Path(out).mkdir(parents=True, exist_ok=True)
    if table is not None or len(numbers) == 1:
        table = table if table is not None else numbers[0]
        what, first = f"table {table}", table
        data = {name: of_table(frame, table) for name, frame in data.items()}
    else:
        what, first = f"{len(numbers)} tables", numbers[0]
    plot_cells(data["cells"], out, fmt, what + (" pooled" if table is None else ""))
    plot_weights(data["models"], out, fmt, what, table is None)
    null = directory / "null.tsv"
    if null.exists():
        distributions = null_distributions(tables.read_table(null), data["tests"], first)
        if distributions:
            plot_null(distributions, out, fmt, f"table {first}", run_process(directory))
    return 0
