"""The plan of a sweep: its points, its jobs, their seeds, shifts and command lines.

A sweep file (YAML) holds:

    base: "-continuous 1 -model -1 -numfiles 1000"   # options of every run
    grid:                                          # every combination of these values
      -choice: [-0.5, 0, 0.5]
      -tolerance: [0.05, 0.1]
    chunk: 250        # replicates per job (default: all the replicates of a point)
    seed: 42          # base seed of the whole sweep
    files: [PairlabUserPhenotypes.txt]   # user files, relative to the sweep file
    resources: {runtime: 30}             # per-batch cluster resources
    batch: 20         # jobs per batch (default: about a minute of work, from a timing)
    analyze: {null: 999, level: 0.05}    # pairlab-analyze on every job's mating tables

Points are numbered from 0 in the order of the grid's combinations, the first option varying
slowest. Each point's replicates (its -numfiles, default 1) are cut into chunks of `chunk`
replicates, numbered from 0; chunk c runs with -shift c * chunk, so file numbers never collide,
with the seed given by `job_seed` and, for every chunk of the point alike, the population seed
given by `population_seed`: the chunks of a point share one population, as one run would.

Jobs are run in batches (one Snakemake job, one SLURM job each): consecutive jobs in the order of
points and chunks. A batch is a matter of speed only; every job keeps its own command line, seeds
and working directory.

In every table of a sweep (points.tsv, the merged tables, summary.tsv, failed.tsv) the value of a
swept option is in the column `sweep_<option without its dash>`, a name no table of the program
uses.
"""

import hashlib
import itertools
import json
import math
import shlex
from dataclasses import dataclass
from pathlib import Path

import yaml

# Options the sweep assigns to every job itself (-numfiles is the point's number of replicates,
# which the sweep cuts into chunks), or that would take a job's output where the sweep does not
# look for it.
ASSIGNED_OPTIONS = {
    "-shift": "is assigned by the sweep to every job",
    "-fixseed": "is assigned by the sweep to every job",
    "-popseed": "is assigned by the sweep to every point",
    "-outdir": "would move the jobs' output directories where the sweep does not look for them",
    "-checkonly": "is run by the sweep itself for every point before any job",
}
# Options that change what a run writes but not its results: a grid over one would repeat the
# same experiment at every value.
OUTPUT_OPTIONS = ("-tidy", "-writefiles", "-writedistrib", "-onlyresume", "-verbose", "-progress")
# The program's second names of options.
ALIASES = {"-impatience": "-impatient", "-userphenotypes": "-userfreqs",
           "-selfactor": "-incrfactor", "-decrfactor": "-choicefactor", "-sl": "-SL",
           "-mpf": "-MPF"}
SWEEP_PREFIX = "sweep_"
SEED_MODULUS = 2**63 - 1
KNOWN_KEYS = {"base", "grid", "chunk", "seed", "files", "resources", "batch", "analyze"}
# Options of pairlab-analyze that the sweep sets for every job itself.
ANALYSIS_ASSIGNED = {"seed": "is assigned by the sweep to every job",
                     "out": "is assigned by the sweep to every job",
                     "show": "is set by the sweep (the results are in the tables)",
                     "progress": "is set by the sweep"}
DEFAULT_LEVEL = 0.05


class SweepError(ValueError):
    """A sweep file that cannot be run as written."""


def seed_of(text):
    """The first 8 bytes of SHA-256(text) as a big-endian unsigned integer, reduced modulo
    2^63 - 1, plus 1: in 1 .. 2^63 - 1, never 0 (which would mean a seed from the clock)."""
    digest = hashlib.sha256(text.encode()).digest()
    return int.from_bytes(digest[:8], "big") % SEED_MODULUS + 1


def job_seed(base_seed, point, chunk):
    """The -fixseed of a job: seed_of("<base seed>:<point>:<chunk>")."""
    return seed_of(f"{base_seed}:{point}:{chunk}")


def population_seed(base_seed, point):
    """The -popseed of every job of a point: seed_of("<base seed>:<point>:population")."""
    return seed_of(f"{base_seed}:{point}:population")


