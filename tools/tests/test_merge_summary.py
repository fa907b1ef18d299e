"""Merging the jobs' tables, summarising every point and the outcome of a sweep's jobs, on tables
and job directories written by hand."""

import math

import pandas as pd
import pytest

from pairlab_tools import compare, job, outcome, summary, tables

LEDGER = "run_id\tstart_time\tend_time\tversion\tseed\tstatus\tfiles_completed\tmessage\tcommand_line\tchoice\n"
FILES = "run_id\tfile\tsample_size\treport\tcorrelation\tfemale_encounters\tmale_encounters\n"


def make_sweep(tmp_path, jobs):
    """A sweep of two points swept over -choice and -N; jobs: (point, chunk, {file: text})."""
    (tmp_path / "points.tsv").write_text(
        "point\tsweep_choice\tsweep_N\n0\t0.5\t100\n1\t-0.5\t100\n")
    done = []
    for point, chunk, files in jobs:
        output = tmp_path / "jobs" / f"p{point}_c{chunk}" / "Out_Pairlab_x"
        output.mkdir(parents=True)
        for name, text in files.items():
            (output / name).write_text(text)
        done.append((point, chunk, output))
    return done


def test_merge_orders_rows_by_point_and_chunk_and_adds_the_swept_values(tmp_path):
    def job(point, chunk, files):
        ledger = LEDGER + f"r{point}{chunk}\tt\tt\t1\t9\t0\t{len(files)}\t\tpairlab \"q\"\t0.50\n"
        rows = "".join(f"r{point}{chunk}\t{f}\t100\t{report}\t{r}\t2\t2\n" for f, report, r in files)
        return point, chunk, {"Pairlab_runs.tsv": ledger, "Pairlab_files.tsv": FILES + rows}

    done = make_sweep(tmp_path, [  # in the order jobs might finish
        job(1, 1, [(3, "", "0.1"), (4, "Incomplete sample", "NA")]),
        job(0, 0, [(1, "", "1e-300"), (2, "", "-inf")]),
        job(1, 0, [(1, "", "0.30000000000000004"), (2, "", "nan")]),
    ])
    tables.merge_tables(tmp_path, done)

    merged = (tmp_path / "files.tsv").read_text().splitlines()
    assert merged[0] == "point\tsweep_choice\tsweep_N\t" + FILES.strip()
    # Every value exactly as the program wrote it, rows in point, chunk, file order.
    assert [line.split("\t")[:5] + line.split("\t")[6:8] for line in merged[1:]] == [
        ["0", "0.5", "100", "r00", "1", "", "1e-300"], ["0", "0.5", "100", "r00", "2", "", "-inf"],
        ["1", "-0.5", "100", "r10", "1", "", "0.30000000000000004"],
        ["1", "-0.5", "100", "r10", "2", "", "nan"],
        ["1", "-0.5", "100", "r11", "3", "", "0.1"],
        ["1", "-0.5", "100", "r11", "4", "Incomplete sample", "NA"]]
    runs = tables.read_text_rows(tmp_path / "runs.tsv")
    # The swept value and the ledger's own column of the option (its settled value), apart.
    assert runs[0][:4] == ["point", "chunk", "sweep_choice", "sweep_N"] and runs[0][-1] == "choice"
    assert [row[:4] + [row[-2], row[-1]] for row in runs[1]] == [
        ["0", "0", "0.5", "100", 'pairlab "q"', "0.50"],
        ["1", "0", "-0.5", "100", 'pairlab "q"', "0.50"],
        ["1", "1", "-0.5", "100", 'pairlab "q"', "0.50"]]
    assert not (tmp_path / "pairs.tsv").exists()


@pytest.mark.parametrize("second, complaint", [
    (LEDGER.replace("choice", "tolerance"), "other columns"),
    (LEDGER.replace("choice", "sweep_N"), "named like a swept option: sweep_N"),
])
def test_merge_refuses_tables_it_cannot_pool(tmp_path, second, complaint):
    done = make_sweep(tmp_path, [(0, 0, {"Pairlab_runs.tsv": LEDGER}),
                                 (1, 0, {"Pairlab_runs.tsv": second})])
    with pytest.raises(ValueError, match=complaint):
        tables.merge_tables(tmp_path, done)


