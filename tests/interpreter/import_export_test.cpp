// The import and export statements: their forms, the targets of an import
// with the size and structure tests, what is refused and reported, and the
// files against SciPy's reader and writer.
#include "import_export.h"

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../matfile/mat_bytes.h"
#include "interrupt_flag.h"
#include "lexer.h"
#include "mat_file.h"
#include "mat_record.h"
#include "script_fixture.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

using matbytes::Matrix;
using matbytes::doubles;
using matbytes::writeFile;

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

bool sameNumber(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

// Elements of a value in column-major order (a scalar as one, empty none).
std::vector<double> elements(const Value& v) {
  const GenMatrixD m = asMatrix(v);
  return std::vector<double>(m.Data(), m.Data() + m.Rows() * m.Cols());
}

// Makes a directory the working one for its lifetime.
class InDirectory {
 public:
  explicit InDirectory(const std::string& path) {
    EXPECT_NE(getcwd(saved_, sizeof saved_), nullptr);
    EXPECT_EQ(chdir(path.c_str()), 0);
  }
  ~InDirectory() { EXPECT_EQ(chdir(saved_), 0); }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

 private:
  char saved_[4096];
};

class ImportExportTest : public ScriptFixture {
 protected:
  int run(int (*handler)(), const std::string& line) {
    feed(line);
    return handler();
  }

  std::string file(const std::string& name) const { return dir.file(name); }

  static void declare(const std::string& name, int type, const Value& value) {
    variableTable.Remove(name);
    variableTable.Insert(name, VarRecord(type, value));
  }

  static Value& parameter(const std::string& name) { return parameterTable.Lookup(name); }
  static bool hasParameter(const std::string& name) { return parameterTable.Find(name).index >= 0; }
  static const Value& variable(const std::string& name) { return variableTable.Lookup(name).GetValue(); }

  // The names of a file's records, empty when it lists none.
  static std::vector<std::string> namesIn(const std::string& path) {
    std::vector<std::string> names;
    MATFile* f = matOpen(path.c_str(), "r");
    if (f == nullptr) return names;
    int count = 0;
    char** list = matGetDir(f, &count);
    if (list != nullptr) names.assign(list, list + count);
    mxFree(list);
    matClose(f);
    return names;
  }

  // A matrix read back from a file (0 x 0 and no elements when missing).
  static GenMatrixD readBack(const std::string& path, const std::string& name) {
    MATFile* f = matOpen(path.c_str(), "r");
    GenMatrixD m;
    if (f == nullptr) return m;
    EXPECT_EQ(importMatrix(f, name, m), 0) << name;
    matClose(f);
    return m;
  }

  bool printed(const std::string& line) const { return output.str().find(line + "\n") != std::string::npos; }

  // The names in the scratch directory, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir.path().c_str());
    for (dirent* e = readdir(d); e != nullptr; e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  matbytes::TempDir dir;
};

// A file with a 2 x 2 symmetric S, a 1 x 3 row r and a scalar k.
std::string threeMatrices() {
  return doubles("S", Matrix{2, 2, {1, 2, 2, 5}, {}}) + doubles("r", Matrix{1, 3, {1, 2, 3}, {}}) +
         doubles("k", Matrix{1, 1, {4}, {}});
}

TEST_F(ImportExportTest, ImportsNamedMatricesIntoVariablesExistingAndNewParameters) {
  writeFile(file("data.mat"), threeMatrices());
  declare("S", kSym, Value(2, 2, 0.0));
  setParameter("r", 1.0);
  EXPECT_EQ(run(importStatement, "import " + quoted(file("data")) + " S  r k; x"), 0);
  EXPECT_EQ(peekNonSpace(), kSemicolon);
  EXPECT_EQ(elements(variable("S")), (std::vector<double>{1, 2, 2, 5}));
  EXPECT_EQ(variableTable.Lookup("S").GetType(), kSym);
  EXPECT_EQ(elements(parameter("r")), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(parameter("k").Rows(), 1);
  EXPECT_TRUE(parameter("k").IsScalar());
  EXPECT_EQ(*parameter("k").Scalar(), 4);
  EXPECT_EQ(needsRebuild, 1);
  EXPECT_EQ(output.str(), "");
}

TEST_F(ImportExportTest, ImportWithoutNamesReadsTheWholeFile) {
  writeFile(file("data.mat"), threeMatrices());
  declare("k", kScl, Value(7.0));
  EXPECT_EQ(run(importStatement, "import " + quoted(file("data.mat"))), 0);
  EXPECT_EQ(elements(parameter("S")), (std::vector<double>{1, 2, 2, 5}));
  EXPECT_EQ(elements(parameter("r")), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(elements(variable("k")), std::vector<double>{4});
  EXPECT_FALSE(hasParameter("k"));
}

TEST_F(ImportExportTest, VariablesKeepTheirSizeAndStructure) {
  struct Case {
    const char* what;
    int type;
    Value current;
    Matrix stored;
    const char* message;
  };
  const Case cases[] = {
      {"size", kGen, Value(2, 2, 0.0), Matrix{3, 3, std::vector<double>(9, 1.0), {}},
       "You can not change the size of variable 'X'."},
      {"scalar", kScl, Value(1.0), Matrix{1, 2, {1, 2}, {}}, "You can not change the size of variable 'X'."},
      {"symmetric", kSym, Value(2, 2, 0.0), Matrix{2, 2, {1, 2, 3, 4}, {}}, "Variable 'X' must be symmetric."},
      {"diagonal", kDiag, Value(2, 2, 0.0), Matrix{2, 2, {1, 0, 1e-300, 4}, {}}, "Variable 'X' must be diagonal."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetWorkspace();
    writeFile(file("v.mat"), doubles("p", Matrix{1, 1, {3}, {}}) + doubles("X", c.stored) +
                                 doubles("q", Matrix{1, 1, {4}, {}}));
    declare("X", c.type, c.current);
    const std::vector<double> before = elements(c.current);
    EXPECT_EQ(run(importStatement, "import " + quoted(file("v.mat"))), 1);
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_EQ(elements(variable("X")), before);
    // The matrix before the failing one stays imported, the one after is
    // not read.
    EXPECT_EQ(elements(parameter("p")), std::vector<double>{3});
    EXPECT_FALSE(hasParameter("q"));
  }
  // A diagonal matrix passes the diagonal variable's test.
  resetWorkspace();
  writeFile(file("v.mat"), doubles("X", Matrix{2, 2, {1, 0, 0, -4}, {}}));
  declare("X", kDiag, Value(2, 2, 0.0));
  EXPECT_EQ(run(importStatement, "import " + quoted(file("v.mat"))), 0);
  EXPECT_EQ(elements(variable("X")), (std::vector<double>{1, 0, 0, -4}));
}

TEST_F(ImportExportTest, MatricesThatCannotBeReadAreReportedByNameAndChangeNothing) {
  std::string sparse = matbytes::record(matbytes::kBE, 0, 0, 2, "sp", Matrix{2, 3, {1, 2, 1, 2, 5, 0}, {}});
  writeFile(file("d.mat"), doubles("a", Matrix{1, 1, {1}, {}}) + sparse);
  setParameter("sp", 8.0);
  const struct {
    const char* name;
    bool existed;
  } cases[] = {{"missing", false}, {"sp", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    needsRebuild = 0;
    EXPECT_EQ(run(importStatement, "import " + quoted(file("d")) + " " + c.name), 1);
    EXPECT_EQ(lastMessage(),
              std::string("Can't read matrix '") + c.name + "' from matlab file \"" + file("d.mat") + "\".");
    EXPECT_EQ(hasParameter(c.name), c.existed);
    EXPECT_EQ(needsRebuild, 0);
  }
  EXPECT_EQ(*parameter("sp").Scalar(), 8.0);
  // Importing the whole file passes over the sparse record with a warning.
  EXPECT_EQ(run(importStatement, "import " + quoted(file("d"))), 0);
  EXPECT_EQ(output.str(), "#> Warning at line 1: Skipping sparse matrix 'sp'.\n");
  EXPECT_EQ(*parameter("a").Scalar(), 1.0);
  EXPECT_EQ(*parameter("sp").Scalar(), 8.0);
}

TEST_F(ImportExportTest, ARecordWhoseDataEndsEarlyEndsTheImportWithAWarningNamingIt) {
  const std::string whole = doubles("a", Matrix{1, 1, {1}, {}}) + doubles("b", Matrix{1, 3, {1, 2, 3}, {}});
  writeFile(file("t.mat"), whole.substr(0, whole.size() - 5));
  EXPECT_EQ(run(importStatement, "import " + quoted(file("t.mat"))), 0);
  EXPECT_EQ(output.str(), "#> Warning at line 1: Can't read matrix 'b': the rest of matlab file \"" + file("t.mat") +
                              "\" was not read.\n");
  EXPECT_EQ(*parameter("a").Scalar(), 1.0);
  EXPECT_FALSE(hasParameter("b"));
}

// Importing a whole file: a record whose name cannot be used or that is
// sparse is passed over with a warning naming it, and the import goes on.
TEST_F(ImportExportTest, WholeFileImportSkipsRecordsItCannotUseAndGoesOn) {
  const std::string longName = "a_name_of_twenty_six_chars";
  const std::string bytes =
      doubles("a", Matrix{1, 1, {1}, {}}) +
      // As GNU Octave writes a long name: little-endian, the name length
      // counting the whole name and its NUL.
      matbytes::record(matbytes::kLE, 0, 0, 0, longName, Matrix{1, 1, {2}, {}}) +
      matbytes::record(matbytes::kBE, 0, 0, 2, "sp", Matrix{2, 3, {1, 2, 1, 2, 5, 0}, {}}) +
      doubles("say \"hi\"", Matrix{1, 1, {3}, {}}) + doubles("abcdefghijklmnopqrst", Matrix{1, 1, {4}, {}}) +
      doubles("abcdefghijklmnopqrs", Matrix{1, 1, {5}, {}}) + doubles("b", Matrix{1, 2, {6, 7}, {}});
  writeFile(file("o.mat"), bytes);
  EXPECT_EQ(run(importStatement, "import " + quoted(file("o.mat"))), 0);
  EXPECT_EQ(output.str(),
            "#> Warning at line 1: Skipping matrix '" + longName + "': name too long.\n"
            "#> Warning at line 1: Skipping sparse matrix 'sp'.\n"
            "#> Warning at line 1: Skipping matrix 'say \"hi\"': not a valid name.\n"
            "#> Warning at line 1: Skipping matrix 'abcdefghijklmnopqrst': name too long.\n");
  EXPECT_EQ(*parameter("a").Scalar(), 1.0);
  EXPECT_EQ(*parameter("abcdefghijklmnopqrs").Scalar(), 5.0);
  EXPECT_EQ(elements(parameter("b")), (std::vector<double>{6, 7}));
  for (const std::string& skipped : {longName, std::string("sp"), std::string("say \"hi\""),
                                     std::string("abcdefghijklmnopqrst")}) {
    EXPECT_FALSE(hasParameter(skipped)) << skipped;
  }
}

// Names of 256 characters or more are passed over as shorter long names
// are, and names with control characters are passed over too; a warning
// shows a name whole, with its control characters escaped, so the file
// cannot write to the terminal. The records around them are imported.
TEST_F(ImportExportTest, WholeFileImportSkipsLongNamesAndNamesWithControlCharacters) {
  const Matrix one{1, 1, {1}, {}};
  const std::string before(256, 'x'), after(256, 'w');
  const std::string title = "\x1b]0;owned\x07" + std::string(290, 'z');
  ASSERT_EQ(title.size(), 300u);
  const struct {
    std::string name;
    std::string shown;
  } controlled[] = {
      {"\x1b[2Jclear", "\\x1b[2Jclear"},
      {"tab\there", "tab\\x09here"},
      {"two\nlines", "two\\x0alines"},
      {"del\x7f", "del\\x7f"},
      {"\x01", "\\x01"},
  };
  std::string bytes =
      doubles(before, one) + doubles("a", Matrix{1, 1, {2}, {}}) + doubles(title, Matrix{1, 2, {3, 4}, {}});
  std::string warnings = "#> Warning at line 1: Skipping matrix '" + before + "': name too long.\n" +
                         "#> Warning at line 1: Skipping matrix '\\x1b]0;owned\\x07" + std::string(290, 'z') +
                         "': name too long.\n";
  for (const auto& c : controlled) {
    bytes += doubles(c.name, one);
    warnings += "#> Warning at line 1: Skipping matrix '" + c.shown + "': name holds control characters.\n";
  }
  // The other warnings that name a record escape its name too.
  bytes += matbytes::record(matbytes::kBE, 0, 0, 2, "\x1bsp", Matrix{2, 3, {1, 2, 1, 2, 5, 0}, {}});
  warnings += "#> Warning at line 1: Skipping sparse matrix '\\x1bsp'.\n";
  bytes += doubles("b", Matrix{1, 2, {5, 6}, {}}) + doubles(after, one);
  warnings += "#> Warning at line 1: Skipping matrix '" + after + "': name too long.\n";
  const std::string cut = doubles("\x1b[Hcut", Matrix{1, 2, {7, 8}, {}});
  bytes += cut.substr(0, cut.size() - 4);
  warnings += "#> Warning at line 1: Can't read matrix '\\x1b[Hcut': the rest of matlab file \"" + file("names.mat") +
              "\" was not read.\n";
  writeFile(file("names.mat"), bytes);
  EXPECT_EQ(run(importStatement, "import " + quoted(file("names.mat"))), 0);
  EXPECT_EQ(output.str(), warnings);
  EXPECT_EQ(*parameter("a").Scalar(), 2.0);
  EXPECT_EQ(elements(parameter("b")), (std::vector<double>{5, 6}));
  for (const auto& c : controlled) EXPECT_FALSE(hasParameter(c.name));
  for (const std::string& name : {before, title, after}) EXPECT_FALSE(hasParameter(name));
  // Named on the statement, such a name is refused the same way.
  EXPECT_EQ(run(importStatement, "import " + quoted(file("names.mat")) + " \"tab\there\""), 0);
  EXPECT_EQ(output.str(), "#> Warning at line 1: Skipping matrix 'tab\\x09here': name holds control characters.\n");
  EXPECT_FALSE(hasParameter("tab\there"));
}

// A name field longer than a record here holds makes a record unusable
// however short the name in it: importing the whole file passes over it
// with a warning, and a search by name does not find it.
TEST_F(ImportExportTest, BothImportsRefuseAShortNameInALongNameField) {
  for (const std::int32_t field : {21, 256}) {
    SCOPED_TRACE(field);
    resetWorkspace();
    const std::string nameField = std::string("c\0", 2) + std::string(std::size_t(field) - 2, 'x');
    writeFile(file("n.mat"), doubles("a", Matrix{1, 1, {1}, {}}) +
                                 matbytes::header(1000, 1, 1, 0, field, true) + nameField + std::string(8, '\0') +
                                 doubles("b", Matrix{1, 1, {2}, {}}));
    EXPECT_EQ(run(importStatement, "import " + quoted(file("n.mat"))), 0);
    EXPECT_EQ(output.str(), "#> Warning at line 1: Skipping matrix 'c': name too long.\n");
    EXPECT_EQ(*parameter("a").Scalar(), 1.0);
    EXPECT_EQ(*parameter("b").Scalar(), 2.0);
    EXPECT_FALSE(hasParameter("c"));
    EXPECT_EQ(run(importStatement, "import " + quoted(file("n.mat")) + " c"), 1);
    EXPECT_EQ(lastMessage(), "Can't read matrix 'c' from matlab file \"" + file("n.mat") + "\".");
    EXPECT_FALSE(hasParameter("c"));
  }
}

// A record that cannot be parsed ends the import of a whole file with a
// warning that the rest was not read; what came before it is imported.
TEST_F(ImportExportTest, ARecordThatCannotBeReadEndsTheWholeFileImportWithAWarning) {
  const std::string nameB("b\0", 2);
  const std::string eightBytes(8, '\0');
  auto header = [](std::uint32_t type, std::int32_t rows, std::int32_t cols, std::int32_t imagf,
                   std::int32_t namlen) { return matbytes::header(type, rows, cols, imagf, namlen, true); };
  const std::string longName(300, 'x');
  const std::string twentyFive(25, 'y');
  const struct {
    const char* what;
    std::string bytes;
    bool followed;     // false: the record must end the file to be bad
    const char* name;  // named in the warning when its header could be read
  } cases[] = {
      {"cut header", std::string("\0\0\3\xe8\0\0\0\1\0\0", 10), false, nullptr},
      {"precision digit 6", header(1060, 1, 1, 0, 2) + nameB + eightBytes, true, nullptr},
      {"format digit 5", header(5000, 1, 1, 0, 2) + nameB + eightBytes, true, nullptr},
      {"negative rows", header(1000, -1, 1, 0, 2) + nameB + eightBytes, true, nullptr},
      {"100000001 elements", header(1000, 10000, 10001, 0, 2) + nameB + eightBytes, true, nullptr},
      {"name length 0", header(1000, 1, 1, 0, 0) + eightBytes, true, nullptr},
      {"name without its NUL", header(1000, 1, 1, 0, 3) + "bad" + eightBytes, true, nullptr},
      {"name past the end of the file", header(1000, 1, 1, 0, 100000) + longName + std::string(1, '\0') + eightBytes,
       true, nullptr},
      {"name cut short", header(1000, 1, 1, 0, 10) + "b", false, nullptr},
      {"data one byte short", header(1000, 1, 2, 0, 2) + nameB + std::string(15, '\0'), false, "b"},
      {"imaginary part missing", header(1000, 1, 1, 1, 2) + nameB + eightBytes, false, "b"},
      {"more data than the file holds", header(1000, 1000, 1000, 0, 2) + nameB + eightBytes, true, "b"},
      {"long name, data cut", header(1000, 1, 2, 0, 26) + twentyFive + std::string(1, '\0') + eightBytes, false,
       "yyyyyyyyyyyyyyyyyyyyyyyyy"},
      {"sparse, data cut", header(1002, 2, 3, 0, 2) + nameB + eightBytes, false, "b"},
  };
  const std::string after = doubles("after", Matrix{1, 1, {1}, {}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string warning =
        std::string("#> Warning at line 1: ") +
        (c.name != nullptr ? "Can't read matrix '" + std::string(c.name) + "'" : "Unreadable record") +
        ": the rest of matlab file \"" + file("u.mat") + "\" was not read.\n";
    resetWorkspace();
    writeFile(file("u.mat"), doubles("a", Matrix{1, 1, {1}, {}}) + c.bytes + (c.followed ? after : ""));
    EXPECT_EQ(run(importStatement, "import " + quoted(file("u.mat"))), 0);
    EXPECT_EQ(output.str(), warning);
    EXPECT_EQ(*parameter("a").Scalar(), 1.0);
    EXPECT_FALSE(hasParameter("b"));
    EXPECT_FALSE(hasParameter("after"));
    // First in the file: a file without even one header is no MAT-file.
    resetWorkspace();
    writeFile(file("u.mat"), c.bytes + (c.followed ? after : ""));
    EXPECT_EQ(run(importStatement, "import " + quoted(file("u.mat"))), c.name != nullptr ? 0 : 1);
    if (c.name != nullptr) {
      EXPECT_EQ(output.str(), warning);
    } else {
      EXPECT_EQ(lastMessage(), "No matrix found in matlab file \"" + file("u.mat") + "\".");
    }
    EXPECT_FALSE(hasParameter("after"));
  }
}

// As when the file is searched by name, the first record of a name is the
// one imported; a later one is passed over without a word.
TEST_F(ImportExportTest, WholeFileImportTakesTheFirstRecordOfAName) {
  writeFile(file("r.mat"), doubles("x", Matrix{1, 1, {1}, {}}) + doubles("y", Matrix{1, 1, {2}, {}}) +
                               matbytes::record(matbytes::kBE, 0, 0, 0, "x", Matrix{1, 1, {3}, {4}}));
  EXPECT_EQ(run(importStatement, "import " + quoted(file("r.mat"))), 0);
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(*parameter("x").Scalar(), 1.0);
  EXPECT_EQ(*parameter("y").Scalar(), 2.0);
}

// Bytes this process has read from files so far (/proc/self/io); -1 where
// the kernel does not count them.
long bytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string field;
  long value;
  while (io >> field >> value) {
    if (field == "rchar:") return value;
  }
  return -1;
}

// A whole file is imported in one pass over it, not one search from its
// start for every record: the bytes read stay within a small multiple of
// the file's size.
TEST_F(ImportExportTest, ImportingAWholeFileReadsItOnce) {
  constexpr int kRecords = 2000;
  std::string bytes;
  for (int k = 0; k < kRecords; ++k) bytes += doubles("m" + std::to_string(k), Matrix{1, 1, {double(k)}, {}});
  writeFile(file("many.mat"), bytes);
  const long before = bytesReadSoFar();
  if (before < 0) GTEST_SKIP() << "no /proc/self/io";
  EXPECT_EQ(run(importStatement, "import " + quoted(file("many.mat"))), 0);
  // A search from the start for every record reads about
  // kRecords / 2 times the file.
  EXPECT_LT(bytesReadSoFar() - before, long(4 * bytes.size()) + 65536);
  for (int k = 0; k < kRecords; k += 333) EXPECT_EQ(*parameter("m" + std::to_string(k)).Scalar(), k);
  EXPECT_EQ(*parameter("m" + std::to_string(kRecords - 1)).Scalar(), kRecords - 1);
}

TEST_F(ImportExportTest, FilesWithoutMatricesAreReported) {
  for (const std::string& bytes : {std::string(), std::string("not a mat-file at all, just text")}) {
    writeFile(file("e.mat"), bytes);
    EXPECT_EQ(run(importStatement, "import " + quoted(file("e.mat"))), 1);
    EXPECT_EQ(lastMessage(), "No matrix found in matlab file \"" + file("e.mat") + "\".");
  }
}

TEST_F(ImportExportTest, NamesNoScriptCouldWriteAreSkippedWithAWarning) {
  variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(1.0)));
  const std::vector<std::string> skipped = {" Affine Variable", "say \"hi\"", ""};
  // Names a script writes in double quotes, or plainly.
  const std::vector<std::string> quotedOnly = {"for", "1x", "a b", "end", "_u", "ok_1"};
  std::string bytes;
  for (const std::vector<std::string>* list : {&skipped, &quotedOnly}) {
    for (const std::string& name : *list) bytes += doubles(name, Matrix{1, 1, {2}, {}});
  }
  writeFile(file("n.mat"), bytes);
  EXPECT_EQ(run(importStatement, "import " + quoted(file("n.mat"))), 0);
  for (const std::string& name : skipped) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(printed("#> Warning at line 1: Skipping matrix '" + name + "': not a valid name."));
    EXPECT_FALSE(hasParameter(name));
  }
  EXPECT_EQ(*variable(kAffineVariableName).Scalar(), 1.0);
  for (const std::string& name : quotedOnly) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(hasParameter(name));
    EXPECT_EQ(*parameter(name).Scalar(), 2.0);
  }
  // A quoted name on the statement is a name like any other; the affine
  // variable's is refused there too.
  resetWorkspace();
  variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(1.0)));
  EXPECT_EQ(run(importStatement, "import " + quoted(file("n.mat")) + " \"a b\" \" Affine Variable\" \"for\""), 0);
  EXPECT_EQ(output.str(), "#> Warning at line 1: Skipping matrix ' Affine Variable': not a valid name.\n");
  EXPECT_EQ(*parameter("a b").Scalar(), 2.0);
  EXPECT_EQ(*parameter("for").Scalar(), 2.0);
  EXPECT_EQ(*variable(kAffineVariableName).Scalar(), 1.0);
}

