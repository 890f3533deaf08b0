#include "step_length.h"

#include <cmath>

int stepLength(const GenMatrixD& v, double& alpha, double tol, int maxIter) {
  const int n = v.Rows() * v.Cols();
  const double* x = v.Data();
  double c = x[0];
  for (int i = 1; i < n; ++i)
    if (x[i] > c) c = x[i];
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += x[i] * x[i];

  double lambda = c / s * c + c;
  double previous = lambda;
  for (int k = 0;; ++k) {
    double sum = 0.0;
    double derivative = 0.0;
    for (int i = 0; i < n; ++i) {
      const double q = x[i] * x[i] / (lambda - x[i]);
      sum += q;
      derivative -= q / (lambda - x[i]);
    }
    const double f = sum - s;
    const double next = lambda - f / derivative;
    const int repeated = next == previous;
    lambda = next;
    if (repeated || k > maxIter) break;
    previous = next;
    if (!(std::sqrt(-derivative * f * f) > tol)) break;
  }
  alpha = 1.0 / lambda;
  return lambda > c ? 0 : 1;  // a lambda that is not a number fails too
}
