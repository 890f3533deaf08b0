// The shipped scripts as a user runs them: every example in examples/ runs
// to its end without an error or a warning and reaches the answer that its
// comment states, checked against the mathematics behind it (optimal values
// and matrices known in closed form, inequalities by their eigenvalues).
// The tutorial's LMI parts and the whole tutorial run through `exec` to
// their end, and each problem of the LMI parts, run up to where the next
// one begins, reaches the answer its comments give.
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eigenvalues.h"
#include "solver_fixture.h"

namespace {

const std::string kProjectDir = VARNEL_SOURCE_DIR;

// The solver's relative accuracy in the examples: the default of `eps`.
const double kEps = 1e-4;

double traceOf(const GenMatrixD& M) {
  double sum = 0.0;
  for (int i = 0; i < M.Rows(); ++i) sum += M(i, i);
  return sum;
}

// The symmetric matrix whose lower triangle of blocks is given row by row,
// as `block(...)` states it.
GenMatrixD blockMatrix(const std::vector<std::vector<GenMatrixD>>& lower) {
  std::vector<int> offset(1, 0);
  for (const auto& row : lower) offset.push_back(offset.back() + row.back().Rows());
  GenMatrixD M(offset.back(), offset.back(), 0.0, 0);
  for (size_t i = 0; i < lower.size(); ++i)
    for (size_t j = 0; j <= i; ++j) {
      const GenMatrixD& B = lower[i][j];
      for (int p = 0; p < B.Rows(); ++p)
        for (int q = 0; q < B.Cols(); ++q) {
          M(offset[i] + p, offset[j] + q) = B(p, q);
          M(offset[j] + q, offset[i] + p) = B(p, q);
        }
    }
  return M;
}

// -(A'P + PA): positive definite when P proves dx/dt = A x stable.
GenMatrixD lyapunovSlack(const GenMatrixD& A, const GenMatrixD& P) {
  return -1.0 * (transpose(A) * P + P * A);
}

// An inequality M >= 0 at the solver's point: an optimum lies on the
// boundary, so the smallest eigenvalue may be slightly negative, by
// rounding relative to the size of M.
void expectSemidefinite(const GenMatrixD& M, const std::string& what) {
  double scale = 1.0;
  for (int k = 0; k < M.Size(); ++k) scale = std::max(scale, std::fabs(M[k]));
  EXPECT_GE(smallestEigenvalue(M) / scale, -1e-8) << what;
}

// A minimum reached by `solve`: not below the optimum (the point is
// feasible) and above it by no more than the relative accuracy allows.
void expectMinimum(double value, double optimum, const std::string& what) {
  const double scale = std::max(1.0, std::fabs(optimum));
  EXPECT_GE(value, optimum - 1e-8 * scale) << what;
  EXPECT_LE(value, optimum + 10.0 * kEps * scale) << what;
}

class ExamplesTest : public SolverFixture {
 protected:
  void TearDown() override {
    searchPath.clear();
    SolverFixture::TearDown();
  }

  // Runs the script file at path through `exec`, in a fresh workspace;
  // the status of the statement.
  int execFile(const std::string& path) {
    freshWorkspace();
    return run("exec \"" + path + "\"");
  }

  // Runs `exec name` with the tutorial directory as the example directory,
  // as the program does when VARNEL_PATH names the project.
  int execTutorial(const std::string& name) {
    freshWorkspace();
    searchPath.assign(1, kProjectDir + "/TUTORIAL/");
    return run("exec " + name);
  }

  // The example's stated answer, checked on the workspace it left.
  struct Example {
    std::string file;
    std::function<void()> check;
  };

