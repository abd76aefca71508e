# Evaluates the b-spline of anchor lists with scipy, as an independent check of
# the curve sampler. Input: pairs of lines, the anchors "x0 y0 x1 y1 ..." and
# the curve parameters "s0 s1 ..."; output: one line of "x y" pairs per list.
# The curve is the uniform cubic spline of the anchors with the first and last
# tripled, over the knots -3, -2, ... so that parameter j + t lies in segment j.
import sys

import numpy as np
from scipy.interpolate import BSpline

lines = [line for line in open(sys.argv[1]).read().split("\n") if line.strip()]
for i in range(0, len(lines), 2):
    anchors = np.array([float(v) for v in lines[i].split()]).reshape(-1, 2)
    params = np.array([float(v) for v in lines[i + 1].split()])
    control = np.vstack([anchors[:1], anchors[:1], anchors, anchors[-1:], anchors[-1:]])
    knots = np.arange(len(control) + 4, dtype=float) - 3.0
    values = BSpline(knots, control, 3)(params)
    print(" ".join("%.17g" % v for v in values.ravel()))
