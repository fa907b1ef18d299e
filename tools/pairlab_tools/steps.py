"""The step of a sweep's workflow, as the command the Snakefile runs in the sweep directory:

    python3 -m pairlab_tools.steps PLAN job NAME

runs one job: exit status 0 when its run completed, 1 when it stopped, 128 + the signal when
SIGINT or SIGTERM interrupted it (passed on to the program, without a traceback). The Snakefile
runs it with exec, so that no shell between Snakemake and this process dies of the signal while
the job completes. The merge and
the summary are run by pairlab-sweep itself, over the points whose jobs all completed.
"""

import json
import signal
import sys
from pathlib import Path

from . import job


def main(argv):
    signals = job.PassOn()
    plan = json.loads(Path(argv[0]).read_text())
    step = argv[1]
    if step == "job":
        name = argv[2]
        files = [Path("inputs") / file for file in plan["files"]]
        status, message, interrupted = job.run_job(Path("jobs") / name, plan["binary"],
                                                   plan["jobs"][name]["args"], files, signals)
        if interrupted and status != 0:
            print(f"job {name}: interrupted", file=sys.stderr)
            return 128 + interrupted
        if status != 0:
            print(f"job {name}: exit status {status}: {message}", file=sys.stderr)
            return 1
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
