// The `var` statement: declares the affine matrix variables of the problem.
//
//   var [type] name[(size)] [= expression] ...
//
// Items are separated by blanks; a type keyword (scl, gen, sym, diag)
// applies to the one name after it, an item without one is gen. The size
// must follow the name directly; without a size the variable takes the size
// of its initial value, and without either it is a scalar. A scalar initial
// value fills a larger written size. A variable of size 1 x 1 is always scl.
#ifndef VARNEL_DECLARATIONS_H
#define VARNEL_DECLARATIONS_H

// The statement handler. Every declaration that reaches its first item
// marks the problem for a rebuild. Items declared before a failing one stay
// declared. 0, or 1 after an error report; the separator that ends the
// statement is left pending.
int varStatement();

// Takes a type keyword at the front and returns its VarType code; returns
// kGen and takes nothing when the front token is no type keyword.
int parseVarType();

// Reads the declaration whose name is the front token (a new name) and
// stores the variable. 0, or 1 after an error report (nothing is stored).
int declareVariable(int type);

#endif
