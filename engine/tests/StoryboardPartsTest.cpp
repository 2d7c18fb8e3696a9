// The storyboard on its own, without the COM class: an album and picture
// tools of the test's, an image builder that records what it is given. The
// failures here are those the real components hardly ever give (an album
// that refuses an item, a record that cannot be written, a derivative not
// made, the slide show refusing the picture): each leaves no trace, and the
// text puts the component's reason first.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "engine/StillsAhead.h"
#include "engine/Storyboard.h"
#include "engine/ThumbnailBrowser2.h"
#include "engine/VCDWizard.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "tests/support/Waits.h"

namespace vexa::engine {
namespace test {
namespace {

class FakeAlbum : public AlbumPort {
 public:
  bool PutStillDelay(LONG, std::string*) override { return true; }
  bool PutStillTitleVisibleTime(LONG, std::string*) override { return true; }
  bool PutTVSystem(LONG, std::string*) override { return true; }
  bool PutPaperSize(LONG, std::string*) override { return true; }
  bool PutTitleLine(int, const std::string&, std::string*) override { return true; }
  bool AddAudio(const AudioRecord&, std::string*) override { return true; }
  bool AddStill(const AlbumStill& still, std::string* why) override {
    if (refuseStill) {
      *why = "the album is full";
      return false;
    }
    stills.push_back(still);
    return true;
  }
  bool RebuildAudios(const AudioRecord*, std::size_t) override { return true; }
  bool RebuildStills(const AlbumStill* list, std::size_t count) override {
    stills.assign(list, list + count);
    return true;
  }
  bool refuseStill = false;
  std::vector<AlbumStill> stills;
};

class FakeTools : public StillTools {
 public:
  bool GetStillInfo(const std::string&, PictureInfo* out, std::string*) override {
    out->type = values::kJpegType;
    out->width = 800;
    out->height = 600;
    return true;
  }
  bool IsSupportedInput(LONG, bool* supported, std::string*) override {
    *supported = true;
    return true;
  }
  bool CreateDerivatives(const std::string&, LONG, const std::string& albumFile, const std::string& thumbFile, LONG,
                         const std::string& webFile, LONG, Derivatives* out, std::string* why) override {
    if (failDerivatives) {
      *why = "the picture is cut short";
      return false;
    }
    for (const std::string* f : {&albumFile, &thumbFile, &webFile}) base::WriteFileAtomic(*f, "picture");
    *out = Derivatives{true, true, !webNotMade, 640, 480, 160, 120, 640, 480};
    return true;
  }
  bool ResizeStill(const std::string&, const std::string&, LONG, LONG, std::string*) override { return true; }
  bool CropStill(const std::string&, const std::string&, LONG, LONG, LONG, LONG, std::string*) override { return true; }
  bool CreateTitleStill(const std::array<std::string, 3>&, const std::string&, bool) override { return false; }
  bool StoreRecord(const std::string& file, const std::string&, LONG, std::string* why) override {
    if (file.find(refuseRecordIn) != std::string::npos && !refuseRecordIn.empty()) {
      *why = "no room for the record";
      return false;
    }
    return true;
  }
  bool NewIdentifier(std::string* out) override {
    char text[40];
    std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012d", ++ids_);
    *out = text;
    return true;
  }
  bool failDerivatives = false;
  bool webNotMade = false;
  std::string refuseRecordIn;  // a folder whose records fail

