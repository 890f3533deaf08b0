#!/usr/bin/python3
"""Does `solve` tell the truth? Runs of varnel against optima known
independently.

Not a test: it measures. Every problem is generated from a seed, its optimum
is computed by other means (a closed form, SciPy, or CSDP on the same problem
in SDPA's sparse format), and varnel solves it once for each `fact` and each
`eps`. The script of a run ends with

  status = solve;  objective = eval(obj);  lmi1 = eval(lmi(1)); ...
  export "result.mat" status objective lmi1 ... <the variables>

so the reported status, the objective at the returned point (constant term
included) and every constraint at that point come back exactly, through a
MAT-file, instead of through the rounded display. Each run is classified,
with scale = max(1, |optimum|):

  ok                status 0, optimum - 1e-7 scale <= objective <= optimum + 2 eps scale
  false success     status 0 and objective > optimum + 2 eps scale
  below optimum     objective < optimum - 1e-7 scale, whatever the status: a lie
  infeasible point  some eval(lmi(k)) has its smallest eigenvalue (smallest
                    entry for a column of linear inequalities) below -1e-9
                    times its largest absolute one, whatever the status
  called infeasible the feasibility phase gave up on a feasible problem
  honest failure    nonzero status, a feasible point, not below the optimum
  crash, timeout    varnel died, or ran past --timeout seconds
  error             the script failed or the result file is missing or
                    malformed: a fault of this tool or of the interpreter,
                    not a verdict on the solver

One class per run; where two apply the earlier in the order called
infeasible, infeasible point, below optimum wins, and the other shows in the
notes. A violation smaller than rounding in evaluating the LMI can cause
(1e-13 times |F0| + sum |y_i| |F_i|, y the decision entries) is not counted:
double precision cannot promise more, and at an optimum where a whole LMI
vanishes (min-trace Lyapunov) the largest eigenvalue is itself only noise.
eval(lmi(k)) and eval(obj) are also recomputed here from the exported
variables; a difference is reported as "eval differs" (a wrong eval, or a
script that does not say what this tool thinks it says).

  bench/accuracy.py                              every family, the default counts
  bench/accuracy.py --families sdp lp --count 5 --eps 1e-4 1e-7 1e-9
  bench/accuracy.py --families brl --seed 17 --count 1 --fact 2
  bench/accuracy.py --references-only            generate and check references only

Families (n states, m inputs or variables; A stable means all eigenvalues
in the open left half plane, with a random margin):
  lyap    min trace(P), -A'P - PA - I >= 0, A stable, n 3..10. Optimum: the
          trace of the Lyapunov solution (any feasible P exceeds it by the
          Lyapunov image of a PSD matrix). CSDP cross-checks.
  common  one P for k = 2..4 matrices A_i, n 2..6: P > 0, -A_i'P - PA_i - I
          >= 0, min trace(P). A_i = inv(P0)(-M_i + K_i), M_i > 0, K_i skew,
          so t P0 is strictly feasible. Optimum: CSDP; it must not fall below
          the largest single-matrix Lyapunov trace.
  brl     bounded real lemma: min g, [-A'P-PA, -PB, -C'; -B'P, gI, -D';
          -C, -D, gI] >= 0 (written by its lower triangle), P > 0. A stable,
          B, C, D random, SISO or MIMO, D sometimes 0, every fourth seed
          ||B|| = 1e3..1e4. Optimum: the H-infinity norm by bisection on the
          Hamiltonian's imaginary-axis eigenvalues, the lower end raised by
          gains actually evaluated at the crossing frequencies, to 1e-13;
          CSDP cross-checks (for a large B, when it fails on the raw data,
          on G/||B||: the same problem in ordinary sizes).
  lqr     max trace(P), i.e. min -trace(P), s.t. [A'P + PA + Q, PB; B'P, R]
          >= 0: the feasible P lie below the stabilising solution of the
          Riccati equation, so the optimum is minus its trace
          (solve_continuous_are). A random (often unstable), Q, R > 0. CSDP
          cross-checks the formulation.
  sdp     scalar x1..xm (m 2..12), 1..3 blocks of size 2..8,
          lmi = F0 + x1 F1 + ... with F0 = S - sum y_i F_i (S > 0: strictly
          feasible at y) and c_i = sum over blocks <F_i, Z> (Z > 0: the dual
          strictly feasible), so the optimum is finite and attained; half of
          them with an objective constant. Optimum: CSDP.
  lp      var gen x(m,1), lmi = b - A x, obj = c'x; b = A y + s (s > 0),
          c = -A'z (z > 0); m 2..10, m+1..3m rows. Optimum: HiGHS
          (scipy.optimize.linprog); CSDP cross-checks.
  mixed   an SDP block of size 2..6 and 2..2m linear rows in the same
          x1..xm, built as sdp. Optimum: CSDP.
  degen   F(x*) = Q diag(lambda, 0) Q' and Z* = Q diag(0, mu, 0) Q' with
          F(x*) Z* = 0, every F_i orthogonal to Z0 - Z* for a Z0 > 0 (the dual
          strictly feasible) and F_1 = I (the primal strictly feasible): the
          optimum c'x* is known by construction. Odd seeds have a rank gap
          (not strictly complementary), even seeds 2..3 blocks all singular
          at the optimum. Plus the fixed case A0 = -2I, A1 = [-2 2; -2 -2],
          A2 = [-2 -2; 2 -2], min trace(P) with three Lyapunov LMIs, optimum
          0.5 with every LMI zero there. CSDP cross-checks.
  scaled  data multiplied by s = u 10^k, u in [1, 10), k = -8..8:
          x - s >= 0 min x (optimum s); P - sI >= 0 min trace(P) (3s);
          -A'P - PA - sI >= 0 min trace(P) (s times a Lyapunov trace). Seed
          i takes k = -8 + i mod 17 and the kind (i mod 17 + i div 17) mod 3,
          so seeds 0..50 cover every pair. No CSDP: the optima are exact.

A problem whose CSDP run does not end in "Success: SDP solved", or whose own
reference fails its check, is skipped and listed. CSDP's optimum is its
primal value tr(CX) at full precision (see run_csdp). Where two references
exist, a relative disagreement above 1e-6 is listed (the first named is the
one the runs are judged by).

Counts: 30 problems per family and the 51 of scaled by default (292
problems with the fixed case, 1168 runs with two facts and two eps); --count
sets one number for all. The whole set takes seconds to minutes, depending
on the binary; --json keeps every run for comparing two binaries.

The scripts of non-ok runs, their output and the problem's .dat-s (as CSDP
solved it: scaled, for a large-B brl) are kept in --keep; each script writes result.mat in the folder it runs in, so
"cd DIR && varnel NAME.lmi" reruns it.
"""

import os

