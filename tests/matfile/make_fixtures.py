#!/usr/bin/python3
"""MAT-file fixtures from an independent implementation (SciPy).

  make_fixtures.py probe
      exit status 0 when NumPy and SciPy can be imported, 77 when they cannot
  make_fixtures.py write DIR
      writes version-4 MAT-files with scipy.io.savemat into DIR and lists
      their matrices in DIR/expected.txt
  make_fixtures.py skips DIR
      writes DIR/skips.mat with scipy.io.savemat: the 1 x 1 matrices
      first = 1 and last = 3 around two records that an import of the whole
      file passes over, a_name_longer_than_nineteen = 2 and a sparse 2 x 2
      matrix sp
  make_fixtures.py check FILE EXPECTED
      reads FILE with scipy.io.loadmat and compares it with EXPECTED exactly:
      the same matrices in the same order, sizes and values bit for bit
      (every NaN counts as the same value); exit status 0 when they agree
  make_fixtures.py formats DIR
      writes, with the struct module alone, version-4 MAT-files with records
      in every number format (IEEE both byte orders, VAX D, VAX G, Cray),
      every precision, both element orders, text and complex records into
      DIR, and lists their matrices (real parts) in DIR/expected.txt; where
      SciPy is installed, it reads every file it can (IEEE, column-major)
      and must find the listed values, which checks the encoders here
  make_fixtures.py golden DIR
      writes the files the script cases import, with the struct module
      alone (no SciPy): DIR/sample.mat, records in several number formats,
      precisions and orders, and DIR/unusable.mat, records that an import
      of the whole file passes over (a name of more than 19 characters as
      GNU Octave writes it, a sparse matrix) and a last record cut short

An expected-values file has one line per matrix:
  FILE NAME ROWS COLS V1 V2 ...
with the elements in column-major order, each written as float.hex() gives
it (FILE is "-" in files given to check).
"""
import math
import os
import struct
import sys

SKIP = 77


def probe():
    try:
        import numpy  # noqa: F401
        import scipy.io  # noqa: F401
    except ImportError:
        return SKIP
    return 0


def fixtures(np):
    """The files to write: name -> list of (matrix name, value)."""
    doubles = [
        ("A", np.array([[1.5, -2.0, 3e-300], [0.1, -0.0, 1e300]])),
        ("b", np.array([[7.25]])),
        ("col", np.array([[1.0], [2.0], [np.pi]])),
        ("special", np.array([[np.inf, -np.inf, np.nan, 5e-324]])),
    ]
    integers = [
        ("u8", np.array([[0, 1], [254, 255]], dtype=np.uint8)),
        ("i16", np.array([[-32768, 32767, -1]], dtype=np.int16)),
        ("u16", np.array([[0], [65535]], dtype=np.uint16)),
        ("i32", np.array([[-2147483648, 2147483647], [70000, -5]], dtype=np.int32)),
        ("f32", np.array([[1.25, -0.5, 3.0e38]], dtype=np.float32)),
    ]
    return {
        "doubles.mat": doubles,
        "integers.mat": integers,
        "text.mat": [("s", "Hello")],
        "empty.mat": [("e", np.zeros((0, 0))), ("after", np.array([[4.0]]))],
        "complex.mat": [("c", np.array([[1 + 2j, 3 - 4j]])), ("r", np.array([[9.0]]))],
    }


def column_major(np, value):
    """The value as stored: a 2-D float64 array (text as character codes)."""
    if isinstance(value, str):
        return np.array([[float(ord(ch)) for ch in value]])
    return np.real(np.asarray(value)).astype(np.float64)


def expected_line(file_name, name, array):
    rows, cols = array.shape
    values = [float(x).hex() for x in array.flatten(order="F")]
    return " ".join([file_name, name, str(rows), str(cols)] + values)


def write(directory):
    import numpy as np
    import scipy.io

    lines = []
    for file_name, matrices in fixtures(np).items():
        # A dict keeps its order, and savemat writes the records in it.
        scipy.io.savemat(os.path.join(directory, file_name), dict(matrices), format="4")
        for name, value in matrices:
            lines.append(expected_line(file_name, name, column_major(np, value)))
    with open(os.path.join(directory, "expected.txt"), "w") as out:
        out.write("\n".join(lines) + "\n")
    return 0


def skips(directory):
    import numpy as np
    import scipy.io
    import scipy.sparse

    matrices = {
        "first": np.array([[1.0]]),
        "a_name_longer_than_nineteen": np.array([[2.0]]),
        "sp": scipy.sparse.csc_matrix(np.array([[0.0, 1.0], [2.0, 0.0]])),
        "last": np.array([[3.0]]),
    }
    scipy.io.savemat(os.path.join(directory, "skips.mat"), matrices, format="4")
    return 0


def same_bits(a, b):
    return a.hex() == b.hex() or (a != a and b != b)


