#!/usr/bin/python3
"""An independent model of pairlab-analyze --continuous without the simulations themselves:
random tables of pairs and a population are written, the program analyses them with an inference
by simulation, and every correlation, interval, t-test and statistic (numpy and scipy from their
definitions), every distance and weight of an accepted simulation (from its statistics), every
regression-adjusted value (numpy's least squares on the logit of the draws) and every posterior
summary and model probability must agree with the program's result tables.

Usage: continuous_analysis_oracle.py PAIRLAB_ANALYZE_BINARY"""

import csv
import math
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np
from scipy import stats

TOLERANCE = 1e-9          # statistics, tests, distances, weights, summaries
ADJUSTED_TOLERANCE = 1e-6  # adjusted values (a least-squares solution by another method)
STATISTICS = ["r", "mean_difference", "sd_difference", "female_shift", "female_sd_ratio",
              "male_shift", "male_sd_ratio"]
PRIORS = {"choice": (0.0, 1.0), "tolerance": (0.02, 0.5)}


def write_inputs(work, rng):
    """Five tables of pairs (their sizes and correlations differ) and a population."""
    population = rng.normal(size=400)
    with open(work / "population.csv", "w") as f:
        f.write("sex,trait\n")
        for i, t in enumerate(population):
            f.write(f"{'F' if i < 200 else 'M'},{t!r}\n")
    tables = []
    with open(work / "pairs.tsv", "w") as f:
        f.write("site\tpair\tfemale_trait\tmale_trait\n")
        for k, (n, rho) in enumerate([(30, 0.6), (50, 0.2), (8, -0.3), (100, 0.9), (20, 0.0)]):
            x = rng.normal(size=n) * 0.8 + 0.3
            y = rho * x + math.sqrt(1 - rho * rho) * rng.normal(size=n) * 0.8
            tables.append((x, y))
            for i in range(n):
                f.write(f"s{k}\t{i + 1}\t{x[i]!r}\t{y[i]!r}\n")
    return population[:200], population[200:], tables