# Several runs share the machine: one thread each for the BLAS of NumPy (set
# before it loads), of CSDP and of varnel.
for _name in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_name, "1")

import argparse
import concurrent.futures
import json
import math
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy.io
import scipy.linalg
import scipy.optimize

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

FAMILIES = ["lyap", "common", "brl", "lqr", "sdp", "lp", "mixed", "degen", "scaled"]
# Mixed into every problem's random stream, so that seed 3 of two families are
# different problems; a new family goes at the end so that none changes.
FAMILY_IDS = {name: 1000 + i for i, name in enumerate(FAMILIES)}
FIXED_SEED = -1  # the fixed 2 x 2 case of the degenerate family

CLASSES = ["ok", "false success", "below optimum", "infeasible point", "called infeasible",
           "honest failure", "crash", "timeout", "error"]

BELOW_TOLERANCE = 1e-7     # relative, for "below optimum"
EIGEN_TOLERANCE = 1e-9     # relative to the LMI's largest absolute eigenvalue
ROUNDING_FLOOR = 1e-13     # relative to |F0| + sum |y_i| |F_i|
AGREEMENT = 1e-6           # between two references


# ---------------------------------------------------------------- problems

class Problem:
    """A problem stated twice: as varnel text, and as NumPy functions of the
    variables' values from which the affine data (for CSDP, and for checking
    the returned point) is taken.

    Every function is f(values, one): values maps each variable name to its
    value (a float for a scalar, an array otherwise) and one multiplies the
    constant terms, so f(unit, 0) is a coefficient exactly, without the
    cancellation of f(unit, 1) - f(0, 1) that a constant of 1e8 would cause.
    """

    def __init__(self, family, seed, label):
        self.family = family
        self.seed = seed
        self.label = label
        self.params = []       # (name, value), in the order of the script
        self.variables = []    # (name, kind, shape), kind "scl", "sym" or "gen"
        self.lmis = []         # (text, function)
        self.objective = None  # (text, function)
        self.references = {}   # name: optimum; the first is the judge
        self.lower_bound = None  # (name, value) that the optimum must not undercut
        self.use_csdp = True
        self.csdp_equivalent = None  # (problem, factor): CSDP's optimum of it times factor
        self.skip = None
        self.optimum = None  # the judging reference, once the references are in

    def param(self, name, value):
        self.params.append((name, value))

    def var(self, name, kind, shape=(1, 1)):
        self.variables.append((name, kind, shape))

    def lmi(self, text, function):
        self.lmis.append((text, function))

    def obj(self, text, function):
        self.objective = (text, function)

    def reference(self, name, value):
        self.references[name] = float(value)


def decision_entries(problem):
    """(variable, index) of every scalar decision entry: a symmetric variable
    has one per entry of its upper triangle."""
    entries = []
    for name, kind, (rows, cols) in problem.variables:
        if kind == "scl":
            entries.append((name, None))
        elif kind == "sym":
            entries += [(name, (i, j)) for j in range(rows) for i in range(j + 1)]
        else:
            entries += [(name, (i, j)) for j in range(cols) for i in range(rows)]
    return entries


def values_at(problem, entries, y):
    values = {}
    kinds = {}
    for name, kind, shape in problem.variables:
        values[name] = 0.0 if kind == "scl" else np.zeros(shape)
        kinds[name] = kind
    for (name, index), v in zip(entries, y):
        if index is None:
            values[name] = float(v)
        else:
            values[name][index] = v
            if kinds[name] == "sym":
                values[name][index[::-1]] = v
    return values


def decision_vector(entries, exported):
    y = []
    for name, index in entries:
        value = np.atleast_2d(exported[name])
        y.append(float(value[0, 0]) if index is None else float(value[index]))
    return np.array(y)


def as_block(value):
    """An LMI's value as a 2-D array: a scalar is 1 x 1, a vector a column."""
    value = np.asarray(value, dtype=float)
    if value.ndim == 0:
        return value.reshape(1, 1)
    if value.ndim == 1:
        return value.reshape(-1, 1)
    return value


def affine_data(problem):
    """F0 and the F_i of every LMI, c and the constant d of the objective,
    in the decision entries."""
    entries = decision_entries(problem)
    zero = values_at(problem, entries, np.zeros(len(entries)))
    units = []
    for i in range(len(entries)):
        e = np.zeros(len(entries))
        e[i] = 1.0
        units.append(values_at(problem, entries, e))
    blocks = []
    for _, f in problem.lmis:
        blocks.append((as_block(f(zero, 1.0)), [as_block(f(u, 0.0)) for u in units]))
    g = problem.objective[1]
    c = np.array([float(g(u, 0.0)) for u in units])
    d = float(g(zero, 1.0))
    return entries, blocks, c, d


# ------------------------------------------------------------- generators

def orthogonal(rng, n):
    q, r = np.linalg.qr(rng.standard_normal((n, n)))
    return q * np.sign(np.diag(r))


def random_pd(rng, n, low=0.1, high=10.0):
    """A symmetric positive definite matrix with eigenvalues spread
    logarithmically in [low, high]."""
    q = orthogonal(rng, n)
    return (q * 10.0 ** rng.uniform(math.log10(low), math.log10(high), n)) @ q.T


def random_sym(rng, n):
    g = rng.standard_normal((n, n))
    return (g + g.T) / 2.0


def stable_matrix(rng, n, low=0.05, high=2.0):
    """A random matrix shifted so that its rightmost eigenvalue lies at a
    random distance in [low, high] left of the imaginary axis: small margins
    give large, ill-conditioned Lyapunov solutions."""
    a = rng.standard_normal((n, n))
    margin = 10.0 ** rng.uniform(math.log10(low), math.log10(high))
    return a - (np.max(np.linalg.eigvals(a).real) + margin) * np.eye(n)


def lyapunov_trace(A, Q):
    """trace(P) for A'P + PA + Q = 0, and the relative residual."""
    P = scipy.linalg.solve_continuous_lyapunov(A.T, -Q)
    residual = np.linalg.norm(A.T @ P + P @ A + Q) / max(np.linalg.norm(Q), 1e-300)
    return float(np.trace(P)), residual


def lyapunov_text(a):
    return f"-{a}'*P - P*{a}"


def gen_lyap(rng, seed):
    n = int(rng.integers(3, 11))
    A = stable_matrix(rng, n)
    p = Problem("lyap", seed, f"n={n}")
    p.param("A", A)
    p.var("P", "sym", (n, n))
    p.lmi(f"{lyapunov_text('A')} - eye({n})", lambda v, one: -A.T @ v["P"] - v["P"] @ A - one * np.eye(n))
    p.obj("trace(P)", lambda v, one: np.trace(v["P"]))
    value, residual = lyapunov_trace(A, np.eye(n))
    if residual > 1e-10:
        p.skip = f"Lyapunov residual {residual:.1e}"
    p.reference("lyapunov", value)
    return p


