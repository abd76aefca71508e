"""Independent evaluations for the Transformation and display rendering tests.

Usage:
  render_reference.py stats TYPE FILE
      mean and standard deviation (ddof=1) of the samples of a raw file of numpy
      TYPE ("u1", "i2", "f4", ...), taken of the samples divided by their largest
      magnitude and multiplied back; prints "mean std" with 17 digits.
  render_reference.py ramp WIDTH HEIGHT X Y W H OUT
      the ramp frame value(i) = i * (65535 / (WIDTH * HEIGHT - 1)), i = row *
      WIDTH + column, through "range" over 0 .. 65535 and the "Grey" palette
      (the intensity's palette index by the row rule, at most 255 for Grey):
      writes the RGB bytes of the window clipped to the frame.
  render_reference.py rampstats WIDTH HEIGHT X Y W H
      mean, std (ddof=1), min and max of the ramp values in the box.
  render_reference.py pil MODE W H TW TH IN OUT
      Pillow's resize(BILINEAR) of a raw "L" or "RGB" image.
  render_reference.py bilinear CHANNELS W H TW TH IN OUT
      the bilinear rule of the display rendering in single precision: per axis
      step = source / target, positions step / 2 - 1/2 + k * step added up one
      step at a time, index floor(x) (outside below -1 or above source - 1, the
      first sample before 0, fraction 0 at the last), two interpolations, rounded
      to nearest (ties to even) and kept in 0 .. 255.
"""
import sys

import numpy as np

np.seterr(all="ignore")


def stats(kind, path):
    v = np.fromfile(path, dtype=np.dtype(kind)).astype(np.float64)
    # Scaled by the largest magnitude first, so that squares of large values do not overflow.
    s = np.abs(v).max()
    s = 1.0 if s == 0 else s
    print("%.17g %.17g" % ((v / s).mean() * s, (v / s).std(ddof=1) * s))


def ramp_values(width, height, x, y, w, h):
    c = np.float64(65535.0) / np.float64(width * height - 1)
    x0, y0 = max(x, 0), max(y, 0)
    x1, y1 = min(x + w, width), min(y + h, height)
    rows = np.arange(y0, y1, dtype=np.int64)[:, None]
    cols = np.arange(x0, x1, dtype=np.int64)[None, :]
    return (rows * width + cols).astype(np.float64) * c


def ramp(width, height, x, y, w, h, out):
    scale = 1.0 / (65535.0 - 0.0)
    offset = scale * 0.0
    y0, y1 = max(y, 0), min(y + h, height)
    with open(out, "wb") as f:
        # A band of rows at a time: a whole large frame never sits in memory.
        for top in range(y0, y1, 256):
            v = ramp_values(width, height, x, top, w, min(256, y1 - top))
            t = (v * scale - offset) * 255.0
            index = np.where(t >= 510.5, 511.0, np.where(t >= 0.5, np.rint(t), 0.0))
            grey = np.minimum(index, 255).astype(np.uint8)
            f.write(np.repeat(grey[:, :, None], 3, axis=2).tobytes())


def ramp_stats(width, height, x, y, w, h):
    v = ramp_values(width, height, x, y, w, h)
    print("%.17g %.17g %.17g %.17g" % (v.mean(), v.std(ddof=1), v.min(), v.max()))


def pil(mode, w, h, tw, th, src, out):
    from PIL import Image

    data = open(src, "rb").read()
    open(out, "wb").write(Image.frombytes(mode, (w, h), data).resize((tw, th), Image.BILINEAR).tobytes())


def axis(source, target):
    f32 = np.float32
    step = f32(source) / f32(target)
    x = step * f32(0.5) - f32(0.5)
    index = np.zeros(target, dtype=np.int64)
    fraction = np.zeros(target, dtype=np.float32)
    for k in range(target):
        i = int(np.floor(x))
        if i < -1 or i > source - 1:
            index[k], fraction[k] = -1, 0
        elif i == -1:
            index[k], fraction[k] = 0, 0
        elif i == source - 1:
            index[k], fraction[k] = i, 0
        else:
            index[k], fraction[k] = i, x - f32(i)
        x = f32(x + step)
    return index, fraction


def bilinear(channels, w, h, tw, th, src, out):
    f32 = np.float32
    image = np.fromfile(src, dtype=np.uint8).reshape(h, w, channels)
    ci, cf = axis(w, tw)
    ri, rf = axis(h, th)
    result = np.zeros((th, tw, channels), dtype=np.uint8)
    for ty in range(th):
        if ri[ty] < 0:
            continue
        fy = rf[ty]
        r0 = image[ri[ty]].astype(np.float32)
        r1 = image[ri[ty] + 1].astype(np.float32) if fy != 0 else r0
        for tx in range(tw):
            if ci[tx] < 0:
                continue
            i, fx = ci[tx], cf[tx]
            top = r0[i].copy()
            bottom = r1[i].copy()
            if fx != 0:
                top = f32(top + (r0[i + 1] - top) * fx)
                bottom = f32(bottom + (r1[i + 1] - bottom) * fx)
            value = top if fy == 0 else f32(top + (bottom - top) * fy)
            result[ty, tx] = np.clip(np.rint(value), 0, 255).astype(np.uint8)
    result.tofile(out)


def main():
    a = sys.argv[1:]
    if a[0] == "stats":
        stats(a[1], a[2])
    elif a[0] == "ramp":
        ramp(*map(int, a[1:7]), a[7])
    elif a[0] == "rampstats":
        ramp_stats(*map(int, a[1:7]))
    elif a[0] == "pil":
        pil(a[1], *map(int, a[2:6]), a[6], a[7])
    elif a[0] == "bilinear":
        bilinear(*map(int, a[1:6]), a[6], a[7])


main()
