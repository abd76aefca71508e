#!/usr/bin/python3
"""Bitmap and JPEG test files from independent writers, with the samples an
independent decoder gives for each.

usage: make_image_files.py FOLDER

BMP files come from Pillow, netpbm's ppmtobmp and ImageMagick's convert, plus
hand-made RLE4 and top-down files; the reference samples are Pillow's RGB
decoding (ImageMagick's where Pillow has no decoder for the layout).
bmp_manifest.txt: "file reference width height bitsR bitsG bitsB" per line; a
channel's top bits are the ones to compare.

JPEG files come from cjpeg; the references are djpeg -dct float output.
jpeg_manifest.txt: "file reference width height components" per line.
A tool that is missing leaves its files out; "missing TOOL" lines say so.
"""
import os
import shutil
import struct
import subprocess
import sys

import numpy as np
from PIL import Image

out = sys.argv[1]
bmp_lines, jpeg_lines, missing = [], [], []


def path(name):
    return os.path.join(out, name)


def rgb_image(w, h, seed):
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:h, 0:w]
    a = np.stack([(x * 255 // max(w - 1, 1)), (y * 255 // max(h - 1, 1)), ((x + y) * 7) % 256], axis=2)
    a = (a + rng.integers(0, 24, a.shape)) % 256
    return a.astype(np.uint8)


def write_ppm(name, a):
    h, w = a.shape[:2]
    with open(path(name), "wb") as f:
        if a.ndim == 2:
            f.write(b"P5\n%d %d\n255\n" % (w, h))
        else:
            f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(a.tobytes())
    return path(name)


def read_pnm(p):
    data = open(p, "rb").read()
    fields, i = [], 0
    while len(fields) < 4:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            while data[i:i + 1] != b"\n":
                i += 1
            continue
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        fields.append(data[i:j])
        i = j
    w, h = int(fields[1]), int(fields[2])
    comps = 3 if fields[0] == b"P6" else 1
    return data[i + 1:i + 1 + w * h * comps], w, h, comps


def pillow_reference(bmp, bits=(8, 8, 8)):
    im = Image.open(path(bmp)).convert("RGB")
    ref = bmp + ".rgb"
    open(path(ref), "wb").write(im.tobytes())
    bmp_lines.append("%s %s %d %d %d %d %d" % ((bmp, ref) + im.size + tuple(bits)))


def magick_reference(bmp, bits):
    ref = bmp + ".rgb"
    raw = subprocess.run(["convert", path(bmp), "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    open(path(ref), "wb").write(raw)
    w, h = Image.open(path(bmp)).size if False else identify(bmp)
    bmp_lines.append("%s %s %d %d %d %d %d" % ((bmp, ref, w, h) + tuple(bits)))


def identify(bmp):
    s = subprocess.run(["identify", "-format", "%w %h", path(bmp)], check=True,
                       capture_output=True, text=True).stdout.split()
    return int(s[0]), int(s[1])


def have(tool):
    if shutil.which(tool):
        return True
    missing.append(tool)
    return False


# ---- Pillow ----
a = rgb_image(37, 23, 1)
Image.fromarray(a).convert("1").save(path("pil_1bit.bmp"))
Image.fromarray(a).quantize(colors=16).save(path("pil_p8.bmp"))
Image.fromarray(a).save(path("pil_rgb24.bmp"))
rgba = np.dstack([a, (np.arange(37 * 23).reshape(23, 37) % 256).astype(np.uint8)])
Image.fromarray(rgba, "RGBA").save(path("pil_rgb32.bmp"))
for f in ("pil_1bit.bmp", "pil_p8.bmp", "pil_rgb24.bmp", "pil_rgb32.bmp"):
    pillow_reference(f)

# ---- netpbm ----
if have("ppmtobmp"):
    few = (rgb_image(29, 17, 2) // 128 * 255).astype(np.uint8)  # at most 8 colours
    write_ppm("few.ppm", few)
    write_ppm("many.ppm", rgb_image(31, 19, 3))
    for name, args, src in (("ppm_4bit.bmp", ["-bpp", "4"], "few.ppm"),
                            ("ppm_os2_24.bmp", ["-os2", "-bpp", "24"], "many.ppm"),
                            ("ppm_os2_8.bmp", ["-os2", "-bpp", "8"], "few.ppm")):
        with open(path(name), "wb") as f:
            subprocess.run(["ppmtobmp"] + args + [path(src)], stdout=f, stderr=subprocess.DEVNULL,
                           check=True)
        pillow_reference(name)

# ---- ImageMagick ----
if have("convert"):
    src = write_ppm("im_src.ppm", rgb_image(300, 500, 4))  # more rows than one chunk
    small = write_ppm("im_small.ppm", rgb_image(41, 27, 5))
    subprocess.run(["convert", src, "-colors", "200", "-type", "Palette", "-compress", "RLE",
                    "BMP3:" + path("im_rle8.bmp")], check=True)
    pillow_reference("im_rle8.bmp")
    subprocess.run(["convert", small, "-define", "bmp:subtype=RGB565", "BMP:" + path("im_565.bmp")],
                   check=True)
    pillow_reference("im_565.bmp", (5, 6, 5))
    alpha = write_ppm("im_alpha.pgm", (np.arange(41 * 27).reshape(27, 41) % 256).astype(np.uint8))
    subprocess.run(["convert", small, alpha, "-alpha", "off", "-compose", "CopyOpacity",
                    "-composite", "BMP:" + path("im_argb32.bmp")], check=True)
    pillow_reference("im_argb32.bmp")
    subprocess.run(["convert", small, alpha, "-alpha", "off", "-compose", "CopyOpacity",
                    "-composite", "-define", "bmp:subtype=ARGB4444", "BMP:" + path("im_argb4444.bmp")],
                   check=True)
    magick_reference("im_argb4444.bmp", (4, 4, 4))


# ---- Hand-made ----
def bmp_file(w, h, bits, compression, palette, pixels, colors_used=0):
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, len(pixels), 2835, 2835,
                         colors_used, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + len(header) + len(pal)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + pal + pixels


# RLE4, 600 x 300 (several chunks of rows): runs, literals, runs cut at the end of
# the row, end of lines and the end of the bitmap. (Pillow's decoder misreads deltas,
# so they are tested with samples worked out by hand.)
pal16 = [((i * 16) % 256, (255 - i * 16) % 256, (i * 40) % 256) for i in range(16)]
rle = bytearray()
for row in range(300):
    if row == 299:
        rle += bytes([20, 0x3C, 0, 0])
        continue
    rle += bytes([0, 8, 0x12, 0x34, 0x56, 0x78])  # literal of 8 pixels (4 bytes, even)
    rle += bytes([255, (row % 16) * 17])
    rle += bytes([255, 0x5A])
    rle += bytes([100, 0xF0])
    rle += bytes([0, 0])
rle += bytes([0, 1])
open(path("hand_rle4.bmp"), "wb").write(bmp_file(600, 300, 4, 2, pal16, bytes(rle)))
pillow_reference("hand_rle4.bmp")

# Top-down 24-bit (negative height).
td = rgb_image(13, 9, 6)
rows = b"".join(td[y, :, ::-1].tobytes() + b"\0" * ((4 - 13 * 3 % 4) % 4) for y in range(9))
open(path("hand_topdown.bmp"), "wb").write(bmp_file(13, -9, 24, 0, [], rows))
pillow_reference("hand_topdown.bmp")

# ---- JPEG ----
if have("cjpeg") and have("djpeg"):
    write_ppm("jsrc.ppm", rgb_image(123, 77, 7))
    write_ppm("jsrc.pgm", rgb_image(64, 1, 8)[:, :, 0].copy())
    for name, args, src in (("baseline.jpg", [], "jsrc.ppm"),
                            ("progressive.jpg", ["-progressive"], "jsrc.ppm"),
                            ("grey.jpg", ["-grayscale"], "jsrc.ppm"),
                            ("restart.jpg", ["-restart", "1", "-sample", "2x2"], "jsrc.ppm"),
                            ("onerow.jpg", [], "jsrc.pgm")):
        subprocess.run(["cjpeg"] + args + ["-outfile", path(name), path(src)], check=True)
        ref = name + ".pnm"
        subprocess.run(["djpeg", "-dct", "float", "-pnm", "-outfile", path(ref), path(name)], check=True)
        data, w, h, comps = read_pnm(path(ref))
        open(path(name + ".raw"), "wb").write(data)
        jpeg_lines.append("%s %s %d %d %d" % (name, name + ".raw", w, h, comps))
if have("convert"):
    subprocess.run(["convert", path("im_small.ppm") if os.path.exists(path("im_small.ppm")) else
                    write_ppm("c.ppm", rgb_image(8, 8, 9)), "-colorspace", "CMYK",
                    path("cmyk.jpg")], check=True)

open(path("bmp_manifest.txt"), "w").write("\n".join(bmp_lines) + "\n")
open(path("jpeg_manifest.txt"), "w").write("\n".join(jpeg_lines) + "\n")
open(path("missing.txt"), "w").write("".join("missing %s\n" % t for t in missing))
