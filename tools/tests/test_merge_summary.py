"""Merging the jobs' tables and summarising every point, on tables written by hand."""

import math

import pandas as pd
import pytest

from pairlab_tools import summary, tables

LEDGER = "run_id\tstart_time\tend_time\tversion\tseed\tstatus\tfiles_completed\tmessage\tcommand_line\tchoice\n"
FILES = "run_id\tfile\tsample_size\treport\tcorrelation\tfemale_encounters\tmale_encounters\n"


def make_sweep(tmp_path, jobs):
    """A sweep of two points swept over -choice and -N; jobs: (point, chunk, {file: text})."""
    (tmp_path / "points.tsv").write_text("point\tchoice\tN\n0\t0.5\t100\n1\t-0.5\t100\n")
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
    assert merged[0] == "point\tchoice\tN\t" + FILES.strip()
    # Every value exactly as the program wrote it, rows in point, chunk, file order.
    assert [line.split("\t")[:5] + line.split("\t")[6:8] for line in merged[1:]] == [
        ["0", "0.5", "100", "r00", "1", "", "1e-300"], ["0", "0.5", "100", "r00", "2", "", "-inf"],
        ["1", "-0.5", "100", "r10", "1", "", "0.30000000000000004"],
        ["1", "-0.5", "100", "r10", "2", "", "nan"],
        ["1", "-0.5", "100", "r11", "3", "", "0.1"],
        ["1", "-0.5", "100", "r11", "4", "Incomplete sample", "NA"]]
    runs = tables.read_text_rows(tmp_path / "runs.tsv")
    # The ledger's own column of a swept option (its settled value) is kept, not repeated.
    assert runs[0][:3] == ["point", "chunk", "N"] and runs[0].count("choice") == 1
    assert [row[:3] + [row[-2], row[-1]] for row in runs[1]] == [
        ["0", "0", "100", 'pairlab "q"', "0.50"], ["1", "0", "100", 'pairlab "q"', "0.50"],
        ["1", "1", "100", 'pairlab "q"', "0.50"]]
    assert not (tmp_path / "pairs.tsv").exists()


def test_merge_refuses_tables_whose_columns_differ_between_jobs(tmp_path):
    done = make_sweep(tmp_path, [(0, 0, {"Pairlab_runs.tsv": LEDGER}),
                                 (1, 0, {"Pairlab_runs.tsv": LEDGER.replace("choice", "tolerance")})])
    with pytest.raises(ValueError, match="other columns"):
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
    return pd.DataFrame({"point": range(n), "choice": [str(p) for p in range(n)]})


def test_continuous_summary_counts_complete_files_and_skips_missing_correlations():
    files = pd.DataFrame({"point": [0, 0, 0, 0, 1],
                          "report": ["", "", "Incomplete sample", "", ""],
                          "correlation": [0.2, 0.4, 0.6, float("nan"), 0.1]})
    out = summary.summarise(points_frame(3), {"files": files}).set_index("point")
    assert out.loc[0, ["replicates", "complete"]].tolist() == [4, 3]
    assert out.loc[0, "correlation_mean"] == pytest.approx(0.4)
    assert out.loc[0, "correlation_sd"] == pytest.approx(0.2)
    assert out.loc[0, "correlation_low"] == pytest.approx(0.2 + 0.4 * 0.025)
    assert out.loc[0, "correlation_high"] == pytest.approx(0.2 + 0.4 * 0.975)
    assert math.isnan(out.loc[1, "correlation_sd"])          # a single file has no spread
    assert out.loc[2, ["replicates", "complete"]].tolist() == [0, 0]  # a point with no rows


def test_discrete_summary_counts_a_file_complete_only_when_all_its_rows_are():
    matings = pd.DataFrame({"point": [0] * 6, "file": [1, 1, 2, 2, 3, 3],
                            "complete": [1, 1, 1, 0, 1, 1]})
    out = summary.summarise(points_frame(1), {"matings": matings})
    assert out[["replicates", "complete"]].values.tolist() == [[3, 2]]


def test_rounds_summary_shares_of_significant_replicates_and_mean_index():
    indices = pd.DataFrame({
        "point": [0] * 6, "replicate": [1, 1, 2, 2, 3, 3],
        "index": ["JRpti", "E0R"] * 3,
        "value": [0.5, 0.1, 1.5, float("nan"), float("inf"), 0.3],
        "significant": [1, 0, 0, 0, 1, 0]})
    out = summary.summarise(points_frame(1), {"indices": indices}).iloc[0]
    assert out["replicates"] == 3 and out["complete"] == 3
    assert out["JRpti_significant"] == pytest.approx(2 / 3)
    assert out["JRpti_mean"] == math.inf                        # an infinite index stays infinite
    assert out["E0R_mean"] == pytest.approx(0.2)                # nan left out
    assert "E0R_significant" not in out                         # never tested
