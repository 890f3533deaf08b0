// Reference-counted arrays: the storage under every matrix and index list.
//
// A handle (SharedArray) holds a block (SharedStorage). Share() makes two
// handles hold one block and copies nothing; there is no copy-on-write, so a
// write through any holder is seen by all. CopyFrom() (and, for plain number
// elements, assignment) gives the handle a private copy.
#ifndef VARNEL_SHARED_ARRAY_H
#define VARNEL_SHARED_ARRAY_H

#include <algorithm>
#include <climits>
#include <utility>

template <class T>
struct SharedStorage {
  int size;
  T* data;
  int refcount;
  int staticFlag;
  int ownsData;  // 0 for a block that views a caller's array
  // Elements allocated, size of them in use; those past size are as the
  // allocation made them.
  int capacity;
};

// Selects the constructors that take a hold on an existing block.
struct ShareTag {};

template <class T>
class SharedArray {
 public:
  explicit SharedArray(int n = 0) : rep(newBlock(n)), data(rep->data) {}
  SharedArray(int n, const T& value) : SharedArray(n) { Fill(value); }
  // Views a caller's array without copying it. The block counts one hold
  // more than its holders (the caller's), so the array is never freed here;
  // the block record goes with the last handle.
  SharedArray(int n, T* array) : rep(new SharedStorage<T>{n, array, 2, 0, 0, n}), data(array) {}
  SharedArray(const SharedArray& other) : SharedArray(other.Size()) { CopyFrom(other); }
  // A new handle on other's block: Share() without a block of its own first.
  SharedArray(const SharedArray& other, ShareTag) : rep(other.rep), data(other.data) {
    if (rep != nullptr) ++rep->refcount;
  }
  ~SharedArray() { Release(); }

  // Assignment copies the elements; sharing is always the explicit Share().
  SharedArray& operator=(const SharedArray& other) {
    CopyFrom(other);
    return *this;
  }

  // Drops this handle's hold. Afterwards the handle holds nothing, so a
  // second Release (or the destructor) does not drop a hold twice.
  void Release() {
    if (rep == nullptr) return;
    --rep->refcount;
    if (rep->ownsData && rep->refcount == 0 && rep->staticFlag == 0) {
      delete[] rep->data;
      delete rep;
    } else if (!rep->ownsData && rep->refcount == 1) {
      delete rep;  // only the caller's hold is left: the array stays theirs
    }
    rep = nullptr;
    data = nullptr;
  }

  void Share(const SharedArray& other) {
    if (rep == other.rep) return;  // already held: keep the hold as it is
    SharedStorage<T>* taken = other.rep;
    if (taken != nullptr) ++taken->refcount;
    Release();
    rep = taken;
    data = taken != nullptr ? taken->data : nullptr;
  }

  // Keeps the block only when held alone at the same size; otherwise takes
  // a fresh block of n elements without the old contents.
  void Resize(int n) {
    if (rep != nullptr && rep->refcount == 1 && rep->size == n) return;
    SharedStorage<T>* fresh = newBlock(n);
    Release();
    rep = fresh;
    data = fresh->data;
  }

  // Lengthens the block to n elements (n at least its size), keeping its
  // elements; the new ones are as a fresh block's. Growth keeps room to
  // spare, so growing an array one element at a time moves each element a
  // constant number of times on average. Only a block that this handle
  // holds alone can grow: 1, with nothing changed, for a shared, static or
  // caller's block, else 0.
  int Grow(int n) {
    if (rep == nullptr || rep->refcount != 1 || rep->staticFlag || !rep->ownsData || n < rep->size) return 1;
    if (n > rep->capacity) {
      const int room = rep->capacity > INT_MAX / 2 ? n : std::max(n, 2 * rep->capacity);
      T* fresh = new T[room];
      for (int i = 0; i < rep->size; ++i) fresh[i] = std::move(data[i]);
      delete[] rep->data;
      rep->data = data = fresh;
      rep->capacity = room;
    }
    rep->size = n;
    return 0;
  }

  // A handle that shared other's block ends with a private one while other
  // keeps the old block; copying a handle onto itself changes nothing.
  void CopyFrom(const SharedArray& other) {
    const int n = other.Size();
    const T* source = other.data;  // stays alive: other still holds it
    Resize(n);
    if (data != source)
      for (int i = 0; i < n; ++i) data[i] = source[i];
  }

  void Fill(const T& value) {
    const int n = Size();
    for (int i = 0; i < n; ++i) data[i] = value;
  }

  T& operator[](int k) const { return data[k]; }
  T* Data() const { return data; }
  int Size() const { return rep != nullptr ? rep->size : 0; }
  int RefCount() const { return rep != nullptr ? rep->refcount : 0; }
  int IsStatic() const { return rep != nullptr ? rep->staticFlag : 0; }

  // Ties keep the earlier element; a later NaN never replaces the running
  // value. At least one element is required.
  T Min() const {
    T best = data[0];
    for (int i = 1; i < Size(); ++i)
      if (data[i] < best) best = data[i];
    return best;
  }
  T Max() const {
    T best = data[0];
    for (int i = 1; i < Size(); ++i)
      if (data[i] > best) best = data[i];
    return best;
  }

 private:
  static SharedStorage<T>* newBlock(int n) { return new SharedStorage<T>{n, n > 0 ? new T[n] : nullptr, 1, 0, 1, n}; }

  SharedStorage<T>* rep;
  T* data;
};

// The pivot lists handed to LAPACK are 32-bit INTEGER arrays.
using LapackInt = int;

#endif
