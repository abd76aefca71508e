#!/usr/bin/python3
"""What a data file looks like on the screen by default, worked out without the
program: files are read with astropy and Pillow, and every rule below is written
here from the rules of the stages, not from their code.

Usage:
  road_reference.py make FOLDER
      writes the road's test files into FOLDER: int16.fits (200 x 150, BITPIX 16,
      BZERO 32768, a star field), float.fits (200 x 150, BITPIX -32 with NaN
      samples), cube.fits (3 frames of 120 x 90, BITPIX 16, BSCALE 0.5, BZERO
      100), range.fits (BITPIX 16 with DATAMIN and DATAMAX), noise.fits (150 x
      100, BITPIX 32, uniform noise whose spread reaches both extremes), stated.fits
      (3 frames of 180 x 120, BITPIX -32 with NaN samples, DATAMIN and DATAMAX),
      blank.fits (200 x 150, BITPIX 16, BSCALE 0.25, BZERO 500, BLANK -32768:
      blank samples in a column, a block and 7 pixels of 60..119 x 40..99),
      rgb.bmp (200 x 150,
      24-bit), photo.jpg (200 x 150, RGB) and grey.jpg (160 x 120, one channel).
  road_reference.py render FILE OUT [FRAME [LOW HIGH]]
      writes the RGB bytes the Transformation shows for frame FRAME (default 0)
      of FILE, rows in the order of the data (the first stored row first), 8
      bits per channel, over the default range or over LOW .. HIGH when given;
      prints "width height low high" on one line: the frame's size and the
      display range.
  road_reference.py stats FILE [FRAME]
      prints "min max mean sigma" of the physical frame (17 digits).
  road_reference.py explain FILE [FRAME]
      prints the physical frame's statistics, the range that was chosen and why.
  road_reference.py blank FILE
      writes blank.fits (see make) as FILE.
  road_reference.py big FILE SIZE
      writes a SIZE x SIZE BITPIX 16 image with BZERO 32768 (the benchmark's file).

The rules:
- Physical values: stored value x BSCALE + BZERO (astropy's scaling); NaN stays
  NaN. Bitmaps and JPEG files give their decoded channels, 0 .. 255 each (three
  for colour images, one for grey JPEG files). Bitmaps are decoded by Pillow;
  JPEG files by djpeg with the floating-point inverse DCT and fancy upsampling,
  the decoder settings the JPEG reader must use (Pillow's decoder takes the
  integer DCT, whose results differ from it by up to 3 levels).
- Statistics of the frame in physical units over the samples that have a value
  (NaN and infinities take no part): minimum, maximum, mean and the sample
  standard deviation (divisor n - 1).
- The range a view takes when it gets its source, with no range of its own yet:
  the range the file states, when its upper bound lies above its lower one:
  FITS DATAMIN .. DATAMAX (both given, DATAMAX above DATAMIN), bitmaps and JPEG
  files 0 .. 255. Otherwise the statistics: minimum .. maximum when
  2 (mean + 3 sigma) > maximum and (mean - 4 sigma) / 2 < minimum (the spread
  reaches both extremes); else mean - 2 sigma .. mean + 4 sigma (the
  multipliers NMin 2 and NMax 4), widened to low .. low + 1 when empty.
- Scaling, the "range" class: r = (x - low) / (high - low) as x * s - o with
  s = 1 / (high - low), o = s * low (s = 1, o = low for an empty range); a
  sample without a value gives 0.
- Colour, the "Grey" class (the default class, the user palette, falls back to
  it while no palette is loaded): a working palette of 512 entries built from
  the ramp j / 255, entry j = (g, g, g) with g = 255 when j / 255 x 255 >= 254.5,
  0 below 0.5, else that value rounded half to even. A sample's entry: t = r x
  255; 511 when t >= 510.5, 0 when t < 0.5 or not a number, else t rounded half
  to even. One channel: the entry's three bytes; three channels: red from the
  first channel's entry, green from the second's, blue from the third's.
So NaN samples, and everything at or below the lower bound, are black; every
sample at or above the upper bound is white.
"""
import os
import sys

import numpy as np

np.seterr(all="ignore")


# ---- Test files ---------------------------------------------------------------------------

def star_field(width, height, seed, stars=40, sky=400.0, noise=25.0):
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width].astype(np.float64)
    image = sky + rng.normal(0.0, noise, (height, width)) + 0.8 * x + 0.3 * y
    for _ in range(stars):
        cx, cy = rng.uniform(0, width), rng.uniform(0, height)
        flux, w = rng.uniform(300.0, 20000.0), rng.uniform(1.0, 3.0)
        image += flux * np.exp(-((x - cx) ** 2 + (y - cy) ** 2) / (2 * w * w))
    return image


