// vcd-mkimage end to end: albums of 1 and 13 stills with segments, one MPEG
// track with music, and files with long and non-Latin names, made into a
// .bin/.cue and checked by the tools that know Video CDs and ISO 9660.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "disclib/vcd/tests/SectorCheck.h"
#include "platform/base/Path.h"
#include "tests/support/Checkers.h"
#include "tests/support/FileTree.h"

namespace {

using vexa::testsupport::Shell;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// True when the text holds a word like "warning" or "error" in any case.
bool Complains(const std::string& text) {
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower.find("warn") != std::string::npos || lower.find("error") != std::string::npos;
}

// The number right after `label` in text; -1 when the label is missing.
long NumberAfter(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + label.size(), nullptr, 10);
}

class MkImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* need[] = {"ffmpeg", "ffprobe", "vcd-info", "vcdxrip", "cd-info", "isoinfo", "iso-info", "xorriso"};
    for (const char* tool : need) {
      if (!vexa::testsupport::HaveProgram(tool)) {
        if (vexa::testsupport::CheckersRequired()) FAIL() << tool << " missing";
        GTEST_SKIP() << tool << " missing";
      }
    }
    if (Shell("/usr/bin/python3 -c 'import pycdlib'") != 0) {
      if (vexa::testsupport::CheckersRequired()) FAIL() << "pycdlib missing";
      GTEST_SKIP() << "pycdlib missing";
    }
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-mkimage-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (!dir_.empty()) vexa::base::RemoveAll(dir_);
  }
  std::string P(const std::string& name) const { return dir_ + "/" + name; }
  std::string Tool(const std::string& name) const { return std::string(VEXA_BUILD_DIR) + "/bin/" + name; }
  void Run(const std::string& command) {
    std::string out;
    ASSERT_EQ(Shell("cd '" + dir_ + "' && " + command, &out), 0) << command << "\n" << out;
  }

  // n stills as segments, a menu over them, a music track, and files.
  void MakeAlbum(int n, bool track) {
    std::ostringstream desc, menu;
    desc << "fs 1\nvolume ALBUM_" << n << "\n";
    for (int i = 1; i <= n; ++i) {
      const std::string jpg = "p" + std::to_string(i) + ".jpg", seg = "seg" + std::to_string(i) + ".mpg";
      Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=640x480 -vf hue=h=" + std::to_string(i * 25) +
          " -frames:v 1 " + jpg);
      Run("'" + Tool("vidlathe-cli") + "' v1 1 " + seg + " " + jpg + " >/dev/null");
      desc << "segment " << seg << " 4\n";  // 4: an NTSC still
    }
    menu << "max " << n + 3 << "\nsel 1 item=1000 wait=5 default=2 timeout=" << n + 2 << " targets=";
    for (int i = 2; i <= n + 1; ++i) menu << i << (i <= n ? "," : "\n");
    for (int i = 2; i <= n + 1; ++i) {
      menu << "play " << i << " items=" << 998 + i << " return=1 next=" << i + 1 << " prev=" << i - 1 << " wait=5\n";
    }
    menu << "play " << n + 2 << " items=" << (track ? 2 : 1000) << " return=1 next=" << n + 3 << "\nend " << n + 3 << "\n";
    std::ofstream(P("menu.txt")) << menu.str();
    Run("'" + Tool("vcd-lists") + "' menu.txt LOT.VCD PSD.VCD");
    desc << "lists LOT.VCD PSD.VCD " << n + 3 << "\n";
    if (track) {
      Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i \"aevalsrc=0.4*sin(440*2*PI*t)|0.4*sin(554*2*PI*t):s=44100:d="
          "12\" -c:a libmp3lame music.mp3");
      Run("'" + Tool("vcd-encode") + "' audio DISCPAK.MP2 music.mp3");
      Run("'" + Tool("vcd-encode") + "' video -f 0 -t 1000 -c 0 -a DISCPAK.MP2 DISCPAK.DAT p1.jpg");
      desc << "track DISCPAK.DAT 1 \"\\MUSIC\\Slide show.mpg\"\n";
    }
    Run("mkdir -p files && printf 'hello\\n' > files/readme.txt && head -c 150000 /dev/urandom > files/data.bin"
        " && printf 'Gr\\303\\274\\303\\237e\\n' > 'files/Grüße aus Köln.txt' && printf 'photo' > 'files/фото.txt'");
    desc << "file files/readme.txt \\ORLDISC\\README.TXT\n"
         << "file files/data.bin /ORLDISC/DATA/DATA.BIN\n"
         << "file \"files/Grüße aus Köln.txt\" \\ORLDISC\\GRUSSE.TXT\n"
         << "link \"files/Grüße aus Köln.txt\" \"\\ORLDISC\\Grüße aus Köln.txt\"\n"
         << "file files/фото.txt \\ORLDISC\\FOTO.TXT\n"
         << "link files/фото.txt \"\\ORLDISC\\фото.txt\"\n";
    std::ofstream(P("disc.txt")) << desc.str();
  }

  // Every Form 1 sector of track 1 carries a right EDC and ECC; segment
  // sectors are Form 2; returns the track's user data as a cooked image.
  void CheckTrackOne(std::uint32_t sectors, std::uint32_t firstSegment, std::uint32_t segmentSectors) {
    const std::string bin = Read(P("disc.bin"));
    ASSERT_GE(bin.size(), static_cast<std::size_t>(sectors) * 2352);
    std::string cooked;
    for (std::uint32_t s = 0; s < sectors; ++s) {
      const auto* raw = reinterpret_cast<const std::uint8_t*>(bin.data()) + static_cast<std::size_t>(s) * 2352;
      const bool form2 = raw[18] & 0x20;
      const bool inSegments = s >= firstSegment && s < firstSegment + segmentSectors;
      ASSERT_EQ(form2, inSegments) << "sector " << s;
      ASSERT_EQ(std::memcmp(raw + 16, raw + 20, 4), 0) << "sector " << s;
      if (!form2) {
        ASSERT_TRUE(vexa::vcd::testing::Form1EdcOk(raw)) << "sector " << s;
        ASSERT_TRUE(vexa::vcd::testing::Form1ParityOk(raw, true)) << "sector " << s;
      }
      cooked.append(reinterpret_cast<const char*>(raw + 24), 2048);
    }
    std::ofstream(P("track1.iso"), std::ios::binary) << cooked;
  }

  void CheckFiles() {
    struct File {
      const char* source;
      const char* iso;
      const char* joliet;
    };
    const File files[] = {{"files/readme.txt", "/ORLDISC/README.TXT;1", "/ORLDISC/README.TXT;1"},
                          {"files/data.bin", "/ORLDISC/DATA/DATA.BIN;1", "/ORLDISC/DATA/DATA.BIN;1"},
                          {"files/Grüße aus Köln.txt", "/ORLDISC/GRUSSE.TXT;1", "/ORLDISC/Grüße aus Köln.txt;1"},
                          {"files/фото.txt", "/ORLDISC/FOTO.TXT;1", "/ORLDISC/фото.txt;1"}};
    std::string listing;
    Run("isoinfo -l -J -i track1.iso > listing.txt");
    listing = Read(P("listing.txt"));
    EXPECT_NE(listing.find("README.TXT"), std::string::npos) << listing;
    for (const File& f : files) {
      SCOPED_TRACE(f.source);
      const std::string source = Read(P(f.source));
      // isoinfo through the ISO 9660 names, pycdlib through both trees.
      std::string out;
      Run(std::string("isoinfo -i track1.iso -x '") + f.iso + "' > x.out");
      EXPECT_EQ(Read(P("x.out")), source);
      Run(std::string("/usr/bin/python3 -c \"import pycdlib,io,sys; p=pycdlib.PyCdlib(); p.open('track1.iso'); "
                      "b=io.BytesIO(); p.get_file_from_iso_fp(b, joliet_path=sys.argv[1]); "
                      "open('j.out','wb').write(b.getvalue())\" '") + f.joliet + "'");
      EXPECT_EQ(Read(P("j.out")), source);
    }
    // xorriso restores the Joliet tree's folder with every name.
    Run("xorriso -indev track1.iso -osirrox on -extract /ORLDISC xo >/dev/null 2>&1");
    EXPECT_EQ(Read(P("xo/Grüße aus Köln.txt")), Read(P("files/Grüße aus Köln.txt")));
    EXPECT_EQ(Read(P("xo/фото.txt")), Read(P("files/фото.txt")));
    EXPECT_EQ(Read(P("xo/DATA/DATA.BIN")), Read(P("files/data.bin")));
    Run("iso-info -i track1.iso -f > isoinfo.txt");
    EXPECT_NE(Read(P("isoinfo.txt")).find("/VCD/ENTRIES.VCD"), std::string::npos);
  }

  std::string dir_;
};

