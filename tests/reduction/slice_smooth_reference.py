#!/usr/bin/python3
"""Independent references of the slice smoothing tests, from numpy and scipy.

Every command prints its numbers with 17 significant digits, one per line as
"name value". Files hold float64 values in machine order.

  medians FILE              the file holds records "n v0 .. v(n-1)"; prints
                            m<i>, the np.median of record i
  sliding FILE ROWS WIDTH WINDOW KIND
                            a ROWS x WIDTH block (NaN: missing); the window
                            estimates of every column (KIND mean, median or
                            either: the one closer to the column's previous
                            estimate, the median first and after a window
                            without values, the mean on a tie), each row then
                            divided by its mean; prints p<k>_<c> for the
                            produced row k and f<k> for its mean
  spline FILE N             x, y, sigma and a fitted curve a (4 N values): the
                            weighted sum of squares of the fit, and the values
                            of make_smoothing_spline(x, y, 1/sigma^2, lam) with
                            lam found by brentq so that its sum of squares is
                            the same; prints chi2, lam and a<i>
  natural FILE N            x and y (2 N values): the natural cubic spline
                            through them; prints b<i>, c<i>, d<i> per interval
  line FILE N               x, y and sigma (3 N values): np.polyfit(x, y, 1,
                            w=1/sigma); prints slope and intercept
"""
import sys

import numpy as np
from numpy.lib.stride_tricks import sliding_window_view
from scipy.interpolate import CubicSpline, make_smoothing_spline
from scipy.optimize import brentq


def out(name, value):
    print("%s %.17g" % (name, value))


def medians(path):
    v = np.fromfile(path, dtype=np.float64)
    i = 0
    k = 0
    while i < len(v):
        n = int(v[i])
        out("m%d" % k, np.median(v[i + 1:i + 1 + n]))
        i += 1 + n
        k += 1


def sliding(path, rows, width, window, kind):
    d = np.fromfile(path, dtype=np.float64).reshape(rows, width)
    views = sliding_window_view(d, window, axis=0)   # (rows - window + 1, width, window)
    m = views.shape[0]
    est = np.full((m, width), np.nan)
    for c in range(width):
        previous = None
        for k in range(m):
            vals = views[k, c][~np.isnan(views[k, c])]
            if len(vals) == 0:
                previous = None
                continue
            median, mean = np.median(vals), np.mean(vals)
            if kind == "median":
                e = median
            elif kind == "mean":
                e = mean
            elif previous is None:
                e = median
            else:
                e = median if abs(median - previous) < abs(mean - previous) else mean
            est[k, c] = e
            previous = e
    for k in range(m):
        row = est[k]
        f = np.nanmean(row)
        out("f%d" % k, f)
        for c in range(width):
            if not np.isnan(row[c]):
                out("p%d_%d" % (k, c), row[c] / f)


def spline(path, n):
    x, y, sigma, a = np.fromfile(path, dtype=np.float64).reshape(4, n)
    w = 1.0 / sigma ** 2
    chi2 = float(np.sum(((y - a) / sigma) ** 2))

    def excess(log_lam):
        s = make_smoothing_spline(x, y, w=w, lam=np.exp(log_lam))
        return float(np.sum(((y - s(x)) / sigma) ** 2)) - chi2

    log_lam = brentq(excess, -40.0, 40.0, xtol=1e-14, rtol=1e-15, maxiter=500)
    s = make_smoothing_spline(x, y, w=w, lam=np.exp(log_lam))
    out("chi2", chi2)
    out("lam", np.exp(log_lam))
    for i, value in enumerate(s(x)):
        out("a%d" % i, value)


def natural(path, n):
    x, y = np.fromfile(path, dtype=np.float64).reshape(2, n)
    s = CubicSpline(x, y, bc_type="natural")
    for i in range(n - 1):
        out("b%d" % i, s.c[2, i])
        out("c%d" % i, s.c[1, i])
        out("d%d" % i, s.c[0, i])


def line(path, n):
    x, y, sigma = np.fromfile(path, dtype=np.float64).reshape(3, n)
    slope, intercept = np.polyfit(x, y, 1, w=1.0 / sigma)
    out("slope", slope)
    out("intercept", intercept)


def main(argv):
    command = argv[1]
    if command == "medians":
        medians(argv[2])
    elif command == "sliding":
        sliding(argv[2], int(argv[3]), int(argv[4]), int(argv[5]), argv[6])
    elif command == "spline":
        spline(argv[2], int(argv[3]))
    elif command == "natural":
        natural(argv[2], int(argv[3]))
    elif command == "line":
        line(argv[2], int(argv[3]))
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
