// The command statements: modes of the interpreter (echo, format, inline),
// the terminal (pause, home) and the file system (cd, pwd), and help. Each
// handler takes its own keyword and returns 0, or 1 after an error report.
#ifndef VARNEL_COMMANDS_H
#define VARNEL_COMMANDS_H

// At the prompt: "Press any key to continue...", then waits for one key
// typed at the terminal. Does nothing in a script.
int pauseStatement();
// Clears the screen with a form feed.
int homeStatement();
// echo [on|off]: bare echo turns the echo of input lines on.
int echoStatement();
// cd NAME: changes the working directory; NAME is one name token.
int cdStatement();
// Shows the working directory.
int pwdStatement();
// Always fails: there is no online help.
int helpStatement();
// format [compact|verbose]: bare format selects the verbose format.
int formatStatement();
// inline [on|off] p q ...: puts scalar parameters on the inline list, whose
// members recorded constraint texts hold as numbers, or takes them off.
int inlineStatement();

// When the standard input is a terminal: saves its settings in savedTerminal
// and switches it to unechoed single-key input; returns 0. Returns 1 and
// changes nothing for any other standard input.
int setRawTerminal();
// Puts the settings saved by setRawTerminal back; nothing when none were
// saved. Also runs at process exit once a terminal has been switched.
void restoreTerminal();

#endif
