// Fuzz target: every input is a script that the interpreter runs as the
// program runs a script file, through the same statement loop, in a fresh
// workspace. Files are confined to a scratch folder that starts every input
// with the same few files, and the sizes of matrices and the passes of loops
// are bounded, so that an input cannot take gigabytes or run for minutes.
// The output goes nowhere; what counts is that no input crashes the process
// or trips a sanitizer.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "allocation.h"
#include "scratch_directory.h"
#include "statements.h"
#include "workspace.h"

namespace {

// A matrix of 64 x 64 elements: products and factorisations of the largest
// allowed matrices take milliseconds.
constexpr double kElementLimit = 4096;
constexpr long kLoopPassLimit = 1000;

// Takes whatever is written, so that every output operation formats its text
// as usual, and keeps nothing.
class DiscardBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

DiscardBuffer discard;
ScratchDirectory* scratch = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static ScratchDirectory folder;
  scratch = &folder;
  // Files that scripts can import and exec.
  folder.AddFile("sample.mat", VARNEL_SOURCE_DIR "/tests/golden/matfile/sample.mat");
  for (const char* script : {"bad", "calls_bad", "middle", "outer", "quits", "setup"})
    folder.AddFile(std::string(script) + ".lmi", VARNEL_SOURCE_DIR "/tests/golden/exec/files/" + std::string(script) + ".lmi");
  folder.AddFolder("sub");
  searchPath.clear();
  setElementCap(kElementLimit);
  runLimits.loopPasses = kLoopPassLimit;
  runLimits.confineFiles = 1;
  std::cout.rdbuf(&discard);
  std::cerr.rdbuf(&discard);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  scratch->Renew();
  resetWorkspace();
  // The value display leaves its notation and precision behind.
  std::cout.flags(std::ios::dec | std::ios::skipws);
  std::cout.precision(6);
  std::istringstream script(std::string(reinterpret_cast<const char*>(data), size));
  runScript(script, "fuzz.lmi");
  scratch->Leave();
  return 0;
}
