// The coded-video ring, the macroblock writer's codes, the packet layouts
// and the audio queue, each on its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "encoder/mux/AudioInputQueue.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/coder/PictureEncoder.h"
#include "encoder/mux/PackWriter.h"
#include "encoder/tests/TestSupport.h"
#include "tests/support/Waits.h"

namespace vidlathe::testing {
namespace {

uint8_t PatternByte(uint64_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); }

void WriteBytes(CodedStreamBuffer& b, uint64_t from, uint64_t n) {
  for (uint64_t i = from; i < from + n; ++i) b.PutBits(PatternByte(i), 8);
}

TEST(CodedStreamBuffer, ChunksEndWithTheRestThenNothing) {
  CodedStreamBuffer b;
  WriteBytes(b, 0, 5000);
  b.MarkStillPicture(0, 0, 2);
  std::vector<uint8_t> chunk(CodedStreamBuffer::kChunk);
  uint32_t f, s;
  std::vector<size_t> sizes;
  uint64_t at = 0;
  for (size_t n; (n = b.ReadChunk(chunk.data(), &f, &s)) > 0;) {
    sizes.push_back(n);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(PatternByte(at + i), chunk[i]);
    at += n;
  }
  EXPECT_EQ((std::vector<size_t>{2294, 2294, 412}), sizes);
  EXPECT_EQ(0u, b.ReadChunk(chunk.data(), &f, &s));
}

// A chunk's time stamps are those of the first picture that starts in it.
TEST(CodedStreamBuffer, ChunkCarriesTheFirstPictureStartingInIt) {
  CodedStreamBuffer b;
  WriteBytes(b, 0, 100);
  b.MarkMotionPicture(1, 11);
  WriteBytes(b, 100, 1900);
  b.MarkMotionPicture(2, 22);
  WriteBytes(b, 2000, 3000);
  b.MarkMotionPicture(3, 33);
  WriteBytes(b, 5000, 100);
  b.MarkStillPicture(0, 0, 2);
  std::vector<uint8_t> chunk(CodedStreamBuffer::kChunk);
  uint32_t f = 9, s = 9;
  b.ReadChunk(chunk.data(), &f, &s);
  EXPECT_EQ(1u, f);
  EXPECT_EQ(11u, s);
  b.ReadChunk(chunk.data(), &f, &s);
  EXPECT_EQ(0u, f);  // no picture starts in bytes 2294..4587
  EXPECT_EQ(0u, s);
  b.ReadChunk(chunk.data(), &f, &s);
  EXPECT_EQ(3u, f);
  EXPECT_EQ(33u, s);
}

TEST(CodedStreamBuffer, PicturesAreAskedForTheirSizeThenCopiedWholeAcrossTheRingEnd) {
  CodedStreamBuffer b;
  const uint64_t sizes[] = {500000, 200000, 300000};  // the second wraps past the ring's end
  uint64_t at = 0;
  std::vector<uint8_t> buf;
  for (uint64_t size : sizes) {
    b.MarkStillPicture(0, static_cast<uint32_t>(size / 1000), 0);
    WriteBytes(b, at, size);
    b.MarkStillPicture(0, 0, 1);
    uint32_t ms = 0;
    ASSERT_EQ(size, b.ReadPicture(nullptr, 0, 0, &ms));
    ASSERT_EQ(size, b.ReadPicture(nullptr, 0, 0, &ms));  // asking again changes nothing
    EXPECT_EQ(size / 1000, ms);
    buf.assign(size, 0);
    ASSERT_EQ(size, b.ReadPicture(buf.data(), size, 0, &ms));
    for (uint64_t i = 0; i < size; ++i) ASSERT_EQ(PatternByte(at + i), buf[i]) << i;
    at += size;
  }
  b.MarkStillPicture(0, 0, 2);
  uint32_t ms;
  EXPECT_EQ(0u, b.ReadPicture(nullptr, 0, 0, &ms));
}

// A writer far ahead of the reader waits for room; no byte the reader is
// still copying is overwritten, and every byte arrives in order.
TEST(CodedStreamBuffer, FastWriterNeverOverwritesWhatTheReaderCopies) {
  const vexa::testsupport::Watchdog dog("the reader to take every byte of the fast writer");
  CodedStreamBuffer b;
  constexpr uint64_t kTotal = 6 * CodedStreamBuffer::kRingSize + 1234;
  std::jthread writer([&] {
    WriteBytes(b, 0, kTotal);
    b.MarkStillPicture(0, 0, 2);
  });
  std::vector<uint8_t> chunk(CodedStreamBuffer::kChunk);
  uint64_t at = 0;
  uint32_t f, s;
  for (size_t n; (n = b.ReadChunk(chunk.data(), &f, &s)) > 0; at += n)
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(PatternByte(at + i), chunk[i]) << at + i;
  EXPECT_EQ(kTotal, at);
}

TEST(CodedStreamBuffer, StoppedReaderReleasesABlockedWriter) {
  const vexa::testsupport::Watchdog dog("the stopped reader to release the blocked writer");
  CodedStreamBuffer b;
  std::jthread writer([&] { WriteBytes(b, 0, 2 * CodedStreamBuffer::kRingSize); });
  b.ReaderStopped();
  writer.join();
  EXPECT_EQ(8 * 2 * CodedStreamBuffer::kRingSize, b.BitCount());
}

// ---- macroblock codes ----

std::string Bits(const std::function<void(MacroblockWriter&, CodedStreamBuffer&)>& write) {
  CodedStreamBuffer b;
  MacroblockWriter w(&b);
  write(w, b);
  const uint64_t count = b.BitCount();
  b.MarkStillPicture(0, 0, 2);
  std::vector<uint8_t> chunk(CodedStreamBuffer::kChunk);
  uint32_t f, s;
  const size_t n = b.ReadChunk(chunk.data(), &f, &s);
  std::string out;
  for (uint64_t i = 0; i < count && i / 8 < n; ++i) out += (chunk[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
  return out;
}

TEST(MacroblockWriter, CodesOfTheStandard) {
  struct Case {
    const char* what;
    std::function<void(MacroblockWriter&, CodedStreamBuffer&)> write;
    std::string bits;
  };
  int16_t dcMinus1[64] = {-1}, dcPlus1[64] = {1}, firstMinus1[64] = {-1}, firstPlus2[64] = {2};
  const Case cases[] = {
      {"increment 1", [](auto& w, auto&) { w.PutAddressIncrement(1); }, "1"},
      {"increment 33", [](auto& w, auto&) { w.PutAddressIncrement(33); }, "00000011000"},
      {"increment 34", [](auto& w, auto&) { w.PutAddressIncrement(34); }, "00000001000" "1"},
      {"increment 67", [](auto& w, auto&) { w.PutAddressIncrement(67); }, "00000001000" "00000001000" "1"},
      {"run 0 level 1", [](auto& w, auto&) { w.PutRunLevel(0, 1); }, "110"},
      {"run 1 level -1", [](auto& w, auto&) { w.PutRunLevel(1, -1); }, "0111"},
      {"run 0 level 40", [](auto& w, auto&) { w.PutRunLevel(0, 40); }, "000000000010000" "0"},
      {"run 31 level 1", [](auto& w, auto&) { w.PutRunLevel(31, 1); }, "0000000000011011" "0"},
      {"run 3 level 200", [](auto& w, auto&) { w.PutRunLevel(3, 200); }, "000001" "000011" "00000000" "11001000"},
      {"run 0 level -200", [](auto& w, auto&) { w.PutRunLevel(0, -200); }, "000001" "000000" "10000000" "00111000"},
      {"run 2 level 6 (escape)", [](auto& w, auto&) { w.PutRunLevel(2, 6); }, "000001" "000010" "00000110"},
      {"first non-intra -1", [&](auto& w, auto&) { w.PutNonIntraBlock(firstMinus1); }, "11" "10"},
      {"first non-intra +2", [&](auto& w, auto&) { w.PutNonIntraBlock(firstPlus2); }, "01000" "10"},
      {"luma DC -1", [&](auto& w, auto&) { w.PutIntraBlock(dcMinus1, 0); }, "00" "0" "10"},
      {"chroma DC +1", [&](auto& w, auto&) { w.PutIntraBlock(dcPlus1, 1); }, "01" "1" "10"},
      {"intra type with quantiser", [](auto& w, auto&) { w.PutMacroblockType(1, MB_INTRA | MB_QUANT); }, "01"},
      {"P forward, nothing coded", [](auto& w, auto&) { w.PutMacroblockType(2, MB_FORWARD); }, "001"},
      {"B both ways, coded, quantiser",
       [](auto& w, auto&) { w.PutMacroblockType(3, MB_FORWARD | MB_BACKWARD | MB_PATTERN | MB_QUANT); }, "00010"},
      {"motion +3 at f_code 2", [](auto& w, auto&) { w.PutMotionDifference(3, 2); }, "001" "0" "0"},
      {"motion -16 at f_code 1", [](auto& w, auto&) { w.PutMotionDifference(-16, 1); }, "0000001100" "1"},
      {"coded block pattern 60", [](auto& w, auto&) { w.PutCodedBlockPattern(60); }, "111"},
      {"stuffing", [](auto& w, auto&) { w.PutStuffing(); }, "00000001111"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.bits, Bits(c.write)) << c.what;
}

// ---- packet layouts ----

// Walks a pack: one packet, then what its short payload left, then (audio)
// the 20 zero bytes. Returns the payload bytes, or fails the test.
std::vector<uint8_t> WalkPack(const uint8_t* pack, bool audio) {
  const size_t end = audio ? kPackSize - kAudioTail : kPackSize;
  const uint8_t* q = pack + 12;
  EXPECT_EQ(0x000001, (q[0] << 16) | (q[1] << 8) | q[2]);
  const size_t len = (q[4] << 8) | q[5];
  size_t h = 6, stuffing = 0;
  while (q[h] == 0xFF) ++h, ++stuffing;
  EXPECT_LE(stuffing, 16u);
  if ((q[h] & 0xC0) == 0x40) h += 2;
  h += (q[h] & 0xF0) == 0x30 ? 10 : (q[h] & 0xF0) == 0x20 ? 5 : 1;
  std::vector<uint8_t> payload(q + h, q + 6 + len);
  size_t pos = 12 + 6 + len;
  if (pos < end) {
    const uint8_t* pad = pack + pos;
    EXPECT_EQ(0xBE, pad[3]) << "a padding packet fills the rest";
    EXPECT_EQ(0, pad[0] | pad[1]);
    EXPECT_EQ(1, pad[2]);
    pos += 6 + ((pad[4] << 8) | pad[5]);
  }
  EXPECT_EQ(end, pos);
  for (size_t i = end; i < kPackSize; ++i) EXPECT_EQ(0, pack[i]);
  return payload;
}

TEST(PacketLayout, ShortPayloadsStayWithinTheStuffingLimit) {
  std::vector<uint8_t> data(kVideoPayload);
  for (size_t i = 0; i < data.size(); ++i) data[i] = PatternByte(i);
  for (size_t shortfall = 0; shortfall <= 12; ++shortfall)
    for (bool stamps : {true, false}) {
      SCOPED_TRACE("shortfall " + std::to_string(shortfall) + (stamps ? " with" : " without") + " time stamps");
      uint8_t pack[kPackSize];
      WritePackHeader(pack, 1200);
      const size_t v = kVideoPayload - shortfall;
      EXPECT_EQ(v, WriteVideoPacket(pack, data.data(), v, 0xE1, stamps, 9000, 6000, 46));
      EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + v), WalkPack(pack, false));
      const size_t a = kAudioPayload - shortfall;
      EXPECT_EQ(a, WriteAudioPacket(pack, data.data(), a, stamps, 9000));
      EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + a), WalkPack(pack, true));
    }
}