TEST_F(MkImageTest, ThirteenStillsAndAMusicTrack) {
  MakeAlbum(13, true);
  Run("'" + Tool("vcd-mkimage") + "' --no-pad disc.txt disc.bin > mk.txt");

  std::string info;
  ASSERT_EQ(Shell("vcd-info --cue-file '" + P("disc.cue") + "' -I -E -L -p", &info), 0) << info;
  EXPECT_FALSE(Complains(info)) << info;
  std::string full;
  ASSERT_EQ(Shell("vcd-info --cue-file '" + P("disc.cue") + "'", &full), 0);
  EXPECT_NE(full.find("VCD 2.0 detected"), std::string::npos) << full;
  EXPECT_NE(full.find("system id: `CD-RTOS CD-BRIDGE'"), std::string::npos);
  EXPECT_NE(info.find("number of segments: 13"), std::string::npos) << info;
  EXPECT_NE(info.find("offset multiplier: 0x08"), std::string::npos);
  EXPECT_NE(info.find("maximum lid: 16"), std::string::npos);
  EXPECT_NE(info.find("ENTRY[00]: track#  1 (SEQUENCE[0])"), std::string::npos) << info;
  EXPECT_NE(info.find("PSD[15] (LID[16] @0x"), std::string::npos) << info;
  EXPECT_NE(info.find("play-item[0]: SEQUENCE[0] (0x0002)"), std::string::npos);
  EXPECT_NE(info.find("prev: disabled"), std::string::npos);  // the selection list's, never set

  // The track sits where ENTRIES.VCD and the disc's table of contents say.
  const long track1 = NumberAfter(full, "ISO size: ");
  ASSERT_GT(track1, 1300);
  EXPECT_EQ(NumberAfter(info, "ENTRY[00]: track#  1 (SEQUENCE[0]), LSN"), track1 + 152 + 32);
  std::string cd;
  ASSERT_EQ(Shell("cd-info --no-cddb --cue-file '" + P("disc.cue") + "'", &cd), 0) << cd;
  EXPECT_NE(cd.find("Video CD"), std::string::npos) << cd;
  EXPECT_NE(cd.find("1: 00:02:00  000000 XA"), std::string::npos) << cd;
  char second[32];
  std::snprintf(second, sizeof second, "  %06ld XA", track1 + 152);
  EXPECT_NE(cd.find(second), std::string::npos) << cd;

  // vcdxrip takes every segment and the track out unchanged.
  Run("mkdir rip && cd rip && vcdxrip --cue-file ../disc.cue > rip.log");
  for (int i = 1; i <= 13; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "rip/item%04d.mpg", i);
    EXPECT_EQ(Read(P(name)), Read(P("seg" + std::to_string(i) + ".mpg"))) << name;
  }
  EXPECT_EQ(Read(P("rip/avseq01.mpg")), Read(P("DISCPAK.DAT")));
  std::string probe;
  ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + P("rip/avseq01.mpg") + "'", &probe), 0);
  EXPECT_NE(probe.find("mpeg1video"), std::string::npos);
  EXPECT_NE(probe.find("mp2"), std::string::npos);
  ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + P("rip/item0013.mpg") + "'", &probe), 0);
  EXPECT_NE(probe.find("mpeg1video"), std::string::npos);

  const long minutes = NumberAfter(info, "first segment addr: ");
  const long seconds = NumberAfter(info, "first segment addr: " + std::string(minutes < 10 ? "0" : "") +
                                             std::to_string(minutes) + ":");
  ASSERT_GE(minutes, 0);
  const auto firstSegment = static_cast<std::uint32_t>(minutes * 4500 + seconds * 75 - 150);
  CheckTrackOne(static_cast<std::uint32_t>(track1), firstSegment, 13 * 150);
  CheckFiles();
  // The AVSEQ entry and its alternative name describe the whole track.
  Run("isoinfo -l -J -i track1.iso > listing.txt");
  EXPECT_NE(Read(P("listing.txt")).find("Slide show.mpg"), std::string::npos);
}

