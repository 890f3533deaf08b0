#include "value.h"

#include <gtest/gtest.h>

#include "test_matrices.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

int refCount(const Value& v) { return v.Matrix()->Storage().RefCount(); }

struct Shape {
  int tag, rows, cols, count;
};

void expectShape(const Value& v, Shape s) {
  EXPECT_EQ(v.Tag(), s.tag);
  EXPECT_EQ(v.IsEmpty(), s.tag == kEmptyTag);
  EXPECT_EQ(v.IsScalar(), s.tag == kScalarTag);
  EXPECT_EQ(v.IsMatrix(), s.tag == kMatrixTag);
  EXPECT_EQ(v.Rows(), s.rows);
  EXPECT_EQ(v.Cols(), s.cols);
  EXPECT_EQ(v.ElementCount(), s.count);
}

TEST(ValueForm, ConstructorsGiveTheirForms) {
  expectShape(Value(), {kEmptyTag, 0, 0, 0});
  expectShape(Value(2.5), {kScalarTag, 1, 1, 1});
  expectShape(Value(1, 1, 4.0), {kScalarTag, 1, 1, 1});
  expectShape(Value(2, 3, 4.0), {kMatrixTag, 2, 3, 6});
  expectShape(Value(0, 3, 4.0), {kEmptyTag, 0, 0, 0});
  expectShape(Value(make(1, 1, {7.5})), {kScalarTag, 1, 1, 1});
  expectShape(Value(make(3, 1, {1, 2, 3})), {kMatrixTag, 3, 1, 3});
  EXPECT_EQ(*Value(1, 1, 4.0).Scalar(), 4.0);
  Value filled(2, 3, 4.0);
  EXPECT_EQ(filled.Min(), 4.0);
  EXPECT_EQ(filled.Max(), 4.0);
}

TEST(ValueForm, MatrixAssignmentMakesCanonicalForms) {
  Value v(make(2, 2, {1, 2, 3, 4}));
  v = GenMatrixD(0, 5);
  expectShape(v, {kEmptyTag, 0, 0, 0});
  v = make(1, 1, {7.5});
  expectShape(v, {kScalarTag, 1, 1, 1});
  EXPECT_EQ(*v.Scalar(), 7.5);
  v = make(1, 3, {1, 2, 3});
  expectShape(v, {kMatrixTag, 1, 3, 3});
  // A 5 x 0 view of a caller's array keeps its sizes; the value is empty.
  double unused = 0.0;
  v = GenMatrixD(5, 0, &unused, 0);
  expectShape(v, {kEmptyTag, 0, 0, 0});
}

TEST(ValueSharing, CopiesShareMatrixElementsDeepCopiesDoNot) {
  Value first(make(2, 2, {1, 2, 3, 4}));
  Value copied(first);
  Value assigned;
  assigned = first;
  Value deep;
  deep.DeepCopy(first);
  EXPECT_EQ(refCount(first), 3);
  EXPECT_NE(copied.Matrix(), first.Matrix());  // own matrix object, same storage
  EXPECT_EQ(copied.Matrix()->IsShallow(), 0);

  (*copied.Matrix())(0, 0) = 9.0;
  EXPECT_EQ((*first.Matrix())(0, 0), 9.0);
  (*first.Matrix())(1, 1) = 8.0;
  EXPECT_EQ((*assigned.Matrix())(1, 1), 8.0);
  EXPECT_EQ((*deep.Matrix())(0, 0), 1.0);
  EXPECT_EQ((*deep.Matrix())(1, 1), 4.0);
  EXPECT_EQ(refCount(deep), 1);
  EXPECT_EQ(deep.Rows(), 2);
  EXPECT_EQ(deep.Cols(), 2);
}

TEST(ValueSharing, ConstructionAndAssignmentFromAMatrixShareIt) {
  GenMatrixD m = make(2, 2, {1, 2, 3, 4});
  Value constructed(m);
  Value assigned;
  assigned = m;
  m(0, 1) = 6.0;
  EXPECT_EQ((*constructed.Matrix())(0, 1), 6.0);
  EXPECT_EQ((*assigned.Matrix())(0, 1), 6.0);
  EXPECT_EQ(m.Storage().RefCount(), 3);
}

TEST(ValueSharing, ScalarsAreIndependent) {
  Value first(3.0);
  Value second(first);
  Value third;
  third = first;
  *second.Scalar() = 5.0;
  *third.Scalar() = 6.0;
  EXPECT_EQ(*first.Scalar(), 3.0);
  EXPECT_EQ(*second.Scalar(), 5.0);
}

