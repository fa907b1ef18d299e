"""pairlab-plot: figures from a run's output directory (its Pairlab_*.tsv tables) or from a
sweep's directory (summary.tsv and the merged tables).

Every number a figure shows comes from the program's tables (no index is computed here); each
figure's data come from a function of its own (round_index_means, significance_shares,
matings_against_expected, scatter_data, sweep_lines), so that they can be checked apart from the
drawing. An output directory may hold several runs: figures are drawn for one run (the last by
default, --run for another) or for runs pooled on request (--all), and say which.
"""

import argparse
import re
import sys
import textwrap
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402
import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402
import yaml  # noqa: E402

from . import plot_analysis, stats, tables  # noqa: E402
from .check import ranges as check_ranges  # noqa: E402
from .plan import SWEEP_PREFIX, SweepError, load_analysis, parse_options  # noqa: E402
from .summary import expected_matings  # noqa: E402

INDEX_WORDS = {
    "JRpti": "departure from random mating (JRpti)",
    "JRpsi": "sexual isolation (JRpsi)",
    "JRpss": "sexual selection (JRpss)",
    "JRps1": "sexual selection on females (JRps1)",
    "JRps2": "sexual selection on males (JRps2)",
    "Jpti": "departure from random mating, whole sample (Jpti)",
    "Jpsi": "sexual isolation, whole sample (Jpsi)",
    "Jpss": "sexual selection, whole sample (Jpss)",
    "E0R": "part left unexplained (E0R)",
}
ROUND_INDICES = ["JRpti", "JRpsi", "JRpss"]
LINE_STYLES = {"JRpti": {"linewidth": 3, "alpha": 0.6}, "JRpsi": {"linestyle": "--"},
               "JRpss": {"linestyle": ":"}}
PARAMETER_WORDS = {
    "choice": "strength of choice", "tolerance": "tolerance of choice", "bias": "bias of choice",
    "dmax": "preferred distance (Dmax)", "N": "population size", "osr": "males per female",
    "matings": "sample size (matings)", "model": "mating model", "incrfactor": "selection factor a",
    "selfactor": "selection factor a", "choicefactor": "choice factor b",
    "decrfactor": "choice factor b", "MRmax": "encounters per round", "femtypes": "female types",
    "maletypes": "male types", "impatient": "impatience", "impatience": "impatience",
    "logistic_params": "logistic intercept and slope", "bimodal": "trait mixture",
    "age_params": "aging parameters", "MPF": "minimum type frequency",
}
CORRELATION = "correlation between partners' traits"
TEST_WORDS = {"chisq": "chi-square test", "null": "Monte Carlo test", "perm": "permutation test"}
SELECTED = "_selected"
POWER_TARGET = 0.8  # the dashed line of the power figures
MEAN_CI = "mean, 95 % CI of the mean"
# Options that say how a run writes or is numbered, not what it simulates: left out of titles.
BOOKKEEPING = {"-tidy", "-writefiles", "-writedistrib", "-onlyresume", "-verbose", "-progress",
               "-fixseed", "-popseed", "-shift", "-outdir", "-checkonly"}


def option_of(column):
    """The option of a swept column: 'sweep_choice' (or 'choice' in older sweeps) -> 'choice'."""
    return column[len(SWEEP_PREFIX):] if column.startswith(SWEEP_PREFIX) else column


def parameter_words(column):
    name = option_of(column)
    words = PARAMETER_WORDS.get(name)
    return f"{words} (-{name})" if words else f"-{name}"


# ---------------------------------------------------------------------------------------------
# The data of each figure

def finite_mean(values):
    """The mean of the values present (inf when one is inf), NaN when there is none."""
    values = values.dropna().to_numpy()
    return values.mean() if len(values) else np.nan


