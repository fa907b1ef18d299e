"""One job of a sweep: one run of the program in the job's own working directory, and the
analysis of its mating tables when the sweep asks for one; and a batch of jobs.

The directory holds the copied user files, the run's output directory, its diagnostics files,
`analysis/` (pairlab-analyze's tables), `log.txt` (command lines, everything the run and the
analysis printed, exit status and the stop message) and, only after a complete job, the marker
`done` naming the output directory on its first line and the job's fingerprint on its second.
"""

import shlex
import shutil
import signal
import subprocess
from pathlib import Path

from . import tables

LOG = "log.txt"
DONE = "done"
ANALYSIS = "analysis"  # pairlab-analyze's output directory in a job's directory
MATINGS = "Pairlab_matings.tsv"
END_OF_OUTPUT = "--- end of output ---"


def last_line(text):
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    return lines[-1] if lines else ""


def output_directories(directory):
    return sorted(p for p in Path(directory).glob("Out_Pairlab*") if p.is_dir())


def stop_message(directory, printed, status):
    """Why a run stopped: its row of the ledger, else the last message in Pairlab.err, else the
    last line it printed."""
    for output in output_directories(directory):
        ledger = output / tables.PROGRAM_TABLES["runs"]
        if ledger.exists():
            header, rows = tables.read_text_rows(ledger)
            if rows and "message" in header and rows[-1][header.index("message")]:
                return rows[-1][header.index("message")]
    err = Path(directory) / "Pairlab.err"
    message = last_line(err.read_text(errors="replace")) if err.exists() else ""
    message = message or last_line(printed)
    if status < 0:
        message = f"killed by signal {-status}" + (f" ({message})" if message else "")
    return message or "stopped without a message"


class PassOn:
    """From its creation on, records SIGINT and SIGTERM sent to this process and passes them on
    to the program it runs, which then stops as it does when interrupted; this process learns of
    them only afterwards (no traceback, and a job that completed stays complete)."""

    def __init__(self):
        self.received, self.process = [], None
        for signum in (signal.SIGINT, signal.SIGTERM):
            signal.signal(signum, self.handle)

    def handle(self, signum, frame):
        self.received.append(signum)
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signum)

    def first(self):
        return self.received[0] if self.received else None


def run_program(command, cwd, signals=None):
    """Runs the program; returns (exit status, what it printed)."""
    if signals is not None and signals.received:
        return 128 + signals.first(), "interrupted before the program started\n"
    try:
        process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True, errors="replace")
    except OSError as error:
        return 127, f"cannot start {command[0]}: {error}\n"
    if signals is not None:
        signals.process = process
        if signals.received:  # came while the program was starting
            process.send_signal(signals.first())
    printed = process.communicate()[0]
    return process.returncode, printed


def analyse(directory, output, analysis, signals):
    """Runs pairlab-analyze on the run's mating tables; returns (exit status, command, what it
    printed). analysis: (the pairlab-analyze program, its options)."""
    analyzer, options = analysis
    matings = output / MATINGS
    command = [str(analyzer), str(matings.relative_to(directory)), "--out", ANALYSIS, *options]
    if not matings.exists():
        return 1, command, f"the run wrote no {MATINGS} to analyse\n"
    status, printed = run_program(command, directory, signals)
    return status, command, printed


def run_job(directory, binary, args, files, signals=None, analysis=None, fingerprint=""):
    """Runs the program in a fresh working directory, then the analysis when one is given;
    returns (exit status, stop message, the signal that interrupted the job or None). signals:
    the PassOn of the job's process; analysis: (pairlab-analyze, its options) or None."""
    directory = Path(directory)
    # What an earlier, stopped attempt left would be appended to: start afresh.
    shutil.rmtree(directory, ignore_errors=True)
    directory.mkdir(parents=True)
    for file in files:
        shutil.copy2(file, directory)
    command = [str(binary), *map(str, args)]
    log = directory / LOG
    log.write_text(f"command: {shlex.join(command)}\n")  # what a killed job leaves
    status, printed = run_program(command, directory, signals)
    outputs = output_directories(directory)
    if status == 0 and len(outputs) != 1:
        status = 1
        printed += f"\nexpected one output directory, found {len(outputs)}\n"
    text = f"command: {shlex.join(command)}\n--- output ---\n{printed}\n"
    message = "" if status == 0 else stop_message(directory, printed, status)
    if status == 0 and analysis is not None:
        status, analysis_command, analysed = analyse(directory, outputs[0], analysis, signals)
        text += f"analysis: {shlex.join(analysis_command)}\n--- analysis output ---\n{analysed}\n"
        if status != 0:
            message = "analysis: " + (last_line(analysed) or f"exit status {status}")
    interrupted = signals.first() if signals is not None else None
    if interrupted and status != 0:
        message = f"interrupted by {signal.Signals(interrupted).name}" + (
            f" ({message})" if message else "")
    log.write_text(f"{text}{END_OF_OUTPUT}\nexit status: {status}\nmessage: {message}\n")
    if status == 0:
        (directory / DONE).write_text(f"{outputs[0].name}\n{fingerprint}\n")
    return status, message, interrupted


def is_done(directory, fingerprint):
    """True when the job completed with this fingerprint (the same command lines and user
    files)."""
    try:
        lines = (Path(directory) / DONE).read_text().splitlines()
    except OSError:
        return False
    return len(lines) > 1 and lines[1] == fingerprint


def run_batch(root, plan, names, signals=None):
    """Runs the jobs of a batch in order, those not done with their fingerprint already (a
    batch run again after a failure or an interruption runs only what is missing); every job
    runs even when another fails. Returns (the failed jobs with their status and message, the
    signal that stopped the batch or None); a signal stops the batch after its running job."""
    root = Path(root)
    files = [root / "inputs" / file for file in plan["files"]]
    analyzer = plan.get("analyzer")
    failed = []
    for name in names:
        if signals is not None and signals.received:
            return failed, signals.first()
        spec = plan["jobs"][name]
        directory = root / "jobs" / name
        if is_done(directory, spec["fingerprint"]):
            continue
        analysis = None if spec.get("analysis_args") is None else (analyzer,
                                                                   spec["analysis_args"])
        status, message, interrupted = run_job(directory, plan["binary"], spec["args"], files,
                                               signals, analysis, spec["fingerprint"])
        if interrupted:
            return failed, interrupted
        if status != 0:
            failed.append((name, status, message))
    return failed, None


def read_log(directory):
    """(exit status or None, message) recorded in a job's log; None when it has no log or the
    job never finished writing it."""
    log = Path(directory) / LOG
    if not log.exists():
        return None, "did not run"
    text = log.read_text(errors="replace")
    if END_OF_OUTPUT not in text:
        return None, "no exit status in the log (the job was killed?)"
    fields = dict(line.split(": ", 1) for line in text.rsplit(END_OF_OUTPUT, 1)[1].splitlines()
                  if ": " in line)
    return int(fields["exit status"]), fields.get("message", "")


def output_of(directory):
    """The output directory of a finished job, named by the first line of its marker."""
    directory = Path(directory)
    return directory / (directory / DONE).read_text().splitlines()[0].strip()
