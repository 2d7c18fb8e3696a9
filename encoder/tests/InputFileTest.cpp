// Every read of an input is checked against the size the file had when it
// was opened: a file that shrinks while it is read fails with its name,
// whether it is read alone, as a system stream, or as the audio of a call.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "encoder/Vidlathe.h"
#include "encoder/common/Failure.h"
#include "encoder/common/InputFile.h"
#include "encoder/reader/StreamReader.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

TEST(InputFile, AFileThatShrinksWhileReadFailsWithItsName) {
  TempDir dir;
  const std::string path = dir.File("input.bin");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(path, std::string(100000, 'x')));
  FailureLog log;
  FailureScope scope(&log);
  InputFile f;
  ASSERT_TRUE(f.Open(path));
  std::vector<uint8_t> buf(4096);
  EXPECT_EQ(4096u, f.Read(buf.data(), buf.size()));
  ASSERT_EQ(0, truncate(path.c_str(), 50000));
  size_t total = 4096, n;
  while ((n = f.Read(buf.data(), buf.size())) > 0) total += n;
  EXPECT_TRUE(f.failed());
  EXPECT_EQ(50000u, total);
  EXPECT_EQ(path + ": became shorter while it was read (50000 of 100000 bytes)", log.reason());
  EXPECT_EQ(0u, f.Read(buf.data(), buf.size()));  // nothing more after a failure
}

TEST(InputFile, AFileThatGrowsIsReadAsItWasOpened) {
  TempDir dir;
  const std::string path = dir.File("input.bin");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(path, std::string(1000, 'x')));
  FailureLog log;
  FailureScope scope(&log);
  InputFile f;
  ASSERT_TRUE(f.Open(path));
  ASSERT_EQ(0, truncate(path.c_str(), 5000));
  std::vector<uint8_t> buf(4096);
  EXPECT_EQ(1000u, f.Read(buf.data(), buf.size()));
  EXPECT_EQ(0u, f.Read(buf.data(), buf.size()));
  EXPECT_FALSE(f.failed());
  EXPECT_EQ("", log.reason());
}

TEST(InputFile, AStreamThatShrinksWhileReadIsAReadError) {
  TempDir dir;
  const std::string path = dir.File("stream.mpg");
  // Packs of padding: 00 00 01 BA ... then a padding packet.
  std::string pack(2324, '\xFF');
  const char head[] = "\x00\x00\x01\xBA\x21\x00\x01\x00\x01\x80\x1B\x91\x00\x00\x01\xBE\x09\x00";
  std::memcpy(pack.data(), head, sizeof head - 1);
  std::string stream;
  for (int i = 0; i < 100; ++i) stream += pack;
  ASSERT_TRUE(vexa::base::WriteFileAtomic(path, stream));
  FailureLog log;
  FailureScope scope(&log);
  SystemStreamReader r;
  ASSERT_TRUE(r.Open(path));
  ASSERT_TRUE(r.FindStartCode(0xBA));
  ASSERT_EQ(0, truncate(path.c_str(), 100000));
  while (r.NextStartCode() >= 0) {
  }
  EXPECT_TRUE(r.readError());
  EXPECT_EQ(0u, log.reason().find(path + ": became shorter while it was read"));
}

// The audio file of a call (12 s) is cut down to 200,000 bytes while the
// call reads it: the picture source waits (on inotify) until the audio
// reader has opened the file and read from it, after the call's own check of
// the file, and cuts it before it gives its first picture. By then the
// reader cannot have read more than its queue holds and what the
// multiplexer took while it waits for that picture (about 100,000 bytes);
// the three stills of 4 s then need the audio beyond the cut. The call
// fails, names the file, and writes nothing.
const char* gAudioToCut = nullptr;
int gWatch = -1;
int CutTheAudio(void* pixels, BITMAPINFOHEADER* h) {
  if (gAudioToCut) {
    int opens = 0;
    for (bool reading = false; !reading;) {
      alignas(inotify_event) char buf[4096];
      const ssize_t n = read(gWatch, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
        if (e->mask & IN_OPEN) ++opens;
        else if ((e->mask & IN_ACCESS) && opens >= 2) reading = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    EXPECT_EQ(0, truncate(gAudioToCut, 200000));
    gAudioToCut = nullptr;
  }
  std::memset(pixels, 100, static_cast<size_t>(h->biWidth) * h->biHeight * 4);
  return 4000;
}

TEST(InputFile, AudioThatShrinksDuringTheCallFailsIt) {
  VIDLATHE_NEED_TOOL("ffmpeg");
  TempDir dir;
  const std::string mp2 = dir.File("long.mp2"), out = dir.File("out.mpg");
  Shell("ffmpeg -v error -y -f lavfi -i sine=duration=12:sample_rate=44100 -ac 2 -c:a mp2 -b:a 224k '" + mp2 + "'");
  ASSERT_GT(ReadAll(mp2).size(), 320000u);
  gWatch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(gWatch, 0);
  ASSERT_GE(inotify_add_watch(gWatch, mp2.c_str(), IN_OPEN | IN_ACCESS), 0);
  gAudioToCut = mp2.c_str();
  EXPECT_EQ(0, Multi_I_Enc_Still_MP2(3, CutTheAudio, out.c_str(), 8, 5, mp2.c_str(), 0));
  close(gWatch);
  EXPECT_EQ(0u, std::string(Vidlathe_GetLastFailure()).find(mp2 + ": became shorter while it was read"))
      << Vidlathe_GetLastFailure();
  EXPECT_FALSE(vexa::base::FileExists(out));
}

}  // namespace
}  // namespace vidlathe::testing
