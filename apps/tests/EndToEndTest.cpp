// vexa end to end: the real logger, orchestrator, disc engine and disc
// library writing to the simulated recorder, and the disc read back by
// independent tools: vcd-info and cd-info read the Video CD, isoinfo lists
// the Joliet tree of the PC part, pdfinfo reads the PDFs, and ffmpeg decodes
// the title still's segment for a comparison with the title picture the
// imaging layer draws.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "apps/tests/AppTestUtil.h"
#include "idl/VEXAImg.h"
#include "platform/base/File.h"
#include "platform/base/Text.h"
#include "platform/com/Com.h"

namespace vexa::app::testing {
namespace {

const std::string kSamples = std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/samples";

// The user data of every sector of a raw (2352-byte) image as a plain
// 2048-byte-sector image: mode 1 data at offset 16, mode 2 form 1 data at 24.
bool BinToIso(const std::string& bin, const std::string& iso) {
  base::InputFile in;
  if (!in.Open(bin)) return false;
  base::OutputFile out;
  if (!out.Open(iso)) return false;
  std::vector<char> sector(2352);
  const std::string zeros(2048, '\0');
  for (;;) {
    const long long n = in.ReadSome(sector.data(), sector.size());
    if (n == 0) break;
    if (n != 2352) return false;
    const int mode = static_cast<unsigned char>(sector[15]);
    const std::size_t at = mode == 1 ? 16 : mode == 2 ? 24 : 0;
    if (!out.Write(at ? std::string_view(sector.data() + at, 2048) : std::string_view(zeros))) return false;
  }
  return out.Commit();
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool :
         {"vcd-info", "cd-info", "isoinfo", "pdfinfo", "ffmpeg", "vcdxrip", "djpeg", "rdjpgcom", "xmllint"}) {
      if (!Which(tool).empty()) continue;
      if (CheckersRequired()) FAIL() << tool << " missing";
      GTEST_SKIP() << tool << " missing";
    }
    sim_ = box_.root() + "/cdrsim";
    base::MakeDirs(box_.root() + "/tmp");
    const ProgramResult made =
        RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch");
    ASSERT_EQ(made.status, 0) << made.err;
  }

  ProgramResult Vexa(const std::vector<std::string>& args, const std::string& cwd = "",
                     std::map<std::string, std::string> env = {}) {
    env.emplace("VEXA_SCSI_TRANSPORT", "sim:" + sim_);
    env.emplace("TMPDIR", tmp_.empty() ? box_.root() + "/tmp" : tmp_);
    return box_.Run("vexa", args, env, cwd);
  }

  std::string Log() const {
    std::string log;
    base::ReadFile(box_.data() + "vexalog.txt", &log);
    return log;
  }

  // The newest cue sheet the simulated recorder wrote.
  std::string Cue() const {
    std::string newest;
    const ProgramResult r = Tool("sh", {"-c", "ls -t \"$0\"/*.cue 2>/dev/null | head -n 1", sim_});
    newest = r.out;
    while (!newest.empty() && newest.back() == '\n') newest.pop_back();
    return newest;
  }

  ProgramResult Tool(const std::string& name, const std::vector<std::string>& args,
                     const std::string& cwd = "") const {
    const std::string path = name.find('/') == std::string::npos ? Which(name) : name;
    return RunProgram(path, args, {}, box_.root() + "/scratch", cwd);
  }

  // The disc's Joliet tree: every path, without version suffixes.
  std::vector<std::string> JolietPaths(const std::string& iso) const {
    const ProgramResult r = Tool("isoinfo", {"-J", "-f", "-i", iso});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> paths;
    listed_.clear();
    for (const std::string& line : SplitLines(r.out)) {
      std::string path = line;
      if (const std::size_t semi = path.rfind(";1"); semi != std::string::npos && semi + 2 == path.size()) {
        path.resize(semi);
      }
      paths.push_back(path);
      listed_[path] = line;
    }
    return paths;
  }

  // A file of the Joliet tree, by its path without the version suffix.
  std::string Extract(const std::string& iso, const std::string& path) const {
    const auto listed = listed_.find(path);
    const std::string name = listed == listed_.end() ? path : listed->second;
    const ProgramResult r = Tool("isoinfo", {"-J", "-i", iso, "-x", name});
    EXPECT_EQ(r.status, 0) << path << ": " << r.err;
    return r.out;
  }

  // Checks the disc in the simulated recorder as the independent tools read
  // it; answers the plain image of its file system ("" after a failure).
  std::string CheckDisc(const std::vector<std::string>& photos, const std::string& paperName) {
    const std::string cue = Cue();
    EXPECT_FALSE(cue.empty()) << "no disc image in " << sim_;
    if (cue.empty()) return "";

    const ProgramResult vcd = Tool("vcd-info", {"--cue-file=" + cue, "-B"});
    EXPECT_EQ(vcd.status, 0) << vcd.err;
    const std::string vcdText = vcd.out + vcd.err;
    EXPECT_NE(vcdText.find("VCD 2.0 detected"), std::string::npos) << vcdText;
    EXPECT_EQ(vcdText.find("WARN"), std::string::npos) << vcdText;
    EXPECT_EQ(vcdText.find("ERROR"), std::string::npos) << vcdText;
    // PAL: the track's flag in INFO.VCD, and every still a PAL still.
    EXPECT_NE(vcdText.find(" pal flags: 1"), std::string::npos) << vcdText;
    int stills = 0;
    for (const std::string& line : SplitLines(vcdText)) {
      if (line.find(" video: ") == std::string::npos) continue;
      ++stills;
      EXPECT_NE(line.find("PAL still"), std::string::npos) << line;
    }
    // The photos, the title still and the two menu pages.
    EXPECT_EQ(stills, static_cast<int>(photos.size()) + 3) << vcdText;

    const ProgramResult cd = Tool("cd-info", {"--no-device-info", "--cue-file=" + cue});
    EXPECT_EQ(cd.status, 0) << cd.err;
    EXPECT_NE(cd.out.find("Video CD"), std::string::npos) << cd.out;
    EXPECT_NE(cd.out.find("ISO 9660"), std::string::npos) << cd.out;

    const std::string iso = box_.root() + "/disc.iso";
    EXPECT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));
    const std::vector<std::string> paths = JolietPaths(iso);
    auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
    for (const char* p :
         {"/ORLDISC/ALBUM_A/ALBUM.XML", "/ORLDISC/DISCINFO/DISCINFO.XML", "/ORLDISC/ALBUM_A/VIEW/ALBUM.HTM",
          "/ORLDISC/ALBUM_A/VIEW/BROWSE/BROWSE.HTM", "/ORLDISC/ALBUM_A/VIEW/SHOW/SHOW.HTM",
          "/ORLDISC/ALBUM_A/PRINT/PDF/CONTACT.PDF", "/ORLDISC/ALBUM_A/PRINT/PDF/INSERT.PDF",
          "/ORLDISC/ALBUM_A/PRINT/PDF/PRINTS.PDF", "/ORLDISC/ALBUM_A/CONTENT/BG_A0001.MP3", "/VCD/INFO.VCD",
          "/MPEGAV/AVSEQ01.DAT"}) {
      EXPECT_TRUE(has(p)) << p;
    }
    // Each photo and the title still in the album's three sizes.
    for (std::size_t i = 1; i <= photos.size() + 1; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "IM_A%04zu.JPG", i);
      for (const std::string dir : {"/ORLDISC/ALBUM_A/CONTENT/", "/ORLDISC/ALBUM_A/LOWRES/640X640/",
                                    "/ORLDISC/ALBUM_A/LOWRES/160X160/", "/ALBUMS/ALBUM_A/"}) {
        EXPECT_TRUE(has(dir + name)) << dir + name;
      }
    }
    // The originals come back with the same pictures (djpeg decodes them to
    // the same pixels), marked in a comment record as originals.
    for (const std::string& photo : photos) {
      const std::string tail = "/" + base::BaseName(photo);
      const auto it = std::find_if(paths.begin(), paths.end(), [&](const std::string& p) {
        return p.rfind("/ORIGINAL/", 0) == 0 && p.size() > tail.size() &&
               p.compare(p.size() - tail.size(), tail.size(), tail) == 0;
      });
      EXPECT_NE(it, paths.end()) << photo;
      if (it == paths.end()) continue;
      const std::string copy = box_.root() + "/original.jpg";
      base::WriteFileAtomic(copy, Extract(iso, *it));
      const ProgramResult mine = Tool("djpeg", {copy});
      const ProgramResult theirs = Tool("djpeg", {photo});
      EXPECT_EQ(mine.status, 0) << mine.err;
      EXPECT_FALSE(theirs.out.empty());
      EXPECT_TRUE(mine.out == theirs.out) << *it;
      const ProgramResult comment = Tool("rdjpgcom", {copy});
      EXPECT_NE(comment.out.find("<resolution>1</resolution>"), std::string::npos) << comment.out;
    }
    // The manifests are well-formed XML; the PDFs are on the paper asked for.
    for (const char* xml : {"/ORLDISC/ALBUM_A/ALBUM.XML", "/ORLDISC/DISCINFO/DISCINFO.XML"}) {
      const std::string file = box_.root() + "/manifest.xml";
      base::WriteFileAtomic(file, Extract(iso, xml));
      const ProgramResult lint = Tool("xmllint", {"--noout", file});
      EXPECT_EQ(lint.status, 0) << xml << ": " << lint.err;
    }
    for (const char* pdf : {"CONTACT", "INSERT", "PRINTS"}) {
      const std::string file = box_.root() + "/" + pdf + ".pdf";
      base::WriteFileAtomic(file, Extract(iso, std::string("/ORLDISC/ALBUM_A/PRINT/PDF/") + pdf + ".PDF"));
      const ProgramResult info = Tool("pdfinfo", {file});
      EXPECT_EQ(info.status, 0) << pdf << ": " << info.err;
      EXPECT_NE(info.out.find("(" + paperName + ")"), std::string::npos) << pdf << "\n" << info.out;
    }
    return iso;
  }

  // The luma of the first picture of the disc's segment play item n
  // (1-based), as vcdxrip extracts it and ffmpeg decodes it, at 704 x 576.
  std::vector<std::uint8_t> SegmentLuma(int n) {
    const std::string rip = box_.root() + "/rip";
    base::RemoveAll(rip);
    base::MakeDirs(rip);
    const ProgramResult r =
        Tool("vcdxrip", {"--cue-file=" + Cue(), "--nofiles", "--nosequences", "-q"}, rip);
    EXPECT_EQ(r.status, 0) << r.err;
    char item[32];
    std::snprintf(item, sizeof item, "item%04d.mpg", n);
    return Luma(rip + "/" + item, 0);
  }

  // The luma of a picture, scaled (keeping its shape on a PAL television,
  // whose pixels are 12:11, centred on black) to 704 x 576 when fit is set.
  std::vector<std::uint8_t> Luma(const std::string& picture, bool fit) {
    const std::string raw = box_.root() + "/luma.raw";
    std::vector<std::string> args = {"-hide_banner", "-loglevel", "error", "-y", "-i", picture, "-frames:v", "1"};
    if (fit) {
      args.insert(args.end(), {"-vf", "scale=round(iw*11/12):ih:flags=area,"
                                      "scale=704:576:force_original_aspect_ratio=decrease:flags=area,"
                                      "pad=704:576:(ow-iw)/2:(oh-ih)/2"});
    }
    args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "gray", raw});
    const ProgramResult r = Tool("ffmpeg", args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string bytes;
    base::ReadFile(raw, &bytes);
    EXPECT_EQ(bytes.size(), 704u * 576u) << picture;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }

  // The title picture the imaging layer draws for the orchestrator's
  // typeface and sizes (its language table), PAL.
  std::string DrawTitle(const std::string& l1, const std::string& l2, const std::string& l3) {
    std::string table;
    base::ReadFile(std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/core/vexacoreENU.txt", &table);
    std::string face = "Liberation Sans";
    long primary = 22, secondary = 18;
    for (const std::string& line : SplitLines(table)) {
      if (line.rfind("158=", 0) == 0) face = line.substr(4);
      if (line.rfind("157=", 0) == 0) primary = std::stol(line.substr(4));
      if (line.rfind("155=", 0) == 0) secondary = std::stol(line.substr(4));
    }
    const std::string file = box_.root() + "/title-" + std::to_string(titles_++) + ".jpg";
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    {
      com::ComPtr<IVEXAImgUtil> util;
      EXPECT_EQ(CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_INPROC_SERVER, IID_IVEXAImgUtil,
                                 util.PutVoid()),
                S_OK);
      if (util) {
        const auto B = [](const std::string& s) { return com::Bstr::FromUtf8(s); };
        EXPECT_EQ(util->Create3LineTitleStill(B(l1).Get(), B(l2).Get(), B(l3).Get(), B(file).Get(), B(face).Get(),
                                              0, primary, secondary, VARIANT_FALSE),
                  S_OK);
      }
    }
    CoUninitialize();
    return file;
  }

  static double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const double d = double(a[i]) - double(b[i]);
      sum += d * d;
    }
    const double mse = sum / a.size();
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
  }

  // The title still's segment (the first play item of the slide show) shows
  // the title picture drawn with these lines, and not one drawn with others.
  void ExpectTitle(const std::string& l1, const std::string& l2, const std::string& l3) {
    const std::vector<std::uint8_t> segment = SegmentLuma(1);
    const double same = Psnr(segment, Luma(DrawTitle(l1, l2, l3), true));
    const double other = Psnr(segment, Luma(DrawTitle("Winter 1999", "Somewhere else", "Not this"), true));
    EXPECT_GT(same, 30.0);
    EXPECT_GT(same, other + 6.0) << "same " << same << " dB, other " << other << " dB";
  }

  // The area of a decoded picture (stream index among the video streams,
  // at a time in seconds or the first picture) that is not black.
  struct PictureArea {
    int x = 0, y = 0, w = 0, h = 0;
  };
  PictureArea Area(const std::string& mpeg, int stream, int w, int h, double at) {
    std::vector<std::string> args = {"-hide_banner", "-loglevel", "error"};
    if (at >= 0) args.insert(args.end(), {"-ss", std::to_string(at)});
    args.insert(args.end(), {"-i", mpeg, "-map", "0:v:" + std::to_string(stream), "-frames:v", "1", "-f", "rawvideo",
                             "-pix_fmt", "gray", "-"});
    const ProgramResult r = Tool("ffmpeg", args);
    EXPECT_EQ(r.status, 0) << r.err;
    PictureArea a;
    if (r.out.size() < static_cast<std::size_t>(w) * h) return a;
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (static_cast<unsigned char>(r.out[static_cast<std::size_t>(y) * w + x]) <= 40) continue;
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
    }
    if (x1 >= 0) a = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return a;
  }

  // The times (seconds) at which a motion stream changes its picture: its
  // frames at ten a second, each by its mean luma.
  std::vector<double> PictureChanges(const std::string& mpeg, int w, int h) {
    const ProgramResult r = Tool("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", mpeg, "-map", "0:v:0", "-vf",
                                            "fps=10", "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::size_t frame = static_cast<std::size_t>(w) * h;
    std::vector<double> means;
    for (std::size_t at = 0; at + frame <= r.out.size(); at += frame) {
      double sum = 0;
      for (std::size_t i = 0; i < frame; ++i) sum += static_cast<unsigned char>(r.out[at + i]);
      means.push_back(sum / frame);
    }
    std::vector<double> changes;
    for (std::size_t i = 1; i < means.size(); ++i) {
      if (std::abs(means[i] - means[i - 1]) > 4) changes.push_back(i / 10.0);
    }
    return changes;
  }

  // The addresses (sectors) of the cue sheet's lines that start with what,
  // in order.
  static std::vector<long> CueAddresses(const std::string& cue, const std::string& what) {
    std::vector<long> out;
    for (const std::string& line : SplitLines(cue)) {
      const auto at = line.find(what);
      if (at == std::string::npos) continue;
      int m = 0, sec = 0, f = 0;
      if (std::sscanf(line.c_str() + at + what.size(), " %d:%d:%d", &m, &sec, &f) == 3) {
        out.push_back((m * 60L + sec) * 75 + f);
      }
    }
    return out;
  }

  std::vector<std::string> SamplePhotos() const {
    std::vector<std::string> photos;
    for (const char* name : {"arrival.jpg", "boats.jpg", "lighthouse.jpg", "mountains.jpg", "sunset.jpg",
                             "the pier.jpg"}) {
      photos.push_back(kSamples + "/photos/" + name);
    }
    return photos;
  }

  Sandbox box_;
  std::string sim_;
  std::string tmp_;  // the temporary folder vexa is given ("" for the sandbox's tmp)
  int titles_ = 0;
  // Paths of the last listing, without and with their version suffix.
  mutable std::map<std::string, std::string> listed_;
};

