#include "memory_cgroup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// A folder of its own with the files of a made-up system: the process's
// cgroup list and cgroup files below the two mounts.
class CgroupTree {
 public:
  CgroupTree() {
    char pattern[] = "/tmp/varnel-cgroup-XXXXXX";
    root = mkdtemp(pattern);
    files = {root + "/cgroup", root + "/unified", root + "/memory"};
  }
  ~CgroupTree() { std::filesystem::remove_all(root); }

  // Writes text into the file at path below the tree, making its folders.
  void Write(const std::string& path, const std::string& text) {
    const std::filesystem::path file = root + path;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  std::string root;
  CgroupFiles files;
};

const double kMib = 1024.0 * 1024.0;

// What a limit leaves follows the cgroup list to its own hierarchy; the
// least of all limits on the way up to the mount's top counts, less each
// one's use where it is given.
TEST(CgroupMemoryLeft, TheLeastThatAnyLimitAboveTheProcessLeaves) {
  const struct {
    const char* name;
    const char* list;
    std::vector<std::pair<const char*, const char*>> files;
    double left;
  } cases[] = {
      {"no cgroup list", nullptr, {}, INFINITY},
      {"v2 limit less use",
       "0::/box\n",
       {{"/unified/box/memory.max", "104857600\n"}, {"/unified/box/memory.current", "31457280\n"}},
       70 * kMib},
      {"v2 without a limit", "0::/box\n", {{"/unified/box/memory.max", "max\n"}}, INFINITY},
      {"v2 limit without its use", "0::/box\n", {{"/unified/box/memory.max", "104857600\n"}}, 100 * kMib},
      {"v2 parent's limit binds",
       "0::/a/b\n",
       {{"/unified/a/b/memory.max", "max\n"},
        {"/unified/a/memory.max", "52428800\n"},
        {"/unified/a/memory.current", "10485760\n"}},
       40 * kMib},
      {"v1 memory controller among others",
       "5:cpu,memory:/svc\n4:pids:/svc\n",
       {{"/memory/svc/memory.limit_in_bytes", "209715200\n"}, {"/memory/svc/memory.usage_in_bytes", "104857600\n"}},
       100 * kMib},
      {"v1 unlimited (a huge limit)",
       "4:memory:/svc\n",
       {{"/memory/svc/memory.limit_in_bytes", "9223372036854771712\n"}},
       9223372036854771712.0},
      {"v1 path the mount does not show: its top counts",
       "4:memory:/elsewhere/deep\n",
       {{"/memory/memory.limit_in_bytes", "83886080\n"}, {"/memory/memory.usage_in_bytes", "20971520\n"}},
       60 * kMib},
      {"the least of v1 and v2",
       "4:memory:/m\n0::/u\n",
       {{"/memory/m/memory.limit_in_bytes", "83886080\n"}, {"/unified/u/memory.max", "62914560\n"}},
       60 * kMib},
      {"a controller named like memory is not it", "4:memory_extra:/m\n", {{"/memory/m/memory.limit_in_bytes", "1\n"}},
       INFINITY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CgroupTree tree;
    if (c.list != nullptr) tree.Write("/cgroup", c.list);
    for (const auto& file : c.files) tree.Write(file.first, file.second);
    EXPECT_EQ(cgroupMemoryLeft(tree.files), c.left);
  }
}

}  // namespace
