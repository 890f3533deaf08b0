// The equality basis Z of a built problem: row i gives dependent unknown i
// as the combination sum over k of Z(i, k) y[k] of the free parameters y
// (column 0 multiplies the homogenising parameter, the constant 1).
//
// Only the nonzero entries are kept, column by column. The equalities that
// structures and masks imply make most dependent unknowns a copy of one free
// parameter or zero, so their rows hold one entry or none: a dense Z would
// cost the number of unknowns squared (gigabytes for a symmetric 120 x 120
// variable) where its entries cost a few bytes each.
#ifndef VARNEL_EQUALITY_BASIS_H
#define VARNEL_EQUALITY_BASIS_H

#include <utility>
#include <vector>

class EqualityBasis {
 public:
  // One row: its (column, value) entries, any order, no column twice.
  using Row = std::vector<std::pair<int, double>>;

  EqualityBasis() = default;
  // rows.size() rows of `cols` columns; zero values are left out.
  EqualityBasis(int cols, const std::vector<Row>& rows);

  int Rows() const { return rows; }
  int Cols() const { return cols; }
  // The entries of column k are e = ColumnBegin(k) .. ColumnEnd(k) - 1, in
  // ascending row order: row RowOf(e), value ValueOf(e).
  int ColumnBegin(int k) const { return columnStart[k]; }
  int ColumnEnd(int k) const { return columnStart[k + 1]; }
  int RowOf(int e) const { return rowOf[e]; }
  double ValueOf(int e) const { return valueOf[e]; }
  // The number of entries in each row.
  std::vector<int> RowCounts() const;

 private:
  int rows = 0;
  int cols = 0;
  std::vector<int> columnStart = std::vector<int>(1, 0);
  std::vector<int> rowOf;
  std::vector<double> valueOf;
};

#endif
