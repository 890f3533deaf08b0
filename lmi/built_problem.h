// The reduced problem that `build` leaves for the solver.
//
// A ConstraintSet holds the inequalities over the scalar unknowns of the
// variables: each matrix inequality as a TermBlock (a list of ReducedTerms),
// each block matrix inequality as a BlockLmi of packed SubBlocks, and every
// column-vector inequality as one row of a LinearInequalities matrix. The
// variables' value matrices share their storage with the workspace's
// builtVariableValues, so a point written into them is seen there.
// BuiltProblem adds the equality basis (dependent unknowns as combinations
// of the free parameters) and the sizes the solver works with.
//
// Unknowns: entry (r, c) of variable v is unknown offsets[v] + r + c * rows;
// variable 0 is the 1 x 1 " Affine Variable", whose unknown stands for the
// constant 1. Free parameters y expand to unknowns x through the basis Z:
// x[freeIndex[j]] = y[j], x[dependentIndex[i]] = sum over j of Z(i, j) y[j].
// Z keeps its nonzero entries only (EqualityBasis).
//
// Nothing here reports an error: the builder guarantees indices below their
// counts and factors that fit their variables and blocks.
#ifndef VARNEL_BUILT_PROBLEM_H
#define VARNEL_BUILT_PROBLEM_H

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "block_diagonal.h"
#include "equality_basis.h"
#include "gen_matrix.h"
#include "shared_array.h"

// One term: coefficient * S(L op(X) R), op(X) = X' when transposed,
// S(M) = M + M' when symmetric, a factor left out when its identity flag is
// set. A 1 x 1 factor, and a 1 x 1 variable, multiply as scalars. A term
// whose value is 1 x 1 stands, in a larger square block, for that scalar
// times the identity of the block.
struct ReducedTerm {
  // Dimensions of the value at the variables' current sizes: those of the
  // product of the factors and op(X) that are not 1 x 1, or 1 x 1 when all
  // are.
  int Rows(const GenMatrixD* variables) const;
  int Cols(const GenMatrixD* variables) const;
  // 1 when the value is a single number (a scalar, times the identity of a
  // larger block).
  int IsScalar(const GenMatrixD* variables) const { return Rows(variables) == 1 && Cols(variables) == 1; }
  // A factor that takes part as a matrix (present and not 1 x 1).
  int HasLeftMatrix() const;
  int HasRightMatrix() const;
  // The coefficient times the factors that act as scalars.
  double FactorScale() const;
  // The largest dimension of the factors, of the value and of the products
  // formed on the way to it.
  int MaxDimension(const GenMatrixD* variables) const;
  // Shapes the two product views over scratch columns of at least
  // MaxDimension squared elements each.
  void BindScratch(const GenMatrixD* variables, double* valueColumn, double* firstColumn);

  GenMatrixD left;    // L, read only when leftIsIdentity is 0
  GenMatrixD right;   // R, read only when rightIsIdentity is 0
  int variable = -1;  // index among the constraint set's variables; 0 the affine one
  int transposed = 0;
  int leftIsIdentity = 1;
  int rightIsIdentity = 1;
  int symmetric = 0;
  double coefficient = 1.0;

  // Views on the constraint set's scratch, shaped once per build for the
  // products that the term's value needs (`product` the last one, and
  // `firstProduct` L op(X), or l op(X) for a 1 x 1 left factor l, when R
  // follows), so that evaluating the term
  // allocates nothing. Work areas only: they carry no meaning between calls.
  mutable GenMatrixD product;
  mutable GenMatrixD firstProduct;
};

// A list of terms over the constraint set's variables: the value of a
// matrix inequality, or of one position of a block matrix inequality. The
// variables and offsets arrays are borrowed from the constraint set.
class TermList {
 public:
  TermList() = default;
  TermList(const TermList&) = delete;
  TermList& operator=(const TermList&) = delete;

  void Bind(const GenMatrixD* variableArray, const int* offsetArray);
  // Replaces the terms by n default terms.
  void Resize(int n);

  // Setters of term k (k below NumTerms). A factor shares the storage of the
  // matrix it is set from.
  void SetVariable(int k, int v) { terms[k].variable = v; }
  void SetCoefficient(int k, double c) { terms[k].coefficient = c; }
  void SetLeftFactor(int k, const GenMatrixD& L);
  void SetRightFactor(int k, const GenMatrixD& R);
  void SetTransposed(int k) { terms[k].transposed = 1; }
  void SetSymmetric(int k) { terms[k].symmetric = 1; }

  int NumTerms() const { return numTerms; }
  const ReducedTerm& Term(int k) const { return terms[k]; }
  const GenMatrixD* Variables() const { return variables; }
  const int* Offsets() const { return offsets; }

  // The stated dimensions: those of the first term whose value is not 1 x 1
  // (1 x 1 terms stand for a scalar times the identity); 1 x 1 when every
  // term is, 0 x 0 without terms.
  int Rows() const;
  int Cols() const;
  int MaxDimension() const;
  void BindScratch(double* valueColumn, double* firstColumn);

