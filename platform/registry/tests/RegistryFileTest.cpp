// Reading hive files: hand-written text, and files that are broken in
// one way or another (each fixture is named for its fault).
#include "platform/registry/tests/RegistryTestUtil.h"

#include <sys/stat.h>

using namespace vexa::reg;

namespace {
std::string Fixture(const std::string& name) {
  std::string text;
  EXPECT_TRUE(vexa::base::ReadFile(std::string(VEXA_TEST_SOURCE_DIR) + "/tests/data/" + name, &text))
      << name;
  return text;
}

struct BrokenFile {
  const char* name;
  int line;  // where the reader must say the fault is
};
const BrokenFile kBroken[] = {
    {"missing-header.reg", 1},       {"unterminated-string.reg", 4},    {"dword-too-long.reg", 3},
    {"value-before-key.reg", 2},     {"hex-continues-past-end.reg", 3}, {"unknown-root.reg", 2},
    {"bad-hex-byte.reg", 3},         {"unclosed-key.reg", 2},           {"short-hex4-dword.reg", 3},
    {"unsupported-hex-type.reg", 3}, {"text-after-string.reg", 3},
};
}  // namespace

TEST_F(RegistryTest, ReadsHandWrittenText) {
  WriteStoreFile("HKLM.reg",
                 "\xEF\xBB\xBFREGEDIT4\r\n"
                 "; comment before the first key\r\n"
                 "\r\n"
                 "[HKEY_LOCAL_MACHINE\\Software\\Hand]   ; trailing comment\r\n"
                 "@=\"default\"\r\n"
                 "\"Spaced\" = \"around the equals\"\r\n"
                 "\"Upper\"=DWORD:0000ABCD\r\n"
                 "\"Short\"=dword:7\r\n"
                 "\"Wrapped\"=hex:01,02,\\\r\n"
                 "    03,04\r\n"
                 "\"Dw\"=hex(4):78,56,34,12\r\n"
                 "\"Gone\"=\"x\"\r\n"
                 "\"Gone\"=-\r\n"
                 "[HKLM\\Software\\Hand\\Child]\r\n"
                 "[-HKEY_LOCAL_MACHINE\\Software\\Hand\\Child]\r\n"
                 "[HKEY_LOCAL_MACHINE\\Software\\Hand\\Empty]\r\n");
  const Hive lm = Hive::LocalMachine;
  EXPECT_EQ(GetString(lm, "Software\\Hand", ""), "default");
  EXPECT_EQ(GetString(lm, "Software\\Hand", "Spaced"), "around the equals");
  EXPECT_EQ(GetDword(lm, "Software\\Hand", "Upper"), 0xABCDu);
  EXPECT_EQ(GetDword(lm, "Software\\Hand", "Short"), 7u);
  EXPECT_EQ(GetDword(lm, "Software\\Hand", "Dw"), 0x12345678u);
  Value v;
  ASSERT_EQ(GetValue(lm, "Software\\Hand", "Wrapped", &v), Status::Ok);
  EXPECT_EQ(v, Value::Binary({1, 2, 3, 4}));
  EXPECT_EQ(GetValue(lm, "Software\\Hand", "Gone", &v), Status::NoValue);
  EXPECT_FALSE(KeyExists(lm, "Software\\Hand\\Child"));
  EXPECT_TRUE(KeyExists(lm, "Software\\Hand\\Empty"));
}

TEST_F(RegistryTest, BrokenHiveFileIsAnErrorAndIsNeverOverwritten) {
  for (const BrokenFile& b : kBroken) {
    SCOPED_TRACE(b.name);
    const std::string text = Fixture(b.name);
    WriteStoreFile("HKLM.reg", text);
    Value v;
    EXPECT_EQ(GetValue(Hive::LocalMachine, "Software", "x", &v), Status::BadFile);
    EXPECT_NE(LastError().find("HKLM.reg line " + std::to_string(b.line) + ":"), std::string::npos)
        << LastError();
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software"));
    EXPECT_EQ(SetValue(Hive::LocalMachine, "Software", "x", Value::Dword(1)), Status::BadFile);
    EXPECT_EQ(StoreFile("HKLM.reg"), text);
    // The other hive is still usable.
    EXPECT_EQ(SetValue(Hive::CurrentUser, "Software", "x", Value::Dword(1)), Status::Ok);
    EXPECT_EQ(GetDword(Hive::CurrentUser, "Software", "x"), 1u);
  }
}

TEST_F(RegistryTest, BrokenDefaultsFileIsAnError) {
  for (const BrokenFile& b : kBroken) {
    SCOPED_TRACE(b.name);
    UseDefaults({{"50-broken.reg", Fixture(b.name)}});
    Value v;
    EXPECT_EQ(GetValue(Hive::LocalMachine, "Software", "x", &v), Status::BadFile);
    EXPECT_NE(LastError().find("50-broken.reg line " + std::to_string(b.line) + ":"), std::string::npos)
        << LastError();
  }
}

TEST_F(RegistryTest, UnreadableOrForeignFilesAreErrors) {
  // A key of another hive inside a hive file.
  WriteStoreFile("HKLM.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n\"x\"=\"y\"\n");
  EXPECT_EQ(GetString(Hive::CurrentUser, "Software", "x"), std::nullopt);
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software"));
  EXPECT_NE(LastError().find("another hive"), std::string::npos) << LastError();

  // A UTF-16 export.
  const char16_t utf16[] = u"\xFEFFREGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n";
  WriteStoreFile("HKLM.reg", std::string(reinterpret_cast<const char*>(utf16), sizeof utf16 - 2));
  EXPECT_EQ(DeleteValue(Hive::LocalMachine, "Software", "x"), Status::BadFile);

  // Something that is not a file at all.
  ASSERT_EQ(::unlink((dir_ + "/HKLM.reg").c_str()), 0);
  ASSERT_EQ(::mkdir((dir_ + "/HKLM.reg").c_str(), 0755), 0);
  EXPECT_EQ(CreateKey(Hive::LocalMachine, "Software\\New"), Status::BadFile);
  EXPECT_NE(LastError().find("not a regular file"), std::string::npos) << LastError();

  // An empty file is an empty hive.
  vexa::base::RemoveAll(dir_ + "/HKLM.reg");
  WriteStoreFile("HKLM.reg", "");
  EXPECT_EQ(SetValue(Hive::LocalMachine, "Software", "x", Value::Dword(5)), Status::Ok);
  EXPECT_EQ(GetDword(Hive::LocalMachine, "Software", "x"), 5u);
}

TEST_F(RegistryTest, UnwritableStoreIsAnIoError) {
  // The writable folder's place is taken by a file.
  const std::string blocked = root_ + "/blocked";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(blocked, "x"));
  setenv("VEXA_REGISTRY_DIR", (blocked + "/store").c_str(), 1);
  EXPECT_EQ(SetValue(Hive::CurrentUser, "Software", "x", Value::Dword(1)), Status::IoError);
  EXPECT_EQ(GetDword(Hive::CurrentUser, "Software", "x"), std::nullopt);
}
