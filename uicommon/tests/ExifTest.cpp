// EXIF segments and FlashPix audio: fixtures are made at test time from a
// JPEG written by Qt, checked with exiftool -v3 where it matters, and fed
// hostile segment lengths.
#include <QBuffer>
#include <QImage>
#include <filesystem>

#include "uicommon/common/Exif.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

std::string Be16(int v) { return std::string{char((v >> 8) & 0xFF), char(v & 0xFF)}; }
std::string Be32(std::uint32_t v) {
  return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string Segment(int marker, const std::string& body) {
  return Be16(marker) + Be16(int(body.size()) + 2) + body;
}

// A plain JPEG: SOI, its own application segments, then DQT and the rest.
std::string PlainJpeg() {
  QImage image(48, 32, QImage::Format_RGB32);
  image.fill(QColor(40, 120, 200));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 80);
  return bytes.toStdString();
}

// Everything of a JPEG from its first DQT segment on.
std::string FromDqt(const std::string& jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && !(jpeg[at] == '\xFF' && jpeg[at + 1] == '\xDB')) {
    const int len = (std::uint8_t(jpeg[at + 2]) << 8) | std::uint8_t(jpeg[at + 3]);
    at += 2 + len;
  }
  return jpeg.substr(at);
}

std::string ExifApp1() {
  // "Exif" NUL pad, then a big-endian TIFF header with an empty IFD.
  return Segment(0xFFE1, std::string("Exif\0\0", 6) + "MM" + Be16(42) + Be32(8) + Be16(0) + Be32(0));
}

std::string ContentsList(int entries) {
  return Segment(0xFFE2, std::string("FPXR\0", 5) + std::string("\x00\x01", 2) + Be16(entries) +
                             std::string(20, '\x11'));
}

std::string PropertySet(char fill) {
  return Segment(0xFFE2, std::string("FPXR\0", 5) + std::string("\x00\x02", 2) + Be16(4) + Be32(0) +
                             std::string(30, fill));
}

std::string StreamSegment(const std::string& data, bool first, std::uint32_t offset) {
  std::string body = std::string("FPXR\0", 5) + std::string("\x00\x02", 2) + Be16(4) + Be32(offset);
  if (first) body += std::string(28, '\x7E');
  return Segment(0xFFE2, body + data);
}

std::string AudioBytes(std::size_t n, int seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = char((i * 31 + seed * 7 + (i >> 9)) & 0xFF);
  return s;
}

// An EXIF file with FlashPix audio: the contents list, three property sets
// and the audio stream in two segments (the first over 32 KiB).
struct AudioJpeg {
  std::string bytes;
  std::string audio;
  std::string run;  // the APP2 segments
};
AudioJpeg MakeAudioJpeg() {
  AudioJpeg j;
  const std::string a = AudioBytes(40000, 1), b = AudioBytes(5000, 2);
  j.audio = a + b;
  j.run = ContentsList(5) + PropertySet('\x21') + PropertySet('\x22') + PropertySet('\x23') +
          StreamSegment(a, true, 0) + StreamSegment(b, false, 40000);
  j.bytes = std::string("\xFF\xD8", 2) + ExifApp1() + j.run + FromDqt(PlainJpeg());
  return j;
}

std::string ExifWithoutAudio() {
  return std::string("\xFF\xD8", 2) + ExifApp1() + ContentsList(2) + FromDqt(PlainJpeg());
}

class ExifTest : public UiTest {};

