// Photos with music to a finished disc, through the engine as its client
// drives it, burned on the simulated recorder, and the disc read back with
// independent tools: vcd-info, vcdxrip, cd-info and ffmpeg for the Video CD,
// isoinfo, xorriso and pycdlib for the file tree, qpdf for the PDFs, xmllint
// for the manifests. Cancels at every phase and the drive's failures end in
// the right state and code.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/DiscpakLibrary.h"
#include "engine/tests/EngineFixture.h"
#include "idl/vexaxml.h"
#include "platform/base/Module.h"
#include "platform/com/ComObject.h"
#include "platform/com/Runtime.h"
#include "platform/imaging/Codec.h"

namespace vexa::engine::test {
namespace {

namespace fs = std::filesystem;

void CloseTransport() {
  base::Module m = base::Module::Load("discpakm2");
  auto get = m.Function<DLL_LL_GetLibObjectFn>("DLL_LL_GetLibObject");
  auto release = m.Function<DLL_LL_ReleaseObjectFn>("DLL_LL_ReleaseObject");
  if (get && release) {
    if (auto* coms = static_cast<CDR4COMS*>(get("CDR4COMS"))) {
      coms->COMS_Close();
      release(coms);
    }
  }
  m.Release();
}

std::string ReadAll(const std::string& path) {
  std::string s;
  base::ReadFile(path, &s);
  return s;
}

// The bytes of a JPEG without its comment segments.
std::string WithoutComments(const std::string& jpeg) {
  std::string out = jpeg.substr(0, 2);
  std::size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
    if (marker == 0xDA) return out + jpeg.substr(i);
    const std::size_t length = (static_cast<unsigned char>(jpeg[i + 2]) << 8) | static_cast<unsigned char>(jpeg[i + 3]);
    if (marker != 0xFE) out += jpeg.substr(i, 2 + length);
    i += 2 + length;
  }
  return out;
}

struct DiscSpec {
  int photos = 13;
  bool smallPhotos = false;
  bool music = true;
  VEXATVSystem tv = VEXATVNTSC;
  VEXAPaperSize paper = VEXAPaperSizeLetter;
  std::string faults;             // drive.conf fault lines
  std::string media = "cdr";
  int musicSeconds = 12;
  int stillDelayMs = 3000;  // 0: never set, the engine's default applies
  enum Cancel { kNone, kPremasterAtOnce, kPremasterLater, kBurn } cancel = kNone;
  // The EXIF Orientation every photo is tagged with; its photos are drawn
  // as a red left half and a blue right half. 0: untagged photos of plasma.
  int orientation = 0;
};

struct DiscResult {
  HRESULT start = S_OK;
  VEXAEngineResult premaster = VEXAEngineResultSuccess;
  VEXAEngineResult burn = VEXAEngineResultSuccess;
  std::string burnMessage;
  std::vector<std::string> photos;
  std::string music;
};

// Told by the engine when a premaster or burn ends: a wait for the next look
// at the progress ends with the run.
class RunEnd : public com::ComObjectRoot, public IVEXAProcessDoneSink {
 public:
  using Interfaces = com::InterfaceMap<IVEXAProcessDoneSink>;
  HRESULT OnProcessDone() override {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
    return S_OK;
  }
  void WaitFor(std::chrono::milliseconds longest) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, longest, [&] { return ended_; });
    ended_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
};

class DiscTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-disc-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    drive_ = dir_ + "/drive";
    temp_ = dir_ + "/temp";
    base::MakeDirs(temp_);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    CloseTransport();
    ::unsetenv("VEXA_SCSI_TRANSPORT");
    com::TakeError();
    CoUninitialize();
    if (!HasFailure()) base::RemoveAll(dir_);
  }

  // Photos of several shapes and kinds: landscape and portrait, large and
  // small, a CMYK and a progressive JPEG among them.
  std::vector<std::string> MakePhotos(int n, bool small, int orientation = 0) {
    std::vector<std::string> out;
    const char* large[] = {"1600x1200", "900x1200", "640x480", "2400x1600", "300x400", "1024x768", "120x90"};
    const char* little[] = {"640x480", "360x480", "320x240", "800x533", "300x400", "512x384", "120x90"};
    const char* const* sizes = small ? little : large;
    for (int i = 0; i < n; ++i) {
      const std::string p = dir_ + "/photos/IMG_" + std::to_string(1000 + i) + ".jpg";
      base::MakeDirs(dir_ + "/photos");
      std::string extra;
      if (i % 5 == 3) extra = " -colorspace CMYK";
      if (i % 5 == 4) extra = " -interlace Plane";
      if (orientation != 0) {
        const std::string size = sizes[i % 7];
        const int w = std::stoi(size), h = std::stoi(size.substr(size.find('x') + 1));
        EXPECT_EQ(Shell("convert -size " + size + " xc:blue -fill red -draw 'rectangle 0,0 " + std::to_string(w / 2 - 1) +
                        "," + std::to_string(h - 1) + "' -quality 90 '" + p + "' && exiftool -q -overwrite_original "
                        "-Orientation#=" + std::to_string(orientation) + " '" + p + "'"),
                  0);
        out.push_back(p);
        continue;
      }
      EXPECT_EQ(Shell("convert -size " + std::string(sizes[i % 7]) + " plasma:fractal -seed " + std::to_string(i) +
                      extra + " -quality 85 '" + p + "'"),
                0);
      out.push_back(p);
    }
    return out;
  }

  DiscResult Run(const DiscSpec& setup) {
    DiscResult r;
    base::MakeDirs(drive_);
    base::WriteFileAtomic(drive_ + "/drive.conf", "profile = cdrw-writer\nmedia = " + setup.media + "\n" + setup.faults);
    base::RemoveAll(drive_ + "/disc.state");
    CloseTransport();
    ::setenv("VEXA_SCSI_TRANSPORT", ("sim:" + drive_).c_str(), 1);
    r.photos = MakePhotos(setup.photos, setup.smallPhotos, setup.orientation);
    if (setup.music) {
      r.music = dir_ + "/music.wav";
      EXPECT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 '" + r.music + "' synth " + std::to_string(setup.musicSeconds) + " sine 330 sine 440"), 0);
    }

    com::ComPtr<IVEXAEngine> engine;
    EXPECT_EQ(CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IVEXAEngine>(),
                               engine.PutVoid()),
              S_OK)
        << com::TakeError().Utf8Description();
    if (!engine) return r;
    com::ComPtr<IVEXAStoryboardStillsSlideshow1> sb;
    com::ComPtr<IVEXAPremaster> premaster;
    com::ComPtr<IVEXAProcessTracker> pt;
    com::ComPtr<IVEXABurner> burner;
    com::ComPtr<IVEXABurnProcessTracker> bt;
    com::ComPtr<IVEXADriveMgr> manager;
    com::ComPtr<IVEXADrive> drive;
    EXPECT_EQ(engine->get_StoryboardStillsSlideshow1(sb.Put()), S_OK);
    engine->get_Premaster(premaster.Put());
    premaster->get_PremasterProcessTracker(pt.Put());
    engine->get_Burner(burner.Put());
    burner->get_BurnProcessTracker(bt.Put());
    engine->get_DriveMgr(manager.Put());
    EXPECT_EQ(engine->SetTempDirectory(B(temp_).Get()), S_OK);
    EXPECT_EQ(sb->SetFileSystemSupport(VEXAFSDefault), S_OK);
    EXPECT_EQ(sb->SetTVSystem(setup.tv), S_OK);
    EXPECT_EQ(sb->SetPaperSize(setup.paper), S_OK);
    if (setup.stillDelayMs > 0) {
      EXPECT_EQ(sb->SetStillDelay(setup.stillDelayMs), S_OK);
    }
    EXPECT_EQ(sb->SetTitleLines(B("Summer at the sea").Get(), B("2026").Get(), B("").Get()), S_OK);
    EXPECT_EQ(sb->AddTitleStill(), S_OK) << com::TakeError().Utf8Description();
    if (setup.music) {
      EXPECT_EQ(sb->AddAudioTrack(B(r.music).Get(), 0.0), S_OK) << com::TakeError().Utf8Description();
    }
    for (const auto& p : r.photos) {
      EXPECT_EQ(sb->AddStill(B(p).Get(), B(p).Get(), B("photo " + base::BaseName(p)).Get(), 0.0, VEXAResizePicture, 0,
                             VARIANT_FALSE, nullptr, 0.0),
                S_OK)
          << p << com::TakeError().Utf8Description();
    }
    EXPECT_EQ(manager->GetNextDrive(nullptr, VEXAMediaVCD, drive.Put()), S_OK);
    r.start = premaster->StartPremaster();
    EXPECT_EQ(r.start, S_OK) << com::TakeError().Utf8Description();
    // The album went with the first premaster: a second is refused.
    EXPECT_EQ(premaster->StartPremaster(), E_FAIL);
    VEXAEngineResult second{};
    engine->GetLastResultCode(&second);
    EXPECT_EQ(second, VEXAEngineResultSubmoduleStartPremasterFail);
    com::TakeError();
    if (setup.cancel == DiscSpec::kPremasterAtOnce) premaster->CancelPremaster(VARIANT_FALSE);
    WaitDone(pt.Get(), setup.cancel == DiscSpec::kPremasterLater ? premaster.Get() : nullptr, true);
    pt->GetLastProcessResultCode(&r.premaster);
    if (r.premaster != VEXAEngineResultSuccess) {
      // A cancelled premaster leaves none of its intermediate files.
      for (const auto& e : fs::recursive_directory_iterator(temp_)) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name != "DISCPAK.MP2" && name != "DISCPAK.DAT" && name.rfind("ITEM", 0) != 0) << e.path();
      }
      return r;
    }

    EXPECT_EQ(burner->StartBurn(0, VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK)
        << com::TakeError().Utf8Description();
    if (setup.cancel == DiscSpec::kBurn) {
      // Once the burn has written something (a file no event announces).
      EXPECT_TRUE(testsupport::WaitUntil([&] { return HasImage(); }, testsupport::kWaitBound,
                                         std::chrono::milliseconds(5)))
          << InVain("the burn to write into its image");
      burner->CancelBurn(VARIANT_FALSE);
      VARIANT_BOOL ejected = 0;
      drive->Eject(&ejected);  // waits for the worker: nothing reaches the drive after it
    }
    WaitDone(bt.Get(), nullptr);
    bt->GetLastProcessResultCode(&r.burn);
    com::Bstr msg;
    bt->GetLastProcessResultMsg(msg.Out());
    r.burnMessage = msg.Utf8();
    LONG percent = 0;
    bt->GetProgressPercent(&percent);
    EXPECT_LE(percent, 100);
    return r;
  }

  // Follows a run to its end. The premaster's figures come from the work
  // done (premaster set): its percent only rises and is below 100, and time
  // remains, for as long as the run is not done.
  // The engine's end notice ends the wait between two looks at once.
  void WaitDone(IVEXAProcessTracker* t, IVEXAPremaster* cancelAfterProgress, bool premaster = false) {
    com::ComPtr<IVEXAProcessDoneSink> sink;
    ASSERT_EQ(com::ComObject<RunEnd>::Create(sink.Put()), S_OK);
    auto* end = static_cast<RunEnd*>(sink.Get());
    com::ComPtr<IVEXAProcessEvents> events;
    ASSERT_EQ(t->QueryInterface(com::IidOf<IVEXAProcessEvents>(), events.PutVoid()), S_OK);
    ASSERT_EQ(events->AdviseProcessDone(sink.Get()), S_OK);
    struct Unadvise {
      IVEXAProcessEvents* events;
      ~Unadvise() { events->AdviseProcessDone(nullptr); }
    } unadvise{events.Get()};
    LONG lastPercent = 0;
    const testsupport::Deadline deadline;
    for (int i = 0;; ++i) {
      VARIANT_BOOL done = 0;
      ASSERT_EQ(t->IsProcessDone(&done), S_OK);
      if (done == VARIANT_TRUE) return;
      if (deadline.Passed()) FAIL() << InVain(premaster ? "the premaster to end" : "the burn to end");
      LONG percent = 0, remaining = 0;
      t->GetProgressPercent(&percent);
      t->GetEstimatedTimeRemaining(&remaining);
      EXPECT_LE(percent, 100);
      EXPECT_GE(remaining, 0);
      // Still not done after the figures were read: they were read while
      // work remained.
      ASSERT_EQ(t->IsProcessDone(&done), S_OK);
      if (premaster && done != VARIANT_TRUE) {
        EXPECT_LT(percent, 100) << i;
        EXPECT_GE(percent, lastPercent) << i;
        EXPECT_GT(remaining, 0) << i;
        lastPercent = percent;
      }
      if (cancelAfterProgress && percent > 0) {
        cancelAfterProgress->CancelPremaster(VARIANT_FALSE);
        cancelAfterProgress = nullptr;
      }
      end->WaitFor(std::chrono::milliseconds(20));
    }
  }

  bool HasImage() {
    for (const auto& e : fs::directory_iterator(drive_)) {
      if (e.path().extension() == ".bin" && fs::file_size(e.path()) > 0) return true;
    }
    return false;
  }
  std::string Cue() {
    for (const auto& e : fs::directory_iterator(drive_)) {
      if (e.path().extension() == ".cue") return e.path().string();
    }
    return {};
  }

  // Track 1 of the image as a plain 2048-byte-sector file system.
  std::string CookedTrackOne(const std::string& cue) {
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    std::ifstream in(bin, std::ios::binary);
    std::vector<char> sector(2352);
    // The volume's size from its primary descriptor (sector 16).
    in.seekg(16 * 2352);
    in.read(sector.data(), 2352);
    std::uint32_t blocks = 0;
    std::memcpy(&blocks, sector.data() + 24 + 80, 4);
    std::string iso;
    in.seekg(0);
    for (std::uint32_t s = 0; s < blocks && in.read(sector.data(), 2352); ++s) iso.append(sector.data() + 24, 2048);
    const std::string path = dir_ + "/track1.iso";
    base::WriteFileAtomic(path, iso);
    return path;
  }

  void CheckDisc(const DiscSpec& setup, const std::string& cue, const std::string& dir);

  std::string dir_, drive_, temp_;
};

