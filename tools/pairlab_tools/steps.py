"""The step of a sweep's workflow, as the command the Snakefile runs in the sweep directory:

    python3 -m pairlab_tools.steps PLAN job NAME

runs one job: exit status 0 when its run completed, 1 when it stopped, 128 + the signal when
SIGINT or SIGTERM interrupted it (passed on to the program, without a traceback). The merge and
the summary are run by pairlab-sweep itself, over the points whose jobs all completed.
"""

import json
import sys
from pathlib import Path

from . import job


def main(argv):
    plan = json.loads(Path(argv[0]).read_text())
    step = argv[1]
    if step == "job":
        name = argv[2]
        files = [Path("inputs") / file for file in plan["files"]]
        status, message, interrupted = job.run_job(Path("jobs") / name, plan["binary"],
                                                   plan["jobs"][name]["args"], files)
        if interrupted:
            print(f"job {name}: interrupted", file=sys.stderr)
            return 128 + interrupted
        if status != 0:
            print(f"job {name}: exit status {status}: {message}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:  # before the program started or after it ended
        print("interrupted", file=sys.stderr)
        sys.exit(130)
