// The build operation: turns what the script stated (the declared variables,
// the stored LMIs and LMEs with their recorded texts, the objective) into the
// one BuiltProblem that the solver works on.
//
// The steps, in order; the first failure is reported and ends the build,
// with nothing undone:
//   1. count the variables;
//   2. evaluate every stored text again and check the shapes of the LMIs;
//   3. number the variables (by name, " Affine Variable" first) and their
//      scalar entries, the unknowns (unknown 0 is the constant 1);
//   4. the equality basis Z of the dependent unknowns over the free
//      parameters: the equalities that a variable's structure or mask
//      implies by substitution (each tied entry a copy of one free entry,
//      or zero), then the LMEs on what remains by pivoted QR;
//   5. at least one LMI;
//   6. sort the LMIs into linear, matrix and block matrix inequalities and
//      fill a new BuiltProblem with them;
//   7. the objective as a coefficient vector over the free parameters;
//   8. unreferenced variables, the sizes, and the symmetry of every matrix
//      inequality.
// A successful build clears needsRebuild. Every step that needs the
// coefficients of a constraint first sets every variable's current value to
// zero, and the values stay zero afterwards.
#ifndef VARNEL_BUILDER_H
#define VARNEL_BUILDER_H

#include <string>

// 0 when the problem was built, 1 after a reported failure. In the verbose
// format the progress lines go to the standard output.
int buildProblem();

// Writes text unchanged in the verbose format, nothing in the compact one.
void printBuildStep(const std::string& text);

#endif