// Everything a finished disc of setup.photos photos must hold.
void DiscTest::CheckDisc(const DiscSpec& setup, const std::string& cue, const std::string& dir) {
  ASSERT_FALSE(cue.empty()) << "no image was burned";
  const int n = setup.photos + 1;  // with the title still
  const int pages = (n + 8) / 9;
  std::string out;

  // The Video CD, as a player reads it.
  ASSERT_EQ(Shell("vcd-info --no-banner --cue-file '" + cue + "'", &out), 0) << out;
  EXPECT_EQ(out.find("WARN"), std::string::npos) << out;
  EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
  EXPECT_NE(out.find("VCD 2.0 detected"), std::string::npos) << out;
  EXPECT_NE(out.find("ID: `VIDEO_CD'"), std::string::npos) << out;
  EXPECT_NE(out.find("system id: `CD-RTOS CD-BRIDGE'"), std::string::npos) << out;
  EXPECT_NE(out.find("number of segments: " + std::to_string(n + pages + 1)), std::string::npos) << out;
  EXPECT_NE(out.find(setup.tv == VEXATVPAL ? "PAL still (lo+hires)" : "NTSC still (lo+hires)"), std::string::npos);
  // The slide show track is marked PAL in INFO.VCD on a PAL disc only.
  const auto flags = out.find("pal flags: ");
  ASSERT_NE(flags, std::string::npos);
  EXPECT_EQ(out.substr(flags + 11, 1), setup.tv == VEXATVPAL ? "1" : "0") << out.substr(flags, 40);

  // The slide show's sectors: video and audio packets each with their own
  // Form 2 subheader, the gaps plain.
  {
    const std::string bin = ReadAll(cue.substr(0, cue.size() - 4) + ".bin");
    std::string cueText = ReadAll(cue);
    const auto track2 = cueText.find("TRACK 02");
    const auto index1 = cueText.find("INDEX 01 ", track2);
    int m = 0, sec = 0, fr = 0;
    std::sscanf(cueText.c_str() + index1 + 9, "%d:%d:%d", &m, &sec, &fr);
    const std::size_t start = static_cast<std::size_t>((m * 60 + sec) * 75 + fr);
    int video = 0, audio = 0, empty = 0, wrong = 0;
    for (std::size_t at = start; at < start + 300 && (at + 1) * 2352 <= bin.size(); ++at) {
      const auto* sector = reinterpret_cast<const unsigned char*>(bin.data() + at * 2352);
      const unsigned char submode = sector[18], coding = sector[19];
      const unsigned char* data = sector + 24;
      const bool pack = data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0xBA;
      const unsigned char id = data[15];
      if (pack && id >= 0xE0 && id <= 0xEF) {
        ++video;
        wrong += (submode & 0x7E) != 0x62 || coding != 0x0F;
      } else if (pack && id >= 0xC0 && id <= 0xDF) {
        ++audio;
        wrong += (submode & 0x7E) != 0x64 || coding != 0x7F;
      } else if (!pack) {
        ++empty;
        wrong += (submode & 0x62) == 0x62;
      }
    }
    EXPECT_GT(video, 0);
    EXPECT_GT(audio, 0);  // silence when there is no music
    EXPECT_GT(empty, 0);
    EXPECT_EQ(wrong, 0);
  }

  ASSERT_EQ(Shell("cd-info --no-header --cue-file '" + cue + "'", &out), 0) << out;
  EXPECT_NE(out.find("Video CD"), std::string::npos) << out;

  const std::string rip = dir + "/rip";
  base::MakeDirs(rip);
  ASSERT_EQ(Shell("cd '" + rip + "' && vcdxrip --cue-file='" + cue + "'", &out), 0) << out;
  int items = 0, tracks = 0;
  for (const auto& e : fs::directory_iterator(rip)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("item", 0) == 0) ++items;
    if (name.rfind("avseq", 0) == 0) ++tracks;
    if (name.rfind("item", 0) != 0 && name.rfind("avseq", 0) != 0) continue;
    std::string probe;
    ASSERT_EQ(Shell("ffmpeg -v error -xerror -i '" + e.path().string() + "' -f null -", &probe), 0) << name << probe;
    Shell("ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate -of csv=p=0 '" +
              e.path().string() + "'",
          &probe);
    if (name.rfind("item", 0) == 0) {
      EXPECT_NE(probe.find(setup.tv == VEXATVPAL ? "704,576" : "704,480"), std::string::npos) << name << probe;
    } else {
      EXPECT_NE(probe.find(setup.tv == VEXATVPAL ? "352,288" : "352,240"), std::string::npos) << name << probe;
      // The track carries an audio stream, music or silence.
      EXPECT_NE(probe.find("mp2,44100"), std::string::npos) << name << probe;
      // A Video CD rate whatever the TV system (FILM is made as NTSC), and
      // each picture shown for the still delay.
      Shell("ffprobe -v error -select_streams v -show_entries stream=r_frame_rate:format=duration -of csv=p=0 '" +
                e.path().string() + "'",
            &probe);
      EXPECT_NE(probe.find(setup.tv == VEXATVPAL ? "25/1" : "30000/1001"), std::string::npos) << name << probe;
      const double seconds = std::atof(probe.substr(probe.find('\n') + 1).c_str());
      const double delay = (setup.stillDelayMs > 0 ? setup.stillDelayMs : 5000) / 1000.0;
      EXPECT_NEAR(seconds, n * delay, 0.1 * n) << name << probe;
    }
  }
  EXPECT_EQ(items, n + pages + 1);
  EXPECT_EQ(tracks, 1);

  // The PC side: the file tree of track 1.
  const std::string iso = CookedTrackOne(cue);
  {
    // Dates the disc does not set are the standard's "not specified".
    const std::string pvd = ReadAll(iso).substr(16 * 2048, 2048);
    EXPECT_EQ(pvd.substr(847, 16), "0000000000000000");
    EXPECT_EQ(pvd[863], '\0');
    EXPECT_EQ(pvd.substr(864, 16), "0000000000000000");
    EXPECT_EQ(pvd.substr(8, 17), "CD-RTOS CD-BRIDGE");
  }
  ASSERT_EQ(Shell("isoinfo -f -J -i '" + iso + "'", &out), 0) << out;
  // Without the version suffix the listing shows.
  for (std::size_t at; (at = out.find(";1\n")) != std::string::npos;) out.erase(at, 2);
  std::vector<std::string> must = {"/ORLDISC/ALBUM_A/ALBUM.XML", "/ORLDISC/DISCINFO/DISCINFO.XML",
                                   "/ORLDISC/ALBUM_A/PRINT/PDF/CONTACT.PDF", "/ORLDISC/ALBUM_A/PRINT/PDF/INSERT.PDF",
                                   "/ORLDISC/ALBUM_A/PRINT/PDF/PRINTS.PDF", "/VCD/INFO.VCD", "/VCD/ENTRIES.VCD",
                                   "/VCD/PSD.VCD", "/VCD/LOT.VCD"};
  for (int i = 1; i <= n; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IM_A%04d.JPG", i);
    must.push_back(std::string("/ORLDISC/ALBUM_A/CONTENT/") + name);
    must.push_back(std::string("/ORLDISC/ALBUM_A/LOWRES/160X160/") + name);
    must.push_back(std::string("/ORLDISC/ALBUM_A/LOWRES/640X640/") + name);
    must.push_back(std::string("/ALBUMS/ALBUM_A/") + name);
    must.push_back(std::string("/PICTURES/") + name);
    must.push_back(std::string("/ALBUMS/ALBUM_A/ORIGINAL/") + name);
  }
  if (setup.music) must.push_back("/ORLDISC/ALBUM_A/CONTENT/BG_A0001.WAV");
  for (const auto& m : must) EXPECT_NE(out.find(m + "\n"), std::string::npos) << m;
  EXPECT_NE(out.find("/ORLDISC/ALBUM_A/VIEW/"), std::string::npos);
  std::string xo;
  ASSERT_EQ(Shell("xorriso -indev '" + iso + "' -find / -type f 2>&1", &xo), 0) << xo;
  EXPECT_NE(xo.find("ORLDISC/ALBUM_A/ALBUM.XML"), std::string::npos) << xo;
  std::string py;
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"import pycdlib,sys; i=pycdlib.PyCdlib(); i.open(sys.argv[1]); "
                  "n=sum(len(f) for _,_,f in i.walk(joliet_path='/')); print(n); i.close()\" '" +
                      iso + "'",
                  &py),
            0)
      << py;
  EXPECT_GE(std::stoi(py), static_cast<int>(must.size()));

  // Every file read back: the originals are the photos with one record
  // added, the PDFs pass qpdf, the manifests are well formed.
  const std::string x = dir + "/x";
  base::MakeDirs(x);
  // Joliet names carry the version suffix on this disc.
  auto extract = [&](const std::string& joliet, const std::string& to) {
    return Shell("isoinfo -J -i '" + iso + "' -x '" + joliet + ";1' > '" + to + "'") == 0 &&
           fs::file_size(to) > 0;
  };
  for (const char* pdf : {"CONTACT.PDF", "INSERT.PDF", "PRINTS.PDF"}) {
    const std::string f = x + "/" + pdf;
    ASSERT_TRUE(extract(std::string("/ORLDISC/ALBUM_A/PRINT/PDF/") + pdf, f));
    EXPECT_EQ(Shell("qpdf --check '" + f + "'", &out), 0) << pdf << out;
  }
  for (const char* xml : {"/ORLDISC/ALBUM_A/ALBUM.XML", "/ORLDISC/DISCINFO/DISCINFO.XML"}) {
    const std::string f = x + "/" + base::BaseName(xml);
    ASSERT_TRUE(extract(xml, f));
    EXPECT_EQ(Shell("xmllint --noout '" + f + "'", &out), 0) << xml << out;
  }
  // Every file the disc's manifest names is on the disc: the engine alone
  // puts no home page there, so none is named.
  {
    std::string named;
    ASSERT_EQ(Shell("xmllint --xpath \"//*[substring(local-name(), string-length(local-name()) - 7) = "
                    "'Filename']/text()\" '" + x + "/DISCINFO.XML'",
                    &named),
              0)
        << named;
    std::string listing;
    ASSERT_EQ(Shell("isoinfo -f -J -i '" + iso + "'", &listing), 0);
    for (std::size_t at; (at = listing.find(";1\n")) != std::string::npos;) listing.erase(at, 2);
    int files = 0;
    for (std::size_t at = 0; at < named.size();) {
      const std::size_t end = std::min(named.find('\n', at), named.size());
      const std::string path = named.substr(at, end - at);
      at = end + 1;
      if (path.empty()) continue;
      ++files;
      EXPECT_NE(listing.find(path + "\n"), std::string::npos) << path;
    }
    EXPECT_GE(files, 1) << named;
    EXPECT_EQ(named.find("HOMEPAGE"), std::string::npos) << named;
  }
  // The album reloads with the delay it was given (seconds).
  com::ComPtr<IStillsSlideShow1XML> mapper;
  ASSERT_EQ(CoCreateInstance(CLSID_StillsSlideShow1XML, nullptr, CLSCTX_ALL, com::IidOf<IStillsSlideShow1XML>(),
                             mapper.PutVoid()),
            S_OK);
  com::ComPtr<IStillsSlideShow1> album;
  ASSERT_EQ(mapper->loadFromURL(B(x + "/ALBUM.XML").Get(), album.Put()), S_OK) << com::TakeError().Utf8Description();
  LONG delay = 0;
  album->get_stillDelay(&delay);
  EXPECT_EQ(delay, (setup.stillDelayMs > 0 ? setup.stillDelayMs : 5000) / 1000);
  com::ComPtr<ISeqOfStillImage> stills;
  album->get_stillImages(stills.Put());
  LONG count = 0;
  stills->get_Count(&count);
  EXPECT_EQ(count, n);
  // The originals, by the names the album gives them.
  for (LONG i = 2; i <= count; ++i) {
    com::ComPtr<IStillImage> still;
    stills->get_Item(i, still.Put());
    com::Bstr disc, source;
    still->get_discOriginalJolietFilename(disc.Out());
    still->get_originalFilename(source.Out());
    const std::string f = x + "/original" + std::to_string(i) + ".jpg";
    ASSERT_TRUE(extract(disc.Utf8(), f)) << disc.Utf8();
    EXPECT_EQ(WithoutComments(ReadAll(f)), WithoutComments(ReadAll(source.Utf8()))) << disc.Utf8();
    EXPECT_NE(ReadAll(f), ReadAll(source.Utf8()));  // the record was added
  }
}

