"""The plan of a sweep: its points, its jobs, their seeds, shifts and command lines.

A sweep file (YAML) holds:

    base: "-continuous 1 -model -1 -numfiles 1000"   # options of every run
    grid:                                          # every combination of these values
      -choice: [-0.5, 0, 0.5]
      -tolerance: [0.05, 0.1]
    chunk: 250        # replicates per job (default: all the replicates of a point)
    seed: 42          # base seed of the whole sweep
    files: [PairlabUserPhenotypes.txt]   # user files, relative to the sweep file
    resources: {runtime: 30}             # per-job cluster resources

Points are numbered from 0 in the order of the grid's combinations, the first option varying
slowest. Each point's replicates (its -numfiles, default 1) are cut into chunks of `chunk`
replicates, numbered from 0; chunk c runs with -shift c * chunk, so file numbers never collide,
and with the seed given by `job_seed`.
"""

import hashlib
import itertools
import shlex
from dataclasses import dataclass
from pathlib import Path

import yaml

# Options the sweep assigns to every job itself (-numfiles is the point's number of replicates,
# which the sweep cuts into chunks).
ASSIGNED_OPTIONS = ("-shift", "-fixseed")
SEED_MODULUS = 2**63 - 1
KNOWN_KEYS = {"base", "grid", "chunk", "seed", "files", "resources"}


class SweepError(ValueError):
    """A sweep file that cannot be run as written."""


def job_seed(base_seed, point, chunk):
    """The -fixseed of a job: the first 8 bytes of SHA-256("<base seed>:<point>:<chunk>") as a
    big-endian unsigned integer, reduced modulo 2^63 - 1, plus 1. It lies in 1 .. 2^63 - 1 and is
    never 0 (which would mean a seed from the clock)."""
    digest = hashlib.sha256(f"{base_seed}:{point}:{chunk}".encode()).digest()
    return int.from_bytes(digest[:8], "big") % SEED_MODULUS + 1


def job_name(point, chunk):
    return f"p{point}_c{chunk}"


def words_of(value):
    """The command-line words of a value: a YAML number, flag, string or list of them."""
    if isinstance(value, (list, tuple)):
        return [w for v in value for w in words_of(v)]
    if isinstance(value, bool):
        return ["1" if value else "0"]
    return str(value).split()


def is_option(word):
    """An option name starts with '-' and a letter: '-model' is one, '-1' and '-0.5' are values."""
    return len(word) > 1 and word[0] == "-" and word[1].isalpha()


def parse_options(words):
    """The options of a command line in order, each with its last values (a later occurrence
    overrides an earlier one, as in the program)."""
    options = {}
    name = None
    for word in words:
        if is_option(word):
            name = word
            options.pop(name, None)
            options[name] = []
        elif name is None:
            raise SweepError(f"'{word}' in base comes before any option")
        else:
            options[name].append(word)
    return options


@dataclass
class Job:
    point: int
    chunk: int
    numfiles: int
    shift: int
    seed: int
    args: list  # the program's arguments (without the program)

    @property
    def name(self):
        return job_name(self.point, self.chunk)


@dataclass
class Sweep:
    base: list
    grid: dict      # option -> list of values, each a list of words
    chunk: int
    seed: int
    files: list     # absolute paths of the user files
    resources: dict
    source: Path    # the sweep file

    def parameters(self):
        """The swept options as column names: without their leading dash."""
        return [option.lstrip("-") for option in self.grid]

    def points(self):
        """Every combination of the grid's values, in order: a list of {option: words}."""
        options = list(self.grid)
        return [dict(zip(options, combination))
                for combination in itertools.product(*self.grid.values())]

    def point_table(self):
        """One row per point: its number and the value of every swept parameter."""
        return [{"point": p, **{o.lstrip("-"): " ".join(w) for o, w in values.items()}}
                for p, values in enumerate(self.points())]

    def jobs(self):
        jobs = []
        for point, values in enumerate(self.points()):
            point_words = [w for option, words in values.items() for w in [option, *words]]
            settled = parse_options(self.base + point_words)
            total = int(settled.get("-numfiles", ["1"])[-1])
            size = min(self.chunk or total, total)
            extra = []
            if "-tidy" not in settled:  # the tables, the pairs of the continuous road included
                extra += ["-tidy", "2"]
                if "-writefiles" not in settled:
                    extra += ["-writefiles", "0"]
            for chunk, shift in enumerate(range(0, total, size)):
                numfiles = min(size, total - shift)
                seed = job_seed(self.seed, point, chunk)
                args = [*self.base, *point_words, *extra, "-numfiles", str(numfiles),
                        "-shift", str(shift), "-fixseed", str(seed)]
                jobs.append(Job(point, chunk, numfiles, shift, seed, args))
        return jobs


def load_sweep(path):
    """Reads and checks a sweep file."""
    path = Path(path).resolve()
    try:
        data = yaml.safe_load(path.read_text()) or {}
    except (OSError, yaml.YAMLError) as error:
        raise SweepError(f"cannot read {path}: {error}") from error
    if not isinstance(data, dict):
        raise SweepError(f"{path} must hold a mapping of keys (base, grid, chunk, seed, files)")
    unknown = sorted(set(data) - KNOWN_KEYS)
    if unknown:
        raise SweepError(f"unknown key(s) {', '.join(unknown)}; "
                         f"known: {', '.join(sorted(KNOWN_KEYS))}")

    base = data.get("base") or ""
    base = shlex.split(base) if isinstance(base, str) else words_of(base)
    grid = {}
    if not isinstance(data.get("grid") or {}, dict):
        raise SweepError("'grid' must map options to their values, e.g. -choice: [0, 0.5]")
    for option, values in (data.get("grid") or {}).items():
        if not is_option(str(option)):
            raise SweepError(f"grid key '{option}' is not an option (options start with '-')")
        values = values if isinstance(values, list) else [values]
        if not values:
            raise SweepError(f"grid option {option} has no values")
        grid[str(option)] = [words_of(v) for v in values]

    options = parse_options(base)
    for option in ASSIGNED_OPTIONS:
        if option in options or option in grid:
            raise SweepError(f"{option} is assigned by the sweep to every job; "
                             "remove it from the sweep file")
    numfiles = [options.get("-numfiles", ["1"])] + grid.get("-numfiles", [])
    for words in numfiles:
        if len(words) != 1 or not words[0].isdigit() or int(words[0]) < 1:
            raise SweepError(f"-numfiles must be a positive whole number, not {' '.join(words)!r}")

    names = data.get("files") or []
    names = [names] if isinstance(names, str) else names
    files = [(path.parent / str(name)).resolve() for name in names]
    for file in files:
        if not file.is_file():
            raise SweepError(f"user file {file} does not exist")
    resources = data.get("resources") or {}
    if not isinstance(resources, dict):
        raise SweepError("'resources' must be a mapping such as {runtime: 30, mem_mb: 1000}")
    chunk = data.get("chunk")
    if chunk is not None and (isinstance(chunk, bool) or not isinstance(chunk, int) or chunk < 1):
        raise SweepError(f"'chunk' must be a positive whole number of replicates, not {chunk!r}")
    seed = data.get("seed")
    if isinstance(seed, bool) or not isinstance(seed, int):
        raise SweepError(f"'seed' must be a whole number, the base seed of the sweep, "
                         f"not {seed!r}")
    return Sweep(base, grid, chunk, seed, files, resources, path)