def gen_common(rng, seed):
    n = int(rng.integers(2, 7))
    k = int(rng.integers(2, 5))
    P0 = random_pd(rng, n, 0.3, 3.0)
    p = Problem("common", seed, f"n={n} k={k}")
    p.var("P", "sym", (n, n))
    p.lmi("P", lambda v, one: v["P"])
    bound = -math.inf
    for i in range(1, k + 1):
        K = rng.standard_normal((n, n)) * rng.uniform(0.0, 3.0)
        A = np.linalg.solve(P0, -random_pd(rng, n, 0.1, 3.0) + (K - K.T))
        p.param(f"A{i}", A)
        p.lmi(f"{lyapunov_text(f'A{i}')} - eye({n})",
              lambda v, one, A=A: -A.T @ v["P"] - v["P"] @ A - one * np.eye(n))
        # Each LMI alone has the Lyapunov trace as its optimum; all of them
        # together cannot do better.
        bound = max(bound, lyapunov_trace(A, np.eye(n))[0])
    p.obj("trace(P)", lambda v, one: np.trace(v["P"]))
    p.lower_bound = ("single Lyapunov", bound)
    return p


def frequency_gain(A, B, C, D, w):
    G = C @ np.linalg.solve(1j * w * np.eye(A.shape[0]) - A, B) + D
    return float(np.linalg.norm(G, 2))


def imaginary_crossings(A, B, C, D, g):
    """Frequencies w >= 0 at which some singular value of G(iw) may equal g:
    the imaginary-axis eigenvalues of the Hamiltonian. Generous on purpose:
    a spurious frequency costs one gain evaluation, a missed one a wrong
    upper bound."""
    p, m = D.shape
    Ri = np.linalg.inv(g * g * np.eye(m) - D.T @ D)
    Ah = A + B @ Ri @ D.T @ C
    H = np.block([[Ah, B @ Ri @ B.T], [-C.T @ (np.eye(p) + D @ Ri @ D.T) @ C, -Ah.T]])
    eigenvalues = np.linalg.eigvals(H)
    tolerance = 1e-6 * np.linalg.norm(H, 1)
    return sorted({abs(float(e.imag)) for e in eigenvalues if abs(e.real) <= tolerance})


def hinf_norm(A, B, C, D):
    """The H-infinity norm of a stable (A, B, C, D) to 1e-13 relative.

    Bisection on g: the Hamiltonian of g has imaginary-axis eigenvalues
    exactly when some gain reaches g. The lower end is only ever raised to a
    gain evaluated at a frequency (the crossings and their midpoints, as
    Bruinsma and Steinbuch do), so it is always attained; the upper end
    starts at |D| + 2 (sum of Hankel singular values). Returns (lower, upper,
    check), check being the largest gain on a dense grid, which must not
    exceed the upper end (it would if a crossing had been missed)."""
    poles = np.linalg.eigvals(A)
    top = float(np.max(np.abs(poles)))
    sigma_d = float(np.linalg.norm(D, 2))
    candidates = [0.0] + [abs(float(x.imag)) for x in poles] + [abs(complex(x)) for x in poles]
    candidates += list(top * np.logspace(-4, 2, 121))
    lo = max([sigma_d] + [frequency_gain(A, B, C, D, w) for w in candidates])
    Wc = scipy.linalg.solve_continuous_lyapunov(A, -B @ B.T)
    Wo = scipy.linalg.solve_continuous_lyapunov(A.T, -C.T @ C)
    hankel = np.sqrt(np.abs(np.linalg.eigvals(Wc @ Wo)))
    hi = max(sigma_d + 2.0 * float(np.sum(hankel)), lo) * (1.0 + 1e-9)
    for _ in range(400):
        if hi - lo <= 1e-13 * hi:
            break
        g = 0.5 * (lo + hi)
        crossings = imaginary_crossings(A, B, C, D, g)
        trial = crossings + [0.5 * (a + b) for a, b in zip(crossings, crossings[1:])]
        if crossings:
            trial += [0.5 * crossings[0]]
        for w in trial:
            lo = max(lo, frequency_gain(A, B, C, D, w))
        if lo < g:
            hi = g
    grid = top * np.logspace(-5, 3, 4001)
    check = max(frequency_gain(A, B, C, D, w) for w in grid)
    return lo, hi, check


def block_text(rows):
    return "block(" + "; ".join(", ".join(row) for row in rows) + ")"


def brl_problem(A, B, C, D, seed, label):
    n, m = B.shape
    q = C.shape[0]
    p = Problem("brl", seed, label)
    p.param("A", A)
    p.param("B", B)
    p.param("C", C)
    p.param("D", D)
    p.var("P", "sym", (n, n))
    p.var("g", "scl")
    gm = "g" if m == 1 else f"g*eye({m})"
    gq = "g" if q == 1 else f"g*eye({q})"
    p.lmi(block_text([[lyapunov_text("A")], ["-B'*P", gm], ["-C", "-D", gq]]),
          lambda v, one: np.block([
              [-A.T @ v["P"] - v["P"] @ A, -v["P"] @ B, -one * C.T],
              [-B.T @ v["P"], v["g"] * np.eye(m), -one * D.T],
              [-one * C, -one * D, v["g"] * np.eye(q)]]))
    p.lmi("P", lambda v, one: v["P"])
    p.obj("g", lambda v, one: v["g"])
    return p


def gen_brl(rng, seed):
    n = int(rng.integers(2, 7))
    m = 2 if rng.uniform() < 0.25 else 1
    q = 2 if rng.uniform() < 0.25 else 1
    A = stable_matrix(rng, n, 0.1, 2.0)
    B = rng.standard_normal((n, m))
    C = rng.standard_normal((q, n))
    D = np.zeros((q, m)) if rng.uniform() < 0.3 else 0.5 * rng.standard_normal((q, m))
    large = seed % 4 == 3
    if large:
        B *= 10.0 ** rng.uniform(3.0, 4.0) / np.linalg.norm(B, 2)
    label = f"n={n} {m}x{q}" + (f" normB={np.linalg.norm(B, 2):.0e}" if large else "") + \
        (" D=0" if not D.any() else "")
    p = brl_problem(A, B, C, D, seed, label)
    if large:
        # CSDP fails on the raw data; G/beta = (A, B/beta, C, D/beta) has
        # the norm divided by beta and ordinary sizes, so the cross-check
        # runs on that one.
        beta = float(np.linalg.norm(B, 2))
        p.csdp_equivalent = (brl_problem(A, B / beta, C, D / beta, seed, label), beta)
    lo, hi, check = hinf_norm(A, B, C, D)
    if not lo <= hi <= lo * (1.0 + 1e-12) or check > hi * (1.0 + 1e-9):
        p.skip = f"Hamiltonian bisection unsure: [{lo!r}, {hi!r}], grid {check!r}"
    p.reference("hamiltonian", lo)
    return p