def test_reading_a_table_parses_missing_and_infinite_numbers(tmp_path):
    path = tmp_path / "t.tsv"
    path.write_text("file\tvalue\tp_value\treport\n1\tinf\tNA\t\n2\tnan\t0.5\tIncomplete sample\n"
                    "3\t-inf\t1e-300\t\n")
    frame = tables.read_table(path)
    assert frame["value"].tolist()[::2] == [math.inf, -math.inf] and math.isnan(frame["value"][1])
    assert math.isnan(frame["p_value"][0]) and frame["p_value"][2] == 1e-300
    assert frame["report"].fillna("").tolist() == ["", "Incomplete sample", ""]


def points_frame(n):
    return pd.DataFrame({"point": range(n), "sweep_choice": [str(p) for p in range(n)]})


def test_continuous_summary_counts_complete_files_and_skips_missing_correlations():
    files = pd.DataFrame({"point": [0, 0, 0, 0, 1],
                          "report": ["", "", "Incomplete sample", "", ""],
                          "correlation": [0.2, 0.4, 0.6, float("nan"), 0.1]})
    out = summary.summarise(points_frame(3), {"files": files}).set_index("point")
    assert out.loc[0, ["replicates", "complete"]].tolist() == [4, 3]
    assert out.loc[0, "correlation_mean"] == pytest.approx(0.4)
    assert out.loc[0, "correlation_sd"] == pytest.approx(0.2)
    half = 4.302652729911275 * 0.2 / math.sqrt(3)              # t(0.975, 2) sd / sqrt(n)
    assert out.loc[0, ["correlation_ci_low", "correlation_ci_high"]].tolist() == pytest.approx(
        [0.4 - half, 0.4 + half])
    assert out.loc[0, "correlation_low"] == pytest.approx(0.2 + 0.4 * 0.025)
    assert out.loc[0, "correlation_high"] == pytest.approx(0.2 + 0.4 * 0.975)
    assert math.isnan(out.loc[1, "correlation_sd"])          # a single file has no spread
    assert out.loc[2, ["replicates", "complete"]].tolist() == [0, 0]  # a point with no rows


def test_discrete_summary_matings_relative_to_random_mating_per_pair_of_types():
    # File 1: 20 matings, females 3/4 and 1/4, males 1/2 each; file 2: 10 matings, females 1/2
    # each, males 1/4 and 3/4 (and incomplete).
    rows = []
    for file, females, males, matings, complete in [(1, (30, 10), (20, 20), [[10, 5], [3, 2]], 1),
                                                    (2, (10, 10), (10, 30), [[1, 4], [2, 3]], 0)]:
        rows += [(0, "a", file, f + 1, m + 1, females[f], males[m], matings[f][m], complete)
                 for f in range(2) for m in range(2)]
    matings = pd.DataFrame(rows, columns=["point", "run_id", "file", "female_type", "male_type",
                                          "female_premating", "male_premating", "matings",
                                          "complete"])
    out = summary.summarise(points_frame(1), {"matings": matings}).iloc[0]
    assert out[["replicates", "complete"]].tolist() == [2, 1]
    # Expected per file: 7.5 7.5 2.5 2.5 | 1.25 3.75 1.25 3.75
    ratios = {"1x1": (10 / 7.5, 1 / 1.25), "1x2": (5 / 7.5, 4 / 3.75),
              "2x1": (3 / 2.5, 2 / 1.25), "2x2": (2 / 2.5, 3 / 3.75)}
    for pair, (first, second) in ratios.items():
        assert out[f"ratio_{pair}_mean"] == pytest.approx((first + second) / 2)
        half = 12.706204736432095 * abs(first - second) / 2           # t(0.975, 1) sd / sqrt(2)
        assert out[f"ratio_{pair}_ci_high"] - out[f"ratio_{pair}_mean"] == pytest.approx(half)


