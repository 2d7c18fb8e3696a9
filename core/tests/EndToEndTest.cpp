// The orchestrator over the real disc engine and the simulated recorder:
// photos, music and a title to a burned Video CD that vcd-info, cd-info and
// isoinfo read; a copy of the same image; a used CD-RW erased on the user's
// word; and an audio-CD track ripped into the music of a disc.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/CoreFiles.h"
#include "core/testsupport/ScriptedUi.h"
#include "core/VEXACore1.h"
#include "core/tests/CoreFixture.h"
#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/DiscpakLibrary.h"
#include "idl/ProductKey.h"
#include "platform/base/Module.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/Codec.h"
#include "platform/scsi/SimDrive.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;
namespace fs = std::filesystem;

// Closes the recorder layer's transport, so the next drive opens the
// simulated recorder named now.
void CloseTransport() {
  base::Module m = base::Module::Load("discpakm2");
  auto get = m.Function<DLL_LL_GetLibObjectFn>("DLL_LL_GetLibObject");
  auto release = m.Function<DLL_LL_ReleaseObjectFn>("DLL_LL_ReleaseObject");
  if (!get || !release) return;
  if (auto* coms = static_cast<CDR4COMS*>(get("CDR4COMS"))) {
    coms->COMS_Close();
    release(coms);
  }
  m.Release();
}

// The flow's fixed waits pass a hundred times faster than they say, so the
// engine gets time to work without the test waiting seconds per poll.
class FastClock : public FlowClock {
 public:
  std::uint32_t TickCount() override { return static_cast<std::uint32_t>(now_); }
  void Wait(std::chrono::milliseconds d, UiPort& ui) override {
    now_ += static_cast<std::uint64_t>(d.count());
    ui.WaitFor(d / 100);
  }
  void WaitFor(std::chrono::milliseconds longest, Completion& done, UiPort& ui) override {
    now_ += static_cast<std::uint64_t>(longest.count());
    ui.WaitFor(longest / 100, done);
  }

 private:
  std::uint64_t now_ = 5000000;
};

class EndToEndTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    for (const char* tool : {"/usr/bin/vcd-info", "/usr/bin/cd-info", "/usr/bin/isoinfo"}) {
      if (!HaveTool(tool)) {
        if (CheckersRequired()) FAIL() << "missing " << tool;
        GTEST_SKIP() << "missing " << tool;
      }
    }
    ::setenv("XDG_DATA_HOME", Path("data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", Path("run").c_str(), 1);
    ::setenv("TMPDIR", Path("tmp").c_str(), 1);
    base::MakeDirs(Path("run"));
    base::MakeDirs(Path("tmp"));
    ::chmod(Path("run").c_str(), 0700);
    SetProductString("APP_PATH_DATA", Path("data/"));
    drive_ = Path("drive");
  }
  void TearDown() override {
    core_.Reset();
    CloseTransport();
    ::unsetenv("VEXA_SCSI_TRANSPORT");
    ::unsetenv("TMPDIR");
    CoreTest::TearDown();
  }

  // A simulated writer with this drive.conf.
  void Drive(const std::string& conf) {
    base::MakeDirs(drive_);
    ASSERT_TRUE(base::WriteFileAtomic(drive_ + "/drive.conf", conf));
    CloseTransport();
    ::setenv("VEXA_SCSI_TRANSPORT", ("sim:" + drive_).c_str(), 1);
  }

  // The user pushes the tray in (with autoblank, over a fresh blank disc).
  void CloseTray() {
    ComPtr<IVEXAEngine> engine;
    ASSERT_EQ(CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IVEXAEngine, engine.PutVoid()),
              S_OK);
    ComPtr<IVEXADriveMgr> manager;
    ASSERT_EQ(engine->get_DriveMgr(manager.Put()), S_OK);
    ComPtr<IVEXADrive> drive;
    ASSERT_EQ(manager->GetNextDrive(nullptr, VEXAMediaVCD, drive.Put()), S_OK);
    ASSERT_TRUE(drive);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    EXPECT_EQ(drive->Load(&loaded), S_OK);
  }

  // n photos of different sizes, portrait and landscape, in dir_/photos.
  std::vector<std::string> Photos(int n) {
    std::vector<std::string> paths;
    base::MakeDirs(Path("photos"));
    for (int i = 0; i < n; ++i) {
      const int w = i % 3 == 1 ? 600 + 40 * i : 1024 + 16 * i, h = i % 3 == 1 ? 900 : 680 + 8 * i;
      imaging::Bitmap b;
      EXPECT_TRUE(b.Create(w, h, 24).ok());
      for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.row(y);
        for (int x = 0; x < w; ++x) {
          row[3 * x] = static_cast<std::uint8_t>(x * 255 / w);
          row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / h);
          row[3 * x + 2] = static_cast<std::uint8_t>((i * 37 + (x / 32 + y / 32) % 2 * 120) & 0xFF);
        }
      }
      const std::string path = Path("photos/photo" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1) + ".jpg");
      EXPECT_TRUE(imaging::SaveJpeg(path, b, {}).ok()) << path;
      paths.push_back(path);
    }
    return paths;
  }

  // seconds of a 44.1 kHz stereo tone as a WAV file.
  std::string Music(int seconds) {
    const std::uint32_t frames = 44100u * static_cast<std::uint32_t>(seconds), bytes = frames * 4;
    std::string wav = "RIFF";
    auto u32 = [&](std::uint32_t v) {
      for (int k = 0; k < 4; ++k) wav += static_cast<char>(v >> (8 * k) & 0xFF);
    };
    auto u16 = [&](std::uint16_t v) {
      wav += static_cast<char>(v & 0xFF);
      wav += static_cast<char>(v >> 8);
    };
    u32(36 + bytes);
    wav += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    wav += "data";
    u32(bytes);
    for (std::uint32_t f = 0; f < frames; ++f) {
      const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * f / 44100.0)));
      u16(v);
      u16(v);
    }
    const std::string path = Path("music/theme.wav");
    base::MakeDirs(Path("music"));
    base::WriteFileAtomic(path, wav);
    return path;
  }

  // The images the simulated recorder wrote, oldest first.
  std::vector<std::string> Images() {
    std::vector<std::string> cues;
    for (const auto& e : fs::directory_iterator(drive_)) {
      if (e.path().extension() == ".cue") cues.push_back(e.path().string());
    }
    std::sort(cues.begin(), cues.end(), [](const std::string& a, const std::string& b) {
      return fs::last_write_time(a) < fs::last_write_time(b) || (fs::last_write_time(a) == fs::last_write_time(b) && a < b);
    });
    return cues;
  }

  // Track 1 of an image as an ISO 9660 image (the user data of its sectors).
  std::string CookTrackOne(const std::string& cue) {
    std::string bin;
    EXPECT_TRUE(base::ReadFile(cue.substr(0, cue.size() - 4) + ".bin", &bin));
    std::string cooked;
    for (std::size_t at = 0; at + 2352 <= bin.size(); at += 2352) cooked.append(bin, at + 24, 2048);
    const std::string iso = Path("track1.iso");
    base::WriteFileAtomic(iso, cooked);
    return iso;
  }

  std::string ErrorText() {
    com::ErrorText e = TakeError();
    return e.present ? e.Utf8Description() : std::string();
  }
  VEXACoreErrorCode Code() {
    VEXACoreErrorCode code = VEXACoreFailure;
    core_->GetErrorCode(&code);
    return code;
  }
  // Anything left in the temporary folder (the checkers' own files aside).
  std::vector<std::string> LeftInTemp() {
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(Path("tmp"))) left.push_back(e.path().filename().string());
    return left;
  }

  // An object over the real engine with the scripted user interface.
  ComPtr<IVEXACore1> Scripted(const std::function<void(ScriptedUi&)>& script) {
    CoreServices services;
    services.ui = [this, script](CVexaCoreUtil&, bool) -> std::unique_ptr<UiPort> {
      auto ui = std::make_unique<ScriptedUi>();
      ui_ = ui.get();
      script(*ui);
      return ui;
    };
    services.clock = std::make_shared<FastClock>();
    ComPtr<IVEXACore1> core;
    EXPECT_EQ(ComObject<CVEXACore1>::Create(core.Put(), services), S_OK) << ErrorText();
    return core;
  }
  HRESULT InitAndAdd(IVEXACore1* core, LONG level, int photos) {
    Bstr none(u""), dir = Bstr::FromUtf8(Path("photos"));
    HRESULT hr = core->Init(static_cast<VEXACoreShowStatusLevel>(level), none.Get(), VARIANT_TRUE);
    if (FAILED(hr)) return hr;
    if (!base::DirExists(Path("photos"))) Photos(photos);
    return core->AddImageDirectory(dir.Get());
  }

  std::string drive_;
  ComPtr<IVEXACore1> core_;
  ScriptedUi* ui_ = nullptr;
};

