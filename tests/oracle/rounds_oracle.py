#!/usr/bin/env python3
"""An independent model of the sampling-round experiments, used to check the simulator's
fixed-seed output draw for draw: the set-up of the population, the mass- and individual-encounter
rounds, the running round indices, the mating indices with their chi-square p-values, the rounds
tables and the significance report. Runs that stop with an error are not modelled.

Usage: rounds_oracle.py WORKDIR ARG...   writes WORKDIR/oracle/<file name> for every rounds table
and for the report, holding the lines of the file after its banner."""

import ctypes
import math
import os
import sys

from discrete_oracle import data_lines, draw_type, mean_propensity, roulette
from discrete_oracle import refresh as frequencies_left
from discrete_oracle import sum_in_order as total_in_order
from mt64 import MT64

# The C library's log and exp, so that every operation rounds exactly as the simulator's.
_libm = ctypes.CDLL("libm.so.6")
_libm.log.restype = _libm.exp.restype = ctypes.c_double
_libm.log.argtypes = _libm.exp.argtypes = [ctypes.c_double]
NAN = float("nan")
MISSING = -99.0


def log(x):
    return _libm.log(x)


def exp(x):
    return _libm.exp(x)


def div(a, b):
    """IEEE division (Python raises on a zero divisor)."""
    if b != 0.0:
        return a / b
    if a == 0.0 or math.isnan(a):
        return NAN
    return math.copysign(math.inf, a) * math.copysign(1.0, b)


def mul(a, b):
    if (math.isinf(a) and b == 0.0) or (math.isinf(b) and a == 0.0):
        return NAN
    return a * b


def g(x):
    """Default stream formatting of doubles (six significant digits, as %g)."""
    if math.isnan(x):
        return "nan"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    return "%g" % x


def fixed(x, decimals):
    if math.isnan(x):
        return "nan"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    return "%.*f" % (decimals, x)


def parse(args):
    o = dict(model=0, matings=100, MRmax=-1.0, numfiles=1, shift=0, N=500, femtypes=2,
             maletypes=2, osr=1.0, uniform=1, userfreqs=0, incrfactor=1.25, choicefactor=1.25,
             MPF=0.1, fixseed=0, SL=0.05, eJRpsi=0, onlyresume=0, onematround=1, verbose=0)
    ints = ("model", "matings", "numfiles", "shift", "N", "femtypes", "maletypes", "uniform",
            "userfreqs", "fixseed", "eJRpsi", "onlyresume", "onematround", "verbose")
    aliases = {"selfactor": "incrfactor", "decrfactor": "choicefactor", "sl": "SL", "mpf": "MPF"}
    for i in range(0, len(args), 2):
        name = args[i].lstrip("-")
        name = aliases.get(name, name)
        o[name] = int(args[i + 1]) if name in ints else float(args[i + 1])
    return o


# ---------------------------------------------------------------------------------------------
# Chi-square probabilities

def ln_gamma(a):
    c = [76.18009172947146, -86.50532032941678, 24.01409824083091, -1.231739572450155,
         0.001208650973866179, -5.395239384953e-6]
    s = 1.000000000190015
    for k in range(6):
        s += c[k] / (a + (k + 1))
    t = a + 5.5
    return log(2.5066282746310007 * s / a) - (t - (a + 0.5) * log(t))


EPS = 2.220446049250313e-16
FPMIN = 1.0020841800044864e-292


def gser(a, x):
    gln = ln_gamma(a)
    if x == 0:
        return 0.0
    ap = a
    dl = sm = 1.0 / a
    for _ in range(5000):
        ap += 1
        dl *= x / ap
        sm += dl
        if abs(dl) < abs(sm) * EPS:
            return sm * exp(-x + a * log(x) - gln)
    raise RuntimeError("gser does not converge")


def gcf(a, x):
    gln = ln_gamma(a)
    b = x + 1 - a
    c = 1 / FPMIN
    d = 1 / b
    h = d
    for i in range(1, 5001):
        an = -i * (i - a)
        b += 2
        d = an * d + b
        if abs(d) < FPMIN:
            d = FPMIN
        c = b + an / c
        if abs(c) < FPMIN:
            c = FPMIN
        d = 1 / d
        dl = d * c
        h *= dl
        if abs(dl - 1) <= EPS:
            return exp(-x + a * log(x) - gln) * h
    raise RuntimeError("gcf does not converge")


