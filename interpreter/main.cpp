// The program: runs the script named on the command line, or reads
// statements at the prompt when there is none.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <new>
#include <string>

#include "exec.h"
#include "interrupts.h"
#include "line_input.h"
#include "statements.h"
#include "workspace.h"

namespace {

const char* const kContactAddress = "varnel@example.org";

// No operation handles a failed allocation itself: the process ends.
void outOfMemory() {
  std::cout.flush();
  std::fputs("Virtual memory exceeded in `new'\n", stderr);
  std::_Exit(1);
}

// The directory of the shipped examples: VARNEL_PATH without its blanks and
// ending in '/', or the current directory when the variable is unset or
// holds nothing but blanks.
std::string exampleDirectory() {
  const char* value = std::getenv("VARNEL_PATH");
  std::string dir;
  for (const char* c = value; c != nullptr && *c != '\0'; ++c)
    if (!std::isspace(static_cast<unsigned char>(*c))) dir += *c;
  if (dir.empty()) return "./";
  if (dir.back() != '/') dir += '/';
  return dir;
}

// The script under its name as typed, else with ".lmi" appended.
bool openScript(const std::string& name, std::ifstream& script) {
  return openScriptFile(name, script) || openScriptFile(name + ".lmi", script);
}

void printBanner() {
  const std::string rule(61, '-');
  std::cout << rule << '\n'
            << " V a r n e l          -          Version 1.0 (alpha)\n"
            << " Send comments and suggestions to " << kContactAddress << '\n'
            << rule << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(outOfMemory);
  setHistoryLimit(40);
  searchPath.assign(1, exampleDirectory() + "TUTORIAL/");

  if (argc >= 2) {
    const std::string name = argv[1];
    std::ifstream scriptFile;
    if (!openScript(name, scriptFile)) {
      std::cout << "Can't open file \"" << name << "\".\n";
      return -1;
    }
    printBanner();
    runScript(scriptFile, name);
  } else {
    printBanner();
    std::cout << "Interpreter mode.\n\n";
    modeFlags = kModePrompt;
    installInterruptHandler();
    runSession();
    std::cout << "\nExiting interpreter.\n";
  }
  printBanner();
  return 0;
}
