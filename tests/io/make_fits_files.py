#!/usr/bin/python3
"""Writes FITS test files with astropy (and copies of some made by cfitsio's
fitscopy and imcopy) into a folder, and prints one line per header unit as
astropy reads it back:

  file unit kind bitpix naxis axes(comma) header_offset data_offset data_span
       bscale bzero first_bytes_hex first_values(comma)

kind is PRIMARY, IMAGE, BINTABLE or TABLE; first_bytes_hex are the stored bytes
of the first samples as numpy encodes them (big-endian), and first_values the
physical values of the first samples after scale and zero.
Usage: make_fits_files.py FOLDER
"""
import os
import shutil
import subprocess
import sys
import warnings

import numpy as np
from astropy.io import fits

warnings.simplefilter("ignore")


def image(shape, dtype, seed):
    rng = np.random.default_rng(seed)
    if np.dtype(dtype).kind == "f":
        return (rng.standard_normal(shape) * 100).astype(dtype)
    info = np.iinfo(dtype)
    return rng.integers(info.min, info.max, size=shape, dtype=dtype, endpoint=True)


def write_files(folder):
    made = []
    # Every BITPIX, unscaled.
    for name, dtype in [("u8", np.uint8), ("i16", np.int16), ("i32", np.int32),
                        ("i64", np.int64), ("f32", np.float32), ("f64", np.float64)]:
        path = os.path.join(folder, "plain_%s.fits" % name)
        fits.PrimaryHDU(image((37, 53), dtype, 1)).writeto(path, overwrite=True)
        made.append(path)
    # Scaled: unsigned 16-bit through BZERO=32768, and an explicit BSCALE/BZERO pair.
    path = os.path.join(folder, "scaled_u16.fits")
    fits.PrimaryHDU(image((64, 48), np.uint16, 2)).writeto(path, overwrite=True)
    made.append(path)
    path = os.path.join(folder, "scaled_bscale.fits")
    hdu = fits.PrimaryHDU(image((20, 30), np.int16, 3))
    hdu.header["BSCALE"] = 0.25
    hdu.header["BZERO"] = -12.5
    hdu.writeto(path, overwrite=True)
    made.append(path)
    # A cube and a four-axis image with a degenerate fourth axis.
    path = os.path.join(folder, "cube.fits")
    hdu = fits.PrimaryHDU(image((7, 16, 24), np.int16, 4))
    for i in range(50):  # a header of two blocks
        hdu.header.add_history("step %d" % i)
    hdu.writeto(path, overwrite=True)
    made.append(path)
    path = os.path.join(folder, "radio4d.fits")
    fits.PrimaryHDU(image((1, 3, 10, 12), np.float32, 5)).writeto(path, overwrite=True)
    made.append(path)
    # Multi-extension: an empty primary, an image, a binary table, another image.
    path = os.path.join(folder, "mef.fits")
    table = fits.BinTableHDU.from_columns([
        fits.Column(name="a", format="J", array=np.arange(300, dtype=np.int32)),
        fits.Column(name="b", format="PE()", array=[np.arange(i % 5, dtype=np.float32)
                                                    for i in range(300)]),
    ])
    fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(image((11, 13), np.int32, 6)), table,
                  fits.ImageHDU(image((9, 17), np.float64, 7))]).writeto(path, overwrite=True)
    made.append(path)
    # Copies made by cfitsio.
    if shutil.which("fitscopy"):
        for src, dst in [("mef.fits", "cf_mef.fits"), ("scaled_u16.fits", "cf_u16.fits")]:
            out = os.path.join(folder, dst)
            subprocess.run(["fitscopy", os.path.join(folder, src), out], check=True,
                           stdout=subprocess.DEVNULL)
            made.append(out)
    if shutil.which("imcopy"):
        out = os.path.join(folder, "cf_cube.fits")
        subprocess.run(["imcopy", os.path.join(folder, "cube.fits"), out], check=True,
                       stdout=subprocess.DEVNULL)
        made.append(out)
    return made


def describe(path):
    with fits.open(path, do_not_scale_image_data=True) as hdul:
        for i, hdu in enumerate(hdul):
            info = hdul.fileinfo(i)
            h = hdu.header
            kind = "PRIMARY" if i == 0 else h.get("XTENSION", "?").strip()
            naxis = h.get("NAXIS", 0)
            axes = ",".join(str(h["NAXIS%d" % (k + 1)]) for k in range(naxis)) or "-"
            bscale = h.get("BSCALE", 1.0)
            bzero = h.get("BZERO", 0.0)
            first_bytes = "-"
            first_values = "-"
            if kind in ("PRIMARY", "IMAGE") and naxis > 0:
                raw = np.asarray(hdu.data).ravel()[:4]
                first_bytes = raw.astype(raw.dtype.newbyteorder(">")).tobytes().hex()
                first_values = ",".join(repr(float(v) * bscale + bzero) for v in raw)
            print(os.path.basename(path), i, kind, h["BITPIX"], naxis, axes, info["hdrLoc"],
                  info["datLoc"], info["datSpan"], repr(float(bscale)), repr(float(bzero)),
                  first_bytes, first_values)


def main():
    folder = sys.argv[1]
    for path in write_files(folder):
        describe(path)


if __name__ == "__main__":
    main()
