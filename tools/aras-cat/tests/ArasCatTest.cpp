// aras-cat end to end: the plug-in loaded by name turns files of every kind
// into 44.1 kHz stereo WAV files that ffprobe reads with the right length.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace {

using vexa::testsupport::Shell;

using vexa::testsupport::CheckersRequired;
using vexa::testsupport::HaveProgram;

TEST(ArasCatTest, EveryKindBecomesStereo44k) {
  if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) {
    if (CheckersRequired()) FAIL() << "ffmpeg missing";
    GTEST_SKIP() << "ffmpeg missing";
  }
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-arascat-");
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/aras-cat";
  const std::string tone = "-f lavfi -i \"aevalsrc=0.4*sin(440*2*PI*t)|0.4*sin(550*2*PI*t):s=44100:d=3\"";
  struct Row {
    const char* name;
    const char* args;
  };
  const Row rows[] = {
      {"a48.mp3", "-c:a libmp3lame -b:a 160k -ar 48000"},
      {"a.wma", "-c:a wmav2 -b:a 96k"},
      {"a11.wav", "-c:a pcm_s16le -ar 11025 -ac 1"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string in = dir + "/" + r.name, out = dir + "/out.wav";
    ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + " " + r.args + " '" + in + "'"), 0);
    std::string report;
    ASSERT_EQ(Shell("'" + tool + "' '" + in + "' '" + out + "'", &report), 0) << report;
    EXPECT_NE(report.find("durationMs="), std::string::npos) << report;
    std::string probe;
    ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,duration -of "
                    "default=nw=1 '" + out + "'",
                    &probe),
              0);
    EXPECT_NE(probe.find("codec_name=pcm_s16le"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=2"), std::string::npos) << probe;
    const auto at = probe.find("duration=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::atof(probe.c_str() + at + 9), 3.0, 0.05) << probe;
  }
  std::string report;
  EXPECT_EQ(Shell("'" + tool + "' '" + dir + "/none.mp3'", &report), 1);
  EXPECT_EQ(Shell("'" + tool + "'", &report), 2);
  vexa::base::RemoveAll(dir);
}

// An output that is the input, by whatever name, is refused before a byte is
// written: the input survives as it was.
TEST(ArasCatTest, RefusesToWriteOverItsInput) {
  if (!HaveProgram("ffmpeg")) {
    if (CheckersRequired()) FAIL() << "ffmpeg missing";
    GTEST_SKIP() << "ffmpeg missing";
  }
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-arascat-");
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/aras-cat";
  for (const char* name : {"a.wav", "a.mp3"}) {
    SCOPED_TRACE(name);
    const std::string in = dir + "/" + name;
    ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=d=1 '" + in + "'"), 0);
    ASSERT_EQ(Shell("ln -sf '" + in + "' '" + dir + "/link' && ln -f '" + in + "' '" + dir + "/hard'"), 0);
    std::string before;
    ASSERT_TRUE(vexa::base::ReadFile(in, &before));
    const std::string outputs[] = {"'" + in + "'", "'" + dir + "/link'", "'" + dir + "/hard'",
                                   "'" + dir + "/../" + vexa::base::BaseName(dir) + "/" + name + "'",
                                   "- >>'" + in + "'"};
    for (const std::string& out : outputs) {
      std::string report;
      // Grouped, so that only the tool's standard output goes where out says.
      EXPECT_EQ(Shell("{ '" + tool + "' '" + in + "' " + out + "; }", &report), 2) << out << "\n" << report;
      EXPECT_NE(report.find("is the input"), std::string::npos) << report;
      std::string after;
      ASSERT_TRUE(vexa::base::ReadFile(in, &after));
      EXPECT_TRUE(after == before) << out << ": the input changed";
    }
  }
  vexa::base::RemoveAll(dir);
}

// An output in a folder that takes no files says why, in the system's words.
TEST(ArasCatTest, AnOutputThatCannotBeWrittenSaysWhy) {
  if (!HaveProgram("ffmpeg")) {
    if (CheckersRequired()) FAIL() << "ffmpeg missing";
    GTEST_SKIP() << "ffmpeg missing";
  }
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-arascat-");
  const std::string readOnly = dir + "/ro";
  ASSERT_TRUE(vexa::base::MakeDirs(readOnly));
  const std::string prefix = vexa::testsupport::ReadOnlyFolderPrefix(readOnly);
  if (prefix.empty()) {
    vexa::base::RemoveAll(dir);
    GTEST_SKIP() << "no mount namespace for a read-only folder here";
  }
  const std::string in = dir + "/a.wav", tool = std::string(VEXA_BUILD_DIR) + "/bin/aras-cat";
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=d=1 '" + in + "'"), 0);
  for (const char* name : {"out.wav", "out.pcm"}) {
    std::string report;
    EXPECT_EQ(Shell(prefix + "'" + tool + "' '" + in + "' '" + readOnly + "/" + name + "'", &report), 1) << report;
    // The output named, and the system's reason.
    EXPECT_EQ(report.rfind("aras-cat: ", 0), 0u) << report;
    EXPECT_NE(report.find(readOnly + "/" + name), std::string::npos) << report;
    EXPECT_NE(report.find(": Read-only file system"), std::string::npos) << report;
  }
  vexa::base::RemoveAll(dir);
}

}  // namespace