def analysis_seed(base_seed, point, chunk):
    """The --seed of a job's analysis: seed_of("<base seed>:<point>:<chunk>:analysis")."""
    return seed_of(f"{base_seed}:{point}:{chunk}:analysis")


def fingerprint(args, analysis_args, file_digests):
    """What a job's results depend on: its command line, its analysis and the contents of the
    user files (file_digests: name -> SHA-256). A job whose marker holds another fingerprint
    runs again."""
    text = json.dumps([list(map(str, args)), analysis_args, sorted(file_digests.items())])
    return hashlib.sha256(text.encode()).hexdigest()[:32]


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def canonical(option):
    """An option under its main name."""
    return ALIASES.get(option, option)


def column_of(option):
    """The column of a swept option in the sweep's tables: 'sweep_' and its name without dash."""
    return SWEEP_PREFIX + option.lstrip("-")


def number_key(words):
    """Words as the program reads them: numbers by their value (0.5 and 0.50 are one value),
    other words as text."""
    key = []
    for word in words:
        try:
            key.append(float(word))
        except ValueError:
            key.append(word)
    return tuple(key)


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
class Analysis:
    """The analysis of every job's mating tables by pairlab-analyze."""
    options: list   # pairlab-analyze's options given in the sweep file, as words
    level: float    # a test is significant at p <= level


@dataclass
class Job:
    point: int
    chunk: int
    numfiles: int
    shift: int
    seed: int
    popseed: int
    args: list  # the program's arguments (without the program)
    analysis_args: list = None  # pairlab-analyze's options (without input and --out), or None

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
    batch: int = None           # jobs per batch (None: from a timing)
    analysis: Analysis = None   # None: no analysis

    def parameters(self):
        """The columns of the swept options (see column_of)."""
        return [column_of(option) for option in self.grid]

    def points(self):
        """Every combination of the grid's values, in order: a list of {option: words}."""
        options = list(self.grid)
        return [dict(zip(options, combination))
                for combination in itertools.product(*self.grid.values())]

    def point_table(self):
        """One row per point: its number and the value of every swept option."""
        return [{"point": p, **{column_of(o): " ".join(w) for o, w in values.items()}}
                for p, values in enumerate(self.points())]

    def point_plans(self):
        """Per point: (its words, the options of its run as the program reads them, its number of
        replicates, the options the sweep adds for the tables)."""
        plans = []
        for values in self.points():
            point_words = [w for option, words in values.items() for w in [option, *words]]
            settled = parse_options(self.base + point_words)
            total = int(settled.get("-numfiles", ["1"])[-1])
            extra = []
            if "-tidy" not in settled:  # the tables, the pairs of the continuous road included
                extra += ["-tidy", "2"]
                if "-writefiles" not in settled:
                    extra += ["-writefiles", "0"]
            plans.append((point_words, settled, total, extra))
        return plans

    def run_args(self, point, plan, numfiles, shift, chunk):
        """The command line of a run of the point's plan: numfiles replicates from shift + 1,
        with the point's population seed and the chunk's seed."""
        point_words, _, _, extra = plan
        return [*self.base, *point_words, *extra, "-numfiles", str(numfiles), "-shift",
                str(shift), "-popseed", str(population_seed(self.seed, point)), "-fixseed",
                str(job_seed(self.seed, point, chunk))]

    def check_args(self):
        """Per point, its command line as one run of all its replicates (its first job's, with
        the point's -numfiles), in the program's check mode."""
        return [self.run_args(point, plan, plan[2], 0, 0) + ["-checkonly", "1"]
                for point, plan in enumerate(self.point_plans())]

    def jobs(self):
        jobs = []
        for point, plan in enumerate(self.point_plans()):
            total = plan[2]
            size = min(self.chunk or total, total)
            for chunk, shift in enumerate(range(0, total, size)):
                numfiles = min(size, total - shift)
                jobs.append(Job(point, chunk, numfiles, shift, job_seed(self.seed, point, chunk),
                                population_seed(self.seed, point),
                                self.run_args(point, plan, numfiles, shift, chunk),
                                self.analysis_args(point, chunk)))
        return jobs

    def analysis_args(self, point, chunk):
        """pairlab-analyze's options for a job (without its input and --out), or None."""
        if self.analysis is None:
            return None
        return [*self.analysis.options, "--seed", str(analysis_seed(self.seed, point, chunk)),
                "--show", "0", "--progress", "0"]


