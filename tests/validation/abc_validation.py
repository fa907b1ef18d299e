#!/usr/bin/python3
"""Validation of the inference by simulation of pairlab-analyze --continuous, with fixed seeds.

Data sets are simulated by pairlab at parameters drawn from the prior (FND, individual
encounters, N = 500, 100 pairs; choice uniform on [0, 1], tolerance on [0.02, 0.5]; a data set
whose sample did not complete is drawn again, as the inference never accepts such a simulation)
and analysed by pairlab-analyze with --abc S:
  - coverage: how many 95 % intervals (after the regression adjustment) hold the true value, for
    choice and for tolerance; the mean absolute error of the posterior median; the posterior
    quantile of the truth in each data set (uniform when the posterior is calibrated);
  - model choice: the same FND data sets and as many of random mating (-choice 0), analysed with
    --models FND,random: how often the true model is the most probable.
The job fails when a coverage lies outside the range given (90-99 of 100 for the full job) or the
true model comes first in half of the data sets or fewer.

Usage: abc_validation.py BUILD_DIR [--datasets 100] [--abc 20000] [--coverage 90:99]
                         [--figure doc/figures/abc_validation.png] [--keep DIR] [--only-run]"""

import argparse
import csv
import math
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

PRIORS = {"choice": (0.0, 1.0), "tolerance": (0.02, 0.5)}
N, FEMALES, PAIRS = 500, 250, 100


