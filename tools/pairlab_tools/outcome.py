"""What a sweep's jobs came to, and the sweep's result tables: the merge and the summary of every
point whose jobs all completed, and failed.tsv naming the jobs that failed.

A job is done (its marker `done`), failed (its log holds an exit status, or it was killed: its
log has no exit status) or missing (it did not run)."""

import json
from dataclasses import dataclass
from pathlib import Path

from . import job, tables

STAMP = ".merged.json"  # what the last merge was made of
FAILED = "failed.tsv"


@dataclass
class JobState:
    name: str
    point: int
    chunk: int
    state: str        # "done", "failed" or "missing"
    status: object    # the exit status of a failed job (None when it was killed)
    message: str
    log: Path


def job_states(out, plan):
    states = []
    for name, spec in plan["jobs"].items():
        directory = Path(out) / "jobs" / name
        status, message = None, ""
        if (directory / job.DONE).exists():
            state = "done"
        elif (directory / job.LOG).exists():
            state = "failed"
            status, message = job.read_log(directory)
        else:
            state = "missing"
        states.append(JobState(name, spec["point"], spec["chunk"], state, status, message,
                               directory / job.LOG))
    return states


def complete_points(states):
    points = {}
    for s in states:
        points[s.point] = points.get(s.point, True) and s.state == "done"
    return sorted(p for p, complete in points.items() if complete)


def write_failed(out, states, points):
    """failed.tsv: one row per failed job with its point's swept values, its exit status, the
    run's message and its log; removed when no job failed."""
    path = Path(out) / FAILED
    failed = [s for s in states if s.state == "failed"]
    if not failed:
        path.unlink(missing_ok=True)
        return None
    columns = [c for c in points[0] if c != "point"]
    tables.write_rows(path, ["point", "chunk", *columns, "exit_status", "message", "log"],
                      [[s.point, s.chunk, *(points[s.point][c] for c in columns),
                        "NA" if s.status is None else s.status, s.message.replace("\t", " "),
                        str(s.log)] for s in failed])
    return path


def merge_complete(out, plan, states):
    """Merges the tables of the points whose jobs all completed and writes their summary (both
    removed when there is none); does nothing when these jobs were merged already."""
    out = Path(out)
    points = complete_points(states)
    done = {s.name: (out / "jobs" / s.name / job.DONE).stat().st_mtime_ns
            for s in states if s.point in points}
    level = plan.get("level")
    stamp = json.dumps({"jobs": done, "points": (out / "points.tsv").read_text(),
                        "level": level}, sort_keys=True)
    stamp_path = out / STAMP
    if (out / "summary.tsv").exists() and stamp_path.exists() and stamp_path.read_text() == stamp:
        return points
    stamp_path.unlink(missing_ok=True)
    tables.merge_tables(out, [(spec["point"], spec["chunk"], job.output_of(out / "jobs" / name))
                              for name, spec in plan["jobs"].items() if spec["point"] in points])
    if points:
        from . import summary  # pandas and numpy: only when there is something to summarise
        summary.write_summary(out, points, *([] if level is None else [level]))
    else:
        (out / "summary.tsv").unlink(missing_ok=True)
    stamp_path.write_text(stamp)
    return points
