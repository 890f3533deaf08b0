#include "memory_cgroup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

// The number a cgroup file holds, in bytes; false when the file is missing,
// holds "max" (no limit) or anything else that is not a number.
bool readBytes(const std::string& path, double& bytes) {
  std::ifstream file(path);
  std::string text;
  if (!(file >> text)) return false;
  char* end = nullptr;
  bytes = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0';
}

// The least that the limit of the cgroup at path (below root) and of every
// cgroup above it leaves. A path that the mount does not show (the
// process's cgroup seen from outside its namespace) still reaches the
// mount's own top.
double hierarchyLeft(const std::string& root, std::string path, const char* limitFile, const char* usageFile) {
  double least = INFINITY;
  for (;;) {
    const std::string folder = root + (path == "/" ? "" : path) + "/";
    double limit;
    if (readBytes(folder + limitFile, limit)) {
      double usage = 0.0;
      if (!readBytes(folder + usageFile, usage)) usage = 0.0;
      least = std::min(least, limit - usage);
    }
    const size_t slash = path.rfind('/');
    if (path.empty() || path == "/" || slash == std::string::npos) return least;
    path.erase(slash);
  }
}

// Whether the comma-separated controller list names the memory controller.
bool namesMemory(const std::string& controllers) {
  return ("," + controllers + ",").find(",memory,") != std::string::npos;
}

}  // namespace

const CgroupFiles& systemCgroupFiles() {
  static const CgroupFiles files{"/proc/self/cgroup", "/sys/fs/cgroup", "/sys/fs/cgroup/memory"};
  return files;
}

double cgroupMemoryLeft(const CgroupFiles& files) {
  std::ifstream list(files.selfCgroup);
  double least = INFINITY;
  std::string line;
  // Each line is hierarchy:controllers:path; the path may itself hold ':'.
  while (std::getline(list, line)) {
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string hierarchy = line.substr(0, first);
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (hierarchy == "0" && controllers.empty())
      least = std::min(least, hierarchyLeft(files.unifiedRoot, path, "memory.max", "memory.current"));
    else if (namesMemory(controllers))
      least = std::min(least, hierarchyLeft(files.memoryRoot, path, "memory.limit_in_bytes", "memory.usage_in_bytes"));
  }
  return least;
}
