// libvexa_scsi exports the calls other folders make and nothing else: not
// the simulated drive's internals, not the standard library's templates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Checkers.h"

namespace {

TEST(ScsiLibrary, ExportsOnlyItsEntryPoints) {
  const char* build = std::getenv("VEXA_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  std::string out;
  const int rc = vexa::testsupport::Shell(
      "/usr/bin/nm -DC --defined-only '" + std::string(build) + "/lib/vexa/libvexa_scsi.so'", &out);
  if (rc == 127 && !vexa::testsupport::CheckersRequired()) GTEST_SKIP() << "nm is missing";
  ASSERT_EQ(rc, 0) << out;

  std::map<std::string, int> entryPoints = {
      {"vexa::scsi::ConfiguredTransportSpec", 0}, {"vexa::scsi::OpenTransport", 0},
      {"vexa::scsi::ToFixedSense", 0},            {"vexa::scsi::MakeSense", 0},
      {"vexa::scsi::sim::Profiles", 0},           {"vexa::scsi::sim::FindProfile", 0},
      {"vexa::scsi::sim::LoadConfig", 0},         {"vexa::scsi::sim::SaveConfig", 0},
      {"vexa::scsi::sim::ParseFault", 0},         {"vexa::scsi::sim::FaultText", 0},
      {"vexa::scsi::sim::LoadDisc", 0},           {"vexa::scsi::sim::MediaName", 0},
      {"vexa::scsi::sim::SimDrive::Open", 0},     {"vexa::scsi::sim::SimDrive::~SimDrive", 0},
      {"vexa::scsi::sim::SimDrive::Execute", 0},  {"vexa::scsi::sim::SimDrive::LoadMedia", 0},
      {"vexa::scsi::sim::FolderLock::Take", 0},   {"vexa::scsi::sim::FolderLock::~FolderLock", 0},
      {"vexa::scsi::sim::SimDrive::ChangeMedia", 0},
  };
  std::vector<std::string> others;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    // "address type name", the name demangled (it may hold blanks).
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type;
    std::getline(fields >> std::ws, name);
    // The linker's markers and the sanitizers' own symbols.
    if (type == "A" || name.rfind("__asan", 0) == 0 || name.rfind("__odr_asan", 0) == 0 || name == "_init" ||
        name == "_fini" || name == "_edata" || name == "_end" || name == "__bss_start") {
      continue;
    }
    const std::string function = name.substr(0, name.find_first_of("(["));
    auto it = entryPoints.find(function);
    if (it != entryPoints.end()) {
      ++it->second;
    } else {
      others.push_back(name);
    }
  }
  std::string listed;
  for (const std::string& o : others) listed += o + "\n";
  EXPECT_TRUE(others.empty()) << "exported beyond the entry points:\n" << listed;
  for (const auto& [function, count] : entryPoints) EXPECT_GT(count, 0) << function << " is not exported";
}

}  // namespace