TEST_F(ExifTest, RecognisesExifAndAudio) {
  const std::string plain = m_temp.Path("plain.jpg"), two = m_temp.Path("two.jpg"),
                    three = m_temp.Path("three.jpg"), audio = m_temp.Path("audio.jpg");
  WriteAll(plain, PlainJpeg());
  WriteAll(two, ExifWithoutAudio());
  WriteAll(three, std::string("\xFF\xD8", 2) + ExifApp1() + ContentsList(3) + FromDqt(PlainJpeg()));
  WriteAll(audio, MakeAudioJpeg().bytes);

  EXPECT_FALSE(CExif::IsExif(plain));
  EXPECT_FALSE(CExif::AudioPresent(plain));
  EXPECT_TRUE(CExif::IsExif(two));
  EXPECT_FALSE(CExif::AudioPresent(two));
  EXPECT_FALSE(CExif::AudioPresent(three));
  EXPECT_TRUE(CExif::AudioPresent(audio));
  EXPECT_EQ(CExif::ReadHeader(m_temp.Path("missing.jpg")), EXIF_CANNOT_OPEN);

  // A contents list of three entries is invalid.
  CFile f(three, std::ios::in | std::ios::binary);
  f.seekg(2);
  int len = 0, entries = 0;
  ASSERT_EQ(CExif::ReadAppMarker(&f, &len, 0xFFE1), EXIF_SUCCESS);
  const auto before = f.tellg();
  EXPECT_EQ(CExif::ReadMarkerReadyContentsList(&f, &entries), EXIF_INVALID_CONTENTS);
  EXPECT_EQ(f.tellg(), before);  // a failing reader seeks back

  std::vector<std::string> trace;
  CExif::SetStatusList(&trace);
  EXPECT_EQ(CExif(audio).ReadMarkers(), EXIF_SUCCESS);
  CExif::AudioPresent(audio);
  CExif::SetStatusList(nullptr);
  EXPECT_NE(std::find(trace.begin(), trace.end(), "CExif::AudioPresent() - true"), trace.end());
  EXPECT_NE(std::find(trace.begin(), trace.end(), "Expecting FlashPix Audio Stream"), trace.end());
  EXPECT_NE(std::find(trace.begin(), trace.end(), "   \"FPXR\" - APP ID Code"), trace.end());
}

TEST_F(ExifTest, CopiesTheAudioStreamWhole) {
  const AudioJpeg j = MakeAudioJpeg();
  const std::string path = m_temp.Path("audio.jpg"), out = m_temp.Path("clip.wav");
  WriteAll(path, j.bytes);
  ASSERT_TRUE(CExif(path).AudioCopyToFile(out));
  EXPECT_TRUE(ReadAll(out) == j.audio);  // 45000 bytes, the first segment in two pieces
}

TEST_F(ExifTest, EmbedsTheAudioRunBeforeDqtAndKeepsTheRest) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/exiftool");
  const AudioJpeg source = MakeAudioJpeg();
  const std::string src = m_temp.Path("source.jpg"), target = m_temp.Path("target.jpg");
  const std::string work = m_temp.Path("work");
  std::filesystem::create_directory(work);
  WriteAll(src, source.bytes);
  // The target: EXIF, then DQT and the picture.
  const std::string head = std::string("\xFF\xD8", 2) + ExifApp1();
  const std::string tail = FromDqt(PlainJpeg());
  WriteAll(target, head + tail);

  ASSERT_TRUE(CExif(target).AudioEmbedFromExif(src, work));
  // The source's APP2 run (from its first APP2 on) now stands before DQT,
  // and everything else is the target as it was.
  EXPECT_TRUE(ReadAll(target) == head + source.run + tail);
  EXPECT_TRUE(CExif::AudioPresent(target));
  EXPECT_TRUE(std::filesystem::is_empty(work));  // the marker file is gone
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_temp.dir()), {}), 4);

  // exiftool sees the segments in that order: APP1, six APP2, DQT.
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/exiftool -v3 " + Quote(target), &out), 0) << out;
  std::vector<std::string> order;
  std::size_t at = 0;
  while ((at = out.find("JPEG ", at)) != std::string::npos) {
    const std::size_t end = out.find(' ', at + 5);
    order.push_back(out.substr(at + 5, end - at - 5));
    at = end;
  }
  ASSERT_GE(order.size(), 8u) << out;
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 8),
            (std::vector<std::string>{"APP1", "APP2", "APP2", "APP2", "APP2", "APP2", "APP2", "DQT"}))
      << out;

  // A second embedding changes nothing: the target now holds audio.
  const std::string now = ReadAll(target);
  EXPECT_FALSE(CExif(target).AudioEmbedFromExif(src, work));
  EXPECT_TRUE(ReadAll(target) == now);
}

