"""The one line of progress of a running sweep: jobs done of all, failures, time spent and time
left, read from the jobs' directories (their marker `done` and their log)."""

import time
from pathlib import Path

from . import job


def duration(seconds):
    """'45s', '3m07s', '2h05m'."""
    seconds = int(round(seconds))
    if seconds < 60:
        return f"{seconds}s"
    if seconds < 3600:
        return f"{seconds // 60}m{seconds % 60:02d}s"
    return f"{seconds // 3600}h{seconds % 3600 // 60:02d}m"


def finished_log(path, since):
    """True when a job's log, written since the given time, holds its exit status (the job
    ended without completing)."""
    try:
        if path.stat().st_mtime < since:
            return False
        with open(path, "rb") as log:
            log.seek(0, 2)
            log.seek(max(0, log.tell() - 4096))
            return job.END_OF_OUTPUT.encode() in log.read()
    except OSError:
        return False


class Progress:
    """Counts the jobs of a sweep as they end; `line()` says where the sweep is."""

    def __init__(self, out, names):
        self.jobs = [Path(out) / "jobs" / name for name in names]
        self.start = time.time()
        self.done = self.failed = 0
        self.done_before = sum((d / job.DONE).exists() for d in self.jobs)

    def poll(self):
        done = failed = 0
        for directory in self.jobs:
            if (directory / job.DONE).exists():
                done += 1
            # A log written before this sweep started is an earlier attempt's.
            elif finished_log(directory / job.LOG, self.start):
                failed += 1
        self.done, self.failed = done, failed

    def line(self, failures=True):
        """The line; without the failures after an interruption (the jobs it stopped)."""
        total = len(self.jobs)
        elapsed = time.time() - self.start
        text = f"{self.done}/{total} jobs done"
        if self.failed and failures:
            text += f", {self.failed} failed"
        text += f", {duration(elapsed)} elapsed"
        ended_now = self.done - self.done_before + self.failed
        left = total - self.done - self.failed
        if ended_now > 0 and left > 0:
            text += f", about {duration(elapsed / ended_now * left)} left"
        return text
