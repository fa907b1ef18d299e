"""The steps of a sweep's workflow, as the commands the Snakefile runs in the sweep directory:

    python3 -m pairlab_tools.steps PLAN job NAME   one job (exit status 1 when its run stopped)
    python3 -m pairlab_tools.steps PLAN merge      runs.tsv and the result tables
    python3 -m pairlab_tools.steps PLAN summary    summary.tsv
"""

import json
import sys
from pathlib import Path

from . import job, tables


def main(argv):
    plan = json.loads(Path(argv[0]).read_text())
    step = argv[1]
    if step == "job":
        name = argv[2]
        files = [Path("inputs") / file for file in plan["files"]]
        status, message = job.run_job(Path("jobs") / name, plan["binary"],
                                      plan["jobs"][name]["args"], files)
        if status != 0:
            print(f"job {name}: exit status {status}: {message}", file=sys.stderr)
            return 1
    elif step == "merge":
        tables.merge_tables(".", [(spec["point"], spec["chunk"], job.output_of(Path("jobs") / name))
                                  for name, spec in plan["jobs"].items()])
    elif step == "summary":
        from . import summary  # with pandas, which a job does not need
        summary.write_summary(".")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
