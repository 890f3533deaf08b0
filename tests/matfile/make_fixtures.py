#!/usr/bin/python3
"""MAT-file fixtures from an independent implementation (SciPy).

  make_fixtures.py probe
      exit status 0 when NumPy and SciPy can be imported, 77 when they cannot
  make_fixtures.py write DIR
      writes version-4 MAT-files with scipy.io.savemat into DIR and lists
      their matrices in DIR/expected.txt
  make_fixtures.py check FILE EXPECTED
      reads FILE with scipy.io.loadmat and compares it with EXPECTED exactly:
      the same matrices in the same order, sizes and values bit for bit
      (every NaN counts as the same value); exit status 0 when they agree

An expected-values file has one line per matrix:
  FILE NAME ROWS COLS V1 V2 ...
with the elements in column-major order, each written as float.hex() gives
it (FILE is "-" in files given to check).
"""
import os
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


def main(argv):
    if len(argv) >= 2 and argv[1] == "probe":
        return probe()
    if probe() != 0:
        print("NumPy and SciPy are not installed")
        return SKIP
    if len(argv) == 3 and argv[1] == "write":
        return write(argv[2])
    if len(argv) == 4 and argv[1] == "check":
        return check(argv[2], argv[3])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
