#include "display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <string>

#include "report.h"

namespace {

// Width of an element with a mantissa or fixed number below 10000.
const int kElementWidth = 11;
const int kFixedPrecision = 4;
const int kScientificPrecision = 7;
const int kColumnsPerGroup = 6;

// The largest magnitude of m's elements, optionally only of the finite ones.
double largestMagnitude(const GenMatrixD& m, bool finiteOnly) {
  double big = 0.0;
  const double* data = m.Data();
  for (int k = 0, n = m.Rows() * m.Cols(); k < n; ++k) {
    const double a = std::fabs(data[k]);
    if (a > big && (!finiteOnly || std::isfinite(a))) big = a;
  }
  return big;
}

// The power of ten that numbers of magnitude a are shown under; 0 selects the
// fixed form. A non-finite magnitude has no power of ten and is shown fixed.
int scaleExponent(double a) {
  if (a == 0.0 || !std::isfinite(a)) return 0;
  const int k = static_cast<int>(std::log10(a));
  if (k >= 0 && k <= 3) return 0;
  return k > 0 ? k : k - 1;
}

// Division by 10^exponent. Below the normal range the power loses digits or
// vanishes (10^-324 is 0.0), so there the division goes through 10^300 first.
class Scale {
 public:
  explicit Scale(int exponent) : power(std::pow(10.0, exponent)), twoStep(!std::isnormal(power)) {
    if (twoStep) power = std::pow(10.0, exponent + 300);
  }
  double Apply(double x) const { return twoStep ? x * 1e300 / power : x / power; }

 private:
  double power;
  bool twoStep;
};

void useFixedNotation(int precision) {
  std::cout.setf(std::ios::fixed, std::ios::floatfield);
  std::cout.precision(precision);
}

// Inf, -Inf or NaN, right-aligned in an element's field.
void writeNonFinite(double y) {
  const char* text = std::isnan(y) ? "NaN" : y < 0 ? "-Inf" : "Inf";
  std::cout << std::string(kElementWidth - std::strlen(text), ' ') << text;
}

// A number in the fixed form: sign place, padding that aligns the decimal
// point in the seventh column, a blank, four decimals. Magnitudes below
// 0.0005 are written as a plain zero, so no negative zero ever shows.
void writeFixedElement(double y) {
  if (!std::isfinite(y)) return writeNonFinite(y);
  if (std::fabs(y) < 5.0 * std::pow(10.0, -4.0)) y = 0.0;
  const double a = std::fabs(y);
  int blanks = y < 0 ? 0 : 1;
  blanks += a < 10 ? 3 : 3 - static_cast<int>(std::log10(a));
  std::cout << std::string(blanks + 1, ' ') << y;
}

// A mantissa with seven decimals after a sign place and a blank.
void writeScientificElement(double m) {
  if (!std::isfinite(m)) return writeNonFinite(m);
  if (std::fabs(m) < 5.0 * std::pow(10.0, -7.0)) m = 0.0;
  std::cout << (m < 0 ? " " : "  ") << m;
}

void printScalar(double x) {
  const int exponent = scaleExponent(std::fabs(x));
  std::cout << '\n';
  if (exponent == 0) {
    useFixedNotation(kFixedPrecision);
    writeFixedElement(x);
  } else {
    useFixedNotation(kScientificPrecision);
    writeScientificElement(Scale(exponent).Apply(x));
    std::cout << 'e' << exponent;
  }
  std::cout << '\n';
}

// The rows of columns first..last of m, with the scale line above them in
// the scientific form.
void printColumnGroup(const GenMatrixD& m, int first, int last, int exponent, const Scale& scale) {
  std::cout << '\n';
  if (exponent != 0) std::cout << "  1e" << exponent << " *\n";
  for (int i = 0; i < m.Rows(); ++i) {
    for (int j = first; j <= last; ++j) {
      if (exponent == 0)
        writeFixedElement(m(i, j));
      else
        writeScientificElement(scale.Apply(m(i, j)));
    }
    std::cout << '\n';
  }
}

// One power of ten for the whole matrix, chosen by its largest finite
// magnitude so that infinities do not hide the other elements.
void printMatrix(const GenMatrixD& m) {
  double big = maxAbs(m);
  if (std::isinf(big)) big = largestMagnitude(m, true);
  const int exponent = scaleExponent(big);
  const Scale scale(exponent);
  useFixedNotation(exponent == 0 ? kFixedPrecision : kScientificPrecision);
  const int cols = m.Cols();
  const bool grouped = cols > kColumnsPerGroup;
  for (int first = 0; first < cols; first += kColumnsPerGroup) {
    const int last = std::min(first + kColumnsPerGroup, cols) - 1;
    if (grouped) {
      std::cout << "\n Columns " << first + 1 << " to " << last + 1;
      newlineUnlessCompact();
    }
    printColumnGroup(m, first, last, exponent, scale);
  }
}

}  // namespace

double maxAbs(const GenMatrixD& m) { return largestMagnitude(m, false); }

void printValueFormatted(const Value& value) {
  if (value.IsScalar())
    printScalar(*value.Scalar());
  else if (value.IsMatrix())
    printMatrix(*value.Matrix());
  else
    std::cout << "\n  []\n";
}
