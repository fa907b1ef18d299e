"""pairlab-sweep: runs a sweep described in a YAML file through the package's Snakemake workflow.

Before any job, the program's check mode runs for every point (check.py); a sweep with a point
that cannot run is refused. The sweep directory holds sweep.yaml (a copy of the sweep file),
points.tsv, plan.json (what the workflow reads: every job and the batches that run them),
inputs/ (the user files), jobs/p<point>_c<chunk>/ (the working directory of each job),
batches/ (the marker of every complete batch), snakemake.log, and after the jobs: runs.tsv, the
result tables and summary.tsv of every point whose jobs all completed, and failed.tsv when jobs
failed.

Quiet by default: one line of progress and a final summary (--verbose shows Snakemake's log).
SIGINT and SIGTERM stop the jobs and end with one line and the status 130 or 143; running the same
command again continues where the sweep stopped.
"""

import argparse
import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from . import (SLURM_PROFILE, SNAKEFILE, batches, check, find_analyzer, find_binary, outcome,
               tables)
from .job import DONE, LOG, is_done
from .plan import SWEEP_PREFIX, SweepError, file_digest, fingerprint, load_sweep
from .progress import Progress, duration
from .steps import BATCHES

SNAKEMAKE_LOG = "snakemake.log"


class Interrupted(Exception):
    """SIGINT or SIGTERM: the sweep ends, without a traceback."""

    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


def raise_interrupted(signum, frame):
    raise Interrupted(signum)


def write_if_changed(path, text):
    """Writes a file only when its text changes, so that an unchanged sweep leaves every time
    stamp, and so every job, as it was."""
    path = Path(path)
    if not path.exists() or path.read_text() != text:
        path.write_text(text)


def read_plan(out):
    """The plan of an earlier invocation, or None."""
    try:
        return json.loads((out / "plan.json").read_text())
    except (OSError, ValueError):
        return None


def prepare(sweep, out, binary, analyzer, slots, workers):
    """Lays out the sweep directory; returns the plan the workflow runs and the points. slots:
    the cores of a local sweep (None on a cluster), for the batches."""
    (out / "inputs").mkdir(parents=True, exist_ok=True)
    write_if_changed(out / "sweep.yaml", sweep.source.read_text())
    points = sweep.point_table()
    columns = ["point"] + sweep.parameters()
    tables.write_rows(out / "points.tsv", columns, [[row[c] for c in columns] for row in points])
    for file in sweep.files:
        copy = out / "inputs" / file.name
        if not copy.exists() or copy.read_bytes() != file.read_bytes():
            shutil.copy(file, copy)  # a new time stamp: the jobs that read it run again
    digests = {file.name: file_digest(file) for file in sweep.files}
    plan = {
        "binary": str(binary),
        "analyzer": None if analyzer is None else str(analyzer),
        "files": [file.name for file in sweep.files],
        "resources": sweep.resources,
        "level": None if sweep.analysis is None else sweep.analysis.level,
        "jobs": {j.name: {"point": j.point, "chunk": j.chunk, "numfiles": j.numfiles,
                          "shift": j.shift, "seed": j.seed, "popseed": j.popseed, "args": j.args,
                          "analysis_args": j.analysis_args,
                          "fingerprint": fingerprint(j.args, j.analysis_args, digests)}
                 for j in sweep.jobs()},
    }
    batches.plan_batches(plan, read_plan(out), sweep.batch, slots, workers, sweep.files)
    write_if_changed(out / "plan.json", json.dumps(plan, indent=1) + "\n")
    return plan, points


def invalidate(out, plan):
    """Removes the markers that no longer hold: a job's marker of another fingerprint (its
    command line, analysis or user files changed), a batch's marker when one of its jobs is not
    done (a job directory removed by hand, a changed job) and the markers of batches the plan no
    longer has. Snakemake then runs these batches, and they run only the jobs not done."""
    for name, spec in plan["jobs"].items():
        directory = out / "jobs" / name
        if (directory / DONE).exists() and not is_done(directory, spec["fingerprint"]):
            # Results of another command line: the job has not run yet (its log would make it
            # a failure until it runs).
            (directory / DONE).unlink()
            (directory / LOG).unlink(missing_ok=True)
    markers = out / BATCHES
    for marker in markers.glob("*.done") if markers.is_dir() else []:
        names = plan["batches"].get(marker.name[:-len(".done")])
        if names is None or not all((out / "jobs" / n / DONE).exists() for n in names):
            marker.unlink()


def point_words(row, nothing="no swept option"):
    """The swept values of a point as options: '-choice 0.5 -tolerance 0.1'."""
    return " ".join(f"-{k[len(SWEEP_PREFIX):]} {v}" for k, v in row.items()
                    if k != "point") or nothing


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="pairlab-sweep", allow_abbrev=False,
        usage="pairlab-sweep SWEEP.yaml [--out DIR] [--cores N] [--dry-run] [--slurm] "
              "[--binary PATH] [--verbose] [Snakemake options]",
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
    parser.add_argument("--verbose", "-v", action="store_true",
                        help="show Snakemake's own log instead of one line of progress")
    return parser.parse_known_args(argv)


