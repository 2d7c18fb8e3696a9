// Shared pieces of the encoder-object tests: tools, scratch folders, and an
// audio source installed through the caller's own factory.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "plugins/ARAS.h"
#include "tests/support/Checkers.h"

namespace vexa::vcd::testing {

using ::vexa::testsupport::CheckersRequired;
bool HaveTool(const std::string& name);
using ::vexa::testsupport::Shell;

#define VEXA_REQUIRE_TOOL(name)                                                     \
  do {                                                                              \
    if (!::vexa::vcd::testing::HaveTool(name)) {                                    \
      if (::vexa::vcd::testing::CheckersRequired()) FAIL() << name << " missing";   \
      GTEST_SKIP() << name << " missing";                                           \
    }                                                                               \
  } while (0)

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

// A synthetic audio source: paths "fake:<ms>[:<deliveredMs>][:noopen]" give
// a stream of that duration that delivers deliveredMs of a tone (all of it
// when not given) and refuses to open with "noopen". Every other path goes
// to the real plug-in's factory when one was bound.
struct FakeAudio {
  static void Install();    // through the "DISCPAK" word 12
  static void Uninstall();  // the plug-in's own factory again
  // Called with the bytes delivered so far after each Read.
  static std::function<void(std::int64_t)> onRead;
  // Fake paths whose streams refuse to open from now on.
  static std::set<std::string> refuseOpen;
};

}  // namespace vexa::vcd::testing
