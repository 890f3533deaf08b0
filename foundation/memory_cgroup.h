// What the memory control group of the process still lets it use.
//
// A container or a service manager often bounds a process's memory through
// its cgroup rather than through rlimits, and the machine's free memory says
// nothing of that bound: the kernel ends a process that passes it. The
// cgroup is found through the process's cgroup list (/proc/self/cgroup): the
// unified hierarchy (cgroup v2, the line "0::path") bounds it by memory.max
// and counts its use in memory.current; the memory controller of the older
// hierarchy (cgroup v1, the line whose controllers name "memory") by
// memory.limit_in_bytes and memory.usage_in_bytes. A cgroup's limit binds
// everything below it too, so the cgroups above the process's own count as
// well.
#ifndef VARNEL_MEMORY_CGROUP_H
#define VARNEL_MEMORY_CGROUP_H

#include <string>

// Where the system keeps the files that cgroupMemoryLeft reads.
struct CgroupFiles {
  std::string selfCgroup;   // the process's cgroup list
  std::string unifiedRoot;  // the mount of the v2 hierarchy
  std::string memoryRoot;   // the mount of the v1 memory controller
};

// The files of a Linux system: /proc/self/cgroup, /sys/fs/cgroup and
// /sys/fs/cgroup/memory.
const CgroupFiles& systemCgroupFiles();

// The fewest bytes that any limit of the process's cgroups leaves, its
// limit less its use (the limit alone where the use is not given); infinite
// where no cgroup file is there or none sets a limit ("max").
double cgroupMemoryLeft(const CgroupFiles& files);

#endif