TEST_F(DiscTest, ThirteenPhotosWithMusicOnNTSC) {
  for (const char* tool : {"convert", "sox", "vcd-info", "vcdxrip", "cd-info", "ffmpeg", "ffprobe", "isoinfo", "xorriso",
                           "qpdf", "xmllint"}) {
    VEXA_REQUIRE_TOOL(tool);
  }
  DiscSpec setup;
  const DiscResult r = Run(setup);
  ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
  ASSERT_EQ(r.burn, VEXAEngineResultSuccess) << r.burnMessage;
  CheckDisc(setup, Cue(), dir_);
  // Nothing is left in the temporary folder once the engine is gone.
  std::size_t left = 0;
  for (const auto& e : fs::directory_iterator(temp_)) (void)e, ++left;
  EXPECT_EQ(left, 0u);
}

// Each photo is decoded once on its way to the disc, at its full size for
// the album picture; every smaller picture (the Video CD stills, the slide
// show, the menu's cells, the print copies, the thumbnails) comes from that
// decode, none from decoding a picture the engine has just written. Small
// and large photos, on NTSC (whose stills want the widest pictures).
TEST_F(DiscTest, EachPhotoIsDecodedOnce) {
  for (const char* tool : {"convert", "vcd-info", "vcdxrip", "cd-info", "ffmpeg", "isoinfo", "xorriso", "qpdf", "xmllint"}) {
    VEXA_REQUIRE_TOOL(tool);
  }
  std::mutex mutex;
  std::map<std::string, int> decodes;
  imaging::SetDecodeObserver([&](std::string_view name, int, int) {
    std::lock_guard lock(mutex);
    ++decodes[std::string(name)];
  });
  struct StopObserving {
    ~StopObserving() { imaging::SetDecodeObserver(nullptr); }
  } stop;
  DiscSpec setup;
  setup.photos = 4;  // 1600x1200, 900x1200, 640x480 and 2400x1600
  setup.music = false;
  const DiscResult r = Run(setup);
  ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
  ASSERT_EQ(r.burn, VEXAEngineResultSuccess) << r.burnMessage;
  CheckDisc(setup, Cue(), dir_);
  imaging::SetDecodeObserver(nullptr);
  for (const std::string& p : r.photos) EXPECT_EQ(decodes[p], 1) << p;
  for (const auto& [name, n] : decodes) {
    EXPECT_NE(base::BaseName(name).rfind("IM_A", 0), 0u) << name << " decoded " << n << " times";
  }
}

