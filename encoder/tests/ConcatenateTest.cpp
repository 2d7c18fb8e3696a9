// The concatenating entry points: unchanged copies with continuing clocks,
// still re-encoding, progress, cancellation and write errors.
#include <gtest/gtest.h>

#include "platform/base/tests/WarmPools.h"
#include <dirent.h>

#include <cstring>
#include <sstream>

#include "encoder/reader/StreamReader.h"
#include "encoder/VidlatheStreams.h"
#include "encoder/tests/StreamTestSupport.h"

namespace {

using namespace streamtest;

std::string NtscInput(const std::string& name, double seconds, int toneHz) {
  return MakeInput(name,
                   "-f lavfi -i testsrc2=size=352x240:rate=30000/1001 -f lavfi -i sine=frequency=" +
                       std::to_string(toneHz) + ":sample_rate=44100",
                   "-t " + std::to_string(seconds) + " -target ntsc-vcd");
}

double Duration(const std::string& path) {
  return std::atof(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'").c_str());
}

bool DecodesCleanly(const std::string& path) {
  int st = 0;
  const std::string err = Shell("ffmpeg -nostdin -v error -xerror -i '" + path + "' -f null - 2>&1", &st);
  EXPECT_EQ(err, "");
  return st == 0 && err.empty();
}

// The hashes of the decoded video frames, in order.
std::vector<std::string> FrameHashes(const std::string& path) {
  std::istringstream in(Shell("ffmpeg -nostdin -v error -i '" + path + "' -map 0:v -f framemd5 -"));
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') out.push_back(line.substr(line.rfind(',') + 1));
  return out;
}

// Every pack's SCR and every PTS/DTS as they lie in the file.
struct Clocks {
  std::vector<int64_t> scr;
  std::vector<size_t> packAt;
  std::vector<std::pair<int, std::pair<int64_t, int64_t>>> stamps;  // stream, (pts, dts)
};

Clocks ReadClocks(const std::string& path) {
  Clocks c;
  const std::vector<uint8_t> d = ReadAll(path);
  for (size_t i = 0; i + 12 <= d.size(); ++i) {
    if (d[i] || d[i + 1] || d[i + 2] != 1) continue;
    const int code = d[i + 3];
    if (code == 0xBA) {
      c.scr.push_back(vidlathe::ReadTimeStamp(&d[i + 4]));
      c.packAt.push_back(i);
      i += 11;
    } else if ((code >= 0xC0 && code <= 0xEF)) {
      const size_t len = (d[i + 4] << 8) | d[i + 5];
      vidlathe::PacketHeader h;
      if (i + 6 + len <= d.size() && vidlathe::ParsePacketHeader(&d[i + 6], len, &h) && h.ptsAt >= 0)
        c.stamps.push_back({code, {h.pts, h.dts == vidlathe::kNoTimeStamp ? h.pts : h.dts}});
      i += 5 + len;
    }
  }
  return c;
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

std::vector<int> gReports;
int gCancelAt = 1000;
int Record(int percent) {
  gReports.push_back(percent);
  return percent >= gCancelAt ? 0 : 1;
}

TEST(ConcatenateMotion, CopiesContinueTheClocksAndLastTheSum) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("ffprobe");
  const std::string in[3] = {NtscInput("x.mpg", 1.0, 440), NtscInput("y.mpg", 1.5, 550),
                             NtscInput("z.mpg", 0.7, 660)};
  for (const auto& p : in) ASSERT_FALSE(p.empty());
  // The middle input as a Video CD track file.
  const std::string track = ScratchPath("y-track.dat");
  WrapCdxa(in[1], track);
  const char* paths[3] = {in[0].c_str(), track.c_str(), in[2].c_str()};
  const MpegFileList list{3, paths};
  const std::string out = ScratchPath("joined.mpg");
  gReports.clear();
  gCancelAt = 1000;
  ASSERT_EQ(Concatenate_VCD_motion(&list, 1, out.c_str(), Record), 1);

  EXPECT_TRUE(DecodesCleanly(out));
  // The output lasts as long as the inputs together, plus at each join at
  // most the time the next input needs to fill the decoder's buffer at the
  // fixed Video CD rate (its own start-up delay, under half a second here):
  // its stamps may not come before its data has arrived.
  const double sum = Duration(in[0]) + Duration(in[1]) + Duration(in[2]);
  EXPECT_GE(Duration(out), sum - 0.05);
  EXPECT_LE(Duration(out), sum + 2 * 0.5);

  // Every pack is a whole sector's worth and its clock runs on.
  const Clocks c = ReadClocks(out);
  ASSERT_GT(c.scr.size(), 3u);
  EXPECT_EQ(ReadAll(out).size() % 2324, 0u);
  for (size_t k = 1; k < c.scr.size(); ++k) {
    ASSERT_GT(c.scr[k], c.scr[k - 1]) << k;
    ASSERT_EQ(c.packAt[k] - c.packAt[k - 1], 2324u) << k;
  }
  // Per stream: decoding times increase, and nothing presents before it decodes.
  std::map<int, int64_t> lastDts;
  for (const auto& [stream, t] : c.stamps) {
    EXPECT_LE(t.second, t.first);
    if (lastDts.count(stream)) {
      EXPECT_GT(t.second, lastDts[stream]) << std::hex << stream;
    }
    lastDts[stream] = t.second;
  }
  // The first time stamp does not lie before the first clock.
  ASSERT_FALSE(c.stamps.empty());
  EXPECT_GE(c.stamps.front().second.second, c.scr.front());

  // Every picture of every input is there, unchanged.
  std::vector<std::string> want;
  for (const auto& p : in) {
    const auto h = FrameHashes(p);
    want.insert(want.end(), h.begin(), h.end());
  }
  EXPECT_EQ(FrameHashes(out), want);

  // Progress starts at 0, rises, and ends with 100.
  ASSERT_GE(gReports.size(), 3u);
  EXPECT_EQ(gReports.front(), 0);
  EXPECT_EQ(gReports.back(), 100);
  EXPECT_TRUE(std::is_sorted(gReports.begin(), gReports.end()));
}

TEST(ConcatenateMotion, CancelAndWriteErrorsFailWithoutOutput) {
  REQUIRE_TOOL("ffmpeg");
  const std::string x = NtscInput("x.mpg", 1.0, 440), y = NtscInput("y.mpg", 1.5, 550);
  ASSERT_FALSE(x.empty() || y.empty());
  const char* paths[2] = {x.c_str(), y.c_str()};
  const MpegFileList list{2, paths};

  // Every thread the call may use is up first: after the call the same
  // threads are there, and none of them is still working.
  vexa::base::testing::WarmPools(8);
  const int threads = ThreadCount();
  const std::string out = ScratchPath("cancelled.mpg");
  gReports.clear();
  gCancelAt = 50;
  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, out.c_str(), Record), 0);
  gCancelAt = 1000;
  EXPECT_FALSE(vexa::base::FileExists(out));
  ASSERT_FALSE(gReports.empty());
  EXPECT_GE(gReports.back(), 50);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(vexa::base::SideThreadsBusy(), 0u);

  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, "/dev/full", nullptr), 0);
  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, ScratchPath("no/such/dir/out.mpg").c_str(), nullptr), 0);
  EXPECT_EQ(Concatenate_VCD_motion(&list, 4, out.c_str(), nullptr), 0);  // no such mode
}

