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

// 1 when a matrix of elementCount doubles can be made: the count is a
// number from 0 to the largest int and within the host's cap, and its
// storage fits the memory that the system reports as available to the
// process; else 0.
int isAllocatableCount(double elementCount);

inline int isAllocatableSize(int rows, int cols) { return isAllocatableCount(elementCount(rows, cols)); }

// A bound that a host running scripts it does not trust (the fuzz driver)
// puts on every matrix of computed size, below what the machine allows;
// infinite, no bound, unless a host sets one.
void setElementCap(double elements);

#endif