TEST_F(ImportExportTest, ComplexMatricesImportTheirRealPartAfterAWarning) {
  writeFile(file("c.mat"), matbytes::record(matbytes::kLE, 0, 0, 0, "z", Matrix{1, 2, {1, 3}, {2, -4}}));
  EXPECT_EQ(run(importStatement, "import " + quoted(file("c.mat"))), 0);
  EXPECT_TRUE(printed("#> Warning at line 1: Matrix 'z' contains imaginary part."));
  EXPECT_EQ(elements(parameter("z")), (std::vector<double>{1, 3}));
}

TEST_F(ImportExportTest, AnInlineParameterThatBecomesAMatrixLeavesTheInlineList) {
  writeFile(file("i.mat"), doubles("p", Matrix{1, 2, {1, 2}, {}}) + doubles("q", Matrix{1, 1, {5}, {}}));
  setParameter("p", 2.0);
  setParameter("q", 3.0);
  inlineNames.Append("p");
  inlineNames.Append("q");
  EXPECT_EQ(run(importStatement, "import " + quoted(file("i.mat"))), 0);
  EXPECT_TRUE(printed("#> Warning at line 1: Turning matrix \"p\" inline off."));
  ASSERT_EQ(inlineNames.Count(), 1);
  EXPECT_EQ(inlineNames[0], "q");
  EXPECT_EQ(*parameter("q").Scalar(), 5.0);
}