TEST_F(MkImageTest, OneStillPaddedToTheDiscsEnd) {
  MakeAlbum(1, false);
  Run("'" + Tool("vcd-mkimage") + "' disc.txt disc.bin > mk.txt");
  const std::string cue = Read(P("disc.cue"));
  EXPECT_NE(cue.find("TRACK 02 MODE2/2352"), std::string::npos) << cue;  // the padding track
  EXPECT_NE(cue.find("FILE \"disc.bin\" BINARY"), std::string::npos) << cue;
  EXPECT_EQ(vexa::base::FileExists(P("disc.bin")), true);
  // The recorder's work folder is gone once its image was moved out.
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_NE(entry.path().filename().string().rfind(".vcd-mkimage-", 0), 0u) << entry.path();
  }
  std::string info;
  ASSERT_EQ(Shell("vcd-info --cue-file '" + P("disc.cue") + "' -I -E -L -p", &info), 0) << info;
  EXPECT_FALSE(Complains(info)) << info;
  EXPECT_NE(info.find("number of segments: 1"), std::string::npos) << info;
  std::string cd;
  ASSERT_EQ(Shell("cd-info --no-cddb --cue-file '" + P("disc.cue") + "'", &cd), 0) << cd;
  // The padding track ends at sector 50000; the drive's 2 run-out sectors
  // follow it.
  EXPECT_NE(cd.find("050002 leadout"), std::string::npos) << cd;
  Run("mkdir rip && cd rip && vcdxrip --cue-file ../disc.cue > rip.log");
  EXPECT_EQ(Read(P("rip/item0001.mpg")), Read(P("seg1.mpg")));
}