TEST(PacketLayout, TimeStampsAbove2To32KeepTheirTopBits) {
  uint8_t p[kPackSize];
  WritePackHeader(p, (int64_t{1} << 32) + 5);
  EXPECT_EQ(0x21 | 0x08, p[4]);  // '0010', bits 32..30 = 100, marker
  WriteVideoPacket(p, p, 10, 0xE1, true, (int64_t{1} << 31) + 1, 0, 46);
  EXPECT_EQ(0x31 | 0x04, p[12 + 6 + 2]);  // '0011', bits 32..30 = 010, marker
}

// ---- audio queue ----

// n Layer II frames of 731 bytes (224 kbit/s, 44.1 kHz, no padding); each
// frame's body holds its number.
std::vector<uint8_t> Frames(int n) {
  std::vector<uint8_t> d;
  for (int i = 0; i < n; ++i) {
    const uint8_t header[4] = {0xFF, 0xFD, 0xB0, 0x04};
    d.insert(d.end(), header, header + 4);
    d.insert(d.end(), 727, static_cast<uint8_t>(i + 1));
  }
  return d;
}

void FeedAll(AudioInputQueue& q, const std::vector<uint8_t>& d) {
  for (size_t at = 0; at < d.size(); at += 4096) {
    const size_t n = std::min<size_t>(4096, d.size() - at);
    ASSERT_TRUE(q.AddBuffer(std::vector<uint8_t>(d.begin() + at, d.begin() + at + n), at + n == d.size()));
  }
  q.Finish();
}