TEST_F(EndToEndTest, FoldersWithMusicMakeAPalDiscWithA4PdfsAndTheTitles) {
  const ProgramResult r = Vexa({"/r:silent", "/d:" + kSamples + "/photos", "/m:" + kSamples + "/music/theme.mp3",
                                "/t1:Summer 2002", "/t2:At the lake house", "/f:PAL", "/l:A4"});
  ASSERT_EQ(r.status, 0) << r.err << Log();
  // The silent mode stays silent, also without a display.
  EXPECT_EQ(r.err, "");
  CheckDisc(SamplePhotos(), "A4");
  ExpectTitle("Summer 2002", "At the lake house", "");
}

// The README's main job, as scripts/run-main.sh runs it, in the C locale
// most systems run in and on the simulator's usual writer (whose speeds
// leave out the default 8): a run that makes its disc logs no ERROR line.
TEST_F(EndToEndTest, TheMainJobLogsNoErrorLine) {
  const ProgramResult r = Vexa({"/r:silent", "/t1:Sample photos", "/t2:Made with vexa", "/d:" + kSamples + "/photos",
                                "/m:" + kSamples + "/music/theme.mp3"},
                               "", {{"LANG", "C.UTF-8"}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}});
  ASSERT_EQ(r.status, 0) << r.err << Log();
  EXPECT_NE(Cue(), "");
  const std::string log = Log();
  ASSERT_NE(log.find(" INFO "), std::string::npos) << log;
  std::vector<std::string> errors;
  for (const std::string& line : SplitLines(log)) {
    if (line.find(" ERROR ") != std::string::npos) errors.push_back(line);
  }
  EXPECT_EQ(errors, std::vector<std::string>{}) << log;
}

// The sample albums name their pictures relative to their folder.
TEST_F(EndToEndTest, AnAlbumFileInEachDialect) {
  ProgramResult r = Vexa({"/r:silent", "album.xml"}, kSamples);
  ASSERT_EQ(r.status, 0) << r.err << Log();
  std::vector<std::string> photos;
  for (const char* name : {"arrival.jpg", "the pier.jpg", "boats.jpg", "mountains.jpg", "lighthouse.jpg",
                           "sunset.jpg"}) {
    photos.push_back(kSamples + "/photos/" + name);
  }
  CheckDisc(photos, "A4");
  ExpectTitle("Summer 2002", "At the lake house", "");

  // A fresh blank disc for the partner album (PAL, no paper size: Letter
  // from the locale of the test).
  base::RemoveAll(sim_);
  ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
            0);
  r = Vexa({"/r:silent", "/l:Letter", "/q", "marwick-album.xml"}, kSamples);
  ASSERT_EQ(r.status, 0) << r.err << Log();
  CheckDisc({kSamples + "/photos/arrival.jpg", kSamples + "/photos/the pier.jpg", kSamples + "/photos/sunset.jpg"},
            "letter");
  ExpectTitle("Summer 2002", "At the lake house", "");
}

