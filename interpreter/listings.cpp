#include "listings.h"

#include <dirent.h>

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "hash_table.h"
#include "lexer.h"
#include "report.h"
#include "workspace.h"

namespace {

// A grid cell holds nine characters; a name takes as many cells as it needs
// (with at least one blank before it) and is right-aligned in them. More
// than seven cells end the line. The line after the last name is ended
// unless the grid has just begun a new one.
void writeNameGrid(const std::vector<std::string>& names) {
  int cells = 0;
  for (const std::string& name : names) {
    const int length = static_cast<int>(name.size());
    const int k = length / 9 + 1;
    std::cout << std::string(9 * k - length, ' ') << name;
    cells += k;
    if (cells > 7) {
      std::cout << "\n  ";
      cells = 0;
    }
  }
  if (cells != 0) std::cout << '\n';
}

// The declared variables in name order, without the hidden one that the
// builder keeps for constant terms.
std::vector<std::string> userVariableNames() {
  std::vector<std::string> names = variableTable.SortedKeys(1);
  names.erase(std::remove(names.begin(), names.end(), kAffineVariableName), names.end());
  return names;
}

void writeCount(const char* label, int count) {
  std::cout << label;
  if (count == 0)
    std::cout << "none.\n";
  else
    std::cout << count << '\n';
}

void writeProblemSummary() {
  writeCount("- Number of LMIs: ", lmiStarts.Count());
  writeCount("- Number of LMEs: ", lmeBlocks.Count());
  std::cout << "- Linear objective function: " << (objective.NumTerms() > 1 ? "defined" : "none") << ".\n";
}

void writeSize(const Value& value) {
  std::cout << std::setw(10) << value.Rows() << "  " << std::setw(10) << value.Cols() << "  ";
}

void writeParameterTable(const std::vector<std::string>& names) {
  std::cout << "      rows  " << "   columns  " << "inline  " << "name\n";
  for (const std::string& name : names) {
    int position;
    writeSize(parameterTable.Lookup(name));
    std::cout << (findInlineName(name, position) ? "yes   " : "no    ") << "  " << name << '\n';
  }
}

void writeVariableTable(const std::vector<std::string>& names) {
  std::cout << "      rows  " << "   columns  " << "type  " << "mask  " << "name\n";
  for (const std::string& name : names) {
    const VarRecord& record = variableTable.Lookup(name);
    writeSize(record.GetValue());
    std::string type = VarTypeNames[record.GetType()];
    type.resize(4, ' ');
    std::cout << type << "  " << (record.GetMask().Size() > 0 ? "yes " : "no  ") << "  " << name << '\n';
  }
}

// who and whos differ only in how they show the two tables.
int workspaceListing(int keyword, void (*writeParameters)(const std::vector<std::string>&),
                     void (*writeVariables)(const std::vector<std::string>&), const char* variablesIndent) {
  expectToken(keyword);
  newlineUnlessCompact();
  std::cout << "Current workspace: \n- Parameters:\n";
  const std::vector<std::string> parameters = parameterTable.SortedKeys(1);
  writeParameters(parameters);
  std::cout << "  Total: " << parameters.size() << '\n';
  std::cout << "- Variables:\n" << variablesIndent;
  const std::vector<std::string> variables = userVariableNames();
  if (variables.empty()) {
    std::cout << "  There are no user defined variables.\n";
  } else {
    writeVariables(variables);
    std::cout << "  Total: " << variables.size() << '\n';
  }
  writeProblemSummary();
  newlineUnlessCompact();
  return 0;
}

void writeIndentedGrid(const std::vector<std::string>& names) {
  std::cout << "  ";
  writeNameGrid(names);
}

}  // namespace

int whoStatement() { return workspaceListing(kWho, writeIndentedGrid, writeNameGrid, "  "); }

int whosStatement() { return workspaceListing(kWhos, writeParameterTable, writeVariableTable, ""); }

int dirStatement() {
  expectToken(kDir);
  DIR* directory = opendir("./");
  if (directory == nullptr) {
    reportError("Couldn't open the current directory.");
    return 0;
  }
  std::vector<std::string> names;
  std::size_t width = 0;
  while (const dirent* entry = readdir(directory)) {
    names.emplace_back(entry->d_name);
    width = std::max(width, names.back().size());
  }
  closedir(directory);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compareNames(a, b) < 0; });

  // Every name is padded to the longest one and two blanks. A name too long
  // for two columns in 80 characters gets a line of its own.
  const std::size_t columns = std::max<std::size_t>(80 / (width + 2), 1);
  newlineUnlessCompact();
  std::cout << "Current directory: \n";
  newlineUnlessCompact();
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::cout << names[i] << std::string(width - names[i].size() + 2, ' ');
    if ((i + 1) % columns == 0 || i + 1 == names.size()) std::cout << '\n';
  }
  newlineUnlessCompact();
  return 0;
}