def gen_lqr(rng, seed):
    n = int(rng.integers(2, 7))
    m = int(rng.integers(1, 4))
    A = rng.standard_normal((n, n)) * rng.uniform(0.5, 1.5)
    B = rng.standard_normal((n, m))
    L = rng.standard_normal((n, n))
    Q = L @ L.T / n + 0.1 * np.eye(n)
    R = random_pd(rng, m, 0.3, 3.0)
    p = Problem("lqr", seed, f"n={n} m={m}")
    p.param("A", A)
    p.param("B", B)
    p.param("Q", Q)
    p.param("R", R)
    p.var("P", "sym", (n, n))
    p.lmi(block_text([["A'*P + P*A + Q"], ["B'*P", "R"]]),
          lambda v, one: np.block([[A.T @ v["P"] + v["P"] @ A + one * Q, v["P"] @ B],
                                   [B.T @ v["P"], one * R]]))
    p.obj("-trace(P)", lambda v, one: -np.trace(v["P"]))
    X = scipy.linalg.solve_continuous_are(A, B, Q, R)
    residual = np.linalg.norm(A.T @ X + X @ A - X @ B @ np.linalg.solve(R, B.T @ X) + Q) / np.linalg.norm(Q)
    closed = np.max(np.linalg.eigvals(A - B @ np.linalg.solve(R, B.T @ X)).real)
    if residual > 1e-9 or closed >= 0:
        p.skip = f"Riccati solution not stabilising or inexact (residual {residual:.1e})"
    p.reference("riccati", -np.trace(X))
    return p


def scalar_problem(family, seed, label, blocks, rows, c, d):
    """min c'x + d over scalar x1..xm subject to the matrix blocks
    [F0, F1, ..., Fm] and the linear rows [h0, h1, ..., hm]."""
    m = len(c)
    p = Problem(family, seed, label)
    names = [f"x{i}" for i in range(1, m + 1)]
    for name in names:
        p.var(name, "scl")

    def affine(prefix, terms):
        for i, term in enumerate(terms):
            p.param(f"{prefix}_{i}", term)
        text = f"{prefix}_0" + "".join(f" + {x}*{prefix}_{i}" for i, x in enumerate(names, 1))
        p.lmi(text, lambda v, one: one * terms[0] + sum(v[x] * terms[i] for i, x in enumerate(names, 1)))

    for j, terms in enumerate(blocks, 1):
        affine(f"F{j}", terms)
    if rows is not None:
        affine("h", rows)
    for i, value in enumerate(c, 1):
        p.param(f"c{i}", value)
    text = " + ".join(f"c{i}*{x}" for i, x in enumerate(names, 1))
    if d != 0.0:
        p.param("d", d)
        text += " + d"
    p.obj(text, lambda v, one: sum(c[i] * v[x] for i, x in enumerate(names)) + one * d)
    return p


def strictly_feasible_data(rng, m, sizes, linear_rows=0):
    """Blocks (and rows) with a strictly feasible primal point y and a
    strictly feasible dual Z, so that both optima are attained and equal."""
    y = rng.standard_normal(m)
    c = np.zeros(m)
    blocks = []
    for n in sizes:
        F = [random_sym(rng, n) for _ in range(m)]
        S = random_pd(rng, n, 0.1, 3.0)
        Z = random_pd(rng, n, 0.1, 3.0)
        blocks.append([S - sum(yi * Fi for yi, Fi in zip(y, F))] + F)
        c += np.array([np.sum(Fi * Z) for Fi in F])
    rows = None
    if linear_rows:
        h = [rng.standard_normal((linear_rows, 1)) for _ in range(m)]
        s = rng.uniform(0.1, 2.0, (linear_rows, 1))
        z = rng.uniform(0.1, 2.0, (linear_rows, 1))
        rows = [s - sum(yi * hi for yi, hi in zip(y, h))] + h
        c += np.array([float(hi.T @ z) for hi in h])
    return blocks, rows, c


def gen_sdp(rng, seed):
    m = int(rng.integers(2, 13))
    sizes = [int(s) for s in rng.integers(2, 9, int(rng.integers(1, 4)))]
    blocks, _, c = strictly_feasible_data(rng, m, sizes)
    d = float(rng.uniform(-2.0, 2.0)) if rng.uniform() < 0.5 else 0.0
    return scalar_problem("sdp", seed, f"m={m} blocks={sizes}" + (" +d" if d else ""), blocks, None, c, d)


def gen_mixed(rng, seed):
    m = int(rng.integers(2, 9))
    size = int(rng.integers(2, 7))
    rows = int(rng.integers(2, 2 * m + 1))
    blocks, h, c = strictly_feasible_data(rng, m, [size], rows)
    return scalar_problem("mixed", seed, f"m={m} block={size} rows={rows}", blocks, h, c, 0.0)


def gen_lp(rng, seed):
    m = int(rng.integers(2, 11))
    r = int(rng.integers(m + 1, 3 * m + 1))
    A = rng.standard_normal((r, m))
    b = A @ rng.standard_normal((m, 1)) + rng.uniform(0.1, 2.0, (r, 1))
    c = -A.T @ rng.uniform(0.1, 2.0, (r, 1))
    p = Problem("lp", seed, f"m={m} rows={r}")
    p.param("A", A)
    p.param("b", b)
    p.param("c", c)
    p.var("x", "gen", (m, 1))
    p.lmi("b - A*x", lambda v, one: one * b - A @ v["x"])
    p.obj("c'*x", lambda v, one: float(c.T @ v["x"]))
    result = scipy.optimize.linprog(c.ravel(), A_ub=A, b_ub=b.ravel(), bounds=(None, None), method="highs")
    if result.status != 0:
        p.skip = f"HiGHS: {result.message}"
    else:
        p.reference("highs", result.fun)
    return p


