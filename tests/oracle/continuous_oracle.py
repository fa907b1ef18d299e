#!/usr/bin/env python3
"""An independent model of the continuous-trait road, used to check the simulator's fixed-seed
output draw for draw. It is written from the description of the model, not from the C++ code,
and deliberately works differently where it can: the working table of individual encounters is
an explicit table of rows and columns that loses rows and columns, and every bounded loop of
draws is run draw by draw.

Usage:
  continuous_oracle.py WORKDIR ARG...   writes WORKDIR/oracle/stdout.txt (the expected standard
      output) and WORKDIR/oracle/<relative path> for every result file, holding the file without
      its first line (the local time);
  continuous_oracle.py --check ROOT     compares every case directory of ROOT (its args, status,
      stdout.txt and result files, as check_continuous.sh leaves them) with the model."""

import math
import os
import sys

from mt64 import MT64

QBIG = 1.7976931348623155e308
LOWEST = -1.7976931348623157e308
QLOW = 2.225073858507201e-308
MISSING = -99.0
CREDIT = "Pairlab: stochastic simulation of mate choice\t\t\t"
WEB = "Documentation and citation: see README.md of the distribution\t\t\t\t"


def g(x):
    """Numbers in names, messages and files: six significant digits as %g."""
    if isinstance(x, int):
        return str(x)
    return "%g" % x


def parse(args):
    o = dict(continuous=0, model=0, matings=100, numfiles=1, shift=0, N=500, osr=1.0, fixseed=0,
             choice=0.0, tolerance=0.08, dmax=1.0, bias=0.0, mintrait=0.0, scaling=1,
             onechoosy=0, logistic=(0.0, 1.0), impatient=0.0, bimodal=(0.5, 0.0, 1.0),
             userphenotypes=0, age=(0.0, 2.0, 0.0), writefiles=0, writedistrib=0, gaussian=1,
             verbose=0, uniform=1)
    ints = {"continuous", "model", "matings", "numfiles", "shift", "N", "fixseed", "scaling",
            "onechoosy", "writefiles", "writedistrib", "gaussian", "verbose", "uniform"}
    i = 0
    while i < len(args):
        name = args[i].lstrip("-")
        if name == "logistic_params":
            o["logistic"] = (float(args[i + 1]), float(args[i + 2]))
            i += 3
            continue
        if name in ("bimodal", "age_params"):
            o["bimodal" if name == "bimodal" else "age"] = tuple(float(v) for v in args[i + 1:i + 4])
            i += 4
            continue
        value = args[i + 1]
        if name in ("impatience", "impatient"):
            o["impatient"] = float(value)
        elif name in ("userphenotypes", "userfreqs"):
            o["userphenotypes"] = int(value)
        elif name in ints:
            o[name] = int(value)
        else:
            o[name] = float(value)
        i += 2
    return o


def banner(last_line):
    return ["", "-" * 48, "Pairlab", "-" * 69, "", CREDIT, WEB, "-" * 69, "", last_line]


