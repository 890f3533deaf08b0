// The fixture of the affine-term and affine-block tests: a variables table
// whose values can be redrawn at random, fixed random constants, and the
// captured error reports (standard output) and error stream.
#ifndef VARNEL_AFFINE_TEST_SUPPORT_H
#define VARNEL_AFFINE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_matrices.h"
#include "value.h"
#include "vlmi_block.h"
#include "workspace.h"

class AffineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedOut = std::cout.rdbuf(out.rdbuf());
    savedErr = std::cerr.rdbuf(err.rdbuf());
    modeFlags = kModePrompt;
    statementText.clear();
    columnNumber = 0;
    variableTable.Clear();
    declare("X", kGen, 3, 3);
    declare("Y", kSym, 3, 3);
    declare("V", kGen, 2, 3);
    declare("W", kGen, 2, 2);
    declare("x", kScl, 1, 1);
    declare("t", kScl, 1, 1);
    A = random(2, 3);
    B = addValues(random(3, 3), identity(3, 4.0));
    C = random(3, 2);
    M = random(2, 2);
    S = matrixValue(3, 3, {1, 2, 3, 2, 4, 6, 1, 0, 1});  // rank 2
  }
  void TearDown() override {
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
    variableTable.Clear();
  }

  void declare(const std::string& name, int type, int rows, int cols) {
    variableTable.Insert(name, VarRecord(type, Value(rows, cols, 0.0)));
  }
  // Gives every variable a new random value.
  void redraw() {
    for (const std::string& name : variableTable.SortedKeys(0)) {
      Value& v = variableTable.Lookup(name).GetValue();
      v = random(v.Rows(), v.Cols());
    }
  }
  Value var(const std::string& name) { return variableTable.Lookup(name).GetValue(); }

  Value random(int rows, int cols) {
    std::uniform_real_distribution<double> draw(-1.0, 1.0);
    if (rows == 1 && cols == 1) return Value(draw(rng));
    GenMatrixD m(rows, cols);
    for (int k = 0; k < rows * cols; ++k) m[k] = draw(rng);
    return Value(m);
  }
  static Value identity(int n, double scale = 1.0) {
    GenMatrixD m(n, n, 0.0, 0);
    for (int i = 0; i < n; ++i) m(i, i) = scale;
    return Value(m);
  }
  static Value inverse(const Value& v) {
    Value r;
    EXPECT_EQ(0, invValue(v, r));
    return r;
  }

  // The block of a variable as the affine evaluator makes it, and the
  // constant block of a value.
  VLmiBlock varBlock(const std::string& name) {
    VLmiBlock b(1);
    const Value v = var(name);
    b.AddTerm(name, v.Rows(), v.Cols());
    return b;
  }
  static VLmiBlock constBlock(const Value& v) {
    VLmiBlock b(1);
    setLmiConstant(b, v);
    return b;
  }

  // The messages of the error reports written so far ("#> " lines other than
  // the header of any input mode), cleared after reading.
  std::vector<std::string> messages() {
    std::vector<std::string> found;
    std::istringstream lines(out.str());
    std::string line;
    while (std::getline(lines, line))
      if (line.rfind("#> ", 0) == 0 && line.rfind("#> Error", 0) != 0) found.push_back(line.substr(3));
    out.str("");
    return found;
  }
  std::string errText() {
    const std::string text = err.str();
    err.str("");
    return text;
  }

  std::mt19937 rng{20240611u};
  Value A, B, C, M, S;
  std::ostringstream out;
  std::ostringstream err;
  std::streambuf* savedOut = nullptr;
  std::streambuf* savedErr = nullptr;
};

// Same tag, same size and elements equal within tol relative to the larger
// magnitude (at least 1).
inline ::testing::AssertionResult valuesNear(const Value& actual, const Value& expected, double tol = 1e-9) {
  if (actual.Tag() != expected.Tag() || actual.Rows() != expected.Rows() || actual.Cols() != expected.Cols())
    return ::testing::AssertionFailure() << "tag/size " << actual.Tag() << " " << actual.Rows() << "x"
                                         << actual.Cols() << ", expected " << expected.Tag() << " "
                                         << expected.Rows() << "x" << expected.Cols();
  const int n = actual.ElementCount();
  const double* a = actual.IsScalar() ? actual.Scalar() : (n > 0 ? actual.Matrix()->Data() : nullptr);
  const double* e = expected.IsScalar() ? expected.Scalar() : (n > 0 ? expected.Matrix()->Data() : nullptr);
  for (int k = 0; k < n; ++k) {
    const double scale = std::fmax(1.0, std::fmax(std::fabs(a[k]), std::fabs(e[k])));
    if (!(std::fabs(a[k] - e[k]) <= tol * scale))
      return ::testing::AssertionFailure() << "element " << k << ": " << a[k] << " vs " << e[k];
  }
  return ::testing::AssertionSuccess();
}

// Same shape and bit-identical elements, a NaN matching a NaN.
inline ::testing::AssertionResult sameBits(const Value& a, const Value& b) {
  if (a.Tag() != b.Tag() || a.Rows() != b.Rows() || a.Cols() != b.Cols())
    return ::testing::AssertionFailure() << "shape " << a.Rows() << "x" << a.Cols() << " vs " << b.Rows() << "x"
                                         << b.Cols();
  const GenMatrixD ma = asMatrix(a), mb = asMatrix(b);
  for (int i = 0; i < ma.Size(); ++i) {
    const bool bothNaN = std::isnan(ma[i]) && std::isnan(mb[i]);
    if (!bothNaN && ma[i] != mb[i])
      return ::testing::AssertionFailure() << "element " << i << ": " << ma[i] << " vs " << mb[i];
  }
  return ::testing::AssertionSuccess();
}

#endif
