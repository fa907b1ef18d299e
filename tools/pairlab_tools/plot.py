"""pairlab-plot: figures from a run's output directory (its Pairlab_*.tsv tables) or from a
sweep's directory (summary.tsv and the merged tables).

Each figure is drawn from a table computed by a function of its own (scatter_data,
round_indices, significance_shares, matings_against_expected, sweep_lines), so the numbers behind
a figure can be checked apart from its drawing.
"""

import argparse
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402
import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

from . import plot_analysis, tables  # noqa: E402

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


def parameter_words(name):
    words = PARAMETER_WORDS.get(name)
    return f"{words} (-{name})" if words else f"-{name}"


# ---------------------------------------------------------------------------------------------
# The data of each figure

def j_divergence(x, y, axis):
    """Sum of (x - y) ln(x / y) over the axes; a cell 0 in both tables adds 0, a cell 0 in one
    table only makes it infinite."""
    with np.errstate(divide="ignore", invalid="ignore"):
        terms = np.where((x == 0) & (y == 0), 0.0, (x - y) * np.log(x / y))
    return terms.sum(axis=axis)


def round_indices(rounds):
    """JRpti, JRpsi and JRpss of the sample so far after every round of every replicate, from
    the rounds table, as in the significance report: the pairs so far (cells below 0.5 count 0.5)
    against the random-mating products of the round frequencies and against the products of the
    mated shares of each round, both summed over the rounds so far. Under individual encounters
    the mated shares are those observed (as with -eJRpsi 1)."""
    rows = []
    for (run_id, replicate), group in rounds.groupby(["run_id", "replicate"], sort=False):
        group = group.sort_values(["round", "female_type", "male_type"])
        k1, k2 = group["female_type"].max(), group["male_type"].max()
        n_rounds = group["round"].nunique()
        shape = (n_rounds, k1, k2)
        pairs = group["pairs"].to_numpy(float).reshape(shape)
        females = group["female_frequency"].to_numpy(float).reshape(shape)[:, :, 0]
        males = group["male_frequency"].to_numpy(float).reshape(shape)[:, 0, :]
        in_round = pairs.sum(axis=(1, 2))
        with np.errstate(invalid="ignore"):
            female_shares = np.nan_to_num(pairs.sum(axis=2) / in_round[:, None])
            male_shares = np.nan_to_num(pairs.sum(axis=1) / in_round[:, None])
        so_far = np.arange(1, n_rounds + 1)[:, None, None]
        counts = pairs.cumsum(axis=0)
        observed = np.maximum(counts, 0.5) / counts.sum(axis=(1, 2))[:, None, None]
        mated = np.maximum(np.cumsum(female_shares[:, :, None] * male_shares[:, None, :], axis=0),
                           0.5) / so_far
        random = np.cumsum(females[:, :, None] * males[:, None, :], axis=0) / so_far
        rows.append(pd.DataFrame({
            "run_id": run_id, "replicate": replicate, "round": np.arange(1, n_rounds + 1),
            "JRpti": j_divergence(observed, random, (1, 2)),
            "JRpsi": j_divergence(observed, mated, (1, 2)),
            "JRpss": j_divergence(mated, random, (1, 2))}))
    return pd.concat(rows, ignore_index=True)


def round_summary(running):
    """Per round and index: the mean and standard deviation over the replicates that reached
    the round, and their number. The standard deviation divides by the number of replicates, as
    in the program's significance report."""
    long = running.melt(id_vars=["run_id", "replicate", "round"], var_name="index")
    return (long.groupby(["index", "round"], sort=False)["value"]
            .agg(mean="mean", sd=lambda v: v.std(ddof=0), replicates="count").reset_index())


def significance_shares(indices):
    """The share of replicates in which each index (E0R aside, it is never tested) was
    significant, in the program's order."""
    tested = indices[indices["index"] != "E0R"]
    shares = tested.groupby("index")["significant"].mean()
    return shares.reindex([i for i in tables.INDICES if i in shares.index])