def constructed_sdp(rng, m, shapes):
    """Blocks whose optimum is known by construction. shapes holds (n, r, s)
    per block: F(x*) has rank r, the dual optimum Z* rank s, in orthogonal
    ranges (so F(x*) Z* = 0); r + s < n leaves the pair not strictly
    complementary, r < n makes the block singular at the optimum.

    Every F_i is made orthogonal to Z0 - Z* for a Z0 > 0 of the same total
    trace, so Z0 is a strictly feasible dual with the same c; F_1 = I (also
    orthogonal, by the equal traces) makes x* + t e_1 strictly feasible. For
    any feasible x, c'x - c'x* = <F(x), Z*> >= 0: x* is optimal."""
    Fstar, Zstar = [], []
    for n, r, s in shapes:
        q = orthogonal(rng, n)
        lam = np.zeros(n)
        lam[:r] = 10.0 ** rng.uniform(-0.5, 0.5, r)
        mu = np.zeros(n)
        mu[r:r + s] = 10.0 ** rng.uniform(-0.5, 0.5, s)
        Fstar.append((q * lam) @ q.T)
        Zstar.append((q * mu) @ q.T)
    Z0 = [random_pd(rng, n, 0.2, 2.0) for n, _, _ in shapes]
    ratio = sum(np.trace(z) for z in Zstar) / sum(np.trace(z) for z in Z0)
    Dz = [z0 * ratio - z for z0, z in zip(Z0, Zstar)]
    dd = sum(np.sum(x * x) for x in Dz)
    F = [[np.eye(n) for n, _, _ in shapes]]
    for _ in range(m - 1):
        G = [random_sym(rng, n) for n, _, _ in shapes]
        t = sum(np.sum(g * x) for g, x in zip(G, Dz)) / dd
        F.append([g - t * x for g, x in zip(G, Dz)])
    x = rng.standard_normal(m)
    blocks = []
    for j in range(len(shapes)):
        terms = [F[i][j] for i in range(m)]
        blocks.append([Fstar[j] - sum(xi * t for xi, t in zip(x, terms))] + terms)
    c = np.array([sum(np.sum(F[i][j] * Zstar[j]) for j in range(len(shapes))) for i in range(m)])
    return blocks, c, float(c @ x)


