"""The plan of a sweep: points, chunks, shifts, seeds, command lines and the checks of a sweep file."""

import textwrap

import pytest

from pairlab_tools.plan import (SweepError, analysis_seed, job_seed, load_sweep,
                                population_seed)


def sweep_file(tmp_path, text):
    path = tmp_path / "sweep.yaml"
    path.write_text(textwrap.dedent(text))
    return path


def test_seeds_are_stable_distinct_and_never_zero():
    # Pinned: the documented derivation; a change would silently change every existing sweep.
    assert job_seed(42, 0, 0) == 5119632147002348315
    seeds = {job_seed(base, p, c) for base in (0, 42, -7) for p in range(30) for c in range(30)}
    assert len(seeds) == 3 * 30 * 30
    assert all(1 <= s <= 2**63 - 1 for s in seeds)
    assert job_seed(1, 2, 3) != job_seed(1, 3, 2)
    # The population seed depends on the point only, never on the chunk.
    assert population_seed(42, 0) == 1806674415849070904
    populations = {population_seed(base, p) for base in (0, 42, -7) for p in range(30)}
    assert len(populations) == 90 and not populations & seeds


@pytest.mark.parametrize("base, grid, chunk, expected", [
    ("-numfiles 1000", "", 250, [(250, 0), (250, 250), (250, 500), (250, 750)]),
    ("-numfiles 5", "", 2, [(2, 0), (2, 2), (1, 4)]),
    ("-numfiles 3", "", None, [(3, 0)]),
    ("-numfiles 2", "", 10, [(2, 0)]),
    ("", "", 4, [(1, 0)]),                                    # the program's default: 1 file
    ("-numfiles 9", "-numfiles: [3]", 2, [(2, 0), (1, 2)]),   # the grid overrides the base
])
def test_chunks_and_shifts(tmp_path, base, grid, chunk, expected):
    chunk_line = f"chunk: {chunk}" if chunk else ""
    grid_block = f"grid:\n  {grid}" if grid else ""
    sweep = load_sweep(sweep_file(tmp_path, f"base: '{base}'\n{grid_block}\n{chunk_line}\nseed: 1\n"))
    jobs = sweep.jobs()
    assert [(j.numfiles, j.shift) for j in jobs] == expected
    for j in jobs:  # the job's own values come last, so they win over the base's
        assert j.args[-8:] == ["-numfiles", str(j.numfiles), "-shift", str(j.shift),
                               "-popseed", str(population_seed(1, j.point)),
                               "-fixseed", str(job_seed(1, j.point, j.chunk))]
    # The check of the point runs it as one run of all its replicates.
    total = sum(j.numfiles for j in jobs)
    assert sweep.check_args()[0] == jobs[0].args[:-8] + [
        "-numfiles", str(total), "-shift", "0", "-popseed", str(population_seed(1, 0)),
        "-fixseed", str(job_seed(1, 0, 0)), "-checkonly", "1"]


def test_points_vary_the_last_option_fastest_and_keep_values_as_written(tmp_path):
    sweep = load_sweep(sweep_file(tmp_path, """
        base: "-continuous 1 -model -1"
        grid:
          -choice: [-0.5, 0.9]
          -bimodal: ["0.5 3 1", [0.5, 4, 1]]
          -scaling: [true]
        seed: 7
    """))
    assert sweep.parameters() == ["sweep_choice", "sweep_bimodal", "sweep_scaling"]
    assert [(p["point"], p["sweep_choice"], p["sweep_bimodal"]) for p in sweep.point_table()] == [
        (0, "-0.5", "0.5 3 1"), (1, "-0.5", "0.5 4 1"), (2, "0.9", "0.5 3 1"), (3, "0.9", "0.5 4 1")]
    assert sweep.jobs()[1].args[:15] == [
        "-continuous", "1", "-model", "-1", "-choice", "-0.5", "-bimodal", "0.5", "4", "1",
        "-scaling", "1", "-tidy", "2", "-writefiles"]