def chi_pval(x, df):
    if x == 0:
        return 1.0
    a, y = df * 0.5, x * 0.5
    if y < 0 or a <= 0:
        raise RuntimeError("invalid arguments in gammq")
    if math.isnan(y):
        return NAN
    if math.isinf(y):
        return 0.0
    return 1 - gser(a, y) if y < a + 1 else gcf(a, y)


def jterm(x, y):
    """(x - y) ln(x / y), 0 when both are 0."""
    if x == 0 and y == 0:
        return 0.0
    x, y = x + 0.0, y + 0.0  # signed zeros count as empty cells
    r = div(x, y)
    if math.isnan(r) or r < 0:
        return NAN
    if r == 0:
        return mul(x - y, -math.inf)
    return mul(x - y, math.inf if math.isinf(r) else log(r))


def jdiv(xs, ys):
    s = 0.0
    for x, y in zip(xs, ys):
        s += jterm(x, y)
    return s


# ---------------------------------------------------------------------------------------------
# Population

def partition(k, n, mpf, rng):
    numbers = [0.0] * k
    if k == 1:
        return [float(n)]
    assigned = 0
    t = 0
    while True:
        u = rng.uniform()
        while u < mpf or u > 1 - mpf:
            u = rng.uniform()
        x = u * n
        assigned = int(assigned + x)
        if assigned >= n:
            numbers[t] = x - (assigned - n + 1)
            assigned = n - 1
            break
        numbers[t] = x
        if t + 1 == k - 1 or assigned == n - 1:
            break
        t += 1
    numbers[k - 1] = float(n - assigned)
    rng.shuffle(numbers)
    return numbers


def outer(a, b):
    return [[a[i] * b[j] for j in range(len(b))] for i in range(len(a))]


def flat(table):
    return [v for row in table for v in row]


# ---------------------------------------------------------------------------------------------