def workers(cores):
    """The checks run at once: as many as the sweep's cores."""
    if cores.isdigit():
        return max(1, int(cores))
    return os.cpu_count() or 1


def snakemake_environment():
    """Snakemake's environment: with USER set (from the password database) when it is not, as
    in containers and CI, where Snakemake 7's SLURM executor would fail on it."""
    env = dict(os.environ)
    if not env.get("USER"):
        try:
            env["USER"] = pwd.getpwuid(os.getuid()).pw_name
        except KeyError:
            env["USER"] = str(os.getuid())
    return env


def snakemake_command(args, out, snakemake_options):
    command = [sys.executable, "-m", "snakemake", "--snakefile", str(SNAKEFILE),
               "--directory", str(out), "--config", f"plan={out / 'plan.json'}",
               "--cores", str(args.cores), "--keep-going", "--rerun-incomplete",
               # Jobs alike need no solver (whose timer thread also gets in the way of Ctrl-C).
               "--scheduler", "greedy"]
    if args.dry_run:
        command.append("--dry-run")
    if args.slurm:
        command += ["--profile", str(SLURM_PROFILE)]
    return command + snakemake_options


def group_members(pgid):
    """The processes of a process group (from /proc), or None where /proc does not tell."""
    try:
        entries = [e for e in os.listdir("/proc") if e.isdigit()]
    except OSError:
        return None
    members = []
    for entry in entries:
        try:
            stat = Path(f"/proc/{entry}/stat").read_text()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()  # state, ppid, pgrp, ...
        if len(fields) > 2 and int(fields[2]) == pgid:
            members.append(int(entry))
    return members


class Workflow:
    """Snakemake running in a process group of its own. The first SIGINT or SIGTERM received by
    pairlab-sweep stops it: SIGINT to Snakemake, which starts no other job and cancels its
    cluster jobs, and SIGTERM to the rest of its group, the local jobs, which pass it on to their
    runs (a Python only starting ends at once, without the traceback SIGINT would give; Snakemake
    itself is not sent SIGTERM, whose handler can deadlock in Snakemake 7). A second signal
    kills the group."""

    def __init__(self, command, log):
        self.signum, self.process = None, None
        self.previous = {s: signal.getsignal(s) for s in (signal.SIGINT, signal.SIGTERM)}
        for signum, handler in self.previous.items():
            if handler is not signal.SIG_IGN:  # a background job keeps ignoring Ctrl-C
                signal.signal(signum, self.stop)
        self.process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT,
                                        start_new_session=True, env=snakemake_environment())
        if self.signum is not None:  # came while Snakemake was starting
            self.pass_on(first=True)

    def stop(self, signum, frame):
        first = self.signum is None
        self.signum = self.signum or signum
        if self.process is not None:
            self.pass_on(first)

    def pass_on(self, first):
        pid = self.process.pid
        try:
            if not first:
                os.killpg(pid, signal.SIGKILL)
                return
            os.kill(pid, signal.SIGINT)
            members = group_members(pid)
            if members is None:
                os.killpg(pid, signal.SIGINT)
            for member in members or []:
                if member != pid:
                    try:
                        os.kill(member, signal.SIGTERM)
                    except ProcessLookupError:
                        pass
        except ProcessLookupError:
            pass

    def wait(self, progress=None, stream=None):
        """Waits for Snakemake, updating the progress line; returns its exit status."""
        last_print = 0.0 if stream is not None and stream.isatty() else time.time()
        while self.process.poll() is None:
            time.sleep(0.25 if self.signum is None else 0.05)
            if progress is not None and time.time() - last_print >= (1 if stream.isatty() else 60):
                progress.poll()
                show(progress.line(), stream, final=False)
                last_print = time.time()
        for signum, handler in self.previous.items():
            signal.signal(signum, handler)
        return self.process.returncode


def show(line, stream, final):
    """The progress line: rewritten in place on a terminal, else printed as a line."""
    if stream.isatty():
        stream.write("\r\x1b[K" + line + ("\n" if final else ""))
    elif final or line:
        stream.write(line + "\n")
    stream.flush()


