#include "tables.h"

#include <cmath>
#include <iomanip>
#include <iostream>
#include <string>

namespace {

void printDashes(int count) { std::cout << std::string(count > 0 ? count : 0, '-'); }

// The blanks after a value in scientific notation, so that the accuracy
// column stays put when the exponent needs three digits.
int gapAfterValue(double value) {
  if (value == 0.0 || !std::isfinite(value)) return 4;
  const int e = std::abs(static_cast<int>(std::log(std::fabs(value)) / std::log(10.0)));
  if (e <= 99) return 4;
  return 5 - static_cast<int>(std::log(static_cast<double>(e)) / std::log(10.0));
}

}  // namespace

int tablePrecision(double eps) { return 1 - static_cast<int>(std::log(eps) / std::log(10.0)); }

void printOptimizationSeparator(int precision) {
  printDashes(precision <= 5 ? precision + 33 : 2 * precision + 27);
  std::cout << "\n";
}

void printFeasibilitySeparator(int precision) {
  printDashes(precision <= 8 ? 26 : precision + 17);
  std::cout << "\n";
}

void printOptimizationHead(double eps) {
  const int a = tablePrecision(eps);
  const std::string gap(a + 1, ' ');
  printOptimizationSeparator(a);
  std::cout << " Iteration    Objective" << gap << "Relative  \n";
  std::cout << "   counter    value    " << gap << "accuracy  \n";
  printOptimizationSeparator(a);
}

void printFeasibilityHead(double eps) {
  const int a = tablePrecision(eps);
  printFeasibilitySeparator(a);
  std::cout << " Iteration    Feasibility\n";
  std::cout << "   counter    radius\n";
  printFeasibilitySeparator(a);
  std::cout << std::fixed;
}

void printFeasibilityLine(double eps, int counter, double radius) {
  std::cout << std::setw(10) << counter << "    " << std::setprecision(tablePrecision(eps)) << radius << "\n";
}

void printOptimizationLine(double eps, int counter, double value, double accuracy, int mark) {
  const int a = tablePrecision(eps);
  std::cout << std::setw(10) << counter << (value < 0.0 ? "   " : "    ");
  std::cout << std::scientific << std::setprecision(a) << value << std::string(gapAfterValue(value), ' ');
  std::cout << std::fixed;
  if (accuracy < 0.0)
    printDashes(a + 2);
  else
    std::cout << accuracy;
  if (mark == 0) std::cout << " *";
  if (mark > 1) std::cout << " +";
  std::cout << "\n";
}

std::ostream& printLme(std::ostream& out, const BuiltProblem& problem) {
  out << "Lme:\n";
  out << " - nv: " << problem.Nv() << "\n";
  out << " - nb: " << problem.Nb() << " de tamanho: ";
  for (int k = 0; k < problem.Nb(); ++k) out << problem.BlockSizes()[k] << " ";
  out << "\n";
  out << " - td: " << problem.Td() << "\n";
  out << " - nt: " << problem.Nt() << "\n";
  out << " - nvt: " << problem.Nvt() << "\n";
  return out;
}