// The wizard without a display, or with one that does not answer: no window
// can be opened, so the wizard is not made; vexa ends with status 2 and says why on standard error, where
// the message box would have said it, and the log has it too.
TEST_F(EndToEndTest, TheWizardWithoutADisplayEndsWithStatusTwoAndSaysWhy) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"/s:2", "/d:" + kSamples + "/photos"}}) {
    const ProgramResult r = Vexa(args);
    EXPECT_EQ(r.status, 2) << r.err << Log();
    EXPECT_NE(r.err.find("No display to show the wizard on"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/r:status"), std::string::npos) << r.err;
    EXPECT_NE(Log().find("CVexaApp::InitInstance - Cannot start Orlune Disc Wizard."), std::string::npos) << Log();
    // A known cause: no advice to reboot and reinstall.
    EXPECT_EQ(r.err.find("Reboot"), std::string::npos) << r.err;
  }
  // A mistyped /r: is what leads to the wizard here: it is named.
  const ProgramResult typo = Vexa({"/r:stauts", "/d:" + kSamples + "/photos"});
  EXPECT_EQ(typo.status, 2) << typo.err;
  EXPECT_NE(typo.err.find("Not taken from the command line: /r:stauts (vexa /h lists the switches)."),
            std::string::npos)
      << typo.err;
  // A display that is named but does not answer is no display either (the
  // window system would end the process).
  const ProgramResult r = Vexa({}, "", {{"DISPLAY", ":4093"}});
  EXPECT_EQ(r.status, 2) << r.err << Log();
  EXPECT_NE(r.err.find("No display to show the wizard on: the display that DISPLAY"), std::string::npos) << r.err;
  EXPECT_EQ(Cue(), "");
}

// A Qt platform that is not installed would end the process inside Qt: the
// wizard is not made (status 2, with the platform and the installed ones
// named), and the status mode shows its progress on the terminal instead
// and makes the disc.
TEST_F(EndToEndTest, AQtPlatformThatIsNotInstalledIsNoDisplay) {
  ProgramResult r = Vexa({}, "", {{"QT_QPA_PLATFORM", "bogus"}});
  EXPECT_EQ(r.status, 2) << r.err << Log();
  EXPECT_NE(r.err.find("No display to show the wizard on: QT_QPA_PLATFORM=\"bogus\" names no Qt platform that is "
                       "installed (installed: "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("offscreen"), std::string::npos) << r.err;
  EXPECT_EQ(Cue(), "");
  r = Vexa({"/r:status", "/d:" + kSamples + "/photos"}, "", {{"QT_QPA_PLATFORM", "bogus"}});
  EXPECT_EQ(r.status, 0) << r.err << Log();
  EXPECT_NE(r.err.find("Orlune disc creation process complete!"), std::string::npos) << r.err;
  EXPECT_NE(Cue(), "");
}

// The status mode without a display shows its progress on the terminal: the
// steps as they start and a progress bar redrawn in place, with the CD-R
// reminder answered from the keyboard.
TEST_F(EndToEndTest, TheStatusModeWithoutADisplayShowsItsProgressOnTheTerminal) {
  const std::string photos = box_.root() + "/photos";
  base::MakeDirs(photos);
  for (const char* name : {"arrival.jpg", "sunset.jpg"}) {
    std::string bytes;
    ASSERT_TRUE(base::ReadFile(kSamples + "/photos/" + name, &bytes));
    ASSERT_TRUE(base::WriteFileAtomic(photos + "/" + name, bytes));
  }
  bool reminded = false;
  const ProgramResult r = box_.RunWithStderr(
      "vexa", {"/r:status", "/f:PAL", "/d:" + photos},
      {{"VEXA_SCSI_TRANSPORT", "sim:" + sim_}, {"TMPDIR", box_.root() + "/tmp"}}, true,
      [&](const std::string& screen) -> std::string {
        if (reminded || screen.find("You have inserted CD-R media") == std::string::npos ||
            screen.find("not show this reminder again\": ") == std::string::npos) {
          return "";
        }
        reminded = true;
        return "d\n";  // OK, and no more reminders
      });
  EXPECT_EQ(r.status, 0) << r.err << Log();
  EXPECT_TRUE(reminded) << r.err;
  std::size_t at = 0;
  for (int step : {1, 3, 4, 5, 6}) {
    const std::size_t found = r.err.find("Step " + std::to_string(step) + " of 6: ", at);
    ASSERT_NE(found, std::string::npos) << step << "\n" << r.err;
    at = found;
  }
  EXPECT_EQ(r.err.find("Step 2 of 6"), std::string::npos);
  // The bar moves on one line, drawn over itself.
  std::size_t redraws = 0;
  for (std::size_t p = r.err.find("\r["); p != std::string::npos; p = r.err.find("\r[", p + 1)) ++redraws;
  EXPECT_GT(redraws, 20u) << r.err;
  EXPECT_NE(r.err.find("\r[####################] 100%  Orlune disc creation process complete!\x1b[K"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Time Remaining: estimating"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Time Remaining: :"), std::string::npos) << r.err;
  // The disc itself is the silent runs' to check: here it was written.
  EXPECT_NE(Cue(), "");
  // The reminder stays away from now on.
  EXPECT_EQ(reg::GetString(reg::Hive::CurrentUser, kProductKey, "CD-R_VS_CD-RW_NAG"), "FALSE");
}

// Through a pipe the same run is plain lines, and with nobody at the
// keyboard the reminder takes its default and the log says so.
TEST_F(EndToEndTest, TheStatusModeThroughAPipeWritesPlainLines) {
  const std::string photos = box_.root() + "/photos";
  base::MakeDirs(photos);
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(kSamples + "/photos/arrival.jpg", &bytes));
  ASSERT_TRUE(base::WriteFileAtomic(photos + "/arrival.jpg", bytes));
  const ProgramResult r =
      box_.RunWithStderr("vexa", {"/r:status", "/f:PAL", "/d:" + photos},
                         {{"VEXA_SCSI_TRANSPORT", "sim:" + sim_}, {"TMPDIR", box_.root() + "/tmp"}}, false);
  EXPECT_EQ(r.status, 0) << r.err << Log();
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  std::size_t at = 0;
  for (const char* line : {"Step 1 of 6: Checking the disc in the CD writer\n", "You have inserted CD-R media",
                           "Press Enter for OK, or type d and Enter for OK and \"Do not show this reminder again\": OK "
                           "(standard input is not a terminal: the default answer)\n",
                           "Step 3 of 6: Creating the photo show\n", "Step 6 of 6: Writing the disc\n",
                           "Write speed ", "[####################] 100%  Orlune disc creation process complete!\n"}) {
    const std::size_t found = r.err.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n---\n" << r.err;
    at = found;
  }
  EXPECT_NE(Log().find("TerminalUi::DoMessage - No keyboard (standard input is not a terminal): answered \"OK\" to: "
                       "You have inserted CD-R media into the CD writer."),
            std::string::npos)
      << Log();
  EXPECT_NE(Cue(), "");
  // A first run on a fresh data folder (no CD-R reminder flag stored yet)
  // that makes its disc logs no ERROR line.
  std::vector<std::string> errors;
  for (const std::string& line : SplitLines(Log())) {
    if (line.find(" ERROR ") != std::string::npos) errors.push_back(line);
  }
  EXPECT_EQ(errors, std::vector<std::string>{}) << Log();
}

// The start-up question about pictures that could not be used, answered
// Cancel: the user's cancel, which ends with status 0 and no error line of
// the run (the refused picture's own lines stay), and no disc.
TEST_F(EndToEndTest, CancelAtTheQuestionAboutUnusablePicturesEndsAsACancel) {
  const std::string photos = box_.root() + "/photos";
  base::MakeDirs(photos);
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(kSamples + "/photos/arrival.jpg", &bytes));
  ASSERT_TRUE(base::WriteFileAtomic(photos + "/arrival.jpg", bytes));
  // A JPEG that breaks off after its first bytes.
  ASSERT_TRUE(base::WriteFileAtomic(photos + "/broken.jpg", bytes.substr(0, 200)));
  bool answered = false;
  const ProgramResult r = box_.RunWithStderr(
      "vexa", {"/r:status", "/d:" + photos},
      {{"VEXA_SCSI_TRANSPORT", "sim:" + sim_}, {"TMPDIR", box_.root() + "/tmp"}}, true,
      [&](const std::string& screen) -> std::string {
        if (answered || screen.find("could not process some of your images") == std::string::npos ||
            screen.find("OK or Cancel? ") == std::string::npos) {
          return "";
        }
        answered = true;
        return "c\n";
      });
  EXPECT_TRUE(answered) << r.err;
  EXPECT_EQ(r.status, 0) << r.err << Log();
  EXPECT_EQ(r.err.find("The run failed"), std::string::npos) << r.err;
  const std::string log = Log();
  EXPECT_NE(log.find(" INFO   vexacore : CVEXACore1::DealWithInvalidStills - User pressed Cancel.\r\n"),
            std::string::npos)
      << log;
  for (const std::string& line : SplitLines(log)) {
    if (line.find(" ERROR ") == std::string::npos) continue;
    EXPECT_EQ(line.find("CreateVCD"), std::string::npos) << line;
    EXPECT_EQ(line.find("DealWithInvalidStills"), std::string::npos) << line;
  }
  EXPECT_EQ(Cue(), "");
}

// What a person at the television sees of a disc made from a folder of a
// 4:3, a 16:9, a 3:2 and a 3:4 photo, once NTSC without music and once PAL
// with music: every still and the slide show show each photo in its own
// shape, the show changes pictures every 5 seconds (no /p:), it carries an
// audio stream on both discs, AVSEQ01.DAT is exactly track 2 with its last
// sector ending the file, the cue sheet starts with FILE, the Video CD tools
// read it without a warning, and vcdxbuild takes the extracted tracks of the
// disc without music.
TEST_F(EndToEndTest, TelevisionDiscsShowEachPhotoInItsShapeForFiveSecondsWithSound) {
  if (Which("convert").empty()) {
    if (CheckersRequired()) FAIL() << "convert missing";
    GTEST_SKIP() << "convert missing";
  }
  const std::string folder = box_.root() + "/photos";
  base::MakeDirs(folder);
  struct Photo {
    const char* name;
    const char* size;
    const char* colours;
    double shape;
  };
  // Bright everywhere, so the picture area stands out from the black border.
  const Photo photos[] = {{"a 4x3.jpg", "1600x1200", "#ff8040-#40a0ff", 4.0 / 3},
                          {"b 16x9.jpg", "1920x1080", "#80ff40-#ff40a0", 16.0 / 9},
                          {"c 3x2.jpg", "1500x1000", "#ffff60-#6060ff", 3.0 / 2},
                          {"d 3x4.jpg", "900x1200", "#60ffff-#ff6060", 3.0 / 4}};
  for (const Photo& p : photos) {
    ASSERT_EQ(Tool("convert", {"-size", p.size, std::string("gradient:") + p.colours, "-quality", "92",
                               folder + "/" + p.name})
                  .status,
              0);
  }
  struct Disc {
    const char* system;
    bool music;
    int width, height;  // the still's 704-wide stream
    double pixel;       // width:height of its pixels on a 4:3 screen
  };
  const Disc discs[] = {{"NTSC", false, 704, 480, 10.0 / 11}, {"PAL", true, 704, 576, 12.0 / 11}};
  for (const Disc& d : discs) {
    SCOPED_TRACE(d.system);
    base::RemoveAll(sim_);
    ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
              0);
    const ProgramResult r = Vexa({"/r:silent", std::string("/f:") + d.system,
                                  d.music ? "/m:" + kSamples + "/music/theme.mp3" : std::string("/m:"),
                                  "/d:" + folder});
    ASSERT_EQ(r.status, 0) << r.err << Log();
    const std::string cue = Cue();
    ASSERT_FALSE(cue.empty());
    std::string cueText;
    base::ReadFile(cue, &cueText);
    // A player's cue reader takes the image from the first line and wants
    // the first track on the second.
    EXPECT_EQ(cueText.rfind("FILE \"", 0), 0u) << cueText;
    EXPECT_EQ(cueText.find('\n'), cueText.find("\n  TRACK 01 ")) << cueText;

    const ProgramResult info = Tool("vcd-info", {"--cue-file=" + cue, "-B"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ((info.out + info.err).find("WARN"), std::string::npos) << info.out << info.err;
    EXPECT_EQ((info.out + info.err).find("ERROR"), std::string::npos) << info.out << info.err;
    const std::string rip = box_.root() + "/rip-" + d.system;
    base::MakeDirs(rip);
    const ProgramResult ripped = Tool("vcdxrip", {"--cue-file=" + cue}, rip);
    EXPECT_EQ(ripped.status, 0) << ripped.err;
    EXPECT_EQ((ripped.out + ripped.err).find("WARN"), std::string::npos) << ripped.out << ripped.err;
    EXPECT_EQ((ripped.out + ripped.err).find("ERROR"), std::string::npos) << ripped.out << ripped.err;

    // The stills, in the folder's order: both resolutions of each show the
    // photo's own shape on the screen.
    for (std::size_t i = 0; i < 4; ++i) {
      char item[32];
      std::snprintf(item, sizeof item, "/item%04zu.mpg", i + 1);
      for (int stream : {0, 1}) {
        const int w = stream ? d.width : d.width / 2, h = stream ? d.height : d.height / 2;
        const PictureArea a = Area(rip + item, stream, w, h, -1);
        ASSERT_GT(a.h, 0) << item;
        const double shape = a.w * d.pixel / a.h;
        EXPECT_NEAR(shape / photos[i].shape, 1.0, 0.025)
            << item << " stream " << stream << ": " << a.w << " x " << a.h << " shows " << shape;
      }
    }

    // The slide show: every photo for 5 seconds in its shape, with sound.
    const std::string show = rip + "/avseq01.mpg";
    const ProgramResult probe =
        Tool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_type,codec_name,sample_rate", "-of", "csv=p=0",
                         show});
    EXPECT_NE(probe.out.find("mp2,audio,44100"), std::string::npos) << probe.out;
    const std::vector<double> changes = PictureChanges(show, d.width / 2, d.height / 2);
    ASSERT_EQ(changes.size(), 3u) << ::testing::PrintToString(changes);
    for (std::size_t k = 0; k < changes.size(); ++k) EXPECT_NEAR(changes[k], 5.0 * (k + 1), 0.15) << k;
    for (std::size_t i = 0; i < 4; ++i) {
      const PictureArea a = Area(show, 0, d.width / 2, d.height / 2, 2.5 + 5.0 * i);
      ASSERT_GT(a.h, 0) << i;
      EXPECT_NEAR(a.w * d.pixel / a.h / photos[i].shape, 1.0, 0.025) << i << ": " << a.w << " x " << a.h;
    }

    // AVSEQ01.DAT is track 2 from its first sector to the last before the
    // drive's 2 run-out sectors; that sector ends the file.
    const std::vector<long> pregaps = CueAddresses(cueText, "INDEX 00"), starts = CueAddresses(cueText, "INDEX 01");
    ASSERT_GE(starts.size(), 3u) << cueText;
    ASSERT_GE(pregaps.size(), 2u) << cueText;
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    const std::string iso = box_.root() + "/tv.iso";
    ASSERT_TRUE(BinToIso(bin, iso));
    const ProgramResult listing = Tool("isoinfo", {"-l", "-i", iso});
    const auto at = listing.out.find("AVSEQ01.DAT;1");
    ASSERT_NE(at, std::string::npos) << listing.out;
    const std::size_t from = listing.out.rfind('\n', at) + 1;
    const std::string line = listing.out.substr(from, at - from);
    std::vector<std::string> words;
    {
      std::istringstream fields(line.substr(0, line.find('[')));
      for (std::string w; fields >> w;) words.push_back(w);
    }
    ASSERT_GE(words.size(), 4u) << line;
    const long bytes = std::stol(words[words.size() - 4]);
    const long extent = std::stol(line.substr(line.find('[') + 1));
    EXPECT_EQ(extent, starts[1]) << line;
    EXPECT_EQ(bytes % 2048, 0) << line;
    EXPECT_EQ(extent + bytes / 2048, pregaps[1] - 2) << line << "\n" << cueText;
    std::string sector(2352, '\0');
    {
      std::ifstream in(bin, std::ios::binary);
      in.seekg((extent + bytes / 2048 - 1) * 2352);
      in.read(sector.data(), 2352);
    }
    EXPECT_EQ(static_cast<unsigned char>(sector[18]) & 0x80, 0x80);

    if (!d.music) {
      // vcdxbuild takes the tracks vcdxrip extracted (it refuses a Video CD
      // track without an audio stream).
      const ProgramResult built =
          Tool("vcdxbuild", {"--cue-file=rebuilt.cue", "--bin-file=rebuilt.bin", "videocd.xml"}, rip);
      EXPECT_EQ(built.status, 0) << built.out << built.err;
      EXPECT_EQ((built.out + built.err).find("WARN"), std::string::npos) << built.out << built.err;
      EXPECT_EQ((built.out + built.err).find("ERROR"), std::string::npos) << built.out << built.err;
    }
  }
}

