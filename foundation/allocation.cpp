#include "allocation.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "memory_cgroup.h"

namespace {

// Requests of up to this many elements (8 MiB) pass without asking the
// system: asking reads files, and the language makes small matrices at every
// step. A machine without 8 MiB to spare has run out of memory anyway.
constexpr double kUncheckedElements = 1 << 20;

// MemAvailable of /proc/meminfo: the kernel's estimate of what new
// allocations can have without swapping, the page cache it can drop
// included. sysconf(_SC_AVPHYS_PAGES) counts free pages only, which a full
// page cache keeps far below what can be had; it serves where there is no
// /proc. Infinite when neither says anything.
double systemAvailableBytes() {
  if (std::FILE* file = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kib = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, file) != nullptr)
      found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    std::fclose(file);
    if (found) return static_cast<double>(kib) * 1024.0;
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && pageSize > 0) return static_cast<double>(pages) * static_cast<double>(pageSize);
  return INFINITY;
}

// Field `field` (0-based) of /proc/self/statm in bytes: 0 the whole address
// space, 5 the data and stack. 0 when it cannot be read.
double processBytes(int field) {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (file == nullptr) return 0.0;
  unsigned long pages[7] = {};
  const int read = std::fscanf(file, "%lu %lu %lu %lu %lu %lu %lu", &pages[0], &pages[1], &pages[2], &pages[3],
                               &pages[4], &pages[5], &pages[6]);
  std::fclose(file);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (read <= field || pageSize <= 0) return 0.0;
  return static_cast<double>(pages[field]) * static_cast<double>(pageSize);
}

// What the process's own limit on its address space (RLIMIT_AS) or on its
// data (RLIMIT_DATA, which counts the mappings large blocks get) still
// leaves; infinite without a limit.
double limitLeaves(int resource, int usageField) {
  struct rlimit limit;
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return INFINITY;
  return static_cast<double>(limit.rlim_cur) - processBytes(usageField);
}

long memoryQueries = 0;

// The memory the system reports as available to this process: the machine's
// available memory, or less where a limit set on the process or on its
// cgroup leaves less.
double availableBytes() {
  ++memoryQueries;
  return std::min({systemAvailableBytes(), limitLeaves(RLIMIT_AS, 0), limitLeaves(RLIMIT_DATA, 5),
                   cgroupMemoryLeft(systemCgroupFiles())});
}

double elementCap = INFINITY;

}  // namespace

void setElementCap(double elements) { elementCap = elements; }

long memoryQueryCount() { return memoryQueries; }

double allocatableCount(double needed, double wanted) {
  const double bound = std::min(static_cast<double>(INT_MAX), elementCap);
  if (!(needed >= 0.0 && needed <= bound)) return -1.0;
  const double most = std::min(wanted, bound);
  // Up to kUncheckedElements passes whatever the system says.
  if (needed <= kUncheckedElements) return std::min(most, kUncheckedElements);
  const double room = std::floor(availableBytes() / sizeof(double));
  return needed <= room ? std::min(most, room) : -1.0;
}
