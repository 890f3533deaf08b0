// The gate every computed matrix size passes before the matrix is made.
//
// A size that the language computes (a product's rows times columns, a
// range's length, the work matrices of a build) can ask for more than a
// matrix can count in its int size, or for more memory than the machine
// has. Callers test it here first and refuse it with an error of their own.
// A matrix asked for more elements than an int counts all the same fails as
// an allocation does, a last resort rather than a check.
#ifndef VARNEL_ALLOCATION_H
#define VARNEL_ALLOCATION_H

// rows x cols as a double: exact for every count a matrix can have, and
// never wrapped around as the int product would be.
inline double elementCount(int rows, int cols) { return static_cast<double>(rows) * static_cast<double>(cols); }

// A count of doubles from needed up to wanted (wanted >= needed) that can be
// made now, or -1 when not even needed can: a count passes when it is a
// number from 0 to the largest int, within the host's cap, and its storage
// fits the memory that the system reports as available to the process. The
// system is asked only for a need past the small counts that always pass
// (the grant then stops there), and at most once: the largest count that
// fits, up to wanted, is granted. Storage that grows by steps asks for room
// ahead of its need instead of asking at every step.
double allocatableCount(double needed, double wanted);

// 1 when a matrix of elementCount doubles can be made now (see
// allocatableCount); else 0.
inline int isAllocatableCount(double elementCount) { return allocatableCount(elementCount, elementCount) >= 0.0; }

inline int isAllocatableSize(int rows, int cols) { return isAllocatableCount(elementCount(rows, cols)); }

// The doubles whose storage n ints fill: index and pivot lists pass the gate
// in the unit of matrix elements.
inline double intsAsElements(double n) { return n * sizeof(int) / sizeof(double); }

// How often the gate has asked the system what memory is left, since the
// process began: each ask reads files, so tests hold callers to asking
// rarely.
long memoryQueryCount();

// A bound that a host running scripts it does not trust (the fuzz driver)
// puts on every matrix of computed size, below what the machine allows;
// infinite, no bound, unless a host sets one.
void setElementCap(double elements);

#endif