def gen_degen(rng, seed):
    if seed == FIXED_SEED:
        p = Problem("degen", seed, "fixed 2x2, three Lyapunov LMIs")
        mats = [np.array([[-2.0, 0.0], [0.0, -2.0]]), np.array([[-2.0, 2.0], [-2.0, -2.0]]),
                np.array([[-2.0, -2.0], [2.0, -2.0]])]
        p.var("P", "sym", (2, 2))
        for i, A in enumerate(mats):
            p.param(f"A{i}", A)
            p.lmi(f"{lyapunov_text(f'A{i}')} - eye(2)",
                  lambda v, one, A=A: -A.T @ v["P"] - v["P"] @ A - one * np.eye(2))
        p.obj("trace(P)", lambda v, one: np.trace(v["P"]))
        p.reference("exact", 0.5)
        return p
    if seed % 2:
        n = int(rng.integers(3, 9))
        r = int(rng.integers(1, n - 1))
        s = int(rng.integers(1, n - r))
        shapes = [(n, r, s)]
        label = f"rank gap: n={n} rank F={r} rank Z={s}"
    else:
        shapes = []
        for _ in range(int(rng.integers(2, 4))):
            n = int(rng.integers(2, 7))
            r = int(rng.integers(1, n))
            shapes.append((n, r, n - r))
        label = "all singular: " + " ".join(f"{n}/{r}" for n, r, _ in shapes)
    total = sum(n * (n + 1) // 2 for n, _, _ in shapes)
    m = int(rng.integers(2, min(12, total - 1) + 1))
    blocks, c, value = constructed_sdp(rng, m, shapes)
    p = scalar_problem("degen", seed, f"m={m} {label}", blocks, None, c, 0.0)
    p.reference("construction", value)
    return p


def gen_scaled(rng, seed):
    k = -8 + seed % 17
    kind = (seed % 17 + seed // 17) % 3
    s = float(rng.uniform(1.0, 10.0)) * 10.0 ** k
    p = Problem("scaled", seed, "")
    p.use_csdp = False
    p.param("s", s)
    if kind == 0:
        p.label = f"x >= s, s={s:.3g}"
        p.var("x", "scl")
        p.lmi("x - s", lambda v, one: v["x"] - one * s)
        p.obj("x", lambda v, one: v["x"])
        p.reference("exact", s)
    elif kind == 1:
        p.label = f"P >= s I, s={s:.3g}"
        p.var("P", "sym", (3, 3))
        p.lmi("P - s*eye(3)", lambda v, one: v["P"] - one * s * np.eye(3))
        p.obj("trace(P)", lambda v, one: np.trace(v["P"]))
        p.reference("exact", 3.0 * s)
    else:
        n = int(rng.integers(3, 6))
        A = stable_matrix(rng, n, 0.2, 2.0)
        Q = s * np.eye(n)
        p.label = f"Lyapunov n={n}, Q={s:.3g} I"
        p.param("A", A)
        p.param("Q", Q)
        p.var("P", "sym", (n, n))
        p.lmi(f"{lyapunov_text('A')} - Q", lambda v, one: -A.T @ v["P"] - v["P"] @ A - one * Q)
        p.obj("trace(P)", lambda v, one: np.trace(v["P"]))
        value, residual = lyapunov_trace(A, Q)
        if residual > 1e-10:
            p.skip = f"Lyapunov residual {residual:.1e}"
        p.reference("lyapunov", value)
    return p


GENERATORS = {"lyap": gen_lyap, "common": gen_common, "brl": gen_brl, "lqr": gen_lqr, "sdp": gen_sdp,
              "lp": gen_lp, "mixed": gen_mixed, "degen": gen_degen, "scaled": gen_scaled}


def generate(family, seed):
    rng = np.random.default_rng([FAMILY_IDS[family], seed & 0xFFFFFFFF])
    return GENERATORS[family](rng, seed)


# ----------------------------------------------------------------- writing

def number(v):
    """A double as varnel reads it back exactly: %.17g, without the '+' of a
    positive exponent, which the lexer would take for an operator."""
    return ("%.17g" % float(v)).replace("e+", "e")


def literal(value):
    value = np.asarray(value, dtype=float)
    if value.size == 1:
        return number(value.reshape(-1)[0])
    value = np.atleast_2d(value)
    # One row per line keeps lines short; ";" at a line end ends one row.
    return "[" + ";\n  ".join(", ".join(number(v) for v in row) for row in value) + "]"


def declaration(name, kind, shape):
    if kind == "scl":
        return f"var {name}"
    if kind == "sym":
        return f"var sym {name}({shape[0]})"
    return f"var gen {name}({shape[0]},{shape[1]})"


def script_text(problem, fact, eps, max_iter, header):
    lines = ["% " + line for line in header]
    # eps as typed (repr reads back exactly too), not 9.9999999999999995e-08.
    lines += ["format compact", f"fact = {fact};", f"eps = {repr(float(eps)).replace('e+', 'e')};",
              f"max_iter = {max_iter};"]
    lines += [f"{name} = {literal(value)};" for name, value in problem.params]
    lines += [declaration(*v) for v in problem.variables]
    lines += [f"lmi = {text};" for text, _ in problem.lmis]
    lines += [f"obj = {problem.objective[0]};", "status = solve;", "objective = eval(obj);"]
    lines += [f"lmi{k} = eval(lmi({k}));" for k in range(1, len(problem.lmis) + 1)]
    names = ["status", "objective"] + [f"lmi{k}" for k in range(1, len(problem.lmis) + 1)]
    names += [name for name, _, _ in problem.variables]
    lines.append('export "result.mat" ' + " ".join(names))
    return "\n".join(lines) + "\n"


def sdpa_text(c, blocks):
    """SDPA sparse text: min c'y s.t. sum y_i F_i - F_0 >= 0. Our LMIs are
    F0 + sum y_i F_i >= 0, so SDPA's F_0 is -F0; a column of linear
    inequalities is a diagonal block (negative size)."""
    sizes = [-F0.shape[0] if F0.shape[1] == 1 else F0.shape[0] for F0, _ in blocks]
    lines = [str(len(c)), str(len(blocks)), " ".join(str(s) for s in sizes), " ".join(repr(float(v)) for v in c)]
    for i in range(len(c) + 1):
        for b, (F0, Fs) in enumerate(blocks, 1):
            M = -F0 if i == 0 else Fs[i - 1]
            if M.shape[1] == 1:
                entries = [(r, r, M[r, 0]) for r in range(M.shape[0])]
            else:
                entries = [(r, q, M[r, q]) for q in range(M.shape[1]) for r in range(q + 1)]
            lines += [f"{i} {b} {r + 1} {q + 1} {float(v)!r}" for r, q, v in entries if v != 0.0]
    return "\n".join(lines) + "\n"


# ----------------------------------------------------------------- running

def csdp_env():
    env = dict(os.environ)
    blas = "/usr/lib/x86_64-linux-gnu/openblas-serial"
    if os.path.isdir(blas):
        env["LD_LIBRARY_PATH"] = blas + (":" + env["LD_LIBRARY_PATH"] if env.get("LD_LIBRARY_PATH") else "")
    return env


def run_csdp(csdp, c, blocks, folder, timeout):
    """The optimum by CSDP, or None and the reason.

    The value taken is CSDP's primal tr(C X), computed here from its
    solution file at full precision (its log shows 8 digits): CSDP keeps X
    feasible to about 1e-15, so this is a lower bound within its gap of about
    1e-8, while its y may be infeasible by 1e-7 and c'y fall that far below
    the optimum. Tighter tolerances in param.csdp make CSDP claim success
    with X infeasible by 1e-7, so they stay at their defaults."""
    path = os.path.join(folder, "problem.dat-s")
    solution = os.path.join(folder, "problem.sol")
    with open(path, "w") as f:
        f.write(sdpa_text(c, blocks))
    try:
        proc = subprocess.run([csdp, path, solution], cwd=folder, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, env=csdp_env(), timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "CSDP timed out"
    except OSError as error:
        return None, f"CSDP: {error}"
    output = proc.stdout.decode(errors="replace")
    if proc.returncode != 0 or "Success: SDP solved" not in output:
        verdict = [line for line in output.splitlines() if "uccess" in line or "ailure" in line]
        return None, f"CSDP: {verdict[-1].strip() if verdict else 'exit ' + str(proc.returncode)}"
    value = 0.0
    with open(solution) as f:
        next(f)  # y
        for line in f:
            fields = line.split()
            if len(fields) != 5 or fields[0] != "2":
                continue
            b, i, j = (int(x) - 1 for x in fields[1:4])
            F0 = blocks[b][0]
            Cij = -F0[i, 0] if F0.shape[1] == 1 else -F0[i, j]
            value += Cij * float(fields[4]) * (1.0 if i == j else 2.0)
    return value, None


def parse_output(text):
    warnings = re.findall(r"#> Warning at line \d+: (.*)", text)
    errors = re.findall(r"^#> (?!Warning|Error)(.*)", text, re.MULTILINE)
    feasibility_failed = "Problem may have no feasible solution." in text
    iterations = None
    start = text.find("Optimizing...")
    if start >= 0:
        # The table ends before the first eval(lmi(...)) output; a normal-
        # equation run that falls back to least squares goes on counting.
        end = text.find("tmpLmi(", start)
        section = text[start:end if end >= 0 else len(text)]
        counters = [int(x) for x in re.findall(r"^\s*(\d+)\s+-?\d+\.\d*e[-+]?\d+", section, re.MULTILINE)]
        iterations = max(counters) if counters else 0
    return {"warnings": list(dict.fromkeys(warnings)), "errors": errors,
            "feasibility_failed": feasibility_failed, "iterations": iterations,
            "script_failed": "presents errors." in text}


def check_point(entries, blocks, c, d, exported, lmi_count):
    """Smallest eigenvalue of each exported eval(lmi(k)) against its own
    scale and against the rounding floor, and the agreement of the exported
    values with the model at the exported variables."""
    y = decision_vector(entries, exported)
    worst = None   # (ratio of violation to tolerance, k, smallest, largest)
    infeasible = False
    differs = []
    finite = True
    for k in range(1, lmi_count + 1):
        value = as_block(exported[f"lmi{k}"])
        F0, Fs = blocks[k - 1]
        if value.shape != F0.shape:
            raise ValueError(f"lmi{k} is {value.shape}, the model {F0.shape}")
        if not np.all(np.isfinite(value)):
            finite = False
            infeasible = True
            continue
        model = F0 + sum(yi * Fi for yi, Fi in zip(y, Fs))
        terms = np.linalg.norm(F0) + sum(abs(yi) * np.linalg.norm(Fi) for yi, Fi in zip(y, Fs))
        if value.shape[1] == 1:
            spectrum = value[:, 0]
        else:
            spectrum = np.linalg.eigvalsh((value + value.T) / 2.0)
        smallest = float(np.min(spectrum))
        largest = float(np.max(np.abs(spectrum)))
        tolerance = max(EIGEN_TOLERANCE * largest, ROUNDING_FLOOR * terms)
        if smallest < -tolerance:
            infeasible = True
        if worst is None or -smallest / max(tolerance, 1e-300) > worst[0]:
            worst = (-smallest / max(tolerance, 1e-300), k, smallest, largest)
        if np.max(np.abs(model - value)) > 1e-10 * max(terms, 1e-300):
            differs.append(f"lmi{k}")
    objective = float(np.atleast_2d(exported["objective"])[0, 0])
    if not math.isfinite(objective):
        finite = False
    model = float(c @ y) + d
    if abs(model - objective) > 1e-10 * max(float(np.abs(c) @ np.abs(y)) + abs(d), 1e-300):
        differs.append("obj")
    return objective, infeasible, worst, differs, finite


def classify(run, optimum, eps):
    """One class for a run; the reason for the order is in the docstring."""
    scale = max(1.0, abs(optimum))
    objective = run["objective"]
    below = objective < optimum - BELOW_TOLERANCE * scale
    if run["feasibility_failed"]:
        return "called infeasible", below
    if run["infeasible"]:
        return "infeasible point", below
    if below:
        return "below optimum", False
    if run["status"] == 0:
        return ("ok" if objective <= optimum + 2.0 * eps * scale else "false success"), False
    return "honest failure", False


def run_varnel(options, problem, data, fact, eps, folder, header):
    entries, blocks, c, d = data
    run = {"fact": fact, "eps": eps, "class": None, "status": None, "objective": None, "iterations": None,
           "warnings": [], "notes": [], "seconds": None}
    os.makedirs(folder)
    script = os.path.join(folder, "problem.lmi")
    with open(script, "w") as f:
        f.write(script_text(problem, fact, eps, options["max_iter"], header))
    start = time.perf_counter()
    output = ""
    try:
        proc = subprocess.run([options["varnel"], "problem.lmi"], cwd=folder, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=options["timeout"])
        output = proc.stdout.decode(errors="replace")
        code = proc.returncode
    except subprocess.TimeoutExpired as expired:
        output = (expired.stdout or b"").decode(errors="replace")
        code = "timeout"
    except OSError as error:
        # A binary being rebuilt under us, say: no verdict on the solver.
        run["class"] = "error"
        run["notes"].append(f"could not start varnel: {error}")
        return run, str(error)
    run["seconds"] = time.perf_counter() - start
    with open(os.path.join(folder, "problem.out"), "w") as f:
        f.write(output)
    parsed = parse_output(output)
    run["iterations"] = parsed["iterations"]
    run["warnings"] = parsed["warnings"]
    run["feasibility_failed"] = parsed["feasibility_failed"]
    if code == "timeout":
        run["class"] = "timeout"
    elif code != 0:
        run["class"] = "crash"
        run["notes"].append(f"exit {code}")
    else:
        try:
            if parsed["script_failed"]:
                raise ValueError("script failed: " + "; ".join(parsed["errors"][-1:]))
            exported = scipy.io.loadmat(os.path.join(folder, "result.mat"))
            run["status"] = int(round(float(np.atleast_2d(exported["status"])[0, 0])))
            objective, infeasible, worst, differs, finite = check_point(entries, blocks, c, d, exported,
                                                                      len(problem.lmis))
        except FileNotFoundError:
            run["class"] = "error"
            run["notes"].append("no result.mat: the script stopped before export")
            return run, output
        except Exception as error:  # a malformed file, whatever scipy makes of it
            run["class"] = "error"
            run["notes"].append(str(error)[:200])
            return run, output
        run["objective"] = objective
        run["infeasible"] = infeasible
        if not finite:
            run["notes"].append("non-finite values")
        if worst is not None and worst[2] < 0.0:
            # Shown when negative at all: a point below the optimum that
            # passes the tolerance still tells where its advantage came from.
            run["notes"].append(f"lmi{worst[1]} eig min {worst[2]:.3e}, max abs {worst[3]:.3e}"
                                + (" (beyond tolerance)" if worst[0] > 1.0 else ""))
        if differs:
            run["notes"].append("eval differs: " + " ".join(differs))
        if not math.isfinite(objective):
            run["class"] = "infeasible point"
        else:
            run["class"], also_below = classify(run, problem.optimum, eps)
            if also_below:
                run["notes"].append("also below optimum")
    return run, output


def keep_name(problem, fact, eps):
    seed = "fixed" if problem.seed == FIXED_SEED else str(problem.seed)
    return f"{problem.family}-{seed}-fact{fact}-eps{eps:g}"


def solve_problem(task):
    """Generate one problem, compute its references, run varnel on it for
    every fact and eps. Runs in a worker process; returns plain data."""
    family, seed, options = task
    record = {"family": family, "seed": seed, "label": "", "references": {}, "optimum": None,
              "skipped": None, "disagreements": [], "runs": []}
    try:
        problem = generate(family, seed)
    except Exception as error:  # a generator's own failure must not stop the others
        record["skipped"] = f"generation failed: {error!r}"
        return record
    record["label"] = problem.label
    data = affine_data(problem)
    entries, blocks, c, d = data
    with tempfile.TemporaryDirectory(prefix="accuracy-") as folder:
        dats = os.path.join(folder, "problem.dat-s")
        if problem.use_csdp:
            value, reason = run_csdp(options["csdp"], c, blocks, folder, options["timeout"])
            if value is not None:
                problem.reference("csdp", value + d)
            elif problem.csdp_equivalent is not None:
                equivalent, factor = problem.csdp_equivalent
                _, eq_blocks, eq_c, eq_d = affine_data(equivalent)
                value, reason = run_csdp(options["csdp"], eq_c, eq_blocks, folder, options["timeout"])
                if value is not None:
                    problem.reference("csdp (scaled data)", factor * (value + eq_d))
            if value is None:
                problem.skip = problem.skip or reason
        record["references"] = dict(problem.references)
        if problem.skip is None and not problem.references:
            problem.skip = "no reference"
        if problem.skip is not None:
            record["skipped"] = problem.skip
            return record
        names = list(problem.references)
        problem.optimum = problem.references[names[0]]
        record["optimum"] = problem.optimum
        scale = max(1.0, abs(problem.optimum))
        for other in names[1:]:
            gap = (problem.references[other] - problem.optimum) / scale
            if abs(gap) > AGREEMENT:
                record["disagreements"].append(f"{other} - {names[0]} = {gap:+.2e} relative")
        if problem.lower_bound is not None:
            name, bound = problem.lower_bound
            if problem.optimum < bound - AGREEMENT * scale:
                record["disagreements"].append(f"{names[0]} below the {name} bound by "
                                               f"{(bound - problem.optimum) / scale:.2e} relative")
        if options["references_only"]:
            return record
        for fact in options["fact"]:
            for eps in options["eps"]:
                header = [f"{family} seed {'fixed' if seed == FIXED_SEED else seed}: {problem.label}",
                          "optimum by " + ", ".join(f"{k} {v!r}" for k, v in problem.references.items()),
                          "written by bench/accuracy.py; run as: varnel THIS_FILE (writes result.mat here)"]
                sub = os.path.join(folder, f"fact{fact}-eps{eps:g}")
                run, output = run_varnel(options, problem, data, fact, eps, sub, header)
                if run["class"] != "ok":
                    os.makedirs(options["keep"], exist_ok=True)
                    base = os.path.join(options["keep"], keep_name(problem, fact, eps))
                    shutil.copyfile(os.path.join(sub, "problem.lmi"), base + ".lmi")
                    with open(base + ".out", "w") as f:
                        f.write(output)
                    if os.path.exists(dats):
                        shutil.copyfile(dats, os.path.join(options["keep"], keep_name(problem, fact, eps)
                                                           .rsplit("-fact", 1)[0] + ".dat-s"))
                    run["script"] = base + ".lmi"
                record["runs"].append(run)
    return record


# ----------------------------------------------------------------- reports

def seed_text(seed):
    return "fixed" if seed == FIXED_SEED else str(seed)


def print_summary(records, options):
    short = {"ok": "ok", "false success": "false succ", "below optimum": "below opt",
             "infeasible point": "infeas pt", "called infeasible": "called infeas",
             "honest failure": "honest fail", "crash": "crash", "timeout": "timeout", "error": "error"}
    header = "| family | fact | eps | runs | " + " | ".join(short[k] for k in CLASSES) + " | iters med | iters max |"
    print(header)
    print("|" + "---|" * (header.count("|") - 1))
    for family in options["families"]:
        for fact in options["fact"]:
            for eps in options["eps"]:
                runs = [r for rec in records if rec["family"] == family for r in rec["runs"]
                        if r["fact"] == fact and r["eps"] == eps]
                if not runs:
                    continue
                counts = [sum(1 for r in runs if r["class"] == k) for k in CLASSES]
                iters = [r["iterations"] for r in runs if r["iterations"] is not None]
                med = f"{statistics.median(iters):g}" if iters else "-"
                worst = str(max(iters)) if iters else "-"
                print(f"| {family} | {fact} | {eps:g} | {len(runs)} | " + " | ".join(str(n) for n in counts)
                      + f" | {med} | {worst} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--families", nargs="*", default=FAMILIES, choices=FAMILIES, metavar="FAMILY",
                        help="of " + " ".join(FAMILIES))
    parser.add_argument("--count", type=int, default=None,
                        help="problems per family (default 30, and 51 for scaled: all its pairs); "
                             "degen adds the fixed case")
    parser.add_argument("--seed", type=int, default=0, help="the first seed; problem i has seed + i")
    parser.add_argument("--eps", type=float, nargs="*", default=[1e-4, 1e-7])
    parser.add_argument("--fact", type=int, nargs="*", default=[1, 2], choices=[1, 2])
    parser.add_argument("--max-iter", type=int, default=100)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=120.0, help="seconds per varnel or CSDP run")
    parser.add_argument("--varnel", default=os.path.join(ROOT, "build", "interpreter", "varnel"))
    parser.add_argument("--csdp", default="csdp")
    parser.add_argument("--keep", default="/tmp/accuracy-failures", help="folder for the scripts of non-ok runs")
    parser.add_argument("--json", help="also write every run to this file")
    parser.add_argument("--references-only", action="store_true",
                        help="generate the problems and check their references, run no varnel")
    args = parser.parse_args()

    varnel = os.path.abspath(args.varnel)
    if not args.references_only and not os.access(varnel, os.X_OK):
        sys.exit(f"{varnel} is not an executable file")
    options = {"varnel": varnel, "csdp": args.csdp, "eps": args.eps, "fact": args.fact,
               "max_iter": args.max_iter, "timeout": args.timeout, "keep": os.path.abspath(args.keep),
               "references_only": args.references_only, "families": args.families}
    tasks = []
    for family in args.families:
        count = args.count if args.count is not None else (51 if family == "scaled" else 30)
        tasks += [(family, args.seed + i, options) for i in range(count)]
        if family == "degen":
            tasks.append((family, FIXED_SEED, options))

    started = time.perf_counter()
    print(f"{len(tasks)} problems, fact {args.fact}, eps {args.eps}, max_iter {args.max_iter}, "
          f"{args.jobs} jobs; varnel {varnel}", flush=True)
    records = []
    with concurrent.futures.ProcessPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(solve_problem, task): task for task in tasks}
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            try:
                record = future.result()
            except Exception as error:  # one problem's trouble must not lose the others
                family, seed, _ = futures[future]
                record = {"family": family, "seed": seed, "label": "", "references": {}, "optimum": None,
                          "skipped": f"tool failure: {error!r}", "disagreements": [], "runs": []}
            records.append(record)
            state = "skipped" if record["skipped"] else " ".join(r["class"].replace(" ", "-") for r in record["runs"])
            print(f"[{done}/{len(tasks)}] {record['family']} {seed_text(record['seed'])}: {state}",
                  file=sys.stderr, flush=True)
    order = {f: i for i, f in enumerate(FAMILIES)}
    records.sort(key=lambda r: (order[r["family"]], r["seed"] if r["seed"] != FIXED_SEED else 1 << 30))

    print()
    if not args.references_only:
        print_summary(records, options)
        print()
        bad = [(rec, run) for rec in records for run in rec["runs"] if run["class"] != "ok"]
        print(f"Runs not ok: {len(bad)}")
        if bad:
            print("| family | seed | problem | fact | eps | class | status | objective | optimum | rel. error "
                  "| iters | warnings, notes | script |")
            print("|" + "---|" * 13)
            for rec, run in bad:
                obj = "-" if run["objective"] is None else f"{run['objective']:.10g}"
                rel = "-" if run["objective"] is None or not math.isfinite(run["objective"]) else \
                    f"{(run['objective'] - rec['optimum']) / max(1.0, abs(rec['optimum'])):+.2e}"
                status = "-" if run["status"] is None else str(run["status"])
                iters = "-" if run["iterations"] is None else str(run["iterations"])
                notes = "; ".join(run["warnings"] + run["notes"])
                print(f"| {rec['family']} | {seed_text(rec['seed'])} | {rec['label']} | {run['fact']} | "
                      f"{run['eps']:g} | {run['class']} | {status} | {obj} | {rec['optimum']:.10g} | {rel} | "
                      f"{iters} | {notes} | {run.get('script', '-')} |")
        print()
    skipped = [rec for rec in records if rec["skipped"]]
    print(f"Problems skipped: {len(skipped)}")
    for rec in skipped:
        print(f"  {rec['family']} {seed_text(rec['seed'])} ({rec['label']}): {rec['skipped']}")
    disagreements = [rec for rec in records if rec["disagreements"]]
    print(f"Reference disagreements (beyond {AGREEMENT:g} relative): {len(disagreements)}")
    for rec in disagreements:
        refs = ", ".join(f"{k} {v:.12g}" for k, v in rec["references"].items())
        print(f"  {rec['family']} {seed_text(rec['seed'])} ({rec['label']}): {'; '.join(rec['disagreements'])} "
              f"[{refs}]")
    print(f"\n{time.perf_counter() - started:.0f} s")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(records, f, indent=1, default=float)


if __name__ == "__main__":
    main()
