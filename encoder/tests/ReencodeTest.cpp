// Re-encoding through the decoder: other sizes and rates become the target's
// I P B B motion stream, joined with copied inputs in one output.
#include <gtest/gtest.h>

#include "platform/base/tests/WarmPools.h"
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <map>
#include <sstream>

#include "encoder/reader/StreamReader.h"
#include "encoder/VidlatheStreams.h"
#include "encoder/tests/StreamChecker.h"
#include "encoder/tests/StreamTestSupport.h"

namespace {

using namespace streamtest;

std::string PalInput() {
  return MakeInput("pal-2s.mpg",
                   "-f lavfi -i testsrc2=size=352x288:rate=25 -f lavfi -i "
                   "sine=frequency=330:sample_rate=44100",
                   "-t 2 -target pal-vcd");
}

std::string NtscInput() {
  return MakeInput("ntsc-1s.mpg",
                   "-f lavfi -i testsrc2=size=352x240:rate=30000/1001 -f lavfi -i "
                   "sine=frequency=440:sample_rate=44100",
                   "-t 1 -target ntsc-vcd");
}

// Picture types in display order, and the number of video frames.
std::string PictureTypes(const std::string& path) {
  std::istringstream in(Shell("ffprobe -v error -select_streams v -show_entries frame=pict_type "
                              "-of csv=p=0 '" + path + "'"));
  std::string types, line;
  while (std::getline(in, line))
    if (!line.empty()) types += line[0];
  return types;
}

void ExpectValidStamps(const std::string& path) {
  const std::vector<uint8_t> d = ReadAll(path);
  std::map<int, int64_t> lastDts;
  int64_t lastScr = -1;
  for (size_t i = 0; i + 12 <= d.size(); ++i) {
    if (d[i] || d[i + 1] || d[i + 2] != 1) continue;
    const int code = d[i + 3];
    if (code == 0xBA) {
      const int64_t scr = vidlathe::ReadTimeStamp(&d[i + 4]);
      ASSERT_GT(scr, lastScr) << "pack at " << i;
      lastScr = scr;
      i += 11;
    } else if (code >= 0xC0 && code <= 0xEF) {
      const size_t len = (d[i + 4] << 8) | d[i + 5];
      vidlathe::PacketHeader h;
      if (i + 6 + len <= d.size() && vidlathe::ParsePacketHeader(&d[i + 6], len, &h) && h.ptsAt >= 0) {
        const int64_t dts = h.dts == vidlathe::kNoTimeStamp ? h.pts : h.dts;
        EXPECT_LE(dts, h.pts) << "packet at " << i;
        EXPECT_GE(dts, lastScr) << "packet at " << i;
        if (lastDts.count(code)) {
          EXPECT_GT(dts, lastDts[code]) << "packet at " << i;
        }
        lastDts[code] = dts;
      }
      i += 5 + len;
    }
  }
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

int gCancelAt = 1000;
int CancelLater(int percent) { return percent >= gCancelAt ? 0 : 1; }

TEST(Reencode, OtherRateAndSizeJoinsACopiedInput) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("ffprobe");
  const std::string pal = PalInput(), ntsc = NtscInput();
  ASSERT_FALSE(pal.empty() || ntsc.empty());
  const char* paths[2] = {ntsc.c_str(), pal.c_str()};
  const MpegFileList list{2, paths};
  const std::string out = ScratchPath("reencoded.mpg");
  ASSERT_EQ(Concatenate_VCD_motion(&list, 1, out.c_str(), nullptr), 1);

  int st = 0;
  EXPECT_EQ(Shell("ffmpeg -nostdin -v error -xerror -i '" + out + "' -f null - 2>&1", &st), "");
  EXPECT_EQ(st, 0);
  StreamProperties p;
  Get_Mpeg_Stream_Prop(out.c_str(), &p);
  EXPECT_EQ(p.horizontalSize, 352);
  EXPECT_EQ(p.verticalSize, 240);
  EXPECT_EQ(p.pictureRateCode, 4);
  EXPECT_EQ(p.audioValid, 1);

  // The copied input's pictures, then 2 s of 25/s made 29.97/s: 50 -> 59,
  // in groups of 13 in display order: I B B P B B P B B P B B P.
  const std::string ntscTypes = PictureTypes(ntsc);
  const std::string types = PictureTypes(out);
  const std::string want = "IBBPBBPBBPBBPIBBPBBPBBPBBPIBBPBBPBBPBBPIBBPBBPBBPBBPIBBPBBP";
  ASSERT_GE(types.size(), want.size());
  EXPECT_EQ(types.substr(types.size() - want.size()), want);
  // The input made by ffmpeg ends without a sequence end code, and ffmpeg's
  // decoder drops its held-back last picture when a sequence of other
  // parameters follows; every other picture of it is there.
  EXPECT_GE(types.size(), ntscTypes.size() - 1 + want.size());
  EXPECT_EQ(types.substr(0, ntscTypes.size() - 1), ntscTypes.substr(0, ntscTypes.size() - 1));
  ExpectValidStamps(out);
  // The end code closes the output, and nothing else does.
  const std::vector<uint8_t> d = ReadAll(out);
  int endCodes = 0;
  for (size_t i = 0; i + 4 <= d.size(); ++i)
    endCodes += d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB9;
  EXPECT_LE(endCodes, 1);

  // The re-encoded part alone: every picture, and the buffer model holds.
  const std::string alone = ScratchPath("reencoded-alone.mpg");
  const char* one[1] = {pal.c_str()};
  const MpegFileList single{1, one};
  ASSERT_EQ(Concatenate_VCD_motion(&single, 1, alone.c_str(), nullptr), 1);
  EXPECT_EQ(PictureTypes(alone), want);
  // The video buffer model holds (the audio packets' timing belongs to the
  // motion multiplexer and is checked with its own tests).
  const auto checked = vidlathe::testing::CheckSystemStreamFile(alone);
  for (const std::string& e : checked.errors)
    if (e.find("stream C0") == std::string::npos) ADD_FAILURE() << e;
}

TEST(Reencode, ElementaryStreamWithItsAudioList) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("ffprobe");
  const std::string m1v = MakeInput("film-1s.m1v", "-f lavfi -i testsrc2=size=320x240:rate=24",
                                    "-t 1 -c:v mpeg1video -b:v 1000k -f mpeg1video");
  const std::string mp2 = MakeInput("tone-1s.mp2", "-f lavfi -i sine=frequency=440:sample_rate=44100",
                                    "-t 1 -c:a mp2 -b:a 224k");
  ASSERT_FALSE(m1v.empty() || mp2.empty());
  const std::string pal = PalInput();
  ASSERT_FALSE(pal.empty());
  const char* audio[1] = {mp2.c_str()};
  // An elementary stream, and a system stream whose own audio is replaced.
  const MotionComponent entries[2] = {{0, m1v.c_str(), 1, audio}, {0, pal.c_str(), 1, audio}};
  const MotionComponentList list{2, entries};
  const std::string out = ScratchPath("component.mpg");
  ASSERT_EQ(Motion_VCD_Component(&list, 3, out.c_str(), nullptr), 1);
  int st = 0;
  EXPECT_EQ(Shell("ffmpeg -nostdin -v error -xerror -i '" + out + "' -f null - 2>&1", &st), "");
  StreamProperties p;
  Get_Mpeg_Stream_Prop(out.c_str(), &p);
  EXPECT_EQ(p.horizontalSize, 352);
  EXPECT_EQ(p.verticalSize, 288);
  EXPECT_EQ(p.pictureRateCode, 3);
  EXPECT_EQ(p.audioValid, 1);
  EXPECT_EQ(PictureTypes(out).size(), 25u + 50u);  // 24 pictures at 25/s, then 50
  ExpectValidStamps(out);
}

