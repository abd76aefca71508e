# Text tables written by numpy's savetxt, with the values numpy's loadtxt reads back from
# them as the reference (raw little-endian float64, row after row).
# Usage: make_text_tables.py FOLDER; writes FOLDER/text_manifest.txt with lines
#   table reference rows columns
import os
import sys

import numpy as np

folder = sys.argv[1]
rng = np.random.default_rng(20261206)
manifest = []


def table(rows, cols):
    a = rng.normal(size=(rows, cols)) * 10.0 ** rng.integers(-30, 30, size=(rows, cols))
    return a


def write(name, data, delimiter, header, newline="\n", loadtxt_delimiter=None):
    path = os.path.join(folder, name)
    np.savetxt(path, data, fmt="%.17g", delimiter=delimiter, header=header, comments="",
               newline=newline)
    # The SEPARATOR key line is ours; numpy skips it as a header row.
    skip = 1 if header.startswith("SEPARATOR") else 0
    ref = np.loadtxt(path, delimiter=loadtxt_delimiter, comments="#", skiprows=skip, ndmin=2,
                     dtype=np.float64)
    ref.astype("<f8").tofile(path + ".ref")
    manifest.append(f"{name} {name}.ref {ref.shape[0]} {ref.shape[1]}")


special = table(40, 4)
special[0, :] = [0.0, -0.0, 1e-300, -1.7976931348623157e308]
special[1, :] = [5e-324, 123456789012345678, -1, 0.1]
special[2, 1] = np.nan
write("spaces.txt", special, " ", "# x y z w\n# made by numpy")
write("tabs.txt", table(25, 3), "\t", "# tab separated columns")
write("commas.txt", table(30, 5), ",", "SEPARATOR=,\n# comma separated", loadtxt_delimiter=",")
write("bars.txt", table(12, 2), "|", "SEPARATOR=|", loadtxt_delimiter="|")
write("crlf.txt", table(20, 3), " ", "# windows line ends", newline="\r\n")
write("one_column.txt", table(50, 1), " ", "# a single column")
write("large.txt", table(100000, 3), " ", "# 10^5 rows")

with open(os.path.join(folder, "text_manifest.txt"), "w") as f:
    f.write("\n".join(manifest) + "\n")

# Tables whose columns go to the value file and to the side files, from text rows or from
# binary "#data" files of float64 records. Each buffer's expected records go to
# TABLE.bN (0 values, 1 second values, 2 coordinates, 3 second coordinates).
# side_manifest.txt lines: table rows width0 width1 width2 width3 (0: no file)
side = []


def expect(name, buffers):
    for k, b in enumerate(buffers):
        if b is not None:
            b.astype("<f8").tofile(os.path.join(folder, f"{name}.b{k}"))
    rows = next(b for b in buffers if b is not None).shape[0]
    side.append(f"{name} {rows} " + " ".join("0" if b is None else str(b.shape[1]) for b in buffers))


os.makedirs(os.path.join(folder, "sub"), exist_ok=True)
plain = table(5, 3)
plain[0, :] = [-0.0, np.nan, 5e-324]
plain.astype("<f8").tofile(os.path.join(folder, "sub", "plain.f8"))
with open(os.path.join(folder, "bin_plain.txt"), "w") as f:
    f.write("SIZEX=3\n#data sub\\plain.f8 rb\n")
expect("bin_plain.txt", [plain, None, None, None])

# Records of X, two values, Y: the values make the data set, X and Y the coordinate file.
rec = table(6, 4)
rec.astype("<f8").tofile(os.path.join(folder, "split rec.f8"))
with open(os.path.join(folder, "bin_split.txt"), "w") as f:
    f.write('SPLIT=X V2 Y\n#data "split rec.f8" binary\n')
expect("bin_split.txt", [rec[:, 1:3], None, rec[:, [0, 3]], None])

# Text rows: X, value, second value, Y, skipped, second X, second Y.
t = table(8, 7)
path = os.path.join(folder, "side.txt")
np.savetxt(path, t, fmt="%.17g", header="SPLIT=X V1 DV1 Y S1 DX DY", comments="")
ref = np.loadtxt(path, skiprows=1, ndmin=2)
expect("side.txt", [ref[:, [1]], ref[:, [2]], ref[:, [0, 3]], ref[:, [5, 6]]])

with open(os.path.join(folder, "side_manifest.txt"), "w") as f:
    f.write("\n".join(side) + "\n")
