// The disc library's boundary: the shared library exports its entry points
// (plain C names) and none of the classes inside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

TEST(LibraryBoundary, OnlyEntryPointsAreExported) {
  const std::string lib = std::string(VEXA_BUILD_DIR) + "/lib/vexa/libdiscpakm2.so";
  FILE* p = popen(("nm -D --defined-only '" + lib + "' 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ASSERT_EQ(pclose(p), 0) << out;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address, kind, name;
    fields >> address >> kind >> name;
    EXPECT_NE(name.rfind("_Z", 0), 0u) << "C++ symbol exported: " << line;
  }
}

}  // namespace
