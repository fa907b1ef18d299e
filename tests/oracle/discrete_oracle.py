#!/usr/bin/env python3
"""An independent model of the discrete data-file road, used to check the simulator's fixed-seed
output draw for draw. It covers the three encounter processes, uniform, user and random type
frequencies, drift, the built-in models and the user model file (valid files only).

Usage: discrete_oracle.py WORKDIR ARG...   writes WORKDIR/oracle/<file name> for every data file,
holding the lines of the file after its banner (from "# format number" on)."""

import math
import os
import sys

from mt64 import MT64


def round_half_away(x):
    return math.floor(x + 0.5) if x >= 0 else -math.floor(-x + 0.5)


def g(x):
    """Number formatting of names: six significant digits as %g."""
    return "%g" % x


def parse(args):
    o = dict(model=0, matings=100, MRmax=-1.0, numfiles=1, shift=0, N=500, drift=0, femtypes=2,
             maletypes=2, osr=1.0, uniform=1, userfreqs=0, incrfactor=1.25, choicefactor=1.25,
             MPF=0.1, fixseed=0, format=0)
    i = 0
    while i < len(args):
        name = args[i].lstrip("-")
        value = args[i + 1]
        if name in ("model", "matings", "numfiles", "shift", "N", "drift", "femtypes",
                    "maletypes", "uniform", "userfreqs", "fixseed", "format"):
            o[name] = int(value)
        elif name == "selfactor":
            o["incrfactor"] = float(value)
        elif name == "decrfactor":
            o["choicefactor"] = float(value)
        else:
            o[name] = float(value)
        i += 2
    return o


def data_lines(path):
    with open(path) as f:
        for line in f:
            s = line.lstrip(" \f\n\r\t\v")
            if not s or "#" in s:
                continue
            yield [w for w in s.replace(",", " ").replace(";", " ").split() if w]


def find_type(freqs, u):
    c = 0.0
    for t, f in enumerate(freqs):
        lo = c
        c = c + f
        if lo <= u < c:
            return t
    return -1


def draw_type(freqs, rng):
    t = find_type(freqs, rng.uniform())
    if t >= 0:
        return t
    for last in range(len(freqs) - 1, 0, -1):
        if freqs[last] > 0:
            return last
    return 0


def roulette(n, freqs, pool, rng):
    chosen = []
    while len(chosen) < n:
        u = rng.uniform()
        c = 0.0
        for j, f in enumerate(freqs):
            lo = c
            c = c + f
            if lo <= u < c:
                if pool[j] > 0:
                    pool[j] -= 1.0
                    chosen.append(j)
                    break
                if c >= 1.0:
                    break
    return chosen


def refresh(left_of_type, left):
    freqs = []
    s = 0.0
    for t in range(len(left_of_type) - 1):
        freqs.append(left_of_type[t] / left)
        s += freqs[-1]
    freqs.append(1.0 - s)
    return freqs


def mean_propensity(p1, p2, mm):
    m = 0.0
    for f in range(len(p1)):
        for j in range(len(p2)):
            m += p1[f] * p2[j] * mm[f][j]
    return m


def build_model(model, k1, k2, a, b, workdir):
    mm = [[1.0] * k2 for _ in range(k1)]
    d = min(k1, k2)
    if model == 1:
        for f in range(k1 - 1):
            mm[f] = [a] * k2
    elif model == 2:
        for f in range(k1):
            for j in range(k2 - 1):
                mm[f][j] = a
    elif model in (3, 4):
        for t in range(d):
            mm[t][t] = b
    elif model == 5:
        lines = list(data_lines(os.path.join(workdir, "PairlabUserModel.txt")))
        fk1, fk2 = int(lines[0][0]), int(lines[0][1])
        if (fk1, fk2) != (k1, k2):
            k1, k2 = fk1, fk2
            mm = [[0.0] * k2 for _ in range(k1)]
        for r, words in enumerate(lines[1:k1 + 1]):
            mm[r] = [float(w) for w in words]
    elif model >= 6:
        for t in range(1, d):
            mm[t][t] = b
        if model in (6, 8):
            mm[0] = [a] * k2
        else:
            for f in range(k1):
                mm[f][0] = a
        if model in (8, 9):
            mm[0][0] = a * b
    return mm, k1, k2


