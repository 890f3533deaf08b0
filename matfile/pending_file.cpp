#include "pending_file.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>

namespace {

// A write keeps at most two new files at once: its own and the rewrite of
// it that replaces a record. More slots cover handles open side by side; a
// file made when all are taken is not removed by a signal.
constexpr int kSlots = 4;
std::atomic<const char*> pendingPaths[kSlots];
static_assert(std::atomic<const char*>::is_always_lock_free, "a signal handler reads the paths");

const int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
struct sigaction previousActions[kEndingSignalCount];
bool installed[kEndingSignalCount];
int pendingCount = 0;

extern "C" void removePendingFilesAndEnd(int signal) {
  for (std::atomic<const char*>& slot : pendingPaths) {
    const char* path = slot.load();
    if (path != nullptr) unlink(path);
  }
  // The handler was installed for one delivery: the signal, blocked until
  // the handler returns, then takes its default action.
  raise(signal);
}

void installRemoval() {
  for (int i = 0; i < kEndingSignalCount; ++i) {
    struct sigaction removal = {};
    removal.sa_handler = removePendingFilesAndEnd;
    removal.sa_flags = SA_RESETHAND;
    sigemptyset(&removal.sa_mask);
    installed[i] = sigaction(kEndingSignals[i], nullptr, &previousActions[i]) == 0 &&
                   !(previousActions[i].sa_flags & SA_SIGINFO) && previousActions[i].sa_handler == SIG_DFL &&
                   sigaction(kEndingSignals[i], &removal, nullptr) == 0;
  }
}

void uninstallRemoval() {
  for (int i = 0; i < kEndingSignalCount; ++i)
    if (installed[i]) sigaction(kEndingSignals[i], &previousActions[i], nullptr);
}

// While it lives, the ending signals wait: a file is never made without
// being pending, and the handlers never change under a delivery.
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal : kEndingSignals) sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, &previous);
  }
  ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t previous;
};

}  // namespace

int fiCreatePendingFile(char* pathTemplate) {
  const EndingSignalsBlocked blocked;
  const int fd = mkstemp(pathTemplate);
  if (fd < 0) return fd;
  for (std::atomic<const char*>& slot : pendingPaths) {
    if (slot.load() != nullptr) continue;
    if (pendingCount++ == 0) installRemoval();
    slot.store(pathTemplate);
    break;
  }
  return fd;
}

void fiReleasePendingFile(const char* path) {
  if (path == nullptr) return;
  const EndingSignalsBlocked blocked;
  for (std::atomic<const char*>& slot : pendingPaths) {
    if (slot.load() != path) continue;
    slot.store(nullptr);
    if (--pendingCount == 0) uninstallRemoval();
    return;
  }
}

void fiRemovePendingFile(const char* path) {
  unlink(path);
  fiReleasePendingFile(path);
}