// The image or its cue sheet named as one of the files it is made from is
// refused before anything is written; every input stays as it was.
TEST_F(MkImageTest, AnOutputThatIsAnInputIsRefused) {
  MakeAlbum(1, false);
  const std::string segment = Read(P("seg1.mpg")), description = Read(P("disc.txt")), lot = Read(P("LOT.VCD"));
  for (const char* out : {"seg1.mpg", "disc.txt", "LOT.VCD", "files/readme.txt", "./files/../seg1.mpg"}) {
    SCOPED_TRACE(out);
    std::string said;
    EXPECT_EQ(Shell("cd '" + dir_ + "' && '" + Tool("vcd-mkimage") + "' disc.txt '" + out + "'", &said), 2) << said;
    EXPECT_NE(said.find("is the input"), std::string::npos) << said;
  }
  EXPECT_EQ(Read(P("seg1.mpg")), segment);
  EXPECT_EQ(Read(P("disc.txt")), description);
  EXPECT_EQ(Read(P("LOT.VCD")), lot);
  EXPECT_EQ(Read(P("files/readme.txt")), "hello\n");
}

// A description that is no file, or names nothing to put on the disc, is
// refused with its reason: no image is made, an earlier image and its cue
// sheet keep their bytes, and nothing is added beside them.
TEST(MkImageRefusals, DescriptionsThatDescribeNoDisc) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-mkimage-refused-");
  const std::string registry = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-mkimage-registry-");
  ASSERT_FALSE(dir.empty());
  ASSERT_FALSE(registry.empty());
  ::setenv("VEXA_REGISTRY_DIR", registry.c_str(), 1);
  vexa::base::MakeDirs(dir + "/photos");
  std::ofstream(dir + "/photos/a.jpg") << "a photo";
  std::ofstream(dir + "/empty.txt");
  std::ofstream(dir + "/settings.txt") << "# only settings\nfs 1\nvolume NOTHING\n\n";
  std::ofstream(dir + "/disc.bin") << "AN EARLIER IMAGE";
  std::ofstream(dir + "/disc.cue") << "AN EARLIER CUE SHEET";
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/vcd-mkimage";
  struct Case {
    std::string description;
    std::string message;
  } cases[] = {
      {"photos", "vcd-mkimage: cannot read the description: '" + dir + "/photos' is a folder, not a file\n"},
      {"empty.txt", "vcd-mkimage: " + dir + "/empty.txt names no file, segment or track: the disc would hold nothing\n"},
      {"settings.txt",
       "vcd-mkimage: " + dir + "/settings.txt names no file, segment or track: the disc would hold nothing\n"},
      {"missing.txt", "vcd-mkimage: cannot read the description: cannot open '" + dir +
                          "/missing.txt': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const auto before = vexa::testsupport::FileTree(dir);
    std::string said;
    EXPECT_EQ(Shell("'" + tool + "' '" + dir + "/" + c.description + "' '" + dir + "/disc.bin'", &said), 1) << said;
    EXPECT_EQ(said, c.message);
    EXPECT_TRUE(vexa::testsupport::FileTree(dir) == before) << "a file changed";
  }
  ::unsetenv("VEXA_REGISTRY_DIR");
  vexa::base::RemoveAll(dir);
  vexa::base::RemoveAll(registry);
}