def check(path, expected_path):
    import numpy as np
    import scipy.io

    expected = []
    with open(expected_path) as source:
        for line in source:
            fields = line.split()
            if fields:
                rows, cols = int(fields[2]), int(fields[3])
                values = [float.fromhex(v) if v not in ("nan", "-nan") else float("nan") for v in fields[4:]]
                expected.append((fields[1], rows, cols, values))
    contents = scipy.io.loadmat(path)
    found = [(k, v) for k, v in contents.items() if not k.startswith("__")]
    problems = []
    if [k for k, _ in found] != [e[0] for e in expected]:
        problems.append("names %s, expected %s" % ([k for k, _ in found], [e[0] for e in expected]))
    else:
        for (name, array), (_, rows, cols, values) in zip(found, expected):
            array = np.asarray(array)
            if array.shape != (rows, cols):
                problems.append("%s: shape %s, expected %s" % (name, array.shape, (rows, cols)))
                continue
            stored = [float(x) for x in array.astype(np.float64).flatten(order="F")]
            wrong = [k for k, (x, y) in enumerate(zip(stored, values)) if not same_bits(x, y)]
            if wrong:
                k = wrong[0]
                problems.append("%s: %d elements differ, first at %d: %r, expected %r"
                                % (name, len(wrong), k, stored[k], values[k]))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


def vax_d(x):
    """The 8 bytes of x as a VAX D double: 0.1f * 2^(E - 128), the leading 1
    left out, four 16-bit words most significant first, each little-endian."""
    if x == 0:
        return bytes(8)
    f, e = math.frexp(abs(x))
    fraction = int(math.ldexp(f, 56)) - (1 << 55)
    logical = (1 << 63 if x < 0 else 0) | (e + 128) << 55 | fraction
    return b"".join(struct.pack("<H", logical >> (16 * w) & 0xFFFF) for w in (3, 2, 1, 0))


def vax_g(x):
    """The 8 bytes of x as a VAX G double: 0.1f * 2^(E - 1024), laid out as
    VAX D is."""
    if x == 0:
        return bytes(8)
    f, e = math.frexp(abs(x))
    fraction = int(math.ldexp(f, 53)) - (1 << 52)
    logical = (1 << 63 if x < 0 else 0) | (e + 1024) << 52 | fraction
    return b"".join(struct.pack("<H", logical >> (16 * w) & 0xFFFF) for w in (3, 2, 1, 0))


def cray(x):
    """The 8 bytes of x as a Cray double: big-endian, 0.f * 2^(E - 16384)
    with the leading mantissa bit stored (48 mantissa bits)."""
    if x == 0:
        return bytes(8)
    f, e = math.frexp(abs(x))
    logical = (1 << 63 if x < 0 else 0) | (e + 16384) << 48 | int(math.ldexp(f, 48))
    return struct.pack(">Q", logical)


def v4_record(m, o, p, t, name, rows, cols, real, imag=None):
    """One version-4 record; real and imag in column-major order."""
    big = m in (1, 4)
    order = ">" if big else "<"
    codes = {1: "f", 2: "i", 3: "h", 4: "H", 5: "B"}
    non_ieee = {2: vax_d, 3: vax_g, 4: cray}
    out = struct.pack(order + "5i", m * 1000 + o * 100 + p * 10 + t, rows, cols,
                      0 if imag is None else 1, len(name) + 1)
    out += name.encode("latin-1") + b"\0"
    for part in (real, imag):
        if part is None:
            continue
        if o != 0:
            part = [part[c * rows + r] for r in range(rows) for c in range(cols)]
        for x in part:
            if p == 0 and m in non_ieee:
                out += non_ieee[m](x)
            elif p == 0:
                out += struct.pack(order + "d", x)
            else:
                out += struct.pack(order + codes[p], x)
    return out


# 2 x 3 matrices (column-major) that each precision holds exactly.
PRECISION_VALUES = {
    0: [0.1, -0.0, float("inf"), float("nan"), 5e-324, -1e300],
    1: [1.25, -0.5, 1024.0, 3.375, -0.125, 2.0 ** 100],
    2: [-2147483648, 2147483647, -1, 0, 70000, 3],
    3: [-32768, 32767, -1, 0, 5, 7],
    4: [0, 300, 65535, 1, 2, 3],
    5: [0, 1, 2, 100, 200, 255],
}

# Doubles exact in VAX D, VAX G and Cray (48 significant bits) alike, and
# within the range of all three.
PORTABLE_DOUBLES = [1.5, -0.25, 3e10, 7.0, -1024.125, 3 * 2.0 ** -100]

FORMAT_NAMES = {0: "le", 1: "be", 2: "vaxd", 3: "vaxg", 4: "cray"}


