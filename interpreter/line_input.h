// Line input: the one entry through which every parser gets its next input
// line, from the script or exec file or, at the prompt, through the GNU
// readline line editor with a bounded history.
#ifndef VARNEL_LINE_INPUT_H
#define VARNEL_LINE_INPUT_H

#include <iosfwd>

// The stream the scanner reads its characters from. readLine points it at
// lineBuffer; the re-evaluation of stored constraint texts points it at a
// stream of its own for a while.
extern std::istream* lineInput;
// The current line: its characters and one line end.
// Created by the first readLine and reused for every later line, so that a
// pointer saved by a caller stays valid until releaseLineBuffer.
extern std::istringstream* lineBuffer;

// History limit: -1 no limit, 0 no history.
extern int maxHistoryLines;
// Lines this program has put into the history and not removed.
extern int historyLinesAdded;

// Reads the next input line into lineBuffer and makes lineInput read it.
// Script mode or inside exec: the next line of inputStream; otherwise the
// prompt. Returns 1, or 0 when the input has no further line (also when the
// input stream failed, and when a Ctrl-C dropped the statement at the
// prompt; inputFailed and inputAbandoned tell these apart).
int readLine();
// 1 when the last readLine ended the input because the input stream failed
// before its end (already reported), 0 otherwise.
int inputFailed();
// 1 from a Ctrl-C at the prompt that dropped the statement being typed (or
// stopped it where it asked for its next line) until the next statement's
// first line is read: every further line it asks for is the end of the
// input, what it reports is not shown, and nothing of it takes effect.
int inputAbandoned();
// 1 when the last line asked of the prompt did not come (the input ended
// there, or a Ctrl-C dropped the statement that asked for it), 0 once the
// prompt gives a line: a statement that fails then has no further line to
// read. Lines read inside exec leave it as it is.
int promptInputEnded();

// ">> " when newStatement is set (and clears it), otherwise three blanks.
const char* promptText();
// Shows prompt and reads one edited line without its line end; null at the
// end of the input, or after a Ctrl-C (interruptRequested then tells), which
// drops the line being typed. The caller releases the line with free().
char* readInputLine(const char* prompt);
// Puts a line into the line editor's history, keeping at most
// maxHistoryLines of this program's lines.
void addHistoryLine(const char* line);
void setHistoryLimit(int n);
int historyLimit();

// Frees lineBuffer at the end of a run (lineInput no longer reads it).
void releaseLineBuffer();

#endif
