// A declared affine matrix variable, as the variables table holds it and the
// affine terms read it.
#ifndef VARNEL_VAR_RECORD_H
#define VARNEL_VAR_RECORD_H

#include "shared_array.h"
#include "value.h"

// The structure of a declared variable.
enum VarType { kScl = 0, kGen = 1, kSym = 2, kDiag = 3 };

// A declared affine matrix variable: its structure, its current value (which
// fixes its size) and its mask (empty when it has none).
class VarRecord {
 public:
  VarRecord() = default;
  VarRecord(int type, const Value& value) : type(type), value(value) {}
  VarRecord(const VarRecord& other) : type(other.type), value(other.value), mask(other.mask) {}
  // Shares the value's elements and copies the mask.
  VarRecord& operator=(const VarRecord& other) {
    type = other.type;
    value = other.value;
    mask = other.mask;
    return *this;
  }

  int& GetType() { return type; }
  Value& GetValue() { return value; }
  SharedArray<int>& GetMask() { return mask; }
  int GetType() const { return type; }
  const Value& GetValue() const { return value; }
  const SharedArray<int>& GetMask() const { return mask; }

 private:
  int type = kScl;
  Value value;
  SharedArray<int> mask;
};

#endif
