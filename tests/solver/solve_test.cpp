// feas and solve from end to end: problems with known answers solved by
// both forms of the Newton system, the outcome codes and warnings of the
// drivers, and what the variables hold after a failure.
#include "solve_primaries.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivers.h"
#include "eigenvalues.h"
#include "report.h"
#include "solver_fixture.h"

namespace {

// Whether text holds the timing report's last line, "    CPU time: ",
// seconds with two decimals and " seconds", followed by an empty line.
bool hasCpuTimeLine(const std::string& text) {
  const std::string head = "\n    CPU time: ";
  const std::size_t start = text.find(head);
  if (start == std::string::npos) return false;
  std::size_t i = start + head.size();
  const auto digits = [&](std::size_t least, std::size_t most) {
    std::size_t n = 0;
    while (i < text.size() && n < most && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++n;
    return n >= least;
  };
  if (!digits(1, std::string::npos)) return false;
  if (i >= text.size() || text[i++] != '.') return false;
  if (!digits(2, 2)) return false;
  const std::string tail = " seconds\n\n";
  return text.compare(i, tail.size(), tail) == 0;
}

class SolveTest : public SolverFixture {
 protected:
  // Runs the script with `fact` set first; the value of its last solve or
  // feas (ans).
  double Solve(int fact, const std::string& script) {
    EXPECT_EQ(run("format compact\nfact = " + std::to_string(fact) + ";\n" + script), 0) << output.str();
    return valueOf("ans")[0];
  }
  std::string Output() const { return output.str(); }
};

// min trace(P) s.t. A'P + PA + I < 0: P solves A'P + PA + I = 0.
const char* const kLyapunov =
    "A = [-1 2; 0 -3];\n"
    "var sym P(2)\n"
    "lmi = -A'*P - P*A - eye(2);\n"
    "lmi = P;\n"
    "obj = trace(P);\n"
    "solve;";

struct KnownAnswer {
  const char* name;
  const char* script;
  const char* variable;
  std::vector<double> solution;  // row by row
  double objective;
};

// The objective of each problem is the trace of its variable.
const KnownAnswer kKnownAnswers[] = {
    {"minimum trace Lyapunov matrix", kLyapunov, "P", {0.5, 0.25, 0.25, 1.0 / 3.0}, 5.0 / 6.0},
    {"largest eigenvalue",
     "M = [2 1; 1 2];\nvar t\nlmi = t*eye(2) - M;\nobj = t;\nsolve;", "t", {3.0}, 3.0},
    {"Schur complement",
     "var sym X(2)\nlmi = block(X; eye(2), [2 0; 0 4]);\nobj = trace(X);\nsolve;", "X", {0.5, 0.0, 0.0, 0.25},
     0.75},
};

TEST_F(SolveTest, KnownAnswersByBothForms) {
  for (const KnownAnswer& c : kKnownAnswers)
    for (int fact = 1; fact <= 2; ++fact)
      // At 1e-9 the scaled objective's terms near the optimum are large
      // and cancel: any inconsistency between the least-squares rows and
      // the objective's right side drives the bound below the optimum.
      for (const char* epsText : {"1e-4", "1e-7", "1e-9"}) {
        SCOPED_TRACE(std::string(c.name) + ", fact " + std::to_string(fact) + ", eps " + epsText);
        const double eps = std::stod(epsText);
        freshWorkspace();
        EXPECT_EQ(Solve(fact, std::string("eps = ") + epsText + ";\n" + c.script), 0.0) << Output();
        const GenMatrixD X = valueOf(c.variable);
        double trace = 0.0;
        for (int i = 0; i < X.Rows(); ++i) trace += X(i, i);
        // The bound's relative change fell below eps: the objective is
        // within a few times eps of the optimum, and so is the point.
        EXPECT_NEAR(trace, c.objective, 10.0 * eps * c.objective);
        for (int i = 0; i < X.Rows(); ++i)
          for (int j = 0; j < X.Cols(); ++j)
            EXPECT_NEAR(X(i, j), c.solution[i * X.Cols() + j], 100.0 * eps) << i << ", " << j;
        EXPECT_EQ(occurrences(Output(), "Warning"), 0);
      }
}

TEST_F(SolveTest, LyapunovSolutionIsFeasible) {
  for (int fact = 1; fact <= 2; ++fact) {
    freshWorkspace();
    ASSERT_EQ(Solve(fact, kLyapunov), 0.0);
    const GenMatrixD A = make(2, 2, {-1, 2, 0, -3});
    const GenMatrixD P = valueOf("P");
    GenMatrixD Q = transpose(A) * P + P * A;
    for (int i = 0; i < 2; ++i) Q(i, i) += 1.0;
    // -(A'P + PA + I) >= 0 up to the accuracy, P > 0.
    EXPECT_GT(smallestEigenvalue(-1.0 * Q), -1e-3);
    EXPECT_GT(smallestEigenvalue(P), 0.0);
  }
}

TEST_F(SolveTest, FeasStoresAStrictlyFeasiblePoint) {
  for (int fact = 1; fact <= 2; ++fact) {
    freshWorkspace();
    EXPECT_EQ(Solve(fact, "A = [-1 2; 0 -3];\nvar sym P(2)\nlmi = -A'*P - P*A;\nlmi = P;\nfeas;"), 0.0);
    const GenMatrixD A = make(2, 2, {-1, 2, 0, -3});
    const GenMatrixD P = valueOf("P");
    EXPECT_GT(smallestEigenvalue(P), 0.0);
    EXPECT_GT(smallestEigenvalue(-1.0 * (transpose(A) * P + P * A)), 0.0);
  }
}

// Constants scaled by 10^k make no feasible problem infeasible: the
// feasibility phase ends with a strictly feasible point in both forms. With
// constants of 1e8 the homogenising parameter's column of the Newton system
// is eight orders larger than the others, which once made the least-squares
// system look rank deficient and the phase call the problem unbounded.
TEST_F(SolveTest, LargeAndSmallConstantsAreFoundFeasible) {
  for (int k = -8; k <= 8; ++k)
    for (int fact = 1; fact <= 2; ++fact)
      for (const char* eps : {"1e-4", "1e-7"}) {
        const std::string s = "1e" + std::to_string(k);
        SCOPED_TRACE("s = " + s + ", fact " + std::to_string(fact) + ", eps " + eps);
        const std::string settings = std::string("eps = ") + eps + ";\ns = " + s + ";\n";
        const struct {
          const char* script;
          const char* variable;
        } problems[] = {{"var x\nlmi = x - s;\nfeas;", "x"},
                        {"var sym P(3)\nlmi = P - s*eye(3);\nfeas;", "P"},
                        {"A = [-1 2; 0 -3];\nvar sym P(2)\nlmi = -A'*P - P*A - s*eye(2);\nfeas;", "P"}};
        for (const auto& problem : problems) {
          freshWorkspace();
          EXPECT_EQ(Solve(fact, settings + problem.script), 0.0) << Output();
          EXPECT_EQ(occurrences(Output(), "Problem may have no feasible solution."), 0) << Output();
          ASSERT_EQ(run("value = eval(lmi(1));"), 0) << output.str();
          const GenMatrixD value = valueOf("value");
          EXPECT_GT(value.Rows() == 1 ? value[0] : smallestEigenvalue(value), 0.0) << problem.script;
        }
      }
}

// The output with each warning's line number left out.
std::string withoutLineNumbers(std::string text) {
  const std::string prefix = "#> Warning at line ";
  for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
    const size_t colon = text.find(':', at);
    text.replace(at, colon - at, "#> Warning");
  }
  return text;
}

// An optimisation driver that goes on (counter 2) from a bound below the
// optimum: no level under it is admissible, so every iteration keeps the
// bound (mark 0) and the run stalls. min 2t s.t. t I - [2 1; 1 2] > 0 has
// the optimum 3 in the units of the scaled objective t; the bound 2.5 is
// shown as 2 * 2.5.
TEST_F(SolveTest, StalledOptimizationWarnsAndFallsBackFromTheSameBound) {
  const std::string separator(37, '-');
  const std::string stalled = "         2    5.0000e+00    ------ *\n"
                              "         3    5.0000e+00    ------ *\n"
                              "         4    5.0000e+00    ------ *\n";
  const std::string warning = "#> Warning: No progress after 3 iterations.\n";
  for (int fact = 1; fact <= 2; ++fact) {
    SCOPED_TRACE(fact);
    freshWorkspace();
    ASSERT_EQ(run("format compact\nnoprog = 3;\nM = [2 1; 1 2];\nvar t\nlmi = t*eye(2) - M;\nobj = 2*t;\nbuild;"), 0);
    const SolverJob job{*builtProblem, objectiveVector, solverSettings, reportWarning};
    SolverRun solverRun;
    ASSERT_EQ(runFindFeasibleQR(job, solverRun, 0), 0);
    storeSolution();
    const double feasible = valueOf("t")[0];
    ASSERT_GT(feasible, 3.0);

    output.str("");
    const int status = fact == 1 ? runOptimizeQR(job, solverRun, 2, 2.5) : runOptimizeCholesky(job, solverRun, 2, 2.5);
    EXPECT_EQ(status, 2);
    // A run that goes on prints a separator instead of a head; the least
    // squares form takes over at the same counter and bound.
    std::string expected = separator + "\n" + stalled + separator + "\n" + warning;
    if (fact == 2)
      expected += separator + "\n" + "         4    5.0000e+00    ------ *\n" +
                  "         5    5.0000e+00    ------ *\n" + "         6    5.0000e+00    ------ *\n" + separator + "\n" +
                  warning;
    EXPECT_EQ(withoutLineNumbers(output.str()), expected);
    // No bound was accepted: the variables keep the feasible point.
    storeSolution();
    EXPECT_EQ(valueOf("t")[0], feasible);
  }
}

TEST_F(SolveTest, InfeasibleProblem) {
  for (int fact = 1; fact <= 2; ++fact) {
    freshWorkspace();
    EXPECT_NE(Solve(fact, "var x\nlmi = x - 1;\nlmi = -1 - x;\nsolve;"), 0.0);
    EXPECT_EQ(occurrences(Output(), "Problem may have no feasible solution."), 1);
    EXPECT_EQ(occurrences(Output(), "Optimizing..."), 0);
  }
}

// A point on the boundary of the feasible set is not strictly feasible.
TEST_F(SolveTest, BoundaryIsNotFoundFeasible) {
  const char* const scripts[] = {
      "var x\nlmi = x;\nlmi = -x;\nfeas;",
      "A = [1 0; 0 -2];\nvar sym P(2)\nlmi = P;\nlmi = -A'*P - P*A;\nfeas;",
  };
  for (const char* script : scripts)
    for (int fact = 1; fact <= 2; ++fact) {
      SCOPED_TRACE(script);
      freshWorkspace();
      EXPECT_NE(Solve(fact, script), 0.0) << Output();
      EXPECT_EQ(occurrences(Output(), "Problem may have no feasible solution."), 1);
    }
}

// No P > 0 has -A'P - PA - sI > 0 when A has an eigenvalue in the right
// half plane (here 0.0187). The phase drives P to entries of 1e12 and more,
// where both inequalities can look positive definite by rounding alone:
// that is no strictly feasible point.
TEST_F(SolveTest, AnUnstableSystemHasNoLyapunovMatrix) {
  const char* const script =
      "A = [-1.9444298117290595 -0.22924746986316524; -1.9638970176755759 -0.21066562696993252];\n"
      "var sym P(2)\nlmi = -A'*P - P*A - 0.001*eye(2);\nlmi = P;\nfeas;";
  for (int fact = 1; fact <= 2; ++fact) {
    SCOPED_TRACE("fact " + std::to_string(fact));
    freshWorkspace();
    EXPECT_NE(Solve(fact, script), 0.0) << Output();
    EXPECT_EQ(occurrences(Output(), "Problem may have no feasible solution."), 1) << Output();
  }
}

// An objective unbounded below on the feasible set is reported as such,
// not as an internal failure, and the variables keep a feasible point.
TEST_F(SolveTest, UnboundedObjectiveLeavesAFeasiblePoint) {
  const char* const scripts[] = {
      "var x\nlmi = x;\nobj = -x;\nsolve;",
      "var sym P(2)\nlmi = P - eye(2);\nobj = -trace(P);\nsolve;",
  };
  for (const char* script : scripts)
    for (int fact = 1; fact <= 2; ++fact) {
      SCOPED_TRACE(script);
      freshWorkspace();
      EXPECT_EQ(Solve(fact, script), 4.0) << Output();
      EXPECT_EQ(occurrences(Output(), "Unboundness detected."), 1);
      EXPECT_EQ(occurrences(Output(), "Please report"), 0);
      EXPECT_EQ(occurrences(Output(), "Error::"), 0);
      ASSERT_EQ(run("value = eval(lmi(1));"), 0);
      EXPECT_GE(smallestEigenvalue(valueOf("value")), 0.0);
    }
}

// Data that is not finite is refused by the build, so neither phase runs.
TEST_F(SolveTest, NonFiniteDataNeverReachesTheSolver) {
  const char* const scripts[] = {
      "var x\nlmi = x;\nlme = x - 0/0;\nsolve;",
      "var sym X(2)\nlmi = X + 1/0;\nfeas;",
      "var x\nlmi = x - 1;\nobj = x*(-1/0);\nsolve;",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    freshWorkspace();
    EXPECT_EQ(run(script), 1);
    EXPECT_EQ(occurrences(Output(), "coefficients must be finite."), 1);
    EXPECT_EQ(occurrences(Output(), "Searching feasible point..."), 0);
  }
}

// A free parameter that enters no inequality (z, tied to y only).
TEST_F(SolveTest, FreeParameterOutsideEveryInequality) {
  const char* const problem = "var x y z\nlmi = x - 1;\nlme = y - z;\n";
  for (int fact = 1; fact <= 2; ++fact) {
    freshWorkspace();
    EXPECT_EQ(Solve(fact, std::string(problem) + "feas;"), 0.0) << Output();
    EXPECT_GT(valueOf("x")[0], 1.0);
    EXPECT_EQ(occurrences(Output(), "Numerical degeneracy. Switching to QR."), fact == 2 ? 1 : 0);

    freshWorkspace();
    EXPECT_EQ(Solve(fact, std::string(problem) + "lmi = x*eye(2) - [2 1; 1 2];\nobj = x;\nsolve;"), 0.0)
        << Output();
    EXPECT_NEAR(valueOf("x")[0], 3.0, 1e-3);

    // The objective falls without end along y: no optimum is claimed.
    freshWorkspace();
    EXPECT_EQ(Solve(fact, std::string(problem) + "obj = x + y;\nsolve;"), 4.0) << Output();
    EXPECT_EQ(occurrences(Output(), "Unboundness detected."), 1);
    EXPECT_EQ(occurrences(Output(), "Please report"), 0);
    EXPECT_GT(valueOf("x")[0], 1.0);
  }
}

// X's antisymmetric part enters no inequality: the least-squares systems
// are rank deficient and the Newton matrix singular. X + X' >= M gives
// trace(X) >= trace(M) / 2, attained at X = M / 2. With M = I the first
// bound is already the optimum.
TEST_F(SolveTest, GeneralVariableSeenThroughItsSymmetricPart) {
  const struct {
    const char* M;
    double optimum;
  } cases[] = {{"eye(2)", 1.0}, {"[2 1; 1 2]", 2.0}};
  for (const auto& c : cases)
    for (int fact = 1; fact <= 2; ++fact) {
      SCOPED_TRACE(c.M);
      freshWorkspace();
      EXPECT_EQ(Solve(fact, std::string("var X(2,2)\nlmi = X + X' - ") + c.M + ";\nobj = trace(X);\nsolve;"), 0.0)
          << Output();
      const GenMatrixD X = valueOf("X");
      EXPECT_NEAR(X(0, 0) + X(1, 1), c.optimum, 1e-3);
      EXPECT_TRUE(std::isfinite(X(0, 1)) && std::isfinite(X(1, 0)));
    }
}

TEST_F(SolveTest, ConstantReducedObjective) {
  for (int fact = 1; fact <= 2; ++fact) {
    freshWorkspace();
    EXPECT_EQ(Solve(fact, "var x y\nlmi = x - 1;\nlmi = y;\nlme = x - y - 2;\nobj = x - y;\nsolve;"), 0.0);
    const double x = valueOf("x")[0];
    const double y = valueOf("y")[0];
    EXPECT_NEAR(x - y, 2.0, 1e-12);
    EXPECT_GT(x, 1.0);
    EXPECT_GT(y, 0.0);
  }
}

TEST_F(SolveTest, MaxIterKeepsTheLastAcceptedPoint) {
  for (int fact = 1; fact <= 2; ++fact) {
    freshWorkspace();
    EXPECT_EQ(Solve(fact, std::string("max_iter = 3;\n") + kLyapunov), 1.0);
    EXPECT_EQ(occurrences(Output(), fact == 1 ? "Stopping. 'max_iter' exceeded.\n"
                                              : "Stopping. 'max_iter' exceeded. Solution may be not optimal.\n"),
              1);
    // Not yet optimal, but feasible and above the optimum.
    const GenMatrixD P = valueOf("P");
    EXPECT_GT(P(0, 0) + P(1, 1), 5.0 / 6.0);
    EXPECT_GT(smallestEigenvalue(P), 0.0);
  }
}

// The drivers read nothing of the workspace: the settings and the function
// that takes their warnings come with the job. With noprog 3 in the job
// (10 in the workspace) the stalled run of the test above warns through the
// job's function, and nothing reaches the output but the tables.
std::vector<std::string> warningsTaken;
void takeWarning(const std::string& message) { warningsTaken.push_back(message); }

TEST_F(SolveTest, DriversTakeSettingsAndReporterFromTheJob) {
  for (int fact = 1; fact <= 2; ++fact) {
    SCOPED_TRACE(fact);
    freshWorkspace();
    ASSERT_EQ(run("format compact\nM = [2 1; 1 2];\nvar t\nlmi = t*eye(2) - M;\nobj = 2*t;\nbuild;"), 0);
    ASSERT_EQ(solverSettings.noprog, 10);
    SolverSettings settings = solverSettings;
    settings.noprog = 3;
    settings.display = 0;
    warningsTaken.clear();
    const SolverJob job{*builtProblem, objectiveVector, settings, takeWarning};
    SolverRun solverRun;
    ASSERT_EQ(runFindFeasibleQR(job, solverRun, 0), 0);
    output.str("");
    const int status = fact == 1 ? runOptimizeQR(job, solverRun, 2, 2.5) : runOptimizeCholesky(job, solverRun, 2, 2.5);
    EXPECT_EQ(status, kNoProgress);
    // The normal equations fall back to least squares, which stalls too.
    const std::vector<std::string> expected(fact, "No progress after 3 iterations.");
    EXPECT_EQ(warningsTaken, expected);
    EXPECT_EQ(output.str(), "") << "display 0 shows no table, and no warning is printed";
  }
}

TEST_F(SolveTest, SolveWithoutObjectiveLeavesTheVariables) {
  freshWorkspace();
  EXPECT_EQ(Solve(1, "var sym X(2) = 5\nlmi = X - eye(2);\nsolve;"), 0.0);
  EXPECT_EQ(occurrences(Output(), "Optimizing..."), 0);
  const GenMatrixD before = valueOf("X");
  EXPECT_EQ(before(0, 0), 5.0);
  EXPECT_EQ(before(0, 1), 5.0);
  EXPECT_EQ(Solve(1, "feas;"), 0.0);
  const GenMatrixD X = valueOf("X");
  EXPECT_NE(X(0, 1), 5.0);
  GenMatrixD shifted(X);
  for (int i = 0; i < 2; ++i) shifted(i, i) -= 1.0;
  EXPECT_GT(smallestEigenvalue(shifted), 0.0);
}

TEST_F(SolveTest, TimingReportInTheVerboseFormat) {
  freshWorkspace();
  ASSERT_EQ(run("var x\nlmi = x - 1;\nfeas;"), 0);
  const std::string text = Output();
  EXPECT_NE(text.find("\n\n- Timing information.\n\n  Start time: "), std::string::npos) << text;
  EXPECT_NE(text.find("\n    End time: "), std::string::npos);
  // The seconds with two decimals; their value depends on the machine.
  EXPECT_TRUE(hasCpuTimeLine(text)) << text;
}

}  // namespace
