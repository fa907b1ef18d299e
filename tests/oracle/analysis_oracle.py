#!/usr/bin/python3
"""An independent model of pairlab-analyze without the simulated tests: random tables are
written, the program analyses them, and every index, chi-square p-value, model fit (by scipy's
optimiser on the log-likelihood, from the models' definitions), standard error, AICc, BIC and
Akaike weight must agree with the program's result tables.

Usage: analysis_oracle.py PAIRLAB_ANALYZE_BINARY"""

import csv
import math
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np
from scipy.optimize import minimize
from scipy.stats import chi2

FIT_TOLERANCE = 1e-6    # estimates, standard errors, log-likelihoods against scipy's optimum
INDEX_TOLERANCE = 1e-11
P_TOLERANCE = 1e-8


# ---------------------------------------------------------------------------------------------
# Random tables

def random_tables(rng):
    """(labels of females, labels of males, counts, female numbers, male numbers), of several
    shapes, labels shared or not, counts whole or not; no empty cell, so that every optimum is
    inside the parameter space."""
    shapes = [(["A", "B"], ["A", "B"]), (["A", "B"], ["A", "B", "C"]),
              (["1", "2", "3"], ["1", "2", "3"]), (["RB", "SU", "XX"], ["SU", "RB"]),
              (["small", "large"], ["S", "M", "L"]), (["A", "B", "C", "D"], ["A", "B", "C", "D"])]
    tables = []
    for round_ in range(4):
        for females, males in shapes:
            counts = rng.integers(1, 60, size=(len(females), len(males))).astype(float)
            if round_ == 3:  # expected matings of the process with replacement
                counts += rng.random(counts.shape)
            tables.append((females, males, counts, rng.integers(20, 300, len(females)),
                           rng.integers(20, 300, len(males))))
    return tables


def write_input(path, tables):
    with open(path, "w") as out:
        out.write("case\tfemale_type\tmale_type\tmatings\tfemale_premating\tmale_premating\n")
        for case, (females, males, counts, nf, nm) in enumerate(tables, 1):
            for i, f in enumerate(females):
                for j, m in enumerate(males):
                    out.write(f"{case}\t{f}\t{m}\t{counts[i, j]!r}\t{nf[i]}\t{nm[j]}\n")


# ---------------------------------------------------------------------------------------------
# The indices

def j_div(x, y):
    x, y = np.ravel(x), np.ravel(y)
    return float(np.sum((x - y) * np.log(x / y)))


def indices(counts, p1, p2):
    n = counts.sum()
    P = np.where(counts == 0, 0.5, counts) / n
    P1, P2 = P.sum(axis=1), P.sum(axis=0)
    S, Q0 = np.outer(P1, P2), np.outer(p1, p2)
    k1, k2 = counts.shape
    return {"Jpti": (j_div(P, Q0), k1 * k2 - 1), "Jpsi": (j_div(P, S), (k1 - 1) * (k2 - 1)),
            "Jpss": (j_div(S, Q0), k1 + k2 - 2), "Jps1": (j_div(P1, p1), k1 - 1),
            "Jps2": (j_div(P2, p2), k2 - 1)}


# ---------------------------------------------------------------------------------------------
# The models, from their definitions: each maps its parameters (logarithms of its factors) to
# the table of propensities. Like types share a label; with none shared, they pair by position.

def like_types(females, males):
    like = np.array([[f == m for m in males] for f in females])
    if not like.any():
        for t in range(min(len(females), len(males))):
            like[t, t] = True
    return like


def models(females, males):
    k1, k2 = len(females), len(males)
    like = like_types(females, males)
    rows = np.arange(k1)[:, None] + np.zeros((1, k2), int)
    cols = np.zeros((k1, 1), int) + np.arange(k2)[None, :]
    ones = np.ones((k1, k2))
    out = {"random": ([], lambda t: ones)}
    out["M1"] = (["a"], lambda t: np.where(rows < k1 - 1, math.exp(t[0]), 1.0))
    out["M2"] = (["a"], lambda t: np.where(cols < k2 - 1, math.exp(t[0]), 1.0))
    out["M3"] = (["b"], lambda t: np.where(like, math.exp(t[0]), 1.0))
    out["M6"] = (["a", "b"], lambda t: np.where(rows == 0, math.exp(t[0]),
                                                np.where(like, math.exp(t[1]), 1.0)))
    out["M7"] = (["a", "b"], lambda t: np.where(cols == 0, math.exp(t[0]),
                                                np.where(like, math.exp(t[1]), 1.0)))
    out["M8"] = (["a", "b"], lambda t: np.where(rows == 0, math.exp(t[0]), 1.0)
                 * np.where(like, math.exp(t[1]), 1.0))
    out["M9"] = (["a", "b"], lambda t: np.where(cols == 0, math.exp(t[0]), 1.0)
                 * np.where(like, math.exp(t[1]), 1.0))
    pairs = list(zip(*np.nonzero(like)))
    names = [f"b[{females[i]}]" if females[i] == males[j] else f"b[{females[i]},{males[j]}]"
             for i, j in pairs]

    def homotypic(t):
        m = ones.copy()
        for (i, j), v in zip(pairs, t):
            m[i, j] = math.exp(v)
        return m
    out["homotypic"] = (names, homotypic)
    out["selection"] = ([f"a[{f}]" for f in females[:-1]] + [f"b[{m}]" for m in males[:-1]],
                        lambda t: np.outer(np.exp(np.append(t[:k1 - 1], 0.0)),
                                           np.exp(np.append(t[k1 - 1:], 0.0))))
    return out