TEST_F(EndToEndTest, ASilentRunBurnsThirteenPhotosWithMusicAndATitle) {
  Drive("profile = cdrw-writer\nmedia = cdr\n");
  Photos(13);
  const std::string music = Music(20);
  // Made by its class id, as the program makes it.
  ASSERT_EQ(CoCreateInstance(CLSID_VEXACore1, nullptr, static_cast<CLSCTX>(7), IID_IVEXACore1, core_.PutVoid()), S_OK)
      << ErrorText();
  ASSERT_EQ(core_->SetLoggingLevel(VARIANT_TRUE), S_OK);
  Bstr none(u"");
  ASSERT_EQ(core_->Init(VEXACoreShowStatusNothing, none.Get(), VARIANT_TRUE), S_OK) << ErrorText();
  Bstr t1(u"Summer 2002"), t2(u"At the lake house"), photos = Bstr::FromUtf8(Path("photos")),
      song = Bstr::FromUtf8(music);
  // Asked before anything is added: the engine's estimate of the image,
  // never above the image made.
  ComPtr<IVEXACoreImageEstimate> estimate;
  ASSERT_EQ(core_->QueryInterface(IID_IVEXACoreImageEstimate, estimate.PutVoid()), S_OK);
  std::vector<Bstr> files;
  for (const auto& e : fs::directory_iterator(Path("photos"))) files.push_back(Bstr::FromUtf8(e.path().string()));
  std::vector<BSTR> names;
  for (Bstr& f : files) names.push_back(f.Get());
  LONGLONG early = 0, room = 0;
  ASSERT_EQ(estimate->EstimateImage(names.data(), static_cast<LONG>(names.size()), VARIANT_TRUE, 5, song.Get(), &early,
                                    &room),
            S_OK)
      << ErrorText();
  EXPECT_EQ(room, 359849);
  estimate.Reset();  // the object goes with core_
  ASSERT_EQ(core_->SetTVSystem(VEXACoreTVPAL), S_OK) << ErrorText();
  ASSERT_EQ(core_->SetTitleLines(t1.Get(), t2.Get(), none.Get()), S_OK) << ErrorText();
  ASSERT_EQ(core_->AddImageDirectory(photos.Get()), S_OK) << ErrorText();
  ASSERT_EQ(core_->AddAudioTrack(song.Get(), song.Get(), 0.0), S_OK) << ErrorText();
  ASSERT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_EQ(Code(), VEXACoreSuccess);
  core_.Reset();

  const auto images = Images();
  ASSERT_EQ(images.size(), 1u);
  const auto made = fs::file_size(images[0].substr(0, images[0].size() - 4) + ".bin") / 2352;
  EXPECT_LE(early, static_cast<LONGLONG>(made));
  EXPECT_GE(early, static_cast<LONGLONG>(made) * 2 / 3) << early << " of " << made;
  std::string out;
  ASSERT_EQ(RunCommand("vcd-info --no-banner --cue-file " + Quote(images[0]), &out), 0) << out;
  EXPECT_EQ(out.find("++ WARN"), std::string::npos) << out;
  EXPECT_NE(out.find("VCD 2.0"), std::string::npos) << out;
  ASSERT_EQ(RunCommand("cd-info --no-cddb --cue-file " + Quote(images[0]), &out), 0) << out;
  EXPECT_NE(out.find("Video CD"), std::string::npos) << out;
  const std::string iso = CookTrackOne(images[0]);
  ASSERT_EQ(RunCommand("isoinfo -l -J -i " + Quote(iso), &out), 0) << out;
  EXPECT_NE(out.find("README.TXT"), std::string::npos) << out;
  EXPECT_NE(out.find("ALBUM.XML"), std::string::npos) << out;
  std::string readme, shipped;
  ASSERT_EQ(RunCommand("isoinfo -i " + Quote(iso) + " -x '/README.TXT;1'", &readme), 0);
  ASSERT_TRUE(base::ReadFile(base::JoinPath(base::ShareDir(), "core/include/README.TXT"), &shipped));
  // The disc's copy tells of its title picture and its music.
  EXPECT_EQ(readme, KeepDiscBlocks(shipped, DiscFacts{true, true}));
  EXPECT_NE(readme.find("title picture"), std::string::npos) << readme;
  // Nothing is left in the temporary folder.
  EXPECT_EQ(LeftInTemp(), std::vector<std::string>{});
  // A run that made its disc reported no error on the way.
  std::string log;
  ASSERT_TRUE(base::ReadFile(Path("data/vexalog.txt"), &log));
  ASSERT_NE(log.find(" INFO "), std::string::npos) << log;
  std::vector<std::string> errors;
  for (std::string_view line : base::DataLines(log)) {
    if (line.find(" ERROR ") != std::string_view::npos) errors.emplace_back(line);
  }
  EXPECT_EQ(errors, std::vector<std::string>{}) << log;
}

