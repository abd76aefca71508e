#!/usr/bin/python3
"""SPE and LMA test files written from the header offset tables.

usage: make_spe_files.py FOLDER

Sample (x, y, frame) holds (x + 3 y + 7 frame) % 100 in the file's type.
spe_manifest.txt: "file result sizeX sizeY frames type framesFromHeader" per line;
result 2 opened, else the refusal expected (type and sizes then 0).
"""
import os
import struct
import sys

import numpy as np

out = sys.argv[1]
lines = []
# code: (numpy type, element type of the data set)
TYPES = {0: ("<f4", 0x400010), 1: ("<i4", 0x400008), 2: ("<i2", 0x400002), 3: ("<u2", 0x400102),
         5: ("<f8", 0x400040), 6: ("i1", 0x400001), 7: ("u1", 0x400101)}


def samples(code, w, h, frames):
    f, y, x = np.mgrid[0:frames, 0:h, 0:w]
    return ((x + 3 * y + 7 * f) % 100).astype(TYPES.get(code, ("<u2",))[0]).tobytes()


def header(newer, w, code, rows34=0, rows664=0, total656=0, height656=0, count1446=0):
    h = bytearray(4100)
    struct.pack_into("<H", h, 42, w & 0xFFFF)
    struct.pack_into("<h", h, 108, code)
    if newer:
        struct.pack_into("<H", h, 34, rows34 & 0xFFFF)
        struct.pack_into("<i", h, 664, rows664)
        struct.pack_into("<h", h, 656, total656)
        h[688:691] = b"1.4"
    else:
        struct.pack_into("<H", h, 656, height656)
        struct.pack_into("<i", h, 1446, count1446)
        h[688:691] = b"1.0"
    return bytes(h)


def spe(name, head, data, result, w=0, h=0, frames=0, code=None, stated=0):
    open(os.path.join(out, name), "wb").write(head + data)
    t = TYPES[code][1] if result == 2 else 0
    lines.append("%s %d %d %d %d %d %d" % (name, result, w, h, frames, t, stated))


# Older header: frame count from offset 1446 when the file holds it, else from the length.
for code in (0, 1, 2, 3):
    spe("old_%d.spe" % code, header(False, 5, code, height656=4, count1446=3),
        samples(code, 5, 4, 3), 2, 5, 4, 3, code, 1)
spe("old_count0.spe", header(False, 6, 3, height656=2, count1446=0),
    samples(3, 6, 2, 2) + b"\1" * 7, 2, 6, 2, 2, 3, 0)
spe("old_count_big.spe", header(False, 6, 3, height656=2, count1446=1000),
    samples(3, 6, 2, 3), 2, 6, 2, 3, 3, 0)
spe("old_type5.spe", header(False, 4, 5, height656=2, count1446=1), samples(5, 4, 2, 1), -24)
spe("old_zero_width.spe", header(False, 0, 3, height656=2, count1446=1), samples(3, 4, 2, 1), -24)
spe("old_no_frame.spe", header(False, 40, 3, height656=40, count1446=1), samples(3, 4, 2, 1), -24)
# Newer header: rows per frame at 34 (or 664), total rows at 656.
for code in (5, 6, 7, 2):
    spe("new_%d.spe" % code, header(True, 7, code, rows34=3, total656=6), samples(code, 7, 3, 2),
        2, 7, 3, 2, code, 1)
spe("new_ffff.spe", header(True, 7, 3, rows34=0xFFFF, rows664=4, total656=12),
    samples(3, 7, 4, 3), 2, 7, 4, 3, 3, 1)
spe("new_total_big.spe", header(True, 7, 3, rows34=2, total656=100),
    samples(3, 7, 2, 4) + b"\0" * 5, 2, 7, 2, 4, 3, 0)
spe("new_ffff_zero.spe", header(True, 7, 3, rows34=0xFFFF, rows664=0, total656=4),
    samples(3, 7, 4, 1), -24)
spe("new_rows0.spe", header(True, 7, 3, rows34=0, total656=4), samples(3, 7, 4, 1), -24)
spe("new_type4.spe", header(True, 7, 4, rows34=2, total656=4), samples(3, 7, 4, 1), -24)
spe("new_type9.spe", header(True, 7, 9, rows34=2, total656=4), samples(3, 7, 4, 1), -24)
spe("new_wide.spe", header(True, 0x7FFF, 3, rows34=1, total656=1), b"\0" * 100, -24)
spe("short.spe", header(False, 5, 3, height656=4, count1446=1)[:4000], b"", -24)

# LMA: 512 bytes of header, then 512 x 512 unsigned 16-bit samples.
open(os.path.join(out, "one.lma"), "wb").write(b"L" * 512 + samples(3, 512, 512, 1))
open(os.path.join(out, "short.lma"), "wb").write(b"L" * 300)
open(os.path.join(out, "spe_manifest.txt"), "w").write("\n".join(lines) + "\n")
