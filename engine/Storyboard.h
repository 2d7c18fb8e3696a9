// The storyboard: the slide show's settings (still times, TV system, file
// systems, title lines, paper size) and what the disc is made of (music,
// extra files, stills), kept in its tables, in the album manifest and in
// the disc image. It is the engine's plain part behind the storyboard
// interface: texts in UTF-8, results as plain results (EngineResult.h); the
// COM class converts at its edge.
//
// An addition either happens everywhere or nowhere: everything that can
// fail is prepared first (files, names, the checks the image builder would
// make), the album item is written next (and the album rebuilt without it
// when anything after it fails), the image builder's entries last.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/DiscNames.h"
#include "engine/EngineFiles.h"
#include "engine/EngineResult.h"
#include "engine/StillFiles.h"
#include "engine/StoryboardPorts.h"
#include "platform/base/WinTypes.h"

namespace vexa::engine {

class StillsAhead;
class ThumbnailBrowser2;
class VCDWizard;

// A photo the caller is about to add.
struct ExpectedStill {
  std::string file;  // as the request will name it
  LONG rotateDegrees = 0;
};

// One still as the premaster needs it (record 0 is not used).
struct StillRecord {
  std::string albumFile;   // temp path of the album-resolution JPEG
  LONG albumWidth = 0, albumHeight = 0;
  std::string thumbFile;   // temp path of the 160x160 thumbnail
  LONG thumbWidth = 0, thumbHeight = 0;
  std::string title;
  // What the PC pages call it: its title, else the name of the user's file
  // (of a title picture made for the disc, its title lines).
  std::string pageName;
  LONG sizing = 0;         // values::kResizePicture or kCropPicture
  SYSTEMTIME displayTime{};
  SYSTEMTIME startTime{};
  std::string webName;     // "LOWRES/640X640/" + disc name
  std::string thumbName;   // "LOWRES/160X160/" + disc name
  std::string spare;
};

// A still as the album records it, kept so the album can be written again.
struct AlbumStill {
  std::string originalFilename;
  std::string title;
  SYSTEMTIME destCTime{};
  std::string identifier;
  LONG width = 0, height = 0;
  bool isTitleStill = false;
  LONG sizing = 0;
  LONG rotate = 0;
  std::string discOriginalJoliet, discOriginalIso;
  std::string discName;  // IM_Annnn.JPG
  std::string isoName;   // the original's ISO 9660 name
  std::string albumOriginalName;  // IM_Annnn + the original's own extension
};

struct AudioRecord {
  std::string source;
  SYSTEMTIME time{};
  std::string discPath;
};

// A still as a client asks for it.
struct StillRequest {
  std::string file;        // the picture
  std::string source;      // where it came from ("" for the picture itself)
  std::string title;
  // The time the album shows; none: the album picture's own.
  std::optional<SYSTEMTIME> destTime;
  LONG sizing = values::kResizePicture;
  LONG rotateDegrees = 0;
  bool isTitleStill = false;
};

class Storyboard {
 public:
  // Stills a disc takes (records 1 to 599).
  static constexpr std::int32_t kMaxStills = 599;
  // The longest slide show a disc holds. The show is one Video CD motion
  // stream of 75 sectors a second; the largest CD a Video CD is written to
  // (80 minutes) has 359,849 sectors before its last lead-out. Every road
  // to a still delay or a show length (the command line, both album
  // dialects, the wizard, this interface) ends at the checks against it:
  // SetStillDelay for one still, the premaster for the whole show, both
  // before anything is encoded.
  static constexpr std::int64_t kMaxDiscSectors = 359849;
  static constexpr std::int64_t kMaxShowSeconds = kMaxDiscSectors / 75;
  // The message part that names the limit: "a disc holds at most ...".
  static std::string MaxShowText();

  // The image builder and the menu builder outlive the storyboard.
  // startTime: the engine's start, the disc time of what has no other.
  Storyboard(VCDWizard& builder, ThumbnailBrowser2& menu, const SYSTEMTIME& startTime);
  ~Storyboard();

  // The work directory (ready: made whole at least once).
  void UseWorkFolders(const WorkFolders& folders, bool ready);
  // The album manifest and the picture tools; null when there are none
  // (the album is made with the storyboard's view and closed by the
  // premaster). Both outlive their use here.
  void UseAlbum(AlbumPort* album) { album_ = album; }
  void UseTools(StillTools* tools);
  bool HasAlbum() const { return album_ != nullptr; }

  // ---- Settings ----
  Result SetStillDelay(LONG ms);
  Result SetStillTitleVisibleTime(LONG ms);
  Result SetTVSystem(LONG system);
  Result SetFileSystemSupport(LONG fileSystem);
  Result SetTitleLines(const std::array<std::string, 3>& lines);
  Result SetPaperSize(LONG paperSize);

  // ---- Additions ----
  // A disc time of none is the file's own.
  Result AddAudioTrack(const std::string& file, const std::optional<SYSTEMTIME>& destTime);
  // A file under its ISO 9660 path and, when the disc has a Joliet tree and
  // the name differs, its Joliet path.
  Result AddFile(const std::string& source, const std::string& isoPath, const std::string& jolietPath,
                 const std::optional<SYSTEMTIME>& destTime);
  // Every file below sourceDir, in name order, below destDir ("" the
  // root); the paths are not checked against those taken.
  Result AddFolder(const std::string& sourceDir, const std::string& destDir);
  Result AddStill(const StillRequest& request);
  // A title picture from the title lines, and the request that adds it as
  // the title still (AddStill).
  Result MakeTitleStill(StillRequest* request);