TEST_F(EndToEndTest, TheStatusDialogOffersACopyThatIsTheSameImageAgain) {
  Drive("profile = cdrw-writer\nmedia = cdr\nautoblank = yes\n");
  bool trayClosed = false;
  core_ = Scripted([this, &trayClosed](ScriptedUi& ui) {
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonExtra); }, kButtonExtra);
    // The burned disc came out; the next one goes in and the user says OK.
    ui.QueueAnswer(kIDOK);  // the CD-R reminder of the first disc
    ui.QueueAnswer(kIDOK);  // "There is no disc in the CD Writer."
    ui.QueueAnswer(kIDOK);  // the reminder again, for the blank one
    ui.onPump = [this, &ui, &trayClosed] {
      if (!trayClosed && !ui.messages.empty() && ui.messages.back().text.rfind("There is no disc", 0) == 0) {
        trayClosed = true;
        CloseTray();
      }
    };
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  });
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusAll, 3), S_OK) << ErrorText();
  ASSERT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_EQ(ui_->PendingPresses(), 0u);
  EXPECT_EQ(ui_->unscripted, 0);
  EXPECT_TRUE(trayClosed);
  ScriptedStatusDialog* d = ui_->Dialog();
  ASSERT_TRUE(d);
  for (int step : {1, 3, 4, 5, 6}) EXPECT_TRUE(d->LabelBlue(step)) << step;
  EXPECT_FALSE(d->LabelBlue(2));
  core_.Reset();

  const auto images = Images();
  ASSERT_EQ(images.size(), 2u);
  std::string first, second;
  ASSERT_TRUE(base::ReadFile(images[0].substr(0, images[0].size() - 4) + ".bin", &first));
  ASSERT_TRUE(base::ReadFile(images[1].substr(0, images[1].size() - 4) + ".bin", &second));
  // The same image again: every sector alike but the directory records of
  // the file tree (from sector 300), whose dates are the time each disc was
  // laid out.
  ASSERT_EQ(first.size(), second.size());
  EXPECT_GT(first.size(), 1000000u);
  std::size_t differing = 0;
  for (std::size_t sector = 0; sector * 2352 < first.size(); ++sector) {
    if (first.compare(sector * 2352, 2352, second, sector * 2352, 2352) == 0) continue;
    ++differing;
    EXPECT_TRUE(sector >= 300 && sector < 1300) << "sector " << sector;
  }
  EXPECT_LT(differing, 200u);
  std::string names[2], vcd[2];
  for (int i = 0; i < 2; ++i) {
    const std::string iso = CookTrackOne(images[static_cast<std::size_t>(i)]);
    ASSERT_EQ(RunCommand("isoinfo -f -J -i " + Quote(iso), &names[i]), 0) << names[i];
    ASSERT_EQ(RunCommand("vcd-info --no-banner -I -E -L -p --cue-file " + Quote(images[static_cast<std::size_t>(i)]),
                         &vcd[i]),
              0)
        << vcd[i];
  }
  EXPECT_EQ(names[0], names[1]);
  EXPECT_NE(names[0].find("/ALBUMS/ALBUM_A"), std::string::npos) << names[0];
  EXPECT_EQ(vcd[0].substr(vcd[0].find("INFO.VCD")), vcd[1].substr(vcd[1].find("INFO.VCD")));
  EXPECT_EQ(LeftInTemp(), std::vector<std::string>{});
}