TEST(Reencode, CancelStopsEveryThreadAndLeavesNoOutput) {
  REQUIRE_TOOL("ffmpeg");
  const std::string pal = PalInput();
  ASSERT_FALSE(pal.empty());
  const char* paths[1] = {pal.c_str()};
  const MpegFileList list{1, paths};
  const std::string out = ScratchPath("reencode-cancelled.mpg");
  // A thread started and joined first lets a sanitizer start its own helper
  // thread before the count is taken; every thread the call may use is up
  // too: after the call the same threads are there, and none is working.
  std::thread([] {}).join();
  vexa::base::testing::WarmPools(8);
  const int threads = ThreadCount();
  gCancelAt = 50;
  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, out.c_str(), CancelLater), 0);
  gCancelAt = 1000;
  EXPECT_FALSE(vexa::base::FileExists(out));
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(vexa::base::SideThreadsBusy(), 0u);
  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, "/dev/full", nullptr), 0);
}

int GreyStill(void* pixels, BITMAPINFOHEADER* h) {
  std::memset(pixels, 128, static_cast<size_t>(h->biWidth) * h->biHeight * 4);
  return 1000;
}

// A caller that is slow to answer, then cancels on its next report.
int gSlowCalls = 0;
int SlowThenCancel(int) {
  if (gSlowCalls++ == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    return 1;
  }
  return 0;
}

TEST(Reencode, UnchangedPercentIsReportedAgainSoACallerCanCancel) {
  REQUIRE_TOOL("ffmpeg");
  const std::string m1v = MakeInput("film-1s.m1v", "-f lavfi -i testsrc2=size=320x240:rate=24",
                                    "-t 1 -c:v mpeg1video -b:v 1000k -f mpeg1video");
  ASSERT_FALSE(m1v.empty());
  // A large still file after it (skipped here) holds the percentage of the
  // whole list at 0 while the first entry is re-encoded: a still stream
  // with its end code, then a sparse 2 GB.
  const std::string still = ScratchPath("large-still.mpg");
  ASSERT_EQ(Multi_I_Enc_Still(1, GreyStill, still.c_str(), 8, 5), 1);
  ASSERT_EQ(truncate(still.c_str(), int64_t{2} << 30), 0);
  const MotionComponent entries[2] = {{0, m1v.c_str(), 0, nullptr}, {0, still.c_str(), 0, nullptr}};
  const MotionComponentList list{2, entries};
  const std::string out = ScratchPath("component-slow-cancel.mpg");
  gSlowCalls = 0;
  EXPECT_EQ(Motion_VCD_Component(&list, 1, out.c_str(), SlowThenCancel), 0);
  unlink(still.c_str());
  EXPECT_GE(gSlowCalls, 2);
  EXPECT_FALSE(vexa::base::FileExists(out));
}

}  // namespace
