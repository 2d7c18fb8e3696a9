// Shared helpers of the stream-reading tests: running the independent
// checkers (ffmpeg, ffprobe), making inputs with them, and wrapping a system
// stream into the RIFF/CDXA form of a Video CD track file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace streamtest {

inline bool HaveTool(const char* name) { return ::vexa::testsupport::HaveProgram(name); }

// Skips the test when a checker is missing, unless CI requires checkers.
#define REQUIRE_TOOL(name)                                                   \
  do {                                                                       \
    if (!streamtest::HaveTool(name)) {                                       \
      if (::vexa::testsupport::CheckersRequired())                           \
        FAIL() << name << " is required but missing";                        \
      GTEST_SKIP() << name << " missing";                                    \
    }                                                                        \
  } while (0)

// Runs a shell command; its standard output, and the exit status in *status.
inline std::string Shell(const std::string& cmd, int* status = nullptr) {
  return ::vexa::testsupport::ShellOutput(cmd, status);
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& d) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
}

// A Video CD track file: a 44-byte RIFF/CDXA header, then one raw
// 2352-byte sector per 2324 bytes of the stream (12 sync bytes, 4 header
// bytes, 8 subheader bytes, the user data, 4 bytes of error detection).
inline void WrapCdxa(const std::string& in, const std::string& out) {
  std::vector<uint8_t> d = ReadAll(in);
  const size_t sectors = (d.size() + 2323) / 2324;
  std::vector<uint8_t> o(44, 0);
  auto le32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) o[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  std::copy_n("RIFF", 4, o.begin());
  le32(4, static_cast<uint32_t>(36 + sectors * 2352));
  std::copy_n("CDXAfmt ", 8, o.begin() + 8);
  le32(16, 16);
  std::copy_n("data", 4, o.begin() + 36);
  le32(40, static_cast<uint32_t>(sectors * 2352));
  for (size_t s = 0; s < sectors; ++s) {
    uint8_t sec[2352] = {};
    sec[0] = 0;
    for (int i = 1; i < 11; ++i) sec[i] = 0xFF;
    sec[15] = 2;  // mode 2
    sec[18] = sec[22] = 0x64;  // form 2, real-time, video
    const size_t n = std::min<size_t>(2324, d.size() - s * 2324);
    std::copy_n(d.begin() + static_cast<long>(s * 2324), n, sec + 24);
    o.insert(o.end(), sec, sec + 2352);
  }
  WriteAll(out, o);
}

// A folder for one test binary's inputs and outputs, removed at exit.
inline const std::string& Scratch() {
  // Kept alive past the static destructors, for the exit handler.
  static const std::string* dir = [] {
    auto* d = new std::string(vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vidlathe-streams-"));
    std::atexit([] { vexa::base::RemoveAll(Scratch()); });
    return d;
  }();
  return *dir;
}

inline std::string ScratchPath(const std::string& name) {
  return vexa::base::JoinPath(Scratch(), name);
}

// Makes (once) a test input with ffmpeg: args go between the sources and
// the output. Returns the path, or "" when ffmpeg failed.
inline std::string MakeInput(const std::string& name, const std::string& sources,
                             const std::string& args) {
  const std::string path = ScratchPath(name);
  if (vexa::base::FileExists(path)) return path;
  int st = 0;
  Shell("ffmpeg -nostdin -v error -y " + sources + " " + args + " '" + path + "' 2>&1", &st);
  return st == 0 ? path : std::string();
}

}  // namespace streamtest
