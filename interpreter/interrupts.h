// Ctrl-C at the interactive prompt: it drops the line being typed and stops
// a running statement at its next safe point, the workspace keeping what the
// statements before it did. The handler is installed at the prompt only: a
// script named on the command line keeps the default, which ends it.
#ifndef VARNEL_INTERRUPTS_H
#define VARNEL_INTERRUPTS_H

// Makes SIGINT record an interrupt request (interrupt_flag.h) instead of
// ending the process. A system call that it meets is restarted, a write to
// the terminal above all; a wait for input (waitForInput) ends at once.
void installInterruptHandler();

// The check of a safe point: when an interrupt was requested, clears the
// request, reports "Interrupted." and returns 1; otherwise 0.
int stopIfInterrupted();

// Waits until the descriptor fd has input to read: 1. 0 as soon as a signal
// interrupts the wait, and at once when one came before: an interrupt
// requested, or a signal that the line editor caught and has not acted on
// yet. Either is left to the caller. A Ctrl-C or an ending signal cannot
// slip in between that test and the wait.
int waitForInput(int fd);

#endif