TEST_F(EndToEndTest, WithoutAWriterInitFailsWithTheOrchestratorsLine) {
  base::RemoveAll(sim_);
  ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--profile", "reader", "--media", "none"}, {},
                       box_.root() + "/scratch")
                .status,
            0);
  const ProgramResult r = Vexa({"/r:silent", "/d:" + kSamples + "/photos"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string log = Log();
  const std::size_t core = log.find(" ERROR  vexacore : CVEXACore1::Init - Cannot find a CD-Writer.\r\n");
  const std::size_t app = log.find(" ERROR  vexa     : CVexaApp::InitInstance - Core Init() call failed.\r\n");
  EXPECT_NE(core, std::string::npos) << log;
  EXPECT_NE(app, std::string::npos) << log;
  EXPECT_LT(core, app);
  // The log says what to do on this system.
  for (const char* remedy : {"/dev/sg*", "sudo modprobe sg", "group cdrom", "VEXA_SCSI_TRANSPORT=sim:"}) {
    EXPECT_NE(log.find(remedy), std::string::npos) << remedy << "\n" << log;
  }
  EXPECT_EQ(log.find("CreateVCD"), std::string::npos) << log;
  EXPECT_EQ(Cue(), "");
}

// Checks, on the ISO 9660 image of a disc, that every path of the album and
// disc manifests names a file of its own tree (ISO 9660 paths in the ISO
// 9660 tree, Joliet paths in the Joliet tree, the album's relative names
// below /ORLDISC/ALBUM_A in both), with pycdlib; prints one line per path
// that does not, then "checked N".
constexpr const char* kManifestCheck = R"PY(
import sys, pycdlib
import xml.etree.ElementTree as ET
iso = pycdlib.PyCdlib()
iso.open(sys.argv[1])
# Files carry the version suffix ";1" in both trees of this disc.
def exists(path, joliet):
    for name in (path + ';1', path):
        try:
            if joliet:
                iso.get_record(joliet_path=name)
            else:
                iso.get_record(iso_path=name)
            return True
        except Exception:
            pass
    return False
def read(path):
    import io
    out = io.BytesIO()
    iso.get_file_from_iso_fp(out, joliet_path=path + ';1')
    return out.getvalue()
checked = 0
bad = []
def check(field, value, trees):
    global checked
    if not value:
        return
    path = value if value.startswith('/') else '/ORLDISC/ALBUM_A/' + value
    for joliet in trees:
        checked += 1
        if not exists(path, joliet):
            bad.append('%s %s (%s)' % (field, value, 'Joliet' if joliet else 'ISO 9660'))
for manifest in ['/ORLDISC/ALBUM_A/ALBUM.XML', '/ORLDISC/DISCINFO/DISCINFO.XML']:
    root = ET.fromstring(read(manifest))
    for e in root.iter():
        tag = e.tag.split('}')[-1]
        text = (e.text or '').strip()
        if tag.endswith('9660Filename'):
            check(tag, text, [False])
        elif tag.endswith('JolietFilename'):
            check(tag, text, [True])
        elif tag.startswith('od') or tag in ('pdfFilename', 'htmlFilename', 'trackFilename', 'manifestFilename'):
            check(tag, text, [False, True])
        elif tag == 'originalFilename':
            print('original ' + text)
for b in bad:
    print('MISSING ' + b)
print('checked %d' % checked)
)PY";

// A needle's bytes in UTF-8 and in UTF-16 big-endian (the Joliet tree's).
bool ImageHolds(const std::string& image, const std::string& needle) {
  std::string wide;
  for (char c : needle) {
    wide += '\0';
    wide += c;
  }
  return image.find(needle) != std::string::npos || image.find(wide) != std::string::npos;
}

// The computer side as the issue of this work states it: photos from
// nested folders with names beyond ASCII, with and without a title, a
// 48 kHz 24-bit WAV as the music and a German LC_TIME. Every path the
// manifests name opens in its tree, nothing of the host's temporary folder
// is on the disc, README.TXT and HOMEPAGE.HTM name what is there, the title
// in Greek and Chinese reads back from the PDFs that print it, and the
// insert's date is written the German way.
TEST_F(EndToEndTest, NestedFoldersBeyondAsciiMakeADiscWhoseManifestsPointAtItsFiles) {
  for (const char* tool : {"sox", "pdftotext", "qpdf", "ffprobe", "localedef", "date"}) {
    if (!Which(tool).empty()) continue;
    if (CheckersRequired()) FAIL() << tool << " missing";
    GTEST_SKIP() << tool << " missing";
  }
  // A German LC_TIME, compiled for the test when the system lacks it.
  std::map<std::string, std::string> env = {{"LC_TIME", "de_DE.UTF-8"}, {"LC_ALL", ""}};
  if (Tool("sh", {"-c", "locale -a | grep -qi '^de_DE.utf-\\?8$'"}).status != 0) {
    const std::string locales = box_.root() + "/locale";
    base::MakeDirs(locales);
    const ProgramResult made = Tool("localedef", {"-i", "de_DE", "-f", "UTF-8", locales + "/de_DE.UTF-8"});
    ASSERT_LE(made.status, 1) << made.err;  // 1: warnings only
    env["LOCPATH"] = locales;
  }
  // The temporary folder has a name to look for on the disc.
  tmp_ = box_.root() + "/hostTmpQx7";
  base::MakeDirs(tmp_);

  const std::string top = box_.root() + "/Фотографии/Ferien in München";
  const std::vector<std::string> folders = {top + "/Tag 1", top + "/Ελλάδα 夏天", top};
  for (const std::string& f : folders) base::MakeDirs(f);
  const std::vector<std::string> photos = {folders[0] + "/Elephant photo 1.jpg", folders[0] + "/Elephant photo 2.jpg",
                                           folders[1] + "/Θάλασσα.jpg", folders[1] + "/Fresh flowers.jpg",
                                           folders[2] + "/Fresh flowers.jpg"};
  for (std::size_t i = 0; i < photos.size(); ++i) {
    ASSERT_EQ(Tool("convert", {"-size", "320x240", "plasma:fractal", "-seed", std::to_string(i + 1), photos[i]}).status,
              0);
  }
  const std::string music = box_.root() + "/music 48k.wav";
  ASSERT_EQ(Tool("sox", {"-n", "-r", "48000", "-b", "24", "-c", "2", music, "synth", "4", "sine", "440"}).status, 0);
  const std::string title = "Καλοκαίρι 夏天";

  for (bool titled : {true, false}) {
    SCOPED_TRACE(titled ? "with a title" : "without a title");
    base::RemoveAll(sim_);
    ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
              0);
    std::vector<std::string> args = {"/r:silent", "/f:PAL", "/l:A4", "/m:" + music};
    for (const std::string& f : folders) args.push_back("/d:" + f);
    if (titled) args.push_back("/t1:" + title);
    const ProgramResult r = Vexa(args, "", env);
    ASSERT_EQ(r.status, 0) << r.err << Log();
    const std::string cue = Cue();
    ASSERT_FALSE(cue.empty());
    const std::string iso = box_.root() + "/disc.iso";
    ASSERT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));

    // Every path of the manifests opens in its own tree.
    const std::string script = box_.root() + "/manifests.py";
    base::WriteFileAtomic(script, kManifestCheck);
    const ProgramResult check = Tool("/usr/bin/python3", {script, iso});  // the system's, with pycdlib
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out.find("MISSING"), std::string::npos) << check.out;
    const std::size_t counted = check.out.find("checked ");
    ASSERT_NE(counted, std::string::npos) << check.out;
    // Per picture eleven paths (two trees for the relative ones), the music,
    // the album's files and the disc's.
    EXPECT_GT(std::stoi(check.out.substr(counted + 8)), 60) << check.out;
    // The title picture has a name of its own; the photos keep theirs.
    if (titled) {
      EXPECT_NE(check.out.find("original TITLE.JPG\n"), std::string::npos) << check.out;
    }
    EXPECT_NE(check.out.find("original " + photos[2] + "\n"), std::string::npos) << check.out;

    // Nothing of the host's temporary folder on the disc.
    std::string image;
    ASSERT_TRUE(base::ReadFile(cue.substr(0, cue.size() - 4) + ".bin", &image));
    EXPECT_FALSE(ImageHolds(image, "hostTmpQx7"));
    EXPECT_FALSE(ImageHolds(image, "vexaCoreTemp"));

    // README.TXT names folders the disc has; HOMEPAGE.HTM's links open.
    const std::vector<std::string> paths = JolietPaths(iso);
    auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
    const std::string readme = Extract(iso, "/README.TXT");
    for (const char* folder : {"PICTURES", "ALBUMS/ALBUM_A", "ALBUMS/ALBUM_A/ORIGINAL", "ORIGINAL", "ORLDISC/ALBUM_A",
                               "ORLDISC/ALBUM_A/VIEW", "ORLDISC/ALBUM_A/PRINT/PDF", "ORLDISC/ALBUM_A/CONTENT",
                               "ORLDISC/ALBUM_A/LOWRES", "ORLDISC/DISCINFO", "VCD", "MPEGAV", "SEGMENT"}) {
      EXPECT_TRUE(has(std::string("/") + folder)) << folder;
    }
    EXPECT_NE(readme.find("ORLDISC/ALBUM_A/VIEW/ALBUM.HTM"), std::string::npos) << readme;
    const std::string home = Extract(iso, "/HOMEPAGE.HTM");
    int links = 0;
    for (std::size_t at = home.find("href=\""); at != std::string::npos; at = home.find("href=\"", at + 1)) {
      const std::string target = home.substr(at + 6, home.find('"', at + 6) - at - 6);
      EXPECT_TRUE(has("/" + target)) << target;
      ++links;
    }
    EXPECT_GE(links, 8);
    // Both tell of the title picture only on the disc that has one, and of
    // the music it has; no marker of the shipped pages is left.
    for (const std::string* page : {&readme, &home}) {
      EXPECT_EQ(page->find("title picture") != std::string::npos, titled) << *page;
      EXPECT_NE(page->find("the album's music"), std::string::npos) << *page;
      EXPECT_EQ(page->find("[/"), std::string::npos) << *page;
    }

    // The slide pages call each photo by the user's file name, in the text
    // and as the picture's alternative text; a title picture by its title.
    std::vector<std::string> expected, shown;
    if (titled) expected.push_back(title);
    for (const std::string& p : photos) expected.push_back(base::BaseName(p));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      char page[64];
      std::snprintf(page, sizeof page, "/ORLDISC/ALBUM_A/VIEW/SHOW/HTML/SL_%04zu.HTM", i);
      const std::string slide = Extract(iso, page);
      const std::size_t picture = slide.find("<div class=\"picture\">");
      const std::size_t alt = slide.find("alt=\"", picture);
      ASSERT_NE(alt, std::string::npos) << page << "\n" << slide;
      const std::string name = slide.substr(alt + 5, slide.find('"', alt + 5) - alt - 5);
      EXPECT_NE(slide.find("<td class=\"showcount\">" + name + "<br>"), std::string::npos) << page << "\n" << slide;
      shown.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, expected);

    // The WAV became the disc's music: a copy on the disc, and Layer II
    // sound in the slide show's track.
    EXPECT_TRUE(has("/ORLDISC/ALBUM_A/CONTENT/BG_A0001.WAV"));
    const std::string rip = box_.root() + "/rip";
    base::RemoveAll(rip);
    base::MakeDirs(rip);
    ASSERT_EQ(Tool("vcdxrip", {"--cue-file=" + cue, "--nofiles", "--nosegments", "-q"}, rip).status, 0);
    const ProgramResult probe =
        Tool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,sample_rate", "-of", "csv=p=0",
                         rip + "/avseq01.mpg"});
    EXPECT_NE(probe.out.find("mp2,44100"), std::string::npos) << probe.out << probe.err;

    // The PDFs: valid; the title in Greek and Chinese comes back from the
    // contact sheet and the insert (the print album prints no title); the
    // insert's date as LC_TIME writes it.
    std::map<std::string, std::string> text;
    for (const char* pdf : {"CONTACT", "INSERT", "PRINTS"}) {
      const std::string file = box_.root() + "/" + pdf + ".pdf";
      base::WriteFileAtomic(file, Extract(iso, std::string("/ORLDISC/ALBUM_A/PRINT/PDF/") + pdf + ".PDF"));
      EXPECT_EQ(Tool("qpdf", {"--check", file}).status, 0) << pdf;
      text[pdf] = Tool("pdftotext", {"-enc", "UTF-8", file, "-"}).out;
    }
    for (const char* pdf : {"CONTACT", "INSERT"}) {
      EXPECT_EQ(text[pdf].find(title) != std::string::npos, titled) << pdf << "\n" << text[pdf];
    }
    std::map<std::string, std::string> dateEnv = env;
    const ProgramResult today = RunProgram(Which("date"), {"+%A, %-d. %B %Y"}, dateEnv, box_.root() + "/scratch");
    std::string date = today.out;
    while (!date.empty() && date.back() == '\n') date.pop_back();
    EXPECT_FALSE(date.empty());
    EXPECT_NE(text["INSERT"].find(date), std::string::npos) << date << "\n" << text["INSERT"];
  }
}