  // ---- Photos to come ----
  // The photos the caller is about to add with AddStill, in its order:
  // their files are made ahead on a few workers (StillsAhead.h) while the
  // caller adds them; AddStill takes each photo's files or failure there and
  // adds and reports the photo as ever. A photo not named, or named after
  // others that are never added, is made by AddStill itself. Replaces an
  // earlier list. Nothing is made ahead without tools that make files from
  // any thread, or without a work folder.
  void ExpectStills(const std::vector<ExpectedStill>& stills);
  // None of the named photos will be added any more: no more begins, those
  // under way are waited for, what was made and not added is removed.
  void DropExpectedStills();
  // The workers for photos made ahead (0: one a core, at most kAheadWorkers).
  void SetAheadWorkers(unsigned workers) { aheadWorkers_ = workers; }
  // Each worker holds one decoded photo and what is made from it.
  static constexpr unsigned kAheadWorkers = 6;
  // The photos begun ahead so far, for tests (0 when none are named).
  std::size_t PhotosBegunAhead() const;

  // ---- What the premaster reads ----
  LONG StillDelay() const { return stillDelay_; }
  LONG StillTitleVisibleTime() const { return titleTime_; }
  LONG TVSystem() const { return tvSystem_; }
  bool IsPalSystem() const { return tvSystem_ == values::kPal || tvSystem_ == values::kSecam; }
  bool JolietInUse() const;
  LONG PaperSize() const { return paperSize_; }
  // The title lines as last given (empty ones too).
  const std::array<std::string, 3>& PremasterLines() const { return premasterLines_; }
  std::int32_t StillCount() const { return stills_; }
  // Records 1 to StillCount().
  const StillRecord& Still(std::int32_t n) const { return stillTable_[static_cast<std::size_t>(n)]; }
  const AlbumStill& AlbumRecord(std::int32_t n) const { return albumRecords_[static_cast<std::size_t>(n)]; }
  // The slide show so far: each still's display time as it was added.
  std::int64_t ShowMs() const { return showMs_; }
  // The home page's pictures: the first still (its title strip when it is
  // the title still) and the second.
  const std::string& FirstStill() const { return firstStill_; }
  const std::string& SecondStill() const { return secondStill_; }
  // The music's name below the album folder ("" without music).
  const std::string& MusicRelativeName() const { return musicRelativeName_; }
  std::int32_t AudioTrackCount() const { return audioTracks_; }
  std::int32_t ExtraFileCount() const { return extraFiles_; }

  // The disc paths added so far (compared without case, '\\' as '/').
  bool HasDiscPath(const std::string& path) const;
  std::size_t DiscPathCount() const { return discPaths_.size(); }

  // The disc names of the originals.
  DiscNames& Names() { return names_; }

  // Tests start the stills at a count of their own.
  void SetStillCountForTest(std::int32_t n) { stills_ = n; }

 private:
  // The steps of a still's addition, in order.
  Result CheckStillRequest(const StillRequest& request) const;
  Result ProbeStill(const std::string& file, PictureInfo* info, SYSTEMTIME* fileTime) const;
  Result StillDisplayTime(const StillRequest& request, const StillFiles& files, SYSTEMTIME* out) const;
  Result MakeTitleStrip(const std::string& picture, std::string* strip, MadeFiles* made) const;
  Result NameOriginal(const StillRequest& request, const std::string& original, OriginalPaths* paths);
  Result WriteAlbumItem(const AlbumStill& record);
  struct DiscEntry;
  Result AddToImage(const StillRequest& request, const StillFiles& files, const std::vector<DiscEntry>& entries);
  void RecordStill(std::int32_t number, const StillRequest& request, const StillFiles& files, const AlbumStill& record,
                   const std::string& titleStrip);

  // The disc time of an addition: the date given, else the file's own.
  static Result DiscTime(const std::string& file, const std::optional<SYSTEMTIME>& given, SYSTEMTIME* out);
  void NoteDiscPath(const std::string& path);
  void RebuildAlbumStills();
  void RebuildAlbumAudios();

  VCDWizard& builder_;
  ThumbnailBrowser2& menu_;
  const SYSTEMTIME startTime_;
  AlbumPort* album_ = nullptr;
  StillTools* tools_ = nullptr;
  WorkFolders folders_;
  std::unique_ptr<StillsAhead> ahead_;
  unsigned aheadWorkers_ = 0;
  bool workReady_ = false;
  DiscNames names_;

  LONG stillDelay_ = 5000;
  LONG titleTime_ = 2000;
  LONG tvSystem_ = values::kNtsc;
  LONG fileSystem_ = values::kFileSystemDefault;
  LONG paperSize_ = values::kLetter;
  std::int64_t showMs_ = 0;

  std::int32_t audioTracks_ = 0;
  std::int32_t titleStills_ = 0;
  std::int32_t stills_ = 0;
  std::int32_t extraFiles_ = 0;

  std::array<std::string, 3> titleLines_;      // of the title still (non-empty lines)
  std::array<std::string, 3> premasterLines_;  // as last given
  std::vector<StillRecord> stillTable_;        // 600 records, 1..599 used
  std::vector<AlbumStill> albumRecords_;       // the same numbering
  std::vector<AudioRecord> audioRecords_;
  std::set<std::string> discPaths_;            // every disc path added (case folded)
  std::string firstStill_, secondStill_;
  std::string musicRelativeName_;
};

}  // namespace vexa::engine
