#include "scratch_directory.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

[[noreturn]] void giveUp(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

int removeEntry(const char* path, const struct stat*, int, struct FTW* walk) {
  // The folder itself (level 0) stays.
  if (walk->level > 0 && std::remove(path) != 0) giveUp(path);
  return 0;
}

// Removes everything below path, not following links.
void emptyFolder(const std::string& path) {
  if (nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) != 0) giveUp(path);
}

}  // namespace

ScratchDirectory::ScratchDirectory() : startDirectory(open(".", O_RDONLY | O_DIRECTORY)) {
  if (startDirectory < 0) giveUp("the working directory");
  char pattern[] = "/tmp/varnel-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) giveUp("mkdtemp");
  root = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  Leave();
  close(startDirectory);
  emptyFolder(root);
  rmdir(root.c_str());
}

void ScratchDirectory::AddFile(const std::string& name, const std::string& sourcePath) {
  std::ifstream source(sourcePath, std::ios::binary);
  if (!source) giveUp(sourcePath);
  std::ostringstream contents;
  contents << source.rdbuf();
  files.emplace_back(name, contents.str());
}

void ScratchDirectory::AddFolder(const std::string& name) { folders.push_back(name); }

void ScratchDirectory::Leave() {
  if (fchdir(startDirectory) != 0) giveUp("the working directory");
}

void ScratchDirectory::Renew() {
  if (chdir(root.c_str()) != 0) giveUp(root);
  emptyFolder(root);
  for (const std::string& folder : folders)
    if (mkdir(folder.c_str(), 0700) != 0) giveUp(folder);
  for (const auto& file : files) {
    std::ofstream out(file.first, std::ios::binary);
    out << file.second;
    if (!out) giveUp(file.first);
  }
}
