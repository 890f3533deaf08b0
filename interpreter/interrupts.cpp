#include "interrupts.h"

#include <sys/select.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <readline/readline.h>

#include "interrupt_flag.h"
#include "report.h"

namespace {

extern "C" void recordInterrupt(int) { requestInterrupt(); }

// The signals a wait for input must not miss: Ctrl-C, and those whose
// handlers give the terminal back before the process ends.
const int kWakingSignals[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM};

}  // namespace

void installInterruptHandler() {
  struct sigaction interrupt = {};
  interrupt.sa_handler = recordInterrupt;
  sigemptyset(&interrupt.sa_mask);
  // A write that the signal meets goes on: failed, it would leave std::cout
  // failed and every later output of the session lost. A wait for input
  // (pselect) is never restarted, so it still ends at once.
  interrupt.sa_flags = SA_RESTART;
  sigaction(SIGINT, &interrupt, nullptr);
}

int stopIfInterrupted() {
  if (!interruptRequested()) return 0;
  clearInterrupt();
  reportError("Interrupted.");
  return 1;
}

int waitForInput(int fd) {
  // The signals stay blocked from the test until pselect waits with them
  // unblocked, so one that comes in between ends the wait instead of being
  // noticed only after the next key.
  sigset_t waking, previous;
  sigemptyset(&waking);
  for (int signal : kWakingSignals) sigaddset(&waking, signal);
  sigprocmask(SIG_BLOCK, &waking, &previous);
  sigset_t unblocked = previous;
  for (int signal : kWakingSignals) sigdelset(&unblocked, signal);
  int ready = 0;
  if (!interruptRequested() && !rl_pending_signal()) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    const int result = pselect(fd + 1, &readable, nullptr, nullptr, nullptr, &unblocked);
    // Any failure other than a signal is left to the read that follows.
    ready = result > 0 || (result < 0 && errno != EINTR);
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  return ready;
}