def make(folder):
    from astropy.io import fits
    from PIL import Image

    def path(name):
        return os.path.join(folder, name)

    # BITPIX 16 with BZERO 32768: unsigned 16-bit samples as FITS stores them.
    image = np.clip(np.rint(star_field(200, 150, 1) * 2.0), 0, 65535).astype(np.uint16)
    fits.PrimaryHDU(image).writeto(path("int16.fits"), overwrite=True)

    # BITPIX -32 with NaN samples: a column, a block and scattered pixels.
    rng = np.random.default_rng(2)
    image = (star_field(200, 150, 3) / 1000.0 - 0.2).astype(np.float32)
    image[:, 17] = np.nan
    image[40:52, 100:130] = np.nan
    image.flat[rng.choice(image.size, 300, replace=False)] = np.nan
    fits.PrimaryHDU(image).writeto(path("float.fits"), overwrite=True)

    # A cube of three frames with BSCALE and BZERO; each frame its own level.
    frames = [np.rint(star_field(120, 90, 10 + k, stars=15, sky=300.0 * (k + 1)) - 3000.0) for k in range(3)]
    stored = np.clip(np.stack(frames), -32768, 32767).astype(np.int16)
    hdu = fits.PrimaryHDU(stored)
    hdu.header["BSCALE"] = 0.5
    hdu.header["BZERO"] = 100.0
    hdu.writeto(path("cube.fits"), overwrite=True)

    # A range stated by the file: it wins over the statistics.
    image = np.rint(star_field(160, 100, 4) - 400.0).astype(np.int16)
    hdu = fits.PrimaryHDU(image)
    hdu.header["DATAMIN"] = 200.0
    hdu.header["DATAMAX"] = 1500.0
    hdu.writeto(path("range.fits"), overwrite=True)

    # Frames of reals with NaN samples and a stated range below the smallest value, so
    # that only the NaN samples are black.
    frames = []
    for k in range(3):
        frame = (star_field(180, 120, 20 + k, stars=12) / 1000.0 * (k + 1)).astype(np.float32)
        frame[:, 5] = np.nan
        frame[10:20, 30:60] = np.nan
        frames.append(frame)
    hdu = fits.PrimaryHDU(np.stack(frames))
    hdu.header["DATAMIN"] = 0.0
    hdu.header["DATAMAX"] = 5.0
    hdu.writeto(path("stated.fits"), overwrite=True)

    blank(path("blank.fits"))

    # Uniform noise: the spread reaches both extremes, which then make the range.
    image = np.random.default_rng(6).integers(-50000, 250000, (100, 150), dtype=np.int32)
    fits.PrimaryHDU(image).writeto(path("noise.fits"), overwrite=True)

    # Colour pictures: smooth gradients with some texture.
    y, x = np.mgrid[0:150, 0:200].astype(np.float64)
    rgb = np.stack([x * 255.0 / 199.0,
                    y * 255.0 / 149.0,
                    127.5 + 127.5 * np.sin(x / 13.0) * np.cos(y / 9.0)], axis=2)
    rgb += np.random.default_rng(5).normal(0.0, 6.0, rgb.shape)
    rgb = np.clip(np.rint(rgb), 0, 255).astype(np.uint8)
    Image.fromarray(rgb, "RGB").save(path("rgb.bmp"))
    Image.fromarray(rgb, "RGB").save(path("photo.jpg"), quality=95, subsampling=0)
    y, x = np.mgrid[0:120, 0:160].astype(np.float64)
    grey = np.clip(np.rint(128 + 100 * np.sin(x / 11.0 + y / 17.0)), 0, 255).astype(np.uint8)
    Image.fromarray(grey, "L").save(path("grey.jpg"), quality=95)


BLANK_PIXELS = [(61, 41), (75, 50), (90, 70), (90, 71), (100, 88), (110, 95), (118, 98)]


def blank(path):
    """Integer samples with BSCALE, BZERO and BLANK; astropy reads the blanks as NaN."""
    from astropy.io import fits
    stored = np.clip(np.rint(star_field(200, 150, 30) - 2000.0), -32767, 32767).astype(np.int16)
    stored[:, 17] = -32768
    stored[120:130, 150:180] = -32768
    for x, y in BLANK_PIXELS:
        stored[y, x] = -32768
    hdu = fits.PrimaryHDU(stored)
    hdu.header["BSCALE"] = 0.25
    hdu.header["BZERO"] = 500.0
    hdu.header["BLANK"] = -32768
    hdu.writeto(path, overwrite=True)


