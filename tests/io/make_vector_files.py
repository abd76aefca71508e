#!/usr/bin/env python3
"""Writes vector files (slices, statistics, the old form) for the reader tests,
straight from the chunk layout, and a manifest of what each file holds.

Usage: make_vector_files.py OUTDIR

Chunk layout (little-endian):
  file      8-byte magic 00 VV 'R' 'E' 'C' 'B' 01 00 (VV = 1 or 2), then chunks
  chunk     tag[4], u32 size (with the 16-byte header), u32 nested count, i32 fourth
  HCBN      size >= 72: chunk header, then i32 dims, u32 desc, u32 type flags, u32 bits,
            u32 channels, u32 unused, f64 scale1, f64 zero1, f64 value scale, f64 value zero
  HCED      size 16, count 0, fourth 0
  O...      a frame; its count of nested record chunks follows it
  FBIN      a record chunk: "TAV2" u32 payload, i32 x, i32 y          (chunk size >= 32)
                         or "RVALUE2D" u64 payload, i64 x, i64 y       (chunk size >= 48)
            other tags: 4-byte tag, u32 payload (such records are passed over)
            then the payload (x * y samples), padded to 8 bytes
The manifest has one line per fact:
  file NAME OPENER RESULT SETS        OPENER: slice, stat or old
  set  INDEX FRAMES TYPE BITS SCALE ZERO
  sec  SET FRAME SECTION X Y V...     V: the stored values of the section
"""
import os
import struct
import sys

DBL_MAX = 1.7976931348623157e308


def magic(version=2):
    return bytes([0, version]) + b"RECB\x01\x00"


def chunk(tag, size, count=0, fourth=0):
    return struct.pack("<4sIIi", tag, size, count, fourth)


def header(flags, bits=0, dims=1, scale1=1.0, zero1=0.0, vscale=1.0, vzero=0.0, fourth=1,
           extra=0, count=0):
    block = struct.pack("<iiIIII4d", dims, 7, flags, bits, 1, 0, scale1, zero1, vscale, vzero)
    return chunk(b"HCBN", 72 + extra, count, fourth) + block + b"\0" * extra


def end():
    return chunk(b"HCED", 16)


def pad8(b):
    return b + b"\0" * (-len(b) % 8)


# Sample packers by type flags.
def pack(flags, values):
    big = ">" if flags & 0x02 else "<"
    uns = flags & 0x04
    if flags & 0x40:
        code = "f"
    elif flags & 0x100:
        code = "d"
    elif flags & 0x08:
        code = "B" if uns else "b"
    elif flags & 0x10:
        code = "H" if uns else "h"
    elif flags & 0x20:
        code = "I" if uns else "i"
    elif flags & 0x80:
        code = "Q" if uns else "q"
    else:
        raise ValueError(flags)
    return struct.pack(big + code * len(values), *values)


def record_t(x, y, payload, extra=0):
    return chunk(b"FBIN", 32 + extra) + b"TAV2" + struct.pack("<Iii", len(payload), x, y) + \
        b"\0" * extra + pad8(payload)


def record_r(x, y, payload, extra=0):
    return chunk(b"FBIN", 48 + extra) + b"RVALUE2D" + struct.pack("<Qqq", len(payload), x, y) + \
        b"\0" * extra + pad8(payload)


def frame(tag, records, extra=b""):
    return chunk(tag, 16 + len(extra), len(records)) + extra + b"".join(records)


def other(tag, content=b"", nested=()):
    return chunk(tag, 16 + len(content), len(nested)) + content + b"".join(nested)


class Out:
    def __init__(self, folder):
        self.folder = folder
        self.lines = []

    def file(self, name, data, opener, result, sets):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)
        self.lines.append("file %s %s %d %d" % (name, opener, result, len(sets)))
        for i, s in enumerate(sets):
            frames, type_, bits, scale, zero, sections = s
            self.lines.append("set %d %d %d %d %r %r" % (i, frames, type_, bits, scale, zero))
            for (f, k, x, y, values) in sections:
                self.lines.append("sec %d %d %d %d %d %s" % (i, f, k, x, y,
                                                            " ".join(repr(v) for v in values)))

    def close(self):
        with open(os.path.join(self.folder, "manifest.txt"), "w") as f:
            f.write("\n".join(self.lines) + "\n")


