"""Per-point summary of a sweep's merged tables (summary.tsv).

Every point has `replicates` (files or replicates in the tables) and `complete` (those that
reached their full sample). A statistic is described over the replicates by `_mean`, `_sd`, the
95 % confidence interval of the mean (`_ci_low`, `_ci_high`: mean +- t(0.975, n - 1) sd / sqrt(n))
and the spread of the replicates (`_low`, `_high`: the 2.5 % and 97.5 % quantiles, linear
interpolation, where 95 % of the replicates fall). Missing values (a correlation below 5 pairs, a
nan index) are left out.

- continuous traits: the correlation between partners' traits (correlation_...);
- sampling rounds: for each index, the share of replicates in which it was significant
  (<index>_significant, with its 95 % Wilson interval _significant_ci_low, _significant_ci_high;
  not for E0R, which is never tested) and the index (<index>_...);
- discrete data files: for each pair of types, the matings of a file relative to the random-mating
  expectation of that file (ratio_<female type>x<male type>_..., 1 = random mating).
"""

from pathlib import Path

import numpy as np
import pandas as pd

from . import stats, tables


def describe(values, name):
    """Mean, standard deviation, 95 % confidence interval of the mean and 95 % spread of a
    series of values (missing ones dropped)."""
    values = values.dropna()
    with np.errstate(invalid="ignore"):  # an infinite index makes inf - inf in the quantiles
        low, high = values.quantile(0.025), values.quantile(0.975)
    _, _, ci_low, ci_high = stats.mean_interval(values)
    return {f"{name}_mean": values.mean(), f"{name}_sd": values.std(),
            f"{name}_ci_low": ci_low, f"{name}_ci_high": ci_high,
            f"{name}_low": low, f"{name}_high": high}


def share(flags, name):
    """The share of 1s among the flags, with its 95 % Wilson interval."""
    flags = flags.dropna()
    low, high = stats.wilson_interval(int(flags.sum()), len(flags))
    return {name: flags.mean() if len(flags) else np.nan, f"{name}_ci_low": low,
            f"{name}_ci_high": high}


def continuous_summary(files):
    rows = []
    for point, group in files.groupby("point"):
        rows.append({"point": point, "replicates": len(group),
                     "complete": int((group["report"].fillna("") == "").sum()),
                     **describe(group["correlation"], "correlation")})
    return pd.DataFrame(rows)


def expected_matings(matings):
    """The matings table with the random-mating expectation of every row: the file's matings x
    the share of the female type among the file's premating females x the share of the male type
    among its premating males."""
    by_file = [c for c in ("point", "run_id", "file") if c in matings]
    m = matings.copy()
    total = m.groupby(by_file)["matings"].transform("sum")
    females = m.groupby(by_file + ["male_type"])["female_premating"].transform("sum")
    males = m.groupby(by_file + ["female_type"])["male_premating"].transform("sum")
    m["expected"] = total * m["female_premating"] / females * m["male_premating"] / males
    return m


def discrete_summary(matings):
    complete = matings.groupby(["point", "file"])["complete"].min()
    frame = pd.DataFrame({"replicates": complete.groupby("point").size(),
                          "complete": complete.groupby("point").sum()}).reset_index()
    m = expected_matings(matings)
    with np.errstate(divide="ignore", invalid="ignore"):
        m["ratio"] = np.where(m["expected"] > 0, m["matings"] / m["expected"], np.nan)
    rows = []
    for point, group in m.groupby("point"):
        row = {"point": point}
        for (female, male), pair in group.groupby(["female_type", "male_type"]):
            row.update(describe(pair["ratio"], f"ratio_{female}x{male}"))
        rows.append(row)
    return frame.merge(pd.DataFrame(rows), on="point")


def rounds_summary(indices):
    rows = []
    for point, group in indices.groupby("point"):
        row = {"point": point, "replicates": group["replicate"].nunique()}
        row["complete"] = row["replicates"]  # only complete replicates have rows
        for index, values in group.groupby("index", sort=False):
            if index != "E0R":  # never tested
                row.update(share(values["significant"], f"{index}_significant"))
            row.update(describe(values["value"], index))
        rows.append(row)
    frame = pd.DataFrame(rows)
    ordered = [c for i in tables.INDICES for c in frame.columns if c.split("_")[0] == i]
    return frame[["point", "replicates", "complete"] + ordered]


ROAD_SUMMARIES = {"files": continuous_summary, "indices": rounds_summary,
                  "matings": discrete_summary}


def summarise(points, merged):
    """The summary of every point: points (point and swept values) joined with the summary of
    whichever road tables the sweep has (merged: table name -> frame)."""
    parts = [summary(merged[name]) for name, summary in ROAD_SUMMARIES.items() if name in merged]
    frame = points
    if parts:
        frame = points.merge(pd.concat(parts).groupby("point", as_index=False).first(),
                             on="point", how="left")
    for count in ("replicates", "complete"):
        frame[count] = frame[count].fillna(0).astype(int) if count in frame else 0
    return frame.sort_values("point")


def write_summary(sweep_dir, points=None):
    """summary.tsv of the given points (default: every point of points.tsv)."""
    sweep_dir = Path(sweep_dir)
    merged = {name: tables.read_table(sweep_dir / f"{name}.tsv")
              for name in ROAD_SUMMARIES if (sweep_dir / f"{name}.tsv").exists()}
    table = tables.read_points(sweep_dir)
    if points is not None:
        table = table[table["point"].isin(points)]
    tables.write_table(summarise(table, merged), sweep_dir / "summary.tsv")