TEST(AudioInputQueue, PacketsCarryTheFirstFrameStartingInThem) {
  AudioInputQueue q;
  const auto d = Frames(20);
  std::jthread feeder([&] { FeedAll(q, d); });
  std::vector<int64_t> numbers;
  std::vector<uint8_t> out;
  uint8_t packet[AudioInputQueue::kPacketPayload];
  int64_t first;
  for (size_t n; (n = q.TakePacket(packet, &first)) > 0;) {
    numbers.push_back(first);
    out.insert(out.end(), packet, packet + n);
  }
  EXPECT_EQ((std::vector<int64_t>{0, 4, 7, 10, 13, 16, 19}), numbers);
  EXPECT_EQ(d, out);  // the last frame is delivered too
}

TEST(AudioInputQueue, GarbageIsSkippedAndACutLastFrameDropped) {
  AudioInputQueue q;
  std::vector<uint8_t> d = {0x12, 0xFF, 0x00, 0xFF, 0xFE};  // no usable header in here
  const auto frames = Frames(3);
  d.insert(d.end(), frames.begin(), frames.end());
  d.insert(d.end(), frames.begin(), frames.begin() + 500);  // a cut fourth frame
  std::jthread feeder([&] { FeedAll(q, d); });
  uint8_t frame[4096];
  int64_t n;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(731u, q.TakeFrame(frame, sizeof frame, &n));
    EXPECT_EQ(i, n);
    EXPECT_EQ(i + 1, frame[100]);
  }
  EXPECT_EQ(0u, q.TakeFrame(frame, sizeof frame, &n));
  EXPECT_EQ(-1, n);
}

