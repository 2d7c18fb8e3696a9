// The MPEG track writer against the plan of the image layout: for streams
// of several sizes, the units it writes are the sectors AVSEQ01.DAT's extent
// covers, the pieces hold the file, and only the last sector ends the file.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "disclib/vcd/ISOFormat.h"
#include "disclib/vcd/VCDTrackWriter.h"
#include "disclib/vcd/tests/EncodeFixtures.h"

namespace vexa::vcd::testing {
namespace {

class TrackWriterTest : public ScratchTest {
 protected:
  // A stream of size bytes whose 2324-byte pieces alternate video and audio
  // packs (with a byte pattern after the pack header), a piece of
  // something else every seventh; the first two open with a system header
  // announcing the video and the audio stream, then padding.
  std::string Stream(const std::string& name, std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 2324);
    for (std::size_t at = 0, piece = 0; at + 16 <= size; at += kVCDForm2DataBytes, ++piece) {
      if (piece % 7 == 6) continue;
      const char pack[16] = {0, 0, 1, static_cast<char>(0xBA), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                             static_cast<char>(piece < 2 ? 0xBB : piece % 2 ? 0xC0 : 0xE0)};
      std::memcpy(&s[at], pack, 16);
      if (piece < 2 && at + 31 <= size) {
        const char header[15] = {0, 9, static_cast<char>(0x80), 0x1B, static_cast<char>(0x91), 1,
                                 static_cast<char>(0xE1), static_cast<char>(0xFF),
                                 static_cast<char>(piece ? 0xC0 : 0xE0), static_cast<char>(0xE0), 0x2E,
                                 0, 0, 1, static_cast<char>(0xBE)};
        std::memcpy(&s[at + 16], header, 15);
      }
    }
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << s;
    return path;
  }
};

TEST_F(TrackWriterTest, TheTrackIsThePlannedExtentForEveryStreamSize) {
  const std::size_t sizes[] = {0, 1, 2323, 2324, 2325, 300 * 2324};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string path = Stream("t" + std::to_string(size) + ".dat", size);
    std::string file;
    {
      std::ifstream in(path, std::ios::binary);
      file.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::uint8_t> units;
    int calls = 0;
    const VCDTrackWriteResult r = VCDWriteMpegTrack(
        path,
        [&](const std::uint8_t* u, int count) {
          EXPECT_GE(count, 1);
          EXPECT_LE(count, 16);
          units.insert(units.end(), u, u + static_cast<std::size_t>(count) * kVCDUnitBytes);
          ++calls;
          return true;
        },
        [] { return false; });
    ASSERT_TRUE(r.ok) << r.error;
    const std::size_t n = units.size() / kVCDUnitBytes;
    EXPECT_EQ(r.units, n);

    // The image layout's extent for the same file: AVSEQ01.DAT and the
    // ENTRIES.VCD entry (its first MPEG sector) in the plan of the layout.
    VCDClassISOFormat iso;
    ASSERT_EQ(iso.AddVCDTrack(path.c_str(), 1), 1);
    const VCDImagePlan plan = PlanVCDImage({}, {}, {size});
    ASSERT_EQ(plan.track.size(), 1u);
    EXPECT_EQ(n, plan.track[0].sectors.total);
    EXPECT_GE(n, 300u);
    const std::size_t front = plan.track[0].sectors.front;
    const std::size_t pieces = (size + kVCDForm2DataBytes - 1) / kVCDForm2DataBytes;
    EXPECT_EQ(plan.track[0].sectors.data, pieces);

    std::string data;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* u = units.data() + i * kVCDUnitBytes;
      ASSERT_EQ(std::memcmp(u, u + 4, 4), 0) << i;  // the subheader twice
      const bool last = i + 1 == n;
      ASSERT_EQ(u[2] & 0x80, last ? 0x80 : 0) << i;  // end of file on the last sector only
      if (i < front || i >= front + pieces) {
        ASSERT_EQ(u[0], 0) << i;
        ASSERT_EQ(u[2] & 0x7F, 0x20) << i;  // plain Form 2, empty
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(u + 8), kVCDForm2DataBytes),
                  std::string(kVCDForm2DataBytes, '\0'))
            << i;
        continue;
      }
      const std::size_t piece = i - front;
      data.append(reinterpret_cast<const char*>(u + 8), kVCDForm2DataBytes);
      const bool pack = piece * kVCDForm2DataBytes + (piece < 2 ? 31 : 16) <= size && piece % 7 != 6;
      const std::uint8_t expect = !pack ? 0x60 : piece % 2 ? 0x64 : 0x62;
      ASSERT_EQ(u[2] & 0x7F, expect) << i;
      ASSERT_EQ(u[1], pack ? 1 : 0) << i;
    }
    // The pieces are the file, the last one zero-filled.
    ASSERT_EQ(data.size(), pieces * kVCDForm2DataBytes);
    EXPECT_EQ(data.substr(0, size), file);
    EXPECT_EQ(data.substr(size), std::string(data.size() - size, '\0'));
  }
}

TEST_F(TrackWriterTest, StopsWhenAskedOrRefused) {
  const std::string path = Stream("t.dat", 100 * 2324);
  // A stop after two blocks: 32 units written, no more.
  int blocks = 0;
  VCDTrackWriteResult r = VCDWriteMpegTrack(
      path, [&](const std::uint8_t*, int count) { return count > 0; }, [&] { return ++blocks > 2; });
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.units, 32u);
  EXPECT_EQ(r.error, "");
  // A refused write ends the track with its reason.
  r = VCDWriteMpegTrack(path, [](const std::uint8_t*, int) { return false; }, [] { return false; });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.units, 0u);
  EXPECT_EQ(r.error, "the recorder refused a write");
  // A file that is not there.
  r = VCDWriteMpegTrack(Path("none.dat"), [](const std::uint8_t*, int) { return true; }, [] { return false; });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "cannot open track " + Path("none.dat"));
}

}  // namespace
}  // namespace vexa::vcd::testing
