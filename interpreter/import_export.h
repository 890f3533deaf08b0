// The import and export statements: matrices between the workspace and
// MATLAB MAT-files of version-4 records.
//
//   import file [name ...]   reads the named matrices, or all of the file,
//                            into variables (size and structure kept) and
//                            parameters (created when new)
//   export file [name ...]   writes the named variables and parameters, or
//                            every parameter, into a new file
#ifndef VARNEL_IMPORT_EXPORT_H
#define VARNEL_IMPORT_EXPORT_H

#include <string>

#include "gen_matrix.h"

struct MATFile;

int importStatement();
int exportStatement();

// Reads the matrix called name from the open file into result (m x n over
// the real parts, 0 x 0 when it has no element); imaginary parts are left
// out after the warning "Matrix '<name>' contains imaginary part.". 0 when
// read; 1, nothing reported and result unchanged, when the file holds no
// readable full matrix of that name.
int importMatrix(MATFile* file, const std::string& name, GenMatrixD& result);

#endif
