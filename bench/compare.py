#!/usr/bin/python3
"""Side-by-side timing of varnel and CSDP on two families of LMI problems.

Not a test: it measures. Each problem is written twice, as a varnel script
and in SDPA's sparse format (.dat-s), and every solver runs the same problem
in turn (varnel with fact 1, varnel with fact 2, CSDP), round after round, so
that a change of load on the machine falls on all of them alike. The table
shows medians of wall time and peak resident memory, the ratios to CSDP (of
wall time, and of processor time, which a busy machine disturbs less), and
the optimum each found (they must agree: a fast wrong answer is no answer).

Peak memory is each solver's own, from a run of its own under GNU time
(/usr/bin/time, Debian's package `time`), apart from the timed runs so that
their times carry no extra process. The wait status of a child started from
this script would count this Python process's pages, which the child holds
until its exec: 13 to 18 MB, more than a small problem's whole peak. GNU
time's child holds only time's own pages (about 1 MB) before its exec.

  bench/compare.py                      the default sizes, 5 rounds
  bench/compare.py --rounds 3 --chain 20 40 --brl 10
  bench/compare.py --varnel build/interpreter/varnel --blas pthread

Families (A = -2 I + the superdiagonal of ones, n x n):
  chain  min trace(P)  s.t.  -A'P - PA - I > 0,        P symmetric
  brl    min g  s.t.  [-A'P - PA - C'C, -PB; -B'P, g] > 0,  P > 0,
         B = ones(n, 1), C = ones(1, n)  (the bounded real lemma: g is the
         squared H-infinity norm of (A, B, C))

CSDP uses the machine's libblas.so.3 and liblapack.so.3; it is run with the
OpenBLAS variant's folder first on LD_LIBRARY_PATH, so that both sides use
the same BLAS.
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GNU_TIME = "/usr/bin/time"  # the program, not the shell's keyword


def chain_matrix(n):
    A = [[0.0] * n for _ in range(n)]
    for i in range(n):
        A[i][i] = -2.0
        if i + 1 < n:
            A[i][i + 1] = 1.0
    return A


def script_head(n, fact):
    """The settings and A = -2 I + the superdiagonal of ones, in varnel."""
    return f"""format compact
fact = {fact};
n = {n};
A = -2*eye(n);
for i = 1:n-1
  A(i, i+1) = 1;
end
"""


def chain_script(n, fact):
    return script_head(n, fact) + """var sym P(n)
lmi = -A'*P - P*A - eye(n);
obj = trace(P);
solve
optimum = trace(P)
"""


def brl_script(n, fact):
    return script_head(n, fact) + """B = ones(n, 1);