def test_rounds_summary_shares_of_significant_replicates_and_mean_index():
    indices = pd.DataFrame({
        "point": [0] * 6, "replicate": [1, 1, 2, 2, 3, 3],
        "index": ["JRpti", "E0R"] * 3,
        "value": [0.5, 0.1, 1.5, float("nan"), float("inf"), 0.3],
        "significant": [1, 0, 0, 0, 1, 0]})
    out = summary.summarise(points_frame(1), {"indices": indices}).iloc[0]
    assert out["replicates"] == 3 and out["complete"] == 3
    assert out["JRpti_significant"] == pytest.approx(2 / 3)
    assert [out["JRpti_significant_ci_low"], out["JRpti_significant_ci_high"]] == pytest.approx(
        [0.20765960, 0.93850806])                                   # Wilson, 2 of 3
    assert out["JRpti_mean"] == math.inf                        # an infinite index stays infinite
    assert out["E0R_mean"] == pytest.approx(0.2)                # nan left out
    assert "E0R_significant" not in out                         # never tested


def test_a_failed_job_leaves_the_complete_points_merged_and_is_named_in_failed_tsv(tmp_path):
    def finish(name, files=None, log=None):
        directory = tmp_path / "jobs" / name
        if files is not None:
            output = directory / "Out_Pairlab_x"
            output.mkdir(parents=True)
            rows = "".join(f"r\t{f}\t10\t\t0.{f}\t2\t2\n" for f in files)
            (output / "Pairlab_files.tsv").write_text(FILES + rows)
            (directory / job.DONE).write_text("Out_Pairlab_x\n")
        if log is not None:
            directory.mkdir(parents=True)
            (directory / job.LOG).write_text(log)

    make_sweep(tmp_path, [])
    plan = {"jobs": {f"p{p}_c{c}": {"point": p, "chunk": c} for p in (0, 1) for c in (0, 1)}}
    finish("p0_c0", [1, 2])
    finish("p0_c1", [3, 4])
    finish("p1_c0", [1, 2])
    finish("p1_c1", log=f"command: x\n{job.END_OF_OUTPUT}\nexit status: 3\nmessage: no\tmate\n")
    states = outcome.job_states(tmp_path, plan)
    assert [s.state for s in states] == ["done", "done", "done", "failed"]
    assert outcome.merge_complete(tmp_path, plan, states) == [0]
    assert tables.read_table(tmp_path / "files.tsv")["file"].tolist() == [1, 2, 3, 4]
    assert tables.read_table(tmp_path / "summary.tsv")["point"].tolist() == [0]
    points = tables.read_points(tmp_path).to_dict("records")
    outcome.write_failed(tmp_path, states, points)
    assert tables.read_text_rows(tmp_path / "failed.tsv") == (
        ["point", "chunk", "sweep_choice", "sweep_N", "exit_status", "message", "log"],
        [["1", "1", "-0.5", "100", "3", "no mate", str(tmp_path / "jobs" / "p1_c1" / job.LOG)]])

    # The same jobs: nothing merged again. The missing job done: every point, no failed.tsv.
    before = (tmp_path / "summary.tsv").stat().st_mtime_ns
    outcome.merge_complete(tmp_path, plan, outcome.job_states(tmp_path, plan))
    assert (tmp_path / "summary.tsv").stat().st_mtime_ns == before
    (tmp_path / "jobs" / "p1_c1" / job.LOG).unlink()
    finish("p1_c1", [3])
    states = outcome.job_states(tmp_path, plan)
    assert outcome.merge_complete(tmp_path, plan, states) == [0, 1]
    outcome.write_failed(tmp_path, states, points)
    assert not (tmp_path / "failed.tsv").exists()
    assert tables.read_table(tmp_path / "summary.tsv")["replicates"].tolist() == [4, 3]


@pytest.mark.parametrize("block", [1, 5, 1 << 20])
def test_the_merge_streams_rows_across_blocks_whatever_their_size(tmp_path, monkeypatch, block):
    monkeypatch.setattr(tables, "BLOCK", block)
    # Blank lines are left out; a last row without its newline gets one.
    done = make_sweep(tmp_path, [
        (0, 0, {"Pairlab_pairs.tsv": "run_id\tpair\nr\t1\n\nr\t22\n\n"}),
        (1, 0, {"Pairlab_pairs.tsv": "run_id\tpair\n\nr\t333\nr\t4"}),
    ])
    tables.merge_tables(tmp_path, done)
    assert (tmp_path / "pairs.tsv").read_text() == (
        "point\tsweep_choice\tsweep_N\trun_id\tpair\n0\t0.5\t100\tr\t1\n0\t0.5\t100\tr\t22\n"
        "1\t-0.5\t100\tr\t333\n1\t-0.5\t100\tr\t4\n")