// The joins hold the one-call lock of the library like every encoding call:
// an encoding call made from their progress callback is refused, with its
// reason, and the join goes on.
int gInnerCall = -1;
std::string gInnerReason, gInnerOutput;
int GreyStill(void* pixels, BITMAPINFOHEADER* h) {
  std::memset(pixels, 128, static_cast<size_t>(h->biWidth) * h->biHeight * 4);
  return 1000;
}
int EncodeFromProgress(int) {
  if (gInnerCall == -1) {
    gInnerCall = Multi_I_Enc_Still(1, GreyStill, gInnerOutput.c_str(), 8, 5);
    gInnerReason = Vidlathe_GetLastFailure();
  }
  return 1;
}

TEST(ConcatenateMotion, HoldsTheOneCallLock) {
  REQUIRE_TOOL("ffmpeg");
  const std::string x = NtscInput("x.mpg", 1.0, 440);
  ASSERT_FALSE(x.empty());
  const char* paths[1] = {x.c_str()};
  const MpegFileList list{1, paths};
  gInnerCall = -1;
  gInnerOutput = ScratchPath("inner.mpg");
  const std::string out = ScratchPath("outer.mpg");
  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, out.c_str(), EncodeFromProgress), 1);
  EXPECT_EQ(gInnerCall, 0);
  EXPECT_EQ(gInnerReason, "Multi_I_Enc_Still_MP2: called from inside a running encoding call");
  EXPECT_FALSE(vexa::base::FileExists(gInnerOutput));
  EXPECT_TRUE(vexa::base::FileExists(out));
}