TEST_F(ImportExportTest, TheFileNameMustBeAPlainName) {
  setParameter("A", 1.0);
  for (const char* line : {"import", "import ;", "import A", "import 3", "export", "export A", "export (x)"}) {
    SCOPED_TRACE(line);
    const bool isImport = line[0] == 'i';
    EXPECT_EQ(run(isImport ? importStatement : exportStatement, line), 1);
    EXPECT_EQ(lastMessage(), "Expected file name.");
  }
}

TEST_F(ImportExportTest, ImportTriesTheNameThenTheNameWithMat) {
  const InDirectory inside(dir.path());
  // A directory called data is not the file: data.mat is read.
  ASSERT_EQ(mkdir("data", 0755), 0);
  writeFile("data.mat", doubles("a", Matrix{1, 1, {1}, {}}));
  EXPECT_EQ(run(importStatement, "import data"), 0);
  EXPECT_EQ(*parameter("a").Scalar(), 1.0);
  // ".mat" is appended whatever the name holds.
  writeFile("x.mat.mat", doubles("b", Matrix{1, 1, {2}, {}}));
  EXPECT_EQ(run(importStatement, "import \"x.mat\""), 0);
  EXPECT_EQ(*parameter("b").Scalar(), 2.0);
  // A file named exactly as typed comes first.
  writeFile("plain", doubles("c", Matrix{1, 1, {3}, {}}));
  writeFile("plain.mat", doubles("c", Matrix{1, 1, {4}, {}}));
  EXPECT_EQ(run(importStatement, "import plain"), 0);
  EXPECT_EQ(*parameter("c").Scalar(), 3.0);
  EXPECT_EQ(run(importStatement, "import nothing"), 1);
  EXPECT_EQ(lastMessage(), "Can't open matlab file \"nothing\".");
}

