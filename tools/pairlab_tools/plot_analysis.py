"""pairlab-plot for the output directory of pairlab-analyze (tests.tsv, cells.tsv, models.tsv,
null.tsv): observed against expected matings per cell as a heat map, the Akaike weights of the
models, and each index's simulated null distribution with the observed value and its p-value.

A directory of one table draws that table; of many tables, the heat map pools them, the weights
are averaged over them and the null distributions are those of the first table; `--file N`
draws table N alone. Each figure's numbers come from a function of their own (cell_ratios,
model_weights, null_distributions), so that they can be checked apart from the drawing.

An analysis of continuous traits with an inference (pairlab-analyze --continuous --abc: tests.tsv,
posterior.tsv, estimates.tsv, statistics.tsv) draws, for its first table (or table N), the
posterior of each parameter (the accepted draws before and after the regression adjustment) with
its prior and, when the pairs were simulated by pairlab, the true value from the run's ledger;
the observed statistics against those of the accepted simulations; and, with several models,
their posterior probabilities (posterior_parameters, statistic_values, model_probabilities,
true_values).
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


CONTINUOUS_TABLES = ("tests", "posterior", "estimates", "statistics")
# The parameters of the inference -> the columns of pairlab's run ledger that hold them.
LEDGER_COLUMNS = {"choice": "choice", "tolerance": "tolerance", "bias": "bias", "dmax": "dmax",
                  "impatience": "impatient", "logistic_a": "logistic_params_1",
                  "logistic_b": "logistic_params_2", "age_a": "age_params_1",
                  "age_b": "age_params_2", "age_g": "age_params_3"}
STATISTIC_WORDS = {
    "r": "correlation between partners (r)",
    "mean_difference": "mean of x - y (population sd)",
    "sd_difference": "sd of x - y (population sd)",
    "female_shift": "mated females' mean - population's (sd)",
    "female_sd_ratio": "mated females' sd / population's",
    "male_shift": "mated males' mean - population's (sd)",
    "male_sd_ratio": "mated males' sd / population's"}


def is_continuous_directory(directory):
    return all((Path(directory) / f"{name}.tsv").exists() for name in CONTINUOUS_TABLES)


def is_analysis_directory(directory):
    return all((Path(directory) / f"{name}.tsv").exists() for name in RESULT_TABLES) or \
        is_continuous_directory(directory)


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


def load_results(directory, names, table):
    """The result tables of an analysis and its table numbers; (None, numbers) with a message
    when the table asked for is not among them."""
    data = {name: tables.read_table(Path(directory) / f"{name}.tsv") for name in names}
    numbers = list(dict.fromkeys(data["tests"]["table"]))
    if table is not None and table not in numbers:
        print(f"pairlab-plot: the analysis has no table {table} (tables 1 to {len(numbers)})",
              file=sys.stderr)
        return None, numbers
    return data, numbers


def draw(directory, out, fmt, table=None):
    """Draws the figures of an analysis directory into out; returns the exit status."""
    directory = Path(directory)
    if is_continuous_directory(directory):
        return draw_continuous(directory, out, fmt, table)
    data, numbers = load_results(directory, RESULT_TABLES, table)
    if data is None:
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


# ---------------------------------------------------------------------------------------------
# Continuous traits: the inference by simulation

def posterior_parameters(posterior, estimates, table):
    """Per model and parameter of one table: the accepted values before and after the adjustment,
    their weights, the prior's range and the posterior median and 95 % interval (after the
    adjustment when it was made, otherwise before)."""
    out = []
    posterior = of_table(posterior, table)
    estimates = of_table(estimates, table)
    for (model, parameter), draws in posterior.dropna(subset=["parameter"]).groupby(
            ["model", "parameter"], sort=False):
        rows = estimates[(estimates["model"] == model) & (estimates["parameter"] == parameter)]
        regression = rows[rows["method"] == "regression"].iloc[0]
        chosen = regression if not np.isnan(regression["median"]) else \
            rows[rows["method"] == "rejection"].iloc[0]
        out.append({"model": model, "parameter": parameter,
                    "values": draws["value"].to_numpy(), "adjusted": draws["adjusted"].to_numpy(),
                    "weights": draws["weight"].to_numpy(),
                    "prior": (regression["prior_lower"], regression["prior_upper"]),
                    "median": chosen["median"], "interval": (chosen["lower"], chosen["upper"]),
                    "method": chosen["method"]})
    return out


def statistic_values(statistics, table):
    """Per statistic of one table: the observed value, whether the distance used it, and the
    values of the accepted simulations."""
    out = []
    for statistic, rows in of_table(statistics, table).groupby("statistic", sort=False):
        observed = rows[rows["source"] == "observed"]["value"].iloc[0]
        out.append({"statistic": statistic, "observed": observed,
                    "used": bool(rows["in_distance"].iloc[0]),
                    "accepted": rows[rows["source"] == "accepted"]["value"].to_numpy()})
    return out


def model_probabilities(estimates, table=None):
    """The posterior probability of each model (its mean over the tables)."""
    rows = of_table(estimates, table)
    rows = rows[rows["parameter"] == "probability"]
    return rows.groupby("model", sort=False)["mean"].mean()


def analysis_working_directory(directory, ledger):
    """The directory the analysis ran in: its output directory without the --out it was given."""
    out = Path(str(ledger["out"]))
    if out.is_absolute():
        return Path("/")
    parts = Path(directory).resolve().parts
    return Path(*parts[:len(parts) - len(out.parts)]) if len(out.parts) < len(parts) else Path(".")


def true_values(directory, tests, table):
    """The parameters the pairs of one table were simulated with, from the ledger of the pairlab
    run (its run_id) beside the analysis' input; {} when the input is not a simulated run's."""
    ledger_path = Path(directory) / "Pairlab_runs.tsv"
    rows = of_table(tests, table)
    if not ledger_path.exists() or "run_id" not in rows or rows.empty:
        return {}
    analysis = tables.read_table(ledger_path).iloc[-1]
    source = analysis_working_directory(directory, analysis) / str(analysis["input"])
    runs_path = source.parent / "Pairlab_runs.tsv"
    if not runs_path.exists():
        return {}
    runs = tables.read_table(runs_path)
    run = runs[runs["run_id"].astype(str) == str(rows["run_id"].iloc[0])]
    if run.empty:
        return {}
    return {parameter: float(run[column].iloc[0]) for parameter, column in LEDGER_COLUMNS.items()
            if column in run}


def grid(count, width=4.4, height=3.4):
    columns = min(count, 3)
    rows = -(-count // columns)
    figure, axes = plt.subplots(rows, columns, figsize=(width * columns, height * rows),
                                squeeze=False)
    for ax in axes.flat[count:]:
        ax.set_visible(False)
    return figure, axes.flat


def plot_posterior(parameters, truth, out, fmt, what):
    figure, axes = grid(len(parameters))
    for ax, p in zip(axes, parameters):
        low, high = p["prior"]
        bins = np.linspace(low, high, 31)
        ax.hist(p["values"], bins=bins, density=True, color="tab:gray", alpha=0.45,
                label="accepted draws")
        if p["method"] == "regression":
            ax.hist(p["adjusted"], bins=bins, weights=p["weights"], density=True,
                    histtype="step", color="tab:blue", lw=1.6, label="adjusted (weighted)")
        ax.hlines(1.0 / (high - low), low, high, color="tab:green", lw=1.2, label="prior")
        for bound in p["interval"]:
            ax.axvline(bound, color="tab:blue", ls=":", lw=1)
        if p["parameter"] in truth:
            ax.axvline(truth[p["parameter"]], color="tab:red", lw=1.5,
                       label=f"true value {truth[p['parameter']]:.4g}")
        ax.set(xlabel=f"{p['parameter']} ({p['model']})", ylabel="density",
               title=f"median {p['median']:.3g}, 95 % {p['interval'][0]:.3g} to "
                     f"{p['interval'][1]:.3g}")
        ax.legend(fontsize=7)
    figure.suptitle(f"Posterior of each parameter, {what}")
    figure.tight_layout()
    return save(figure, out, "analysis_posterior", fmt)


def plot_statistics(values, out, fmt, what):
    figure, axes = grid(len(values), 4.2, 3.2)
    for ax, v in zip(axes, values):
        ax.hist(v["accepted"], bins=25, color="tab:gray")
        ax.axvline(v["observed"], color="tab:red", label=f"observed {v['observed']:.4g}")
        ax.set(xlabel=STATISTIC_WORDS.get(v["statistic"], v["statistic"]),
               ylabel="accepted simulations",
               title=v["statistic"] + ("" if v["used"] else " (not in the distance)"))
        ax.legend(fontsize=7)
    figure.suptitle(f"Observed statistics against the accepted simulations, {what}")
    figure.tight_layout()
    return save(figure, out, "analysis_statistics", fmt)


def plot_models(probabilities, out, fmt, what, averaged):
    figure, ax = plt.subplots(figsize=(6, 0.4 * len(probabilities) + 1.5))
    ax.barh(probabilities.index.astype(str), probabilities.to_numpy(), color="tab:purple")
    ax.invert_yaxis()
    ax.set(xlim=(0, 1), xlabel="mean posterior probability" if averaged else
           "posterior probability", title=f"Models, {what}")
    return save(figure, out, "analysis_models", fmt)


def draw_continuous(directory, out, fmt, table=None):
    data, numbers = load_results(directory, CONTINUOUS_TABLES, table)
    if data is None:
        return 2
    Path(out).mkdir(parents=True, exist_ok=True)
    first = table if table is not None else numbers[0]
    what = f"table {first}"
    parameters = posterior_parameters(data["posterior"], data["estimates"], first)
    if parameters:
        plot_posterior(parameters, true_values(directory, data["tests"], first), out, fmt, what)
    values = statistic_values(data["statistics"], first)
    if values:
        plot_statistics(values, out, fmt, what)
    probabilities = model_probabilities(data["estimates"], table)
    if len(probabilities) > 1:
        many = table is None and len(numbers) > 1
        plot_models(probabilities, out, fmt, f"{len(numbers)} tables" if many else what, many)
    return 0
