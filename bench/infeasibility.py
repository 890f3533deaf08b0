#!/usr/bin/python3
"""Does `feas` or `solve` say "infeasible" only with evidence, and find the
evidence where there is some? Runs of varnel on feasible problems that are
hard to recognise as such, and on infeasible problems with a known
certificate.

Not a test: it measures. Every problem is generated from a seed and run once
for each `fact` and each `eps`; the script exports the exit code of `feas`
or `solve`, the objective at the returned point and every constraint there.
Each run is classified:

  feasible problems
    ok                 code 0, a point feasible to rounding, and for `solve`
                       an objective within 2 eps of the optimum (relative
                       to max(1, |optimum|)) and not below it by 1e-7
    called infeasible  code 4, or "Problem may have no feasible solution."
                       after the feasibility phase: the fault this measures
    wrong              code 0 with an infeasible point or a wrong objective
    other code         any other code (an honest failure: its warning says so)
  infeasible problems
    ok                 code 4, which the solver gives only with a checked
                       certificate
    claimed feasible   code 0: a lie
    other code         any other code (no certificate found; honest)
  crash, timeout, error  varnel died, ran too long, or the script failed

Families:
  brl     the bounded real lemma min g, [-A'P - PA - C'C, -PB; -B'P, g] > 0,
          P > 0, for a stable 4-state A with one input and one output and an
          input matrix of norm 10^u, u uniform in [2, 5] (the squared
          H-infinity norm, by bisection on the Hamiltonian; bench/accuracy.py
          has the method).
  scaled  a constant s = u 10^k, u in [1, 10), k = -8..8: P - sI > 0 with
          min trace(P) (optimum 3s); x - s > 0 with `feas`; a Lyapunov
          problem -A'P - PA - sI > 0 with min trace(P). Seed i takes k = -8 +
          i mod 17 and the kind i div 17 mod 3, so seeds 0..50 cover every
          pair.
  pair    P > 0 and P < 0 for a symmetric P of order 1..5, and x > 1 with
          x < 0: seed i takes the order i mod 6 (0 for x) and `feas`, or
          `solve` when i div 6 is odd.
  lp      b - A x > 0 with z'A = 0 and z'b < 0 for a z > 0: infeasible by
          Farkas; min c'x.
  sdp     F0 + sum x_i F_i > 0 in 1..3 blocks, every F_i orthogonal to a
          Z > 0 and <F0, Z> < 0: strictly infeasible; min c'x.
  unstable  (not in the default set) -A'P - PA - sI > 0 and P > 0 for an
          unstable A: infeasible, Z1 = vv* for an unstable eigenvector v,
          but the homogeneous problem has nonzero semidefinite solutions, a
          case the projective method does not converge on. Measured to show
          that it is never called feasible.

  bench/infeasibility.py                          every default family
  bench/infeasibility.py --families brl --count 40 --varnel OTHER/varnel
  bench/infeasibility.py --families unstable --count 20
"""

import os

for _name in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_name, "1")

import argparse
import concurrent.futures
import re
import statistics
import subprocess
import tempfile

import numpy as np
import scipy.io

import accuracy
from accuracy import literal, number, random_pd, random_sym, stable_matrix

ROOT = accuracy.ROOT
FEASIBLE = ["brl", "scaled"]
INFEASIBLE = ["pair", "lp", "sdp", "unstable"]
FAMILIES = FEASIBLE + INFEASIBLE
DEFAULT_FAMILIES = ["brl", "scaled", "pair", "lp", "sdp"]
DEFAULT_COUNTS = {"brl": 40, "scaled": 51, "pair": 12, "lp": 20, "sdp": 20, "unstable": 20}
FAMILY_IDS = {name: 2000 + i for i, name in enumerate(FAMILIES)}