def matings_against_expected(matings):
    """Observed matings of every pair of types, summed over files, against the random-mating
    expectation of each file: its matings x the share of the female type among the females x
    the share of the male type among the males (premating numbers)."""
    by_file = ["run_id", "file"]
    m = matings.copy()
    total = m.groupby(by_file)["matings"].transform("sum")
    females = m.groupby(by_file + ["male_type"])["female_premating"].transform("sum")
    males = m.groupby(by_file + ["female_type"])["male_premating"].transform("sum")
    m["expected"] = total * m["female_premating"] / females * m["male_premating"] / males
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


def sweep_lines(summary, stat, x, by):
    """One line per value of `by` (all points when by is None): the x values in order with the
    statistic's mean and, when the summary has them, its 95 % interval (low, high)."""
    columns = {"mean": f"{stat}_mean", "low": f"{stat}_low", "high": f"{stat}_high"}
    if f"{stat}_mean" not in summary:  # a share, such as JRpti_significant
        columns = {"mean": stat}
    groups = summary.groupby(by, sort=False) if by else [(None, summary)]
    lines = []
    for value, group in groups:
        line = group[[x] + list(columns.values())]
        line = line.rename(columns={x: "x", **{v: k for k, v in columns.items()}})
        lines.append((value, line.sort_values("x", kind="stable")))
    return lines


# ---------------------------------------------------------------------------------------------
# Drawing

def save(figure, out, name, fmt):
    path = Path(out) / f"{name}.{fmt}"
    figure.savefig(path, bbox_inches="tight")
    plt.close(figure)
    print(path)
    return path


def plot_scatter(pairs, out, fmt, file=None):
    x, y, slope, intercept, r = scatter_data(pairs, file)
    figure, ax = plt.subplots(figsize=(5, 5))
    ax.scatter(x, y, s=8, alpha=0.5)
    if slope is not None:
        xs = np.array([x.min(), x.max()])
        ax.plot(xs, intercept + slope * xs, color="black", label=f"regression line, r = {r:.3f}")
        ax.legend(loc="upper left")
    what = f"file {file}" if file is not None else "all files pooled"
    ax.set(xlabel="female trait", ylabel="male trait",
           title=f"Traits of mated partners ({what}, {len(x)} pairs)")
    return save(figure, out, "pairs_scatter" if file is None else f"pairs_scatter_file{file}", fmt)