// A menu of 100 pictures takes two selection pages (a list holds at most
// 98 selections); vcd-info decodes every list and link.
TEST_F(MkImageTest, AHundredPictureMenuInTwoPages) {
  Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=640x480 -frames:v 1 p.jpg");
  Run("'" + Tool("vidlathe-cli") + "' v1 1 seg.mpg p.jpg >/dev/null");
  std::ostringstream menu, desc;
  // Lists 1 and 2 are the pages, 3..102 the pictures, 103 the end.
  menu << "max 103\n";
  for (int page = 0; page < 2; ++page) {
    menu << "sel " << page + 1 << " item=1000 wait=10 " << (page == 0 ? "next=2" : "prev=1") << " default="
         << 3 + 50 * page << " targets=";
    for (int i = 0; i < 50; ++i) menu << 3 + 50 * page + i << (i < 49 ? "," : "\n");
  }
  for (int i = 0; i < 100; ++i) {
    menu << "play " << 3 + i << " items=" << 1000 + i << " return=" << 1 + i / 50 << " next=" << (i < 99 ? 4 + i : 103)
         << " wait=5\n";
  }
  menu << "end 103\n";
  std::ofstream(P("menu.txt")) << menu.str();
  Run("'" + Tool("vcd-lists") + "' menu.txt LOT.VCD PSD.VCD");
  desc << "fs 0\nlists LOT.VCD PSD.VCD 103\n";
  for (int i = 0; i < 100; ++i) desc << "segment seg.mpg 4\n";
  std::ofstream(P("disc.txt")) << desc.str();
  Run("'" + Tool("vcd-mkimage") + "' --no-pad disc.txt disc.bin > mk.txt");
  std::string info;
  ASSERT_EQ(Shell("vcd-info --cue-file '" + P("disc.cue") + "' -I -L -p", &info), 0) << info;
  EXPECT_FALSE(Complains(info)) << info;
  EXPECT_NE(info.find("number of segments: 100"), std::string::npos);
  EXPECT_NE(info.find("maximum lid: 103"), std::string::npos);
  EXPECT_NE(info.find("Flags: 0x00 | NOS: 50 | BSN: 1 | LID: 2"), std::string::npos) << info;
  EXPECT_NE(info.find("prev: LID[1] @0x0000 | next: disabled"), std::string::npos) << info;
  EXPECT_NE(info.find("play-item[0]: SEGMENT[99] (0x044b)"), std::string::npos) << info;
  EXPECT_NE(info.find("PSD[102] (LID[103] @0x"), std::string::npos) << info;
}

TEST_F(MkImageTest, DualFilesShowOneSideInEachTree) {
  std::ofstream(P("iso.txt")) << "for the ISO 9660 tree\n";
  std::ofstream(P("joliet.txt")) << "for the Joliet tree, longer\n";
  std::ofstream(P("disc.txt")) << "fs 1\ndual iso.txt joliet.txt \\ORLDISC\\DUAL.TXT\n";
  Run("'" + Tool("vcd-mkimage") + "' --no-pad disc.txt disc.bin > mk.txt");
  // One data track of 1302 sectors and the drive's 2 run-out sectors; the
  // track's user data as a cooked image.
  const std::string bin = Read(P("disc.bin"));
  ASSERT_EQ(bin.size(), 1304u * 2352);
  std::string cooked;
  for (std::size_t s = 0; s < 1302; ++s) cooked.append(bin, s * 2352 + 24, 2048);
  std::ofstream(P("track1.iso"), std::ios::binary) << cooked;
  Run("isoinfo -i track1.iso -x '/ORLDISC/DUAL.TXT;1' > iso.out");
  Run("isoinfo -J -i track1.iso -x '/ORLDISC/DUAL.TXT;1' > joliet.out");
  EXPECT_EQ(Read(P("iso.out")), Read(P("iso.txt")));
  EXPECT_EQ(Read(P("joliet.out")), Read(P("joliet.txt")));
}

