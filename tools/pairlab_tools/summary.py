"""Per-point summary of a sweep's merged tables (summary.tsv).

Every point has `replicates` (files or replicates in the tables) and `complete` (those that
reached their full sample). A statistic is described by its mean, standard deviation and 95 %
interval: the 2.5 % and 97.5 % quantiles over the replicates (linear interpolation), where 95 %
of the replicates fall. Missing values (a correlation below 5 pairs, a nan index) are left out.

- continuous traits: the correlation between partners' traits (correlation_mean, _sd, _low,
  _high);
- sampling rounds: for each index, the share of replicates in which it was significant
  (<index>_significant; not for E0R, which is never tested) and its mean, sd and interval;
- discrete data files: the counts only.
"""

from pathlib import Path

import numpy as np
import pandas as pd

from . import tables


def describe(values, name):
    """Mean, standard deviation and 95 % interval of a series of values (missing ones dropped)."""
    values = values.dropna()
    with np.errstate(invalid="ignore"):  # an infinite index makes inf - inf in the quantiles
        low, high = values.quantile(0.025), values.quantile(0.975)
    return {f"{name}_mean": values.mean(), f"{name}_sd": values.std(),
            f"{name}_low": low, f"{name}_high": high}


def continuous_summary(files):
    rows = []
    for point, group in files.groupby("point"):
        rows.append({"point": point, "replicates": len(group),
                     "complete": int((group["report"].fillna("") == "").sum()),
                     **describe(group["correlation"], "correlation")})
    return pd.DataFrame(rows)


def discrete_summary(matings):
    complete = matings.groupby(["point", "file"])["complete"].min()
    return pd.DataFrame({"replicates": complete.groupby("point").size(),
                         "complete": complete.groupby("point").sum()}).reset_index()


def rounds_summary(indices):
    rows = []
    for point, group in indices.groupby("point"):
        row = {"point": point, "replicates": group["replicate"].nunique()}
        row["complete"] = row["replicates"]  # only complete replicates have rows
        for index, values in group.groupby("index", sort=False):
            if index != "E0R":  # never tested
                row[f"{index}_significant"] = values["significant"].mean()
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


def write_summary(sweep_dir):
    sweep_dir = Path(sweep_dir)
    merged = {name: tables.read_table(sweep_dir / f"{name}.tsv")
              for name in ROAD_SUMMARIES if (sweep_dir / f"{name}.tsv").exists()}
    tables.write_table(summarise(tables.read_points(sweep_dir), merged), sweep_dir / "summary.tsv")