TEST(AudioInputQueue, LoopingReaderRepeatsTheFileWithoutItsCutFrame) {
  TempDir dir;
  auto d = Frames(3);
  const auto tail = Frames(1);
  d.insert(d.end(), tail.begin(), tail.begin() + 300);
  const std::string path = dir.File("loop.mp2");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(path, std::string(d.begin(), d.end())));
  AudioInputQueue q;
  std::jthread reader([&] { RunAudioFileReader(path, true, &q); });
  uint8_t frame[4096];
  int64_t n;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(731u, q.TakeFrame(frame, sizeof frame, &n));
    EXPECT_EQ(i, n);
    EXPECT_EQ(i % 3 + 1, frame[100]) << i;
  }
  q.Abort();  // the reader, blocked or not, ends
}

TEST(AudioInputQueue, Mp2PropertiesNeedTwoFramesOneFrameApart) {
  TempDir dir;
  auto check = [&](const std::vector<uint8_t>& d) {
    const std::string path = dir.File("p.mp2");
    vexa::base::WriteFileAtomic(path, std::string(d.begin(), d.end()));
    StreamProperties p;
    Get_MP2_Prop(path.c_str(), &p);
    return p;
  };
  StreamProperties p = check(Frames(3));
  EXPECT_EQ(1, p.audioValid);
  EXPECT_EQ(1, p.audioLayer2At44k);
  EXPECT_EQ(1, p.audio224k);
  EXPECT_EQ(11, p.audioBitRateIndex);
  auto one = Frames(1);
  one.insert(one.end(), 200, 0x55);
  EXPECT_EQ(0, check(one).audioValid);
  StreamProperties missing;
  std::memset(&missing, 0x7F, sizeof missing);
  Get_MP2_Prop(dir.File("none.mp2").c_str(), &missing);
  StreamProperties zero{};
  EXPECT_EQ(0, std::memcmp(&zero, &missing, sizeof zero));
}

}  // namespace
}  // namespace vidlathe::testing

namespace vidlathe::testing {
namespace {

// Group time codes count whole pictures at the rounded rate, with no
// drop-frame correction, and wrap after 24 hours.
TEST(GopHeader, TimeCodes) {
  struct Case {
    int rateCode, index;
    std::string bits;  // drop, hours, minutes, marker, seconds, pictures, closed, broken
  };
  const Case cases[] = {
      {3, 0, "0" "00000" "000000" "1" "000000" "000000" "0" "0"},
      {3, 90000, "0" "00001" "000000" "1" "000000" "000000" "0" "0"},
      {3, 2160000, "0" "00000" "000000" "1" "000000" "000000" "0" "0"},
      {4, 61, "0" "00000" "000000" "1" "000010" "000001" "0" "0"},
      {1, 24 * 61 + 5, "0" "00000" "000001" "1" "000001" "000101" "0" "0"},
  };
  for (const Case& c : cases) {
    CodedStreamBuffer b;
    EncodeJob job;
    job.kind = 0x101;
    job.width = 352;
    job.height = 240;
    job.rateCode = static_cast<uint32_t>(c.rateCode);
    job.codedStream = &b;
    GopParameters gop;
    SequenceParameters seq;
    SetUpJob(&job, &gop, &seq);
    PictureEncoder pe;
    ASSERT_TRUE(pe.Setup(&job));
    pe.WriteGopHeader(c.index, 0);
    b.MarkStillPicture(0, 0, 2);
    std::vector<uint8_t> chunk(CodedStreamBuffer::kChunk);
    uint32_t f, s;
    ASSERT_EQ(8u, b.ReadChunk(chunk.data(), &f, &s));
    std::string bits;
    for (int i = 32; i < 59; ++i) bits += (chunk[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
    EXPECT_EQ(c.bits, bits) << "rate " << c.rateCode << " picture " << c.index;
  }
}

}  // namespace
}  // namespace vidlathe::testing