// The MPEG track is burned by the burn worker's own track writer: for
// streams of every size the track in the table of contents (cd-info), the
// extent of AVSEQ01.DAT (isoinfo) and the ENTRIES.VCD entry agree, the file
// ends before the track's run-out, and its last sector ends the file.
TEST_F(MkImageTest, TheBurnedTrackIsTheFilesExtentForEveryStreamSize) {
  const std::size_t sizes[] = {0, 1, 2323, 2324, 2325, 300 * 2324};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string sub = "s" + std::to_string(size);
    Run("mkdir " + sub + " && head -c " + std::to_string(size) + " /dev/urandom > " + sub + "/t.dat");
    std::ofstream(P(sub + "/disc.txt")) << "fs 0\ntrack t.dat 1\n";
    Run("cd " + sub + " && '" + Tool("vcd-mkimage") + "' --no-pad disc.txt disc.bin > mk.txt");

    // The table of contents: track 2's start and the lead-out; the drive
    // leaves 2 run-out sectors after the last track.
    std::string cd;
    ASSERT_EQ(Shell("cd-info --no-cddb --no-device-info --cue-file '" + P(sub + "/disc.cue") + "'", &cd), 0) << cd;
    long start = -1, leadout = -1;
    {
      std::istringstream lines(cd);
      std::string line;
      while (std::getline(lines, line)) {
        unsigned track = 0, m = 0, sec = 0, f = 0;
        long lsn = 0;
        char what[16] = {};
        if (std::sscanf(line.c_str(), " %u: %u:%u:%u %ld %15s", &track, &m, &sec, &f, &lsn, what) == 6) {
          if (track == 2) start = lsn;
          if (std::string(what) == "leadout") leadout = lsn;
        }
      }
    }
    ASSERT_GT(start, 0) << cd;
    ASSERT_GT(leadout, start) << cd;
    const long trackSectors = leadout - 2 - start;
    EXPECT_GE(trackSectors, 300);

    // AVSEQ01.DAT as isoinfo lists it from track 1's user data.
    const std::string bin = Read(P(sub + "/disc.bin"));
    ASSERT_EQ(bin.size() % 2352, 0u);
    ASSERT_EQ(static_cast<long>(bin.size() / 2352), leadout);
    std::string cooked;
    for (std::size_t sector = 0; sector < 1300; ++sector) cooked.append(bin, sector * 2352 + 24, 2048);
    std::ofstream(P(sub + "/track1.iso"), std::ios::binary) << cooked;
    std::string listing;
    ASSERT_EQ(Shell("isoinfo -l -i '" + P(sub + "/track1.iso") + "'", &listing), 0) << listing;
    const auto at = listing.find("AVSEQ01.DAT;1");
    ASSERT_NE(at, std::string::npos) << listing;
    const std::string line = listing.substr(listing.rfind('\n', at) + 1, at - listing.rfind('\n', at) - 1);
    const auto bracket = line.find('[');
    ASSERT_NE(bracket, std::string::npos) << line;
    const long extent = std::strtol(line.c_str() + bracket + 1, nullptr, 10);
    long bytes = 0;
    {
      // The size is the field before the month.
      std::istringstream fields(line.substr(0, bracket));
      std::vector<std::string> words;
      for (std::string w; fields >> w;) words.push_back(w);
      ASSERT_GE(words.size(), 4u) << line;
      bytes = std::strtol(words[words.size() - 4].c_str(), nullptr, 10);
    }
    EXPECT_EQ(extent, start) << line;
    EXPECT_EQ(bytes % 2048, 0) << line;
    EXPECT_EQ(bytes / 2048, trackSectors) << line;

    // ENTRIES.VCD (sector 151): track 2 at its first MPEG sector, 32 sectors
    // into the track, as binary-coded minutes, seconds and frames of LSN + 150.
    const auto* entries = reinterpret_cast<const std::uint8_t*>(bin.data()) + 151 * 2352 + 24;
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(entries), 8), "ENTRYVCD");
    auto bcd = [](std::uint8_t b) { return (b >> 4) * 10 + (b & 15); };
    EXPECT_EQ(entries[12], 0x02);
    EXPECT_EQ((bcd(entries[13]) * 60 + bcd(entries[14])) * 75 + bcd(entries[15]) - 150, start + 32);

    // Only the file's last sector carries the end-of-file bit; after it comes
    // the run-out.
    for (long sector = start; sector < start + trackSectors; ++sector) {
      const auto submode = static_cast<std::uint8_t>(bin[static_cast<std::size_t>(sector) * 2352 + 18]);
      ASSERT_EQ(submode & 0x80, sector + 1 == start + bytes / 2048 ? 0x80 : 0) << sector;
    }
  }
}

}  // namespace