class Run:
    def __init__(self, workdir, args):
        self.o = o = parse(args)
        self.workdir = workdir
        self.rng = MT64(o["fixseed"])
        self.nfem = int(o["N"] / (o["osr"] + 1.0))
        self.nmale = o["N"] - self.nfem
        self.setup()

    def setup(self):
        o = self.o
        smaller = min(self.nfem, self.nmale)
        model = abs(o["model"])
        mrmax = o["MRmax"]
        if model > 9:
            if mrmax < 0:
                mrmax = float(smaller)
            model = 0 if model == 123321 else model // 10
        k1, k2 = o["femtypes"], o["maletypes"]
        factor = 1.0 if model == 0 else (o["choicefactor"] if model in (3, 4) else o["incrfactor"])
        mm = [[mrmax / factor] * k2 for _ in range(k1)]
        if model == 0:
            mm = [[mrmax] * k2 for _ in range(k1)]
        elif model == 1:
            for i in range(k1 - 1):
                mm[i] = [mrmax] * k2
        elif model == 2:
            for i in range(k1):
                for j in range(k2 - 1):
                    mm[i][j] = mrmax
        elif model == 3:
            for t in range(min(k1, k2)):
                mm[t][t] = mrmax
        elif model == 4:  # unlike types mrmax, like types mrmax x factor
            mm = [[mrmax] * k2 for _ in range(k1)]
            for t in range(min(k1, k2)):
                mm[t][t] = mrmax * factor
        elif model == 5:
            lines = list(data_lines(os.path.join(self.workdir, "PairlabUserModel.txt")))
            fk1, fk2 = int(lines[0][0]), int(lines[0][1])
            if (fk1, fk2) != (k1, k2):
                k1, k2 = fk1, fk2
                mm = [[0.0] * k2 for _ in range(k1)]
            for r, words in enumerate(lines[1:k1 + 1]):
                mm[r] = [float(w) for w in words]
            mrmax = max(max(row) for row in mm)
        self.mass = mrmax >= 2
        self.mrmax, self.mm, self.k1, self.k2 = mrmax, mm, k1, k2
        prefix = "Pairlab_Mmax_"
        prefix += {0: g(mrmax) + "_", 5: "User_"}.get(model, g(mrmax) + "_Factor" + g(factor) + "_")
        prefix += ("massEM_" if self.mass else "iEM_") + "RM%d_" % model
        if o["uniform"]:
            prefix += "U_"
        elif o["userfreqs"]:
            prefix += "User%d_" % o["N"]
        else:
            prefix += "nonU_"
        if not self.mass and o["eJRpsi"]:
            prefix += "empRpsi_"
        self.prefix = prefix

        nf, nm = self.nfem, self.nmale
        if o["userfreqs"]:
            p = [[0.0] * k1, [0.0] * k2]
            lines = list(data_lines(os.path.join(self.workdir, "PairlabUserFreqs.txt")))[:2]
            for sex, words in enumerate(lines):
                if len(p[sex]) == 1:
                    p[sex] = [1.0]
                else:
                    p[sex] = [min(1 - o["MPF"], max(o["MPF"], float(w))) for w in words]
            for sex in range(2):
                if abs(total_in_order(p[sex]) - 1.0) > 1e-6:
                    p[sex][-1] = 1.0 - total_in_order(p[sex][:-1])

            def numbers(freqs, n):
                out, assigned = [], 0
                for f in freqs[:-1]:
                    out.append(f * n)
                    assigned = int(assigned + f * n)
                return out + [float(n - assigned)]
            self.fn, self.mn = numbers(p[0], nf), numbers(p[1], nm)
            self.p1, self.p2 = p
        else:
            if o["uniform"]:
                def numbers(k, n):
                    out = [n / k for _ in range(k - 1)]
                    return out + [n - total_in_order(out)]
                self.fn, self.mn = numbers(k1, nf), numbers(k2, nm)
            else:
                self.fn = partition(k1, nf, o["MPF"], self.rng)
                self.mn = partition(k2, nm, o["MPF"], self.rng)
            self.p1 = [x / nf for x in self.fn]
            self.p2 = [x / nm for x in self.mn]
        self.M0 = mean_propensity(self.p1, self.p2, mm)

        n, F = o["matings"], o["numfiles"]
        self.roundJ = [[[MISSING] * F for _ in range(n)] for _ in range(3)]
        self.totalJ = [[MISSING] * F for _ in range(3)]
        self.reached = [0] * n
        self.tallies = [0.0] * 8
        self.sum_rounds = 0.0
        self.sum_mpr = 0.0

    def running_indices(self, counts, NA, mated, random, NB, r, f):
        pobs = [(c if c >= 0.5 else 0.5) / NA for c in flat(counts)]
        pp = [(c if c >= 0.5 else 0.5) / NB for c in flat(mated)]
        q = [c / NB for c in flat(random)]
        self.roundJ[0][r][f] = jdiv(pobs, q)
        self.roundJ[1][r][f] = jdiv(pobs, pp)
        self.roundJ[2][r][f] = jdiv(pp, q)

    def mass_replicate(self, f):
        o, k1, k2, mm, rng = self.o, self.k1, self.k2, self.mm, self.rng
        n = o["matings"]
        p1r, p2r = [list(self.p1)], [list(self.p2)]
        b1, b2 = [[0.0] * k1], [[0.0] * k2]
        pairs = [[[0.0] * k2 for _ in range(k1)]]
        counts = [[0.0] * k2 for _ in range(k1)]
        mated = [[0.0] * k2 for _ in range(k1)]
        random = outer(self.p1, self.p2)
        M = [self.M0]
        fa, ma = list(self.fn), list(self.mn)
        fl, ml, total, obtained, r = self.nfem, self.nmale, 0, 0, 0
        while total < n:
            E = min(fl, ml, int(self.mrmax))
            fs = roulette(E, p1r[r], fa, rng)
            ms = roulette(E, p2r[r], ma, rng)
            got = 0
            for i, j in zip(fs, ms):
                if div(mm[i][j], M[r]) >= rng.uniform():
                    total += 1
                    got += 1
                    pairs[r][i][j] += 1
                    counts[i][j] += 1
                    b1[r][i] += 1
                    b2[r][j] += 1
                    if total == n:
                        break
                    fl -= 1
                    ml -= 1
                else:
                    fa[i] += 1
                    ma[j] += 1
            if got == 0:
                continue
            self.reached[r] += 1
            b1[r] = [v / got for v in b1[r]]
            b2[r] = [v / got for v in b2[r]]
            for i in range(k1):
                for j in range(k2):
                    mated[i][j] += b1[r][i] * b2[r][j]
            self.running_indices(counts, total, mated, random, r + 1, r, f - 1)
            obtained += got
            if total < n:
                assert fl == ml
                pairs.append([[0.0] * k2 for _ in range(k1)])
                b1.append([0.0] * k1)
                b2.append([0.0] * k2)
                p1r.append(frequencies_left(fa, fl))
                p2r.append(frequencies_left(ma, ml))
                M.append(mean_propensity(p1r[-1], p2r[-1], mm))
                for i in range(k1):
                    for j in range(k2):
                        random[i][j] += p1r[-1][i] * p2r[-1][j]
                r += 1
        rounds = r + 1
        self.sum_mpr += obtained / rounds
        self.sum_rounds += rounds

        def average(vectors):
            s = [total_in_order(v[t] for v in vectors) for t in range(len(vectors[0]))]
            return [(x if x != 0 else 0.5) / rounds for x in s]
        A1, B1, A2, B2 = average(p1r), average(b1), average(p2r), average(b2)
        PR = [[(x if x != 0 else 0.5) / rounds for x in row] for row in mated]
        QR = [[total_in_order(p1r[q][i] * p2r[q][j] for q in range(rounds)) / rounds
               for j in range(k2)] for i in range(k1)]
        self.finish(f, counts, PR, QR, A1, B1, A2, B2, p1r, p2r, pairs)

    def individual_replicate(self, f):
        o, k1, k2, mm, rng = self.o, self.k1, self.k2, self.mm, self.rng
        n = o["matings"]
        p1r = [list(self.p1) for _ in range(n)]
        p2r = [list(self.p2) for _ in range(n)]
        M = [self.M0] * n

        def expected(r):
            rows = [total_in_order(p1r[r][i] * p2r[r][j] * mm[i][j] for j in range(k2))
                    for i in range(k1)]
            cols = [total_in_order(p1r[r][i] * p2r[r][j] * mm[i][j] for i in range(k1))
                    for j in range(k2)]
            e1 = [div(x, M[r]) for x in rows[:-1]]
            e2 = [div(x, M[r]) for x in cols[:-1]]
            return e1 + [1.0 - total_in_order(e1)], e2 + [1.0 - total_in_order(e2)]
        e1, e2 = [None] * n, [None] * n
        e1[0], e2[0] = expected(0)
        pairs = [[[0.0] * k2 for _ in range(k1)] for _ in range(n)]
        counts = [[0.0] * k2 for _ in range(k1)]
        observed = [[0.0] * k2 for _ in range(k1)]
        exp_mated = outer(e1[0], e2[0])
        random = outer(self.p1, self.p2)
        fa, ma = list(self.fn), list(self.mn)
        fl, ml, total, r = self.nfem, self.nmale, 0, 0
        while total < n:
            i = draw_type(p1r[r], rng)
            j = draw_type(p2r[r], rng)
            if not div(mm[i][j], M[r]) >= rng.uniform():
                continue
            total += 1
            pairs[r][i][j] += 1
            counts[i][j] += 1
            observed[i][j] += 1
            self.running_indices(counts, total, exp_mated, random, total, total - 1, f - 1)
            self.reached[total - 1] += 1
            if total == n:
                break
            fl -= 1
            ml -= 1
            fa[i] -= 1
            ma[j] -= 1
            r += 1
            p1r[r] = frequencies_left(fa, fl)
            p2r[r] = frequencies_left(ma, ml)
            for a in range(k1):
                for b in range(k2):
                    random[a][b] += p1r[r][a] * p2r[r][b]
            M[r] = mean_propensity(p1r[r], p2r[r], mm)
            e1[r], e2[r] = expected(r)
            for a in range(k1):
                for b in range(k2):
                    exp_mated[a][b] += e1[r][a] * e2[r][b]
        self.sum_rounds += n
        self.sum_mpr += 1

        def average(vectors):
            s = [total_in_order(v[t] for v in vectors) for t in range(len(vectors[0]))]
            return [(x if x != 0 else 0.5) / n for x in s]
        A1, B1, A2, B2 = average(p1r), average(e1), average(p2r), average(e2)
        PR = [[x / n for x in row] for row in (observed if o["eJRpsi"] else exp_mated)]
        QR = [[total_in_order(p1r[q][i] * p2r[q][j] for q in range(n)) / n
               for j in range(k2)] for i in range(k1)]
        self.finish(f, counts, PR, QR, A1, B1, A2, B2, p1r, p2r, pairs)

    def finish(self, f, counts, PR, QR, A1, B1, A2, B2, p1r, p2r, pairs):
        o, k1, k2 = self.o, self.k1, self.k2
        n = o["matings"]
        cells = flat(QR)
        QR[-1][-1] = 1.0 - total_in_order(cells[:-1])
        P = [[(c if c != 0 else 0.5) / n for c in row] for row in counts]
        P1 = [total_in_order(P[i]) for i in range(k1)]
        P2 = [total_in_order(P[i][j] for i in range(k1)) for j in range(k2)]
        S = outer(P1, P2)
        Q0 = outer(self.p1, self.p2)
        fP, fS, fQ0, fQR, fPR = flat(P), flat(S), flat(Q0), flat(QR), flat(PR)
        JRpti, JRpsi, JRpss = jdiv(fP, fQR), jdiv(fP, fPR), jdiv(fPR, fQR)
        Jpti, Jpsi, Jpss = jdiv(fP, fQ0), jdiv(fP, fS), jdiv(fS, fQ0)
        JRps1, JRps2 = jdiv(B1, A1), jdiv(B2, A2)
        SL = o["SL"]
        pr = [1.0] * 5
        pt = [1.0] * 3
        pr[0] = chi_pval(n * JRpti, k1 * k2 - 1)
        pt[0] = chi_pval(n * Jpti, k1 * k2 - 1)
        if pr[0] <= SL:
            self.tallies[0] += 1
            pr[1] = chi_pval(n * JRpsi, k1 * k2 - k1 - k2 + 1)
            self.tallies[1] += pr[1] <= SL
            pr[2] = chi_pval(n * JRpss, k1 + k2 - 2)
            if pr[2] <= SL:
                self.tallies[2] += 1
                pr[3] = chi_pval(n * JRps1, k1 - 1)
                self.tallies[3] += pr[3] <= SL
                pr[4] = chi_pval(n * JRps2, k2 - 1)
                self.tallies[4] += pr[4] <= SL
        if pt[0] <= SL:
            self.tallies[5] += 1
            pt[1] = chi_pval(n * Jpsi, k1 * k2 - k1 - k2 + 1)
            self.tallies[6] += pt[1] <= SL
            pt[2] = chi_pval(n * Jpss, k1 + k2 - 2)
            self.tallies[7] += pt[2] <= SL
        for k, v in enumerate((Jpti, Jpsi, Jpss)):
            self.totalJ[k][f - 1] = v
        if o["onlyresume"]:
            return
        R = len(pairs)
        lines = ["# format number", "16", "# num of types", "%d\t%d" % (k1, k2),
                 "#Sampling over %d mating rounds" % R, ""]
        head = "Round\t" + "".join("pfem_r%d\t" % (t + 1) for t in range(k1))
        head += "".join("pmale_r%d\t" % (t + 1) for t in range(k2))
        head += "".join("%d x %d\t" % (i + 1, j + 1) for i in range(k1) for j in range(k2))
        lines += [head, ""]
        totals = [0] * (k1 * k2)
        for r in range(R):
            cells = flat(pairs[r])
            for c in range(k1 * k2):
                totals[c] = int(totals[c] + cells[c])
            lines.append("%d\t" % (r + 1) + "".join(fixed(v, 3) + "\t" for v in
                                                    p1r[r] + p2r[r] + cells))
        pad = "\t" * (k1 + k2)
        lines.append("Total\t" + pad + "".join("%d\t" % v for v in totals))
        lines.append(pad + "q'R\t" + "".join(fixed(v, 3) + "\t" for v in fP))
        lines.append(pad + "qR\t" + "".join(fixed(v, 3) + "\t" for v in fQR))
        labels = ["JRpti", "JRpsi", "JRpss", "JRps1", "JRps2"]
        vals = [JRpti, JRpsi, JRpss, JRps1, JRps2]
        lines.append("".join("%s (p-val)\t%s (%s)\t" % (labels[k], fixed(vals[k], 3),
                                                        fixed(pr[k], 4)) for k in range(5)))
        labels, vals = ["Jpti", "Jpsi", "Jpss"], [Jpti, Jpsi, Jpss]
        last = "".join("%s (p-val)\t%s (%s)\t" % (labels[k], fixed(vals[k], 3), fixed(pt[k], 4))
                       for k in range(3))
        name = "%s%d.txt" % (self.prefix, f + o["shift"])
        self.write(name, "\n".join(lines) + "\n" + last)

    def write(self, name, text):
        os.makedirs(os.path.join(self.workdir, "oracle"), exist_ok=True)
        with open(os.path.join(self.workdir, "oracle", name), "w") as out:
            out.write(text)

    def report(self):
        o = self.o
        F = o["numfiles"]

        def avesd(values):
            kept = [x for x in values if x != MISSING]
            if not kept:
                return MISSING, MISSING
            mean = total_in_order(kept) / len(kept)
            s1 = total_in_order((x - mean) * (x - mean) for x in kept)
            s2 = total_in_order(x - mean for x in kept)
            var = (s1 - s2 * s2 / len(kept)) / len(kept)
            if math.isnan(var):
                return mean, NAN
            return mean, 0.0 if var < 0 else math.sqrt(var)
        lines = ["", "Encounter model: " + ("Mass EM" if self.mass else "Indiv EM"), "",
                 "#Sampling over an average of %s mating rounds with %s matings in average per "
                 "round" % (g(self.sum_rounds / F), g(self.sum_mpr / F)),
                 "Premating female numbers: %d\tPremating male numbers: %d\tSample size: %d\t"
                 "Number of replicates: %d\tSignificance level %s"
                 % (self.nfem, self.nmale, o["matings"], F, g(o["SL"])),
                 "%*JRpti\t%*JRpsi\t%*JRpss\t%*JRps1\t%*JRps2",
                 "\t".join(g(t / F * 100) for t in self.tallies[:5]),
                 "%*Jpti\t%*Jpsi\t%*Jpss",
                 "\t".join(g(t / F * 100) for t in self.tallies[5:]), "",
                 "Round\tNumFiles\tJRPTI\tsdJRPTI\tJRPSI\tsdJRPSI\tJRPSS\tsdJRPSS"]
        for r in range(o["matings"]):
            stats = [avesd(self.roundJ[k][r]) for k in range(3)]
            if stats[0][0] == MISSING:
                continue
            lines.append("%d\t%d\t" % (r + 1, self.reached[r]) +
                         "\t".join(g(x) for s in stats for x in s))
        lines += ["", "JPTI (var)\tJPSI (var)\tJPSS (var)"]
        stats = [avesd(self.totalJ[k]) for k in range(3)]
        last = "\t".join("%s (%s)" % (g(m), g(s)) for m, s in stats)
        self.write(self.prefix + ".txt", "\n".join(lines) + "\n" + last)


def main():
    workdir, args = sys.argv[1], sys.argv[2:]
    run = Run(workdir, args)
    for f in range(1, run.o["numfiles"] + 1):
        if run.mass:
            run.mass_replicate(f)
        else:
            run.individual_replicate(f)
    run.report()


if __name__ == "__main__":
    main()
