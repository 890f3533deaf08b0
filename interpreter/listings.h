// The workspace listings: who and whos summarise the parameters, variables
// and the stored problem; ls (or dir) lists the current directory. They only
// print, and each takes its keyword and returns 0.
#ifndef VARNEL_LISTINGS_H
#define VARNEL_LISTINGS_H

// The names of parameters and variables in a grid, and the problem summary.
int whoStatement();
// As who, with tables of sizes, inline state, types and masks.
int whosStatement();
// The entries of the current directory, sorted, in columns. A directory that
// cannot be opened is reported, yet the statement counts as done.
int dirStatement();

#endif
