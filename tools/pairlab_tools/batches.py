"""The batches of a sweep: consecutive jobs, in the order of points and chunks, run by one
Snakemake (and SLURM) job each, so that the cost of starting a job is paid once per batch.

A batch holds about a minute of work (TARGET_SECONDS), estimated from a short timing of the
first and the last point (their first job run with one replicate, then with a few: the cost of
starting a run and the cost of a replicate, and of its analysis); run locally, a batch also holds
no more than a quarter of the jobs per core, so that every core has work and the batches end at
about the same time. `batch:` in the sweep file gives the number of jobs per batch instead.
Batches change nothing in the results: every job keeps its command line, seeds and directory.
"""

import math
import shutil
import subprocess
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import asdict, dataclass
from pathlib import Path

from . import job

TARGET_SECONDS = 60.0
BATCHES_PER_CORE = 4
TIMING_LIMIT = 10.0   # seconds: a timing run still running then is stopped
TIMING_SECONDS = 1.0  # the second run of a timing lasts about this long


@dataclass
class Timing:
    """Estimated seconds: to start a run, per replicate, per analysed table."""
    startup: float
    replicate: float
    analysis: float = 0.0

    def job_seconds(self, spec):
        tables = spec["numfiles"] if spec.get("analysis_args") is not None else 0
        return self.startup + self.replicate * spec["numfiles"] + self.analysis * tables


def with_numfiles(args, numfiles):
    """A job's command line with another -numfiles and -shift 0 (the sweep's own options come
    last: the last -numfiles is the one the program uses)."""
    args = list(args)
    for option, value in (("-numfiles", numfiles), ("-shift", 0)):
        position = len(args) - 1 - args[::-1].index(option)
        args[position + 1] = str(value)
    return args


def timed(command, cwd, limit=TIMING_LIMIT):
    """(seconds, exit status) of a command; a command still running after `limit` is stopped
    and counts as `limit`."""
    start = time.perf_counter()
    try:
        process = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, timeout=limit)
    except subprocess.TimeoutExpired:
        return limit, None
    except OSError:
        return 0.0, 127
    return time.perf_counter() - start, process.returncode


def time_job(binary, analyzer, spec, files):
    """The Timing of one job: its run with one replicate, then with k (about TIMING_SECONDS of
    work, at most its own number), and the analysis of the k replicates' tables."""
    with tempfile.TemporaryDirectory(prefix="pairlab-sweep-timing-") as folder:
        folder = Path(folder)
        for name in ("1", "k"):
            (folder / name).mkdir()
            for file in files:
                shutil.copy2(file, folder / name)
        one, _ = timed([str(binary), *with_numfiles(spec["args"], 1)], folder / "1")
        if spec["numfiles"] < 2 or one >= TIMING_LIMIT:
            return Timing(0.0, one)
        k = min(spec["numfiles"], max(2, int(TIMING_SECONDS / max(one, 1e-3))))
        several, status = timed([str(binary), *with_numfiles(spec["args"], k)], folder / "k")
        replicate = max(several - one, 0.0) / (k - 1)
        timing = Timing(max(one - replicate, 0.0), replicate)
        outputs = job.output_directories(folder / "k")
        if spec.get("analysis_args") is not None and status == 0 and len(outputs) == 1:
            seconds, _ = timed([str(analyzer), str(outputs[0] / job.MATINGS), "--out",
                                str(folder / "analysis"), *spec["analysis_args"]], folder)
            timing.analysis = seconds / k
        return timing


def estimate(plan, files, workers):
    """The Timing of the sweep's jobs: the larger of the timings of the first job of the first
    and of the last point, run at once."""
    names = list(plan["jobs"])
    timed_jobs = list(dict.fromkeys([names[0], names[-1]]))
    with ThreadPoolExecutor(max_workers=max(1, min(workers, len(timed_jobs)))) as pool:
        timings = list(pool.map(lambda name: time_job(plan["binary"], plan.get("analyzer"),
                                                      plan["jobs"][name], files), timed_jobs))
    return timed_jobs, Timing(max(t.startup for t in timings), max(t.replicate for t in timings),
                              max(t.analysis for t in timings))


def make_batches(plan, size=None, timing=None, slots=None):
    """Batches of consecutive jobs: `size` jobs each when given, else as many as fill
    TARGET_SECONDS by the timing, and with `slots` (cores) at most len(jobs) / (4 slots)."""
    names = list(plan["jobs"])
    cap = size or len(names)
    if size is None and slots:
        cap = max(1, math.ceil(len(names) / (slots * BATCHES_PER_CORE)))
    batches, current, seconds = [], [], 0.0
    for name in names:
        cost = timing.job_seconds(plan["jobs"][name]) if size is None and timing else 0.0
        if current and (len(current) >= cap or seconds + cost > TARGET_SECONDS):
            batches.append(current)
            current, seconds = [], 0.0
        current.append(name)
        seconds += cost
    if current:
        batches.append(current)
    return {f"b{i}": batch for i, batch in enumerate(batches)}


def plan_batches(plan, previous, size, slots, workers, files):
    """Adds the batches (and the timing they come from) to a plan. A timing is made only when
    the sweep gives no `batch:`, there are more jobs than batches the cores would need anyway,
    and the previous plan holds no timing of the same jobs."""
    plan.pop("timing", None)
    if size is None and (slots is None or len(plan["jobs"]) > slots * BATCHES_PER_CORE):
        old = (previous or {}).get("timing")
        names = list(plan["jobs"])
        timed_jobs = list(dict.fromkeys([names[0], names[-1]]))
        fingerprints = [plan["jobs"][n]["fingerprint"] for n in timed_jobs]
        if old and old.get("fingerprints") == fingerprints:
            timing = Timing(old["startup"], old["replicate"], old["analysis"])
        else:
            timed_jobs, timing = estimate(plan, files, workers)
        plan["timing"] = {"fingerprints": fingerprints, **asdict(timing)}
        plan["batches"] = make_batches(plan, None, timing, slots)
    else:
        plan["batches"] = make_batches(plan, size, None, slots)
    return plan
