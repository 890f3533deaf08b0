// Long affine sums for the tests that count how much work a sum does.
#ifndef VARNEL_SUM_CHAIN_H
#define VARNEL_SUM_CHAIN_H

#include <string>

// first, then n - 1 times an operator and each, the operators taken in turn
// from operators ("+", "-" or "+-"), all between blanks.
inline std::string sumChain(const std::string& first, const std::string& each, const std::string& operators, int n) {
  std::string chain = first;
  for (int i = 1; i < n; ++i) chain += std::string(" ") + operators[i % operators.size()] + " " + each;
  return chain;
}

#endif