def test_power_and_model_selection_of_the_analysed_replicates():
    nan = float("nan")
    tests = pd.DataFrame({"point": [0] * 6, "index": ["Jpti", "Jpsi"] * 3,
                          "p_chisq": [0.5, 0.01, 0.5, 0.05, 0.5, 0.2],
                          "p_null": [nan, 0.001, nan, nan, nan, 0.5], "p_perm": [nan] * 6})
    models = pd.DataFrame({"point": [0] * 6, "run_id": ["a", "a", "a", "a", "b", "b"],
                           "table": [1, 1, 2, 2, 1, 1], "model": ["random", "M3"] * 3,
                           "rank": [2, 1, 2, 1, 1, 2]})
    out = summary.summarise(points_frame(1), {"tests": tests, "models": models}).iloc[0]
    assert out["Jpsi_chisq_power"] == pytest.approx(2 / 3)           # p <= 0.05
    assert out["Jpsi_null_power"] == pytest.approx(1 / 2)            # of the replicates tested
    assert out["Jpti_chisq_power"] == 0 and "Jpti_null_power" not in out
    assert "Jpsi_perm_power" not in out                              # never tested
    assert [out["Jpsi_chisq_power_ci_low"], out["Jpsi_chisq_power_ci_high"]] == pytest.approx(
        [0.20765960, 0.93850806])                                     # Wilson, 2 of 3
    assert out[["M3_selected", "random_selected"]].tolist() == pytest.approx([2 / 3, 1 / 3])
    strict = summary.summarise(points_frame(1), {"tests": tests}, level=0.01).iloc[0]
    assert strict["Jpsi_chisq_power"] == pytest.approx(1 / 3)


def test_the_summary_read_a_point_at_a_time_is_the_summary_of_the_whole_tables(
        tmp_path, monkeypatch):
    (tmp_path / "points.tsv").write_text(
        "point\tsweep_choice\n" + "".join(f"{p}\t{p / 10}\n" for p in range(4)))
    rows = [(p, f"r{p}", f, "" if f % 3 else "Incomplete sample", (p * 7 + f * f) % 11 / 10)
            for p in (0, 1, 3) for f in range(1, 6 + p)]
    (tmp_path / "files.tsv").write_text(
        "point\tsweep_choice\trun_id\tfile\treport\tcorrelation\n" +
        "".join(f"{p}\t{p / 10}\t{r}\t{f}\t{rep}\t{c}\n" for p, r, f, rep, c in rows))
    monkeypatch.setattr(tables, "CHUNK_ROWS", 4)  # chunks that split the points
    summary.write_summary(tmp_path, [0, 1, 2, 3])
    whole = summary.summarise(tables.read_points(tmp_path),
                              {"files": tables.read_table(tmp_path / "files.tsv")})
    tables.write_table(whole, tmp_path / "whole.tsv")
    assert (tmp_path / "summary.tsv").read_text() == (tmp_path / "whole.tsv").read_text()


@pytest.mark.parametrize("second, found", [
    ("point\trun_id\tvalue\n0\tother-run\t1.5\n", None),          # run ids aside
    ("point\trun_id\tvalue\n0\tr\t1.50\n", "files.tsv, line 2"),
    ("point\trun_id\tvalue\n0\tr\t1.5\n1\tr\t2\n", "files.tsv, line 3"),
    (None, "files.tsv: only in"),
])
def test_two_sweeps_compare_by_their_tables_without_run_ids(tmp_path, second, found):
    for name, text in (("a", "point\trun_id\tvalue\n0\tr\t1.5\n"), ("b", second)):
        (tmp_path / name).mkdir()
        if text is not None:
            (tmp_path / name / "files.tsv").write_text(text)
    differences = compare.differences(tmp_path / "a", tmp_path / "b")
    assert differences == [] if found is None else differences[0].startswith(found)
