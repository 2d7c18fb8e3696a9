// The calls in the shape of the Windows registry API: handles, sizes,
// ERROR_* codes.
#include "platform/registry/tests/RegistryTestUtil.h"

#include <cstring>

using namespace vexa::reg;

namespace {
// An open key that closes itself.
struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};
}  // namespace

TEST_F(RegistryTest, QueryGivesSizesTypesAndMoreData) {
  Key k;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Win", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &k.h, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

  const DWORD seven = 7;
  const char multi[] = "ab\0c\0";  // with the literal's own NUL: "ab", "c", end
  const BYTE bin[] = {0xde, 0xad, 0xbe, 0xef, 0x00};
  ASSERT_EQ(RegSetValueEx(k.h, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(k.h, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%X%"), 3),
            ERROR_SUCCESS);  // no NUL given: stored with one
  ASSERT_EQ(RegSetValueEx(k.h, "Num", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4),
            ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueEx(k.h, "List", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(k.h, "Bin", 0, REG_BINARY, bin, sizeof bin), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(k.h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_SUCCESS);

  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"text", REG_SZ, std::string("abc\0", 4)},
      {"Path", REG_EXPAND_SZ, std::string("%X%\0", 4)},
      {"NUM", REG_DWORD, std::string("\x07\0\0\0", 4)},
      {"List", REG_MULTI_SZ, std::string("ab\0c\0\0", 6)},
      {"Bin", REG_BINARY, std::string("\xde\xad\xbe\xef\0", 5)},
      {"", REG_SZ, std::string("\0", 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD need = static_cast<DWORD>(c.bytes.size());
    DWORD type = 99, size = 0;
    ASSERT_EQ(RegQueryValueEx(k.h, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, need);

    BYTE buf[16];
    std::memset(buf, 0xAA, sizeof buf);
    size = need - 1;
    if (need > 0) {
      EXPECT_EQ(RegQueryValueEx(k.h, c.name, nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
      EXPECT_EQ(size, need);
    }
    size = sizeof buf;
    ASSERT_EQ(RegQueryValueEx(k.h, c.name, nullptr, &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), c.bytes);
    EXPECT_EQ(buf[size], 0xAA);  // nothing written past the value
  }
  // The same values through the C++ face.
  EXPECT_EQ(GetString(Hive::CurrentUser, "Software\\Win", "Path"), "%X%");
  Value v;
  ASSERT_EQ(GetValue(Hive::CurrentUser, "Software\\Win", "List", &v), Status::Ok);
  EXPECT_EQ(v.multi, (std::vector<std::string>{"ab", "c"}));
  // A string has no DWORD form and the reverse.
  EXPECT_EQ(GetDword(Hive::CurrentUser, "Software\\Win", "Text"), std::nullopt);
  EXPECT_EQ(GetString(Hive::CurrentUser, "Software\\Win", "Num"), std::nullopt);
}

TEST_F(RegistryTest, CallsReportMissingBadAndClosed) {
  HKEY h = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Nowhere", 0, KEY_READ, &h),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, nullptr);

  Key k;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, "Vexa.Win", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k.h,
                           nullptr),
            ERROR_SUCCESS);
  DWORD size = 0;
  const DWORD one = 1;
  EXPECT_EQ(RegQueryValueEx(k.h, "missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueEx(k.h, "q", 0, 11 /* a 64-bit number */, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(RegSetValueEx(k.h, "d", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 3),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(k.h, "d", 0, REG_BINARY, nullptr, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValue(k.h, "missing"), ERROR_FILE_NOT_FOUND);

  // Opening through a handle, the sub-path relative to it.
  ASSERT_EQ(RegSetValueEx(k.h, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("w"), 2), ERROR_SUCCESS);
  Key sub;
  ASSERT_EQ(RegCreateKeyEx(k.h, "CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub.h, nullptr),
            ERROR_SUCCESS);
  Key again;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, "vexa.win\\clsid", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &again.h, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "Vexa.Win"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKey(k.h, "CLSID"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(k.h, "CLSID"), ERROR_FILE_NOT_FOUND);

  // Handles once closed, or never opened, are refused.
  HKEY closed = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Vexa.Win", 0, KEY_READ, &closed), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueEx(closed, "", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyEx(nullptr, "x", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  // A broken hive file.
  WriteStoreFile("HKCU.reg", "not a registry file\n");
  EXPECT_EQ(RegQueryValueEx(k.h, "", nullptr, nullptr, nullptr, &size), ERROR_BAD_FORMAT);
}

TEST_F(RegistryTest, EnumerationWalksMergedNamesAndReportsSmallBuffers) {
  UseDefaults({{"d.reg",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Enum\\From Defaults]\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Enum]\n\"Shipped\"=\"s\"\n"}});
  ASSERT_EQ(SetValue(Hive::LocalMachine, "Software\\Enum\\beta", "", Value::Dword(1)), Status::Ok);
  ASSERT_EQ(SetValue(Hive::LocalMachine, "Software\\Enum", "Mine", Value::Dword(2)), Status::Ok);
  Key k;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Enum", 0, KEY_READ, &k.h), ERROR_SUCCESS);

  std::vector<std::string> keys;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    const LONG e = RegEnumKeyEx(k.h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (e == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(e, ERROR_SUCCESS);
    EXPECT_EQ(cch, std::strlen(name));
    keys.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"beta", "From Defaults"}));

  std::vector<std::string> values;
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name, type = 0, size = 0;
    const LONG e = RegEnumValue(k.h, i, name, &cch, nullptr, &type, nullptr, &size);
    if (e == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(e, ERROR_SUCCESS);
    values.push_back(std::string(name) + ":" + std::to_string(type) + ":" + std::to_string(size));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"Shipped:1:2", "Mine:4:4"}));

  DWORD cch = 4;  // "From Defaults" needs 14 with its NUL
  EXPECT_EQ(RegEnumKeyEx(k.h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(cch, 14u);
  BYTE data[2];
  DWORD size = sizeof data;
  cch = sizeof name;
  EXPECT_EQ(RegEnumValue(k.h, 1, name, &cch, nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
}
