// vexa-reg run as a program against a fresh store per test.
#include "platform/base/Path.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Checkers.h"

namespace {

struct Result {
  int exit = -1;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class VexaReg : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = vexa::base::MakeTempDir("", "vexa-reg-tool-");
    ASSERT_FALSE(root_.empty());
    setenv("VEXA_REGISTRY_DIR", (root_ + "/store").c_str(), 1);
    unsetenv("VEXA_PREFIX");
  }
  void TearDown() override {
    unsetenv("VEXA_REGISTRY_DIR");
    vexa::base::RemoveAll(root_);
  }

  // Runs vexa-reg with `args`; `input` is its stdin (none: an empty stdin).
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string in = root_ + "/in", out = root_ + "/out", err = root_ + "/err";
    EXPECT_TRUE(vexa::base::WriteFileAtomic(in, input));
    std::string cmd = Quote(std::string(VEXA_BUILD_DIR) + "/bin/vexa-reg");
    for (const std::string& a : args) cmd += " " + Quote(a);
    cmd += " <" + Quote(in) + " >" + Quote(out) + " 2>" + Quote(err);
    Result r;
    vexa::testsupport::ShellOutput(cmd, &r.exit);
    vexa::base::ReadFile(out, &r.out);
    vexa::base::ReadFile(err, &r.err);
    return r;
  }

  std::string root_;
};

}  // namespace