class Oracle:
    def __init__(self, o, workdir):
        self.o = o
        self.workdir = workdir
        self.out = []  # standard output, as one text
        self.files = {}  # relative path -> lines after the time line

    def say(self, text):
        self.out.append(text)

    # ----- set-up -----
    def run(self):
        o = self.o
        seed = o["fixseed"]
        self.say("\n\nSeed: %d\n" % seed)
        self.rng = MT64(seed & ((1 << 64) - 1))
        aging = o["age"][2] >= 0 and o["age"][0] > 0
        if o["numfiles"] == 1:
            o["writefiles"] = 1
        nfem = int(o["N"] / (o["osr"] + 1.0))
        nmale = o["N"] - nfem
        self.nfem, self.nmale = nfem, nmale

        m = o["model"]
        if m < 0 and abs(m) >= 10:
            mode, model = "mass", abs(m) // 10
        elif m < 0:
            mode, model = "indiv", abs(m)
        else:
            mode, model = "repl", m
        gaussian = o["gaussian"]
        if model == 3:
            gaussian = 0
        self.mode = mode
        directory = "Out_Pairlab"
        prefix = "Pairlab_C_n%d_" % o["matings"]
        if mode == "mass":
            directory += "_massEM"
            prefix += "massEM_"
        elif mode == "indiv":
            directory += "_iEM"
            prefix += "iEM_"
        self.R = min(nfem, nmale)

        # traits
        fem = [0.0] * nfem
        mal = [0.0] * nmale
        lim = dict(fmin=QBIG, fmax=LOWEST, mmin=QBIG, mmax=LOWEST)

        def store(sex, i, v):
            (fem if sex == "f" else mal)[i] = v
            if v < lim[sex + "min"]:
                lim[sex + "min"] = v
            if v > lim[sex + "max"]:
                lim[sex + "max"] = v

        p, mu, sigma = o["bimodal"]
        bimodal = False
        if mu != 0 and abs(mu) <= sigma + 1:
            self.say("\nWarning: note that the value of the mean (%s) and the standard deviation "
                     "(%s) may not be enough to produce a bimodal distribution\n\n" % (g(mu), g(sigma)))
        if o["userphenotypes"]:
            if mu != 0:
                self.say("\nWarning: note that the bimodality is not applied because user-defined "
                         "argument is true\n\n")
            self.say("\nReading file PairlabUserPhenotypes.txt\n")
            values = []
            with open(os.path.join(self.workdir, "PairlabUserPhenotypes.txt")) as f:
                for line in f:
                    s = line.strip(" \t\n\r\f\v")
                    if not s or "#" in s:
                        continue
                    values.append(float(s))
            assert len(values) == nfem + nmale, "oracle handles valid phenotype files only"
            for i in range(nfem):
                store("f", i, values[i])
            for i in range(nmale):
                store("m", i, values[nfem + i])
        elif mu != 0:
            bimodal = True
            for sex, n in (("f", nfem), ("m", nmale)):
                second = int(n * (1.0 - p))
                first = n - second
                for i in range(n):
                    store(sex, i, self.rng.normal() if i < first else mu + sigma * self.rng.normal())
        else:
            for i in range(nfem):
                store("f", i, self.rng.normal())
            for i in range(nmale):
                store("m", i, self.rng.normal())
        rng_range = max(lim["fmax"], lim["mmax"]) - min(lim["fmin"], lim["mmin"])
        lo = min(lim["fmin"], lim["mmin"])
        assert rng_range > QLOW, "oracle handles varying traits only"

        if aging:
            a, b, gg = o["age"]
            prefix += "Age_a%s_b%s_g%s_" % (g(a), g(b), g(gg))
        if gaussian or model <= 2:
            assert model in (1, 2)
            family = "gauss"
        else:
            family = "logit"
            model = 3

        c = o["choice"]
        self.table = None
        if family == "gauss":
            bias = o["bias"]
            D = o["dmax"]
            if o["scaling"]:
                fem = [(t - lo) / rng_range * D + o["mintrait"] for t in fem]
                mal = [(t - lo) / rng_range * D + o["mintrait"] for t in mal]
                bias = D * bias / rng_range
            prefix += ("FND_" if model == 1 else "BD03_") + "C%s_s%s_Dmax%s_" % (g(c), g(o["tolerance"]), g(D))
            if bias != 0:
                prefix += "bias%s_" % g(bias)
            s = o["tolerance"]
            coef = -((c / (s * D)) ** 2) if model == 1 else -0.5 * ((c * c / s) ** 2)
            assert coef < 0 or c == 0
            if c > 0:
                branch = "pos"
            elif c < 0:
                branch = "neg"
            else:
                branch = "random"
            if c != 0:
                table = []
                for x in fem:
                    for y in mal:
                        if c < 0:
                            d = abs(x - y) - D
                        elif o["onechoosy"]:
                            d = x - y - bias
                        else:
                            d = abs(x - y) - abs(bias)
                        table.append(math.exp(coef * (d * d)))
                self.table = table
                self.sorted = sorted(table)
                self.M = self.sorted[-1]
                assert max(table) == self.M
            names = {"pos": "Positive assortative Gaussian preference",
                     "neg": "Negative assortative Gaussian preference",
                     "random": "Random mating Gaussian preference"}
            self.prefname = names[branch]
        else:
            la, lb = o["logistic"]
            prefix += "Log_a%s_b%s_" % (g(la), g(lb))
            if o["impatient"] != 0:
                prefix += "Imp_"
            self.args = [la, lb, 0.0, la, lb, 0.0]
            branch = "logit"
            self.prefname = "logit preference"
            if o["impatient"] != 0:
                self.prefname += "_ImpatientFactor: " + g(o["impatient"])
        self.branch = branch
        self.fem, self.mal = fem, mal
        self.aging = aging

        # files
        em_line = {"repl": "With replacement EM", "mass": "Mass EM", "indiv": "Indiv EM"}[mode]
        totals = [0.0, 0.0]
        total_matings = 0
        sizes, corrs, fnames = [], [], []
        name = ""
        for f in range(1, o["numfiles"] + 1):
            k, report, xs, ys, fe, me = self.file()
            totals[0] += fe
            totals[1] += me
            total_matings += k
            sizes.append(k)
            number = f + o["shift"]
            name = report + self.prefname
            if o["writefiles"]:
                lines = banner("Preference function: " + name)
                lines += ["", "Encounter model: " + em_line, ""]
                lines += ["Premating female numbers: %d. Premating male numbers: %d" % (nfem, nmale),
                          "Sample size %d" % k, "Matings", "Female\tMale"]
                lines += ["%s\t%s" % (g(xv), g(yv)) for xv, yv in zip(xs, ys)]
                lines += [""]
                self.files["%s/%s%d%s" % (directory, prefix, number, "b.txt" if bimodal else ".txt")] = lines
            else:
                self.say("\nFile %d done\n" % f)
            if k < 5:
                msg = "no enough matings in file %d" % f
                if not aging and branch == "neg":
                    msg += ": %d pairs" % k
                self.say(msg + "\n")
                corrs.append(MISSING)
            else:
                corrs.append(correlation(xs, ys))
            fnames.append("%s%d.txt" % (prefix, number))

        mean_size = int(sum(sizes) / o["numfiles"])
        ages = [t / total_matings if total_matings else 0.0 for t in totals]
        lines = banner("Preference function: " + name)
        lines += ["", "Encounter model: " + em_line, ""]
        lines += ["Premating female numbers: %d. Premating male numbers: %d." % (nfem, nmale)]
        if ages[0] > 0 and ages[1] > 0:
            lines += ["Mean female age after the mating season: " + g(ages[0]),
                      "Mean male age after the mating season: " + g(ages[1])]
        lines += ["Mean sample size:\t%d" % mean_size, "File\tRho"]
        lines += ["%s\t%s" % (n, g(r)) for n, r in zip(fnames, corrs) if r != MISSING]
        lines += [""]
        self.files["%s/%s%s" % (directory, prefix, "bCorrel.txt" if bimodal else "Correl.txt")] = lines
        if o["writedistrib"]:
            if o["verbose"]:
                self.say("Writing phenotypic distribution\n")
            lines = banner("Phenotypic distribution: ")
            lines += ["", "#females"] + [g(t) for t in fem] + ["", "#males"] + [g(t) for t in mal] + [""]
            self.files[directory + "/phenotypes.txt"] = lines

    # ----- one file -----
    def file(self):
        o = self.o
        rng = self.rng
        mode, branch, aging = self.mode, self.branch, self.aging
        table_engine = branch in ("pos", "neg")
        nfem, nmale = self.nfem, self.nmale
        totpairs = nfem * nmale
        a_age, b_age, g_age = o["age"]

        F = {"trait": list(self.fem), "count": [0] * nfem, "avail": [True] * nfem}
        Mx = {"trait": list(self.mal), "count": [0] * nmale, "avail": [True] * nmale}
        # the working table: rows of current females, columns of current males
        W = None
        if table_engine and mode == "indiv":
            W = [[self.table[i * nmale + j] for j in range(nmale)] for i in range(nfem)]
        xs, ys = [], []
        k = 0
        if branch == "logit" and o["impatient"] != 0:
            # impatience grows within a file: every file starts from the intercept of the run
            self.args[0] = self.args[3] = o["logistic"][0]
        counter = 0
        state = dict(cur=self.M if table_engine else 0.0, steps=0)
        pending = state["cur"]
        cursor = 0
        round_f, round_m = [], []
        report = ""
        fem_total = 0.0
        male_total = 0.0

        def step_down():
            state["steps"] += 1
            idx = totpairs - 1 - state["steps"]
            if idx < 0:
                idx = 0
            return self.sorted[idx]

        def remove(sex, i):
            del sex["trait"][i]
            del sex["count"][i]
            del sex["avail"][i]

        def pos(n):
            return int(rng.uniform() * n)

        while k < o["matings"]:
            nf, nm = len(F["trait"]), len(Mx["trait"])
            # --- choice of the pair ---
            if table_engine and o["onechoosy"]:
                if not any(Mx["avail"]):
                    report += "\nUnavailable males\n"
                    break
                mi = cursor % nm
                while not Mx["avail"][mi]:
                    cursor += 1
                    mi = cursor % nm
                if not aging:
                    fi = pos(nf)
                    while not F["avail"][fi]:
                        fi = pos(nf)
                else:
                    fi = None
                    for _ in range(totpairs):
                        t = pos(nf)
                        if F["avail"][t]:
                            fi = t
                            break
                    if fi is None:
                        t = pos(nf)
                        if F["avail"][t]:
                            fi = t
                        else:
                            report += "\nUnavailable females\n"
                            break
            elif table_engine:
                def pair():
                    n = pos(nf * nm)
                    return n // nm, n % nm
                if not aging:
                    fi, mi = pair()
                    while not (F["avail"][fi] and Mx["avail"][mi]):
                        fi, mi = pair()
                else:
                    found = False
                    for _ in range(totpairs):
                        fi, mi = pair()
                        if F["avail"][fi] and Mx["avail"][mi]:
                            found = True
                            break
                    if not found:
                        fi, mi = pair()
                        if not (F["avail"][fi] and Mx["avail"][mi]):
                            if not F["avail"][fi]:
                                report += "\nUnavailable females\n"
                            if not Mx["avail"][mi]:
                                report += "\nUnavailable males\n"
                            break
            else:
                if aging and (not any(F["avail"]) or not any(Mx["avail"])):
                    report += "\nIncomplete sample caused by aging\n"
                    break
                fi = pos(nf)
                while not F["avail"][fi]:
                    fi = pos(nf)
                mi = pos(nm)
                while not Mx["avail"][mi]:
                    mi = pos(nm)
            # --- ages and survival ---
            F["count"][fi] += 1
            Mx["count"][mi] += 1
            fdead = mdead = False
            if aging:
                for sexd, idx, which in ((F, fi, "f"), (Mx, mi, "m")):
                    t = sexd["count"][idx]
                    if math.log(t) > g_age:
                        s = math.exp(-(((math.log(t) - g_age) / a_age) ** b_age))
                        if s <= rng.uniform():
                            if which == "f":
                                fdead = True
                            else:
                                mdead = True
            ended = False
            if fdead or mdead:
                if fdead:
                    if branch == "random" or mode != "indiv":
                        F["avail"][fi] = False
                    elif branch == "logit":
                        remove(F, fi)
                        if not F["trait"]:
                            report += "\nIncomplete sample caused by aging\n"
                            ended = True
                    else:
                        for v in W[fi]:
                            if v == state["cur"]:
                                state["cur"] = step_down()
                        del W[fi]
                        remove(F, fi)
                        if not F["trait"]:
                            report += "\nIncomplete sample caused by female aging\n"
                            ended = True
                if mdead and not ended:
                    if branch == "random" or mode != "indiv":
                        Mx["avail"][mi] = False
                    elif branch == "logit":
                        remove(Mx, mi)
                        if not Mx["trait"]:
                            report += "\nIncomplete sample caused by aging\n"
                            ended = True
                    else:
                        Mx["avail"][mi] = False
                        if not any(Mx["avail"]) or not Mx["trait"]:
                            report += "\nIncomplete sample caused by male aging\n"
                            ended = True
                        else:
                            for row in W:
                                if row[mi] == state["cur"]:
                                    state["cur"] = step_down()
                if ended:
                    break
            else:
                # --- acceptance ---
                entry = None
                if table_engine:
                    entry = W[fi][mi] if mode == "indiv" else self.table[fi * nmale + mi]
                    mating = entry / state["cur"] > rng.uniform()
                elif branch == "logit":
                    self.args[2] = Mx["trait"][mi]
                    self.args[5] = F["trait"][fi]
                    p = logit(self.args)
                    mating = p > rng.uniform()
                else:
                    mating = True
                if mating:
                    xs.append(F["trait"][fi])
                    ys.append(Mx["trait"][mi])
                    if table_engine and o["onechoosy"]:
                        cursor += 1
                    k += 1
                    if branch == "logit" and o["impatient"] != 0:
                        self.args[0] = self.args[3] = o["logistic"][0] + o["impatient"] * k
                    if mode == "mass":
                        round_f.append(fi)
                        round_m.append(mi)
                        if table_engine and entry == state["cur"]:
                            pending = step_down()
                        if counter > self.R:
                            for i in round_f:
                                F["avail"][i] = False
                            for i in round_m:
                                Mx["avail"][i] = False
                            round_f, round_m = [], []
                            counter = 0
                            if table_engine:
                                state["cur"] = pending
                    elif mode == "indiv":
                        if branch == "random":
                            F["avail"][fi] = False
                            Mx["avail"][mi] = False
                        else:
                            fem_total += F["count"][fi]
                            male_total += Mx["count"][mi]
                            remove(F, fi)
                            remove(Mx, mi)
                            if table_engine:
                                if entry == state["cur"]:
                                    state["cur"] = step_down()
                                del W[fi]
                                for row in W:
                                    del row[mi]
                            if aging and (not F["trait"] or not Mx["trait"]) and k < o["matings"]:
                                report += ("\nIncomplete sample\n" if branch == "neg"
                                           else "\nIncomplete sample caused by aging\n")
                                break
            # --- encounter limit ---
            counter += 1
            limited = aging or branch != "random"
            if limited and counter > totpairs and k < o["matings"]:
                report = "\nIncomplete sample\n"
                break
        fem_total += sum(F["count"])
        male_total += sum(Mx["count"])
        return k, report, xs, ys, fem_total, male_total


