// The storyboard over the real album model, image utility and Video CD
// classes: settings and their limits, music, files and stills in the
// engine's tables, the album and the disc image, and additions that fail
// part-way leaving no trace.
#include <filesystem>

#include "engine/ThumbnailBrowser2.h"
#include "engine/tests/EngineFixture.h"
#include "platform/base/MemoryBudget.h"

namespace vexa::engine {

class StoryboardAccess {
 public:
  static std::size_t DiscPaths(CVEXAVCDEngine* e) { return e->story_->DiscPathCount(); }
  static bool HasDiscPath(CVEXAVCDEngine* e, const std::string& p) { return e->story_->HasDiscPath(p); }
  static void SetStillCount(CVEXAVCDEngine* e, std::int32_t n) { e->story_->SetStillCountForTest(n); }
  static std::int32_t StillCount(CVEXAVCDEngine* e) { return e->story_->StillCount(); }
  static ThumbnailBrowser2* Menu(CVEXAVCDEngine* e) { return e->menu_.get(); }
  static IStillsSlideShow1* Album(CVEXAVCDEngine* e) { return e->album_->Album(); }
  static const StillRecord& Still(CVEXAVCDEngine* e, int n) { return e->story_->Still(n); }
  static const std::string& First(CVEXAVCDEngine* e) { return e->story_->FirstStill(); }
  static void SetAheadWorkers(CVEXAVCDEngine* e, unsigned n) { e->story_->SetAheadWorkers(n); }
  static std::size_t BegunAhead(CVEXAVCDEngine* e) { return e->story_->PhotosBegunAhead(); }
};

namespace test {
namespace {

// The bytes of a JPEG without its comment segments.
std::string WithoutComments(const std::string& jpeg) {
  std::string out = jpeg.substr(0, 2);
  std::size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
    if (marker == 0xDA) {  // the scan runs to the end
      out += jpeg.substr(i);
      return out;
    }
    const std::size_t length = (static_cast<unsigned char>(jpeg[i + 2]) << 8) | static_cast<unsigned char>(jpeg[i + 3]);
    if (marker != 0xFE) out += jpeg.substr(i, 2 + length);
    i += 2 + length;
  }
  return out;
}

class StoryboardTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_EQ(Create(), S_OK);
    ASSERT_EQ(engine_->SetTempDirectory(B(dir_).Get()), S_OK);
    ASSERT_EQ(engine_->get_StoryboardStillsSlideshow1(sb_.Put()), S_OK);
    ASSERT_EQ(sb_->SetFileSystemSupport(VEXAFSDefault), S_OK);
  }
  void TearDown() override {
    sb_.Reset();
    EngineTest::TearDown();
  }
  std::string Photo(const std::string& name, const std::string& size = "800x600") {
    const std::string p = Path(name);
    EXPECT_EQ(Shell("convert -size " + size + " plasma:fractal -seed 7 '" + p + "'"), 0);
    return p;
  }
  HRESULT Add(const std::string& file, LONG rotate = 0, VEXAPictureSizingBehaviour sizing = VEXAResizePicture,
              const std::string& title = "") {
    return sb_->AddStill(B(file).Get(), B(file).Get(), title.empty() ? nullptr : B(title).Get(), 0.0, sizing, rotate,
                         VARIANT_FALSE, nullptr, 0.0);
  }
  LONG AlbumStills() {
    com::ComPtr<ISeqOfStillImage> seq;
    StoryboardAccess::Album(object_)->get_stillImages(seq.Put());
    LONG n = -1;
    seq->get_Count(&n);
    return n;
  }
  com::ComPtr<IVEXAStoryboardStillsSlideshow1> sb_;
};