def plot_correlations(files, out, fmt):
    values = files["correlation"].dropna()
    figure, ax = plt.subplots(figsize=(6, 4))
    ax.hist(values, bins=min(30, max(5, len(values) // 5)), color="tab:blue", alpha=0.8)
    if len(values):
        ax.axvline(values.mean(), color="black", label=f"mean {values.mean():.3f}")
        ax.legend()
    ax.set(xlabel=CORRELATION, ylabel="number of files",
           title=f"Correlation between partners across {len(values)} files")
    return save(figure, out, "correlations", fmt)


def plot_traits(females, males, source, out, fmt):
    figure, ax = plt.subplots(figsize=(6, 4))
    bins = np.histogram_bin_edges(np.concatenate([females, males]), bins=30)
    ax.hist(females, bins=bins, alpha=0.6, label=f"females ({len(females)})")
    ax.hist(males, bins=bins, alpha=0.6, label=f"males ({len(males)})")
    ax.set(xlabel="trait", ylabel="number of individuals", title=f"Trait distributions ({source})")
    ax.legend()
    return save(figure, out, "traits", fmt)


def plot_round_indices(rounds, out, fmt):
    summary = round_summary(round_indices(rounds))
    figure, ax = plt.subplots(figsize=(7, 4.5))
    for index, line in summary.groupby("index", sort=False):
        ax.plot(line["round"], line["mean"], label=INDEX_WORDS[index])
        ax.fill_between(line["round"], line["mean"] - line["sd"], line["mean"] + line["sd"],
                        alpha=0.2)
    ax.set(xlabel="mating round", ylabel="index of the sample so far (mean ± sd)",
           title="Mating indices across rounds, over replicates")
    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.legend()
    return save(figure, out, "indices_by_round", fmt)


def plot_significance(indices, out, fmt):
    shares = significance_shares(indices)
    figure, ax = plt.subplots(figsize=(7, 4.5))
    ax.barh([INDEX_WORDS[i] for i in shares.index], shares.to_numpy(), color="tab:purple")
    ax.invert_yaxis()
    ax.set(xlim=(0, 1), xlabel="share of replicates in which the index was significant",
           title=f"Significant indices ({indices['replicate'].nunique()} replicates)")
    return save(figure, out, "significance", fmt)


def plot_matings(matings, out, fmt):
    table = matings_against_expected(matings)
    grid = table.pivot(index="female_type", columns="male_type")
    with np.errstate(divide="ignore"):
        log_ratio = np.log2(grid["ratio"].to_numpy(float))
    finite = np.abs(log_ratio[np.isfinite(log_ratio)])
    limit = max(finite.max() if finite.size else 0.0, 0.1)
    figure, ax = plt.subplots(figsize=(1.4 * grid["ratio"].shape[1] + 3, 1.2 * len(grid) + 2))
    image = ax.imshow(log_ratio, cmap="RdBu_r", vmin=-limit, vmax=limit)
    for i in range(log_ratio.shape[0]):
        for j in range(log_ratio.shape[1]):
            ax.text(j, i, f"{grid['observed'].iat[i, j]:.4g}\n({grid['expected'].iat[i, j]:.4g})",
                    ha="center", va="center", fontsize=8)
    ax.set_xticks(range(log_ratio.shape[1]), [f"male type {t}" for t in grid["ratio"].columns])
    ax.set_yticks(range(log_ratio.shape[0]), [f"female type {t}" for t in grid.index])
    figure.colorbar(image, label="observed / expected matings (log2)")
    ax.set_title("Matings observed (expected under random mating)")
    return save(figure, out, "matings_vs_expected", fmt)


def plot_sweep(summary, stats, title_of, ylabel, name, parameters, out, fmt, x=None, by=None):
    """Figures of statistics (a panel each, titled title_of(stat)) against the parameter x, one
    line per value of by; a figure for each combination of the other parameters that vary."""
    x, by, others = sweep_axes(summary, parameters, x, by)
    if x is None:
        return []
    paths = []
    keys = others[0] if len(others) == 1 else others
    groups = summary.groupby(keys, sort=False) if others else [((), summary)]
    for values, part in groups:
        values = values if isinstance(values, tuple) else (values,)
        columns = min(len(stats), 4)
        rows = -(-len(stats) // columns)
        figure, axes = plt.subplots(rows, columns, figsize=(4.5 * columns, 3.8 * rows),
                                    squeeze=False)
        for ax in axes.flat[len(stats):]:
            ax.set_visible(False)
        for ax, stat in zip(axes.flat, stats):
            for value, line in sweep_lines(part, stat, x, by):
                label = None if by is None else f"{parameter_words(by)} = {value}"
                drawn = ax.plot(line["x"], line["mean"], marker="o", label=label)
                if "low" in line:
                    ax.fill_between(line["x"], line["low"], line["high"], alpha=0.2,
                                    color=drawn[0].get_color())
            ax.set(xlabel=parameter_words(x), ylabel=ylabel, title=title_of(stat))
            if by is not None:
                ax.legend(fontsize=8)
        fixed = ", ".join(f"{parameter_words(p)} = {v}" for p, v in zip(others, values))
        if fixed:
            figure.suptitle(fixed)
        figure.tight_layout()
        suffix = "".join(f"_{p}{v}" for p, v in zip(others, values)).replace(" ", "_")
        paths.append(save(figure, out, name + suffix, fmt))
    return paths


# ---------------------------------------------------------------------------------------------
# Directories

def load_tables(directory, sweep):
    """The tables of a sweep directory (merged) or of an output directory (the program's)."""
    names = {name: f"{name}.tsv" if sweep else file
             for name, file in tables.PROGRAM_TABLES.items()}
    return {name: tables.read_table(directory / file) for name, file in names.items()
            if (directory / file).exists()}


def road_figures(data, directory, out, fmt, file=None):
    paths = []
    if "pairs" in data:
        paths.append(plot_scatter(data["pairs"], out, fmt, file))
    if "files" in data:
        paths.append(plot_correlations(data["files"], out, fmt))
    phenotypes = directory / "phenotypes.txt"
    if phenotypes.exists():
        paths.append(plot_traits(*read_phenotypes(phenotypes), "all individuals", out, fmt))
    elif "pairs" in data:
        pairs = data["pairs"]
        paths.append(plot_traits(pairs["female_trait"], pairs["male_trait"], "mated individuals",
                                 out, fmt))
    if "rounds" in data:
        paths.append(plot_round_indices(data["rounds"], out, fmt))
    if "indices" in data:
        paths.append(plot_significance(data["indices"], out, fmt))
    if "matings" in data:
        paths.append(plot_matings(data["matings"], out, fmt))
    return paths


def sweep_figures(directory, out, fmt, x=None, by=None):
    summary = tables.read_table(directory / "summary.tsv")
    parameters = list(tables.read_points(directory).columns[1:])
    for p in parameters:  # numbers sort as numbers, other values keep the sweep's order
        converted = pd.to_numeric(summary[p], errors="coerce")
        summary[p] = converted if converted.notna().all() else summary[p].astype(str)
    paths = []
    interval = "mean and 95 % interval"
    if "correlation_mean" in summary:
        paths += plot_sweep(summary, ["correlation"], lambda s: CORRELATION, interval,
                            "sweep_correlation", parameters, out, fmt, x, by)
    indices = [i for i in tables.INDICES if f"{i}_significant" in summary]
    if indices:
        paths += plot_sweep(summary, indices, INDEX_WORDS.get, interval, "sweep_indices",
                            parameters, out, fmt, x, by)
        paths += plot_sweep(summary, [f"{i}_significant" for i in indices],
                            lambda s: INDEX_WORDS[s.split("_")[0]],
                            "share of replicates significant", "sweep_significance",
                            parameters, out, fmt, x, by)
    if not paths and "replicates" in summary:  # discrete data files: their completeness
        summary["complete_share"] = summary["complete"] / summary["replicates"]
        paths += plot_sweep(summary, ["complete_share"], lambda s: "complete files",
                            "share of files with a complete sample", "sweep_complete",
                            parameters, out, fmt, x, by)
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
    parser.add_argument("--point", type=int,
                        help="sweep: also draw the figures of this point from the merged tables")
    parser.add_argument("--x", help="sweep: parameter along the x axis (default: the first swept)")
    parser.add_argument("--by", help="sweep: parameter drawn as lines (default: the second swept)")
    return parser.parse_args(argv)


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
    if not sweep:
        paths = road_figures(load_tables(directory, False), directory, out, args.format, args.file)
    else:
        points = tables.read_points(directory)
        if args.point is not None and args.point not in points["point"].values:
            print(f"pairlab-plot: the sweep has no point {args.point} (see points.tsv)",
                  file=sys.stderr)
            return 2
        for name in (args.x, args.by):
            if name is not None and name not in points.columns[1:]:
                print(f"pairlab-plot: {name} is not a swept parameter: "
                      f"{', '.join(points.columns[1:])}", file=sys.stderr)
                return 2
        paths = sweep_figures(directory, out, args.format, args.x, args.by)
        if args.point is not None:
            point_out = out / f"point{args.point}"
            point_out.mkdir(exist_ok=True)
            data = {name: frame[frame["point"] == args.point]
                    for name, frame in load_tables(directory, True).items()}
            paths += road_figures(data, directory, point_out, args.format, args.file)
    if not paths:
        print("pairlab-plot: nothing to draw from these tables", file=sys.stderr)
        return 1
    return 0