TEST_F(VexaReg, QueriesTheShippedProductPath) {
  const std::string share =
      std::filesystem::canonical(std::string(VEXA_BUILD_DIR) + "/share/vexa").string() + "/";
  const std::string key = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";
  const Result r = Run({"query", "HKLM\\" + key, "/v", "APP_PATH"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\" + key + "\n    APP_PATH    REG_SZ    " + share + "\n\n");
}

// Each row runs after the ones before it, in the same store.
TEST_F(VexaReg, CommandsInSequence) {
  const std::string T = "HKCU\\Software\\T";
  const struct {
    std::vector<std::string> args;
    const char* input;
    int exit;
    const char* out;  // a piece of stdout ("" = anything)
    const char* err;  // a piece of stderr ("" = must be empty)
  } rows[] = {
      {{"add", T, "/v", "Name", "/d", "hello world"}, "", 0, "completed successfully", ""},
      {{"query", "hkcu\\software\\t", "/v", "NAME"}, "", 0, "    Name    REG_SZ    hello world\n", ""},
      // Overwriting asks first; no answer is No, "yes" goes ahead.
      {{"add", T, "/v", "Name", "/d", "second"}, "", 1, "overwrite (Yes/No)?", "cancelled"},
      {{"add", T, "/v", "Name", "/d", "second"}, "n\n", 1, "", "cancelled"},
      {{"add", T, "/v", "Name", "/d", "second"}, "yes\n", 0, "", ""},
      {{"query", T, "/v", "Name"}, "", 0, "REG_SZ    second\n", ""},
      {{"add", "HKEY_CURRENT_USER\\Software\\T", "/ve", "/d", "dflt"}, "", 0, "", ""},
      {{"add", T, "/v", "D", "/t", "REG_DWORD", "/d", "4294967295"}, "", 0, "", ""},
      {{"add", T, "/v", "H", "/t", "reg_dword", "/d", "0x1F"}, "", 0, "", ""},
      {{"add", T, "/v", "B", "/t", "REG_BINARY", "/d", "00ff10"}, "", 0, "", ""},
      {{"add", T, "/v", "M", "/t", "REG_MULTI_SZ", "/d", "one\\0two words"}, "", 0, "", ""},
      {{"add", T, "/v", "E", "/t", "REG_EXPAND_SZ", "/d", "%HOME%/x"}, "", 0, "", ""},
      {{"add", T + "\\Sub", "/f"}, "", 0, "", ""},
      {{"query", T},
       "",
       0,
       "\nHKEY_CURRENT_USER\\Software\\T\n"
       "    Name    REG_SZ    second\n"
       "    (Default)    REG_SZ    dflt\n"
       "    D    REG_DWORD    0xffffffff\n"
       "    H    REG_DWORD    0x1f\n"
       "    B    REG_BINARY    00FF10\n"
       "    M    REG_MULTI_SZ    one\\0two words\n"
       "    E    REG_EXPAND_SZ    %HOME%/x\n"
       "\nHKEY_CURRENT_USER\\Software\\T\\Sub\n",
       ""},
      // Refused data changes nothing.
      {{"add", T, "/v", "D", "/t", "REG_DWORD", "/d", "4294967296", "/f"}, "", 1, "", "REG_DWORD"},
      {{"add", T, "/v", "D", "/t", "REG_DWORD", "/d", "-1", "/f"}, "", 1, "", "REG_DWORD"},
      {{"add", T, "/v", "D", "/t", "REG_DWORD", "/d", "0x100000000", "/f"}, "", 1, "", "REG_DWORD"},
      {{"add", T, "/v", "D", "/t", "REG_DWORD", "/d", "12ab", "/f"}, "", 1, "", "REG_DWORD"},
      {{"add", T, "/v", "B", "/t", "REG_BINARY", "/d", "abc", "/f"}, "", 1, "", "REG_BINARY"},
      {{"add", T, "/v", "X", "/t", "REG_QWORD", "/d", "1"}, "", 1, "", "invalid type"},
      {{"add", T, "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b", "/f"}, "", 1, "", "empty item"},
      {{"query", T, "/v", "D"}, "", 0, "REG_DWORD    0xffffffff\n", ""},
      // Deleting asks too.
      {{"delete", T, "/v", "Name"}, "", 1, "Delete the registry value Name (Yes/No)?", "cancelled"},
      {{"delete", T, "/v", "Name", "/f"}, "", 0, "", ""},
      {{"query", T, "/v", "Name"}, "", 1, "", "no such value"},
      {{"delete", T, "/v", "Name", "/f"}, "", 1, "", "no such value"},
      {{"delete", T}, "y\n", 0, "", ""},
      {{"query", T}, "", 1, "", "no such key"},
      // Shipped defaults cannot be deleted, and bad command lines are refused.
      {{"delete", "HKLM\\SOFTWARE\\Tervane", "/f"}, "", 1, "", "shipped default"},
      {{"delete", "HKLM\\SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion", "/v", "Log Size", "/f"},
       "",
       1,
       "",
       "shipped default"},
      {{"delete", "HKLM\\SOFTWARE\\Nowhere", "/f"}, "", 1, "", "no such key"},
      {{"query", "HKXX\\Software"}, "", 1, "", "HKLM, HKCU or HKCR"},
      {{"frobnicate", "HKCU\\Software"}, "", 1, "", "unknown command"},
      {{"query", "HKCU\\Software", "/d", "x"}, "", 1, "", "unexpected argument"},
  };
  for (const auto& row : rows) {
    std::string line;
    for (const std::string& a : row.args) line += a + " ";
    SCOPED_TRACE(line);
    const Result r = Run(row.args, row.input);
    EXPECT_EQ(r.exit, row.exit) << r.out << r.err;
    EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
    if (*row.err) {
      EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
      EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

TEST_F(VexaReg, BrokenStoreFileIsReportedWithItsLine) {
  ASSERT_TRUE(vexa::base::MakeDirs(root_ + "/store"));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(root_ + "/store/HKCU.reg",
                                          "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:\n"));
  const Result r = Run({"add", "HKCU\\A", "/v", "y", "/d", "1"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("HKCU.reg line 3"), std::string::npos) << r.err;
}

// A hive file that cannot be parsed or must not be replaced: the tool says
// which file, which line, what is wrong, and changes nothing.
TEST_F(VexaReg, BrokenOrUnreplaceableHiveFilesAreReported) {
  const std::string store = root_ + "/store";
  ASSERT_TRUE(vexa::base::MakeDirs(store));
  const std::string hive = store + "/HKLM.reg";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(hive, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"unterminated\n"));
  struct Row {
    std::vector<std::string> args;
    std::string error;
  } rows[] = {
      {{"query", "HKLM\\Software"},
       "ERROR: unreadable or malformed registry file: " + hive + " line 4: unterminated string\n"},
      {{"add", "HKLM\\Software", "/v", "b", "/d", "x", "/f"},
       "ERROR: unreadable or malformed registry file: " + hive + " line 4: unterminated string\n"},
  };
  for (const Row& r : rows) {
    const Result res = Run(r.args);
    EXPECT_EQ(res.exit, 1);
    EXPECT_EQ(res.err, r.error);
  }
  std::string text;
  ASSERT_TRUE(vexa::base::ReadFile(hive, &text));
  EXPECT_EQ(text, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"unterminated\n");

  // A hive file that is a link is not replaced by a file.
  const std::string real = root_ + "/real.reg";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(real, "REGEDIT4\n"));
  std::filesystem::remove(hive);
  std::filesystem::create_symlink(real, hive);
  const Result res = Run({"add", "HKLM\\Software\\X", "/v", "b", "/d", "x", "/f"});
  EXPECT_EQ(res.exit, 1);
  EXPECT_EQ(res.err, "ERROR: registry file could not be written: '" + hive +
                         "' is a symbolic link; it is not replaced (name the file it points to)\n");
  EXPECT_TRUE(std::filesystem::is_symlink(hive));
  ASSERT_TRUE(vexa::base::ReadFile(real, &text));
  EXPECT_EQ(text, "REGEDIT4\n");
}
