"""pairlab-sweep: runs a sweep described in a YAML file through the package's Snakemake workflow.

The sweep directory holds sweep.yaml (a copy of the sweep file), points.tsv, plan.json (what
the workflow reads), inputs/ (the user files), jobs/p<point>_c<chunk>/ (the working directory
of each job), and after the merge runs.tsv, the result tables and summary.tsv.
"""

import argparse
import json
import shutil
import subprocess
import sys
from pathlib import Path

from . import SLURM_PROFILE, SNAKEFILE, find_binary, job, tables
from .plan import SweepError, load_sweep


def write_if_changed(path, text):
    """Writes a file only when its text changes, so that an unchanged sweep leaves every time
    stamp, and so every job, as it was."""
    path = Path(path)
    if not path.exists() or path.read_text() != text:
        path.write_text(text)


def prepare(sweep, out, binary):
    """Lays out the sweep directory; returns the plan the workflow runs."""
    (out / "inputs").mkdir(parents=True, exist_ok=True)
    write_if_changed(out / "sweep.yaml", sweep.source.read_text())
    points = sweep.point_table()
    columns = ["point"] + sweep.parameters()
    tables.write_rows(out / "points.tsv", columns, [[row[c] for c in columns] for row in points])
    for file in sweep.files:
        copy = out / "inputs" / file.name
        if not copy.exists() or copy.read_bytes() != file.read_bytes():
            shutil.copy(file, copy)  # a new time stamp: the jobs that read it run again
    plan = {
        "binary": str(binary),
        "files": [file.name for file in sweep.files],
        "resources": sweep.resources,
        "jobs": {j.name: {"point": j.point, "chunk": j.chunk, "numfiles": j.numfiles,
                          "shift": j.shift, "seed": j.seed, "args": j.args}
                 for j in sweep.jobs()},
    }
    write_if_changed(out / "plan.json", json.dumps(plan, indent=1) + "\n")
    return plan, points


def failures(out, plan, points):
    """Lines naming every job that ran without completing, with its point and the run's
    message, and the number of jobs that did not run."""
    lines, not_run = [], 0
    for name, spec in plan["jobs"].items():
        directory = out / "jobs" / name
        if (directory / job.DONE).exists():
            continue
        if not (directory / job.LOG).exists():
            not_run += 1
            continue
        status, message = job.read_log(directory)
        values = ", ".join(f"{k}={v}" for k, v in points[spec["point"]].items() if k != "point")
        status_text = "" if status is None else f"exit status {status}: "
        lines.append(f"  point {spec['point']} ({values or 'no swept parameter'}), chunk "
                     f"{spec['chunk']}: {status_text}{message}\n    log: {directory / job.LOG}")
    return lines, not_run


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="pairlab-sweep", allow_abbrev=False,
        usage="pairlab-sweep SWEEP.yaml [--out DIR] [--cores N] [--dry-run] [--slurm] "
              "[--binary PATH] [Snakemake options]",
        description="Runs a Pairlab parameter sweep described in a YAML file. Options that are "
                    "not listed here are passed on to Snakemake.")
    parser.add_argument("sweep", type=Path, help="the sweep file (YAML)")
    parser.add_argument("--out", type=Path, metavar="DIR", help="sweep directory (default: the "
                        "sweep file's name without extension, beside it)")
    parser.add_argument("--cores", default="all", metavar="N",
                        help="cores used at once (default: all)")
    parser.add_argument("--dry-run", "-n", action="store_true", help="print the plan, run nothing")
    parser.add_argument("--slurm", action="store_true",
                        help=f"submit the jobs to SLURM with the profile {SLURM_PROFILE}")
    parser.add_argument("--binary", metavar="PATH", help="the pairlab program (default: "
                        "$PAIRLAB_BINARY, the installed one, or the repository's build/pairlab)")
    return parser.parse_known_args(argv)


def main(argv=None):
    args, snakemake_options = parse_arguments(argv)
    try:
        sweep = load_sweep(args.sweep)
    except SweepError as error:
        print(f"pairlab-sweep: {error}", file=sys.stderr)
        return 2
    binary = find_binary(args.binary)
    if binary is None or not binary.is_file():
        hint = binary or "build it with scripts/build.sh, or give --binary"
        print(f"pairlab-sweep: the pairlab program was not found ({hint})", file=sys.stderr)
        return 2
    out = (args.out or args.sweep.with_suffix("")).resolve()
    plan, points = prepare(sweep, out, binary)
    print(f"Sweep {args.sweep}: {len(points)} point(s), {len(plan['jobs'])} job(s), into {out}",
          flush=True)
    if args.dry_run:
        job_points = [spec["point"] for spec in plan["jobs"].values()]
        for row in points:
            values = " ".join(f"-{k} {v}" for k, v in row.items() if k != "point")
            jobs = job_points.count(row["point"])
            print(f"  point {row['point']}: {values or '(base only)'}: {jobs} job(s)")

    command = [sys.executable, "-m", "snakemake", "--snakefile", str(SNAKEFILE),
               "--directory", str(out), "--config", f"plan={out / 'plan.json'}",
               "--cores", str(args.cores), "--keep-going", "--rerun-incomplete"]
    if args.dry_run:
        command.append("--dry-run")
    if args.slurm:
        command += ["--profile", str(SLURM_PROFILE)]
    status = subprocess.run(command + snakemake_options).returncode
    if args.dry_run:
        return status

    failed, not_run = failures(out, plan, points)
    if failed:
        print(f"pairlab-sweep: {len(failed)} of {len(plan['jobs'])} job(s) failed; fix them and "
              "run the same command again to run only those:", file=sys.stderr)
        print("\n".join(failed), file=sys.stderr)
    if not_run:
        print(f"pairlab-sweep: {not_run} job(s) did not run", file=sys.stderr)
    if failed or status != 0:
        if status != 0:
            print(f"pairlab-sweep: Snakemake ended with status {status}", file=sys.stderr)
        return status or 1
    print(f"Sweep complete: {out / 'summary.tsv'}")
    return 0