def read(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def write_population(work, rng):
    """The population's traits for pairlab (PairlabUserPhenotypes.txt) and, rescaled into [0, 1]
    as the run rescales them (the units of its pairs), the population table of the analysis."""
    traits = rng.normal(size=N)
    (work / "PairlabUserPhenotypes.txt").write_text("".join(f"{t!r}\n" for t in traits))
    low, span = float(traits.min()), float(traits.max() - traits.min())
    with open(work / "population.tsv", "w") as f:
        f.write("sex\ttrait\n")
        for i, t in enumerate(traits):
            f.write(f"{'female' if i < FEMALES else 'male'}\t{(float(t) - low) / span * 1.0 + 0.0!r}\n")


def simulate(binary, work, out, truths, seed, choice, tolerance):
    """One data set of pairlab; False when its sample did not complete."""
    args = [binary, "-continuous", "1", "-model", "-1", "-choice", repr(choice), "-tolerance",
            repr(tolerance), "-N", str(N), "-matings", str(PAIRS), "-numfiles", "1", "-tidy", "2",
            "-userphenotypes", "1", "-fixseed", str(seed), "-outdir", out]
    subprocess.run(args, cwd=work, check=True, capture_output=True)
    files = read(next((work / out).glob("Out_Pairlab*")) / "Pairlab_files.tsv")
    if int(files[-1]["sample_size"]) < PAIRS:
        return False
    truths[files[-1]["run_id"]] = {"choice": choice, "tolerance": tolerance}
    return True


def simulate_all(binary, work, count, rng):
    """count FND data sets (parameters from the prior) in fnd/, count of random mating in random/.
    Returns the true parameters by run id."""
    truths = {}
    seed = 1
    while len(truths) < count:
        choice = float(rng.uniform(*PRIORS["choice"]))
        tolerance = float(rng.uniform(*PRIORS["tolerance"]))
        simulate(binary, work, "fnd", truths, seed, choice, tolerance)
        seed += 1
    random = {}
    while len(random) < count:
        simulate(binary, work, "random", random, seed, 0.0, 0.08)
        seed += 1
    return truths, random


def analyse(analyze, work, pairs, out, abc, extra):
    args = [analyze, str(pairs), "--continuous", "--population", "population.tsv", "--abc",
            str(abc), "--null", "0", "--seed", "2025", "--show", "0", "--out", out] + extra
    subprocess.run(args, cwd=work, check=True, capture_output=True)
    return work / out


def posterior_quantile(posterior, table, parameter, truth):
    """The weighted share of the adjusted draws below the truth."""
    rows = [r for r in posterior if r["table"] == table and r["parameter"] == parameter]
    w = np.array([float(r["weight"]) for r in rows])
    v = np.array([float(r["adjusted"]) for r in rows])
    return float(w[v < truth].sum() / w.sum())


def coverage(directory, truths):
    estimates = read(directory / "estimates.tsv")
    posterior = read(directory / "posterior.tsv")
    run_of = {r["table"]: r["run_id"] for r in read(directory / "tests.tsv")}
    out = {}
    for parameter in PRIORS:
        rows = [r for r in estimates if r["parameter"] == parameter and r["method"] == "regression"]
        found = {"covered": 0, "errors": [], "quantiles": [], "truth": [], "median": [],
                 "lower": [], "upper": [], "rejection_covered": 0}
        for row in rows:
            truth = truths[run_of[row["table"]]][parameter]
            lower, upper = float(row["lower"]), float(row["upper"])
            found["covered"] += lower <= truth <= upper
            found["errors"].append(abs(float(row["median"]) - truth))
            found["quantiles"].append(posterior_quantile(posterior, row["table"], parameter, truth))
            for key in ("median", "lower", "upper"):
                found[key].append(float(row[key]))
            found["truth"].append(truth)
        for row in estimates:
            if row["parameter"] == parameter and row["method"] == "rejection":
                truth = truths[run_of[row["table"]]][parameter]
                found["rejection_covered"] += float(row["lower"]) <= truth <= float(row["upper"])
        out[parameter] = found
    return out


def model_choice(directory, truths, random):
    best = {}
    for row in read(directory / "estimates.tsv"):
        if row["parameter"] == "probability":
            best.setdefault(row["table"], []).append((float(row["mean"]), row["model"]))
    run_of = {r["table"]: r["run_id"] for r in read(directory / "tests.tsv")}
    right = {"FND": 0, "random": 0}
    for table, probabilities in best.items():
        winner = max(probabilities)[1]
        true = "FND" if run_of[table] in truths else "random"
        right[true] += winner == true
    return right


def figure(path, found, count, abc):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, axes = plt.subplots(2, 2, figsize=(10, 8.5))
    for column, (parameter, f) in enumerate(found.items()):
        ax = axes[0][column]
        truth, median = np.array(f["truth"]), np.array(f["median"])
        errors = np.array([median - np.array(f["lower"]), np.array(f["upper"]) - median])
        covered = (np.array(f["lower"]) <= truth) & (truth <= np.array(f["upper"]))
        for mask, colour, label in ((covered, "tab:blue", "interval holds the truth"),
                                    (~covered, "tab:red", "interval misses it")):
            ax.errorbar(truth[mask], median[mask], yerr=errors[:, mask], fmt="o", ms=3,
                        color=colour, elinewidth=0.8, alpha=0.8, label=label)
        low, high = PRIORS[parameter]
        ax.plot([low, high], [low, high], color="gray", lw=0.8)
        ax.set(xlabel=f"true {parameter}", ylabel="posterior median and 95 % interval",
               title=f"{parameter}: {f['covered']} of {count} intervals hold the truth, "
                     f"MAE {np.mean(f['errors']):.3g}")
        ax.legend(fontsize=8)
        ax = axes[1][column]
        ax.hist(f["quantiles"], bins=10, range=(0, 1), color="tab:gray", edgecolor="white")
        ax.axhline(count / 10, color="tab:red", lw=1, label="calibrated")
        ax.set(xlabel=f"posterior quantile of the true {parameter}", ylabel="data sets",
               title="calibration")
        ax.legend(fontsize=8)
    fig.suptitle(f"pairlab-analyze --abc {abc}: {count} data sets simulated at parameters drawn "
                 "from the prior\n(FND, individual encounters, N = 500, 100 pairs)")
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--datasets", type=int, default=100)
    parser.add_argument("--abc", type=int, default=20000)
    parser.add_argument("--coverage", default="90:99", help="accepted coverage, of 100")
    parser.add_argument("--figure")
    parser.add_argument("--keep")
    parser.add_argument("--only-run", action="store_true",
                        help="run the job's paths without judging the figures (sanitizers)")
    a = parser.parse_args()
    build = Path(a.build).resolve()
    low, high = (float(v) for v in a.coverage.split(":"))
    work = Path(a.keep or tempfile.mkdtemp(prefix="pairlab-abc-validation."))
    work.mkdir(parents=True, exist_ok=True)
    try:
        rng = np.random.default_rng(19)
        write_population(work, rng)
        truths, random = simulate_all(str(build / "pairlab"), work, a.datasets, rng)
        analyze = str(build / "pairlab-analyze")
        fnd_pairs = next((work / "fnd").glob("Out_Pairlab*")) / "Pairlab_pairs.tsv"
        random_pairs = next((work / "random").glob("Out_Pairlab*")) / "Pairlab_pairs.tsv"
        both = work / "both.tsv"
        both.write_text(fnd_pairs.read_text() +
                        "".join(random_pairs.read_text().splitlines(True)[1:]))
        priors = ["--prior", "choice=0:1", "--prior", "tolerance=0.02:0.5"]
        estimated = analyse(analyze, work, fnd_pairs, "estimates", a.abc, ["-model", "-1"] + priors)
        chosen = analyse(analyze, work, both, "models", a.abc, ["--models", "FND,random"] + priors)
        found = coverage(estimated, truths)
        right = model_choice(chosen, truths, random)
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)
    ok = True
    for parameter, f in found.items():
        share = 100.0 * f["covered"] / a.datasets
        ok = ok and low <= share <= high
        print(f"{parameter}: {f['covered']} of {a.datasets} 95 % intervals hold the truth "
              f"({f['rejection_covered']} before the adjustment); mean absolute error of the "
              f"posterior median {np.mean(f['errors']):.4g}")
    first = right["FND"] + right["random"]
    print(f"model choice: the true model is the most probable in {first} of {2 * a.datasets} "
          f"(FND {right['FND']} of {a.datasets}, random mating {right['random']} of "
          f"{a.datasets})")
    ok = ok and first > a.datasets
    if a.figure:
        figure(a.figure, found, a.datasets, a.abc)
        print(a.figure)
    if a.only_run:
        return 0
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