def format_files():
    """name -> (whether SciPy reads it, [(matrix name, record args)])."""
    files = {}
    for m in (0, 1):
        # Every precision, column-major: what SciPy reads too.
        files["ieee_%s.mat" % FORMAT_NAMES[m]] = (True, [
            ("p%d" % p, (m, 0, p, 0, 2, 3, PRECISION_VALUES[p])) for p in range(6)] + [
            ("text", (m, 0, 5, 1, 1, 5, [ord(ch) for ch in "Hello"])),
            ("empty", (m, 0, 0, 0, 0, 0, [])),
        ])
    # Row by row in every precision and both byte orders, records of both
    # orders in one file; SciPy reads neither.
    files["rows.mat"] = (False, [
        ("r%s%d" % (FORMAT_NAMES[m], p), (m, 1, p, 0, 2, 3, PRECISION_VALUES[p]))
        for m in (0, 1) for p in range(6)] + [
        ("rtext", (1, 1, 5, 1, 2, 2, [ord(ch) for ch in "acbd"])),
        ("rcomplex", (1, 1, 3, 0, 2, 3, PRECISION_VALUES[3], [6, 5, 4, 3, 2, 1])),
    ])
    files["non_ieee.mat"] = (False, [
        ("%s%d" % (FORMAT_NAMES[m], o), (m, o, 0, 0, 2, 3, PORTABLE_DOUBLES))
        for m in (2, 3, 4) for o in (0, 1)] + [
        # Integers in the other formats: in their byte order.
        ("%sint" % FORMAT_NAMES[m], (m, 0, 3, 0, 2, 3, PRECISION_VALUES[3])) for m in (2, 3, 4)
    ])
    return files


def formats(directory):
    files = format_files()
    lines = []
    for file_name, (_, matrices) in files.items():
        with open(os.path.join(directory, file_name), "wb") as out:
            out.write(b"".join(v4_record(*args[:4], name, *args[4:]) for name, args in matrices))
        for name, (m, o, p, t, rows, cols, real, *rest) in matrices:
            values = [float(x).hex() for x in real]
            lines.append(" ".join([file_name, name, str(rows), str(cols)] + values))
    with open(os.path.join(directory, "expected.txt"), "w") as out:
        out.write("\n".join(lines) + "\n")
    if probe() != 0:
        return 0
    import numpy as np
    import scipy.io

    failed = 0
    for file_name, (readable, matrices) in files.items():
        if not readable:
            continue
        contents = scipy.io.loadmat(os.path.join(directory, file_name))
        for name, (m, o, p, t, rows, cols, real, *rest) in matrices:
            stored = contents[name]
            if t == 1:
                stored = [[float(ord(ch)) for ch in "".join(stored)]]
            stored = [float(x) for x in np.asarray(stored, dtype=float).flatten(order="F")]
            if rows * cols == 0:
                stored = []
            if len(stored) != len(real) or not all(same_bits(a, float(b)) for a, b in zip(stored, real)):
                print("%s %s: SciPy reads %r, expected %r" % (file_name, name, stored, real))
                failed = 1
    return failed


def golden(directory):
    records = [
        v4_record(1, 0, 0, 0, "A", 2, 2, [1.5, -2.0, 0.25, 4.0]),
        v4_record(0, 1, 3, 0, "n", 2, 3, [1, 4, -2, 5, 3, -6]),
        v4_record(2, 0, 0, 0, "v", 1, 1, [-0.125]),
        v4_record(0, 0, 5, 1, "t", 1, 2, [104, 105]),
        v4_record(0, 0, 0, 0, "c", 1, 2, [1.0, 3.0], [2.0, -4.0]),
        v4_record(1, 0, 0, 0, "for", 1, 1, [9.0]),
        v4_record(1, 0, 5, 0, "u", 1, 3, [0, 128, 255]),
    ]
    with open(os.path.join(directory, "sample.mat"), "wb") as out:
        out.write(b"".join(records))
    cut = v4_record(1, 0, 0, 0, "cut", 1, 2, [1.0, 2.0])
    unusable = [
        v4_record(1, 0, 0, 0, "first", 1, 1, [1.0]),
        v4_record(0, 0, 0, 0, "a_name_longer_than_nineteen", 1, 1, [2.0]),
        # The sparse 3 x 3 matrix with 5 at (1, 1) and 7 at (3, 2), as
        # triplets (row, column, value; the size last), column-major.
        v4_record(1, 0, 0, 2, "sp", 3, 3, [1, 3, 3, 1, 2, 3, 5, 7, 0]),
        v4_record(1, 0, 0, 0, "last", 1, 1, [3.0]),
        cut[:-4],
    ]
    with open(os.path.join(directory, "unusable.mat"), "wb") as out:
        out.write(b"".join(unusable))
    return 0


def main(argv):
    if len(argv) >= 2 and argv[1] == "probe":
        return probe()
    if len(argv) == 3 and argv[1] == "golden":
        return golden(argv[2])
    if len(argv) == 3 and argv[1] == "formats":
        return formats(argv[2])
    if probe() != 0:
        print("NumPy and SciPy are not installed")
        return SKIP
    if len(argv) == 3 and argv[1] == "write":
        return write(argv[2])
    if len(argv) == 3 and argv[1] == "skips":
        return skips(argv[2])
    if len(argv) == 4 and argv[1] == "check":
        return check(argv[2], argv[3])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
