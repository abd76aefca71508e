#!/usr/bin/python3
"""Independent references of the region statistic tests, from numpy and scipy.

Every command prints its numbers with 17 significant digits, one per line as
"name value".

  factors N0 N1             sqrt((N-1)/2) Gamma((N-1)/2) / Gamma(N/2) for N0..N1
  moments FILE              statistics of the float64 values of a raw file
  histogram FILE MIN W K    counts of the values in K bins of width W centred on
                            MIN + i W; the last bin takes whatever lies beyond
  region FRAME W H C MASK [RING]
                            the statistic of the float64 frame (H rows of W pixels
                            of C interleaved channels) under the mask, a text file
                            of rectangles "x0 y0 x1 y1" (right and bottom
                            exclusive), per channel; with a ring file, its mean too
  centroid FRAME W H MASK THRESHOLD
                            the centroid of the values above the threshold under
                            the mask, weighted by value - threshold, with spreads,
                            covariance and asymmetries
  star-fits PATH            writes a 200 x 160 BITPIX -64 image with astropy: noise
                            of mean 100 and sigma 5, a star of peak 1000 and sigma
                            4 at (90.3, 70.6), and three NaN samples near the star
  fits-star FITS MASK RING  the statistic of the FITS image under the mask (NaN left
                            out), its background from the ring by the rules (mean
                            and mean absolute deviation, then the mean and sigma of
                            the values from level - 4 spread to level + 6 spread),
                            the threshold level + 2 sigma, FWHM and threshold
                            radius counts and the centroid above the threshold

The frame rows are in the order of the file (the first stored row is row 0).
"""
import sys

import numpy as np
from scipy import special, stats


def show(name, value):
    print(f"{name} {float(value):.17g}")


def moments(v):
    v = np.asarray(v, dtype=np.float64)
    n = v.size
    mean = v.mean()
    d = v - mean
    show("n", n)
    show("min", v.min())
    show("max", v.max())
    show("sum", v.sum())
    show("mean", mean)
    show("median", np.median(v))
    show("m2", np.mean(v * v))
    show("M2", np.mean(d ** 2))
    show("M3", np.mean(d ** 3))
    show("M4", np.mean(d ** 4))
    show("var1", v.var(ddof=1) if n > 1 else 0.0)
    if n > 2:
        show("skew", stats.skew(v, bias=True))
        show("skew1", stats.skew(v, bias=False))
        show("kurt", stats.kurtosis(v, bias=True))
    if n > 3:
        show("kurt1", stats.kurtosis(v, bias=False))


def rects_of(path):
    rects = []
    with open(path) as f:
        for line in f:
            if line.strip():
                rects.append(tuple(int(t) for t in line.split()))
    return rects


def mask_of(path, w, h):
    m = np.zeros((h, w), dtype=bool)
    for x0, y0, x1, y1 in rects_of(path):
        m[max(y0, 0):max(min(y1, h), 0), max(x0, 0):max(min(x1, w), 0)] = True
    return m


def centroid(frame, m, t):
    ys, xs = np.nonzero(m)
    v = frame[ys, xs]
    keep = v > t
    d = v[keep] - t
    x = xs[keep].astype(np.float64)
    y = ys[keep].astype(np.float64)
    s0 = d.sum()
    mx = (d * x).sum() / s0
    my = (d * y).sum() / s0
    vx = (d * (x - mx) ** 2).sum() / s0
    vy = (d * (y - my) ** 2).sum() / s0
    show("xc", mx)
    show("yc", my)
    show("xsig", np.sqrt(vx))
    show("ysig", np.sqrt(vy))
    show("xysig", (d * (x - mx) * (y - my)).sum() / s0)
    show("xasym", (d * (x - mx) ** 3).sum() / s0 / vx ** 1.5)
    show("yasym", (d * (y - my) ** 3).sum() / s0 / vy ** 1.5)
    show("above", keep.sum())


def background(ring):
    n = ring.size
    level = ring.mean()
    spread = np.abs(ring - level).mean() * np.sqrt(np.pi / 2)
    inside = ring[(ring >= level - 4 * spread) & (ring < level + 6 * spread)]
    if 0 < inside.size < n:
        n = inside.size
        level = inside.mean()
        if inside.size > 1:
            spread = inside.std(ddof=1)
    return n, level, spread


def main():
    cmd = sys.argv[1]
    if cmd == "factors":
        for n in range(int(sys.argv[2]), int(sys.argv[3]) + 1):
            k = np.sqrt((n - 1) / 2) * np.exp(special.gammaln((n - 1) / 2) - special.gammaln(n / 2))
            show(f"k{n}", k)
    elif cmd == "moments":
        moments(np.fromfile(sys.argv[2], dtype=np.float64))
    elif cmd == "histogram":
        v = np.fromfile(sys.argv[2], dtype=np.float64)
        low, w, k = float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
        first = low - w / 2
        edges = first + np.arange(0, k + 1, dtype=np.float64) * w
        edges[0] = -np.inf
        edges[-1] = np.inf
        counts, _ = np.histogram(v, edges)
        for i, c in enumerate(counts):
            show(f"b{i}", c)
    elif cmd == "region":
        w, h, c = int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
        frame = np.fromfile(sys.argv[2], dtype=np.float64).reshape(h, w, c)
        m = mask_of(sys.argv[6], w, h)
        for ch in range(c):
            v = frame[:, :, ch][m]
            v = v[~np.isnan(v)]
            print(f"channel {ch}")
            moments(v)
            if len(sys.argv) > 7:
                ring = frame[:, :, ch][mask_of(sys.argv[7], w, h)]
                show("ring_n", ring.size)
                show("ring_mean", ring.mean())
                show("ring_sigma", ring.std(ddof=1))
    elif cmd == "centroid":
        w, h = int(sys.argv[3]), int(sys.argv[4])
        frame = np.fromfile(sys.argv[2], dtype=np.float64).reshape(h, w)
        centroid(frame, mask_of(sys.argv[5], w, h), float(sys.argv[6]))
    elif cmd == "star-fits":
        from astropy.io import fits
        rng = np.random.default_rng(4242)
        y, x = np.mgrid[0:160, 0:200].astype(np.float64)
        data = 100.0 + rng.normal(0.0, 5.0, (160, 200))
        data += 1000.0 * np.exp(-((x - 90.3) ** 2 + (y - 70.6) ** 2) / (2 * 4.0 ** 2))
        for yy, xx in ((60, 80), (75, 101), (82, 95)):
            data[yy, xx] = np.nan
        fits.PrimaryHDU(data.astype(">f8")).writeto(sys.argv[2], overwrite=True)
    elif cmd == "fits-star":
        from astropy.io import fits
        frame = np.asarray(fits.getdata(sys.argv[2]), dtype=np.float64)
        h, w = frame.shape
        m = mask_of(sys.argv[3], w, h)
        v = frame[m]
        v = v[~np.isnan(v)]
        moments(v)
        ring = frame[mask_of(sys.argv[4], w, h)]
        ring = ring[~np.isnan(ring)]
        n, level, spread = background(ring)
        show("ring_n", n)
        show("bkgr", level)
        show("rms_bkgr", spread)
        t = level + 2 * spread
        show("threshold", t)
        half = (level + v.max()) / 2
        show("half_count", (v >= half).sum())
        centroid(np.where(np.isnan(frame), -np.inf, frame), m, t)
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
