// The disc library's boundary: the shared library exports its entry points
// (plain C names) and none of the classes inside it.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/support/Checkers.h"

namespace {

// The names of the shared library's exported definitions.
std::set<std::string> Exports() {
  const std::string lib = std::string(VEXA_BUILD_DIR) + "/lib/vexa/libdiscpakm2.so";
  std::string out;
  EXPECT_EQ(vexa::testsupport::Shell("nm -D --defined-only '" + lib + "'", &out), 0) << out;
  std::set<std::string> names;
  std::istringstream text(out);
  std::string line;
  while (std::getline(text, line)) {
    std::istringstream fields(line);
    std::string address, kind, name;
    fields >> address >> kind >> name;
    names.insert(name);
  }
  return names;
}

TEST(LibraryBoundary, OnlyEntryPointsAreExported) {
  for (const std::string& name : Exports()) {
    EXPECT_NE(name.rfind("_Z", 0), 0u) << "C++ symbol exported: " << name;
  }
}

// The library objects' getters, the command log and the sector codes are
// reached by name from outside; none may be hidden by another definition
// inside the library.
TEST(LibraryBoundary, TheEntryPointsAreExported) {
  const std::set<std::string> names = Exports();
  for (const char* name : {"DLL_LL_GetLibObject", "DLL_LL_ReleaseObject", "CDR4COMS_Get", "CDR4COMS_Release",
                           "CDR4BASE_Get", "CDR4BASE_Release", "CDR4_CreateDrive", "COMS_Open", "COMS_StartLog",
                           "COMS_Log", "COMS_StopLog", "CalcEDC", "CalcECC_P", "CalcECC_Q", "LBAToMSFBCD"}) {
    EXPECT_EQ(names.count(name), 1u) << name;
  }
}

}  // namespace