 private:
  int ids_ = 0;
};

// Tools that write each file once with its record, from any thread, as
// the real ones do: a file's content names the picture it was made from. A
// picture whose content begins "corrupt" cannot be read. Closed, the gate
// holds every photo's making at its start.
class RecordTools : public FakeTools {
 public:
  bool WritesRecordsWithFiles() const override { return true; }
  bool NewIdentifier(std::string* out) override {
    char text[40];
    std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012d", ++ids_);
    *out = text;
    return true;
  }
  bool RecordBytes(const std::string& identifier, LONG resolution, std::string* bytes, std::string*) override {
    *bytes = "|record " + identifier + " " + std::to_string(resolution);
    return true;
  }
  bool CreateDerivativesWithRecords(const std::string& original, LONG, const std::string& albumFile,
                                    const std::string& albumRecord, const std::string& thumbFile,
                                    const std::string& thumbRecord, LONG, const std::string& webFile,
                                    const std::string& webRecord, LONG, LONG, Derivatives* out,
                                    std::string* why) override {
    {
      std::unique_lock lock(mutex_);
      ++begun_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
    }
    std::string picture;
    if (!base::ReadFile(original, &picture) || picture.rfind("corrupt", 0) == 0) {
      *why = "Corrupt JPEG data: premature end of data segment";
      return false;
    }
    base::WriteFileAtomic(albumFile, "album " + picture + albumRecord);
    base::WriteFileAtomic(thumbFile, "thumb " + picture + thumbRecord);
    base::WriteFileAtomic(webFile, "web " + picture + webRecord);
    *out = Derivatives{true, true, true, 640, 480, 160, 120, 640, 480};
    return true;
  }
  bool CopyWithRecord(const std::string& source, const std::string& destination, const std::string& record,
                      bool* copied, std::string* why) override {
    std::string picture;
    if (!base::ReadFile(source, &picture, why)) return false;
    *copied = base::WriteFileAtomic(destination, picture + record, why);
    return *copied;
  }

  void SetOpen(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    changed_.notify_all();
  }
  // False when n photos have not begun within the bound.
  bool WaitBegun(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, testsupport::kWaitBound, [&] { return begun_ >= n; });
  }
  int Begun() {
    std::lock_guard lock(mutex_);
    return begun_;
  }

 private:
  std::atomic<int> ids_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  int begun_ = 0;
  bool open_ = true;
};

// An image builder without Video CD objects that takes what it is given,
// except a still it is told to refuse.
class RecordingBuilder : public VCDWizard {
 public:
  explicit RecordingBuilder(const base::Clock& clock) : VCDWizard(nullptr, nullptr, clock) {}
  std::int32_t AddStill(const char* file, const char*, std::int32_t) override {
    if (refuseStill) return 0;
    stills.push_back(file);
    return 1;
  }
  std::int32_t AddFile(const char*, const char* discPath, const void*, const char*) override {
    return Take(discPath);
  }
  std::int32_t AddHardLink(const char*, const char* discPath, const void*) override { return Take(discPath); }
  std::int32_t Take(const std::string& path) {
    paths.push_back(path);
    return 1;
  }
  bool refuseStill = false;
  std::vector<std::string> stills;
  std::vector<std::string> paths;
};

class StoryboardPartsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-storyboard-");
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(MakeWorkFolders(dir_, &folders_).ok());
    story_.UseWorkFolders(folders_, true);
    story_.UseAlbum(&album_);
    story_.UseTools(&tools_);
    story_.Names().SetSessionId("261210_A");
    photo_ = base::JoinPath(dir_, "Beach.jpg");
    base::WriteFileAtomic(photo_, "a photo");
  }
  void TearDown() override { base::RemoveAll(dir_); }
  StillRequest Photo() {
    StillRequest r;
    r.file = photo_;
    r.source = photo_;
    r.title = "Beach";
    return r;
  }
  std::size_t FilesInWorkFolders() {
    std::size_t n = 0;
    for (const std::string* f : {&folders_.content, &folders_.thumb, &folders_.webres, &folders_.original}) {
      for (const auto& e : std::filesystem::directory_iterator(*f)) (void)e, ++n;
    }
    return n;
  }

  std::string dir_;

 public:  // the cases of a table arrange these
  WorkFolders folders_;
  FakeAlbum album_;
  FakeTools tools_;
  RecordingBuilder builder_{base::Clock::Real()};
  ThumbnailBrowser2 menu_{nullptr, nullptr, base::Clock::Real()};
  Storyboard story_{builder_, menu_, SYSTEMTIME{2026, 12, 4, 10, 9, 0, 0, 0}};
  std::string photo_;
};

