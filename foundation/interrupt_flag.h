// The request to stop a running statement that Ctrl-C makes at the
// interactive prompt. The signal handler only records it; the statement
// loops, the loops of the language and the iterations of the solver's phases
// poll it where they can stop with what they computed whole. It lives at the
// bottom layer so that every layer polls the same flag.
#ifndef VARNEL_INTERRUPT_FLAG_H
#define VARNEL_INTERRUPT_FLAG_H

#include <csignal>

inline volatile std::sig_atomic_t interruptFlag = 0;

// All that a signal handler does.
inline void requestInterrupt() { interruptFlag = 1; }
inline bool interruptRequested() { return interruptFlag != 0; }
// The request has been acted on (or was made when nothing ran).
inline void clearInterrupt() { interruptFlag = 0; }

#endif