// "Make Another Copy" when the user puts the blank disc in from outside
// (as "cdrsim load" does) while "There is no disc" is shown: the writer
// answers its first command after the change with a unit attention, which
// is asked again, not taken for a disc that cannot be read.
TEST_F(EndToEndTest, ACopyIsMadeOnABlankDiscPutInFromOutside) {
  Drive("profile = cdrw-writer\nmedia = cdr\n");
  bool changed = false;
  core_ = Scripted([this, &changed](ScriptedUi& ui) {
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonExtra); }, kButtonExtra);
    ui.QueueAnswer(kIDOK);  // the CD-R reminder of the first disc
    ui.QueueAnswer(kIDOK);  // "There is no disc in the CD Writer."
    ui.QueueAnswer(kIDOK);  // the reminder again, for the blank one
    ui.onPump = [this, &ui, &changed] {
      if (!changed && !ui.messages.empty() && ui.messages.back().text.rfind("There is no disc", 0) == 0) {
        changed = true;
        std::string error;
        EXPECT_TRUE(scsi::sim::SimDrive::ChangeMedia(drive_, "cdr", &error)) << error;
      }
    };
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  });
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusAll, 3), S_OK) << ErrorText();
  ASSERT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_TRUE(changed);
  EXPECT_EQ(ui_->PendingPresses(), 0u);
  EXPECT_EQ(ui_->unscripted, 0);
  for (const auto& m : ui_->messages) EXPECT_EQ(m.text.find("cannot read the disc"), std::string::npos) << m.text;
  core_.Reset();
  EXPECT_EQ(Images().size(), 2u);
}

// "Creating the photo show" over the real engine: the bar shows the
// engine's work (positions between the start and the end, only rising until
// the line says the show is being finished or a question nudges it), and
// Cancel, pressed while the engine's worker encodes ten minutes of music,
// stops it: the run ends cancelled, nothing is burned and nothing is left
// behind. The music is long enough that the photo show outlasts several
// polls of the bar even on a fast machine, now that the photos' files are
// made ahead and work files are not synced.
TEST_F(EndToEndTest, ThePhotoShowBarFollowsTheEnginesWorkAndCancelStopsIt) {
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "to the end");
    fs::remove_all(Path("photos"));
    CloseTransport();  // the last run's disc is put away
    fs::remove_all(drive_);
    Drive("profile = cdrw-writer\nmedia = cdr\n");
    std::vector<int> shown;  // the bar at each pump while the photo show is made
    bool pressed = false, finishing = false;
    core_ = Scripted([&](ScriptedUi& ui) {
      ui.onPump = [&] {
        const ScriptedStatusDialog* d = ui.Dialog();
        // Near its end the line says "Finishing photo show creation" and the
        // bar only shows that something moves.
        if (!d || !d->MarkerShown(3) || finishing || pressed) return;
        finishing = d->StatusText() == "Finishing photo show creation";
        if (finishing) return;
        // A full bar ends the photo show; the next step starts its own bar
        // before its marker replaces this one.
        if (!shown.empty() && shown.back() == 100) return;
        shown.push_back(d->Progress());
        if (cancel && !pressed && d->Progress() > 2 && d->ButtonEnabled(kButtonCancel)) {
          pressed = ui.Dialog()->Press(kButtonCancel);
        }
      };
      ui.QueueAnswer(kIDOK);  // the CD-R reminder, before the photo show
      if (cancel) ui.QueueAnswer(kIDYES);  // "Are you sure you want to cancel?"
      ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
    });
    ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusAll, 3), S_OK) << ErrorText();
    const Bstr song = Bstr::FromUtf8(Music(cancel ? 600 : 20));
    ASSERT_EQ(core_->AddAudioTrack(song.Get(), song.Get(), 0.0), S_OK) << ErrorText();
    const HRESULT hr = core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE);
    ASSERT_FALSE(shown.empty());
    for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_GE(shown[i], shown[i - 1]) << i;
    // The engine's own figures reached the bar: a position between the
    // start (2) and the end. Asked of the cancelled run, whose engine works
    // on ten minutes of music until the cancel comes, and which presses
    // Cancel only once the bar has left the start. The short run's show may
    // pass between two polls of the bar on a busy machine (its pictures are
    // made ahead, before the show is followed), so there only its order is
    // asked.
    std::string seen;
    for (int p : shown) seen += " " + std::to_string(p);
    if (cancel) {
      EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int p) { return p > 2 && p < 100; })) << "shown:" << seen;
      EXPECT_TRUE(pressed);
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(Code(), VEXACoreCancelled);
      EXPECT_EQ(std::count(shown.begin(), shown.end(), 100), 0);
      TakeError();
      core_.Reset();
      EXPECT_EQ(Images().size(), 0u);
    } else {
      EXPECT_EQ(hr, S_OK) << ErrorText();
      core_.Reset();
      EXPECT_EQ(Images().size(), 1u);
    }
    EXPECT_EQ(LeftInTemp(), std::vector<std::string>{});
  }
}