TEST_F(StoryboardPartsTest, AStillIsMadeInItsStepsAndRecorded) {
  const Result r = story_.AddStill(Photo());
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(story_.StillCount(), 1);
  ASSERT_EQ(album_.stills.size(), 1u);
  const AlbumStill& a = album_.stills[0];
  EXPECT_EQ(a.discName, "IM_A0001.JPG");
  EXPECT_EQ(a.isoName, "BEACH.JPG");
  EXPECT_EQ(a.identifier.size(), 36u);
  EXPECT_EQ(builder_.stills, std::vector<std::string>{folders_.content + "/IM_A0001.JPG"});
  EXPECT_EQ(builder_.paths.size(), 8u);
  EXPECT_EQ(story_.DiscPathCount(), 8u);
  EXPECT_EQ(menu_.PictureCount(), 1);
  const StillRecord& s = story_.Still(1);
  EXPECT_EQ(s.thumbWidth, 160);
  EXPECT_EQ(s.webName, "LOWRES/640X640/IM_A0001.JPG");
  EXPECT_EQ(story_.FirstStill(), folders_.content + "/IM_A0001.JPG");
  EXPECT_EQ(story_.ShowMs(), 5000);
  EXPECT_EQ(FilesInWorkFolders(), 4u);  // the original's copy and three derivatives
}

TEST_F(StoryboardPartsTest, AFailureAtAnyStepLeavesNoTrace) {
  const std::string prefix = "IVEXAStoryboardStillsSlideshow1::AddStill - ";
  struct Case {
    const char* name;
    void (*arrange)(StoryboardPartsTest&);
    EngineCode code;
    std::string message;
  } cases[] = {
      {"derivatives", [](StoryboardPartsTest& t) { t.tools_.failDerivatives = true; }, EngineCode::kStillImageProcessingFail,
       "the picture is cut short\nVEXAEngine::GenerateStillDerivatives - m_pImageUtil->CreateStillDerivatives failed\n" +
           prefix + "GenerateDerivativeStills failed on albumResFile"},
      {"web copy", [](StoryboardPartsTest& t) { t.tools_.webNotMade = true; }, EngineCode::kStillImageProcessingFail,
       "VEXAEngine::GenerateStillDerivatives - WRSuccess != TRUE\n" + prefix +
           "GenerateDerivativeStills failed on albumResFile"},
      {"record", [](StoryboardPartsTest& t) { t.tools_.refuseRecordIn = t.folders_.thumb; },
       EngineCode::kHelpermoduleMethodFail, "no room for the record\n" + prefix + "PutJPEGCOMMarker failed for ThumbRes still"},
      {"album", [](StoryboardPartsTest& t) { t.album_.refuseStill = true; }, EngineCode::kHelpermoduleMethodFail,
       "the album is full\n" + prefix + "IVEXAXML->AddStillImage failed"},
      {"slide show", [](StoryboardPartsTest& t) { t.builder_.refuseStill = true; }, EngineCode::kBrellAddStillWFail, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tools_ = FakeTools();
    album_.refuseStill = false;
    builder_.refuseStill = false;
    c.arrange(*this);
    const Result r = story_.AddStill(Photo());
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.code(), c.code);
    if (!c.message.empty()) {
      EXPECT_EQ(r.message(), c.message);
    }
    EXPECT_EQ(story_.StillCount(), 0);
    EXPECT_TRUE(album_.stills.empty());
    EXPECT_EQ(menu_.PictureCount(), 0);
    EXPECT_EQ(FilesInWorkFolders(), 0u);
  }
  // The names the failed additions took are free again: the photo keeps
  // its own name on the disc.
  tools_ = FakeTools();
  album_.refuseStill = false;
  builder_.refuseStill = false;
  ASSERT_TRUE(story_.AddStill(Photo()).ok());
  EXPECT_EQ(album_.stills.at(0).isoName, "BEACH.JPG");
  EXPECT_TRUE(story_.HasDiscPath("/ORLDISC/ALBUM_A/ORIGINAL/BEACH.JPG"));
}