def logit(args):
    def L(z):
        try:
            e = math.exp(z)
        except OverflowError:
            e = float("inf")
        return e / (1 + e)
    return L(args[0] + args[1] * args[2]) * L(args[3] + args[4] * args[5])


def correlation(x, y):
    n = len(x)
    # sums in the order of the sample, as one pass does them
    Sx = Sy = Sxx = Syy = Sxy = 0.0
    for a, b in zip(x, y):
        Sx += a
        Sy += b
        Sxx += a * a
        Syy += b * b
        Sxy += a * b
    SPxy = Sxy - n * (Sx / n) * (Sy / n)
    SSx = Sxx - Sx * Sx / n
    SSy = Syy - Sy * Sy / n
    if SSx * SSy <= 0:
        return 0.0
    r = SPxy / math.sqrt(SSx * SSy)
    return r * (1 + (1 - r * r) / (2 * n - 8))


def expected_outputs(workdir, args):
    oracle = Oracle(parse(args), workdir)
    oracle.run()
    return "".join(oracle.out), oracle.files


def check(root):
    """Compares every case directory below root (args, status, stdout.txt and the run's files)
    with the model; prints the differences and returns the number of failing cases."""
    failures = 0
    cases = sorted(d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d)))
    for case in cases:
        work = os.path.join(root, case)
        with open(os.path.join(work, "args")) as f:
            args = f.read().split()
        problems = []
        with open(os.path.join(work, "status")) as f:
            status = f.read().strip()
        if status != "0":
            problems.append("exit status " + status)
        stdout, files = expected_outputs(work, args)
        with open(os.path.join(work, "stdout.txt")) as f:
            if f.read() != stdout:
                problems.append("standard output differs")
        actual = sorted(os.path.relpath(os.path.join(d, n), work)
                        for d, _, names in os.walk(work) for n in names
                        if os.path.relpath(d, work).startswith("Out_")
                        and n not in ("Pairlab_runs.tsv", ".pairlab.lock"))  # run bookkeeping
        if actual != sorted(files):
            problems.append("files differ: %s against %s" % (actual, sorted(files)))
        for rel, lines in files.items():
            path = os.path.join(work, rel)
            if not os.path.exists(path):
                continue
            with open(path) as f:
                content = f.read()
            got = content[content.find("\n") + 1:]
            want = "\n".join(lines) + "\n"
            if got != want:
                got_lines, want_lines = got.split("\n"), want.split("\n")
                first = next((i for i, (a, b) in enumerate(zip(got_lines, want_lines)) if a != b),
                             min(len(got_lines), len(want_lines)))
                problems.append("%s differs at line %d: %r against %r" % (
                    rel, first + 2, got_lines[first:first + 1], want_lines[first:first + 1]))
        if problems:
            failures += 1
            print("FAIL: " + " ".join(args))
            for p in problems:
                print("    " + p)
    print("%d of %d continuous runs agree with the model" % (len(cases) - failures, len(cases)))
    return failures


def main():
    if sys.argv[1] == "--check":
        sys.exit(1 if check(sys.argv[2]) else 0)
    workdir = sys.argv[1]
    stdout, files = expected_outputs(workdir, sys.argv[2:])
    root = os.path.join(workdir, "oracle")
    os.makedirs(root, exist_ok=True)
    with open(os.path.join(root, "stdout.txt"), "w") as f:
        f.write(stdout)
    for rel, lines in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
