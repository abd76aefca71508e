#!/usr/bin/python3
"""Writes the sample data files into a folder:

  stars.fits     2048 x 2048 unsigned 16-bit star field (BITPIX 16, BZERO 32768):
                 Gaussian stars on a noisy sky
  cube.fits      256 x 256 x 64 cube of 32-bit reals: a source drifting across
                 the field and brightening, on a noisy background
  spectrum.fits  a 1-D spectrum of 4096 32-bit reals with emission and
                 absorption lines and a linear wavelength axis

Every file is the same on every run (fixed seeds).
Usage: make_sample.py FOLDER
"""
import os
import sys

import numpy as np
from astropy.io import fits


def star_field(rng, size=2048, stars=1500):
    sky = rng.normal(1200.0, 25.0, (size, size))
    yy, xx = np.mgrid[-12:13, -12:13]
    xs = rng.uniform(0, size, stars)
    ys = rng.uniform(0, size, stars)
    # Brightness roughly like a real field: many faint stars, few bright ones.
    peaks = 60000.0 * rng.power(0.15, stars) + 100.0
    sigmas = rng.uniform(1.2, 2.6, stars)
    for x, y, peak, sigma in zip(xs, ys, peaks, sigmas):
        ix, iy = int(x), int(y)
        dx, dy = x - ix, y - iy
        stamp = peak * np.exp(-((xx - dx) ** 2 + (yy - dy) ** 2) / (2 * sigma * sigma))
        x0, y0 = ix - 12, iy - 12
        sx0, sy0 = max(0, -x0), max(0, -y0)
        x1, y1 = min(size, x0 + 25), min(size, y0 + 25)
        if x1 <= max(x0, 0) or y1 <= max(y0, 0):
            continue
        sky[max(y0, 0):y1, max(x0, 0):x1] += stamp[sy0:sy0 + y1 - max(y0, 0),
                                                    sx0:sx0 + x1 - max(x0, 0)]
    return np.clip(np.rint(sky), 0, 65535).astype(np.uint16)


def cube(rng, size=256, planes=64):
    yy, xx = np.mgrid[0:size, 0:size].astype(np.float32)
    data = np.empty((planes, size, size), dtype=np.float32)
    for k in range(planes):
        cx = 40.0 + 2.6 * k
        cy = 128.0 + 60.0 * np.sin(k / 10.0)
        amplitude = 500.0 + 20.0 * k
        blob = amplitude * np.exp(-((xx - cx) ** 2 + (yy - cy) ** 2) / (2 * 6.0 ** 2))
        ring = 80.0 * np.exp(-((np.hypot(xx - 128, yy - 128) - (20 + k)) ** 2) / 8.0)
        data[k] = blob + ring + rng.normal(100.0, 5.0, (size, size))
    return data


def spectrum(rng, points=4096):
    wave = 4000.0 + 1.0 * np.arange(points)
    flux = 1.0 + 0.3 * np.sin((wave - 4000.0) / 900.0)
    for center, depth, width in [(4340.5, -0.6, 3.0), (4861.3, -0.7, 3.5), (6562.8, 2.5, 4.0),
                                 (5893.0, -0.4, 1.5), (5007.0, 1.2, 2.0), (7600.0, -0.5, 8.0)]:
        flux += depth * np.exp(-((wave - center) ** 2) / (2 * width * width))
    return (flux + rng.normal(0.0, 0.02, points)).astype(np.float32)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(20261206)

    hdu = fits.PrimaryHDU(star_field(rng))  # unsigned 16-bit: BITPIX 16 with BZERO 32768
    hdu.header["OBJECT"] = "Synthetic star field"
    hdu.writeto(os.path.join(folder, "stars.fits"), overwrite=True)

    hdu = fits.PrimaryHDU(cube(rng))
    hdu.header["OBJECT"] = "Synthetic cube"
    hdu.writeto(os.path.join(folder, "cube.fits"), overwrite=True)

    hdu = fits.PrimaryHDU(spectrum(rng))
    hdu.header["OBJECT"] = "Synthetic spectrum"
    hdu.header["CRPIX1"] = 1.0
    hdu.header["CRVAL1"] = 4000.0
    hdu.header["CDELT1"] = 1.0
    hdu.header["CUNIT1"] = "Angstrom"
    hdu.writeto(os.path.join(folder, "spectrum.fits"), overwrite=True)


if __name__ == "__main__":
    main()