// An original keeps the extension of its own kind wherever it is filed:
// under its source name in /ORLDISC/ALBUM_A/ORIGINAL and under the album's
// number in /ALBUMS/ALBUM_A/ORIGINAL, and the album records the name the
// disc holds. The album's own pictures stay JPEGs named .JPG.
TEST_F(StoryboardPartsTest, AnOriginalKeepsItsOwnExtensionUnderTheAlbumsNumber) {
  const struct {
    const char* source;
    const char* iso;    // in /ORLDISC/ALBUM_A/ORIGINAL
    const char* album;  // in /ALBUMS/ALBUM_A/ORIGINAL
  } cases[] = {
      {"Beach.png", "BEACH.PNG", "IM_A0001.PNG"}, {"Boat.gif", "BOAT.GIF", "IM_A0002.GIF"},
      {"Dune.tiff", "DUNE.TIF", "IM_A0003.TIF"},  {"Sea.bmp", "SEA.BMP", "IM_A0004.BMP"},
      {"Sky.jpeg", "SKY.JPE", "IM_A0005.JPE"},    {"Sun.JPG", "SUN.JPG", "IM_A0006.JPG"},
      {"Shell", "SHELL", "IM_A0007"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const std::string file = base::JoinPath(dir_, c.source);
    base::WriteFileAtomic(file, "a picture");
    StillRequest r;
    r.file = file;
    r.source = file;
    const Result added = story_.AddStill(r);
    ASSERT_TRUE(added.ok()) << added.message();
    const AlbumStill& a = album_.stills.back();
    EXPECT_EQ(a.isoName, c.iso);
    EXPECT_EQ(a.albumOriginalName, c.album);
    EXPECT_EQ(a.discName.substr(8), ".JPG");
    EXPECT_TRUE(story_.HasDiscPath(std::string("/ORLDISC/ALBUM_A/ORIGINAL/") + c.iso));
    EXPECT_TRUE(story_.HasDiscPath(std::string("/ALBUMS/ALBUM_A/ORIGINAL/") + c.album));
    // Nothing under the album's JPEG name but the album picture.
    if (a.discName != c.album) {
      EXPECT_FALSE(story_.HasDiscPath("/ALBUMS/ALBUM_A/ORIGINAL/" + a.discName));
    }
    EXPECT_TRUE(story_.HasDiscPath("/ALBUMS/ALBUM_A/" + a.discName));
  }
  EXPECT_EQ(story_.DiscPathCount(), 8u * std::size(cases));
}

// A still whose name or title holds a character the album file cannot
// hold is refused before anything is made for it: the premaster would
// fail writing the album otherwise, after all the work. The text shows the
// character escaped.
TEST_F(StoryboardPartsTest, ANameTheAlbumFileCannotHoldIsRefusedBeforeAnyWork) {
  const std::string prefix = "IVEXAStoryboardStillsSlideshow1::AddStill - ";
  const std::string esc = base::JoinPath(dir_, "esc\x1B[1m.png");
  const std::string bel = base::JoinPath(dir_, "bel\x07.jpg");
  const std::string one = base::JoinPath(dir_, "\x01one.jpg");
  for (const std::string* f : {&esc, &bel, &one}) base::WriteFileAtomic(*f, "a picture");
  const std::size_t at = dir_.size() + 2;  // the character's place in the path (1-based)
  struct Case {
    std::string file, source, title;
    std::string message;
  } cases[] = {
      {esc, esc, "", prefix + "invalid srcPath parameter - it holds U+001B at character " + std::to_string(at + 3) +
                         ", which the album file cannot hold - '" + dir_ + "/esc\\x1B[1m.png'"},
      {bel, "", "", prefix + "invalid srcPath parameter - it holds U+0007 at character " + std::to_string(at + 3) +
                        ", which the album file cannot hold - '" + dir_ + "/bel\\x07.jpg'"},
      {photo_, one, "", prefix + "invalid srcPath parameter - it holds U+0001 at character " + std::to_string(at) +
                            ", which the album file cannot hold - '" + dir_ + "/\\x01one.jpg'"},
      {photo_, photo_, "Ring\x07", prefix + "invalid stillTitle parameter - it holds U+0007 at character 5, which "
                                             "the album file cannot hold - 'Ring\\x07'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(base::EscapeForDisplay(c.message));
    StillRequest r;
    r.file = c.file;
    r.source = c.source;
    r.title = c.title;
    const Result refused = story_.AddStill(r);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.code(), EngineCode::kParameterInvalid);
    EXPECT_EQ(refused.message(), c.message);
    EXPECT_EQ(story_.StillCount(), 0);
    EXPECT_TRUE(album_.stills.empty());
    EXPECT_TRUE(builder_.paths.empty());
    EXPECT_EQ(FilesInWorkFolders(), 0u);
  }
  // The music's name alike.
  const std::string music = base::JoinPath(dir_, "tune\x1B.wav");
  base::WriteFileAtomic(music, "RIFF");
  const Result refused = story_.AddAudioTrack(music, std::nullopt);
  EXPECT_EQ(refused.code(), EngineCode::kParameterInvalid);
  EXPECT_EQ(refused.message(), "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - invalid audioFile parameter - it holds "
                               "U+001B at character " + std::to_string(at + 4) +
                               ", which the album file cannot hold - '" + dir_ + "/tune\\x1B.wav'");
  EXPECT_TRUE(builder_.paths.empty());
  EXPECT_EQ(story_.MusicRelativeName(), "");

  // A name with a line feed or a byte that is not UTF-8 is held (shown as
  // \xNN): it is added.
  const std::string odd = base::JoinPath(dir_, "line\nfeed \xE9t\xE9.jpg");
  base::WriteFileAtomic(odd, "a picture");
  StillRequest r;
  r.file = odd;
  r.source = odd;
  const Result added = story_.AddStill(r);
  EXPECT_TRUE(added.ok()) << added.message();
}

// A folder of the premaster's goes on the disc file by file, in name
// order, below the root; a folder that cannot be read is the premaster's
// failure, recorded under the routine's own name.
TEST_F(StoryboardPartsTest, AFolderGoesOnTheDiscInNameOrder) {
  const std::string pages = base::JoinPath(dir_, "pages");
  base::MakeDirs(pages + "/VIEW/SHOW");
  for (const char* f : {"b.html", "a.html", "VIEW/index.html", "VIEW/SHOW/1.html"}) {
    base::WriteFileAtomic(pages + "/" + f, f);
  }
  ASSERT_TRUE(story_.AddFolder(pages, "").ok());
  EXPECT_EQ(builder_.paths, (std::vector<std::string>{"/VIEW/SHOW/1.html", "/VIEW/index.html", "/a.html", "/b.html"}));
  const Result r = story_.AddFolder(base::JoinPath(dir_, "missing"), "");
  EXPECT_EQ(r.method(), "IVEXAEngine::AddFiles");
  EXPECT_EQ(r.code(), EngineCode::kParameterInvalid);
  EXPECT_EQ(r.message(), "VEXAVCDEngine::AddFiles - FindFirstFile call failed");
}

TEST_F(StoryboardPartsTest, ATitlePictureTheUtilityCannotDrawIsTheUtilitysFailure) {
  StillRequest request;
  const Result r = story_.MakeTitleStill(&request);
  EXPECT_EQ(r.kind(), Result::Kind::kCallee);
  EXPECT_EQ(r.code(), EngineCode::kHelpermoduleMethodFail);
  EXPECT_EQ(r.message(), "IVEXAStoryboardStillsSlideshow1::AddTitleStill - Create3LineTitleStill failed");
  story_.UseTools(nullptr);
  EXPECT_EQ(story_.MakeTitleStill(&request).code(), EngineCode::kTemporaryDirFail);
  // Without the album nothing is added.
  story_.UseAlbum(nullptr);
  EXPECT_EQ(story_.AddStill(Photo()).message(),
            "IVEXAStoryboardStillsSlideshow1::AddStill - The album is closed; nothing can be added after the premaster");
}

// Photos made ahead by workers while the caller adds them one at a time.
class StillsAheadTest : public StoryboardPartsTest {
 protected:
  void SetUp() override {
    StoryboardPartsTest::SetUp();
    story_.UseTools(&recordTools_);
  }
  // Photo1.jpg ... PhotoN.jpg, "photo i" each; those listed corrupt.
  std::vector<ExpectedStill> Photos(int n, std::set<int> corrupt = {}) {
    std::vector<ExpectedStill> photos;
    for (int i = 1; i <= n; ++i) {
      const std::string file = base::JoinPath(dir_, "Photo" + std::to_string(i) + ".jpg");
      base::WriteFileAtomic(file, (corrupt.count(i) ? "corrupt " : "") + std::string("photo ") + std::to_string(i));
      photos.push_back({file, 0});
    }
    return photos;
  }
  StillRequest Request(const ExpectedStill& photo) {
    StillRequest r;
    r.file = photo.file;
    r.source = photo.file;
    return r;
  }
  std::string Content(const std::string& file) {
    std::string text;
    base::ReadFile(file, &text);
    return text.substr(0, text.find('|'));
  }
  // The disc names and files of the stills added, against the photos they
  // were made from ("photo 3" for Photo3.jpg).
  void ExpectAdded(const std::vector<int>& photos) {
    ASSERT_EQ(album_.stills.size(), photos.size());
    for (std::size_t k = 0; k < photos.size(); ++k) {
      SCOPED_TRACE(k);
      char disc[16];
      std::snprintf(disc, sizeof disc, "IM_A%04zu.JPG", k + 1);
      const std::string photo = "photo " + std::to_string(photos[k]);
      EXPECT_EQ(album_.stills[k].discName, disc);
      EXPECT_EQ(album_.stills[k].isoName, "PHOTO" + std::to_string(photos[k]) + ".JPG");
      EXPECT_EQ(builder_.stills.at(k), folders_.content + "/" + disc);
      EXPECT_EQ(Content(folders_.content + "/" + disc), "album " + photo);
      EXPECT_EQ(Content(folders_.thumb + "/" + disc), "thumb " + photo);
      EXPECT_EQ(Content(folders_.webres + "/" + disc), "web " + photo);
      EXPECT_EQ(Content(folders_.original + "/" + disc), photo);
      EXPECT_EQ(story_.Still(static_cast<std::int32_t>(k + 1)).albumFile, folders_.content + "/" + disc);
    }
    // Nothing else: no file of a photo made ahead is left behind.
    EXPECT_EQ(FilesInWorkFolders(), 4 * photos.size());
  }

  RecordTools recordTools_;
};

class StillsAheadWorkersTest : public StillsAheadTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(StillsAheadWorkersTest, PhotosMadeAheadAreAddedInTheCallersOrderUnderTheirNames) {
  story_.SetAheadWorkers(GetParam());
  const auto photos = Photos(9);
  story_.ExpectStills(photos);
  for (const auto& p : photos) {
    const Result r = story_.AddStill(Request(p));
    ASSERT_TRUE(r.ok()) << r.message();
  }
  EXPECT_EQ(story_.PhotosBegunAhead(), 9u);
  ExpectAdded({1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(builder_.paths.size(), 9u * 8u);
  EXPECT_EQ(story_.DiscPathCount(), 9u * 8u);
}

INSTANTIATE_TEST_SUITE_P(Workers, StillsAheadWorkersTest, ::testing::Values(1u, 3u, 8u));

// A photo that cannot be read fails in its place with the text it fails
// with when the caller's thread makes it; the next photo takes its number.
// A photo named but never added (the caller refused it itself) is passed
// over, and one added but not named is made by the caller's thread.
TEST_F(StillsAheadTest, ABrokenPhotoIsReportedInItsPlaceAndTheOthersAreMade) {
  story_.SetAheadWorkers(3);
  const auto photos = Photos(8, {4});
  const StillRequest extra = Photo();  // Beach.jpg, not named
  story_.ExpectStills(photos);
  std::vector<int> added;
  for (int i = 1; i <= 8; ++i) {
    SCOPED_TRACE(i);
    if (i == 6) continue;  // never added
    const Result r = story_.AddStill(Request(photos[static_cast<std::size_t>(i - 1)]));
    if (i == 4) {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.code(), EngineCode::kStillImageProcessingFail);
      EXPECT_EQ(r.message(),
                "Corrupt JPEG data: premature end of data segment\n"
                "VEXAEngine::GenerateStillDerivatives - m_pImageUtil->CreateStillDerivatives failed\n"
                "IVEXAStoryboardStillsSlideshow1::AddStill - GenerateDerivativeStills failed on albumResFile");
      // The same as the caller's own thread reports it: tried again, the
      // photo is made there (it was taken from the photos named).
      const Result alone = story_.AddStill(Request(photos[3]));
      EXPECT_EQ(alone.code(), r.code());
      EXPECT_EQ(alone.message(), r.message());
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.message();
    added.push_back(i);
    if (i == 5) {
      ASSERT_TRUE(story_.AddStill(extra).ok());
      added.push_back(0);
    }
  }
  EXPECT_EQ(added, (std::vector<int>{1, 2, 3, 5, 0, 7, 8}));
  ASSERT_EQ(album_.stills.size(), 7u);
  const char* iso[] = {"PHOTO1.JPG", "PHOTO2.JPG", "PHOTO3.JPG", "PHOTO5.JPG", "BEACH.JPG", "PHOTO7.JPG", "PHOTO8.JPG"};
  for (std::size_t k = 0; k < 7; ++k) EXPECT_EQ(album_.stills[k].isoName, iso[k]) << k;
  EXPECT_EQ(album_.stills[3].discName, "IM_A0004.JPG");
  EXPECT_EQ(Content(folders_.content + "/IM_A0004.JPG"), "album photo 5");
  EXPECT_EQ(album_.stills[5].discName, "IM_A0006.JPG");
  EXPECT_EQ(Content(folders_.content + "/IM_A0006.JPG"), "album photo 7");
  story_.DropExpectedStills();
  // Photo 6 was made ahead and never added: it is gone with the rest.
  EXPECT_EQ(FilesInWorkFolders(), 4u * 7u);
}

// A cancel reaches every worker: the photos under way are finished, none
// begins after it, and nothing made is left.
TEST_F(StillsAheadTest, ACancelBeginsNoPhotoAndLeavesNothing) {
  const auto named = Photos(12);
  std::vector<StillsAhead::Photo> photos;
  for (const auto& p : named) photos.push_back({p.file, 0, values::kJpegType});
  recordTools_.SetOpen(false);
  StillsAhead ahead(photos, folders_, recordTools_, 3, 5);
  const bool held = recordTools_.WaitBegun(3);  // every worker holds a photo
  ahead.Cancel();
  recordTools_.SetOpen(true);
  ahead.Stop();
  ASSERT_TRUE(held) << testsupport::InVain("every worker to hold a photo");
  EXPECT_EQ(ahead.Begun(), 3u);
  EXPECT_EQ(recordTools_.Begun(), 3);
  EXPECT_EQ(FilesInWorkFolders(), 0u);
  Result made;
  StillFiles files;
  EXPECT_FALSE(ahead.Take(named[0].file, 0, values::kJpegType, "IM_A0001.JPG", &made, &files));

  // Through the storyboard: dropped while photos are made, the rest are
  // made by the caller's thread as ever.
  story_.SetAheadWorkers(2);
  story_.ExpectStills(named);
  ASSERT_TRUE(story_.AddStill(Request(named[0])).ok());
  story_.DropExpectedStills();
  const int begun = recordTools_.Begun();
  for (std::size_t i = 1; i < 4; ++i) ASSERT_TRUE(story_.AddStill(Request(named[i])).ok());
  EXPECT_EQ(recordTools_.Begun(), begun + 3);  // made one by one, each when added
  ExpectAdded({1, 2, 3, 4});
}

}  // namespace
}  // namespace test
}  // namespace vexa::engine
