"""The program's tab-separated tables: reading, writing and merging them across a sweep's jobs.

pandas is imported only by the functions that need it, so that a sweep's jobs start quickly.
"""

import csv
import math
from pathlib import Path

# Merged table of a sweep -> the program's table in each job's output directory.
PROGRAM_TABLES = {
    "runs": "Pairlab_runs.tsv",
    "files": "Pairlab_files.tsv",
    "pairs": "Pairlab_pairs.tsv",
    "matings": "Pairlab_matings.tsv",
    "indices": "Pairlab_indices.tsv",
    "rounds": "Pairlab_rounds.tsv",
    "round_indices": "Pairlab_round_indices.tsv",
}

# Merged table of a sweep -> pairlab-analyze's table in each job's analysis directory.
ANALYSIS_TABLES = {
    "tests": "tests.tsv",
    "models": "models.tsv",
}
ANALYSIS_DIRECTORY = "analysis"  # beside the run's output directory, in the job's directory

INDICES = ["JRpti", "JRpsi", "JRpss", "JRps1", "JRps2", "Jpti", "Jpsi", "Jpss", "E0R"]
BLOCK = 1 << 20  # bytes copied at a time by the merge
CHUNK_ROWS = 200_000  # rows read at a time from a merged table
NA_VALUES = ["NA", "nan", "-nan", ""]


def read_table(path):
    """A table with its numbers parsed: 'NA', 'nan' and empty fields are missing, 'inf' and
    '-inf' infinite."""
    import pandas as pd
    return pd.read_csv(path, sep="\t", keep_default_na=False, na_values=NA_VALUES,
                       quoting=csv.QUOTE_NONE)


def point_frames(path, columns=None, chunk_rows=None):
    """The rows of a merged table of a sweep a point at a time, (point, frame), reading
    chunk_rows rows at a time (a merged table holds the rows of a point together); columns:
    those to read (default: all)."""
    import pandas as pd
    reader = pd.read_csv(path, sep="\t", keep_default_na=False, na_values=NA_VALUES,
                         quoting=csv.QUOTE_NONE, chunksize=chunk_rows or CHUNK_ROWS,
                         usecols=None if columns is None else (lambda c: c in columns))
    current, parts = None, []
    for chunk in reader:
        for point, group in chunk.groupby("point", sort=False):
            if point != current and parts:
                yield current, pd.concat(parts, ignore_index=True)
                parts = []
            current = point
            parts.append(group)
    if parts:
        yield current, pd.concat(parts, ignore_index=True)


def read_point(path, point):
    """The rows of one point of a merged table (read a chunk at a time), with every column."""
    import pandas as pd
    for number, frame in point_frames(path):
        if number == point:
            return frame
    return pd.read_csv(path, sep="\t", nrows=0)


def read_text_rows(path):
    """The header and the rows of a table, as the text the program wrote."""
    with open(path, encoding="utf-8", errors="replace") as table:
        lines = table.read().splitlines()
    if not lines:
        return [], []
    return lines[0].split("\t"), [line.split("\t") for line in lines[1:] if line]


def text_of(value):
    """How a value is written in a table: missing as NA, numbers at full precision."""
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "NA"
    return str(value)


def write_rows(path, header, rows):
    """Writes a table (text written whole first, then moved into place)."""
    path = Path(path)
    part = path.with_name(path.name + ".part")
    with open(part, "w", encoding="utf-8") as out:
        out.write("\t".join(header) + "\n")
        for row in rows:
            out.write("\t".join(text_of(v) for v in row) + "\n")
    part.replace(path)


def write_table(frame, path):
    write_rows(path, [str(c) for c in frame.columns], frame.itertuples(index=False, name=None))


def read_points(sweep_dir):
    """The points of a sweep: their number and swept values (as text)."""
    import pandas as pd
    return pd.read_csv(Path(sweep_dir) / "points.tsv", sep="\t", dtype=str,
                       keep_default_na=False, quoting=csv.QUOTE_NONE).astype({"point": int})


def table_sources(output):
    """Merged table -> the file of a job that it gathers, for a job whose run wrote the output
    directory `output`."""
    output = Path(output)
    sources = {name: output / file for name, file in PROGRAM_TABLES.items()}
    sources.update({name: output.parent / ANALYSIS_DIRECTORY / file
                    for name, file in ANALYSIS_TABLES.items()})
    return sources


def header_of(path):
    """The columns of a table, from its first line."""
    with open(path, "rb") as table:
        first = table.readline().decode("utf-8", errors="replace").rstrip("\r\n")
    return first.split("\t") if first else []


def copy_rows(path, out, prefix):
    """Copies the rows of a table (not its header) to the open binary file `out`, each preceded
    by `prefix`, a block at a time: memory does not grow with the table. Empty lines are left
    out; a last line without its newline gets one."""
    joined = b"\n" + prefix
    with open(path, "rb") as table:
        table.readline()
        pending = b""
        while True:
            block = table.read(BLOCK)
            if not block:
                break
            block = pending + block
            end = block.rfind(b"\n") + 1
            lines, pending = block[:end], block[end:]
            if not lines:
                continue
            if b"\n\n" in lines or lines.startswith(b"\n"):
                lines = b"".join(line + b"\n" for line in lines.split(b"\n") if line)
                if not lines:
                    continue
            out.write(prefix + lines[:-1].replace(b"\n", joined) + b"\n")
        if pending:
            out.write(prefix + pending + b"\n")


def merge_tables(sweep_dir, jobs):
    """Concatenates the tables of the given jobs into the sweep directory: runs.tsv, the result
    tables the runs wrote and the tables of their analyses (tests.tsv, models.tsv). Each row
    gains its point (and, in runs.tsv, its chunk) and the swept values of that point (columns
    sweep_<option>, which no table of the program has). Rows are in the order of point, chunk
    and then as the job wrote them, so the tables do not depend on the order in which jobs ran.
    The rows are streamed: memory does not grow with the tables. A table that none of the jobs
    wrote is removed (left by an earlier merge).

    jobs: (point, chunk, output directory) of every job."""
    sweep_dir = Path(sweep_dir)
    points = read_points(sweep_dir).set_index("point")
    params = list(points.columns)
    jobs = sorted(jobs)
    for name in [*PROGRAM_TABLES, *ANALYSIS_TABLES]:
        sources = []
        header = None
        for point, chunk, output in jobs:
            path = table_sources(output)[name]
            if not path.exists():
                continue
            job_header = header_of(path)
            if set(job_header) & set(params):
                raise ValueError(f"{path} has a column named like a swept option: "
                                 f"{', '.join(sorted(set(job_header) & set(params)))}")
            if header is not None and job_header != header:
                raise ValueError(f"{path} has other columns than the same table of earlier jobs")
            header = job_header
            front = [point, chunk] if name == "runs" else [point]
            values = front + [points.at[point, p] for p in params]
            sources.append((path, ("\t".join(text_of(v) for v in values) + "\t").encode()))
        target = sweep_dir / f"{name}.tsv"
        if header is None:
            target.unlink(missing_ok=True)
            continue
        front = ["point", "chunk"] if name == "runs" else ["point"]
        part = target.with_name(target.name + ".part")
        with open(part, "wb") as out:
            out.write(("\t".join(front + params + header) + "\n").encode())
            for path, prefix in sources:
                copy_rows(path, out, prefix)
        part.replace(target)
