"""The intervals of the summaries and figures, against scipy."""

import math

import pytest
from scipy import stats as scipy_stats

from pairlab_tools import stats


@pytest.mark.parametrize("df", [1, 2, 3, 7, 30, 1000, 10**6])
def test_critical_value_of_student_t(df):
    assert stats.t_quantile(df) == pytest.approx(scipy_stats.t.ppf(0.975, df), rel=1e-9)


@pytest.mark.parametrize("successes, n", [(0, 7), (3, 10), (10, 10), (1, 1), (500, 1000)])
def test_wilson_interval(successes, n):
    expected = scipy_stats.binomtest(successes, n).proportion_ci(method="wilson")
    assert stats.wilson_interval(successes, n) == pytest.approx((expected.low, expected.high),
                                                                abs=1e-12)


@pytest.mark.parametrize("values, expected", [
    ([1.0, 2.0, 3.0, float("nan")], (3, 2.0, 2.0 - 4.302652729911275 / math.sqrt(3),
                                     2.0 + 4.302652729911275 / math.sqrt(3))),
    ([5.0, 5.0], (2, 5.0, 5.0, 5.0)),
    ([4.0], (1, 4.0, math.nan, math.nan)),               # one value: no interval
    ([1.0, math.inf], (2, math.inf, math.nan, math.nan)),
    ([], (0, math.nan, math.nan, math.nan)),
])
def test_mean_and_its_interval(values, expected):
    assert stats.mean_interval(values) == pytest.approx(expected, nan_ok=True)
    assert stats.wilson_interval(0, 0) == pytest.approx((math.nan, math.nan), nan_ok=True)