TEST_F(StoryboardTest, TimingLimitsAndTheAlbumInSeconds) {
  EXPECT_EQ(sb_->SetStillDelay(1999), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultParameterOutOfBounds);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be minimum of 2000 msec");
  ASSERT_EQ(sb_->SetStillDelay(2000), S_OK);
  EXPECT_EQ(LastMethod(), "IVEXAStoryboardStillsSlideshow1::SetStillDelay");
  // One still may take the whole disc, not a millisecond more: a longer one
  // would be a stream no disc holds.
  ASSERT_EQ(sb_->SetStillDelay(4797000), S_OK);
  for (LONG tooLong : {4797001, 2147483000, 2147483647}) {
    EXPECT_EQ(sb_->SetStillDelay(tooLong), E_FAIL);
    EXPECT_EQ(LastCode(), VEXAEngineResultParameterOutOfBounds);
    EXPECT_EQ(LastMessage(),
              "IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be at most 4797000 msec: a disc holds at "
              "most 4797 seconds (79 min 57 s) of slide show");
  }
  ASSERT_EQ(sb_->SetStillDelay(7000), S_OK);
  ASSERT_EQ(sb_->SetStillTitleVisibleTime(7000), S_OK);
  EXPECT_EQ(sb_->SetStillTitleVisibleTime(7001), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultParameterOutOfBounds);
  LONG delay = 0, title = 0;
  StoryboardAccess::Album(object_)->get_stillDelay(&delay);
  StoryboardAccess::Album(object_)->get_stillTitleVisibleTime(&title);
  EXPECT_EQ(delay, 7);
  EXPECT_EQ(title, 7);
}

// Stills that fit one by one but not together: the premaster refuses the
// show before anything is encoded.
TEST_F(StoryboardTest, AShowLongerThanADiscHoldsIsRefusedBeforeEncoding) {
  ASSERT_EQ(sb_->SetStillDelay(2400000), S_OK);  // 40 minutes a still
  ASSERT_EQ(Add(Photo("a.jpg", "64x48")), S_OK);
  ASSERT_EQ(Add(Photo("b.jpg", "64x48")), S_OK);
  com::ComPtr<IVEXAPremaster> premaster;
  ASSERT_EQ(engine_->get_Premaster(premaster.Put()), S_OK);
  EXPECT_EQ(premaster->StartPremaster(), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultParameterOutOfBounds);
  EXPECT_EQ(LastMessage(),
            "IVEXAPremaster::StartPremaster - The slide show of 4800 seconds (2 pictures) cannot fit on the disc: a "
            "disc holds at most 4797 seconds (79 min 57 s) of slide show");
  VARIANT_BOOL done = VARIANT_FALSE;
  ASSERT_EQ(premaster->IsPremasterDone(&done), S_OK);
  EXPECT_EQ(done, VARIANT_TRUE);  // no worker ever ran
  EXPECT_EQ(object_->ImageBuilder()->VideoPath(), "");
}