def round_index_means(round_indices):
    """Per index (JRpti, JRpsi, JRpss) and round: the replicates that reached the round, the
    mean over them of the index of the sample so far (as the program's table gives it) and its
    95 % confidence interval."""
    grouped = round_indices.groupby(["index", "round"])["value"]
    # numpy's mean: the compensated sums of pandas' grouped mean turn an infinite index into nan.
    frame = grouped.agg(replicates="count", mean=finite_mean, sd="std").reset_index()
    t = frame["replicates"].map(lambda n: stats.t_quantile(n - 1) if n > 1 else np.nan)
    with np.errstate(invalid="ignore"):
        half = t * frame["sd"] / np.sqrt(frame["replicates"])
        finite = np.isfinite(frame["mean"])
        frame["ci_low"] = np.where(finite, frame["mean"] - half, np.nan)
        frame["ci_high"] = np.where(finite, frame["mean"] + half, np.nan)
    order = {index: i for i, index in enumerate(ROUND_INDICES)}
    frame = frame[frame["index"].isin(order)]
    frame = frame.sort_values(["index", "round"], key=lambda c: c.map(order) if c.name == "index"
                              else c)
    return frame.drop(columns="sd").reset_index(drop=True)


def significance_shares(indices):
    """Per index (E0R aside, it is never tested), in the program's order: the replicates, those
    in which the index was significant, their share and its 95 % Wilson interval."""
    tested = indices[indices["index"] != "E0R"]
    rows = []
    for index in tables.INDICES:
        flags = tested.loc[tested["index"] == index, "significant"].dropna()
        if len(flags):
            low, high = stats.wilson_interval(int(flags.sum()), len(flags))
            rows.append((index, len(flags), int(flags.sum()), flags.mean(), low, high))
    return pd.DataFrame(rows, columns=["index", "replicates", "significant", "share", "ci_low",
                                       "ci_high"])


def matings_against_expected(matings):
    """Observed matings of every pair of types, summed over files, against the sum of the
    random-mating expectation of each file (summary.expected_matings)."""
    m = expected_matings(matings)
    out = (m.groupby(["female_type", "male_type"])
           .agg(observed=("matings", "sum"), expected=("expected", "sum")).reset_index())
    out["ratio"] = out["observed"] / out["expected"]
    return out


def scatter_data(pairs, file=None):
    """The pairs of one file (all files pooled when file is None), the regression line of the
    male's trait on the female's and the correlation."""
    if file is not None:
        pairs = pairs[pairs["file"] == file]
    x, y = pairs["female_trait"].to_numpy(float), pairs["male_trait"].to_numpy(float)
    if len(x) < 2 or np.ptp(x) == 0:
        return x, y, None, None, float("nan")
    slope, intercept = np.polyfit(x, y, 1)
    return x, y, slope, intercept, float(np.corrcoef(x, y)[0, 1])


def read_phenotypes(path):
    """Female and male traits of a phenotype file: after the line '#females' one value per
    line, then after '#males'; other lines are skipped."""
    traits = {"#females": [], "#males": []}
    current = None
    for line in Path(path).read_text().splitlines():
        line = line.strip()
        if line in traits:
            current = traits[line]
        elif current is not None and line and not line.startswith("#"):
            current.append(float(line))
    return np.array(traits["#females"]), np.array(traits["#males"])


def sweep_axes(summary, parameters, x=None, by=None):
    """The parameter along the x axis, the one drawn as lines (or None) and the others that
    vary, each drawn in a figure of its own. By default the first two that vary."""
    varying = [p for p in parameters if summary[p].nunique() > 1]
    x = x or (varying[0] if varying else None)
    rest = [p for p in varying if p != x]
    by = by or (rest[0] if rest else None)
    return x, by, [p for p in rest if p != by]


INCOMPLETE_NOTE = ("hollow markers: points with incomplete samples (fewer complete files than "
                   "replicates)")


def sweep_lines(summary, stat, x, by):
    """One line per value of `by` (all points when by is None): the x values in order with the
    statistic's mean (a share: its value) and, when the summary has it, its 95 % confidence
    interval (low, high): of the mean, or Wilson's for a share."""
    mean = f"{stat}_mean" if f"{stat}_mean" in summary else stat
    columns = {"mean": mean}
    if f"{stat}_ci_low" in summary:
        columns.update(low=f"{stat}_ci_low", high=f"{stat}_ci_high")
    groups = summary.groupby(by, sort=False) if by else [(None, summary)]
    lines = []
    for value, group in groups:
        line = group[[x] + list(columns.values())]
        line = line.rename(columns={x: "x", **{v: k for k, v in columns.items()}})
        # Points some of whose files could not complete their sample.
        line = line.assign(incomplete=incomplete_points(group))
        lines.append((value, line.sort_values("x", kind="stable")))
    return lines


