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