TEST(ValueSharing, FillReachesEveryHolder) {
  Value first(make(2, 2, {1, 2, 3, 4}));
  Value second(first);
  second.Fill(3.0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ((*first.Matrix())[k], 3.0);
  Value scalar(1.0);
  EXPECT_EQ(*scalar.Fill(2.0).Scalar(), 2.0);
  Value empty;
  empty.Fill(3.0);
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(ValueSharing, StorageLivesWithItsLastHolder) {
  Value survivor;
  {
    Value first(make(2, 2, {1, 2, 3, 4}));
    survivor = first;
    EXPECT_EQ(refCount(survivor), 2);
  }
  EXPECT_EQ(refCount(survivor), 1);
  EXPECT_EQ((*survivor.Matrix())(1, 0), 3.0);
}

TEST(ValueAssignment, ReassignmentReleasesTheOldContent) {
  Value holder(make(2, 2, {1, 2, 3, 4}));
  Value other(holder);
  other = 2.0;
  EXPECT_EQ(refCount(holder), 1);
  other = holder;
  other = Value();
  EXPECT_TRUE(other.IsEmpty());
  EXPECT_EQ(refCount(holder), 1);
  holder.Release();
  holder.Release();
  EXPECT_TRUE(holder.IsEmpty());
}

TEST(ValueAssignment, FromItselfLeavesTheValueIntact) {
  Value v(make(2, 2, {1, 2, 3, 4}));
  Value sharer(v);
  Value& alias = v;
  v = alias;
  v.Assign(alias);
  EXPECT_EQ(refCount(v), 2);
  EXPECT_EQ((*v.Matrix())(1, 0), 3.0);

  v = *v.Matrix();  // its own matrix
  EXPECT_EQ((*v.Matrix())(1, 1), 4.0);
  (*v.Matrix())(0, 0) = 5.0;
  EXPECT_EQ((*sharer.Matrix())(0, 0), 5.0);

  v.DeepCopy(alias);  // keeps the elements, now in private storage
  (*v.Matrix())(0, 0) = 6.0;
  EXPECT_EQ((*v.Matrix())(1, 1), 4.0);
  EXPECT_EQ((*sharer.Matrix())(0, 0), 5.0);

  Value scalar(2.0);
  Value& scalarAlias = scalar;
  scalar = scalarAlias;
  scalar = std::move(scalarAlias);
  EXPECT_EQ(*scalar.Scalar(), 2.0);
  v = std::move(alias);
  EXPECT_EQ((*v.Matrix())(0, 0), 6.0);
}

// Making a value's elements private before a write in place copies them
// only when another holder shares them; afterwards neither side's writes
// reach the other.
TEST(ValueAssignment, MakePrivateCopiesOnlyWhatAnotherHolds) {
  Value alone = matrixValue(2, 2, {1, 2, 3, 4});
  const double* elements = alone.Matrix()->Data();
  EXPECT_FALSE(alone.IsShared());
  alone.MakePrivate();
  EXPECT_EQ(alone.Matrix()->Data(), elements);

  const Value holder = alone;  // now two hold the elements
  EXPECT_TRUE(alone.IsShared());
  EXPECT_TRUE(holder.IsShared());
  alone.MakePrivate();
  EXPECT_NE(alone.Matrix()->Data(), elements);
  EXPECT_FALSE(alone.IsShared());
  EXPECT_FALSE(holder.IsShared());
  (*alone.Matrix())[0] = 9.0;
  EXPECT_EQ((*holder.Matrix())[0], 1.0);
  EXPECT_TRUE(sameValue(alone, matrixValue(2, 2, {9, 2, 3, 4})));

  Value scalar(7.0);
  const Value scalarCopy = scalar;
  EXPECT_FALSE(scalar.IsShared());
  EXPECT_EQ(*scalar.MakePrivate().Scalar(), 7.0);
  EXPECT_FALSE(Value().IsShared());
}

TEST(ValueAssignment, MovesKeepTheSharingRule) {
  Value original(make(2, 2, {1, 2, 3, 4}));
  Value sharer(original);
  Value moved(std::move(original));
  EXPECT_EQ(refCount(moved), 2);
  (*moved.Matrix())(0, 0) = 9.0;
  EXPECT_EQ((*sharer.Matrix())(0, 0), 9.0);

  Value target(5.0);
  target = std::move(moved);
  EXPECT_EQ(refCount(target), 2);
  Value scalar(3.0);
  target = std::move(scalar);
  EXPECT_EQ(*target.Scalar(), 3.0);
  EXPECT_EQ(refCount(sharer), 1);
}

TEST(ValueQueries, MinAndMax) {
  EXPECT_EQ(Value().Min(), 0.0);
  EXPECT_EQ(Value().Max(), 0.0);
  EXPECT_EQ(Value(-2.0).Min(), -2.0);
  EXPECT_EQ(Value(-2.0).Max(), -2.0);
  Value m(make(2, 2, {3, -1, 7, 2}));
  EXPECT_EQ(m.Min(), -1.0);
  EXPECT_EQ(m.Max(), 7.0);
  Value withNaN(make(1, 2, {1, kNaN}));
  EXPECT_EQ(withNaN.Max(), 1.0);  // a later NaN never wins
}

}  // namespace
