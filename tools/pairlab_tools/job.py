"""One job of a sweep: one run of the program in the job's own working directory.

The directory holds the copied user files, the run's output directory, its diagnostics files,
`log.txt` (command line, everything the run printed, exit status and the stop message) and, only
after a complete run, the marker `done` naming the output directory.
"""

import shlex
import shutil
import signal
import subprocess
from pathlib import Path

from . import tables

LOG = "log.txt"
DONE = "done"
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


def run_job(directory, binary, args, files, signals=None):
    """Runs the program in a fresh working directory; returns (exit status, stop message, the
    signal that interrupted the job or None). signals: the PassOn of the job's process."""
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
    interrupted = signals.first() if signals is not None else None
    outputs = output_directories(directory)
    if status == 0 and len(outputs) != 1:
        status = 1
        printed += f"\nexpected one output directory, found {len(outputs)}\n"
    message = "" if status == 0 else stop_message(directory, printed, status)
    if interrupted and status != 0:
        message = f"interrupted by {signal.Signals(interrupted).name}" + (
            f" ({message})" if message else "")
    log.write_text(f"command: {shlex.join(command)}\n--- output ---\n{printed}\n{END_OF_OUTPUT}\n"
                   f"exit status: {status}\nmessage: {message}\n")
    if status == 0:
        (directory / DONE).write_text(outputs[0].name + "\n")
    return status, message, interrupted


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
    """The output directory of a finished job, named by its marker."""
    directory = Path(directory)
    return directory / (directory / DONE).read_text().strip()
