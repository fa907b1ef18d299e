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


def script(path, body):
    path.write_text("#!/bin/sh\n" + body + "\n")
    path.chmod(0o755)
    return path


@pytest.mark.parametrize("run, analysis, message", [
    ("mkdir -p Out_Pairlab_a; touch Out_Pairlab_a/Pairlab_matings.tsv", "exit 0", ""),
    ("mkdir -p Out_Pairlab_a; touch Out_Pairlab_a/Pairlab_matings.tsv",
     "echo 'pairlab-analyze: --null takes a whole number' >&2; exit 1",
     "analysis: pairlab-analyze: --null takes a whole number"),
    ("mkdir -p Out_Pairlab_a", "exit 0",
     "analysis: the run wrote no Pairlab_matings.tsv to analyse"),
])
def test_a_job_with_an_analysis_is_done_only_when_both_complete(tmp_path, run, analysis, message):
    program = script(tmp_path / "program", run)
    analyzer = script(tmp_path / "analyzer", f'echo "$*"; {analysis}')
    directory = tmp_path / "p0_c0"
    status, text, _ = job.run_job(directory, program, [], [], None,
                                  (analyzer, ["--null", "9"]), "print")
    assert (status == 0, text) == (message == "", message)
    assert job.is_done(directory, "print") == (status == 0)
    if status == 0:  # pairlab-analyze reads the run's table and writes into analysis/
        assert "Out_Pairlab_a/Pairlab_matings.tsv --out analysis --null 9" in (
            directory / job.LOG).read_text()


def test_a_batch_runs_every_job_not_done_with_its_fingerprint(tmp_path):
    program = script(tmp_path / "program", 'mkdir -p Out_Pairlab_a; [ "$1" != fail ]')
    plan = {"binary": str(program), "files": [], "jobs": {
        name: {"args": [arg], "fingerprint": f"f{name}", "analysis_args": None}
        for name, arg in (("p0_c0", "ok"), ("p1_c0", "fail"), ("p2_c0", "ok"), ("p3_c0", "ok"))}}
    for name, fingerprint in (("p0_c0", "fp0_c0"), ("p3_c0", "an older one")):
        (tmp_path / "jobs" / name).mkdir(parents=True)
        (tmp_path / "jobs" / name / job.DONE).write_text(f"Out_Pairlab_a\n{fingerprint}\n")
    failed, interrupted = job.run_batch(tmp_path, plan, list(plan["jobs"]))
    assert [name for name, _, _ in failed] == ["p1_c0"] and interrupted is None
    ran = {p.parent.name for p in tmp_path.glob(f"jobs/*/{job.LOG}")}
    assert ran == {"p1_c0", "p2_c0", "p3_c0"}  # not p0_c0, done with its fingerprint
    assert all(job.is_done(tmp_path / "jobs" / n, f"f{n}") for n in ("p0_c0", "p2_c0", "p3_c0"))