TEST_F(EndToEndTest, AUsedCDRWIsErasedOnTheUsersYesAndRefusedWithoutTheDialog) {
  Drive("profile = cdrw-writer\nmedia = cdrw\n");
  // A first disc makes the CD-RW a used one.
  core_ = Scripted([](ScriptedUi&) {});
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusNothing, 2), S_OK) << ErrorText();
  ASSERT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  core_.Reset();

  // Without the dialog nobody may agree to the erase.
  CloseTransport();  // the user pushes the ejected disc back in
  core_ = Scripted([](ScriptedUi&) {});
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusNothing, 2), S_OK) << ErrorText();
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreDiscIsNotBlank);
  TakeError();
  core_.Reset();

  // With it, Yes erases the disc and the new one is burned on it.
  CloseTransport();
  core_ = Scripted([](ScriptedUi& ui) {
    ui.QueueAnswer(kIDYES);
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  });
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusAll, 2), S_OK) << ErrorText();
  ASSERT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  ASSERT_GE(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text.rfind("The CD-RW disc is not blank.", 0), 0u);
  EXPECT_TRUE(ui_->Dialog()->LabelBlue(2));
  core_.Reset();
  const auto images = Images();
  ASSERT_FALSE(images.empty());
  std::string out;
  EXPECT_EQ(RunCommand("vcd-info --no-banner --cue-file " + Quote(images.back()), &out), 0) << out;
}

TEST_F(EndToEndTest, ADiscWithoutRoomFailsTheRunAndLeavesNothingBehind) {
  // A written CD-R has no room left: silently it is refused as not blank.
  Drive("profile = cdrw-writer\nmedia = cdr\n");
  core_ = Scripted([](ScriptedUi&) {});
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusNothing, 2), S_OK) << ErrorText();
  ASSERT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  core_.Reset();
  CloseTransport();  // the user pushes the written disc back in
  core_ = Scripted([](ScriptedUi&) {});
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusNothing, 2), S_OK) << ErrorText();
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreDiscIsNotBlank);
  TakeError();
  core_.Reset();
  EXPECT_EQ(Images().size(), 1u);

  // A blank disc too small for the image (30000 sectors, under the Video
  // CD's least size): refused before the premaster, with the space the
  // image needs; the disc stays blank and nothing is left behind.
  CloseTransport();
  fs::remove_all(drive_);
  Drive("profile = cdrw-writer\nmedia = cdr\ncapacity = 30000\n");
  core_ = Scripted([](ScriptedUi&) {});
  ASSERT_EQ(InitAndAdd(core_.Get(), VEXACoreShowStatusNothing, 2), S_OK) << ErrorText();
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreDiscTooSmall);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("IVEXAPremaster::StartPremaster - The disc is too small: the disc image needs 98 MB (50002 "
                      "sectors) and the disc has 58 MB (30000 sectors) free.\r\n"
                      "CVexaODBase::StartPremaster - The disc is too small for the disc image.\r\n"
                      "CVEXACore1::DoPremaster - The disc is too small for the disc image; nothing was made.\r\n"
                      "CVEXACore1::PrepareVCD - DoPremaster call failed.\r\n"
                      "CVEXACore1::CreateVCD - PrepareVCD call failed."),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("underrun"), std::string::npos);
  core_.Reset();
  CloseTransport();
  EXPECT_EQ(Images().size(), 0u);
  std::string state;
  ASSERT_TRUE(base::ReadFile(drive_ + "/disc.state", &state));
  EXPECT_NE(state.find("status 0\n"), std::string::npos) << state;
  EXPECT_EQ(state.find("\ntrack "), std::string::npos) << state;
  EXPECT_EQ(LeftInTemp(), std::vector<std::string>{});
}