// import and export read their whole statement before they open a file or
// change the workspace: anything but a separator after the names is an
// error that leaves every file and value as it was.
TEST_F(ImportExportTest, StatementsWithSomethingAfterTheNamesActOnNothing) {
  const std::string old = doubles("Q", Matrix{1, 1, {5}, {}}) + doubles("R", Matrix{1, 1, {6}, {}});
  const char* const lines[] = {
      "export out.dat A",  // a dotted name must be quoted
      "export old A typo", "export old A 3", "export old (A)", "export old A = 2",
      "import old.mat R",  "import old Q R 3", "import old Q = 2", "import old for", "import old Q(1)",
  };
  const InDirectory inside(dir.path());
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    resetWorkspace();
    setParameter("A", 1.0);
    setParameter("Q", 1.0);
    writeFile("old.mat", old);
    EXPECT_EQ(runLines(std::string(line) + "\n"), 1);
    EXPECT_EQ(lastMessage(), "Expected separator: colon, semicolon or end of line.");
    EXPECT_EQ(matbytes::readFile("old.mat"), old);
    EXPECT_EQ(entries(), std::vector<std::string>{"old.mat"});
    EXPECT_EQ(*parameter("Q").Scalar(), 1.0);
    EXPECT_FALSE(hasParameter("R"));
    EXPECT_EQ(needsRebuild, 0);
  }
  // Followed by a separator, the same statements act.
  resetWorkspace();
  setParameter("A", 1.0);
  EXPECT_EQ(runLines("import old Q R; export \"out.dat\" A Q, Q\n"), 0);
  EXPECT_EQ(*parameter("Q").Scalar(), 5.0);
  EXPECT_EQ(namesIn("out.dat"), (std::vector<std::string>{"A", "Q"}));
}