 private:
  const ReducedTerm* FirstMatrixTerm() const;

  std::unique_ptr<ReducedTerm[]> terms;
  const GenMatrixD* variables = nullptr;
  const int* offsets = nullptr;
  int numTerms = 0;
};

// A matrix inequality: the square value of its terms, of dimension Size.
class TermBlock : public TermList {
 public:
  int Size() const { return Rows(); }
};

// One position of a block matrix inequality.
class SubBlock : public TermList {};

// A block matrix inequality of n x n positions. Position (i, i) holds
// diagonal block i; for i > j the entry stored at (i, j) holds block (j, i)
// of the upper triangle, h_j x h_i (the transpose of the written block).
class BlockLmi {
 public:
  BlockLmi() = default;
  BlockLmi(const BlockLmi&) = delete;
  BlockLmi& operator=(const BlockLmi&) = delete;

  void Bind(const GenMatrixD* variableArray, const int* offsetArray);
  // n block rows: n(n+1)/2 empty sub-blocks in packed lower order
  // ((0,0), (1,0), (1,1), (2,0), ...) and n + 1 row offsets.
  void Allocate(int count);

  // The entry of (i, j), indices in either order.
  SubBlock& SubBlockAt(int i, int j) { return subBlocks[packedIndex(i, j)]; }
  const SubBlock& SubBlockAt(int i, int j) const { return subBlocks[packedIndex(i, j)]; }

  // Block row heights from the stated sizes of the first entry with terms
  // in each row.
  void ComputeRowOffsets();
  int N() const { return n; }
  int RowOffset(int i) const { return rowOffsets[i]; }
  int Height(int i) const { return rowOffsets[i + 1] - rowOffsets[i]; }
  int Size() const { return n > 0 ? rowOffsets[n] : 0; }
  int MaxDimension() const;
  void BindScratch(double* valueColumn, double* firstColumn);

 private:
  static int packedIndex(int i, int j) { return i > j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i; }

  std::unique_ptr<SubBlock[]> subBlocks;
  std::unique_ptr<int[]> rowOffsets;
  const GenMatrixD* variables = nullptr;
  const int* offsets = nullptr;
  int n = 0;
};

// Every column-vector inequality as one row of C: row r stands for the
// affine function sum over u of C(r, u) x_u, column 0 holding the constants
// (x_0 is the affine unknown). The solver seeks points where all are
// positive.
class LinearInequalities {
 public:
  LinearInequalities(int variableCount, const GenMatrixD* variableArray)
      : numVariables(variableCount), variables(variableArray) {}

  void SetCoefficients(const GenMatrixD& coefficients) { C.Share(coefficients); }
  const GenMatrixD& Coefficients() const { return C; }
  int Rows() const { return C.Rows(); }
  // out[r] := (C x)_r for every row, x read from the variables; out holds at
  // least Rows() elements.
  void Value(GenMatrixD& out) const;

 private:
  int numVariables;
  const GenMatrixD* variables;
  GenMatrixD C;
};

class ConstraintSet {
 public:
  ConstraintSet(int variableCount, int termBlockCount, int blockLmiCount, int withLinear);
  ConstraintSet(const ConstraintSet&) = delete;
  ConstraintSet& operator=(const ConstraintSet&) = delete;

  // Variable i shares the storage and size of m from now on.
  GenMatrixD& SetVariable(int i, const GenMatrixD& m);

  int NumTermBlocks() const { return numTermBlocks; }
  int NumBlockLmis() const { return numBlockLmis; }
  int HasLinear() const { return hasLinear; }
  int NumVariables() const { return numVariables; }
  TermBlock& TermBlockAt(int i) { return termBlocks[i]; }
  const TermBlock& TermBlockAt(int i) const { return termBlocks[i]; }
  BlockLmi& BlockLmiAt(int i) { return blockLmis[i]; }
  const BlockLmi& BlockLmiAt(int i) const { return blockLmis[i]; }
  GenMatrixD& Variable(int i) { return variables[i]; }
  const GenMatrixD& Variable(int i) const { return variables[i]; }
  int Offset(int v) const { return offsets[v]; }
  LinearInequalities& Linear() { return *linear; }
  const LinearInequalities& Linear() const { return *linear; }
  // MaxDimension^2 rows and 6 columns: the work area of the block kernels.
  GenMatrixD& Scratch() { return scratch; }

  // Offsets, row offsets of the block LMIs, and the scratch with the terms'
  // views on it. Call after every variable and term is set. 0, or 1 when
  // the scratch is more than can be allocated (isAllocatableCount); the
  // terms are then not bound to any.
  int SetUp();
  // The largest dimension of any block, position, factor or product.
  int MaxDimension() const;
  // Writes the nvt unknowns of x into the variables' storage, variable by
  // variable in storage order.
  void StoreUnknowns(const GenMatrixD& x);
  // Every constraint at the variables' current values: the linear rows into
  // out's diagonal part (at least td entries; untouched without linear
  // rows), block k into out's block k.
  void EvaluateBlocks(BlockDiagonalMatrix& out) const;