C = ones(1, n);
var sym P(n)
var scl g
lmi = block(-A'*P - P*A - C'*C; -B'*P, g);
lmi = P;
obj = g;
solve
optimum = g
"""


def sym_unit(n, k, l):
    """The symmetric unit matrix of entry (k, l) as a dict of (i, j): value."""
    if k == l:
        return {(k, k): 1.0}
    return {(k, l): 1.0, (l, k): 1.0}


def lyapunov_map(A, E):
    """-A'E - EA for a sparse E, as a dict."""
    n = len(A)
    out = {}
    for (i, j), v in E.items():
        # (A'E)(r, j) = sum_i A(i, r) E(i, j); (EA)(i, c) = sum_j E(i, j) A(j, c)
        for r in range(n):
            if A[i][r] != 0.0:
                out[(r, j)] = out.get((r, j), 0.0) - A[i][r] * v
        for c in range(n):
            if A[j][c] != 0.0:
                out[(i, c)] = out.get((i, c), 0.0) - v * A[j][c]
    return out


def sdpa(objective, block_sizes, matrices):
    """SDPA sparse text: min objective'y s.t. sum y_i F_i - F_0 >= 0.
    matrices[i] is a list of (block, dict of (r, c): value) for F_i."""
    lines = [str(len(objective)), str(len(block_sizes)), " ".join(str(s) for s in block_sizes),
             " ".join(repr(c) for c in objective)]
    for i, parts in enumerate(matrices):
        for block, entries in parts:
            for (r, c), v in sorted(entries.items()):
                if r <= c and v != 0.0:
                    lines.append(f"{i} {block} {r + 1} {c + 1} {v!r}")
    return "\n".join(lines) + "\n"


def chain_sdpa(n):
    A = chain_matrix(n)
    units = [(k, l) for l in range(n) for k in range(l + 1)]
    objective = [1.0 if k == l else 0.0 for k, l in units]
    matrices = [[(1, {(i, i): 1.0 for i in range(n)})]]
    for k, l in units:
        matrices.append([(1, lyapunov_map(A, sym_unit(n, k, l)))])
    return sdpa(objective, [n], matrices)


def brl_sdpa(n):
    A = chain_matrix(n)
    units = [(k, l) for l in range(n) for k in range(l + 1)]
    objective = [0.0] * len(units) + [1.0]
    # F_0 = [C'C 0; 0 0] with C = ones(1, n).
    matrices = [[(1, {(i, j): 1.0 for i in range(n) for j in range(n)})]]
    for k, l in units:
        E = sym_unit(n, k, l)
        first = lyapunov_map(A, E)
        # -P B with B = ones: row i of E summed, in the last column.
        for (i, j), v in E.items():
            first[(i, n)] = first.get((i, n), 0.0) - v
            first[(n, i)] = first.get((n, i), 0.0) - v
        matrices.append([(1, first), (2, dict(E))])
    matrices.append([(1, {(n, n): 1.0})])
    return sdpa(objective, [n + 1, n], matrices)


def fail(command, code, output):
    sys.exit(f"{' '.join(command)} failed ({code}):\n{output[-2000:]}")


def run(command, env):
    """Wall seconds, processor seconds and standard output of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    output = process.stdout.read().decode(errors="replace")
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        fail(command, process.returncode, output)
    return wall, usage.ru_utime + usage.ru_stime, output


def peak_memory(command, env, record):
    """The solver's own peak resident MB in a run under GNU time, which
    writes it (in kB) to the file record."""
    timed = [GNU_TIME, "-f", "%M", "-o", record] + command
    process = subprocess.run(timed, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    if process.returncode != 0:
        fail(timed, process.returncode, process.stdout.decode(errors="replace"))
    with open(record) as f:
        return int(f.read().split()[-1]) / 1024.0


def require_gnu_time():
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit(f"{GNU_TIME} is missing: the peak memory is measured with GNU time, "
                 "Debian's package `time` (apt-get install time).")


def varnel_optimum(output):
    match = re.search(r"optimum =\s*\n\s*(\S+)", output)
    return float(match.group(1)) if match else float("nan")


def csdp_optimum(output):
    if "Success" not in output:
        return float("nan")
    match = re.search(r"Dual objective value:\s*(\S+)", output)
    return float(match.group(1)) if match else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--chain", type=int, nargs="*", default=[20, 40, 60])
    parser.add_argument("--brl", type=int, nargs="*", default=[10, 20, 30])
    parser.add_argument("--varnel", default=os.path.join(ROOT, "build", "interpreter", "varnel"))
    parser.add_argument("--csdp", default="csdp")
    parser.add_argument("--blas", default="serial", help="the OpenBLAS variant CSDP runs with")
    parser.add_argument("--facts", type=int, nargs="*", default=[1, 2])
    args = parser.parse_args()
    require_gnu_time()

    csdp_env = dict(os.environ)
    blas_dir = f"/usr/lib/x86_64-linux-gnu/openblas-{args.blas}"
    csdp_env["LD_LIBRARY_PATH"] = blas_dir + (":" + csdp_env["LD_LIBRARY_PATH"] if "LD_LIBRARY_PATH" in csdp_env else "")

    problems = [("chain", n, chain_script, chain_sdpa, n * (n + 1) // 2) for n in args.chain]
    problems += [("brl", n, brl_script, brl_sdpa, n * (n + 1) // 2 + 1) for n in args.brl]
    print(f"load average at start: {os.getloadavg()[0]:.2f} ({os.cpu_count()} cores); "
          f"medians of {args.rounds} alternating rounds; CSDP with {blas_dir}")
    header = "| problem (m) |" + "".join(f" fact {f} s | x CSDP | x CSDP cpu |" for f in args.facts)
    header += " CSDP s |" + "".join(f" fact {f} MB |" for f in args.facts) + " CSDP MB | optimum (varnel / CSDP) |"
    print(header)
    print("|" + "---|" * (header.count("|") - 1))
    with tempfile.TemporaryDirectory() as folder:
        for family, n, script, sdpa_text, m in problems:
            files = {}
            for fact in args.facts:
                files[fact] = os.path.join(folder, f"{family}{n}_fact{fact}.lmi")
                with open(files[fact], "w") as f:
                    f.write(script(n, fact))
            dats = os.path.join(folder, f"{family}{n}.dat-s")
            with open(dats, "w") as f:
                f.write(sdpa_text(n))
            commands = [(fact, [args.varnel, files[fact]], None) for fact in args.facts]
            commands.append(("csdp", [args.csdp, dats], csdp_env))
            times = {key: [] for key, _, _ in commands}
            cpu = {key: [] for key, _, _ in commands}
            memory = {key: [] for key, _, _ in commands}
            optima = {}
            for _ in range(args.rounds):
                for key, command, env in commands:
                    wall, seconds, output = run(command, env)
                    times[key].append(wall)
                    cpu[key].append(seconds)
                    memory[key].append(peak_memory(command, env, os.path.join(folder, "peak")))
                    optima[key] = (csdp_optimum if key == "csdp" else varnel_optimum)(output)
            t = {key: statistics.median(v) for key, v in times.items()}
            c = {key: statistics.median(v) for key, v in cpu.items()}
            mb = {key: statistics.median(v) for key, v in memory.items()}
            line = f"| {family} n={n} ({m}) |"
            line += "".join(f" {t[f]:.3f} | {t[f] / t['csdp']:.2f} | {c[f] / c['csdp']:.2f} |" for f in args.facts)
            line += f" {t['csdp']:.3f} |" + "".join(f" {mb[f]:.0f} |" for f in args.facts)
            line += f" {mb['csdp']:.0f} | " + " / ".join(f"{optima[f]:.4f}" for f in args.facts)
            line += f" / {optima['csdp']:.4f} |"
            print(line, flush=True)
    print(f"load average at end: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