def incomplete_points(summary):
    """Per point: whether fewer of its files completed their sample than it has replicates."""
    if "complete" not in summary or "replicates" not in summary:
        return pd.Series(False, index=summary.index)
    complete = pd.to_numeric(summary["complete"], errors="coerce")
    return (complete < pd.to_numeric(summary["replicates"], errors="coerce")).fillna(False)


def true_model(value):
    """The name pairlab-analyze gives the model of a -model value (-3, 34, -123321), or None
    for a model it does not fit (5, read from a file)."""
    try:
        number = abs(int(float(value)))
    except ValueError:
        return None
    number = 0 if number == 123321 else (int(str(number)[0]) if number >= 10 else number)
    return {0: "random", 4: "M3", 5: None}.get(number, f"M{number}")


def recovery_matrix(summary, model_column):
    """The model-recovery matrix of points that differ only in their -model: one row per point
    (its -model, in the sweep's order), one column per fitted model, the share of replicates in
    which that model has the top Akaike weight."""
    models = [c[:-len(SELECTED)] for c in summary.columns if c.endswith(SELECTED)]
    matrix = summary.set_index(model_column)[[m + SELECTED for m in models]]
    matrix.columns = models
    return matrix


# ---------------------------------------------------------------------------------------------
# The runs of an output directory

def run_options(command_line):
    """The options of a command line that set what the run simulates, as text."""
    words = command_line.split()[1:]
    try:
        options = parse_options(words)
    except ValueError:
        return " ".join(words)
    return " ".join(" ".join([o, *v]) for o, v in options.items() if o not in BOOKKEEPING)


def list_runs(directory, data):
    """The runs of an output directory in the order they started: (run id, ledger row as a dict,
    whether the tables hold rows of it). Without a ledger: the run ids of the tables."""
    results = {name: frame for name, frame in data.items() if name != "runs" and "run_id" in frame}
    with_rows = set()
    for frame in results.values():
        with_rows.update(frame["run_id"].astype(str))
    ledger = Path(directory) / tables.PROGRAM_TABLES["runs"]
    runs = []
    if ledger.exists():
        header, rows = tables.read_text_rows(ledger)
        for row in rows:
            record = dict(zip(header, row))
            runs.append((record.get("run_id", ""), record, record.get("run_id") in with_rows))
    known = {run_id for run_id, _, _ in runs}
    for frame in results.values():
        for run_id in dict.fromkeys(frame["run_id"].astype(str)):
            if run_id not in known:
                runs.append((run_id, {}, True))
                known.add(run_id)
    return runs


class Refusal(Exception):
    """A request pairlab-plot cannot draw (exit status 2)."""


def choose_runs(runs, wanted=None, pool=False):
    """(run ids drawn, the text naming them in titles, a note for standard error or None)."""
    drawable = [(run_id, record) for run_id, record, has_rows in runs if has_rows]
    if not drawable:
        return [], "", None
    if pool:
        options = {run_options(r.get("command_line", "")) for _, r in drawable}
        what = f"{len(drawable)} runs pooled" if len(drawable) > 1 else f"run {drawable[0][0]}"
        if len(options) == 1:
            what += f": {options.pop()}"
        else:
            what += " (with different options)"
        return [run_id for run_id, _ in drawable], what, None
    if wanted is not None:
        matches = [(i, r) for i, r, _ in runs if i == wanted] or \
                  [(i, r) for i, r, _ in runs if i.startswith(wanted)]
        if len(matches) != 1:
            listing = "\n".join(f"  {i}: {run_options(r.get('command_line', ''))}"
                                for i, r, _ in runs)
            raise Refusal(f"{'no' if not matches else 'more than one'} run matches {wanted!r}; "
                          f"the runs of this directory:\n{listing}")
        run_id, record = matches[0]
        if run_id not in {i for i, _ in drawable}:
            raise Refusal(f"run {run_id} wrote no rows to the tables (status "
                          f"{record.get('status', '?')}: {record.get('message', '')})")
    else:
        run_id, record = drawable[-1]
    note = None
    if wanted is None and len(drawable) > 1:
        note = (f"this directory holds {len(drawable)} runs with results; drawn: the last, "
                f"{run_id}; --run ID draws another, --all pools them")
    return [run_id], f"run {run_id}: {run_options(record.get('command_line', ''))}", note


# ---------------------------------------------------------------------------------------------
# Drawing