// Photos the camera stored turned (EXIF Orientation 6: shown after a
// quarter turn clockwise) are upright everywhere the disc shows them: the
// album records their upright size, the copies are upright (as ImageMagick
// turns the photo) with no orientation a viewer would apply again, and the
// TV stills, decoded by ffmpeg, show them upright. The originals are the
// photos themselves (CheckDisc: with only the record added).
TEST_F(DiscTest, PhotosTheCameraStoredTurnedAreUprightOnTheDisc) {
  for (const char* tool : {"convert", "compare", "identify", "exiftool", "vcd-info", "vcdxrip", "cd-info", "ffmpeg",
                           "isoinfo", "xorriso", "qpdf", "xmllint"}) {
    VEXA_REQUIRE_TOOL(tool);
  }
  DiscSpec setup;
  setup.photos = 2;  // stored 1600x1200 and 900x1200: upright 1200x1600 and 1200x900
  setup.music = false;
  setup.orientation = 6;
  const DiscResult r = Run(setup);
  ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
  ASSERT_EQ(r.burn, VEXAEngineResultSuccess) << r.burnMessage;
  CheckDisc(setup, Cue(), dir_);
  if (HasFailure()) return;
  const std::string iso = dir_ + "/track1.iso", x = dir_ + "/x";
  const struct {
    const char* name;
    int width, height;  // upright
  } photos[] = {{"IM_A0002.JPG", 1200, 1600}, {"IM_A0003.JPG", 1200, 900}};

  // The album's sizes.
  com::ComPtr<IStillsSlideShow1XML> mapper;
  ASSERT_EQ(CoCreateInstance(CLSID_StillsSlideShow1XML, nullptr, CLSCTX_ALL, com::IidOf<IStillsSlideShow1XML>(),
                             mapper.PutVoid()),
            S_OK);
  com::ComPtr<IStillsSlideShow1> album;
  ASSERT_EQ(mapper->loadFromURL(B(x + "/ALBUM.XML").Get(), album.Put()), S_OK) << com::TakeError().Utf8Description();
  com::ComPtr<ISeqOfStillImage> stills;
  album->get_stillImages(stills.Put());
  for (LONG i = 0; i < 2; ++i) {
    com::ComPtr<IStillImage> still;
    ASSERT_EQ(stills->get_Item(i + 2, still.Put()), S_OK);
    LONG w = 0, h = 0;
    still->get_width(&w);
    still->get_height(&h);
    EXPECT_EQ(w, photos[i].width) << photos[i].name;
    EXPECT_EQ(h, photos[i].height) << photos[i].name;
  }

  // The copies: the album picture at full size, the two low-resolution ones.
  std::string out;
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string upright = x + "/upright" + std::to_string(i) + ".png";
    ASSERT_EQ(Shell("convert '" + r.photos[i] + "' -auto-orient '" + upright + "'"), 0);
    for (const char* folder : {"CONTENT", "LOWRES/640X640", "LOWRES/160X160"}) {
      const std::string where = std::string(folder) + "/" + photos[i].name;
      const std::string copy = x + "/copy.jpg", reference = x + "/reference.png";
      ASSERT_EQ(Shell("isoinfo -J -i '" + iso + "' -x '/ORLDISC/ALBUM_A/" + where + ";1' > '" + copy + "'"), 0);
      ASSERT_EQ(Shell("identify -format '%w %h' '" + copy + "'", &out), 0) << where;
      int w = 0, h = 0;
      std::sscanf(out.c_str(), "%d %d", &w, &h);
      ASSERT_GT(h, 0) << where;
      if (std::string(folder) == "CONTENT") {
        EXPECT_EQ(w, photos[i].width) << where;
        EXPECT_EQ(h, photos[i].height) << where;
      }
      EXPECT_NEAR(static_cast<double>(w) / h, static_cast<double>(photos[i].width) / photos[i].height, 0.02)
          << where << ": " << out;
      ASSERT_EQ(Shell("convert '" + upright + "' -resize " + std::to_string(w) + "x" + std::to_string(h) + "! '" +
                      reference + "'"),
                0);
      Shell("compare -metric RMSE '" + copy + "' '" + reference + "' null: 2>&1", &out);
      ASSERT_NE(out.find('('), std::string::npos) << where << ": " << out;
      const double rmse = std::atof(out.c_str() + out.find('(') + 1);
      EXPECT_LE(rmse, 0.03) << where << ": " << out;
      ASSERT_EQ(Shell("exiftool -s3 -n -Orientation '" + copy + "'", &out), 0);
      EXPECT_TRUE(out.empty() || out == "1\n") << where << " has orientation " << out;
    }
  }

  // The TV stills (704 x 480 on NTSC): both photos upright, red above blue
  // across the middle of the picture; on its side a photo would show red
  // and blue side by side.
  const auto red = [](const unsigned char* p) { return p[0] > 180 && p[2] < 90; };
  const auto blue = [](const unsigned char* p) { return p[2] > 180 && p[0] < 90; };
  int upright = 0, sideways = 0;
  for (const auto& e : fs::directory_iterator(dir_ + "/rip")) {
    if (e.path().filename().string().rfind("item", 0) != 0) continue;
    const std::string frame = x + "/frame.rgb";
    ASSERT_EQ(Shell("ffmpeg -v error -y -i '" + e.path().string() + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" +
                    frame + "'"),
              0);
    const std::string pixels = ReadAll(frame);
    if (pixels.size() != 704u * 480u * 3u) continue;
    const auto at = [&](int px, int py) {
      return reinterpret_cast<const unsigned char*>(pixels.data()) + (static_cast<std::size_t>(py) * 704 + px) * 3;
    };
    if (red(at(312, 80)) && red(at(392, 80)) && blue(at(312, 400)) && blue(at(392, 400))) ++upright;
    if (red(at(312, 240)) && blue(at(392, 240))) ++sideways;
  }
  EXPECT_EQ(upright, 2);
  EXPECT_EQ(sideways, 0);
}

