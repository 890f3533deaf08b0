// The exec statement: runs another script file in the middle of the current
// input, through a nested statement loop, and then goes on where it was.
#ifndef VARNEL_EXEC_H
#define VARNEL_EXEC_H

#include <fstream>
#include <string>

// exec NAME: opens NAME, NAME.lmi, then for each directory d of searchPath
// d + NAME and d + NAME.lmi, and runs the first that opens with the input
// switched to it. Statements after the exec on the same line run after the
// file. Returns the nested loop's status: 0 when the file ran to its end (or
// to end or quit), 1 after a failure in it or when no file opens.
int execStatement();

// Opens path as a script. Only a regular file is one: a directory would open
// as a stream that fails on its first read.
bool openScriptFile(const std::string& path, std::ifstream& script);

// Takes the keyword and the file name that follows it (a plain name: an
// identifier or a quoted text that names no variable or parameter). Under
// runLimits.confineFiles a name outside the working directory is refused.
// Returns 0, or 1 after an error report.
int takeFileName(int keyword, std::string& fileName);

#endif