def read(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def number(text):
    return float("nan") if text == "NA" else float(text)


def close(a, b, tolerance=TOLERANCE):
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return abs(a - b) <= tolerance * max(1.0, abs(a), abs(b))


def expected_tests(x, y, females, males):
    """The statistic rows of tests.tsv: value, lower, upper, t, p_t."""
    n = len(x)
    r = stats.pearsonr(x, y)[0]
    pooled = np.concatenate([females, males]).std()
    d = x - y
    out = {"r": (r, *np.tanh(np.arctanh(r) + np.array([-1, 1]) * 1.959963984540054
                               / math.sqrt(n - 3))),
           "r_adjusted": (r * (1 + (1 - r * r) / (2 * n - 8)),),
           "J": (r * r / (1 - r * r),),
           "mean_difference": (d.mean() / pooled,), "sd_difference": (d.std(ddof=1) / pooled,),
           "female_shift": ((x.mean() - females.mean()) / females.std(),),
           "female_sd_ratio": (x.std(ddof=1) / females.std(),),
           "male_shift": ((y.mean() - males.mean()) / males.std(),),
           "male_sd_ratio": (y.std(ddof=1) / males.std(),)}
    t = r * math.sqrt((n - 2) / (1 - r * r))
    out["r"] += (t, 2 * stats.t.sf(abs(t), n - 2))
    return out


def check_tests(rows, expected, fail):
    columns = ["value", "lower", "upper", "t", "p_t"]
    for row in rows:
        want = expected[row["statistic"]]
        for column, value in zip(columns, want):
            if not close(number(row[column]), value):
                fail(f"{row['statistic']} {column}: {row[column]}, oracle {value!r}")


def logit(v, low, high):
    return math.log((v - low) / (high - v))


def weighted_quantile(values, weights, q):
    order = sorted(range(len(values)), key=lambda i: (values[i], i))
    total = sum(w for w in weights if w > 0)
    cumulative = 0.0
    for i in order:
        if weights[i] > 0:
            cumulative += weights[i]
            if cumulative >= q * total:
                return values[i]
    return values[order[-1]]


def check_abc(table, posterior, statistics, estimates, fail):
    observed = {r["statistic"]: number(r["value"]) for r in statistics if r["source"] == "observed"}
    scale = {r["statistic"]: number(r["value"]) for r in statistics if r["source"] == "scale"}
    used = [s for s in STATISTICS if any(r["statistic"] == s and r["in_distance"] == "1"
                                         for r in statistics)]
    simulated = {}
    for r in statistics:
        if r["source"] == "accepted":
            simulated.setdefault(r["simulation"], {})[r["statistic"]] = number(r["value"])
    draws = {}
    for r in posterior:
        draws.setdefault(r["simulation"], {"model": r["model"], "distance": number(r["distance"]),
                                           "weight": number(r["weight"]), "values": {},
                                           "adjusted": {}})
        if r["parameter"] != "NA":
            draws[r["simulation"]]["values"][r["parameter"]] = number(r["value"])
            draws[r["simulation"]]["adjusted"][r["parameter"]] = number(r["adjusted"])
    if set(draws) != set(simulated):
        fail("the accepted simulations of posterior.tsv and statistics.tsv differ")
        return
    z = {k: np.array([(simulated[k][s] - observed[s]) / scale[s] for s in used]) for k in draws}
    largest = max(math.sqrt((z[k] ** 2).sum()) for k in draws)
    for k, d in draws.items():
        distance = math.sqrt((z[k] ** 2).sum())
        if not close(d["distance"], distance):
            fail(f"simulation {k}: distance {d['distance']}, oracle {distance!r}")
        if not close(d["weight"], 1 - (distance / largest) ** 2):
            fail(f"simulation {k}: weight {d['weight']}")
    models = sorted({d["model"] for d in draws.values()})
    for model in models:
        keys = [k for k in draws if draws[k]["model"] == model]
        probability = [number(r["mean"]) for r in estimates
                       if r["model"] == model and r["parameter"] == "probability"][0]
        if not close(probability, len(keys) / len(draws)):
            fail(f"model {model}: probability {probability}, oracle {len(keys) / len(draws)}")
        if model == "random":
            continue
        w = np.array([draws[k]["weight"] for k in keys])
        X = np.column_stack([np.ones(len(keys)), np.array([z[k] for k in keys])])
        for name, (low, high) in PRIORS.items():
            theta = np.array([logit(draws[k]["values"][name], low, high) for k in keys])
            beta = np.linalg.lstsq(X * np.sqrt(w)[:, None], theta * np.sqrt(w), rcond=None)[0]
            adjusted = theta - X[:, 1:] @ beta[1:]
            adjusted = low + (high - low) / (1 + np.exp(-adjusted))
            for k, a in zip(keys, adjusted):
                if not close(draws[k]["adjusted"][name], a, ADJUSTED_TOLERANCE):
                    fail(f"simulation {k} {name}: adjusted {draws[k]['adjusted'][name]}, "
                         f"oracle {a!r}")
            check_summaries(estimates, model, name, [draws[k]["values"][name] for k in keys],
                            [draws[k]["adjusted"][name] for k in keys], list(w), fail)
        # FND's coefficient (choice / tolerance)^2 (dmax 1) of every draw.
        coefficient = {kind: [(draws[k][kind]["choice"] / draws[k][kind]["tolerance"]) ** 2
                              for k in keys] for kind in ("values", "adjusted")}
        check_summaries(estimates, model, "coefficient", coefficient["values"],
                        coefficient["adjusted"], list(w), fail)


def check_summaries(estimates, model, name, values, adjusted, weights, fail):
    """The posterior mean, median and 95 % interval of a parameter, before and after the
    adjustment."""
    for method, v, w in (("rejection", values, [1.0] * len(values)),
                         ("regression", adjusted, weights)):
        row = [r for r in estimates if r["model"] == model and r["parameter"] == name
               and r["method"] == method][0]
        want = {"mean": np.dot(v, w) / sum(w), "median": weighted_quantile(v, w, 0.5),
                "lower": weighted_quantile(v, w, 0.025), "upper": weighted_quantile(v, w, 0.975)}
        for column, value in want.items():
            tolerance = TOLERANCE if method == "rejection" else ADJUSTED_TOLERANCE
            if not close(number(row[column]), value, tolerance):
                fail(f"{model} {name} {method} {column}: {row[column]}, oracle {value!r}")


def main():
    binary = str(Path(sys.argv[1]).resolve())
    rng = np.random.default_rng(20251211)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        females, males, tables = write_inputs(work, rng)
        run = subprocess.run(
            [binary, "pairs.tsv", "--continuous", "--population", "population.csv", "--null",
             "0", "--abc", "2000", "--accept", "0.05", "--models", "FND,random", "--prior",
             "choice=0:1", "--prior", "tolerance=0.02:0.5", "--seed", "4", "--show", "0",
             "--out", "res"], cwd=work, capture_output=True, text=True)
        if run.returncode != 0:
            print(f"FAIL: pairlab-analyze ended with status {run.returncode}\n{run.stdout}")
            return 1
        res = {name: read(work / "res" / f"{name}.tsv")
               for name in ("tests", "posterior", "statistics", "estimates")}
        for number_, (x, y) in enumerate(tables, 1):
            def fail(what, table=number_):
                failures.append(f"table {table}: {what}")
            rows = {name: [r for r in frame if r["table"] == str(number_)]
                    for name, frame in res.items()}
            check_tests(rows["tests"], expected_tests(x, y, females, males), fail)
            check_abc(number_, rows["posterior"], rows["statistics"], rows["estimates"], fail)
    for f in failures[:30]:
        print("FAIL:", f)
    if failures:
        print(f"{len(failures)} differences from the oracle")
        return 1
    print(f"{len(tables)} tables agree with the oracle (tests, distances, weights, regression "
          "adjustment, posterior summaries)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