def main():
    out = Out(sys.argv[1])
    vec = 0x800000

    # A slice of 64-bit reals: two frames, the first with two sections of either record kind.
    a = [0.5, -1.25, 3.0, 1e10, -7.0]
    b = [2.0, 4.0, 8.0]
    c = [1.0, 2.0, 3.0, 4.0]
    data = magic(2) + header(0x100, vscale=2.0, vzero=1.0) + \
        frame(b"OSLE", [record_t(5, 1, pack(0x100, a)), record_r(3, 1, pack(0x100, b), extra=8)]) + \
        frame(b"OSLE", [record_r(4, 1, pack(0x100, c))]) + end()
    out.file("slice_f64.slc", data, "slice", 2, [
        (2, 0x40 | vec, 64, 2.0, 1.0, [(0, 0, 5, 1, a), (0, 1, 3, 1, b), (1, 0, 4, 1, c)])])

    # A statistic of big-endian 16-bit integers, 3 x 2 sections, behind chunks that are
    # passed over; a value scale of 0 becomes 1.0 and a zero of DBL_MAX becomes 0.
    s1 = [-3, 200, 32767, -32768, 0, 5]
    s2 = [1, 2, 3, 4, 5, 6]
    skipped = other(b"XTRA", b"12345678", [record_t(2, 1, pack(0x12, [9, 9])),
                                          record_r(1, 1, pack(0x12, [9]))])
    data = magic(2) + skipped + chunk(b"F\0\0\0", 16) + \
        header(0x12, dims=5, vscale=0.0, vzero=DBL_MAX, extra=16) + \
        frame(b"OSTC", [record_t(3, 2, pack(0x12, s1))]) + \
        frame(b"OSTC", [record_t(3, 2, pack(0x12, s2))], extra=b"\0" * 8) + end()
    out.file("stat_i16be.stc", data, "stat", 2, [
        (2, 0x82 | vec, 16, 1.0, 0.0, [(0, 0, 3, 2, s1), (1, 0, 3, 2, s2)])])

    # Version 1: both readers look for "OSLE" frames. Unsigned bytes with 12 stated bits.
    u = [0, 1, 127, 128, 255]
    data = magic(1) + header(0x0C, bits=12) + frame(b"OSLE", [record_t(5, 1, pack(0x0C, u))]) + end()
    out.file("v1_u8.stc", data, "stat", 2, [(1, 0x101 | vec, 8, 1.0, 0.0, [(0, 0, 5, 1, u)])])

    # Two data sets in one file; 32-bit reals (little-endian) and 32-bit integers.
    f1 = [1.5, -2.5]
    i1 = [-100000, 7, 123456789]
    data = magic(2) + header(0x40, vscale=0.5) + frame(b"OSLE", [record_t(2, 1, pack(0x40, f1))]) + \
        end() + header(0x20) + frame(b"OSLE", [record_t(3, 1, pack(0x20, i1))]) + end()
    out.file("two_sets.slc", data, "slice", 2, [
        (1, 0x10 | vec, 32, 0.5, 0.0, [(0, 0, 2, 1, f1)]),
        (1, 0x08 | vec, 32, 1.0, 0.0, [(0, 0, 3, 1, i1)])])

    # Records of other kinds and empty records add no section; a frame left without a
    # section is dropped, so the third frame chunk becomes the second frame.
    odd_t = chunk(b"FBIN", 32) + b"TXYZ" + struct.pack("<Iii", 8, 1, 1) + pack(0x100, [99.0])
    # A tag other than "RVALUE2D" has the short form: 4-byte tag, 32-bit payload size.
    odd_r = chunk(b"FBIN", 32) + b"RVAL" + struct.pack("<Iii", 8, 1, 1) + pack(0x100, [98.0])
    empty = chunk(b"FBIN", 32) + b"TAV2" + struct.pack("<Iii", 0, 0, 0)
    g1 = [5.0, 6.0]
    g2 = [-1.0]
    data = magic(2) + header(0x100) + \
        frame(b"OSLE", [odd_t, empty, record_t(2, 1, pack(0x100, g1))]) + \
        frame(b"OSLE", [odd_r]) + frame(b"OSLE", [record_t(1, 1, pack(0x100, g2)), odd_t]) + end()
    out.file("odd_records.slc", data, "slice", 2, [
        (2, 0x40 | vec, 64, 1.0, 0.0, [(0, 0, 2, 1, g1), (1, 0, 1, 1, g2)])])

    # Files that must be refused, with the result.
    good = frame(b"OSLE", [record_t(2, 1, pack(0x100, [1.0, 2.0]))])
    out.file("short.slc", magic(2) + b"\0" * 8, "slice", -12, [])
    out.file("bad_magic.slc", b"\0\x03RECB\x01\0" + header(0x100) + good + end(), "slice", -6, [])
    out.file("bad_chunk.slc", magic(2) + chunk(b"HCBN", 8) + b"\0" * 64, "slice", -23, [])
    out.file("bad_end.slc", magic(2) + chunk(b"HCED", 16, 1) + header(0x100) + good, "slice", -23, [])
    out.file("nested_count.slc", magic(2) + header(0x100) +
             frame(b"OSLE", [chunk(b"FBIN", 32, 1) + b"\0" * 16]) + end(), "slice", -12, [])
    out.file("no_type.slc", magic(2) + header(0x01) + good + end(), "slice", -23, [])
    out.file("other_tag.slc", magic(2) + header(0x100) + good + end(), "stat", -23, [])
    out.file("past_end.slc", magic(2) + header(0x100) + frame(b"OSLE", [
        chunk(b"FBIN", 32) + b"TAV2" + struct.pack("<Iii", 800, 100, 1) + b"\0" * 16]), "slice", -23, [])
    # No columns but 2^54 rows: nothing the record holds may claim such a height.
    out.file("empty_rows.slc", magic(2) + header(0x100) +
             frame(b"OSLE", [record_r(0, 1 << 54, pack(0x100, [1.0]))]) + end(), "slice", -23, [])
    out.file("short_payload.slc", magic(2) + header(0x100) +
             frame(b"OSLE", [record_t(4, 1, pack(0x100, [1.0, 2.0]))]) + end(), "slice", -23, [])

    # The old form: a 2-byte header, then unsigned 16-bit little-endian samples.
    old = [0, 1, 65535, 1234, 40000, 7]
    with open(os.path.join(out.folder, "old.bvc"), "wb") as f:
        f.write(b"\xAB\xCD" + struct.pack("<%dH" % len(old), *old))
    out.lines.append("file old.bvc old 2 1")
    out.lines.append("set 0 1 %d 16 1.0 0.0" % (0x102 | vec))
    out.lines.append("sec 0 0 0 %d 1 %s" % (len(old), " ".join(str(v) for v in old)))
    out.close()


if __name__ == "__main__":
    main()