def unlock(command, out):
    """Removes the lock an interrupted Snakemake may leave in the sweep directory."""
    if any((out / ".snakemake" / "locks").glob("*")):
        subprocess.run(command + ["--unlock"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=snakemake_environment())


def run_workflow(args, out, plan, snakemake_options):
    """Runs the jobs; returns Snakemake's exit status. Raises Interrupted after the jobs
    stopped, when a signal came."""
    command = snakemake_command(args, out, snakemake_options)
    if args.verbose or args.dry_run:
        workflow = Workflow(command, None)
        status = workflow.wait()
    else:
        progress = Progress(out, plan["jobs"])
        with open(out / SNAKEMAKE_LOG, "w") as log:
            workflow = Workflow(command, log)
            status = workflow.wait(progress, sys.stdout)
        progress.poll()
        show(progress.line(failures=workflow.signum is None), sys.stdout, final=True)
    if workflow.signum is not None:
        unlock(command, out)
        raise Interrupted(workflow.signum)
    return status


def report(out, plan, points, status, started):
    """Merges what completed, writes failed.tsv and says how the sweep ended; returns the exit
    status of pairlab-sweep."""
    states = outcome.job_states(out, plan)
    try:
        complete = outcome.merge_complete(out, plan, states)
    except (ValueError, OSError) as error:
        print(f"pairlab-sweep: the tables of the jobs cannot be merged: {error}", file=sys.stderr)
        return 1
    failed_path = outcome.write_failed(out, states, points)
    failed = [s for s in states if s.state == "failed"]
    missing = [s for s in states if s.state == "missing"]
    total = len(points)
    took = duration(time.time() - started)
    if not failed and not missing and status == 0:
        print(f"Sweep complete ({total} point(s), {len(states)} job(s), {took}): "
              f"{out / 'summary.tsv'}")
        return 0
    err = sys.stderr
    if complete:
        print(f"pairlab-sweep: {len(complete)} of {total} point(s) complete, in "
              f"{out / 'summary.tsv'}", file=err)
    if failed:
        print(f"pairlab-sweep: {len(failed)} of {len(states)} job(s) failed ({failed_path}); "
              "fix them and run the same command again to run only what is missing:", file=err)
        for s in failed[:10]:
            values = point_words(points[s.point])
            status_text = "" if s.status is None else f"exit status {s.status}: "
            print(f"  point {s.point} ({values}), chunk {s.chunk}: "
                  f"{status_text}{s.message or 'killed (no exit status in its log)'}\n"
                  f"    log: {s.log}", file=err)
        if len(failed) > 10:
            print(f"  ... and {len(failed) - 10} more in {failed_path}", file=err)
    if missing:
        print(f"pairlab-sweep: {len(missing)} job(s) did not run", file=err)
    if status != 0 and not failed:
        log = out / SNAKEMAKE_LOG
        tail = log.read_text(errors="replace").splitlines()[-15:] if log.exists() else []
        print(f"pairlab-sweep: Snakemake ended with status {status}" +
              (f"; the end of {log}:\n" + "\n".join("  " + line for line in tail) if tail else ""),
              file=err)
    return status or 1


def checked(sweep, binary, analyzer, args):
    """Runs the check of every point (and of the analysis); returns True when the sweep may
    run."""
    refusals, notes = check.check_sweep(sweep, binary, workers(str(args.cores)))
    if sweep.analysis is not None:
        refusals += check.check_analysis(analyzer, sweep.analysis.options)
    for note in notes:
        print(f"pairlab-sweep: {note}", file=sys.stderr)
    if refusals:
        print("pairlab-sweep: the sweep is refused, no job was started; the program's check "
              "of its points says:\n" + "\n".join(refusals), file=sys.stderr)
    return not refusals


def sweep_main(argv):
    args, snakemake_options = parse_arguments(argv)
    started = time.time()
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
    analyzer = find_analyzer(binary) if sweep.analysis is not None else None
    if sweep.analysis is not None and analyzer is None:
        print(f"pairlab-sweep: the sweep's analyze section needs pairlab-analyze beside "
              f"{binary}; build it with scripts/build.sh", file=sys.stderr)
        return 2
    if not checked(sweep, binary, analyzer, args):
        return 2
    out = (args.out or args.sweep.with_suffix("")).resolve()
    cores = workers(str(args.cores))
    plan, points = prepare(sweep, out, binary, analyzer, None if args.slurm else cores, cores)
    if not args.dry_run:
        invalidate(out, plan)
    print(f"Sweep {args.sweep}: {len(points)} point(s), {len(plan['jobs'])} job(s) in "
          f"{len(plan['batches'])} batch(es), into {out}", flush=True)
    if args.dry_run:
        job_points = [spec["point"] for spec in plan["jobs"].values()]
        for row in points:
            print(f"  point {row['point']}: {point_words(row, '(base only)')}: "
                  f"{job_points.count(row['point'])} job(s)")
        sys.stdout.flush()
    status = run_workflow(args, out, plan, snakemake_options)
    if args.dry_run:
        return status
    return report(out, plan, points, status, started)


def main(argv=None):
    if signal.getsignal(signal.SIGTERM) is not signal.SIG_IGN:
        signal.signal(signal.SIGTERM, raise_interrupted)
    try:
        return sweep_main(argv)
    except (KeyboardInterrupt, Interrupted) as stop:
        signum = getattr(stop, "signum", signal.SIGINT)
        print(f"pairlab-sweep: interrupted by {signal.Signals(signum).name}; run the same "
              "command again to continue", file=sys.stderr)
        return 128 + signum