def big(path, size):
    from astropy.io import fits
    rng = np.random.default_rng(7)
    image = rng.normal(1000.0, 50.0, (size, size))
    image[size // 3:size // 3 + size // 8, size // 4:size // 4 + size // 8] += 3000.0
    image = np.clip(np.rint(image), 0, 65535).astype(np.uint16)
    fits.PrimaryHDU(image).writeto(path, overwrite=True)


# ---- Reading the file --------------------------------------------------------------------

def load(path, frame=0):
    """The physical frame as (height, width, channels) float64 and the stated range or None."""
    lower = path.lower()
    if lower.endswith((".fits", ".fit", ".fts")):
        from astropy.io import fits
        with fits.open(path) as hdul:
            header = hdul[0].header
            data = np.asarray(hdul[0].data, dtype=np.float64)
        if data.ndim == 3:
            data = data[frame]
        stated = None
        if "DATAMIN" in header and "DATAMAX" in header:
            low, high = float(header["DATAMIN"]), float(header["DATAMAX"])
            if high > low:
                stated = (low, high)
        return data[:, :, None], stated
    from PIL import Image
    if lower.endswith((".jpg", ".jpeg", ".jpe", ".jfif")):
        import io
        import subprocess
        decoded = subprocess.run(["djpeg", "-dct", "float", "-pnm", path], check=True, capture_output=True).stdout
        with Image.open(io.BytesIO(decoded)) as im:
            data = np.asarray(im, dtype=np.float64)
        return (data if data.ndim == 3 else data[:, :, None]), (0.0, 255.0)
    with Image.open(path) as im:
        if im.mode not in ("L", "RGB"):
            im = im.convert("RGB")
        data = np.asarray(im, dtype=np.float64)
    if data.ndim == 2:
        data = data[:, :, None]
    return data, (0.0, 255.0)


# ---- The rules ---------------------------------------------------------------------------

def statistics(values):
    v = values[np.isfinite(values)]
    if v.size == 0:
        return None
    sigma = float(v.std(ddof=1)) if v.size > 1 else 0.0
    return float(v.min()), float(v.max()), float(v.mean()), sigma


def default_range(stated, stats, nmin=2, nmax=4):
    """(low, high, why)."""
    if stated is not None and stated[1] > stated[0]:
        return stated[0], stated[1], "stated"
    if stats is None:
        return 0.0, 0.0, "none"
    low, high, mean, sigma = stats
    if 2.0 * (mean + 3.0 * sigma) > high and (mean - 4.0 * sigma) / 2.0 < low:
        return low, high, "extremes"
    a, b = mean - nmin * sigma, mean + nmax * sigma
    if a == b:
        b = a + 1.0
    return a, b, "sigma"


def grey_palette():
    j = np.arange(512, dtype=np.float64) / 255.0 * 255.0
    g = np.where(j >= 254.5, 255.0, np.where(j < 0.5, 0.0, np.rint(j)))
    return np.repeat(g.astype(np.uint8)[:, None], 3, axis=1)


def intensities(values, low, high):
    if low == high:
        s, o = 1.0, low
    else:
        s = 1.0 / (high - low)
        o = s * low
    r = values * s - o
    return np.where(np.isnan(values) | (values == -np.finfo(np.float64).max), 0.0, r)


def palette_index(r):
    t = r * 255.0
    index = np.where(t >= 510.5, 511.0, np.where((t < 0.5) | np.isnan(t), 0.0, np.rint(t)))
    return index.astype(np.int64)


def render(values, low, high):
    entries = grey_palette()
    index = palette_index(intensities(values, low, high))
    if values.shape[2] == 1:
        return entries[index[:, :, 0]]
    out = np.zeros(values.shape[:2] + (3,), dtype=np.uint8)
    for c in range(min(3, values.shape[2])):
        out[:, :, c] = entries[index[:, :, c], c]
    return out


def main(argv):
    if len(argv) >= 3 and argv[1] == "make":
        make(argv[2])
    elif len(argv) >= 3 and argv[1] == "blank":
        blank(argv[2])
    elif len(argv) >= 4 and argv[1] == "big":
        big(argv[2], int(argv[3]))
    elif len(argv) >= 4 and argv[1] == "render":
        values, stated = load(argv[2], int(argv[4]) if len(argv) > 4 else 0)
        if len(argv) > 6:
            low, high = float(argv[5]), float(argv[6])
        else:
            low, high, _ = default_range(stated, statistics(values))
        pixels = render(values, low, high)
        with open(argv[3], "wb") as f:
            f.write(np.ascontiguousarray(pixels).tobytes())
        print("%d %d %.17g %.17g" % (values.shape[1], values.shape[0], low, high))
    elif len(argv) >= 3 and argv[1] == "stats":
        values, _ = load(argv[2], int(argv[3]) if len(argv) > 3 else 0)
        print("%.17g %.17g %.17g %.17g" % statistics(values))
    elif len(argv) >= 3 and argv[1] == "explain":
        values, stated = load(argv[2], int(argv[3]) if len(argv) > 3 else 0)
        stats = statistics(values)
        low, high, why = default_range(stated, stats)
        print("size %d x %d x %d, stated %s" % (values.shape[1], values.shape[0], values.shape[2], stated))
        if stats is not None:
            print("min %.17g max %.17g mean %.17g sigma %.17g" % stats)
        print("range %.17g .. %.17g (%s)" % (low, high, why))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