class Case:
    """A problem as varnel text: parameters, declarations, constraints, an
    optional objective (None for `feas`) and its optimum where known."""

    def __init__(self, family, seed, label):
        self.family = family
        self.seed = seed
        self.label = label
        self.params = []
        self.declarations = []
        self.lmis = []
        self.objective = None
        self.optimum = None

    def feasible(self):
        return self.family in FEASIBLE


def brl(rng, seed):
    n = 4
    A = stable_matrix(rng, n, 0.1, 2.0)
    B = rng.standard_normal((n, 1))
    B *= 10.0 ** rng.uniform(2.0, 5.0) / np.linalg.norm(B)
    C = rng.standard_normal((1, n))
    norm = accuracy.hinf_norm(A, B, C, np.zeros((1, 1)))[0]
    case = Case("brl", seed, f"normB={np.linalg.norm(B):.1e}")
    case.params = [("A", A), ("B", B), ("C", C)]
    case.declarations = [f"var sym P({n},{n})", "var g"]
    case.lmis = ["block(-A'*P - P*A - C'*C; -B'*P, g)", "P"]
    case.objective = "g"
    case.optimum = norm * norm
    return case


def scaled(rng, seed):
    k = -8 + seed % 17
    kind = (seed // 17) % 3
    s = float(rng.uniform(1.0, 10.0)) * 10.0 ** k
    case = Case("scaled", seed, "")
    case.params = [("s", s)]
    if kind == 0:
        case.label = f"P - sI, s={s:.3g}"
        case.declarations = ["var sym P(3,3)"]
        case.lmis = ["P - s*eye(3)"]
        case.objective = "trace(P)"
        case.optimum = 3.0 * s
    elif kind == 1:
        case.label = f"x - s (feas), s={s:.3g}"
        case.declarations = ["var x"]
        case.lmis = ["x - s"]
    else:
        n = int(rng.integers(3, 6))
        A = stable_matrix(rng, n, 0.2, 2.0)
        case.label = f"Lyapunov n={n}, Q=sI, s={s:.3g}"
        case.params.append(("A", A))
        case.declarations = [f"var sym P({n},{n})"]
        case.lmis = [f"-A'*P - P*A - s*eye({n})"]
        case.objective = "trace(P)"
        case.optimum = accuracy.lyapunov_trace(A, s * np.eye(n))[0]
    return case


def pair(rng, seed):
    n = seed % 6
    case = Case("pair", seed, "")
    if n == 0:
        case.label = "x > 1, x < 0"
        case.declarations = ["var x"]
        case.lmis = ["x - 1", "-x"]
    else:
        case.label = f"P > 0, P < 0, n={n}"
        case.declarations = [f"var sym P({n},{n})"]
        case.lmis = ["P", "-P"]
    if (seed // 6) % 2 == 1:
        case.label += " (solve)"
        case.objective = "x" if n == 0 else "trace(P)"
    return case


def lp(rng, seed):
    m = int(rng.integers(2, 8))
    r = int(rng.integers(m + 1, 3 * m + 1))
    z = rng.uniform(0.1, 2.0, (r, 1))
    A = rng.standard_normal((r, m))
    A -= z @ (z.T @ A) / float(z.T @ z)
    b = rng.standard_normal((r, 1))
    b -= z * (float(z.T @ b) + rng.uniform(0.1, 1.0)) / float(z.T @ z)
    case = Case("lp", seed, f"m={m} rows={r}")
    case.params = [("A", A), ("b", b), ("c", rng.standard_normal((m, 1)))]
    case.declarations = [f"var gen x({m},1)"]
    case.lmis = ["b - A*x"]
    case.objective = "c'*x"
    return case


def sdp(rng, seed):
    m = int(rng.integers(2, 10))
    sizes = [int(s) for s in rng.integers(2, 7, int(rng.integers(1, 4)))]
    Z = [random_pd(rng, n, 1e-2, 1.0) for n in sizes]
    zz = sum(float(np.sum(z * z)) for z in Z)
    F = [[random_sym(rng, n) for n in sizes] for _ in range(m + 1)]
    for i in range(m + 1):
        inner = sum(float(np.sum(f * z)) for f, z in zip(F[i], Z))
        # <F_i, Z> = 0 for i >= 1, <F0, Z> < 0.
        target = -rng.uniform(0.01, 1.0) * np.sqrt(zz) if i == 0 else 0.0
        F[i] = [f - (inner - target) / zz * z for f, z in zip(F[i], Z)]
    case = Case("sdp", seed, f"m={m} blocks={sizes}")
    names = [f"x{i}" for i in range(1, m + 1)]
    case.declarations = [f"var {x}" for x in names]
    for j in range(len(sizes)):
        for i in range(m + 1):
            case.params.append((f"F{j + 1}_{i}", F[i][j]))
        case.lmis.append(f"F{j + 1}_0" + "".join(f" + {x}*F{j + 1}_{i}" for i, x in enumerate(names, 1)))
    c = rng.standard_normal(m)
    case.objective = " + ".join(f"{number(ci)}*{x}" for ci, x in zip(c, names))
    return case


def unstable(rng, seed):
    n = int(rng.integers(2, 7))
    A = rng.standard_normal((n, n))
    A += (10.0 ** rng.uniform(-3.0, 0.0) - np.max(np.linalg.eigvals(A).real)) * np.eye(n)
    s = 10.0 ** (seed % 9 - 4)
    case = Case("unstable", seed, f"n={n} max Re eig={np.max(np.linalg.eigvals(A).real):.1e} s={s:g}")
    case.params = [("A", A), ("s", s)]
    case.declarations = [f"var sym P({n},{n})"]
    case.lmis = [f"-A'*P - P*A - s*eye({n})", "P"]
    return case


GENERATORS = {"brl": brl, "scaled": scaled, "pair": pair, "lp": lp, "sdp": sdp, "unstable": unstable}


def script_text(case, fact, eps, max_iter):
    lines = ["format compact", f"fact = {fact};", f"eps = {repr(float(eps)).replace('e+', 'e')};",
             f"max_iter = {max_iter};"]
    lines += [f"{name} = {literal(value)};" for name, value in case.params]
    lines += case.declarations
    lines += [f"lmi = {text};" for text in case.lmis]
    if case.objective is None:
        lines += ["status = feas;", "objective = 0;"]
    else:
        lines += [f"obj = {case.objective};", "status = solve;", "objective = eval(obj);"]
    names = ["status", "objective"]
    for k in range(1, len(case.lmis) + 1):
        lines.append(f"lmi{k} = eval(lmi({k}));")
        names.append(f"lmi{k}")
    lines.append('export "result.mat" ' + " ".join(names))
    return "\n".join(lines) + "\n"


def feasibility_iterations(text):
    """The last counter of the feasibility table."""
    start = text.find("Searching feasible point...")
    if start < 0:
        return None
    end = text.find("Optimizing...", start)
    section = text[start:end if end >= 0 else len(text)]
    counters = [int(x) for x in re.findall(r"^\s*(\d+)\s+\d+\.\d+\s*$", section, re.MULTILINE)]
    return max(counters) if counters else None


def smallest_relative(value):
    value = np.atleast_2d(np.asarray(value, dtype=float))
    if value.shape[1] == 1 and value.shape[0] > 1:
        values = value[:, 0]
    else:
        values = np.linalg.eigvalsh((value + value.T) / 2.0)
    return float(np.min(values)) / max(float(np.max(np.abs(values))), 1e-300)


def classify(case, status, objective, point_ok, said_infeasible, eps):
    if case.feasible():
        if status == 4 or said_infeasible:
            return "called infeasible"
        if status != 0:
            return "other code"
        if not point_ok:
            return "wrong"
        if case.optimum is not None:
            scale = max(1.0, abs(case.optimum))
            if not case.optimum - 1e-7 * scale <= objective <= case.optimum + 2.0 * eps * scale:
                return "wrong"
        return "ok"
    if status == 4:
        return "ok"
    return "claimed feasible" if status == 0 else "other code"


def run_case(task):
    family, seed, fact, eps, options = task
    case = GENERATORS[family](np.random.default_rng([FAMILY_IDS[family], seed]), seed)
    run = {"family": family, "seed": seed, "label": case.label, "fact": fact, "eps": eps, "status": None,
           "iterations": None, "class": None}
    with tempfile.TemporaryDirectory(prefix="infeasibility-") as folder:
        with open(os.path.join(folder, "problem.lmi"), "w") as f:
            f.write(script_text(case, fact, eps, options.max_iter))
        try:
            proc = subprocess.run([options.varnel, "problem.lmi"], cwd=folder, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=options.timeout)
        except subprocess.TimeoutExpired:
            run["class"] = "timeout"
            return run
        text = proc.stdout.decode(errors="replace")
        run["iterations"] = feasibility_iterations(text)
        if proc.returncode != 0:
            run["class"] = "crash"
            return run
        try:
            exported = scipy.io.loadmat(os.path.join(folder, "result.mat"))
        except (OSError, ValueError):
            run["class"] = "error"
            return run
    status = int(round(float(exported["status"][0, 0])))
    objective = float(exported["objective"][0, 0])
    point_ok = all(smallest_relative(exported[f"lmi{k}"]) >= -1e-9 for k in range(1, len(case.lmis) + 1))
    run["status"] = status
    run["class"] = classify(case, status, objective, point_ok,
                            "Problem may have no feasible solution." in text, eps)
    return run


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--families", nargs="*", default=DEFAULT_FAMILIES, choices=FAMILIES, metavar="FAMILY")
    parser.add_argument("--count", type=int, default=None, help="problems per family (default: each its own)")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--eps", type=float, nargs="*", default=[1e-4, 1e-7])
    parser.add_argument("--fact", type=int, nargs="*", default=[1, 2], choices=[1, 2])
    parser.add_argument("--max-iter", type=int, default=100)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=120.0)
    parser.add_argument("--varnel", default=os.path.join(ROOT, "build", "interpreter", "varnel"))
    options = parser.parse_args()

    tasks = []
    for family in options.families:
        count = options.count if options.count is not None else DEFAULT_COUNTS[family]
        for seed in range(options.seed, options.seed + count):
            for fact in options.fact:
                for eps in options.eps:
                    tasks.append((family, seed, fact, eps, options))
    with concurrent.futures.ProcessPoolExecutor(max_workers=options.jobs) as pool:
        runs = list(pool.map(run_case, tasks))

    print(f"varnel: {options.varnel}\n")
    print("| family | runs | classes | exit codes | feasibility iterations to code 4 (median, max) |")
    print("|---|---|---|---|---|")
    for family in options.families:
        mine = [r for r in runs if r["family"] == family]
        classes = {}
        codes = {}
        for r in mine:
            classes[r["class"]] = classes.get(r["class"], 0) + 1
            codes[r["status"]] = codes.get(r["status"], 0) + 1
        to_four = [r["iterations"] for r in mine if r["status"] == 4 and r["iterations"] is not None]
        iterations = f"{statistics.median(to_four):g}, {max(to_four)}" if to_four else "-"
        print(f"| {family} | {len(mine)} | " + ", ".join(f"{k} {v}" for k, v in sorted(classes.items())) + " | " +
              ", ".join(f"{k} x{v}" for k, v in sorted(codes.items(), key=lambda kv: str(kv[0]))) +
              f" | {iterations} |")
    bad = [r for r in runs if r["class"] != "ok"]
    if bad:
        print("\nRuns not ok:")
        for r in bad:
            print(f"  {r['family']} {r['seed']} ({r['label']}) fact {r['fact']} eps {r['eps']:g}: "
                  f"{r['class']}, code {r['status']}, {r['iterations']} feasibility iterations")


if __name__ == "__main__":
    main()