TEST_F(DiscTest, OnePhotoWithoutMusicOnPAL) {
  for (const char* tool : {"convert", "vcd-info", "vcdxrip", "cd-info", "ffmpeg", "isoinfo", "xorriso", "qpdf", "xmllint"}) {
    VEXA_REQUIRE_TOOL(tool);
  }
  DiscSpec setup;
  setup.photos = 1;
  setup.music = false;
  setup.tv = VEXATVPAL;
  setup.paper = VEXAPaperSizeA4;
  const DiscResult r = Run(setup);
  ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
  ASSERT_EQ(r.burn, VEXAEngineResultSuccess) << r.burnMessage;
  CheckDisc(setup, Cue(), dir_);
}

// A FILM disc is made as an NTSC one (a Video CD plays at 29.97 pictures a
// second, never 24), and without a still delay each picture shows for the
// engine's default of 5 seconds.
TEST_F(DiscTest, TwoPhotosOnFilmWithTheDefaultDelay) {
  for (const char* tool : {"convert", "vcd-info", "vcdxrip", "cd-info", "ffmpeg", "ffprobe", "isoinfo", "xorriso",
                           "qpdf", "xmllint"}) {
    VEXA_REQUIRE_TOOL(tool);
  }
  DiscSpec setup;
  setup.photos = 2;
  setup.music = false;
  setup.tv = VEXATVFILM;
  setup.stillDelayMs = 0;
  const DiscResult r = Run(setup);
  ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
  ASSERT_EQ(r.burn, VEXAEngineResultSuccess) << r.burnMessage;
  CheckDisc(setup, Cue(), dir_);
}