def fit(counts, w, propensities, size):
    """scipy's maximum of the log-likelihood: its parameters, its value and the information
    matrix there. Every model is log-linear: its log-propensities are X t, with X read from its
    definition by differences."""
    n = counts.sum()
    X = np.zeros((counts.size, size))
    for k in range(size):
        X[:, k] = np.ravel(np.log(propensities(np.eye(size)[k]))
                           - np.log(propensities(np.zeros(size))))
    c, lw = np.ravel(counts), np.ravel(np.log(w))

    def shares(t):
        e = lw + X @ t
        q = np.exp(e - e.max())
        return q / q.sum()

    def negative_loglik(t):
        return -float(c @ np.log(shares(t)))

    def gradient(t):
        return -(X.T @ (c - n * shares(t)))

    def information(t):
        q = shares(t)
        mean = q @ X
        return n * ((X - mean).T * q) @ (X - mean)

    if size == 0:
        return np.zeros(0), -negative_loglik(np.zeros(0)), np.zeros((0, 0))
    best = minimize(negative_loglik, np.zeros(size), jac=gradient, hess=information,
                    method="trust-exact", options={"gtol": 1e-12, "maxiter": 1000})
    return best.x, -best.fun, information(best.x)


# ---------------------------------------------------------------------------------------------
# The comparison

def read(path):
    with open(path) as f:
        return list(csv.DictReader(f, delimiter="\t"))


def close(a, b, tolerance):
    return abs(a - b) <= tolerance * max(1.0, abs(b))


def check_table(case, table, results, failures):
    females, males, counts, nf, nm = table
    n = counts.sum()
    p1, p2 = nf / nf.sum(), nm / nm.sum()
    w = np.outer(p1, p2)

    def fail(what):
        failures.append(f"case {case}: {what}")

    for row in results["tests"][case]:
        value, df = indices(counts, p1, p2)[row["index"]]
        if int(row["df"]) != df or not close(float(row["value"]), value, INDEX_TOLERANCE):
            fail(f"{row['index']} {row['value']} (df {row['df']}), oracle {value} (df {df})")
        p = chi2.sf(n * value, df)
        if not close(float(row["p_chisq"]), p, P_TOLERANCE):
            fail(f"p of {row['index']} {row['p_chisq']}, oracle {p}")

    fitted = {row["model"]: row for row in results["models"][case]}
    estimates = {}
    for row in results["estimates"][case]:
        estimates.setdefault(row["model"], {})[row["parameter"]] = row
    definitions = models(females, males)
    for name, row in fitted.items():
        if name == "saturated":
            q = counts / n
            for i, f in enumerate(females):
                for j, m in enumerate(males):
                    e = estimates[name][f"m[{f},{m}]"]
                    if not close(float(e["estimate"]), q[i, j] / w[i, j], FIT_TOLERANCE):
                        fail(f"saturated m[{f},{m}] {e['estimate']}, oracle {q[i, j] / w[i, j]}")
            loglik = float(np.sum(counts * np.log(q)))
        else:
            names, propensities = definitions[name]
            t, loglik, info = fit(counts, w, propensities, len(names))
            if int(row["K"]) != len(names):
                fail(f"{name} K {row['K']}, oracle {len(names)}")
            se = np.sqrt(np.diag(np.linalg.inv(info))) if len(names) else []
            for k, parameter in enumerate(names):
                e = estimates[name][parameter]
                factor = math.exp(t[k])
                if not close(float(e["estimate"]), factor, FIT_TOLERANCE):
                    fail(f"{name} {parameter} {e['estimate']}, oracle {factor}")
                if not close(float(e["se"]), factor * se[k], 1e-5):
                    fail(f"{name} se of {parameter} {e['se']}, oracle {factor * se[k]}")
        if not close(float(row["loglik"]), loglik, 1e-9):
            fail(f"{name} log-likelihood {row['loglik']}, oracle {loglik}")
        K = int(row["K"])
        aicc = -2 * loglik + 2 * K + 2 * K * (K + 1) / (n - K - 1)
        if not close(float(row["AICc"]), aicc, 1e-9):
            fail(f"{name} AICc {row['AICc']}, oracle {aicc}")
        if not close(float(row["BIC"]), -2 * loglik + K * math.log(n), 1e-9):
            fail(f"{name} BIC {row['BIC']}")
    best = min(float(r["AICc"]) for r in fitted.values())
    total = sum(math.exp(-(float(r["AICc"]) - best) / 2) for r in fitted.values())
    for name, row in fitted.items():
        weight = math.exp(-(float(row["AICc"]) - best) / 2) / total
        if not close(float(row["weight"]), weight, 1e-9):
            fail(f"{name} weight {row['weight']}, oracle {weight}")
    if len(females) >= 2 and len(males) >= 2 and len(fitted) < 8:
        fail(f"only {sorted(fitted)} fitted")


def main():
    binary = str(Path(sys.argv[1]).resolve())
    rng = np.random.default_rng(20251208)
    tables = random_tables(rng)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        write_input(work / "tables.tsv", tables)
        run = subprocess.run([binary, "tables.tsv", "--null", "0", "--out", "res", "--show", "0"],
                             cwd=work, capture_output=True, text=True)
        if run.returncode != 0:
            print(f"FAIL: pairlab-analyze ended with status {run.returncode}\n{run.stdout}")
            return 1
        results = {}
        for name in ("tests", "models", "estimates"):
            by_case = {}
            for row in read(work / "res" / f"{name}.tsv"):
                by_case.setdefault(int(row["case"]), []).append(row)
            results[name] = by_case
        for case, table in enumerate(tables, 1):
            check_table(case, table, results, failures)
    for f in failures[:30]:
        print("FAIL:", f)
    if failures:
        print(f"{len(failures)} differences from the oracle")
        return 1
    print(f"{len(tables)} tables agree with the oracle (indices, p-values, fits by scipy)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
