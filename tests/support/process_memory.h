// The memory of the test process as the system reports it, and a limit on
// it, for tests of what the program does when memory is short. A limit is
// set in a child process (a death test), whose limit goes with it.
#ifndef VARNEL_PROCESS_MEMORY_H
#define VARNEL_PROCESS_MEMORY_H

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

// A field of /proc/self/status in kB, such as "VmSize:"; -1 when missing.
inline long processStatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
  }
  return -1;
}

// Lowers the soft limit on the address space to what the process maps now
// plus headroomBytes. 0 on success, 1 when the limit cannot be read or set.
inline int leaveAddressSpace(double headroomBytes) {
  const long used = processStatusKb("VmSize:");
  struct rlimit limit;
  if (used < 0 || getrlimit(RLIMIT_AS, &limit) != 0) return 1;
  limit.rlim_cur = static_cast<rlim_t>(used * 1024.0 + headroomBytes);
  return setrlimit(RLIMIT_AS, &limit) != 0;
}

// The largest resident size the process has had, in bytes (getrusage).
inline double peakResidentBytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024.0;
}

#endif