 private:
  int numTermBlocks;
  std::unique_ptr<TermBlock[]> termBlocks;
  int numBlockLmis;
  std::unique_ptr<BlockLmi[]> blockLmis;
  int hasLinear;
  std::unique_ptr<LinearInequalities> linear;
  int numVariables;
  std::unique_ptr<GenMatrixD[]> variables;
  std::unique_ptr<int[]> offsets;
  GenMatrixD scratch;
};

class BuiltProblem : public ConstraintSet {
 public:
  BuiltProblem(int variableCount, int termBlockCount, int blockLmiCount, int withLinear)
      : ConstraintSet(variableCount, termBlockCount, blockLmiCount, withLinear) {}

  void SetBasis(EqualityBasis Z) { basis = std::move(Z); }
  // Each shares the given storage.
  void SetFreeIndex(const SharedArray<int>& list) { freeIndex.Share(list); }
  void SetDependentIndex(const SharedArray<int>& list) { dependentIndex.Share(list); }

  // SetUp, then the sizes, the block sizes and the work matrix. A problem
  // without a free-index list gets the list of all unknowns. 0, or 1 when
  // the scratch, a block's square, the reduced Newton matrix, the
  // least-squares matrix or a work matrix that the basis calls for is more
  // than can be allocated; the problem must then not be solved.
  int FinalizeSizes();

  int Nv() const { return nv; }
  int Nb() const { return nb; }
  int Td() const { return td; }
  int Nt() const { return nt; }
  int Nvt() const { return nvt; }
  int SumSizes() const { return sumSizes; }
  const int* BlockSizes() const { return blockSizes.get(); }
  const EqualityBasis& Basis() const { return basis; }
  // 1 when every dependent unknown is a multiple of one free parameter, or
  // zero (each row of the basis holds one entry at most), as the equalities
  // of structures and masks make them: the Newton systems then accumulate
  // straight into the reduced space and never need Work().
  int SingleEntryRows() const { return singleEntryRows; }
  const SharedArray<int>& FreeIndex() const { return freeIndex; }
  const SharedArray<int>& DependentIndex() const { return dependentIndex; }
  // max(nt, nvt) rows, nvt + 1 columns: the solver phases' work area for
  // the Newton systems over all the unknowns, made at the first call (a
  // problem whose systems accumulate straight into the reduced space never
  // needs it).
  GenMatrixD& Work();
  // The large matrices of the Newton systems, made at the first call of
  // either and kept for the life of the build, so that every phase and
  // every solve on it reuses their storage: a first touch of fresh memory
  // costs far more than the arithmetic done on it. The two are views on one
  // block, as no phase needs both at once (the least-squares form's
  // objective set-up, which works on the Newton matrix, ends before its
  // first least-squares system is filled).
  // nv x nv: the reduced Newton matrix of the normal equations.
  GenMatrixD& NewtonMatrix();
  // (nt + 1) x nv: the reduced least-squares matrix.
  GenMatrixD& LeastSquaresMatrix();

  // Column k of T: the unknowns that free parameter k moves, with their
  // weights (its own unknown first, with 1).
  void ExpansionColumn(int k, std::vector<std::pair<int, double>>& column) const;
  // x := T y, the nvt unknowns of the nv free parameters y; x holds at
  // least nvt elements.
  void ExpandInto(const GenMatrixD& y, GenMatrixD& x) const;
  // Expands y and stores the unknowns into the variables.
  void ExpandFreeParameters(const GenMatrixD& y);
  // ExpandFreeParameters(y), then EvaluateBlocks(out).
  void EvaluateAt(const GenMatrixD& y, BlockDiagonalMatrix& out);

 private:
  // newtonStorage and its two views, once per build.
  void MakeNewtonStorage();

  EqualityBasis basis;
  SharedArray<int> freeIndex;
  SharedArray<int> dependentIndex;
  std::unique_ptr<int[]> blockSizes;
  int nv = 0;   // free parameters, the homogenising one (unknown 0) first
  int nb = 0;   // blocks: the matrix inequalities, then the block matrix inequalities
  int td = 0;   // rows of the linear inequalities
  int nt = 0;   // svec coordinates of a constraint value: td plus d(d+1)/2 for each block of dimension d
  int nvt = 0;  // unknowns: every entry of every variable, the hidden constant 1 first
  int sumSizes = 0;
  int singleEntryRows = 1;
  GenMatrixD work;
  std::unique_ptr<double, void (*)(void*)> newtonStorage{nullptr, std::free};
  GenMatrixD newtonMatrix;  // views on newtonStorage
  GenMatrixD leastSquaresMatrix;
};

#endif
