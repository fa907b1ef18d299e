"""The intervals the summaries and figures show: the 95 % confidence interval of a mean (Student's
t) and the 95 % Wilson interval of a share. Standard library only (Debian's Python has no scipy
at run time)."""

import functools
import math
from statistics import NormalDist

LEVEL = 0.95
DEFAULT_LEVEL = 0.05  # a test is significant at p <= this level (the power of a sweep's tests)
Z = NormalDist().inv_cdf(0.5 + LEVEL / 2)  # 1.959963984540054


def _beta_fraction(a, b, x):
    """The continued fraction of the incomplete beta function (modified Lentz)."""
    tiny = 1e-300
    c, d = 1.0, 1.0 - (a + b) * x / (a + 1.0)
    d = 1.0 / (d if abs(d) > tiny else tiny)
    result = d
    for m in range(1, 1000):
        for numerator in (m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m)),
                          -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1))):
            d = 1.0 + numerator * d
            d = 1.0 / (d if abs(d) > tiny else tiny)
            c = 1.0 + numerator / c
            c = c if abs(c) > tiny else tiny
            result *= c * d
        if abs(c * d - 1.0) < 1e-15:
            break
    return result


def incomplete_beta(a, b, x):
    """The regularised incomplete beta function I_x(a, b), 0 <= x <= 1."""
    if x <= 0.0 or x >= 1.0:
        return 0.0 if x <= 0.0 else 1.0
    front = math.exp(math.lgamma(a + b) - math.lgamma(a) - math.lgamma(b)
                     + a * math.log(x) + b * math.log1p(-x))
    if x < (a + 1.0) / (a + b + 2.0):
        return front * _beta_fraction(a, b, x) / a
    return 1.0 - front * _beta_fraction(b, a, 1.0 - x) / b


def t_tail(t, df):
    """P(|T| > t) for Student's t with df degrees of freedom."""
    return incomplete_beta(df / 2.0, 0.5, df / (df + t * t))


@functools.lru_cache(maxsize=None)
def t_quantile(df):
    """The t with P(|T| > t) = 1 - LEVEL (the two-sided critical value), by bisection."""
    low, high = 0.0, 2.0 * Z
    while t_tail(high, df) > 1.0 - LEVEL:
        low, high = high, 2.0 * high
    for _ in range(200):
        middle = (low + high) / 2.0
        if middle in (low, high):
            break
        low, high = (middle, high) if t_tail(middle, df) > 1.0 - LEVEL else (low, middle)
    return (low + high) / 2.0


def mean_interval(values):
    """(n, mean, low, high): the number of values, their mean and its 95 % confidence interval
    (mean +- t * sd / sqrt(n)). Missing values (NaN) are left out; fewer than two values, or an
    infinite one, give no interval (NaN)."""
    values = [v for v in map(float, values) if not math.isnan(v)]
    n = len(values)
    if n == 0:
        return 0, math.nan, math.nan, math.nan
    mean = math.fsum(values) / n
    if n < 2 or not math.isfinite(mean):
        return n, mean, math.nan, math.nan
    sd = math.sqrt(math.fsum((v - mean) ** 2 for v in values) / (n - 1))
    half = t_quantile(n - 1) * sd / math.sqrt(n)
    return n, mean, mean - half, mean + half


def wilson_interval(successes, n):
    """The 95 % Wilson score interval of a share of successes among n trials (NaN when n is 0)."""
    if n == 0:
        return math.nan, math.nan
    share = successes / n
    z2 = Z * Z
    centre = (share + z2 / (2 * n)) / (1 + z2 / n)
    half = Z / (1 + z2 / n) * math.sqrt(share * (1 - share) / n + z2 / (4 * n * n))
    low = 0.0 if successes == 0 else centre - half
    high = 1.0 if successes == n else centre + half
    return low, high