// A blank disc smaller than the image is refused before anything is
// written: it stays blank, vexa fails, and the log says how much room the
// image needs.
TEST_F(EndToEndTest, ADiscTooSmallStaysBlankAndTheLogNamesTheSpaceNeeded) {
  base::RemoveAll(sim_);
  ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr", "--capacity", "30000"}, {},
                       box_.root() + "/scratch")
                .status,
            0);
  const ProgramResult r = Vexa({"/r:silent", "/d:" + kSamples + "/photos"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string log = Log();
  EXPECT_NE(log.find("The disc is too small: the disc image needs "), std::string::npos) << log;
  EXPECT_NE(log.find(" MB (30000 sectors) free."), std::string::npos) << log;
  // Told from the estimate, before the premaster made anything.
  EXPECT_NE(log.find("IVEXAPremaster::StartPremaster - The disc is too small"), std::string::npos) << log;
  EXPECT_NE(log.find("nothing was made"), std::string::npos) << log;
  EXPECT_EQ(log.find("buffer underrun"), std::string::npos) << log;
  EXPECT_EQ(Cue(), "");
  const ProgramResult disc = RunProgram(ProgramPath("cdrsim"), {"disc", sim_}, {}, box_.root() + "/scratch");
  EXPECT_EQ(disc.status, 0) << disc.err;
  EXPECT_NE((disc.out + disc.err).find("blank"), std::string::npos) << disc.out << disc.err;
}

// The cue sheet's index addresses in sectors, in order.
std::vector<std::int64_t> CueIndexes(const std::string& cue) {
  std::string text;
  base::ReadFile(cue, &text);
  std::vector<std::int64_t> at;
  for (const std::string& line : SplitLines(text)) {
    int number = 0, m = 0, sec = 0, frame = 0;
    if (std::sscanf(line.c_str(), " INDEX %d %d:%d:%d", &number, &m, &sec, &frame) == 4) {
      at.push_back((static_cast<std::int64_t>(m) * 60 + sec) * 75 + frame);
    }
  }
  return at;
}

// A disc made where the local day is not the UTC day for part of every
// day (far east, far west: at any hour one of the two differs from UTC)
// has one date everywhere: the disc manifest's, the album page's and the
// insert's, that of the local day. The long date is the locale's own
// ("11 декабря 2026 г." in Russian, not the German order). The same discs
// hold the premaster's estimate against the layout really made: the data
// track within 3 % and on the low side, the slide show's track to the
// sector, the whole image to the sector.
TEST_F(EndToEndTest, OneLocalDateEverywhereFarEastAndWestAndTheEstimateAgainstTheDisc) {
  for (const char* tool : {"pdftotext", "localedef", "date", "convert"}) {
    if (!Which(tool).empty()) continue;
    if (CheckersRequired()) FAIL() << tool << " missing";
    GTEST_SKIP() << tool << " missing";
  }
  const std::string locales = box_.root() + "/locale";
  base::MakeDirs(locales);
  const std::string photos = box_.root() + "/photos";
  base::MakeDirs(photos);
  for (int i = 1; i <= 6; ++i) {
    ASSERT_EQ(Tool("convert", {"-size", "1600x1200", "plasma:fractal", "-seed", std::to_string(i),
                               photos + "/photo" + std::to_string(i) + ".jpg"})
                  .status,
              0);
  }
  struct Row {
    const char* zone;
    const char* locale;
    // The long date's day, month and year as `date` writes them there, and
    // what the locale's own form has around them.
    const char* dayMonthYear;
    const char* before;
    const char* after;
  } rows[] = {
      {"Pacific/Kiritimati", "ru_RU", "%-d %B %Y", ", ", "\u00A0г."},
      {"Pacific/Pago_Pago", "de_DE", "%-d. %B %Y", "%A, ", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.zone);
    const std::string name = std::string(r.locale) + ".UTF-8";
    const ProgramResult made = Tool("localedef", {"-i", r.locale, "-f", "UTF-8", locales + "/" + name});
    ASSERT_LE(made.status, 1) << made.err;  // 1: warnings only
    const std::map<std::string, std::string> env = {
        {"TZ", r.zone}, {"LC_TIME", name}, {"LC_ALL", ""}, {"LOCPATH", locales}};
    auto today = [&](const std::string& format) {
      std::string out = RunProgram(Which("date"), {"+" + format}, env, box_.root() + "/scratch").out;
      while (!out.empty() && out.back() == '\n') out.pop_back();
      return out;
    };
    base::RemoveAll(sim_);
    ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
              0);
    base::RemoveAll(box_.data() + "comslog.txt");
    const std::string dayBefore = today("%Y/%m/%d");
    const ProgramResult run = Vexa({"/r:silent", "/p:2", "/t1:Title", "/d:" + photos}, "", env);
    ASSERT_EQ(run.status, 0) << run.err << Log();
    const std::string day = today("%Y/%m/%d");
    const std::string longDay = today(r.dayMonthYear), weekday = today("%A");
    const std::string cue = Cue();
    ASSERT_FALSE(cue.empty());
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";

    // The estimate, from the command log, against the tracks of the cue.
    std::string coms;
    base::ReadFile(box_.data() + "comslog.txt", &coms);
    long long estimated = 0, data = 0, files = 0, show = 0;
    const std::size_t at = coms.find("Premaster estimate: ");
    ASSERT_NE(at, std::string::npos) << coms.substr(0, 2000);
    ASSERT_EQ(std::sscanf(coms.c_str() + at, "Premaster estimate: %lld sectors, data %lld (files %lld), show %lld",
                          &estimated, &data, &files, &show),
              4);
    const std::vector<std::int64_t> index = CueIndexes(cue);
    ASSERT_EQ(index.size(), 5u) << "data track, slide show, padding";
    const std::int64_t realData = index[1] - 7, realShow = index[3] - 7 - index[2];
    EXPECT_LE(data, realData);
    EXPECT_GE(data, realData * 97 / 100) << realData;
    EXPECT_NEAR(show, realShow, 2);
    struct stat st {};
    ASSERT_EQ(::stat(bin.c_str(), &st), 0);
    EXPECT_EQ(estimated, st.st_size / 2352);

    if (day != dayBefore) continue;  // midnight passed during the run
    const std::string iso = box_.root() + "/disc.iso";
    ASSERT_TRUE(BinToIso(bin, iso));
    base::RemoveAll(bin);
    JolietPaths(iso);
    // The disc manifest's date, and every date of the album manifest (the
    // pictures were all made today).
    const std::string disc = Extract(iso, "/ORLDISC/DISCINFO/DISCINFO.XML");
    EXPECT_NE(disc.find("<createdDate>" + day + " "), std::string::npos) << disc;
    const std::string album = Extract(iso, "/ORLDISC/ALBUM_A/ALBUM.XML");
    const std::string year = day.substr(0, 5);  // "2026/"
    int dates = 0;
    for (const std::string* xml : {&disc, &album}) {
      for (std::size_t d = xml->find(year); d != std::string::npos; d = xml->find(year, d + 1), ++dates) {
        EXPECT_EQ(xml->compare(d, day.size(), day), 0) << xml->substr(d, 20);
      }
    }
    EXPECT_GT(dates, 6);
    // The album page and the insert: the locale's own long date of that day.
    std::string before = r.before;
    if (before == "%A, ") before = weekday + ", ";
    const std::string expected = before + longDay + r.after;
    const std::string page = Extract(iso, "/ORLDISC/ALBUM_A/VIEW/ALBUM.HTM");
    EXPECT_NE(page.find(expected), std::string::npos) << expected << "\n" << page;
    const std::string insert = box_.root() + "/insert.pdf";
    base::WriteFileAtomic(insert, Extract(iso, "/ORLDISC/ALBUM_A/PRINT/PDF/INSERT.PDF"));
    const std::string text = Tool("pdftotext", {"-enc", "UTF-8", insert, "-"}).out;
    // pdftotext may give the no-break space as a plain one.
    std::string plain = expected;
    for (std::size_t nb = plain.find("\u00A0"); nb != std::string::npos; nb = plain.find("\u00A0")) {
      plain.replace(nb, 2, " ");
    }
    EXPECT_TRUE(text.find(expected) != std::string::npos || text.find(plain) != std::string::npos)
        << expected << "\n" << text;
    base::RemoveAll(iso);
  }
}