TEST_F(StoryboardTest, SettingsRefusedWithTheirTexts) {
  EXPECT_EQ(sb_->SetFileSystemSupport(VEXAFSUDF15), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport - UDF not supported");
  EXPECT_EQ(LastCode(), VEXAEngineResultUnsupportedDiscFS);
  EXPECT_EQ(sb_->SetFileSystemSupport(static_cast<VEXAFileSystemSupport>(2)), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport - 2 not supported.");
  EXPECT_EQ(sb_->SetPaperSize(static_cast<VEXAPaperSize>(2)), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::SetPaperSize - Unknown paper size");
  EXPECT_EQ(LastCode(), VEXAEngineResultParameterInvalid);
  ASSERT_EQ(sb_->SetPaperSize(VEXAPaperSizeA4), S_OK);
  VEXAXMLPaperSize paper{};
  StoryboardAccess::Album(object_)->get_paperSize(&paper);
  EXPECT_EQ(paper, VEXAXMLPaperSizeA4);
  // A system outside 0-3 is kept, the album left alone.
  ASSERT_EQ(sb_->SetTVSystem(VEXATVPAL), S_OK);
  ASSERT_EQ(sb_->SetTVSystem(static_cast<VEXATVSystem>(9)), S_OK);
  VEXAXMLTVSystem tv{};
  StoryboardAccess::Album(object_)->get_tvSystem(&tv);
  EXPECT_EQ(tv, VEXAXMLTVPAL);
}

TEST_F(StoryboardTest, RotationAndSizingChecks) {
  VEXA_REQUIRE_TOOL("convert");
  const std::string p = Photo("r.jpg");
  struct Case {
    LONG rotate;
    int sizing;
    HRESULT hr;
    const char* message;
  } cases[] = {
      {-1, 0, E_FAIL, "IVEXAStoryboardStillsSlideshow1::AddStill - invalid rotateDegrees parameter (1-360) - '-1'"},
      {361, 0, E_FAIL, "IVEXAStoryboardStillsSlideshow1::AddStill - invalid rotateDegrees parameter (1-360) - '361'"},
      {0, 2, E_FAIL, "IVEXAStoryboardStillsSlideshow1::AddStill - invalid pictureSizing parameter - '2'"},
      {360, 0, S_OK, "S_OK"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Add(p, c.rotate, static_cast<VEXAPictureSizingBehaviour>(c.sizing)), c.hr) << c.rotate;
    EXPECT_EQ(LastMessage(), c.message);
  }
  // 360 degrees is accepted but not written to the album.
  com::ComPtr<ISeqOfStillImage> seq;
  StoryboardAccess::Album(object_)->get_stillImages(seq.Put());
  com::ComPtr<IStillImage> still;
  ASSERT_EQ(seq->get_Item(1, still.Put()), S_OK);
  LONG rotate = -1;
  still->get_destRotate(&rotate);
  EXPECT_EQ(rotate, 0);
  EXPECT_EQ(sb_->AddStill(B("").Get(), nullptr, nullptr, 0.0, VEXAResizePicture, 0, VARIANT_FALSE, nullptr, 0.0), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::AddStill - invalid stillFile parameter - ''");
}

TEST_F(StoryboardTest, AStillGoesEverywhereUnderItsDiscName) {
  VEXA_REQUIRE_TOOL("convert");
  const std::string p = Photo("holiday.jpg");
  std::string photo;
  base::ReadFile(p, &photo);
  ASSERT_EQ(Add(p, 0, VEXACropPicture, "Beach"), S_OK) << ErrorDescription();
  EXPECT_EQ(LastMethod(), "IVEXAStoryboardStillsSlideshow1::AddStill");
  for (const char* path : {"/ORLDISC/ALBUM_A/CONTENT/IM_A0001.JPG", "/ALBUMS/ALBUM_A/IM_A0001.JPG", "/PICTURES/IM_A0001.JPG",
                           "/ORLDISC/ALBUM_A/LOWRES/160X160/IM_A0001.JPG", "/ORLDISC/ALBUM_A/LOWRES/640X640/IM_A0001.JPG",
                           "/ORLDISC/ALBUM_A/ORIGINAL/HOLIDAY.JPG", "/ALBUMS/ALBUM_A/ORIGINAL/IM_A0001.JPG"}) {
    EXPECT_TRUE(StoryboardAccess::HasDiscPath(object_, path)) << path;
  }
  EXPECT_EQ(StoryboardAccess::DiscPaths(object_), 8u);
  EXPECT_EQ(AlbumStills(), 1);
  EXPECT_EQ(StoryboardAccess::Menu(object_)->PictureCount(), 1);
  EXPECT_EQ(object_->ImageBuilder()->PictureCount(), 1);

  // The original on the disc is the photo with its record added, nothing
  // else changed; the album file is a file of its own.
  const std::string original = EngineTestAccess::WorkFolder(object_, 6) + "/IM_A0001.JPG";
  const std::string albumFile = EngineTestAccess::WorkFolder(object_, 3) + "/IM_A0001.JPG";
  std::string copy;
  ASSERT_TRUE(base::ReadFile(original, &copy));
  EXPECT_EQ(WithoutComments(copy), WithoutComments(photo));
  std::string id;
  LONG res = 0;
  ASSERT_EQ(object_->GetJPEGCOMMarker(original, &id, &res), S_OK);
  EXPECT_EQ(res, 1);
  EXPECT_EQ(id.size(), 36u);
  std::string albumId;
  ASSERT_EQ(object_->GetJPEGCOMMarker(albumFile, &albumId, &res), S_OK);
  EXPECT_EQ(res, 2);
  EXPECT_NE(albumId, id);
  const StillRecord& r = StoryboardAccess::Still(object_, 1);
  EXPECT_EQ(r.albumFile, albumFile);
  EXPECT_EQ(r.webName, "LOWRES/640X640/IM_A0001.JPG");
  EXPECT_EQ(r.sizing, VEXACropPicture);
  EXPECT_EQ(r.title, "Beach");
  EXPECT_LE(r.thumbWidth, 160);
  EXPECT_LE(r.thumbHeight, 160);
}

// The original's copy and the derivatives are written once, their records
// in them: byte for byte what storing the record into the written file
// would have made.
TEST_F(StoryboardTest, RecordsWrittenWithTheFilesAreThoseTheModelStores) {
  VEXA_REQUIRE_TOOL("convert");
  const std::string p = Photo("harbour.jpg", "1400x1000");
  ASSERT_EQ(Add(p), S_OK) << ErrorDescription();
  const std::string original = EngineTestAccess::WorkFolder(object_, 6) + "/IM_A0001.JPG";
  const std::string albumFile = EngineTestAccess::WorkFolder(object_, 3) + "/IM_A0001.JPG";
  for (const std::string& file : {original, albumFile}) {
    std::string written, id;
    LONG res = 0;
    ASSERT_TRUE(base::ReadFile(file, &written));
    ASSERT_EQ(object_->GetJPEGCOMMarker(file, &id, &res), S_OK);
    const std::string plain = Path("plain.jpg");
    ASSERT_TRUE(base::WriteFileAtomic(plain, WithoutComments(written)));
    std::string why;
    ASSERT_EQ(CVEXAVCDEngine::StoreJPEGRecord(plain, id, res, &why), S_OK) << why;
    std::string stored;
    ASSERT_TRUE(base::ReadFile(plain, &stored));
    EXPECT_EQ(written, stored) << file;
  }
}

// Photos made ahead on several workers take the memory each needs (its
// size from its header) from the process's budget for pictures: with room
// for one photo at a time, a turned one counting twice, one is made at a
// time; with room for two, never more than two. Every photo is made, and
// added in its place.
TEST_F(StoryboardTest, PhotosMadeAheadTakeTheirMemoryFromTheBudgetForPictures) {
  VEXA_REQUIRE_TOOL("convert");
  base::MemoryBudget& budget = base::PictureMemory();
  struct Restore {
    base::MemoryBudget& budget;
    std::uint64_t capacity;
    ~Restore() { budget.SetCapacity(capacity); }
  } restore{budget, budget.capacity()};
  const std::uint64_t photo = 640 * 480 * 4;
  const struct {
    std::uint64_t capacity;
    LONG rotate;
    std::size_t most;  // photos made at once
  } rounds[] = {{photo * 3 / 2, 0, 1}, {photo * 5 / 2, 90, 1}, {photo * 5 / 2, 0, 2}};
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) files.push_back(Photo("photo" + std::to_string(i) + ".png", "640x480"));
  com::ComPtr<IVEXAStillsAhead> ahead = As<IVEXAStillsAhead>();
  ASSERT_TRUE(ahead);
  StoryboardAccess::SetAheadWorkers(object_, 3);
  std::size_t added = 0;
  for (const auto& round : rounds) {
    SCOPED_TRACE(round.capacity);
    budget.SetCapacity(round.capacity);
    budget.ResetPeak();
    std::vector<com::Bstr> names;
    std::vector<BSTR> list;
    const std::vector<LONG> rotations(files.size(), round.rotate);
    for (const std::string& f : files) names.push_back(B(f));
    for (const com::Bstr& n : names) list.push_back(n.Get());
    ASSERT_EQ(ahead->ExpectStills(list.data(), rotations.data(), static_cast<LONG>(list.size())), S_OK);
    for (const std::string& f : files) ASSERT_EQ(Add(f, round.rotate), S_OK) << ErrorDescription();
    added += files.size();
    EXPECT_EQ(StoryboardAccess::BegunAhead(object_), files.size());
    EXPECT_GE(budget.peakLeases(), 1u);
    EXPECT_LE(budget.peakLeases(), round.most);
    EXPECT_EQ(budget.held(), 0u);
  }
  EXPECT_EQ(AlbumStills(), static_cast<LONG>(added));
}

TEST_F(StoryboardTest, RotatedAndOtherPicturesAreUsedInPlace) {
  VEXA_REQUIRE_TOOL("convert");
  const std::string jpeg = Photo("turned.jpg");
  const std::string png = Path("drawing.bmp");
  ASSERT_EQ(Shell("convert -size 320x200 gradient:red-blue '" + png + "'"), 0);
  ASSERT_EQ(Add(jpeg, 90), S_OK) << ErrorDescription();
  ASSERT_EQ(Add(png), S_OK) << ErrorDescription();
  std::size_t copies = 0;
  for (const auto& e : std::filesystem::directory_iterator(EngineTestAccess::WorkFolder(object_, 6))) (void)e, ++copies;
  EXPECT_EQ(copies, 0u);
  EXPECT_TRUE(StoryboardAccess::HasDiscPath(object_, "/ORLDISC/ALBUM_A/CONTENT/IM_A0002.JPG"));
}

TEST_F(StoryboardTest, FilesWithAndWithoutTheirJolietName) {
  const std::string f = Path("notes.txt");
  base::WriteFileAtomic(f, "notes");
  ASSERT_EQ(sb_->AddFile(B(f).Get(), B("/EXTRA/NOTES.TXT").Get(), B("/EXTRA/NOTES.TXT").Get(), 0.0), S_OK);
  EXPECT_EQ(StoryboardAccess::DiscPaths(object_), 1u);
  ASSERT_EQ(sb_->AddFile(B(f).Get(), B("/EXTRA/NOTES2.TXT").Get(), B("/EXTRA/My notes.txt").Get(), 0.0), S_OK);
  EXPECT_EQ(StoryboardAccess::DiscPaths(object_), 3u);
  EXPECT_EQ(sb_->AddFile(B("").Get(), B("/X").Get(), nullptr, 0.0), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::AddFile - invalid srcFile parameter - ''");
  EXPECT_EQ(sb_->AddFile(B(f).Get(), B("").Get(), nullptr, 0.0), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::AddFile - invalid dest8dot3Path parameter - ''");
}

TEST_F(StoryboardTest, AFailedAdditionLeavesNoTrace) {
  VEXA_REQUIRE_TOOL("convert");
  const std::string p = Photo("a.jpg");
  const std::string f = Path("taken.txt");
  base::WriteFileAtomic(f, "x");
  // The place of the first still's picture is taken already.
  ASSERT_EQ(sb_->AddFile(B(f).Get(), B("/PICTURES/IM_A0001.JPG").Get(), nullptr, 0.0), S_OK);
  EXPECT_EQ(Add(p), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultBrellAddHardLinkWFail);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::AddStill - AddHardLinkW call failed for /PICTURES/IM_A0001.JPG");
  EXPECT_EQ(AlbumStills(), 0);
  EXPECT_EQ(StoryboardAccess::StillCount(object_), 0);
  EXPECT_EQ(StoryboardAccess::Menu(object_)->PictureCount(), 0);
  EXPECT_EQ(object_->ImageBuilder()->PictureCount(), 0);
  EXPECT_EQ(StoryboardAccess::DiscPaths(object_), 1u);
  for (int folder : {3, 4, 5, 6}) {
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(EngineTestAccess::WorkFolder(object_, folder))) {
      (void)e;
      ++files;
    }
    EXPECT_EQ(files, 0u) << folder;
  }
}

TEST_F(StoryboardTest, TheSixHundredthStillIsRefused) {
  VEXA_REQUIRE_TOOL("convert");
  const std::string p = Photo("many.jpg", "200x150");
  StoryboardAccess::SetStillCount(object_, 598);
  ASSERT_EQ(Add(p), S_OK) << ErrorDescription();
  EXPECT_TRUE(StoryboardAccess::HasDiscPath(object_, "/PICTURES/IM_A0599.JPG"));
  EXPECT_EQ(Add(p), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultParameterOutOfBounds);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::AddStill - The disc holds 599 stills at most; this one is not added");
  EXPECT_EQ(AlbumStills(), 1);
}

TEST_F(StoryboardTest, TitleStillsFollowTheTVSystem) {
  for (VEXATVSystem tv : {VEXATVNTSC, VEXATVPAL}) {
    sb_.Reset();
    engine_.Reset();
    ASSERT_EQ(Create(), S_OK);
    ASSERT_EQ(engine_->SetTempDirectory(B(dir_).Get()), S_OK);
    ASSERT_EQ(engine_->get_StoryboardStillsSlideshow1(sb_.Put()), S_OK);
    ASSERT_EQ(sb_->SetTVSystem(tv), S_OK);
    ASSERT_EQ(sb_->SetTitleLines(B("Summer").Get(), B("2026").Get(), B("").Get()), S_OK);
    ASSERT_EQ(sb_->AddTitleStill(), S_OK) << ErrorDescription();
    std::string size;
    Shell("identify -format '%w %h' '" + object_->TempRoot() + "/ODTITLE1.JPG'", &size);
    // The utility draws at four times a still of 352 x 240 (NTSC) or 352 x 280.
    EXPECT_EQ(size, tv == VEXATVPAL ? "1408 1120" : "1408 960");
    // The home page shows the cropped title strip.
    Shell("identify -format '%wx%h' '" + StoryboardAccess::First(object_) + "'", &size);
    EXPECT_EQ(size, "703x250");
    EXPECT_EQ(AlbumStills(), 1);
  }
}

TEST_F(StoryboardTest, MusicGetsItsDiscNameAndOriginal) {
  VEXA_REQUIRE_TOOL("sox");
  const std::string wav = Path("Song One.wav");
  ASSERT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 3 sine 440"), 0);
  ASSERT_EQ(sb_->AddAudioTrack(B(wav).Get(), 0.0), S_OK) << ErrorDescription();
  EXPECT_EQ(LastMethod(), "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack");
  EXPECT_TRUE(StoryboardAccess::HasDiscPath(object_, "/ORLDISC/ALBUM_A/CONTENT/BG_A0001.WAV"));
  EXPECT_EQ(StoryboardAccess::DiscPaths(object_), 2u);
  EXPECT_EQ(object_->ImageBuilder()->AudioCount(), 1);
  EXPECT_EQ(sb_->AddAudioTrack(B("").Get(), 0.0), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - You must specify a valid audioFile to read from");
  // Something the audio reader does not take is refused without a trace,
  // and the message says which file and why.
  const std::string bad = Path("noise.wav");
  base::WriteFileAtomic(bad, "not audio");
  EXPECT_EQ(sb_->AddAudioTrack(B(bad).Get(), 0.0), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultBrellAddAudioFileWFail);
  EXPECT_EQ(LastMessage(), bad + ": it is shorter than a WAV file's head\n"
                                 "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - AddAudioTrack failed");
  const std::string slow = Path("slow.wav");
  ASSERT_EQ(Shell("sox -n -r 4000 -c 1 -b 16 '" + slow + "' synth 1 sine 440"), 0);
  EXPECT_EQ(sb_->AddAudioTrack(B(slow).Get(), 0.0), E_FAIL);
  EXPECT_EQ(LastMessage(), slow + ": its sample rate is 4000 Hz; 8000 to 96000 Hz can be read\n"
                                  "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - AddAudioTrack failed");
  EXPECT_EQ(StoryboardAccess::DiscPaths(object_), 2u);
}

}  // namespace
}  // namespace test
}  // namespace vexa::engine