TEST_F(EndToEndTest, WithoutAWriterInitSaysSo) {
  Drive("profile = reader\nmedia = none\n");
  core_ = Scripted([](ScriptedUi&) {});
  Bstr none(u"");
  EXPECT_EQ(core_->Init(VEXACoreShowStatusNothing, none.Get(), VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreNoCDWriter);
  EXPECT_NE(ErrorText().find("CVEXACore1::Init - Cannot find a CD-Writer."), std::string::npos);
}

TEST_F(EndToEndTest, AnAudioCDTrackIsRippedIntoTheMusic) {
  // An audio CD of two tracks (4 s and 6 s) of generated sound.
  const std::vector<int> starts = {0, 300, 750};
  std::string pcm(static_cast<std::size_t>(starts.back()) * 2352, '\0');
  for (std::size_t f = 0; f < pcm.size() / 4; ++f) {
    const auto v = static_cast<std::int16_t>(7000 * std::sin(2 * M_PI * (f < 300 * 588 ? 330.0 : 550.0) * f / 44100.0));
    const auto w = static_cast<std::int16_t>((f * 7919) & 0x3FFF);
    std::memcpy(&pcm[f * 4], &v, 2);
    std::memcpy(&pcm[f * 4 + 2], &w, 2);
  }
  ASSERT_TRUE(base::WriteFileAtomic(Path("audio.bin"), pcm));
  ASSERT_TRUE(base::WriteFileAtomic(Path("audio.cue"), "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                                       "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n"));
  Drive("profile = cdrw-writer\nmedia = rom:" + Path("audio.cue") + "\n");
  core_ = Scripted([](ScriptedUi&) {});
  Bstr none(u"");
  ASSERT_EQ(core_->Init(VEXACoreShowStatusNothing, none.Get(), VARIANT_TRUE), S_OK) << ErrorText();
  Bstr track = Bstr::FromUtf8(drive_ + "/Track02.cda");
  LONG size = 0, rip = 0;
  double play = 0;
  ASSERT_EQ(core_->GetTrackInfo(track.Get(), &size, &play, &rip), S_OK) << ErrorText();
  EXPECT_EQ(size, 450 * 2352 + 36);
  EXPECT_DOUBLE_EQ(play, 6.0);
  // As the music of a disc: ripped on the worker into the work directory.
  ASSERT_EQ(core_->AddAudioTrack(track.Get(), track.Get(), 0.0), S_OK) << ErrorText();
  const std::string work = static_cast<CVEXACore1*>(core_.Get())->WorkDirectory();
  std::string wav;
  for (const auto& e : fs::directory_iterator(work)) {
    if (e.path().extension() == ".wav") wav = e.path().string();
  }
  ASSERT_FALSE(wav.empty());
  std::string data;
  ASSERT_TRUE(base::ReadFile(wav, &data));
  ASSERT_EQ(data.size(), 44u + 450u * 2352u);
  EXPECT_EQ(std::memcmp(data.data() + 44, pcm.data() + 300 * 2352, 450u * 2352u), 0);
  // The same through CDDAToWav, on the caller's thread.
  Bstr out = Bstr::FromUtf8(Path("track2.wav"));
  ASSERT_EQ(core_->CDDAToWav(track.Get(), out.Get()), S_OK) << ErrorText();
  std::string direct;
  ASSERT_TRUE(base::ReadFile(Path("track2.wav"), &direct));
  EXPECT_EQ(direct, data);
  if (HaveTool("/usr/bin/soxi")) {
    std::string seconds;
    ASSERT_EQ(RunCommand("/usr/bin/soxi -D " + Quote(wav), &seconds), 0) << seconds;
    EXPECT_DOUBLE_EQ(std::stod(seconds), 6.0);
  }
}

}  // namespace
}  // namespace vexa::core::test