@pytest.mark.parametrize("base, added", [
    ("-model -1", ["-tidy", "2", "-writefiles", "0"]),
    ("-model -1 -writefiles 1", ["-tidy", "2"]),
    ("-model -1 -tidy 1", []),
])
def test_tidy_tables_are_asked_for_unless_the_base_says_otherwise(tmp_path, base, added):
    job = load_sweep(sweep_file(tmp_path, f"base: '{base}'\nseed: 1\n")).jobs()[0]
    assert job.args[:-8] == base.split() + added


@pytest.mark.parametrize("text, complaint", [
    ("seed: 1\ngrids: {}\n", "unknown key"),
    ("base: '-model -1'\n", "'seed'"),
    ("seed: 1.5\n", "'seed'"),
    ("seed: 1\nchunk: 0\n", "'chunk'"),
    ("seed: 1\nbase: '-fixseed 3'\n", "-fixseed is assigned"),
    ("seed: 1\ngrid: {-shift: [1, 2]}\n", "-shift is assigned"),
    ("seed: 1\nbase: '-popseed 3'\n", "-popseed is assigned"),
    ("seed: 1\nbase: '-outdir x'\n", "-outdir would move"),
    ("seed: 1\nbase: '-checkonly 1'\n", "-checkonly is run by the sweep"),
    ("seed: 1\nbase: '-tidy 0'\n", "-tidy 0 in base"),
    ("seed: 1\nbase: '-tidy 00'\n", "-tidy 0 in base"),
    ("seed: 1\ngrid: {-tidy: [1, 2]}\n", "changes only what a run writes"),
    ("seed: 1\ngrid: {-writefiles: [0, 1]}\n", "changes only what a run writes"),
    ("seed: 1\ngrid: {-choice: [0.5, '0.50']}\n", "value '0.5' twice \\(as '0.50'\\)"),
    ("seed: 1\ngrid: {-bimodal: ['0.5 3 1', [0.5, 3.0, 1]]}\n", "twice"),
    ("seed: 1\ngrid: {-selfactor: [2], -incrfactor: [3]}\n", "two names of one option"),
    ("seed: 1\ngrid: {choice: [1]}\n", "not an option"),
    ("seed: 1\ngrid: {-choice: []}\n", "no values"),
    ("seed: 1\nbase: '-numfiles many'\n", "-numfiles"),
    ("seed: 1\nbase: '5 -model 1'\n", "before any option"),
    ("seed: 1\nfiles: [PairlabUserFreqs.txt]\n", "does not exist"),
    ("seed: 1\nbatch: 0\n", "'batch'"),
    ("seed: 1\nanalyze: [1]\n", "'analyze' must map"),
    ("seed: 1\nanalyze: {seed: 3}\n", "--seed is assigned"),
    ("seed: 1\nanalyze: {level: 1}\n", "'level'"),
    ("seed: 1\nbase: '-continuous 1'\nanalyze:\n", "point 0 runs the continuous traits road"),
    ("seed: 1\ngrid: {-onematround: [1, 0]}\nanalyze: {}\n", "point 1 runs the sampling rounds"),
    ("- just a list\n", "mapping"),
    ("seed: [1\n", "cannot read"),
])
def test_sweep_files_that_cannot_run_are_refused(tmp_path, text, complaint):
    with pytest.raises(SweepError, match=complaint):
        load_sweep(sweep_file(tmp_path, text))


def test_the_analysis_of_every_job_has_its_options_and_a_seed_of_its_own(tmp_path):
    sweep = load_sweep(sweep_file(tmp_path, """
        base: "-model -3 -numfiles 4"
        chunk: 2
        analyze: {null: 99, --process: mass, level: 0.01}
        seed: 3
    """))
    assert sweep.analysis.level == 0.01
    first, second = (j.analysis_args for j in sweep.jobs())
    assert first[:4] == ["--null", "99", "--process", "mass"]
    assert first[4:] == ["--seed", str(analysis_seed(3, 0, 0)), "--show", "0", "--progress", "0"]
    assert second[5] == str(analysis_seed(3, 0, 1)) != first[5]
