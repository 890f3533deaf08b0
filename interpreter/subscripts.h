// Subscripts of A(I,J), A(:,J) and A(I,:) turned into 0-based column-major
// indices into the target A, in the column-major order of the selection.
//
// A subscript is a value whose elements are 1-based positions; an element x
// selects position trunc(x) when 1 <= x <= the dimension it indexes (a NaN
// never does). The first element out of range is reported as
// "Subscript out of range." and the function returns 1; on success 0.
// The index list always receives a fresh array of the selection's size
// first; after an error its entries are partly unset.
#ifndef VARNEL_SUBSCRIPTS_H
#define VARNEL_SUBSCRIPTS_H

#include "shared_array.h"
#include "value.h"

// A(I,J): count(I) * count(J) entries, J outer and I inner. A single-element
// subscript is tested before the other one's elements.
int subscriptIndices(const Value& rowSubscript, const Value& columnSubscript, const Value& target,
                     SharedArray<int>& indices);
// A(:,J): every row of each selected column.
int columnSubscriptIndices(const Value& columnSubscript, const Value& target, SharedArray<int>& indices);
// A(I,:): the selected rows of every column, columns outer.
int rowSubscriptIndices(const Value& rowSubscript, const Value& target, SharedArray<int>& indices);

#endif