TEST_F(ImportExportTest, ExportWritesTheNamedValuesInOrder) {
  setParameter("X", matrixValue(2, 3, {1, 2, 3, 4, 5, 6}));
  setParameter("p", 3.0);
  declare("V", kSym, matrixValue(2, 2, {1, 7, 7, 2}));
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("results")) + " X p V, y"), 0);
  EXPECT_EQ(peekNonSpace(), kComma);
  EXPECT_EQ(namesIn(file("results.mat")), (std::vector<std::string>{"X", "p", "V"}));
  const GenMatrixD x = readBack(file("results.mat"), "X");
  EXPECT_EQ(x.Rows(), 2);
  EXPECT_EQ(elements(Value(x)), (std::vector<double>{1, 4, 2, 5, 3, 6}));
  const GenMatrixD p = readBack(file("results.mat"), "p");
  EXPECT_EQ(p.Rows(), 1);
  EXPECT_EQ(p.Cols(), 1);
  EXPECT_EQ(p(0, 0), 3.0);
  EXPECT_EQ(elements(Value(readBack(file("results.mat"), "V"))), (std::vector<double>{1, 7, 7, 2}));
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(needsRebuild, 0);
}

// A name given again is written once, at its last place, the others
// keeping their order.
TEST_F(ImportExportTest, ExportWritesANameGivenTwiceAtItsLastPlace) {
  setParameter("p", matrixValue(1, 2, {1, 2}));
  setParameter("q", 3.0);
  setParameter("r", 4.0);
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("twice")) + " p q p r q"), 0);
  EXPECT_EQ(namesIn(file("twice.mat")), (std::vector<std::string>{"p", "r", "q"}));
  EXPECT_EQ(elements(Value(readBack(file("twice.mat"), "p"))), (std::vector<double>{1, 2}));
  EXPECT_EQ(elements(Value(readBack(file("twice.mat"), "q"))), std::vector<double>{3});
  EXPECT_EQ(entries(), std::vector<std::string>{"twice.mat"});
  EXPECT_EQ(output.str(), "");
}

// export writes into a new file and knows which names it writes, so it
// never goes through the records already written for an earlier one of a
// name (once per record, that read about n * n / 2 headers for n values).
TEST_F(ImportExportTest, ExportOfManyParametersReadsNoRecordBack) {
  constexpr int kParameters = 2000;
  for (int k = 0; k < kParameters; ++k) setParameter("p" + std::to_string(k), double(k));
  const long before = fiHeaderReads();
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("many"))), 0);
  EXPECT_EQ(fiHeaderReads() - before, 0);
  // The reserved parameters beside them; ans is empty.
  EXPECT_EQ(namesIn(file("many.mat")).size(), std::size_t(kParameters + 6));
  EXPECT_EQ(elements(Value(readBack(file("many.mat"), "p1999"))), std::vector<double>{1999});
}

TEST_F(ImportExportTest, ExportWithoutNamesWritesEveryNonEmptyParameterSorted) {
  setParameter("b", 1.0);
  setParameter("a", matrixValue(1, 2, {1, 2}));
  setParameter("B", 2.0);
  declare("v", kScl, Value(5.0));
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("all"))), 0);
  EXPECT_EQ(namesIn(file("all.mat")),
            (std::vector<std::string>{"B", "a", "b", "display", "eps", "fact", "max_iter", "noprog", "rank_eps"}));
}