def read_user_freqs(workdir, k1, k2, mpf):
    p = [[0.0] * k1, [0.0] * k2]
    for sex, words in enumerate(list(data_lines(os.path.join(workdir, "PairlabUserFreqs.txt")))[:2]):
        if len(p[sex]) == 1:
            p[sex][0] = 1.0
        else:
            p[sex] = [min(1 - mpf, max(mpf, float(w))) for w in words]
    for sex in range(2):
        if abs(sum_in_order(p[sex]) - 1.0) > 1e-6:
            p[sex][-1] = 1.0 - sum_in_order(p[sex][:-1])
    return p


def sum_in_order(values):
    s = 0.0
    for v in values:
        s += v
    return s


def partition(k, n, mpf, rng):
    numbers = [0.0] * k
    if k == 1:
        return [float(n)]
    assigned = 0
    t = 0
    while t < k - 1 and assigned != n - 1:
        u = rng.uniform()
        while u < mpf or u > 1 - mpf:
            u = rng.uniform()
        c = int(round_half_away(u * (n - assigned)))
        assigned += c
        if assigned >= n:
            numbers[t] = float(c - (assigned - n + 1))
            assigned = n - 1
        else:
            numbers[t] = float(c)
        t += 1
    numbers[k - 1] = float(n - assigned)
    rng.shuffle(numbers)
    return numbers


def drift_uniform(k, n, rng):
    numbers = [0.0] * k
    w = 1.0 / k
    placed = 0
    while placed < n:
        for t in range(k):
            if placed == n:
                break
            u = rng.uniform()
            if t * w <= u < (t + 1) * w:
                numbers[t] += 1
                placed += 1
    return numbers


def drift_user(freqs, n, rng):
    numbers = [0.0] * len(freqs)
    placed = 0
    while placed < n:
        t = find_type(freqs, rng.uniform())
        if t >= 0:
            numbers[t] += 1
            placed += 1
    return numbers


def fmt1(x):
    return "%.1f" % x