TEST_F(DiscTest, AHundredPhotosOnPAL) {
  for (const char* tool : {"convert", "sox", "vcd-info", "vcdxrip", "cd-info", "ffmpeg", "isoinfo", "xorriso", "qpdf",
                           "xmllint"}) {
    VEXA_REQUIRE_TOOL(tool);
  }
  DiscSpec setup;
  setup.photos = 100;
  setup.smallPhotos = true;
  setup.tv = VEXATVPAL;
  // The shortest time a picture may be shown: what this disc checks is the
  // number of pictures (menu pages, segments, files), not how long each lasts.
  setup.stillDelayMs = 2000;
  const DiscResult r = Run(setup);
  ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
  ASSERT_EQ(r.burn, VEXAEngineResultSuccess) << r.burnMessage;
  CheckDisc(setup, Cue(), dir_);
}

TEST_F(DiscTest, CancelsAtEveryPhase) {
  VEXA_REQUIRE_TOOL("convert");
  VEXA_REQUIRE_TOOL("sox");
  struct Case {
    DiscSpec::Cancel cancel;
    bool premasterCancelled;
  } cases[] = {{DiscSpec::kPremasterAtOnce, true}, {DiscSpec::kPremasterLater, true}, {DiscSpec::kBurn, false}};
  for (const auto& c : cases) {
    DiscSpec setup;
    setup.photos = 4;
    setup.cancel = c.cancel;
    // Music long enough that the premaster is still encoding when the
    // cancel comes (it is cancelled long before it ends).
    if (c.premasterCancelled) setup.musicSeconds = 600;
    // Slow writes, so the burn is still going when the cancel comes.
    if (c.cancel == DiscSpec::kBurn) setup.faults = "fault = slow ms=20 op=2A\n";
    const DiscResult r = Run(setup);
    if (c.premasterCancelled) {
      EXPECT_EQ(r.premaster, VEXAEngineResultBrellCancel) << c.cancel;
    } else {
      ASSERT_EQ(r.premaster, VEXAEngineResultSuccess);
      EXPECT_EQ(r.burn, VEXAEngineResultBrellCancel) << r.burnMessage;
    }
    std::size_t left = 0;
    for (const auto& e : fs::directory_iterator(temp_)) (void)e, ++left;
    EXPECT_EQ(left, 0u) << c.cancel;
  }
}