// 599 photos and a title are one picture more than a disc holds: the run
// fails at once, before a photo is added, saying so and how many to
// remove; it does not call them unreadable, and no disc is written.
TEST_F(EndToEndTest, FiveHundredNinetyNinePhotosAndATitleFailAtOnceAsTooMany) {
  const std::string photos = box_.root() + "/many";
  base::MakeDirs(photos);
  const std::string first = photos + "/p1000.jpg";
  ASSERT_EQ(Tool("convert", {"-size", "16x12", "xc:orange", first}).status, 0);
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(first, &bytes));
  for (int i = 1; i < 599; ++i) base::WriteFileAtomic(photos + "/p" + std::to_string(1000 + i) + ".jpg", bytes);
  const ProgramResult r = Vexa({"/r:silent", "/t1:Six hundred", "/d:" + photos});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string log = Log();
  EXPECT_NE(log.find("CVEXACore1::AddImageDirectory - Too many pictures: a disc holds at most 599, the title picture "
                     "included; this disc would have 600 (599 pictures and the title picture). Remove 1 of the "
                     "pictures."),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("corrupt"), std::string::npos) << log;
  EXPECT_EQ(log.find("AddStill call failed"), std::string::npos) << log;
  EXPECT_EQ(Cue(), "");
}

// ---- inputs that are not plain photos -------------------------------------------------------

// The log's own lines: each starts with a stamp "YYYYMMDDTHHMMSS.NN"; the
// text of a message never starts a line.
void ExpectOnlyStampedLines(const std::string& log) {
  for (const std::string& line : SplitLines(log)) {
    std::string text = line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    const bool stamped = text.size() > 18 && text[8] == 'T' && text[15] == '.' &&
                         std::all_of(text.begin(), text.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
    EXPECT_TRUE(stamped) << "a line without a stamp: " << text;
  }
}

// A list, a picture or the music that is a FIFO, and a list that is a
// folder: each is refused at once (nothing waits for a writer), the run
// fails, and the log says what the path is.
TEST_F(EndToEndTest, AFifoOrFolderWhereAFileBelongsIsRefusedSayingWhatItIs) {
  // The FIFO's name carries a line break and what would pass for a line of
  // the log: the log shows the name escaped, on the line of its message.
  const std::string fifo = box_.root() + "/fifo\n20021105T142233.00 INFO   vexacore : forged.jpg";
  const std::string shown = base::EscapeForDisplay(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = box_.root() + "/folder.lst";
  base::MakeDirs(folder);
  const std::string list = box_.root() + "/fifo-in.lst";
  ASSERT_TRUE(base::WriteFileAtomic(list, ListOf({fifo})));
  const std::string photos = "/d:" + kSamples + "/photos";
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"/r:silent", "/i:" + fifo}, "'" + shown + "' is a FIFO, not a regular file"},
      {{"/r:silent", "/i:" + list}, "'" + shown + "' is a FIFO, not a regular file"},
      {{"/r:silent", "/i:" + folder}, "'" + folder + "' is a folder, not a file"},
      {{"/r:silent", "/m:" + box_.root() + "/fifo.mp3", photos}, "fifo.mp3' is a FIFO, not a regular file"},
  };
  ASSERT_EQ(::mkfifo((box_.root() + "/fifo.mp3").c_str(), 0600), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    base::RemoveAll(box_.data() + "vexalog.txt");
    const ProgramResult r = Vexa(c.args);
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string log = Log();
    EXPECT_NE(log.find(c.said), std::string::npos) << log;
    EXPECT_EQ(log.find("does not exist"), std::string::npos) << log;
    ExpectOnlyStampedLines(log);
    EXPECT_EQ(Cue(), "");
  }
}

// A photo folder as people have it: photos, some with names a file system
// allows and text does not (a backslash, bytes that are not UTF-8, a line
// break), beside notes, a sidecar, a hidden file and a thumbnail cache. The
// disc is made with every photo on it (as isoinfo and pycdlib read it), the
// other files are passed over with an information line each, and the names
// in the log are escaped on their own line.
TEST_F(EndToEndTest, APhotoFolderWithOtherFilesAndOddNamesMakesADiscOfItsPhotos) {
  const std::string dir = box_.root() + "/photos";
  base::MakeDirs(dir);
  const std::vector<std::string> names = {"arrival.jpg", "back\\slash.jpg", "\xE9t\xE9.jpg", "line\nforged.jpg"};
  const std::vector<std::string> samples = {"arrival.jpg", "boats.jpg", "lighthouse.jpg", "sunset.jpg"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string bytes;
    ASSERT_TRUE(base::ReadFile(kSamples + "/photos/" + samples[i], &bytes));
    ASSERT_TRUE(base::WriteFileAtomic(dir + "/" + names[i], bytes));
  }
  const std::vector<std::pair<std::string, std::string>> others = {
      {"notes.txt", "Summer 2002, at the lake.\n"},
      {"arrival.xmp", "<?xml version=\"1.0\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>\n"},
      {".directory", "[Desktop Entry]\nIcon=folder-pictures\n"},
      {"Thumbs.db", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0')},
  };
  for (const auto& [name, bytes] : others) ASSERT_TRUE(base::WriteFileAtomic(dir + "/" + name, bytes));

  for (const bool listed : {false, true}) {
    SCOPED_TRACE(listed ? "an image list" : "a folder");
    base::RemoveAll(sim_);
    ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
              0);
    base::RemoveAll(box_.data() + "vexalog.txt");
    std::string input = "/d:" + dir;
    if (listed) {
      std::vector<std::string> paths;
      for (const std::string& n : names) paths.push_back(dir + "/" + n);
      const std::string list = box_.root() + "/photos.lst";
      ASSERT_TRUE(base::WriteFileAtomic(list, ListOf(paths)));
      input = "/i:" + list;
    }
    const ProgramResult r = Vexa({"/r:silent", "/f:PAL", "/t1:Odd names", input});
    const std::string log = Log();
    ASSERT_EQ(r.status, 0) << r.err << log;
    if (!listed) {
      for (const auto& [name, bytes] : others) {
        const std::string kind = name[0] == '.' ? "Hidden file passed over: " : "Not a picture, passed over: ";
        EXPECT_NE(log.find(kind + dir + "/" + name + "."), std::string::npos) << name << "\n" << log;
      }
    }
    EXPECT_EQ(log.find("Invalid still path"), std::string::npos) << log;
    ExpectOnlyStampedLines(log);

    const std::string cue = Cue();
    ASSERT_FALSE(cue.empty());
    const std::string iso = box_.root() + "/disc.iso";
    ASSERT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));
    const std::vector<std::string> paths = JolietPaths(iso);
    auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
    // The four photos and the title still, and no fifth photo.
    for (int i = 1; i <= 5; ++i) {
      char name[40];
      std::snprintf(name, sizeof name, "/ORLDISC/ALBUM_A/CONTENT/IM_A%04d.JPG", i);
      EXPECT_TRUE(has(name)) << name;
    }
    EXPECT_FALSE(has("/ORLDISC/ALBUM_A/CONTENT/IM_A0006.JPG"));
    // Each photo's original is on the disc with the photo's own pixels.
    std::vector<std::string> originals;
    for (const std::string& p : paths) {
      const std::string name = base::BaseName(p);
      if (p.rfind("/ORIGINAL/", 0) == 0 && base::EqualsNoCase(base::Extension(name), ".jpg") &&
          !base::EqualsNoCase(name, "TITLE.JPG")) {
        originals.push_back(p);
      }
    }
    ASSERT_EQ(originals.size(), names.size()) << ::testing::PrintToString(originals);
    std::vector<std::string> theirs, mine;
    for (const std::string& s : samples) theirs.push_back(Tool("djpeg", {kSamples + "/photos/" + s}).out);
    for (const std::string& o : originals) {
      const std::string copy = box_.root() + "/original.jpg";
      base::WriteFileAtomic(copy, Extract(iso, o));
      mine.push_back(Tool("djpeg", {copy}).out);
    }
    std::sort(theirs.begin(), theirs.end());
    std::sort(mine.begin(), mine.end());
    EXPECT_TRUE(mine == theirs);
    // The manifests stay well-formed and point at files of their trees.
    for (const char* xml : {"/ORLDISC/ALBUM_A/ALBUM.XML", "/ORLDISC/DISCINFO/DISCINFO.XML"}) {
      const std::string file = box_.root() + "/manifest.xml";
      base::WriteFileAtomic(file, Extract(iso, xml));
      const ProgramResult lint = Tool("xmllint", {"--noout", file});
      EXPECT_EQ(lint.status, 0) << xml << ": " << lint.err;
    }
    const std::string script = box_.root() + "/manifests.py";
    base::WriteFileAtomic(script, kManifestCheck);
    const ProgramResult check = Tool("/usr/bin/python3", {script, iso});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out.find("MISSING"), std::string::npos) << check.out;
  }
}