def title(ax, what, context):
    lines = [what] + (textwrap.wrap(context, 80) if context else [])
    ax.set_title("\n".join(lines), fontsize=10)


def save(figure, out, name, fmt):
    path = Path(out) / f"{name}.{fmt}"
    figure.savefig(path, bbox_inches="tight")
    plt.close(figure)
    print(path)
    return path


def plot_scatter(pairs, out, fmt, context, file=None):
    x, y, slope, intercept, r = scatter_data(pairs, file)
    if len(x) == 0:
        return None
    figure, ax = plt.subplots(figsize=(5.5, 5.5))
    ax.scatter(x, y, s=8, alpha=0.5)
    if slope is not None:
        xs = np.array([x.min(), x.max()])
        ax.plot(xs, intercept + slope * xs, color="black", label=f"regression line, r = {r:.3f}")
        ax.legend(loc="upper left")
    what = f"file {file}" if file is not None else "all files pooled"
    ax.set(xlabel="female trait", ylabel="male trait")
    title(ax, f"Traits of mated partners ({what}, {len(x)} pairs)", context)
    return save(figure, out, "pairs_scatter" if file is None else f"pairs_scatter_file{file}", fmt)


def plot_correlations(files, out, fmt, context):
    values = files["correlation"].dropna()
    if values.empty:
        return None
    figure, ax = plt.subplots(figsize=(6.5, 4.5))
    ax.hist(values, bins=min(30, max(5, len(values) // 5)), color="tab:blue", alpha=0.8)
    ax.axvline(values.mean(), color="black", label=f"mean {values.mean():.3f}")
    ax.legend()
    ax.set(xlabel=CORRELATION, ylabel="number of files")
    title(ax, f"Correlation between partners across {len(values)} files", context)
    return save(figure, out, "correlations", fmt)


def plot_traits(females, males, source, out, fmt, context):
    if len(females) + len(males) == 0:
        return None
    figure, ax = plt.subplots(figsize=(6.5, 4.5))
    bins = np.histogram_bin_edges(np.concatenate([females, males]), bins=30)
    ax.hist(females, bins=bins, alpha=0.6, label=f"females ({len(females)})")
    ax.hist(males, bins=bins, alpha=0.6, label=f"males ({len(males)})")
    ax.set(xlabel="trait", ylabel="number of individuals")
    title(ax, f"Trait distributions ({source})", context)
    ax.legend()
    return save(figure, out, "traits", fmt)


def plot_round_indices(round_indices, out, fmt, context):
    means = round_index_means(round_indices)
    if not np.isfinite(means["mean"]).any():
        return None
    figure, ax = plt.subplots(figsize=(7.5, 5))
    for index, line in means.groupby("index", sort=False):
        # JRpti is close to one of the others when the departure is all isolation or all
        # selection: its own style keeps both visible.
        drawn = ax.plot(line["round"], line["mean"], label=INDEX_WORDS[index],
                        **LINE_STYLES[index])
        ax.fill_between(line["round"], line["ci_low"], line["ci_high"], alpha=0.2,
                        color=drawn[0].get_color())
    replicates = round_indices["replicate"].nunique()
    ax.set(xlabel="mating round", ylabel=f"index of the sample so far ({MEAN_CI})")
    title(ax, f"Mating indices across rounds ({replicates} replicates)", context)
    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.legend()
    return save(figure, out, "indices_by_round", fmt)


def plot_significance(indices, out, fmt, context):
    shares = significance_shares(indices)
    if shares.empty:
        return None
    figure, ax = plt.subplots(figsize=(7.5, 5))
    errors = [shares["share"] - shares["ci_low"], shares["ci_high"] - shares["share"]]
    ax.barh([INDEX_WORDS[i] for i in shares["index"]], shares["share"], xerr=errors,
            color="tab:purple", ecolor="black", capsize=3)
    ax.invert_yaxis()
    ax.set(xlim=(0, 1), xlabel="share of replicates in which the index was significant "
                               "(95 % Wilson interval)")
    title(ax, f"Significant indices ({indices['replicate'].nunique()} replicates)", context)
    return save(figure, out, "significance", fmt)


def plot_matings(matings, out, fmt, context):
    table = matings_against_expected(matings)
    if table.empty:
        return None
    grid = table.pivot(index="female_type", columns="male_type")
    with np.errstate(divide="ignore"):
        log_ratio = np.log2(grid["ratio"].to_numpy(float))
    finite = np.abs(log_ratio[np.isfinite(log_ratio)])
    limit = max(finite.max() if finite.size else 0.0, 0.1)
    figure, ax = plt.subplots(figsize=(1.4 * grid["ratio"].shape[1] + 4, 1.2 * len(grid) + 2.5))
    image = ax.imshow(log_ratio, cmap="RdBu_r", vmin=-limit, vmax=limit)
    for i in range(log_ratio.shape[0]):
        for j in range(log_ratio.shape[1]):
            ax.text(j, i, f"{grid['observed'].iat[i, j]:.4g}\n({grid['expected'].iat[i, j]:.4g})",
                    ha="center", va="center", fontsize=8)
    ax.set_xticks(range(log_ratio.shape[1]), [f"male type {t}" for t in grid["ratio"].columns])
    ax.set_yticks(range(log_ratio.shape[0]), [f"female type {t}" for t in grid.index])
    figure.colorbar(image, label="observed / expected matings (log2)")
    title(ax, f"Matings observed (expected under random mating), "
              f"{matings.groupby(['run_id', 'file']).ngroups} files", context)
    return save(figure, out, "matings_vs_expected", fmt)


def plot_sweep(summary, stats_, title_of, ylabel, name, parameters, out, fmt, x=None, by=None,
               shape=None, reference=None, heading=None, ylim=None):
    """Figures of statistics (a panel each, titled title_of(stat), in a grid of shape rows x
    columns) against the parameter x, one line per value of by, with the interval the summary
    gives; a figure for each combination of the other parameters that vary. Statistics without
    any finite value are left out; no figure when none is left."""
    x, by, others = sweep_axes(summary, parameters, x, by)
    stats_ = [s for s in stats_ if np.isfinite(pd.to_numeric(
        summary.get(f"{s}_mean", summary.get(s)), errors="coerce")).any()]
    if x is None or not stats_:
        return []
    paths = []
    keys = others[0] if len(others) == 1 else others
    groups = summary.groupby(keys, sort=False) if others else [((), summary)]
    rows, columns = shape or (-(-len(stats_) // min(len(stats_), 4)), min(len(stats_), 4))
    for values, part in groups:
        values = values if isinstance(values, tuple) else (values,)
        figure, axes = plt.subplots(rows, columns, figsize=(4.5 * columns, 3.8 * rows),
                                    squeeze=False)
        for ax in axes.flat[len(stats_):]:
            ax.set_visible(False)
        incomplete = False
        for ax, stat in zip(axes.flat, stats_):
            for i, (value, line) in enumerate(sweep_lines(part, stat, x, by)):
                if line["mean"].isna().all():  # a pair of types these points do not have
                    continue
                label = None if by is None else f"{parameter_words(by)} = {value}"
                color = f"C{i % 10}"  # one colour per value in every panel
                ax.plot(line["x"], line["mean"], marker="o", label=label, color=color)
                if "low" in line:
                    ax.fill_between(line["x"], line["low"], line["high"], alpha=0.2, color=color)
                hollow = line[line["incomplete"]]
                if not hollow.empty:
                    ax.scatter(hollow["x"], hollow["mean"], s=36, facecolors="white",
                               edgecolors=color, zorder=3)
                    incomplete = True
            if reference is not None:
                ax.axhline(reference, color="grey", linestyle="--", linewidth=1)
            if ylim is not None:
                ax.set_ylim(*ylim)
            ax.set_xlabel(parameter_words(x))
            if ax.get_subplotspec().is_first_col():
                ax.set_ylabel(ylabel.replace(" (", "\n("))
            ax.set_title(title_of(stat), fontsize=10)
            if by is not None:
                ax.legend(fontsize=8)
        fixed = ", ".join(f"{parameter_words(p)} = {v}" for p, v in zip(others, values))
        note = (INCOMPLETE_NOTE if incomplete else None)
        if fixed or heading or note:
            figure.suptitle("\n".join(t for t in (heading, fixed, note) if t), fontsize=10)
        figure.tight_layout()
        suffix = "".join(f"_{option_of(p)}{v}" for p, v in zip(others, values)).replace(" ", "_")
        paths.append(save(figure, out, name + suffix, fmt))
    return paths


def plot_recovery(summary, parameters, model_column, out, fmt):
    """The model-recovery matrix (true model x selected model, shares of replicates), one figure
    for each combination of the other swept options that vary."""
    others = [p for p in parameters if p != model_column and summary[p].nunique() > 1]
    groups = summary.groupby(others, sort=False) if others else [((), summary)]
    paths = []
    for values, part in groups:
        values = values if isinstance(values, tuple) else (values,)
        matrix = recovery_matrix(part, model_column)
        shares = matrix.to_numpy(float)
        figure, ax = plt.subplots(figsize=(0.9 * shares.shape[1] + 3, 0.6 * shares.shape[0] + 2.5))
        image = ax.imshow(shares, cmap="Blues", vmin=0, vmax=1, aspect="auto")
        for i, truth in enumerate(matrix.index):
            for j, model in enumerate(matrix.columns):
                if np.isfinite(shares[i, j]):
                    ax.text(j, i, f"{shares[i, j]:.2f}", ha="center", va="center", fontsize=8,
                            color="white" if shares[i, j] > 0.6 else "black")
                if model == true_model(truth):  # the model that made the data
                    ax.add_patch(plt.Rectangle((j - 0.5, i - 0.5), 1, 1, fill=False,
                                               edgecolor="tab:red", linewidth=2))
        ax.set_xticks(range(len(matrix.columns)), matrix.columns, rotation=45, ha="right")
        ax.set_yticks(range(len(matrix.index)), [f"-model {v}" for v in matrix.index])
        ax.set(xlabel="model with the top Akaike weight", ylabel="model of the simulation")
        figure.colorbar(image, label="share of replicates")
        fixed = ", ".join(f"{parameter_words(p)} = {v}" for p, v in zip(others, values))
        title(ax, "Model recovery (the red cell: the model that made the data)", fixed)
        suffix = "".join(f"_{option_of(p)}{v}" for p, v in zip(others, values)).replace(" ", "_")
        paths.append(save(figure, out, "model_recovery" + suffix, fmt))
    return paths


def analysis_figures(summary, level, common):
    """The power of every test against the swept options (a figure per test, a panel per index,
    the dashed line at 80 %), and the model-recovery matrix when the sweep varies -model."""
    paths = []
    for test, words in TEST_WORDS.items():
        powers = [f"{index}_{test}_power" for index in plot_analysis.INDEX_WORDS
                  if f"{index}_{test}_power" in summary]
        if powers:
            paths += plot_sweep(summary, powers,
                                lambda s: plot_analysis.INDEX_WORDS[s.split("_")[0]],
                                f"power: share of replicates with p \u2264 {level:g} "
                                "(95 % Wilson interval)", f"sweep_power_{test}",
                                reference=POWER_TARGET, heading=f"Power of the {words}s",
                                ylim=(-0.02, 1.02),
                                **common)
    models = [c for c in common["parameters"] if option_of(c) == "model"]
    if models and summary[models[0]].nunique() > 1 and \
            any(c.endswith(SELECTED) for c in summary.columns):
        paths += plot_recovery(summary, common["parameters"], models[0], common["out"],
                               common["fmt"])
    return paths


def sweep_level(directory):
    """The significance level of a sweep's analysis (its sweep.yaml), by default 0.05."""
    try:
        data = yaml.safe_load((Path(directory) / "sweep.yaml").read_text()) or {}
        return load_analysis(data.get("analyze")).level
    except (OSError, yaml.YAMLError, SweepError, AttributeError):
        return stats.DEFAULT_LEVEL


# ---------------------------------------------------------------------------------------------
# Directories

def load_tables(directory, sweep):
    """The tables of a sweep directory (merged) or of an output directory (the program's)."""
    names = {name: f"{name}.tsv" if sweep else file
             for name, file in tables.PROGRAM_TABLES.items()}
    return {name: tables.read_table(directory / file) for name, file in names.items()
            if (directory / file).exists()}


def road_figures(data, out, fmt, context, file=None, phenotypes=None):
    """The figures of one run, of runs pooled, or of a sweep's point; phenotypes: the
    phenotype file of every individual of that run, when there is one."""
    figures = []
    if "pairs" in data:
        figures.append(plot_scatter(data["pairs"], out, fmt, context, file))
    if "files" in data:
        figures.append(plot_correlations(data["files"], out, fmt, context))
    if phenotypes is not None:
        figures.append(plot_traits(*read_phenotypes(phenotypes), "all individuals", out, fmt,
                                   context))
    elif "pairs" in data:
        pairs = data["pairs"]
        figures.append(plot_traits(pairs["female_trait"], pairs["male_trait"],
                                   "mated individuals", out, fmt, context))
    if "round_indices" in data:
        figures.append(plot_round_indices(data["round_indices"], out, fmt, context))
    if "indices" in data:
        figures.append(plot_significance(data["indices"], out, fmt, context))
    if "matings" in data:
        figures.append(plot_matings(data["matings"], out, fmt, context))
    return [path for path in figures if path is not None]


def sweep_figures(directory, out, fmt, x=None, by=None):
    summary = tables.read_table(directory / "summary.tsv")
    parameters = list(tables.read_points(directory).columns[1:])
    for p in parameters:  # numbers sort as numbers, other values keep the sweep's order
        converted = pd.to_numeric(summary[p], errors="coerce")
        summary[p] = converted if converted.notna().all() else summary[p].astype(str)
    band = "_ci_low" if any(c.endswith("_ci_low") for c in summary) else None
    mean_words = MEAN_CI if band else "mean"
    common = dict(parameters=parameters, out=out, fmt=fmt, x=x, by=by)
    paths = []
    if "correlation_mean" in summary:
        paths += plot_sweep(summary, ["correlation"], lambda s: CORRELATION,
                            f"correlation ({mean_words})", "sweep_correlation", **common)
    indices = [i for i in tables.INDICES if f"{i}_significant" in summary]
    if indices:
        paths += plot_sweep(summary, indices, INDEX_WORDS.get, f"index ({mean_words})",
                            "sweep_indices", **common)
        paths += plot_sweep(summary, [f"{i}_significant" for i in indices],
                            lambda s: INDEX_WORDS[s.split("_")[0]],
                            "share of replicates significant" +
                            (" (95 % Wilson interval)" if band else ""),
                            "sweep_significance", **common)
    pairs = sorted({tuple(map(int, m.groups())) for c in summary
                    for m in [re.fullmatch(r"ratio_(\d+)x(\d+)_mean", c)] if m})
    if pairs:
        shape = (max(f for f, _ in pairs), max(m for _, m in pairs))
        paths += plot_sweep(summary, [f"ratio_{f}x{m}" for f, m in pairs],
                            lambda s: "female type {} x male type {}".format(
                                *s.split("_")[1].split("x")),
                            f"observed / expected matings ({mean_words})", "sweep_matings",
                            shape=shape, reference=1.0, **common)
    paths += analysis_figures(summary, sweep_level(directory), common)
    return paths


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="pairlab-plot", allow_abbrev=False,
        description="Figures from a Pairlab output directory (its Pairlab_*.tsv tables) or from "
                    "a sweep directory (summary.tsv and the merged tables).")
    parser.add_argument("directory", type=Path)
    parser.add_argument("--out", type=Path, help="where figures go (default: DIRECTORY/figures)")
    parser.add_argument("--format", choices=["png", "pdf", "svg"], default="png")
    parser.add_argument("--file", type=int, help="scatter of this file only (default: pooled)")
    runs = parser.add_mutually_exclusive_group()
    runs.add_argument("--run", metavar="ID", help="output directory: draw this run (its run_id, "
                      "or the start of it; default: the last run)")
    runs.add_argument("--all", action="store_true",
                      help="output directory: pool every run of the directory")
    parser.add_argument("--point", type=int,
                        help="sweep: also draw the figures of this point from the merged tables")
    parser.add_argument("--x", help="sweep: swept option along the x axis (default: the first)")
    parser.add_argument("--by", help="sweep: swept option drawn as lines (default: the second)")
    return parser.parse_args(argv)


def run_figures(directory, out, args):
    """The figures of one run of an output directory, or of its runs pooled."""
    data = load_tables(directory, False)
    runs = list_runs(directory, data)
    chosen, context, note = choose_runs(runs, args.run, args.all)
    if note:
        print(f"pairlab-plot: {note}", file=sys.stderr)
    data = {name: frame[frame["run_id"].astype(str).isin(chosen)]
            for name, frame in data.items() if name != "runs" and "run_id" in frame}
    phenotypes = directory / "phenotypes.txt"
    if not (phenotypes.exists() and chosen == [phenotype_run(runs)]):
        phenotypes = None
    return road_figures(data, out, args.format, context, args.file, phenotypes)


def phenotype_run(runs):
    """The run that wrote the directory's phenotypes.txt: the last whose ledger row lists it
    among its outputs (a ledger without that column: the last run, if made with
    -writedistrib 1)."""
    if not runs:
        return None
    if "outputs" not in runs[-1][1]:
        return runs[-1][0] if runs[-1][1].get("writedistrib", "1") != "0" else None
    return next((run_id for run_id, record, _ in reversed(runs)
                 if "phenotypes.txt" in record.get("outputs", "").split()), None)


def point_figures(directory, out, args):
    points = tables.read_points(directory).set_index("point")
    values = " ".join(f"-{option_of(c)} {points.at[args.point, c]}" for c in points.columns)
    context = f"point {args.point}: {values or 'no swept option'}"
    point_out = out / f"point{args.point}"
    point_out.mkdir(exist_ok=True)
    data = {name: tables.read_point(directory / f"{name}.tsv", args.point)
            for name in tables.PROGRAM_TABLES if (directory / f"{name}.tsv").exists()}
    return road_figures(data, point_out, args.format, context, args.file)


def swept_column(name, columns):
    """The column of a swept option named as in the sweep file, without its dash, or as in the
    tables."""
    for candidate in (name, SWEEP_PREFIX + name.lstrip("-"), name.lstrip("-")):
        if candidate in columns:
            return candidate
    raise Refusal(f"{name} is not a swept option: "
                  f"{', '.join('-' + option_of(c) for c in columns)}")


def sweep_main(directory, out, args):
    if args.run is not None or args.all:
        raise Refusal("--run and --all choose runs of an output directory; in a sweep, --point "
                      "draws the figures of one point")
    points = tables.read_points(directory)
    summarised = tables.read_table(directory / "summary.tsv")["point"].tolist()
    if args.point is not None and args.point not in summarised:
        known = "not a point of the sweep" if args.point not in points["point"].values else \
            "not complete (see failed.tsv)"
        raise Refusal(f"point {args.point} has no results: it is {known}; the points of "
                      "summary.tsv: " + check_ranges(summarised))
    x, by = (None if n is None else swept_column(n, list(points.columns[1:]))
             for n in (args.x, args.by))
    failed = directory / "failed.tsv"
    if failed.exists():
        count = len(tables.read_text_rows(failed)[1])
        print(f"pairlab-plot: {count} job(s) of this sweep failed ({failed}): their points are "
              "not in summary.tsv and not drawn", file=sys.stderr)
    paths = sweep_figures(directory, out, args.format, x, by)
    if args.point is None and not paths and len(summarised) == 1:
        # Nothing varies across the points that have results: the figures of that point.
        args.point = summarised[0]
        print(f"pairlab-plot: no swept option varies; the figures of point {args.point}",
              file=sys.stderr)
    if args.point is not None:
        paths += point_figures(directory, out, args)
    return paths


def main(argv=None):
    args = parse_arguments(argv)
    directory = args.directory
    out = args.out or directory / "figures"
    if plot_analysis.is_analysis_directory(directory):  # pairlab-analyze's output
        return plot_analysis.draw(directory, out, args.format, args.file)
    sweep = (directory / "summary.tsv").exists()
    if not sweep and not any(directory.glob("Pairlab_*.tsv")):
        print(f"pairlab-plot: {directory} holds neither summary.tsv (a sweep) nor Pairlab_*.tsv "
              "tables (an output directory of a run with -tidy 1)", file=sys.stderr)
        return 2
    out.mkdir(parents=True, exist_ok=True)
    try:
        if not sweep and args.point is not None:
            raise Refusal("--point draws a point of a sweep directory (one with summary.tsv)")
        paths = sweep_main(directory, out, args) if sweep else run_figures(directory, out, args)
    except Refusal as refusal:
        print(f"pairlab-plot: {refusal}", file=sys.stderr)
        return 2
    if not paths:
        print(f"pairlab-plot: nothing to draw: the tables of {directory} hold no result",
              file=sys.stderr)
        return 1
    return 0