TEST_F(ExifTest, HostileSegmentLengthsFailWithoutHarm) {
  const AudioJpeg good = MakeAudioJpeg();
  const std::string head = std::string("\xFF\xD8", 2) + ExifApp1() + ContentsList(5) +
                           PropertySet('a') + PropertySet('b') + PropertySet('c');
  const std::string tail = FromDqt(PlainJpeg());
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      // A stream segment shorter than its own fixed fields and header.
      {"short_first_stream", head + Segment(0xFFE2, std::string("FPXR\0", 5) + std::string("\x00\x02", 2) +
                                                        Be16(4) + Be32(0) + "tiny") + tail},
      // A length that runs past the end of the file.
      {"past_end", head + Be16(0xFFE2) + Be16(0xFFF0) + std::string("FPXR\0\x00\x02\x00\x04", 9)},
      // A length below the two bytes of the length itself.
      {"length_one", head + Be16(0xFFE2) + Be16(1) + tail},
      // An identification code with no terminating zero in its segment.
      {"unterminated_id", head + Segment(0xFFE2, "FPXRFPXR") + tail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = m_temp.Path(std::string(c.name) + ".jpg");
    const std::string out = m_temp.Path(std::string(c.name) + ".wav");
    WriteAll(path, c.bytes);
    EXPECT_FALSE(CExif(path).AudioCopyToFile(out));
    EXPECT_FALSE(std::filesystem::exists(out));
    // Only a damaged segment stops the walk; only a damaged frame (a length
    // that does not fit) stops the segments being moved whole.
    const std::string name = c.name;
    const bool framing = name != "short_first_stream";
    const bool frameBroken = name == "past_end" || name == "length_one";
    if (framing) {
      EXPECT_NE(CExif(path).ReadMarkers(), EXIF_SUCCESS);
    }

    // Used as a source, it does not change the target.
    const std::string target = m_temp.Path(std::string(c.name) + "-target.jpg");
    WriteAll(target, ExifWithoutAudio());
    const std::string before = ReadAll(target);
    CExif(target).AudioEmbedFromExif(path, m_temp.dir());
    if (frameBroken) {
      EXPECT_TRUE(ReadAll(target) == before);
    }
  }

  // A target that ends before any DQT segment is left as it was.
  const std::string src = m_temp.Path("src.jpg"), target = m_temp.Path("nodqt.jpg");
  WriteAll(src, good.bytes);
  const std::string noDqt = std::string("\xFF\xD8", 2) + ExifApp1() + Segment(0xFFFE, "x");
  WriteAll(target, noDqt);
  EXPECT_FALSE(CExif(target).AudioEmbedFromExif(src, m_temp.dir()));
  EXPECT_TRUE(ReadAll(target) == noDqt);
  // A work folder that does not exist: the target stays as it was.
  const std::string target2 = m_temp.Path("t2.jpg");
  WriteAll(target2, ExifWithoutAudio());
  std::vector<std::string> trace;
  CExif::SetStatusList(&trace);
  EXPECT_FALSE(CExif(target2).AudioEmbedFromExif(src, m_temp.Path("no/such/folder")));
  CExif::SetStatusList(nullptr);
  EXPECT_TRUE(ReadAll(target2) == ExifWithoutAudio());
  ASSERT_FALSE(trace.empty());
  EXPECT_NE(trace.back().find("Could not create temporary file"), std::string::npos);
}

}  // namespace
