// Error and warning reports: every error and warning reaches the user
// through these, on the standard output.
#ifndef VARNEL_REPORT_H
#define VARNEL_REPORT_H

#include <string>

// Writes an error report: an optional empty line, the header for the current
// mode, the statement echo, a caret line and "#> " with the message.
void reportError(const std::string& message, int blankFirst = 0);
// reportError, then 1: the status of a handler that has reported its error.
int fail(const std::string& message, int blankFirst = 0);
// Writes a one-line warning.
void reportWarning(const std::string& message);
// Writes a newline in the verbose format, nothing in the compact one.
void newlineUnlessCompact();

#endif
