"""One job: its working directory, its log, its marker and the message of a stopped run, with
small shell scripts standing in for the program."""

import pytest

from pairlab_tools import job

LEDGER = "run_id\tstart_time\tend_time\tversion\tseed\tstatus\tfiles_completed\tmessage\tcommand_line\n"

SCRIPTS = {
    "complete": 'mkdir -p Out_Pairlab_a; echo "Seed: $*"; exit 0',
    "ledger message": f"mkdir -p Out_Pairlab_a; printf '{LEDGER}r\\tt\\t\\t1\\t5\\t3\\t0\\t"
                      "capacity of the population\\tpairlab\\n' > Out_Pairlab_a/Pairlab_runs.tsv; "
                      "echo 'Other message' >> Pairlab.err; exit 3",
    "Pairlab.err": "echo 'correction'; printf 'frequency corrected\\nwrong tolerance argument\\n' "
                   ">> Pairlab.err; exit 1",
    "standard output": "printf 'wrong choice argument'; exit 1",
    "silent": "exit 2",
    "signal": "echo started; kill -TERM $$",
    "no output directory": "exit 0",
}


@pytest.mark.parametrize("script, status, message", [
    ("complete", 0, ""),
    ("ledger message", 3, "capacity of the population"),
    ("Pairlab.err", 1, "wrong tolerance argument"),
    ("standard output", 1, "wrong choice argument"),
    ("silent", 2, "stopped without a message"),
    ("signal", -15, "killed by signal 15 (started)"),
    ("no output directory", 1, "expected one output directory, found 0"),
])
def test_a_job_records_its_status_and_the_runs_message(tmp_path, script, status, message):
    program = tmp_path / "program"
    program.write_text("#!/bin/sh\n" + SCRIPTS[script] + "\n")
    program.chmod(0o755)
    user_file = tmp_path / "PairlabUserFreqs.txt"
    user_file.write_text("0.5 0.5\n")
    directory = tmp_path / "jobs" / "p0_c0"
    directory.mkdir(parents=True)
    (directory / "Pairlab.err").write_text("left by an earlier attempt\n")
    (directory / job.DONE).write_text("Out_Pairlab_old\n")

    assert job.run_job(directory, program, ["-fixseed", 5], [user_file]) == (status, message, None)
    assert job.read_log(directory) == (status, message)
    assert (directory / "PairlabUserFreqs.txt").read_text() == "0.5 0.5\n"
    log = (directory / job.LOG).read_text()
    assert log.startswith(f"command: {program} -fixseed 5\n")
    # Only a complete run leaves the marker, naming its output directory.
    assert (directory / job.DONE).exists() == (status == 0)
    if status == 0:
        assert job.output_of(directory) == directory / "Out_Pairlab_a"
        assert "Seed: -fixseed 5" in log and not (directory / "Pairlab.err").exists()


@pytest.mark.parametrize("log, expected", [
    (None, (None, "did not run")),
    ("command: pairlab -N 10\n", (None, "no exit status in the log (the job was killed?)")),
    ("command: x\n--- output ---\nexit status: 7\n\n--- end of output ---\nexit status: 1\n"
     "message: wrong sex ratio\n", (1, "wrong sex ratio")),
])
def test_reading_the_log_of_a_job_that_did_not_finish(tmp_path, log, expected):
    if log is not None:
        (tmp_path / job.LOG).write_text(log)
    assert job.read_log(tmp_path) == expected