  std::vector<Example> examples() {
    return {
        {"calculator.lmi",
         [] {
           EXPECT_EQ(valueOf("a")[0], 14.0);
           EXPECT_EQ(valueOf("b")[0], 5.0);
           const GenMatrixD A = valueOf("A");
           EXPECT_TRUE(nearMatrix(A * valueOf("Ainv"), identityMatrix(2), 1e-14));
           // ans is eig(A): (7 - sqrt(5))/2 and (7 + sqrt(5))/2.
           const GenMatrixD e = valueOf("ans");
           ASSERT_EQ(e.Rows(), 2);
           std::vector<double> values = {e(0, 0), e(1, 0)};
           std::sort(values.begin(), values.end());
           EXPECT_NEAR(values[0], (7.0 - std::sqrt(5.0)) / 2.0, 1e-14);
           EXPECT_NEAR(values[1], (7.0 + std::sqrt(5.0)) / 2.0, 1e-14);
           for (int j = 1; j < e.Cols(); ++j)
             for (int i = 0; i < 2; ++i) EXPECT_EQ(e(i, j), 0.0) << "imaginary part " << i;
         }},
        {"lyapunov.lmi",
         [] {
           const GenMatrixD P = valueOf("P");
           EXPECT_GT(smallestEigenvalue(P), 0.0);
           EXPECT_GT(smallestEigenvalue(lyapunovSlack(valueOf("A"), P)), 0.0);
         }},
        {"min_trace_lyapunov.lmi",
         [] {
           // A'P + PA + I = 0 at P* = [1/2 1/4; 1/4 1/3]; any feasible P
           // exceeds P* by a semidefinite matrix, so its entries lie within
           // the excess of the trace.
           const GenMatrixD P = valueOf("P");
           expectMinimum(traceOf(P), 5.0 / 6.0, "trace(P)");
           EXPECT_TRUE(nearMatrix(P, make(2, 2, {0.5, 0.25, 0.25, 1.0 / 3.0}), 10.0 * kEps));
           expectSemidefinite(lyapunovSlack(valueOf("A"), P) - identityMatrix(2), "-A'P - PA - I");
         }},
        {"schur_block.lmi",
         [] {
           // [X I; I D] >= 0 holds exactly when X >= inv(D) = diag(1/2, 1/4).
           const GenMatrixD X = valueOf("X");
           expectMinimum(traceOf(X), 0.75, "trace(X)");
           EXPECT_TRUE(nearMatrix(X, make(2, 2, {0.5, 0.0, 0.0, 0.25}), 10.0 * kEps));
           expectSemidefinite(blockMatrix({{X}, {identityMatrix(2), valueOf("D")}}), "[X I; I D]");
         }},
        {"hinf_norm.lmi",
         [] {
           // 1/(s+1) + 1/(s+2) + 1/(s+4) + 1/4 has the norm 2, its gain at
           // s = 0, which the script computes last.
           EXPECT_NEAR(valueOf("ans")[0], 2.0, 1e-12);
           const double g = valueOf("g")[0];
           expectMinimum(g, 2.0, "g");
           const GenMatrixD A = valueOf("A"), B = valueOf("B"), C = valueOf("C"), P = valueOf("P");
           const GenMatrixD D = valueOf("D");
           const GenMatrixD G(1, 1, g, 0);
           expectSemidefinite(blockMatrix({{lyapunovSlack(A, P)}, {-1.0 * transpose(B) * P, G}, {-1.0 * C, -1.0 * D, G}}),
                              "bounded real lemma");
           expectSemidefinite(P, "P");
         }},
        {"state_feedback.lmi",
         [] {
           const GenMatrixD A = valueOf("A"), B = valueOf("B"), P = valueOf("P");
           const GenMatrixD closedLoop = A + B * valueOf("K");
           EXPECT_GT(largestRealPart(A), 0.0) << "A alone is unstable";
           EXPECT_LT(largestRealPart(closedLoop), -1.0) << "decay rate alpha = 1";
           // P certifies it: (A + BK + I)P + P(A + BK + I)' < 0.
           EXPECT_GT(smallestEigenvalue(P), 0.0);
           EXPECT_GT(smallestEigenvalue(lyapunovSlack(transpose(closedLoop + identityMatrix(3)), P)), 0.0);
         }},
        {"common_lyapunov.lmi",
         [] {
           // A_i = -c_i I + S_i, S_i skew, c = 1, 2, 3: the optimum is I/2.
           const GenMatrixD P = valueOf("P");
           expectMinimum(traceOf(P), 1.5, "trace(P)");
           EXPECT_TRUE(nearMatrix(P, 0.5 * identityMatrix(3), 10.0 * kEps * 1.5));
           for (const char* name : {"A1", "A2", "A3"})
             expectSemidefinite(lyapunovSlack(valueOf(name), P) - identityMatrix(3), name);
         }},
    };
  }

  // The text of TUTORIAL/name.lmi before its count-th line that begins
  // with start (all of it when there is no such line).
  static std::string tutorialUpTo(const std::string& name, const std::string& start, int count) {
    std::ifstream file(kProjectDir + "/TUTORIAL/" + name + ".lmi");
    EXPECT_TRUE(file.is_open()) << name;
    std::string text, line;
    while (std::getline(file, line)) {
      if (line.rfind(start, 0) == 0 && --count == 0) break;
      text += line + "\n";
    }
    return text;
  }

  // The problems of the tutorial's LMI parts, each run up to where the
  // next one begins, and the answers their comments give.
  struct TutorialProblem {
    std::string name;
    std::string part;
    std::string stopAt;  // the problem ends before the count-th line that begins so
    int count;
    std::function<void()> check;
  };

