"""The step of a sweep's workflow, as the command the Snakefile runs in the sweep directory:

    python3 -m pairlab_tools.steps PLAN batch NAME

runs the jobs of one batch that are not done yet (job.run_batch) and writes the batch's marker
batches/NAME.done when all are: exit status 0 when they completed, 1 when one stopped, 128 + the
signal when SIGINT or SIGTERM interrupted the batch (passed on to the running program, without a
traceback; the jobs after it do not start). The Snakefile runs it with exec, so that no shell
between Snakemake and this process dies of the signal while a job completes. The merge and the
summary are run by pairlab-sweep itself, over the points whose jobs all completed.
"""

import json
import signal
import sys
from pathlib import Path

from . import job

BATCHES = "batches"


def main(argv):
    signals = job.PassOn()
    plan = json.loads(Path(argv[0]).read_text())
    step, name = argv[1], argv[2]
    if step != "batch":
        print(f"unknown step {step}", file=sys.stderr)
        return 2
    failed, interrupted = job.run_batch(Path("."), plan, plan["batches"][name], signals)
    for job_name, status, message in failed:
        print(f"job {job_name}: exit status {status}: {message}", file=sys.stderr)
    if interrupted:
        print(f"batch {name}: interrupted", file=sys.stderr)
        return 128 + interrupted
    if failed:
        return 1
    marker = Path(BATCHES) / f"{name}.done"
    marker.write_text("".join(f"{job_name}\n" for job_name in plan["batches"][name]))
    return 0


if __name__ == "__main__":
    try:
        status = main(sys.argv[1:])
    except KeyboardInterrupt:  # before the handlers were in place
        print("interrupted", file=sys.stderr)
        status = 130
    # The job has ended: a signal now must not turn its status into a death by signal (Python
    # restores the default action of the signals it handled while it exits).
    for signum in (signal.SIGINT, signal.SIGTERM):
        signal.signal(signum, signal.SIG_IGN)
    sys.exit(status)