TEST_F(DiscTest, TheDrivesFailuresNeverReadAsSuccess) {
  VEXA_REQUIRE_TOOL("convert");
  struct Case {
    const char* what;
    std::string faults;
    std::string media;
  } cases[] = {
      {"write error late in the image track", "fault = check op=2A lba=2000 sense=03/0C/00 count=-1\n", "cdr"},
      {"flush failure", "fault = check op=35 sense=03/0C/00 count=-1\n", "cdr"},
      {"no medium", "", "none"},
  };
  for (const auto& c : cases) {
    DiscSpec setup;
    setup.photos = 2;
    setup.music = false;
    setup.faults = c.faults;
    setup.media = c.media;
    const DiscResult r = Run(setup);
    ASSERT_EQ(r.premaster, VEXAEngineResultSuccess) << c.what;
    EXPECT_EQ(r.burn, VEXAEngineResultBrellWriteFail) << c.what << ": " << r.burnMessage;
    EXPECT_FALSE(r.burnMessage.empty()) << c.what;
  }
}

}  // namespace
}  // namespace vexa::engine::test

namespace vexa::engine::test {
namespace {

// The most pictures a disc takes make its three PDFs: the print layouts'
// limit is no lower than the engine's, so the premaster goes on to the
// worker. (The pictures are tiny, and the worker is stopped once the PDFs
// are made: the slide show of 599 pictures is not what this shows.)
// (Its name holds "Hundred": it runs in the binary of the hundred-photo
// disc, beside the others.)
TEST_F(DiscTest, FiveHundredAndNinetyNinePicturesMakeTheirThreePdfs) {
  for (const char* tool : {"convert", "qpdf", "pdfinfo"}) VEXA_REQUIRE_TOOL(tool);
  base::MakeDirs(dir_ + "/many");
  const std::string first = dir_ + "/many/p1000.jpg";
  ASSERT_EQ(Shell("convert -size 48x36 plasma:fractal '" + first + "'"), 0);
  std::vector<std::string> photos = {first};
  for (int i = 1; i < kVEXAEngineMaxStills; ++i) {
    photos.push_back(dir_ + "/many/p" + std::to_string(1000 + i) + ".jpg");
    fs::copy_file(first, photos.back());
  }
  com::ComPtr<IVEXAEngine> engine;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IVEXAEngine>(),
                             engine.PutVoid()),
            S_OK);
  com::ComPtr<IVEXAStoryboardStillsSlideshow1> sb;
  com::ComPtr<IVEXAPremaster> premaster;
  com::ComPtr<IVEXAProcessTracker> pt;
  ASSERT_EQ(engine->get_StoryboardStillsSlideshow1(sb.Put()), S_OK);
  engine->get_Premaster(premaster.Put());
  premaster->get_PremasterProcessTracker(pt.Put());
  ASSERT_EQ(engine->SetTempDirectory(B(temp_).Get()), S_OK);
  ASSERT_EQ(sb->SetFileSystemSupport(VEXAFSDefault), S_OK);
  ASSERT_EQ(sb->SetTitleLines(B("Six hundred").Get(), B("").Get(), B("").Get()), S_OK);
  for (const std::string& p : photos) {
    ASSERT_EQ(sb->AddStill(B(p).Get(), B(p).Get(), nullptr, 0.0, VEXAResizePicture, 0, VARIANT_FALSE, nullptr, 0.0),
              S_OK)
        << p << com::TakeError().Utf8Description();
  }
  // One more is refused with its reason.
  EXPECT_EQ(sb->AddStill(B(photos[0]).Get(), B(photos[0]).Get(), nullptr, 0.0, VEXAResizePicture, 0, VARIANT_FALSE,
                         nullptr, 0.0),
            E_FAIL);
  com::TakeError();
  ASSERT_EQ(premaster->StartPremaster(), S_OK) << com::TakeError().Utf8Description();
  premaster->CancelPremaster(VARIANT_FALSE);
  WaitDone(pt.Get(), nullptr);
  std::map<std::string, std::string> pdfs;
  for (const auto& e : fs::recursive_directory_iterator(temp_)) {
    const std::string name = e.path().filename().string();
    if (name == "CONTACT.PDF" || name == "INSERT.PDF" || name == "PRINTS.PDF") pdfs[name] = e.path().string();
  }
  ASSERT_EQ(pdfs.size(), 3u);
  for (const auto& [name, path] : pdfs) {
    std::string out;
    EXPECT_EQ(Shell("qpdf --check '" + path + "'", &out), 0) << name << out;
  }
  std::string info;
  ASSERT_EQ(Shell("pdfinfo '" + pdfs["PRINTS.PDF"] + "'", &info), 0) << info;
  const std::size_t pages = info.find("Pages:");
  ASSERT_NE(pages, std::string::npos) << info;
  EXPECT_EQ(std::stoi(info.substr(pages + 6)), kVEXAEngineMaxStills) << info;
}

}  // namespace
}  // namespace vexa::engine::test
