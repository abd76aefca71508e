# The expected samples of the slice sampler tests, by the floor rule:
# pixel = (floor(x + ox), floor(y + oy)) in 32-bit floats, missing outside the
# frame; the ends outside the frame dropped. Prints the C++ initialisers.
import numpy as np

W, H, C = 12, 9, 3
MISSING = "kM"
f = np.float32


def value(col, row, c):
    return c * 1000 + row * 20 + col


def pixel(x, y):
    x, y = f(x), f(y)
    col = int(np.floor(x)) if np.isfinite(x) else 0
    row = int(np.floor(y)) if np.isfinite(y) else 0
    return col, row


def inside(col, row):
    return 0 <= col < W and 0 <= row < H


anchor = (f(2.5), f(1.25))
ox, oy = f(anchor[0] - 0.0), f(anchor[1] - 0.0)
path = [(-4.0, 0.0), (-2.0, 0.5), (0.0, 1.0), (2.0, 1.5), (4.0, -2.0), (6.0, 2.0), (8.0, 3.5), (9.0, 4.0),
        (10.0, 4.0), (11.0, 5.0)]
shifted = [(f(f(x) + ox), f(f(y) + oy)) for x, y in path]
ins = [inside(*pixel(x, y)) for x, y in shifted]
first = ins.index(True)
last = len(ins) - ins[::-1].index(True)
kept = shifted[first:last]


def sample(x, y, c):
    col, row = pixel(x, y)
    return value(col, row, c) if inside(col, row) else MISSING


print("// kept", first, last)
for c in range(C):
    print("line channel", c, ", ".join(str(sample(x, y, c)) for x, y in kept))

nminus, nplus = 2, 3
dx, dy = f(0.6), f(0.8)
for c in range(C):
    rows = []
    for x, y in kept:
        col, row = pixel(x, y)
        if not inside(col, row):
            rows.append([MISSING] * (nminus + nplus))
            continue
        r = [None] * (nminus + nplus)
        r[nminus] = value(col, row, c)
        for k in range(1, nplus):
            r[nminus + k] = sample(f(x + f(k) * dx), f(y + f(k) * dy), c)
        for k in range(1, nminus + 1):
            r[nminus - k] = sample(f(x - f(k) * dx), f(y - f(k) * dy), c)
        rows.append(r)
    print("strip channel", c, ", ".join(str(v) for r in rows for v in r))