def main():
    workdir, args = sys.argv[1], sys.argv[2:]
    o = parse(args)
    rng = MT64(o["fixseed"])
    nfem = int(o["N"] / (o["osr"] + 1.0))
    nmale = o["N"] - nfem
    drift = o["drift"] or nfem < 250 or nmale < 250
    given = o["model"]
    model = abs(given)
    process = "replacement" if given >= 0 else ("mass" if model > 9 else "individual")
    smaller = min(nfem, nmale)
    mrmax = o["MRmax"]
    if process == "mass":
        if mrmax < 0:
            mrmax = smaller
        model = 0 if model == 123321 else model // 10
    a, b = o["incrfactor"], o["choicefactor"]
    k1, k2 = o["femtypes"], o["maletypes"]
    mm, k1, k2 = build_model(model, k1, k2, a, b, workdir)
    fmt = o["format"]
    if k1 != k2 and fmt == 0:
        fmt = 2
    names = {1: g(a), 2: g(a), 3: g(b), 4: g(b)}
    prefix = "Pairlab_D_"
    if process == "mass":
        prefix += "massEM_" + (g(mrmax) + "_" if mrmax < smaller else "")
    elif process == "individual":
        prefix += "iEM_"
    prefix += "M%d_%s" % (model, "a" if model <= 5 else "ac")
    if model == 0:
        prefix += "1_"
    elif model <= 4:
        prefix += names[model] + "_"
    elif model == 5:
        prefix += "User_"
    else:
        prefix += g(a) + "-" + g(b) + "_"
    tag = "U" if o["uniform"] else ("User" if o["userfreqs"] else "nonU")
    prefix += ("drift" if drift else "") + tag + str(o["N"]) + "_"

    user = read_user_freqs(workdir, k1, k2, o["MPF"]) if o["userfreqs"] else None

    def compose(drawn):
        if user is not None:
            if drawn:
                fn, mn = drift_user(user[0], nfem, rng), drift_user(user[1], nmale, rng)
            else:
                def numbers(freqs, n):
                    out = [float(round_half_away(f * n)) for f in freqs[:-1]]
                    return out + [n - sum_in_order(out)]
                return numbers(user[0], nfem), numbers(user[1], nmale), user[0], user[1]
        elif o["uniform"]:
            if drawn:
                fn, mn = drift_uniform(k1, nfem, rng), drift_uniform(k2, nmale, rng)
            else:
                def numbers(k, n):
                    out = [n / k for _ in range(k - 1)]
                    return out + [n - sum_in_order(out)]
                fn, mn = numbers(k1, nfem), numbers(k2, nmale)
        else:
            fn, mn = partition(k1, nfem, o["MPF"], rng), partition(k2, nmale, o["MPF"], rng)
        return fn, mn, [x / nfem for x in fn], [x / nmale for x in mn]

    numfiles = o["numfiles"]
    if not drift:
        fn, mn, p1, p2 = compose(False)
        if process == "replacement":
            numfiles = 1
    os.makedirs(os.path.join(workdir, "oracle"), exist_ok=True)
    target = o["matings"]
    for i in range(numfiles):
        if drift:
            fn, mn, p1, p2 = compose(True)
        M = mean_propensity(p1, p2, mm)
        mat = [[0.0] * k2 for _ in range(k1)]
        if process == "replacement":
            for f in range(k1):
                for j in range(k2):
                    mat[f][j] = p1[f] * p2[j] * mm[f][j] / M * target
        elif process == "individual":
            q1, q2 = list(p1), list(p2)
            rf, rm = [0.0] * k1, [0.0] * k2
            fl, ml, total = nfem, nmale, 0
            while True:
                f = draw_type(q1, rng)
                rf[f] += 1
                j = draw_type(q2, rng)
                rm[j] += 1
                if mm[f][j] / M >= rng.uniform():
                    mat[f][j] += 1
                    total += 1
                    if total >= target:
                        break
                    fl -= 1
                    ml -= 1
                    q1 = refresh([fn[t] - rf[t] for t in range(k1)], fl)
                    q2 = refresh([mn[t] - rm[t] for t in range(k2)], ml)
                    M = mean_propensity(q1, q2, mm)
                else:
                    rf[f] -= 1
                    rm[j] -= 1
        else:
            q1, q2 = list(p1), list(p2)
            fp, mp = list(fn), list(mn)
            fl, ml, total, enc = nfem, nmale, 0, 0
            done = False
            while not done:
                n = min(fl, ml, int(mrmax))
                fs = roulette(n, q1, fp, rng)
                ms = roulette(n, q2, mp, rng)
                any_mating = False
                for f, j in zip(fs, ms):
                    if mm[f][j] / M >= rng.uniform():
                        any_mating = True
                        mat[f][j] += 1
                        total += 1
                        if total >= target:
                            done = True
                            break
                        fl -= 1
                        ml -= 1
                    else:
                        fp[f] += 1
                        mp[j] += 1
                if done:
                    break
                enc += n
                if any_mating:
                    q1, q2 = refresh(fp, fl), refresh(mp, ml)
                    M = mean_propensity(q1, q2, mm)
                if enc == nfem * nmale:
                    break
        written_f = [x / nfem for x in fn] if fmt == 15 else fn
        written_m = [x / nmale for x in mn] if fmt == 15 else mn
        lines = ["# format number", str(fmt), "# num of types"]
        if fmt == 0:
            lines.append(str(k1))
        elif fmt in (2, 15):
            lines.append("%d\t%d" % (k1, k2))
        lines.append("#premating male numbers")
        lines.append("".join(fmt1(x) + "\t" for x in written_m))
        lines.append("#premating female numbers")
        lines.append("".join(fmt1(x) + "\t" for x in written_f))
        lines.append("# matings by rows (females)")
        for row in mat:
            lines.append("".join(fmt1(x) + "\t" for x in row))
        name = "%s%d.txt" % (prefix, i + o["shift"] + 1)
        with open(os.path.join(workdir, "oracle", name), "w") as out:
            out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