TEST_F(ImportExportTest, ExportKeepsANameWithADot) {
  setParameter("X", 1.0);
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("out.dat")) + " X"), 0);
  EXPECT_EQ(namesIn(file("out.dat")), std::vector<std::string>{"X"});
  struct stat status;
  EXPECT_NE(stat(file("out.dat.mat").c_str(), &status), 0);
}

TEST_F(ImportExportTest, ExportReplacesAnExistingFile) {
  writeFile(file("old.mat"), doubles("gone", Matrix{1, 1, {1}, {}}));
  setParameter("X", 1.0);
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("old")) + " X"), 0);
  EXPECT_EQ(namesIn(file("old.mat")), std::vector<std::string>{"X"});
  EXPECT_EQ(entries(), std::vector<std::string>{"old.mat"});
}

// A target whose name is as long as a folder takes is created, replaced
// and read back.
TEST_F(ImportExportTest, ExportAndImportTargetsWithTheLongestNames) {
  for (const std::size_t length : {250, 255}) {
    SCOPED_TRACE(length);
    const std::string stem(length - 4, 'n');
    setParameter("X", matrixValue(1, 2, {1, 2}));
    EXPECT_EQ(run(exportStatement, "export " + quoted(file(stem)) + " X"), 0);
    setParameter("X", matrixValue(1, 2, {3, 4}));
    EXPECT_EQ(run(exportStatement, "export " + quoted(file(stem)) + " X"), 0);
    resetWorkspace();
    EXPECT_EQ(run(importStatement, "import " + quoted(file(stem))), 0);
    EXPECT_EQ(elements(parameter("X")), (std::vector<double>{3, 4}));
    EXPECT_EQ(entries(), std::vector<std::string>{stem + ".mat"});
    std::remove(file(stem + ".mat").c_str());
  }
  EXPECT_EQ(output.str(), "");
}

// Names no record can hold are found before any file is touched: the file
// that the export was to replace keeps its bytes, and no file is left
// where there was none.
TEST_F(ImportExportTest, ExportRefusesNamesNoRecordCanHoldBeforeTouchingAFile) {
  const std::string old = doubles("kept", Matrix{1, 2, {1, 2}, {}});
  const struct {
    const char* what;
    const char* badName;
    const char* names;  // after "export <file>"
    const char* message;
  } cases[] = {
      {"20 characters, named", "abcdefghijklmnopqrst", " abcdefghijklmnopqrs abcdefghijklmnopqrst",
       "Name 'abcdefghijklmnopqrst' is too long for a matlab file."},
      {"20 characters, every parameter", "abcdefghijklmnopqrst", "",
       "Name 'abcdefghijklmnopqrst' is too long for a matlab file."},
      {"empty, every parameter", "", "", "Name '' is not valid in a matlab file."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    resetWorkspace();
    setParameter("abcdefghijklmnopqrs", 1.0);
    setParameter(c.badName, 2.0);
    writeFile(file("old.mat"), old);
    EXPECT_EQ(run(exportStatement, "export " + quoted(file("old")) + c.names), 1);
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_EQ(matbytes::readFile(file("old.mat")), old);
    EXPECT_EQ(run(exportStatement, "export " + quoted(file("new")) + c.names), 1);
    EXPECT_EQ(entries(), std::vector<std::string>{"old.mat"});
  }
  // An empty value is not written, so its name is no obstacle.
  setParameter("", Value());
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("new"))), 0);
  EXPECT_EQ(namesIn(file("new.mat")).front(), "abcdefghijklmnopqrs");
}

TEST_F(ImportExportTest, ExportReportsAFileThatCannotBeCreated) {
  setParameter("X", 1.0);
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("none/x")) + " X"), 1);
  EXPECT_EQ(lastMessage(), "Can't open matlab file \"" + file("none/x.mat") + "\".");
  ASSERT_EQ(mkdir(file("d.mat").c_str(), 0755), 0);
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("d")) + " X"), 1);
  EXPECT_EQ(lastMessage(), "Can't open matlab file \"" + file("d.mat") + "\".");
  struct stat status;
  EXPECT_EQ(stat(file("d.mat").c_str(), &status), 0);
  EXPECT_EQ(entries(), std::vector<std::string>{"d.mat"});
}

// A write that fails on the way (here the file-size limit, as a full disk
// would) leaves the file it was to replace exactly as it was, or no file
// where there was none, and nothing else behind.
TEST_F(ImportExportTest, AFailedExportLeavesTheOldFileAsItWas) {
  setParameter("small", 1.0);
  setParameter("big", Value(100, 100, 0.5));
  const std::string old = doubles("kept", Matrix{1, 1, {3}, {}});
  writeFile(file("full.mat"), old);
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved;
  limit.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  const int replacing = run(exportStatement, "export " + quoted(file("full")) + " small big");
  const std::string replacingMessage = lastMessage();
  const int creating = run(exportStatement, "export " + quoted(file("fresh")) + " small big");
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(replacing, 1);
  EXPECT_EQ(replacingMessage, "Can't write matlab file \"" + file("full.mat") + "\".");
  EXPECT_EQ(creating, 1);
  EXPECT_EQ(lastMessage(), "Can't write matlab file \"" + file("fresh.mat") + "\".");
  EXPECT_EQ(matbytes::readFile(file("full.mat")), old);
  EXPECT_EQ(entries(), std::vector<std::string>{"full.mat"});
}

// Ctrl-C at the prompt stops an export after the record being written, and
// the export then ends as a failed one does.
TEST_F(ImportExportTest, AnInterruptedExportLeavesTheOldFileAsItWas) {
  setParameter("small", 1.0);
  setParameter("big", Value(100, 100, 0.5));
  const std::string old = doubles("kept", Matrix{1, 1, {3}, {}});
  writeFile(file("full.mat"), old);
  requestInterrupt();
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("full")) + " small big"), 1);
  EXPECT_EQ(lastMessage(), "Interrupted.");
  EXPECT_FALSE(interruptRequested());
  clearInterrupt();
  EXPECT_EQ(matbytes::readFile(file("full.mat")), old);
  EXPECT_EQ(entries(), std::vector<std::string>{"full.mat"});
}

