// Affine matrix expressions: a block is a constant term followed by terms
// L * X * R (X or X', optionally plus its own transpose) in matrix
// variables X. Every stored LMI block, LME and the objective is one.
#ifndef VARNEL_VLMI_BLOCK_H
#define VARNEL_VLMI_BLOCK_H

#include <string>

#include "shared_array.h"
#include "value.h"

struct VMatTerm {
  VMatTerm() = default;
  // The constant term holding c.
  explicit VMatTerm(const Value& c) : left(c), leftIsIdentity(0) {}

  std::string name;  // "" marks the constant term
  Value left;
  Value right;
  int leftIsIdentity = 1;
  int rightIsIdentity = 1;
  int transposed = 0;
  int symmetric = 0;
};

using TermVec = SharedArray<VMatTerm>;

class VLmiBlock {
 public:
  // n terms: term 0 the constant 0.0, the others placeholders; 1 x 1.
  explicit VLmiBlock(int n = 1) : terms(n), rows(1), cols(1) { terms[0] = VMatTerm(Value(0.0)); }
  // Copy construction gives the copy its own term array.
  VLmiBlock(const VLmiBlock& other) = default;
  // Assignment shares the source's term array.
  VLmiBlock& operator=(const VLmiBlock& other) {
    terms.Share(other.terms);
    rows = other.rows;
    cols = other.cols;
    return *this;
  }

  int& Rows() { return rows; }
  int& Cols() { return cols; }
  int Rows() const { return rows; }
  int Cols() const { return cols; }
  int NumTerms() const { return terms.Size(); }
  VMatTerm& operator[](int i) const { return terms[i]; }
  const TermVec& Terms() const { return terms; }

 private:
  TermVec terms;
  int rows;
  int cols;
};

class BuiltProblem;

#endif
