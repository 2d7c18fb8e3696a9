// The test servers of the wizard's tests: a recording logger, a scripted
// orchestrator and a locale utility, in one module ("vexawiz_fakes") that a
// test registers for their class ids in its own registry. The test and the
// module share this state through VexaWizFakeState().
#pragma once

#include <map>
#include <string>
#include <vector>

#include "idl/vexacore.h"

struct FakeCoreCall {
  std::string method;
  std::vector<std::string> args;
};

struct FakeState {
  // Logger: "TYPE|component|text" per line.
  std::vector<std::string> log;
  bool loggerFails = false;

  // Orchestrator: every call in order, and the script of its answers.
  std::vector<FakeCoreCall> calls;
  HRESULT initResult = S_OK;
  LONG initErrorCode = VEXACoreSuccess;
  bool drivePresent = true;
  std::vector<LONG> speeds = {4, 8, 16};
  bool speedsFail = false;
  std::string drivePath = "/dev/sr0";
  std::string inquiry = "VEXA    SIM  WRITER   1.0";
  std::map<std::string, LONG> addStillErrors;  // path -> error code answered
  LONG longestStillDelay = 0;                  // above it SetStillDelay fails (0: no limit)
  HRESULT createVcdResult = S_OK;
  LONG createVcdErrorCode = VEXACoreSuccess;
  LONG trackSize = 0;
  // The engine's image estimate (IVEXACoreImageEstimate); failing (as it
  // does unless a test scripts it): none.
  HRESULT estimateResult = E_NOTIMPL;
  LONGLONG estimateSectors = 0;
  LONGLONG estimateDiscSectors = 359849;
  LONG errorCode = VEXACoreSuccess;
  int coreObjects = 0;  // live orchestrator objects

  // Locale utility.
  LONG tvSystem = VEXALocTVNTSC;
  std::string localeLanguage;

  void Reset() { *this = FakeState(); }
  // The calls of one method.
  std::vector<FakeCoreCall> Calls(const std::string& method) const {
    std::vector<FakeCoreCall> out;
    for (const auto& c : calls)
      if (c.method == method) out.push_back(c);
    return out;
  }
  std::vector<std::string> Methods() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(c.method);
    return out;
  }
  bool Logged(const std::string& text) const {
    for (const auto& l : log)
      if (l.size() >= text.size() && l.compare(l.size() - text.size(), text.size(), text) == 0) return true;
    return false;
  }
};

extern "C" FakeState* VexaWizFakeState();
