// The directory a fuzz target works in: a fresh temporary folder, emptied
// and filled again with the same files before every input, so that what one
// input wrote cannot change how the next one runs. It is removed when the
// process ends.
#ifndef VARNEL_SCRATCH_DIRECTORY_H
#define VARNEL_SCRATCH_DIRECTORY_H

#include <string>
#include <utility>
#include <vector>

class ScratchDirectory {
 public:
  // Makes the folder; ends the process when it cannot.
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Copies the file at sourcePath into every fresh state of the folder under
  // name; ends the process when it cannot be read.
  void AddFile(const std::string& name, const std::string& sourcePath);
  // An empty subfolder in every fresh state.
  void AddFolder(const std::string& name);

  // Makes the folder the working directory, holding only the files and
  // folders added.
  void Renew();
  // Goes back to the working directory of the time the folder was made, in
  // which the fuzzer reads and writes its own files.
  void Leave();

  // The path of an entry of the folder.
  std::string PathOf(const std::string& name) const { return root + "/" + name; }

 private:
  std::string root;
  int startDirectory;  // an open descriptor of it
  std::vector<std::pair<std::string, std::string>> files;  // name, contents
  std::vector<std::string> folders;
};

#endif