TEST(ConcatenateMotion, EmptyListReportsDone) {
  gReports.clear();
  const MpegFileList list{0, nullptr};
  const std::string out = ScratchPath("empty.mpg");
  EXPECT_EQ(Concatenate_VCD_motion(&list, 1, out.c_str(), Record), 1);
  EXPECT_EQ(gReports, (std::vector<int>{0, 100}));
}

int StillSource(void* pixels, BITMAPINFOHEADER* h) {
  static int n = 0;
  auto* p = static_cast<uint8_t*>(pixels);
  for (int i = 0; i < h->biWidth * h->biHeight; ++i) {
    p[4 * i] = static_cast<uint8_t>(i * 7 + n * 50);
    p[4 * i + 1] = static_cast<uint8_t>(i / h->biWidth + n * 30);
    p[4 * i + 2] = static_cast<uint8_t>(n * 90);
  }
  ++n;
  return 2000;
}

TEST(ConcatenateStills, CopiesMatchingStillsReencodesOthersAndSkipsPairs) {
  REQUIRE_TOOL("ffprobe");
  const std::string a = ScratchPath("stills-a.mpg"), b = ScratchPath("stills-b.mpg"),
                    pair = ScratchPath("stills-pair.mpg"), pal = ScratchPath("stills-pal.mpg");
  ASSERT_EQ(Multi_I_Enc_Still(2, StillSource, a.c_str(), 8, 5), 1);     // 352x240, rate 4
  ASSERT_EQ(Multi_I_Enc_Still(1, StillSource, b.c_str(), 8, 5), 1);
  ASSERT_EQ(Multi_I_Enc_Still(1, StillSource, pair.c_str(), 8, 7), 1);  // 704x480 pair
  ASSERT_EQ(Multi_I_Enc_Still(1, StillSource, pal.c_str(), 8, 6), 1);   // 352x288, rate 3
  const char* paths[4] = {a.c_str(), pair.c_str(), pal.c_str(), b.c_str()};
  const MpegFileList list{4, paths};
  const std::string out = ScratchPath("stills-joined.mpg");
  ASSERT_EQ(Concatenate_VCD_Stills(&list, 1, out.c_str(), nullptr), 1);
  EXPECT_TRUE(DecodesCleanly(out));
  // Two + one copied, one re-encoded from PAL; the pair is skipped.
  const std::string frames = Shell("ffprobe -v error -count_frames -select_streams v -show_entries "
                                   "stream=nb_read_frames,width,height -of csv=p=0 '" + out + "'");
  EXPECT_EQ(frames, "352,240,4\n");
  const Clocks c = ReadClocks(out);
  for (size_t k = 1; k < c.scr.size(); ++k) ASSERT_GT(c.scr[k], c.scr[k - 1]) << k;

  // Mode 4 keeps the pair alone; mode 5 (another rate) codes it again as a
  // pair, shown for 4 s since a single still has no following time stamp.
  for (int mode : {4, 5}) {
    SCOPED_TRACE(mode);
    const std::string outPair = ScratchPath("stills-pairs.mpg");
    ASSERT_EQ(Concatenate_VCD_Stills(&list, mode, outPair.c_str(), nullptr), 1);
    EXPECT_TRUE(DecodesCleanly(outPair));
    StreamProperties p;
    Get_Mpeg_Stream_Prop(outPair.c_str(), &p);
    EXPECT_EQ(p.videoKind, 3);
    EXPECT_EQ(p.pictureRateCode, mode == 4 ? 4 : 1);
    const std::string sizes = Shell("ffprobe -v error -count_frames -show_entries "
                                    "stream=width,height,nb_read_frames -of csv=p=0 '" + outPair + "'");
    EXPECT_EQ(sizes, "352,240,1\n704,480,1\n");
    if (mode == 5) {
      // A still stream runs on for its display time at 75 packs a second.
      EXPECT_NEAR(static_cast<double>(ReadAll(outPair).size() / 2324), 300.0, 20.0);
    }
  }
}

}  // namespace
