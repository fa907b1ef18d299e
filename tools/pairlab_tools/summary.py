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
  expectation of that file (ratio_<female type>x<male type>_..., 1 = random mating);
- an analysis (tests.tsv, models.tsv of pairlab-analyze): the power of every test of every index,
  the share of replicates with p at or below the level (<index>_<test>_power, test chisq, null or
  perm, with its 95 % Wilson interval _power_ci_low, _power_ci_high; over the replicates where
  the test was made), and for every model the share of replicates in which it has the top Akaike
  weight (<model>_selected, with _selected_ci_low, _selected_ci_high).

The merged tables are read a point at a time (they hold the rows of a point together), so memory
grows with the rows of the largest point, not with the tables.
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


# The p-value columns of pairlab-analyze's tests.tsv, by the name of the test in the summary.
TESTS = {"chisq": "p_chisq", "null": "p_null", "perm": "p_perm"}


def power_summary(tests, level=stats.DEFAULT_LEVEL):
    """Per point, index and test: the share of replicates (tables) with p at or below the
    level, with its Wilson interval, over the replicates where the test was made."""
    rows = []
    for point, group in tests.groupby("point"):
        row = {"point": point}
        for index, values in group.groupby("index", sort=False):
            for test, column in TESTS.items():
                p = values[column].dropna()
                if len(p):
                    row.update(share((p <= level).astype(float), f"{index}_{test}_power"))
        rows.append(row)
    return pd.DataFrame(rows)


def selection_summary(models):
    """Per point and model: the share of replicates (tables) in which the model has the top
    Akaike weight (rank 1), with its Wilson interval."""
    rows = []
    for point, group in models.groupby("point"):
        keys = [c for c in ("run_id", "table") if c in group]
        count = len(group[keys].drop_duplicates())
        top = group.loc[group["rank"] == 1, "model"]
        row = {"point": point}
        for model in dict.fromkeys(group["model"]):
            selected = int((top == model).sum())
            low, high = stats.wilson_interval(selected, count)
            row.update({f"{model}_selected": selected / count, f"{model}_selected_ci_low": low,
                        f"{model}_selected_ci_high": high})
        rows.append(row)
    return pd.DataFrame(rows)


ROAD_SUMMARIES = {"files": continuous_summary, "indices": rounds_summary,
                  "matings": discrete_summary, "tests": power_summary,
                  "models": selection_summary}
# The columns each summary reads.
COLUMNS = {
    "files": ["point", "report", "correlation"],
    "indices": ["point", "replicate", "index", "value", "significant"],
    "matings": ["point", "run_id", "file", "female_type", "male_type", "female_premating",
                "male_premating", "matings", "complete"],
    "tests": ["point", "index", *TESTS.values()],
    "models": ["point", "run_id", "table", "model", "rank"],
}


def combine(points, parts):
    """points (point and swept values) joined with the parts of the summary (frames with a
    column point)."""
    frame = points
    if parts:
        frame = points.merge(pd.concat(parts).groupby("point", as_index=False).first(),
                             on="point", how="left")
    for count in ("replicates", "complete"):
        frame[count] = frame[count].fillna(0).astype(int) if count in frame else 0
    return frame.sort_values("point")


def summary_of(name, frame, level):
    if name == "tests":
        return power_summary(frame, level)
    return ROAD_SUMMARIES[name](frame)


def summarise(points, merged, level=stats.DEFAULT_LEVEL):
    """The summary of every point: points (point and swept values) joined with the summary of
    whichever tables the sweep has (merged: table name -> frame)."""
    return combine(points, [summary_of(name, merged[name], level)
                            for name in ROAD_SUMMARIES if name in merged])


def write_summary(sweep_dir, points=None, level=stats.DEFAULT_LEVEL):
    """summary.tsv of the given points (default: every point of points.tsv), from the merged
    tables read a point at a time."""
    sweep_dir = Path(sweep_dir)
    table = tables.read_points(sweep_dir)
    if points is not None:
        table = table[table["point"].isin(points)]
    wanted = set(table["point"])
    parts = []
    for name in ROAD_SUMMARIES:
        path = sweep_dir / f"{name}.tsv"
        if not path.exists():
            continue
        for point, frame in tables.point_frames(path, COLUMNS[name]):
            if point in wanted:
                parts.append(summary_of(name, frame, level))
    tables.write_table(combine(table, parts), sweep_dir / "summary.tsv")