// Every kind of photo the shipped filter takes makes a silent disc: a JPEG,
// an 8-bit and a 16-bit PNG and a GIF, from their folder and from an image
// list made with the README's command. Each full-size copy on the disc is
// its photo, by ImageMagick's PSNR against the file given.
TEST_F(EndToEndTest, JpegPngSixteenBitPngAndGifPhotosMakeASilentDisc) {
  for (const char* tool : {"convert", "compare", "identify", "iconv"}) {
    if (!Which(tool).empty()) continue;
    if (CheckersRequired()) FAIL() << tool << " missing";
    GTEST_SKIP() << tool << " missing";
  }
  const std::string dir = box_.root() + "/kinds";
  base::MakeDirs(dir);
  struct Photo {
    const char* name;
    const char* coder;
    const char* depth;  // as identify reports it
  };
  const Photo photos[] = {{"a.jpg", "JPEG:", "8"}, {"b c.png", "PNG24:", "8"}, {"c 16.png", "PNG48:", "16"},
                          {"d.gif", "GIF:", "8"}};
  for (const Photo& p : photos) {
    const std::string file = dir + "/" + p.name;
    ASSERT_EQ(Tool("convert", {"-size", "480x360", "gradient:#ffd080-#2050a0", "-fill", "#40c060", "-draw",
                               "circle 240,180 300,220", "-fill", "#c02040", "-draw", "rectangle 40,40 140,120",
                               std::string(p.coder) + file})
                  .status,
              0);
    EXPECT_EQ(Tool("identify", {"-format", "%z", file}).out, p.depth) << p.name;
  }
  for (const bool listed : {false, true}) {
    SCOPED_TRACE(listed ? "an image list" : "a folder");
    base::RemoveAll(sim_);
    ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
              0);
    std::string input = "/d:" + dir;
    if (listed) {
      const std::string list = box_.root() + "/pictures.lst";
      std::string command = "printf '%s\\0'";
      for (const Photo& p : photos) command += std::string(" \"") + dir + "/" + p.name + "\"";
      command += " | iconv -f UTF-8 -t UTF-16LE > \"" + list + "\"";
      ASSERT_EQ(Tool("sh", {"-c", command}).status, 0) << command;
      input = "/i:" + list;
    }
    const ProgramResult r = Vexa({"/r:silent", "/f:PAL", input});
    ASSERT_EQ(r.status, 0) << r.err << Log();
    const std::string cue = Cue();
    ASSERT_FALSE(cue.empty());
    const ProgramResult info = Tool("vcd-info", {"--cue-file=" + cue, "-B"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ((info.out + info.err).find("WARN"), std::string::npos) << info.out << info.err;
    const std::string iso = box_.root() + "/disc.iso";
    ASSERT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));
    JolietPaths(iso);
    for (std::size_t i = 0; i < std::size(photos); ++i) {
      char name[40];
      std::snprintf(name, sizeof name, "/PICTURES/IM_A%04zu.JPG", i + 1);
      const std::string copy = box_.root() + "/copy.jpg";
      ASSERT_TRUE(base::WriteFileAtomic(copy, Extract(iso, name)));
      EXPECT_EQ(Tool("identify", {"-format", "%wx%h", copy}).out, "480x360") << name;
      // compare prints the PSNR on standard error and ends 1 when the two differ.
      const ProgramResult psnr = Tool("compare", {"-metric", "PSNR", dir + "/" + photos[i].name, copy, "null:"});
      EXPECT_LE(psnr.status, 1) << psnr.err;
      EXPECT_GE(std::atof(psnr.err.c_str()), 35.0) << photos[i].name << ": " << psnr.err;
    }
  }
}

// Checks, on the ISO 9660 image of a disc, that every page of its Joliet
// tree links only what the disc holds: each href and src that is not a
// web address or a place in the page names a file or folder, relative to
// the page, in the Joliet tree (pycdlib). Prints one line per link that
// does not, then "pages N links M".
constexpr const char* kPageCheck = R"PY(
import sys, posixpath, pycdlib
from html.parser import HTMLParser
iso = pycdlib.PyCdlib()
iso.open(sys.argv[1])
def exists(path):
    for name in (path + ';1', path):
        try:
            iso.get_record(joliet_path=name)
            return True
        except Exception:
            pass
    return False
class Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.found = []
    def handle_starttag(self, tag, attrs):
        for k, v in attrs:
            if k in ('href', 'src') and v:
                self.found.append(v)
pages = links = 0
for top, dirs, files in iso.walk(joliet_path='/'):
    for f in files:
        name = f.split(';')[0]
        if not name.upper().endswith(('.HTM', '.HTML')):
            continue
        import io
        out = io.BytesIO()
        iso.get_file_from_iso_fp(out, joliet_path=posixpath.join(top, f))
        p = Links()
        p.feed(out.getvalue().decode('utf-8', 'replace'))
        pages += 1
        for link in p.found:
            target = link.split('#')[0].split('?')[0]
            if not target or ':' in target:
                continue
            links += 1
            path = posixpath.normpath(posixpath.join(top, target))
            if not exists(path):
                print('MISSING %s in %s' % (link, posixpath.join(top, name)))
print('pages %d links %d' % (pages, links))
)PY";