TEST_F(ImportExportTest, ValuesSurviveAnExportAndImportExactly) {
  const double inf = std::numeric_limits<double>::infinity();
  std::map<std::string, Value> stored;
  stored["odd"] = matrixValue(2, 3, {0.1, -0.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(), 5e-324});
  // Large enough to be written as integers, but for the negative zeros.
  Value ints(200, 100, 0.0);
  for (int k = 0; k < 20000; ++k) ints.Matrix()->Data()[k] = k % 3 == 0 ? -32768 : k % 251;
  stored["ints"] = ints;
  stored["negzero"] = Value(101, 100, -0.0);
  for (const auto& entry : stored) setParameter(entry.first, entry.second);
  EXPECT_EQ(run(exportStatement, "export " + quoted(file("round")) + " odd ints negzero"), 0);
  resetWorkspace();
  EXPECT_EQ(run(importStatement, "import " + quoted(file("round"))), 0);
  for (const auto& entry : stored) {
    SCOPED_TRACE(entry.first);
    const std::vector<double> got = elements(parameter(entry.first)), want = elements(entry.second);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k) ASSERT_TRUE(sameNumber(got[k], want[k])) << k;
  }
}

// One record of the file the mutation test starts from, with the real
// part an import must give for it.
struct KnownRecord {
  std::string name;
  std::string bytes;
  Matrix value;
};

// Records of every kind the reader knows; the sparse one, which import
// refuses, comes last.
std::vector<KnownRecord> mutationBase() {
  using matbytes::record;
  const Matrix a{2, 3, {1.5, -2, 0.25, 4, 1e300, -0.0}, {}};
  const Matrix n{2, 2, {-32768, 7, 32767, -1}, {}};
  const Matrix vd{1, 2, {3.5, -0.125}, {}};
  const Matrix vg{2, 1, {1e-300, 6}, {}};
  const Matrix cr{1, 1, {-1024.5}, {}};
  const Matrix t{1, 3, {'a', 'b', 'c'}, {}};
  const Matrix z{1, 2, {1, 3}, {2, -4}};
  const Matrix e{0, 0, {}, {}};
  const Matrix s1{1, 2, {0.5, -3}, {}};
  const Matrix u{3, 1, {0, 300, 65535}, {}};
  const Matrix sp{2, 3, {1, 2, 1, 2, 5, 0}, {}};
  return {{"A", record(matbytes::kBE, 0, 0, 0, "A", a), a},
          {"n", record(matbytes::kLE, 1, 3, 0, "n", n), n},
          {"vd", record(matbytes::kVaxD, 0, 0, 0, "vd", vd), vd},
          {"vg", record(matbytes::kVaxG, 1, 0, 0, "vg", vg), vg},
          {"cr", record(matbytes::kCray, 0, 0, 0, "cr", cr), cr},
          {"t", record(matbytes::kLE, 0, 5, 1, "t", t), t},
          {"z", record(matbytes::kBE, 0, 0, 0, "z", z), Matrix{1, 2, z.real, {}}},
          {"e", record(matbytes::kBE, 0, 0, 0, "e", e), e},
          {"s1", record(matbytes::kBE, 0, 1, 0, "s1", s1), s1},
          {"u", record(matbytes::kLE, 0, 4, 0, "u", u), u},
          {"sp", record(matbytes::kBE, 0, 0, 2, "sp", sp), sp}};
}

// Changes bytes the way damaged or hostile files differ from good ones and
// returns the offset of the first byte that may differ.
std::size_t mutate(std::string& bytes, std::mt19937& random) {
  auto below = [&random](std::size_t n) { return std::size_t(random() % n); };
  // Header values at the edges of what the reader accepts.
  const std::uint32_t edges[] = {0, 1, 2, 19, 20, 21, 9999, 10000, 1060, 5000, 4010, 100000001, 65536,
                                 0x7fffffff, 0x80000000u, 0xffffffffu, 0x00ffff00u};
  std::size_t first = bytes.size();
  const int changes = 1 + int(below(3));
  for (int c = 0; c < changes && !bytes.empty(); ++c) {
    const std::size_t at = below(bytes.size());
    switch (below(5)) {
      case 0:
        bytes[at] = static_cast<char>(random());
        break;
      case 1:
        bytes[at] = static_cast<char>(bytes[at] ^ (1 << below(8)));
        break;
      case 2: {
        std::string word;
        matbytes::putWord(word, edges[below(sizeof edges / sizeof edges[0])], below(2) == 0);
        bytes.replace(at, std::min(word.size(), bytes.size() - at), word.substr(0, bytes.size() - at));
        break;
      }
      case 3:
        bytes.resize(at);
        break;
      default:
        if (below(2) == 0) {
          bytes.erase(at, 1 + below(8));
        } else {
          bytes.insert(at, std::string(1 + below(8), static_cast<char>(random())));
        }
        break;
    }
    first = std::min(first, at);
  }
  return first;
}

// Random damage anywhere in a file (run it under the sanitizer build): the
// import never fails in any other way than by its reports, never changes
// the file, and every record wholly in front of the first damaged byte
// arrives exactly.
TEST_F(ImportExportTest, DamagedFilesImportEveryRecordInFrontOfTheDamage) {
  const std::vector<KnownRecord> base = mutationBase();
  std::string original;
  std::vector<std::size_t> ends;
  for (const KnownRecord& r : base) {
    original += r.bytes;
    ends.push_back(original.size());
  }
  std::mt19937 random(20240611);
  const std::string path = file("m.mat");
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string bytes = original;
    const std::size_t firstChanged = mutate(bytes, random);
    writeFile(path, bytes);
    resetWorkspace();
    const int status = run(importStatement, "import " + quoted(path));
    EXPECT_TRUE(status == 0 || status == 1);
    EXPECT_EQ(matbytes::readFile(path), bytes);
    for (std::size_t k = 0; k < base.size() && ends[k] <= firstChanged; ++k) {
      const KnownRecord& r = base[k];
      if (r.name == "sp") continue;
      SCOPED_TRACE(r.name);
      ASSERT_TRUE(hasParameter(r.name));
      const std::vector<double> got = elements(parameter(r.name));
      ASSERT_EQ(got.size(), r.value.real.size());
      for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(sameNumber(got[i], r.value.real[i])) << i;
    }
  }
}

