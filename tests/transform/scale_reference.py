"""Independent evaluation of the value scaling rules with numpy.

Usage: scale_reference.py FOLDER
FOLDER/cases.txt holds one case a line: "name kernel offset scale v1 v2 v3 v4";
FOLDER/name.in holds the input doubles. Writes FOLDER/name.out with the outputs.
"""
import sys

import numpy as np

NO_DATA = -np.finfo(np.float64).max
DBL_MAX = np.finfo(np.float64).max

# Overflow, invalid operations and NaN comparisons are part of the rules.
np.seterr(all="ignore")


def range_of(x, o, s):
    return x * s - o


def k_range(x, o, s, v1, v2, v3, v4):
    r = range_of(x, o, s)
    return np.where((x == NO_DATA) | np.isnan(x), 0.0, r)


def k_pow(x, o, s, v1, v2, v3, v4):
    r = range_of(x, o, s)
    # Only r <= 0 is replaced: a NaN range goes through the power (NaN^0 is 1).
    y = np.power(np.where(r <= 0, 1.0, r), v2)
    y = np.where(np.isfinite(y), y, 0.0)
    return np.where((x == NO_DATA) | (r <= 0), 0.0, y)


def k_log(x, o, s, v1, v2, v3, v4):
    t = v2 * range_of(x, o, s)
    with np.errstate(all="ignore"):
        y = v1 * np.log10(np.where(t > 0, t, 1.0))
    return np.where((x == NO_DATA) | ~(t > 0), 0.0, y)


def k_exp(x, o, s, v1, v2, v3, v4):
    t = v2 * range_of(x, o, s)
    with np.errstate(all="ignore"):
        e = np.exp(np.where((t > 0) & (t <= 709.0895657), t, 0.0)) - 1.0
        if abs(v1) >= 1:
            lim = DBL_MAX / v1 if v1 > 0 else DBL_MAX
            y = np.where(e >= lim, DBL_MAX, np.where(e <= -lim, -DBL_MAX, v1 * e))
        else:
            y = v1 * e
            y = np.where(y >= DBL_MAX, DBL_MAX, np.where(y <= -DBL_MAX, -DBL_MAX, y))
        y = np.where(t > 709.0895657, v1 * 8.988465674311579e307, y)
    return np.where((x == NO_DATA) | ~(t > 0), 0.0, y)


def k_bitsshift(x, o, s, v1, v2, v3, v4):
    with np.errstate(all="ignore"):
        t = (x * (s * v2) - o * v2) * 255.0
        big = t >= 4294967295.0
        mid = ~big & (t >= 0.5)
        k = np.zeros(x.shape, dtype=np.uint64)
        k[big] = 0xFFFFFFFF
        k[mid] = np.rint(t[mid]).astype(np.uint64)
    shift = v3 % 32
    bits = (k >> np.uint64(shift)) & np.uint64(v4)
    f = np.ldexp(v1, shift + 1) / 255.0
    return np.where(x == NO_DATA, 0.0, bits.astype(np.float64) * f)


def k_bytewap(x, o, s, v1, v2, v3, v4):
    with np.errstate(all="ignore"):
        t = v2 * range_of(x, o, s)
        t = np.where(t > 1.0, 1.0, t)
        w = t * 2147483647.0
        w = np.where(np.isnan(w), 0.0, np.clip(w, -2147483648.0, 2147483647.0))
    k = np.trunc(w).astype(np.int32)
    swapped = k.byteswap().astype(np.float64)
    return np.where(x == NO_DATA, 0.0, swapped * (v1 * 4.656612875245797e-10))


KERNELS = {"range": k_range, "pow": k_pow, "log": k_log, "exp": k_exp,
           "bitsshift": k_bitsshift, "bytewap": k_bytewap}


def main(folder):
    with open(folder + "/cases.txt") as cases:
        for line in cases:
            words = line.split()
            if not words:
                continue
            name, kernel = words[0], words[1]
            o, s, v1, v2 = (float(w) for w in words[2:6])
            v3, v4 = int(words[6]), int(words[7])
            x = np.fromfile(folder + "/" + name + ".in", dtype="<f8")
            y = KERNELS[kernel](x, o, s, v1, v2, v3, v4).astype("<f8")
            y.tofile(folder + "/" + name + ".out")


if __name__ == "__main__":
    main(sys.argv[1])