def road_of(options):
    """The road a command line runs: 'continuous', 'rounds' (sampling rounds) or 'files'
    (discrete data files)."""
    def flag(option, default):
        words = options.get(option, [default])
        return number_key(words[-1:] or [default]) != (0.0,)
    if flag("-continuous", "0"):
        return "continuous"
    return "files" if flag("-onematround", "1") else "rounds"


ROAD_WORDS = {"continuous": "continuous traits", "rounds": "sampling rounds",
              "files": "discrete data files"}


def load_analysis(value):
    """The `analyze` section: pairlab-analyze's options as a mapping ({null: 999, process:
    individual}), and `level`, the significance level of the power (default 0.05)."""
    if value is None or value is True:
        value = {}
    if not isinstance(value, dict):
        raise SweepError("'analyze' must map pairlab-analyze's options to their values, e.g. "
                         "{null: 999, process: individual, level: 0.05}")
    options = []
    level = DEFAULT_LEVEL
    for key, item in value.items():
        # YAML reads the key null (pairlab-analyze's --null) as nothing.
        name = "null" if key is None else str(key).lstrip("-")
        if name == "level":
            if isinstance(item, bool) or not isinstance(item, (int, float)) \
                    or not 0 < item < 1 or math.isnan(item):
                raise SweepError(f"analyze: 'level' must be a number between 0 and 1, "
                                 f"not {item!r}")
            level = float(item)
        elif name in ANALYSIS_ASSIGNED:
            raise SweepError(f"analyze: --{name} {ANALYSIS_ASSIGNED[name]}; remove it")
        else:
            options += [f"--{name}", *words_of(item)]
    return Analysis(options, level)


def check_analysis_roads(sweep):
    """pairlab-analyze reads the mating tables of discrete data files: every point must write
    them."""
    for point, plan in enumerate(sweep.point_plans()):
        road = road_of(plan[1])
        if road != "files":
            raise SweepError(f"analyze: pairlab-analyze reads the mating tables of discrete data "
                             f"files (Pairlab_matings.tsv), and point {point} runs the "
                             f"{ROAD_WORDS[road]} road")


def check_options(options, grid):
    """Refuses options the sweep sets itself, a base that writes no tables, and grids whose
    points would repeat one experiment: an option swept twice (under its two names), a value
    given twice (equal as numbers), an option that changes only what a run writes."""
    for option in [*options, *grid]:
        if canonical(option) in ASSIGNED_OPTIONS:
            raise SweepError(f"{option} {ASSIGNED_OPTIONS[canonical(option)]}; remove it from "
                             "the sweep file")
    if number_key(options.get("-tidy", ["1"])) == (0.0,):
        raise SweepError("-tidy 0 in base: the runs would write no tables, and the sweep's "
                         "summary would be empty; remove it (the sweep asks for -tidy 2)")
    seen = {}
    for option, values in grid.items():
        name = canonical(option)
        if name in seen:
            raise SweepError(f"the grid sweeps {seen[name]} and {option}, two names of one "
                             "option")
        seen[name] = option
        if name in OUTPUT_OPTIONS:
            raise SweepError(f"the grid sweeps {option}, which changes only what a run writes: "
                             "every value would repeat the same experiment; put it in base")
        keys = [number_key(words) for words in values]
        for i, key in enumerate(keys):
            if key in keys[:i]:
                raise SweepError(f"grid option {option} has the value "
                                 f"{' '.join(values[keys.index(key)])!r} twice (as "
                                 f"{' '.join(values[i])!r}): two points would be one")


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
    check_options(options, grid)
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
    batch = data.get("batch")
    if batch is not None and (isinstance(batch, bool) or not isinstance(batch, int) or batch < 1):
        raise SweepError(f"'batch' must be a positive whole number of jobs, not {batch!r}")
    analysis = load_analysis(data["analyze"]) if "analyze" in data else None
    sweep = Sweep(base, grid, chunk, seed, files, resources, path, batch, analysis)
    if analysis is not None:
        check_analysis_roads(sweep)
    return sweep