// Runs the fixture script with arguments; its exit status.
int runFixtureScript(const std::string& arguments) {
  const std::string command = std::string(MAT_FIXTURE_PYTHON) + " " + MAT_FIXTURE_SCRIPT + " " + arguments;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ExpectedMatrix {
  std::string file;
  std::string name;
  int rows;
  int cols;
  std::vector<double> values;
};

std::vector<ExpectedMatrix> readExpected(const std::string& path) {
  std::vector<ExpectedMatrix> list;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ExpectedMatrix e;
    if (!(fields >> e.file >> e.name >> e.rows >> e.cols)) continue;
    std::string text;
    while (fields >> text) e.values.push_back(std::strtod(text.c_str(), nullptr));
    list.push_back(e);
  }
  return list;
}

std::string hexText(double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", x);
  return text;
}

class FixtureFileTest : public ImportExportTest {
 protected:
  // Imports each file that the expected-values list names, in the scratch
  // directory, and compares every listed matrix with the parameter it
  // became, bit for bit; exactly the matrices named in complexNames warn
  // about their imaginary parts.
  void expectImportsAsListed(const std::vector<std::string>& complexNames) {
    const std::vector<ExpectedMatrix> expected = readExpected(file("expected.txt"));
    ASSERT_FALSE(expected.empty());
    std::map<std::string, std::vector<const ExpectedMatrix*>> byFile;
    for (const ExpectedMatrix& e : expected) byFile[e.file].push_back(&e);
    for (const auto& entry : byFile) {
      SCOPED_TRACE(entry.first);
      resetWorkspace();
      EXPECT_EQ(run(importStatement, "import " + quoted(file(entry.first))), 0) << output.str();
      for (const ExpectedMatrix* e : entry.second) {
        SCOPED_TRACE(e->name);
        const bool complex = std::find(complexNames.begin(), complexNames.end(), e->name) != complexNames.end();
        EXPECT_EQ(printed("#> Warning at line 1: Matrix '" + e->name + "' contains imaginary part."), complex);
        ASSERT_TRUE(hasParameter(e->name));
        const Value& v = parameter(e->name);
        if (e->values.empty()) {
          EXPECT_TRUE(v.IsEmpty());
          continue;
        }
        EXPECT_EQ(v.Rows(), e->rows);
        EXPECT_EQ(v.Cols(), e->cols);
        const std::vector<double> got = elements(v);
        ASSERT_EQ(got.size(), e->values.size());
        for (std::size_t k = 0; k < got.size(); ++k) EXPECT_TRUE(sameNumber(got[k], e->values[k])) << k;
      }
    }
  }
};

// Files of every number format, precision and element order, encoded by
// the fixture script (and, where SciPy is installed, checked by its
// reader there).
TEST_F(FixtureFileTest, ImportReadsEveryFormatPrecisionAndOrder) {
  ASSERT_EQ(runFixtureScript("formats " + dir.path()), 0);
  expectImportsAsListed({"rcomplex"});
}

// The exchange with SciPy, the independent implementation of the format.
class ScipyInteropTest : public FixtureFileTest {
 protected:
  void SetUp() override {
    FixtureFileTest::SetUp();
    // The build chose a Python that imported SciPy; 77 says it no longer
    // does, 127 that it is gone.
    ASSERT_EQ(runFixtureScript("probe"), 0) << MAT_FIXTURE_PYTHON << " cannot import SciPy: install python3-scipy";
  }
};

TEST_F(ScipyInteropTest, ImportReadsWhatScipyWrites) {
  ASSERT_EQ(runFixtureScript("write " + dir.path()), 0);
  expectImportsAsListed({"c"});
}

// SciPy, like GNU Octave, writes names of any length; its sparse matrices
// are records in triplet form.
TEST_F(ScipyInteropTest, ImportPassesOverScipysLongNamesAndSparseMatrices) {
  ASSERT_EQ(runFixtureScript("skips " + dir.path()), 0);
  EXPECT_EQ(run(importStatement, "import " + quoted(file("skips.mat"))), 0);
  EXPECT_EQ(output.str(),
            "#> Warning at line 1: Skipping matrix 'a_name_longer_than_nineteen': name too long.\n"
            "#> Warning at line 1: Skipping sparse matrix 'sp'.\n");
  EXPECT_EQ(*parameter("first").Scalar(), 1.0);
  EXPECT_EQ(*parameter("last").Scalar(), 3.0);
}

TEST_F(ScipyInteropTest, ScipyReadsWhatExportWrites) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Stored {
    std::string name;
    Value value;
  };
  std::vector<Stored> stored = {
      {"fractions", matrixValue(2, 3, {0.1, -0.0, 1e-310, -2.5, 1e300, 3.0})},
      {"special", matrixValue(1, 3, {inf, -inf, nan})},
      {"scalar", Value(-7.75)},
  };
  // One large integral matrix per precision the writer may choose.
  const double ranges[][2] = {{0, 255}, {0, 65535}, {-32768, 32767}, {-2147483648.0, 2147483647.0}, {0, 4294967296.0}};
  for (int r = 0; r < 5; ++r) {
    Value big(100, 101, 0.0);
    for (int k = 0; k < 10100; ++k) big.Matrix()->Data()[k] = k % 2 ? ranges[r][0] : ranges[r][1] - k % 7;
    stored.push_back({"big" + std::to_string(r), big});
  }
  std::string names;
  std::ofstream expected(file("expected.txt"));
  for (const Stored& s : stored) {
    setParameter(s.name, s.value);
    names += " " + s.name;
    expected << "- " << s.name << " " << s.value.Rows() << " " << s.value.Cols();
    for (double x : elements(s.value)) expected << " " << hexText(x);
    expected << "\n";
  }
  declare("V", kGen, matrixValue(1, 2, {1.0 / 3, 2}));
  expected << "- V 1 2 " << hexText(1.0 / 3) << " " << hexText(2) << "\n";
  expected.close();
  ASSERT_EQ(run(exportStatement, "export " + quoted(file("out")) + names + " V"), 0);
  EXPECT_EQ(runFixtureScript("check " + file("out.mat") + " " + file("expected.txt")), 0);

  // Every non-empty parameter, in sorted order.
  std::ofstream every(file("every.txt"));
  for (const std::string& name : parameterTable.SortedKeys(1)) {
    const Value& v = parameter(name);
    if (v.IsEmpty()) continue;
    every << "- " << name << " " << v.Rows() << " " << v.Cols();
    for (double x : elements(v)) every << " " << hexText(x);
    every << "\n";
  }
  every.close();
  ASSERT_EQ(run(exportStatement, "export " + quoted(file("every"))), 0);
  EXPECT_EQ(runFixtureScript("check " + file("every.mat") + " " + file("every.txt")), 0);
}

}  // namespace