// Photos of every kind but JPEG keep their kind's extension under the
// album's numbers in ALBUMS/ALBUM_A/ORIGINAL, as in ORLDISC/ALBUM_A/ORIGINAL
// under their own names, in both trees as isoinfo lists them; the files
// there are the photos given; the album manifest names those files, and
// every path of the manifests and every link of the pages opens on the disc
// (pycdlib).
TEST_F(EndToEndTest, EachOriginalKeepsItsKindsExtensionAndEveryReferenceOpens) {
  for (const char* tool : {"convert", "identify"}) {
    if (!Which(tool).empty()) continue;
    if (CheckersRequired()) FAIL() << tool << " missing";
    GTEST_SKIP() << tool << " missing";
  }
  const std::string dir = box_.root() + "/kinds";
  base::MakeDirs(dir);
  const struct {
    const char* name;
    const char* coder;
    const char* iso;    // in ORLDISC/ALBUM_A/ORIGINAL
    const char* album;  // in ALBUMS/ALBUM_A/ORIGINAL (the title picture is IM_A0001.JPG)
  } photos[] = {{"a.png", "PNG24:", "A.PNG", "IM_A0002.PNG"},  {"b.gif", "GIF:", "B.GIF", "IM_A0003.GIF"},
                {"c.tiff", "TIFF:", "C.TIF", "IM_A0004.TIF"}, {"d.bmp", "BMP3:", "D.BMP", "IM_A0005.BMP"},
                {"e.jpeg", "JPEG:", "E.JPE", "IM_A0006.JPE"}, {"f.jpg", "JPEG:", "F.JPG", "IM_A0007.JPG"}};
  for (const auto& p : photos) {
    ASSERT_EQ(Tool("convert", {"-size", "400x300", "gradient:#ffd080-#2050a0", "-fill", "#c02040", "-draw",
                               "rectangle 40,40 140,120", std::string(p.coder) + dir + "/" + p.name})
                  .status,
              0);
  }
  const ProgramResult r = Vexa({"/r:silent", "/f:PAL", "/t1:Kinds", "/d:" + dir});
  ASSERT_EQ(r.status, 0) << r.err << Log();
  const std::string cue = Cue();
  ASSERT_FALSE(cue.empty());
  const std::string iso = box_.root() + "/disc.iso";
  ASSERT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));

  // Both trees, as isoinfo lists them.
  const std::vector<std::string> joliet = JolietPaths(iso);
  const ProgramResult plain = Tool("isoinfo", {"-f", "-i", iso});
  ASSERT_EQ(plain.status, 0) << plain.err;
  std::vector<std::string> isoTree;
  for (std::string line : SplitLines(plain.out)) {
    if (line.size() > 2 && line.compare(line.size() - 2, 2, ";1") == 0) line.resize(line.size() - 2);
    isoTree.push_back(line);
  }
  auto inFolder = [](const std::vector<std::string>& tree, const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& p : tree) {
      if (p.rfind(folder, 0) == 0 && p.find('/', folder.size()) == std::string::npos) {
        names.push_back(p.substr(folder.size()));
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  std::vector<std::string> album = {"IM_A0001.JPG"}, own = {"TITLE.JPG"};
  for (const auto& p : photos) {
    album.push_back(p.album);
    own.push_back(p.iso);
  }
  std::sort(album.begin(), album.end());
  std::sort(own.begin(), own.end());
  for (const std::vector<std::string>* tree : {&joliet, static_cast<const std::vector<std::string>*>(&isoTree)}) {
    SCOPED_TRACE(tree == &joliet ? "Joliet" : "ISO 9660");
    EXPECT_EQ(inFolder(*tree, "/ALBUMS/ALBUM_A/ORIGINAL/"), album);
    EXPECT_EQ(inFolder(*tree, "/ORLDISC/ALBUM_A/ORIGINAL/"), own);
  }
  // The files are the photos: the same bytes (a JPEG with the record of
  // its source added, the same pixels as djpeg decodes them).
  for (const auto& p : photos) {
    SCOPED_TRACE(p.name);
    const std::string given = dir + "/" + p.name;
    std::string bytes;
    ASSERT_TRUE(base::ReadFile(given, &bytes));
    for (const std::string& path : {std::string("/ALBUMS/ALBUM_A/ORIGINAL/") + p.album,
                                   std::string("/ORLDISC/ALBUM_A/ORIGINAL/") + p.iso}) {
      const std::string copy = box_.root() + "/copy" + base::Extension(p.name);
      ASSERT_TRUE(base::WriteFileAtomic(copy, Extract(iso, path)));
      if (std::string(p.coder) == "JPEG:") {
        EXPECT_TRUE(Tool("djpeg", {copy}).out == Tool("djpeg", {given}).out) << path;
      } else {
        std::string back;
        base::ReadFile(copy, &back);
        EXPECT_TRUE(back == bytes) << path;
      }
      EXPECT_EQ(Tool("identify", {"-format", "%m", copy}).out,
                Tool("identify", {"-format", "%m", given}).out) << path;
    }
  }

  // The album names each original by the name the disc holds it under.
  const std::string manifest = box_.root() + "/album.xml";
  base::WriteFileAtomic(manifest, Extract(iso, "/ORLDISC/ALBUM_A/ALBUM.XML"));
  for (const char* field : {"albumOriginal9660Filename", "albumOriginalJolietFilename"}) {
    const ProgramResult named =
        Tool("xmllint", {"--xpath", std::string("//*[local-name()='") + field + "']/text()", manifest});
    ASSERT_EQ(named.status, 0) << named.err;
    std::vector<std::string> paths = SplitLines(named.out);
    paths.erase(std::remove(paths.begin(), paths.end(), ""), paths.end());
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> expected;
    for (const std::string& a : album) expected.push_back("/ALBUMS/ALBUM_A/ORIGINAL/" + a);
    EXPECT_EQ(paths, expected) << field;
  }
  for (const auto& [script, text] : {std::pair<const char*, const char*>{"manifests.py", kManifestCheck},
                                     std::pair<const char*, const char*>{"pages.py", kPageCheck}}) {
    const std::string file = box_.root() + "/" + script;
    base::WriteFileAtomic(file, text);
    const ProgramResult check = Tool("/usr/bin/python3", {file, iso});  // the system's, with pycdlib
    ASSERT_EQ(check.status, 0) << script << ": " << check.err;
    EXPECT_EQ(check.out.find("MISSING"), std::string::npos) << script << ":\n" << check.out;
    // Something was checked.
    for (const char* none : {"checked 0\n", "pages 0 ", "links 0\n"}) {
      EXPECT_EQ(check.out.find(none), std::string::npos) << script << ":\n" << check.out;
    }
  }
}

// A photo whose name holds a control character (ESC, BEL, U+0001), which no
// album file can hold, is left out before any work, named with the
// character shown, like any picture set aside: from a folder, from an
// image list and from an album file (whose relative names take the
// album's folder, here one with an ESC in its name). Silent, the run ends
// there, as it ends for any picture that cannot be used; with the status
// shown the disc is made of the other photos, its album file well-formed.
// Music named so is refused before any work as well.
TEST_F(EndToEndTest, APhotoWhoseNameHoldsAControlCharacterIsLeftOutByNameOnEveryRoad) {
  if (Which("sox").empty()) {
    if (CheckersRequired()) FAIL() << "sox missing";
    GTEST_SKIP() << "sox missing";
  }
  const std::string dir = box_.root() + "/controls";
  const std::string albumDir = box_.root() + "/al\x1B" "bum";
  base::MakeDirs(dir);
  base::MakeDirs(albumDir);
  const std::string good = dir + "/good.jpg";
  const struct {
    std::string path;
    std::string shown;      // as the log shows it
    const char* character;  // the one the album cannot hold
  } bad[] = {{dir + "/esc\x1B[31mred.jpg", dir + "/esc\\x1B[31mred.jpg", "U+001B"},
             {dir + "/bel\x07.jpg", dir + "/bel\\x07.jpg", "U+0007"},
             {dir + "/\x01one.jpg", dir + "/\\x01one.jpg", "U+0001"},
             {albumDir + "/photo.jpg", box_.root() + "/al\\x1Bbum/photo.jpg", "U+001B"}};
  const char* samples[] = {"boats.jpg", "lighthouse.jpg", "sunset.jpg", "the pier.jpg"};
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(kSamples + "/photos/arrival.jpg", &bytes));
  ASSERT_TRUE(base::WriteFileAtomic(good, bytes));
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    ASSERT_TRUE(base::ReadFile(kSamples + "/photos/" + samples[i], &bytes));
    ASSERT_TRUE(base::WriteFileAtomic(bad[i].path, bytes));
  }
  auto place = [](const std::string& path) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
      const auto c = static_cast<unsigned char>(path[i]);
      if ((c & 0xC0) != 0x80) ++n;  // counts characters, not bytes
      if (c < 0x20) return n;
    }
    return n;
  };
  const std::string list = box_.root() + "/controls.lst";
  ASSERT_TRUE(base::WriteFileAtomic(list, ListOf({good, bad[0].path, bad[1].path, bad[2].path, bad[3].path})));
  const std::string albumFile = albumDir + "/album.xml";
  ASSERT_TRUE(base::WriteFileAtomic(
      albumFile, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<AlbumManifest xmlns=\"http://schemas.vexa.example/go/di-cv-vexa-1-6\"><stillImages>"
                 "<StillImage><originalFilename>" + good + "</originalFilename></StillImage>"
                 "<StillImage><originalFilename>photo.jpg</originalFilename></StillImage>"
                 "</stillImages></AlbumManifest>\n"));

  auto lineFor = [&](std::size_t i) {
    return "CVEXACore1::AddStill - The file name holds a character that the disc's album file cannot hold (" +
           std::string(bad[i].character) + " at character " + std::to_string(place(bad[i].path)) +
           "); the picture is left out: " + bad[i].shown + ".";
  };

  const struct {
    const char* road;
    std::string input;
    std::vector<std::size_t> leftOut;  // indexes into bad, in the order they are met
  } roads[] = {{"a folder", "/d:" + dir, {2, 1, 0}},
               {"an image list", "/i:" + list, {0, 1, 2, 3}},
               {"an album file", albumFile, {3}}};
  for (const auto& road : roads) {
    SCOPED_TRACE(road.road);
    for (const bool silent : {true, false}) {
      SCOPED_TRACE(silent ? "/r:silent" : "/r:status");
      base::RemoveAll(sim_);
      ASSERT_EQ(
          RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
          0);
      base::RemoveAll(box_.data() + "vexalog.txt");
      // Silent, the first picture refused ends the run, as any picture
      // that cannot be used does there. With the status shown (on a pipe,
      // no display) the run goes on, and the list of the pictures left out
      // is answered with its default, OK: the disc is made of the others.
      const ProgramResult r =
          silent ? Vexa({"/r:silent", "/f:PAL", road.input})
                 : box_.RunWithStderr("vexa", {"/r:status", "/f:PAL", road.input},
                                      {{"VEXA_SCSI_TRANSPORT", "sim:" + sim_}, {"TMPDIR", box_.root() + "/tmp"}},
                                      false);
      const std::string log = Log();
      // Set aside before the engine saw it, and nothing fails at the end.
      EXPECT_EQ(log.find("IVEXAStoryboardStillsSlideshow1::AddStill"), std::string::npos) << log;
      EXPECT_EQ(log.find("storeToFile"), std::string::npos) << log;
      EXPECT_EQ(log.find("Premaster failed"), std::string::npos) << log;
      ExpectOnlyStampedLines(log);
      if (silent) {
        EXPECT_EQ(r.status, 1) << r.err << log;
        const std::string line = lineFor(road.leftOut.front());
        EXPECT_NE(log.find(" ERROR  vexacore : " + line + "\r\n"), std::string::npos) << line << "\n" << log;
        EXPECT_EQ(Cue(), "");
        continue;
      }
      ASSERT_EQ(r.status, 0) << r.err << log;
      for (const std::size_t i : road.leftOut) {
        EXPECT_NE(log.find(" ERROR  vexacore : " + lineFor(i) + "\r\n"), std::string::npos) << lineFor(i) << "\n"
                                                                                             << log;
        // The list of the pictures left out names it as the log does.
        EXPECT_NE(r.err.find(bad[i].shown + "\n"), std::string::npos) << bad[i].shown << "\n" << r.err;
      }

      // The disc holds the one good photo, and an album file that names it.
      const std::string cue = Cue();
      ASSERT_FALSE(cue.empty());
      const std::string iso = box_.root() + "/disc.iso";
      ASSERT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));
      const std::vector<std::string> paths = JolietPaths(iso);
      auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
      EXPECT_TRUE(has("/PICTURES/IM_A0001.JPG"));
      EXPECT_FALSE(has("/PICTURES/IM_A0002.JPG"));
      const std::string manifest = box_.root() + "/album.xml";
      base::WriteFileAtomic(manifest, Extract(iso, "/ORLDISC/ALBUM_A/ALBUM.XML"));
      const ProgramResult lint =
          Tool("xmllint", {"--xpath", "//*[local-name()='originalFilename']/text()", manifest});
      EXPECT_EQ(lint.status, 0) << lint.err;
      EXPECT_EQ(lint.out, good + "\n") << lint.out;
    }
  }

  // Music named so is refused before any work too, as music that cannot
  // be used is: silent, the run ends there.
  const std::string goodDir = box_.root() + "/good";
  base::MakeDirs(goodDir);
  ASSERT_TRUE(base::ReadFile(good, &bytes));
  ASSERT_TRUE(base::WriteFileAtomic(goodDir + "/good.jpg", bytes));
  const std::string music = box_.root() + "/tu\x07ne.wav";
  ASSERT_EQ(Tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", music, "synth", "1", "sine", "440"}).status, 0);
  base::RemoveAll(sim_);
  ASSERT_EQ(RunProgram(ProgramPath("cdrsim"), {"create", sim_, "--media", "cdr"}, {}, box_.root() + "/scratch").status,
            0);
  base::RemoveAll(box_.data() + "vexalog.txt");
  const ProgramResult r = Vexa({"/r:silent", "/f:PAL", "/m:" + music, "/d:" + goodDir});
  const std::string log = Log();
  EXPECT_EQ(r.status, 1) << log;
  const std::string line = " ERROR  vexacore : CVEXACore1::AddAudioTrack - The file name holds a character that the "
                           "disc's album file cannot hold (U+0007 at character " +
                           std::to_string(place(music)) + "): " + box_.root() + "/tu\\x07ne.wav.\r\n";
  EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("storeToFile"), std::string::npos) << log;
  EXPECT_EQ(log.find("Premaster failed"), std::string::npos) << log;
  EXPECT_EQ(Cue(), "");
}

// A valid WAV of 5 ms is the disc's music: the run makes the disc, and the
// slide show plays it over and over, as any music shorter than the show,
// with sound all through (ffprobe on the track vcdxrip takes from the
// disc). The music file on the disc is the WAV given.
TEST_F(EndToEndTest, AFiveMillisecondWavIsTheMusicOfTheShow) {
  for (const char* tool : {"sox", "ffprobe"}) {
    if (!Which(tool).empty()) continue;
    if (CheckersRequired()) FAIL() << tool << " missing";
    GTEST_SKIP() << tool << " missing";
  }
  const std::string music = box_.root() + "/blip.wav";
  ASSERT_EQ(Tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", music, "synth", "0.005", "sine", "880"}).status, 0);
  const ProgramResult made = Tool("soxi", {"-D", music});
  EXPECT_NEAR(std::atof(made.out.c_str()), 0.005, 0.0005) << made.out;
  const std::string dir = box_.root() + "/photos";
  base::MakeDirs(dir);
  for (const char* name : {"arrival.jpg", "boats.jpg"}) {
    std::string bytes;
    ASSERT_TRUE(base::ReadFile(kSamples + "/photos/" + name, &bytes));
    ASSERT_TRUE(base::WriteFileAtomic(dir + "/" + name, bytes));
  }
  const ProgramResult r = Vexa({"/r:silent", "/f:PAL", "/p:3", "/m:" + music, "/d:" + dir});
  const std::string log = Log();
  ASSERT_EQ(r.status, 0) << r.err << log;
  EXPECT_NE(log.find("AUDIO Real Track = " + music + "."), std::string::npos) << log;
  const std::string cue = Cue();
  ASSERT_FALSE(cue.empty());

  const std::string rip = box_.root() + "/rip";
  base::MakeDirs(rip);
  ASSERT_EQ(Tool("vcdxrip", {"--cue-file=" + cue, "--nofiles", "--nosegments", "-q"}, rip).status, 0);
  const std::string show = rip + "/avseq01.mpg";
  const ProgramResult probe = Tool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_type,codec_name,sample_rate",
                                               "-of", "csv=p=0", show});
  EXPECT_NE(probe.out.find("mp2,audio,44100"), std::string::npos) << probe.out << probe.err;
  // Sound all through the two photos' six seconds.
  const ProgramResult audio = Tool("ffprobe", {"-v", "error", "-select_streams", "a", "-show_entries",
                                               "packet=pts_time", "-of", "csv=p=0", show});
  const std::vector<std::string> times = SplitLines(audio.out);
  ASSERT_GT(times.size(), 100u) << audio.out << audio.err;
  double last = 0;
  for (const std::string& t : times) last = std::max(last, std::atof(t.c_str()));
  const ProgramResult video = Tool("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries",
                                               "packet=pts_time", "-of", "csv=p=0", show});
  double first = 1e9;
  for (const std::string& t : SplitLines(video.out)) {
    if (!t.empty()) first = std::min(first, std::atof(t.c_str()));
  }
  EXPECT_GT(last - first, 5.5) << audio.out;
  const ProgramResult clean = Tool("ffmpeg", {"-v", "error", "-xerror", "-i", show, "-f", "null", "-"});
  EXPECT_EQ(clean.status, 0) << clean.err;

  const std::string iso = box_.root() + "/disc.iso";
  ASSERT_TRUE(BinToIso(cue.substr(0, cue.size() - 4) + ".bin", iso));
  JolietPaths(iso);
  std::string given;
  ASSERT_TRUE(base::ReadFile(music, &given));
  EXPECT_TRUE(Extract(iso, "/ORLDISC/ALBUM_A/CONTENT/BG_A0001.WAV") == given);
}

}  // namespace
}  // namespace vexa::app::testing