  std::vector<TutorialProblem> tutorialProblems() {
    return {
        {"masked Lyapunov matrix", "variables", "format verbose", 1,
         [] {
           // Q(1,3) and Q(2,3) are zero, Q(1,1) = Q(2,2), and Q proves A
           // stable.
           const GenMatrixD Q = valueOf("Q");
           const double rounding = 1e-12 * std::fabs(Q(0, 0));
           for (const auto& zero : {std::make_pair(0, 2), std::make_pair(1, 2)}) {
             EXPECT_NEAR(Q(zero.first, zero.second), 0.0, rounding);
             EXPECT_NEAR(Q(zero.second, zero.first), 0.0, rounding);
           }
           EXPECT_NEAR(Q(0, 0), Q(1, 1), rounding);
           EXPECT_GT(smallestEigenvalue(Q), 0.0);
           EXPECT_GT(smallestEigenvalue(lyapunovSlack(valueOf("A"), Q)), 0.0);
         }},
        {"Lyapunov matrix", "inequalities", "clear", 2,
         [] {
           const GenMatrixD P = valueOf("P");
           EXPECT_EQ(valueOf("status")[0], 0.0);
           EXPECT_GT(smallestEigenvalue(P), 0.0);
           EXPECT_GT(smallestEigenvalue(lyapunovSlack(valueOf("A"), P)), 0.0);
         }},
        {"no solution", "inequalities", "clear", 3,
         [this] {
           EXPECT_NE(valueOf("status")[0], 0.0);
           EXPECT_EQ(occurrences(output.str(), "Problem may have no feasible solution."), 1);
         }},
        {"Schur complement", "inequalities", "lme", 1,
         [] {
           // X = inv(D) = [2 -1; -1 2]/3, trace 4/3.
           const GenMatrixD X = valueOf("X");
           EXPECT_EQ(valueOf("status")[0], 0.0);
           expectMinimum(traceOf(X), 4.0 / 3.0, "trace(X)");
           EXPECT_TRUE(nearMatrix(X, make(2, 2, {2.0 / 3, -1.0 / 3, -1.0 / 3, 2.0 / 3}), 10.0 * kEps * 4.0 / 3.0));
           EXPECT_NEAR(valueOf("ans")[0], traceOf(X), 1e-12) << "eval(obj)";
         }},
        {"Schur complement with X(1,2) = 0", "inequalities", "format verbose", 1,
         [] {
           // X = I, trace 2.
           const GenMatrixD X = valueOf("X");
           EXPECT_EQ(valueOf("status")[0], 0.0);
           EXPECT_NEAR(X(0, 1), 0.0, 1e-12);
           expectMinimum(traceOf(X), 2.0, "trace(X)");
           EXPECT_TRUE(nearMatrix(X, identityMatrix(2), 10.0 * kEps * 2.0));
           expectSemidefinite(blockMatrix({{X}, {identityMatrix(2), valueOf("D")}}), "[X I; I D]");
         }},
    };
  }
};

TEST_F(ExamplesTest, EveryExampleReachesItsStatedAnswer) {
  for (const Example& example : examples()) {
    SCOPED_TRACE(example.file);
    ASSERT_EQ(execFile(kProjectDir + "/examples/" + example.file), 0) << output.str();
    EXPECT_EQ(occurrences(output.str(), "#> Warning"), 0) << output.str();
    example.check();
  }
}

TEST_F(ExamplesTest, EveryShippedExampleHasItsAnswerChecked) {
  std::set<std::string> checked;
  for (const Example& example : examples()) checked.insert(example.file);
  DIR* folder = opendir((kProjectDir + "/examples").c_str());
  ASSERT_NE(folder, nullptr);
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".lmi") == 0) {
      EXPECT_EQ(checked.count(name), 1u) << name;
    }
  }
  closedir(folder);
}

TEST_F(ExamplesTest, TutorialRunsToItsEnd) {
  const struct {
    const char* name;
    int infeasibleRuns;  // feasibility runs that are meant to fail
  } parts[] = {{"variables", 0}, {"inequalities", 1}, {"tutorial", 1}};
  for (const auto& part : parts) {
    SCOPED_TRACE(part.name);
    ASSERT_EQ(execTutorial(part.name), 0) << output.str();
    EXPECT_EQ(occurrences(output.str(), "#> Error"), 0) << output.str();
    EXPECT_EQ(occurrences(output.str(), "Problem may have no feasible solution."), part.infeasibleRuns)
        << output.str();
    // The compact format that the LMI parts use ends with them.
    EXPECT_EQ(verboseFormat, 1);
  }
}

TEST_F(ExamplesTest, TutorialProblemsReachTheAnswersTheirCommentsGive) {
  for (const TutorialProblem& problem : tutorialProblems()) {
    SCOPED_TRACE(problem.name);
    freshWorkspace();
    ASSERT_EQ(runLines(tutorialUpTo(problem.part, problem.stopAt, problem.count)), 0) << output.str();
    problem.check();
  }
}

}  // namespace
