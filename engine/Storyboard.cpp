#include "engine/Storyboard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/StillsAhead.h"
#include "engine/ThumbnailBrowser2.h"
#include "engine/VCDWizard.h"
#include "platform/base/MemoryBudget.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/WorkPool.h"

namespace vexa::engine {

namespace {

constexpr char kStillPrefix[] = "IVEXAStoryboardStillsSlideshow1::AddStill - ";

std::string Printf(const char* format, const std::string& s) {
  std::vector<char> text(std::strlen(format) + s.size() + 32);
  std::snprintf(text.data(), text.size(), format, s.c_str());
  return text.data();
}

std::string PrintfInt(const char* format, long v) {
  char text[256];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string DiscName(const char* prefix, std::uint32_t n, const std::string& extension) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%04u", prefix, n);
  return text + extension;
}

// The name a title picture made for the disc has there.
constexpr char kTitleOriginalName[] = "TITLE.JPG";

std::string LastComponent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FoldPath(const std::string& p) {
  std::string s = base::ToLowerAscii(p);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

// The disc names as they were; put back unless the addition is kept.
class RestoreNames {
 public:
  explicit RestoreNames(DiscNames& names) : target_(names), saved_(names) {}
  ~RestoreNames() {
    if (!keep_) target_ = saved_;
  }
  void Keep() { keep_ = true; }

 private:
  DiscNames& target_;
  const DiscNames saved_;
  bool keep_ = false;
};

}  // namespace

// One entry of a still in the disc image.
struct Storyboard::DiscEntry {
  bool file;  // a file of its own, else a link to the data of `source`
  const std::string* source;
  std::string path;
  const SYSTEMTIME* time;
  const char* altIso = nullptr;  // the entry's ISO 9660 path, when it differs
};

Storyboard::Storyboard(VCDWizard& builder, ThumbnailBrowser2& menu, const SYSTEMTIME& startTime)
    : builder_(builder), menu_(menu), startTime_(startTime), stillTable_(kMaxStills + 1), albumRecords_(kMaxStills + 1) {
  // The image builder starts from the storyboard's own still times: a
  // still added before any delay is set (the run sets its default only
  // after the pictures) is shown for the same time as the run's default,
  // never for whatever the encoder would choose on its own.
  builder_.SetStillTimes(stillDelay_, titleTime_);
  // A photo's title is shown in the style made for a television frame.
  builder_.SetCaptionStyle(kVCDCaptionFont, kVCDCaptionPoints, 0, kVCDCaptionXPercent, kVCDCaptionYPercent);
}

Storyboard::~Storyboard() { DropExpectedStills(); }

void Storyboard::UseTools(StillTools* tools) {
  if (tools != tools_) DropExpectedStills();
  tools_ = tools;
}

void Storyboard::ExpectStills(const std::vector<ExpectedStill>& stills) {
  DropExpectedStills();
  if (!workReady_ || !tools_ || !tools_->WritesRecordsWithFiles() || stills.empty()) return;
  // The type decides what is made (an original's copy or not); it is read
  // here, on the caller's thread, as AddStill reads it. A photo that cannot
  // be read is left to AddStill, which reports it.
  std::vector<StillsAhead::Photo> photos;
  photos.reserve(stills.size());
  for (const ExpectedStill& s : stills) {
    PictureInfo info;
    std::string why;
    bool supported = false;
    if (!tools_->GetStillInfo(s.file, &info, &why) || !tools_->IsSupportedInput(info.type, &supported, &why) ||
        !supported) {
      continue;
    }
    photos.push_back({s.file, s.rotateDegrees, info.type, PhotoMemory(info, s.rotateDegrees)});
  }
  if (photos.empty()) return;
  const unsigned workers = aheadWorkers_ ? aheadWorkers_ : base::WorkersFor(photos.size(), kAheadWorkers);
  // Made and not yet added: a photo for each worker and two more, so the
  // workers need not wait while the caller adds one.
  ahead_ = std::make_unique<StillsAhead>(std::move(photos), folders_, *tools_, workers, workers + 2);
}

void Storyboard::DropExpectedStills() {
  if (ahead_) ahead_->Stop();
  ahead_.reset();
}

std::size_t Storyboard::PhotosBegunAhead() const { return ahead_ ? ahead_->Begun() : 0; }

void Storyboard::UseWorkFolders(const WorkFolders& folders, bool ready) {
  if (folders.root != folders_.root) DropExpectedStills();
  folders_ = folders;
  if (ready) workReady_ = true;
}

std::string Storyboard::MaxShowText() {
  char text[128];
  std::snprintf(text, sizeof text, "a disc holds at most %lld seconds (%lld min %lld s) of slide show",
                static_cast<long long>(kMaxShowSeconds), static_cast<long long>(kMaxShowSeconds / 60),
                static_cast<long long>(kMaxShowSeconds % 60));
  return text;
}

bool Storyboard::JolietInUse() const {
  return fileSystem_ == values::kJoliet || fileSystem_ == values::kFileSystemDefault;
}

bool Storyboard::HasDiscPath(const std::string& path) const { return discPaths_.count(FoldPath(path)) != 0; }

void Storyboard::NoteDiscPath(const std::string& path) { discPaths_.insert(FoldPath(path)); }

Result Storyboard::DiscTime(const std::string& file, const std::optional<SYSTEMTIME>& given, SYSTEMTIME* out) {
  *out = SYSTEMTIME{};
  if (!given) return GetModifiedSystemTime(file, out);
  *out = *given;
  return Result::Ok();
}

// ---- Settings ----------------------------------------------------------------------

Result Storyboard::SetStillDelay(LONG ms) {
  if (ms < 2000) {
    return Result::Fail(EngineCode::kParameterOutOfBounds,
                        "IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be minimum of 2000 msec");
  }
  // One still that cannot fit on the disc is refused here, before it
  // could make a stream of gigabytes.
  if (ms > kMaxShowSeconds * 1000) {
    char text[192];
    std::snprintf(text, sizeof text,
                  "IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be at most %lld msec: ",
                  static_cast<long long>(kMaxShowSeconds * 1000));
    return Result::Fail(EngineCode::kParameterOutOfBounds, text + MaxShowText());
  }
  builder_.SetStillTimes(ms, titleTime_);
  stillDelay_ = ms;
  // The album file holds seconds.
  std::string why;
  if (album_ && !album_->PutStillDelay(ms / 1000, &why)) {
    return Result::Fail(EngineCode::kSubmoduleSetStillDelayFail,
                        AfterWhy(why, "IVEXAEngine::StillDelay - VEXAXML put_stillDelay failed"));
  }
  return Result::Ok();
}

Result Storyboard::SetStillTitleVisibleTime(LONG ms) {
  if (ms > stillDelay_) {
    return Result::Fail(
        EngineCode::kParameterOutOfBounds,
        "IVEXAStoryboardStillsSlideshow1::SetStillTitleVisibleTime - Caption time must be less or equal to still display time");
  }
  builder_.SetStillTimes(stillDelay_, ms);
  titleTime_ = ms;
  std::string why;
  if (album_ && !album_->PutStillTitleVisibleTime(ms / 1000, &why)) {
    return Result::Fail(EngineCode::kSubmoduleSetStillTitleDelayFail,
                        AfterWhy(why, "IVEXAEngine::StillTitleVisibleTime - VEXAXML put_stillTitleVisibleTime failed"));
  }
  return Result::Ok();
}

Result Storyboard::SetTVSystem(LONG system) {
  tvSystem_ = system;
  // A Video CD plays at 25 or 29.97 pictures a second only: SECAM discs are
  // made like PAL ones (625 lines) and FILM ones like NTSC (525 lines). The
  // album keeps the system as given.
  builder_.SetVideoFormat(system == values::kSecam ? values::kPal : system == values::kFilm ? values::kNtsc : system);
  if (system >= values::kNtsc && system <= values::kSecam && album_) {
    static const char* kNames[] = {"VEXAXMLTVNTSC", "VEXAXMLTVFILM", "VEXAXMLTVPAL", "VEXAXMLTVSECAM"};
    std::string why;
    if (!album_->PutTVSystem(system, &why)) {
      return Result::Fail(EngineCode::kSubmoduleSetStillDelayFail,
                          AfterWhy(why, std::string("IVEXAEngine::SetTVSystem - m_pAlbumManifest->put_TVSystem(") +
                                            kNames[system] + ") failed"));
    }
  }
  return Result::Ok();
}

Result Storyboard::SetFileSystemSupport(LONG fileSystem) {
  if (fileSystem == values::kIso9660) {
    builder_.SetJolietSupport(0);
  } else if (fileSystem == values::kJoliet || fileSystem == values::kFileSystemDefault) {
    builder_.SetJolietSupport(1);
  } else if (fileSystem == values::kUdf15) {
    return Result::Fail(EngineCode::kUnsupportedDiscFS,
                        "IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport - UDF not supported");
  } else {
    return Result::Fail(EngineCode::kUnsupportedDiscFS,
                        PrintfInt("IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport - %d not supported.", fileSystem));
  }
  fileSystem_ = fileSystem;
  return Result::Ok();
}

Result Storyboard::SetTitleLines(const std::array<std::string, 3>& lines) {
  for (std::size_t i = 0; i < 3; ++i) {
    if (!lines[i].empty()) titleLines_[i] = lines[i];
    premasterLines_[i] = lines[i];
  }
  if (album_) {
    for (int i = 0; i < 3; ++i) {
      std::string why;
      if (!album_->PutTitleLine(i + 1, lines[static_cast<std::size_t>(i)], &why)) {
        const std::string n = std::to_string(i + 1);
        return Result::Fail(EngineCode::kSubmoduleSetTitleLinesFail,
                            AfterWhy(why, "IVEXAStoryboardStillsSlideshow1::m_pAlbumManifestTitleSlide->put_line" + n +
                                              "(line" + n + ") failed"));
      }
    }
  }
  return Result::Ok();
}

Result Storyboard::SetPaperSize(LONG paperSize) {
  if (paperSize != values::kLetter && paperSize != values::kA4) {
    return Result::Fail(EngineCode::kParameterInvalid, "IVEXAStoryboardStillsSlideshow1::SetPaperSize - Unknown paper size");
  }
  paperSize_ = paperSize;
  std::string why;
  if (album_ && !album_->PutPaperSize(paperSize, &why)) {
    return Result::Fail(EngineCode::kSubmoduleSetStillDelayFail,
                        AfterWhy(why, paperSize == values::kA4
                                          ? "IVEXAEngine::SetPaperSize - m_pAlbumManifest->put_PaperSize(VEXAXMLPaperSizeA4) failed"
                                          : "IVEXAEngine::SetPaperSize - m_pAlbumManifest->put_PaperSize(VEXAXMLPaperSizeLetter) failed"));
  }
  return Result::Ok();
}

// ---- Music and files ---------------------------------------------------------------------

Result Storyboard::AddAudioTrack(const std::string& file, const std::optional<SYSTEMTIME>& destTime) {
  if (file.empty()) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - You must specify a valid audioFile to read from");
  }
  // The album file records the music's name: one it cannot hold would
  // fail the premaster when the album is written.
  if (const std::string bad = base::CharacterXmlCannotHold(file); !bad.empty()) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - invalid audioFile parameter - it holds " + bad +
                            ", which the album file cannot hold - '" + base::EscapeForDisplay(file) + "'");
  }
  if (!album_) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - The album is closed; nothing can be added after the premaster");
  }
  // Everything that can fail before the music reaches the encoder.
  SYSTEMTIME time{};
  if (Result r = DiscTime(file, destTime, &time); !r.ok()) return r;
  const std::string name = DiscName("BG_A", static_cast<std::uint32_t>(audioTracks_ + 1),
                                    base::ToUpperAscii(base::Extension(file)));
  const std::string discPath = "/ORLDISC/ALBUM_A/CONTENT/" + name;
  RestoreNames restoreNames(names_);
  OriginalPaths paths;
  std::string error;
  if (!names_.GenerateOriginalPaths(file, &paths, &error)) {
    return Result::Fail(EngineCode::kNamingFail,
                        AfterWhy(error, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - GenerateJolietOriginalPath call failed"));
  }
  const std::string original = JolietInUse() ? paths.joliet : paths.iso;
  if (HasDiscPath(discPath)) {
    return Result::Fail(EngineCode::kBrellAddFileWFail, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddFileW failed for " + file);
  }
  if (HasDiscPath(original)) {
    return Result::Fail(EngineCode::kBrellAddHardLinkWFail,
                        "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddHardLinkW failed for " + file);
  }
  const AudioRecord record{file, time, discPath};
  if (std::string why; !album_->AddAudio(record, &why)) {
    RebuildAlbumAudios();
    return Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        AfterWhy(why, "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - IVEXAXML->AddAudio failed"));
  }
  if (!builder_.AddAudioFile(file.c_str(), 1)) {
    RebuildAlbumAudios();
    // Which file and why first, as a callee's text comes first.
    return Result::Fail(EngineCode::kBrellAddAudioFileWFail,
                        AfterWhy(builder_.AudioError(), "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - AddAudioTrack failed"));
  }
  // From here the music is in the album and the encoder's list: the names
  // stay taken.
  restoreNames.Keep();
  // The file's data goes under its original path, with the ISO 9660 path
  // as that entry's ISO name when the disc has both trees; the album's
  // name for it is a link to the same data.
  if (!builder_.AddFile(file.c_str(), original.c_str(), &time, JolietInUse() ? paths.iso.c_str() : nullptr)) {
    return Result::Fail(EngineCode::kBrellAddHardLinkWFail,
                        "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddHardLinkW failed for " + file);
  }
  NoteDiscPath(original);
  if (!builder_.AddHardLink(file.c_str(), discPath.c_str(), &time)) {
    return Result::Fail(EngineCode::kBrellAddFileWFail, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddFileW failed for " + file);
  }
  NoteDiscPath(discPath);
  ++audioTracks_;
  musicRelativeName_ = "CONTENT/" + name;
  audioRecords_.push_back(record);
  return Result::Ok();
}

void Storyboard::RebuildAlbumAudios() {
  if (album_) album_->RebuildAudios(audioRecords_.data(), audioRecords_.size());
}

Result Storyboard::AddFile(const std::string& source, const std::string& isoPath, const std::string& jolietPath,
                           const std::optional<SYSTEMTIME>& destTime) {
  if (source.empty()) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        Printf("IVEXAStoryboardStillsSlideshow1::AddFile - invalid srcFile parameter - '%s'", source));
  }
  if (isoPath.empty()) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        Printf("IVEXAStoryboardStillsSlideshow1::AddFile - invalid dest8dot3Path parameter - '%s'", isoPath));
  }
  SYSTEMTIME time{};
  if (Result r = DiscTime(source, destTime, &time); !r.ok()) return r;
  const bool link = JolietInUse() && !jolietPath.empty() && jolietPath != isoPath;
  if (HasDiscPath(isoPath) || (link && HasDiscPath(jolietPath))) {
    return Result::Fail(EngineCode::kBrellAddFileWFail,
                        Printf(!HasDiscPath(isoPath) ? "IVEXAStoryboardStillsSlideshow1::AddFile - File addition to Joliet failed - %s"
                                                     : "IVEXAStoryboardStillsSlideshow1::AddFile - File addition to ISO9660 failed - %s",
                               source));
  }
  if (!builder_.AddFile(source.c_str(), isoPath.c_str(), &time, nullptr)) {
    return Result::Fail(EngineCode::kBrellAddFileWFail,
                        Printf("IVEXAStoryboardStillsSlideshow1::AddFile - File addition to ISO9660 failed - %s", source));
  }
  NoteDiscPath(isoPath);
  if (link) {
    if (!builder_.AddHardLink(source.c_str(), jolietPath.c_str(), &time)) {
      return Result::Fail(EngineCode::kBrellAddFileWFail,
                          Printf("IVEXAStoryboardStillsSlideshow1::AddFile - File addition to Joliet failed - %s", source));
    }
    NoteDiscPath(jolietPath);
  }
  ++extraFiles_;
  return Result::Ok();
}

Result Storyboard::AddFolder(const std::string& sourceDir, const std::string& destDir) {
  static constexpr char kName[] = "IVEXAEngine::AddFiles";
  std::error_code ec;
  std::filesystem::directory_iterator it(sourceDir, ec), end;
  if (ec) return Result::FailAs(kName, EngineCode::kParameterInvalid, "VEXAVCDEngine::AddFiles - FindFirstFile call failed");
  // Entries in name order, so the disc is the same from run to run.
  std::vector<std::filesystem::directory_entry> entries;
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& e : entries) {
    const std::string name = e.path().filename().string();
    const std::string source = sourceDir + "/" + name;
    const std::string dest = destDir + "/" + name;
    if (e.is_directory(ec) && !e.is_symlink(ec)) {
      if (const Result r = AddFolder(source, dest); !r.ok()) {
        return Result::FailAs(kName, EngineCode::kParameterInvalid, r.Then("VEXAVCDEngine::AddFiles - recursive call failed"));
      }
    } else if (e.is_regular_file(ec)) {
      if (!builder_.AddFile(source.c_str(), dest.c_str(), nullptr, nullptr)) {
        return Result::FailAs(kName, EngineCode::kParameterInvalid,
                              "VEXAVCDEngine::AddFiles - wizard addfilew call failed for " + source);
      }
    }
  }
  return Result::Ok();
}

// ---- Stills -------------------------------------------------------------------------------

void Storyboard::RebuildAlbumStills() {
  if (album_) album_->RebuildStills(albumRecords_.data() + 1, static_cast<std::size_t>(stills_));
}

Result Storyboard::CheckStillRequest(const StillRequest& request) const {
  if (request.file.empty()) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        Printf("IVEXAStoryboardStillsSlideshow1::AddStill - invalid stillFile parameter - '%s'", request.file));
  }
  if (request.sizing != values::kResizePicture && request.sizing != values::kCropPicture) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        PrintfInt("IVEXAStoryboardStillsSlideshow1::AddStill - invalid pictureSizing parameter - '%d'",
                                  request.sizing));
  }
  if (request.rotateDegrees < 0 || request.rotateDegrees > 360) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        PrintfInt("IVEXAStoryboardStillsSlideshow1::AddStill - invalid rotateDegrees parameter (1-360) - '%d'",
                                  request.rotateDegrees));
  }
  // The album file records the still's name and title; a character no XML
  // document can hold would fail the premaster when it is written, after
  // all the work. Refused here, before any.
  // (A title picture made for the disc is recorded under a name of its own.)
  const bool madeForDisc = request.isTitleStill && (request.source.empty() || request.source == request.file);
  const std::string recorded = madeForDisc ? std::string() : request.source.empty() ? request.file : request.source;
  for (const auto& [what, text] : {std::pair<const char*, const std::string*>{"srcPath", &recorded},
                                   std::pair<const char*, const std::string*>{"stillTitle", &request.title}}) {
    if (const std::string bad = base::CharacterXmlCannotHold(*text); !bad.empty()) {
      return Result::Fail(EngineCode::kParameterInvalid,
                          std::string(kStillPrefix) + "invalid " + what + " parameter - it holds " + bad +
                              ", which the album file cannot hold - '" + base::EscapeForDisplay(*text) + "'");
    }
  }
  if (stills_ >= kMaxStills) {
    return Result::Fail(EngineCode::kParameterOutOfBounds,
                        std::string(kStillPrefix) + "The disc holds 599 stills at most; this one is not added");
  }
  if (!workReady_) {
    return Result::Fail(EngineCode::kTemporaryDirFail,
                        std::string(kStillPrefix) + "There is no temporary directory (SetTempDirectory)");
  }
  if (!album_ || !tools_) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        std::string(kStillPrefix) + "The album is closed; nothing can be added after the premaster");
  }
  return Result::Ok();
}

// What the picture is, whether it can be used, and its file's time.
Result Storyboard::ProbeStill(const std::string& file, PictureInfo* info, SYSTEMTIME* fileTime) const {
  std::string why;
  if (!tools_->GetStillInfo(file, info, &why)) {
    return Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        AfterWhy(why, std::string(kStillPrefix) + "m_pImageUtil->GetStillInfo failed\n"));
  }
  bool supported = false;
  if (!tools_->IsSupportedInput(info->type, &supported, &why)) {
    return Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        AfterWhy(why, std::string(kStillPrefix) + "m_pImageUtil->isSupportedStillInputFormat failed\n"));
  }
  if (!supported) {
    return Result::Fail(EngineCode::kInvalidFileFormat,
                        std::string(kStillPrefix) + "Unknown still image format " + std::to_string(info->type) + "\n");
  }
  return GetModifiedSystemTime(file, fileTime);
}

// The time the album shows for the still: the album picture's own, else
// the date given, else the engine's start.
Result Storyboard::StillDisplayTime(const StillRequest& request, const StillFiles& files, SYSTEMTIME* out) const {
  if (request.destTime) {
    *out = *request.destTime;
  } else if (const Result r = GetModifiedSystemTime(files.albumFile, out); !r.ok()) {
    return Result::Fail(EngineCode::kBrellAddStillWFail,
                        r.Then(std::string(kStillPrefix) + "GetModifiedSystemTime failed for albumResFile"));
  }
  return Result::Ok();
}

// The home page's strip of the title still: the picture resized to a full
// TV picture and cut to the band the home page shows.
Result Storyboard::MakeTitleStrip(const std::string& picture, std::string* strip, MadeFiles* made) const {
  std::string temp;
  if (!GenerateTemporaryFileName(folders_.root, &temp).ok()) {
    return Result::Fail(EngineCode::kParameterInvalid, std::string(kStillPrefix) + "GenerateTemporaryFileName call failed");
  }
  std::remove(temp.c_str());
  *strip = temp + ".JPG";
  made->Add(*strip);
  const Result cropFailed =
      Result::Fail(EngineCode::kParameterInvalid, std::string(kStillPrefix) + "CropTitleStill call failed");
  std::string resized;
  if (!GenerateTemporaryFileName(folders_.root, &resized).ok()) return cropFailed;
  // The resized picture is an intermediate: it goes in every case.
  struct Remove {
    std::string path;
    ~Remove() { base::RemoveAll(path); }
  } removeResized{resized};
  std::string why;
  if (!tools_->ResizeStill(picture, resized, 704, IsPalSystem() ? 576 : 480, &why) ||
      !tools_->CropStill(resized, *strip, 0, 105, 703, 355, &why)) {
    return cropFailed;
  }
  return Result::Ok();
}

// The disc names of the original. A title picture made for the disc (its
// source is the picture itself) gets a name of its own: nothing of the
// host's temporary folders goes on the disc.
Result Storyboard::NameOriginal(const StillRequest& request, const std::string& original, OriginalPaths* paths) {
  const bool madeForDisc = request.isTitleStill && (request.source.empty() || request.source == request.file);
  const std::string nameSource =
      madeForDisc ? std::string(kTitleOriginalName) : request.source.empty() ? original : request.source;
  std::string error;
  const bool ok = madeForDisc ? names_.GenerateOwnOriginalPaths(nameSource, paths, &error)
                              : names_.GenerateOriginalPaths(nameSource, paths, &error);
  if (!ok) {
    return Result::Fail(EngineCode::kNamingFail,
                        AfterWhy(error, std::string(kStillPrefix) + "GenerateJolietOriginalPath call failed"));
  }
  return Result::Ok();
}

Result Storyboard::WriteAlbumItem(const AlbumStill& record) {
  std::string why;
  if (!album_->AddStill(record, &why)) {
    RebuildAlbumStills();
    return Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        AfterWhy(why, std::string(kStillPrefix) + "IVEXAXML->AddStillImage failed"));
  }
  return Result::Ok();
}

// The still in the slide show, the menu pages and the file tree. A failure
// takes the still out of the album again.
Result Storyboard::AddToImage(const StillRequest& request, const StillFiles& files,
                              const std::vector<DiscEntry>& entries) {
  auto undo = [this](EngineCode code, const std::string& message) {
    RebuildAlbumStills();
    return Result::Fail(code, message);
  };
  const bool crop = request.sizing == values::kCropPicture;
  if (!builder_.AddStill(files.albumFile.c_str(), request.title.empty() ? nullptr : request.title.c_str(), crop ? 1 : 0)) {
    return undo(EngineCode::kBrellAddStillWFail,
                Printf("IVEXAStoryboardStillsSlideshow1::AddStill - AddStill failed %s.", files.albumFile));
  }
  if (!menu_.AddPicture(files.albumFile.c_str(), request.title.c_str(), crop ? 1 : 0)) {
    return undo(EngineCode::kBrellAddStillWFail,
                Printf("IVEXAStoryboardStillsSlideshow1::AddStill - m_pThumbnailBrowser->AddImage failed %s.", files.albumFile));
  }
  for (const DiscEntry& e : entries) {
    const bool ok = e.file ? builder_.AddFile(e.source->c_str(), e.path.c_str(), e.time, e.altIso) != 0
                           : builder_.AddHardLink(e.source->c_str(), e.path.c_str(), e.time) != 0;
    if (!ok) {
      return undo(e.file ? EngineCode::kBrellAddFileWFail : EngineCode::kBrellAddHardLinkWFail,
                  std::string(kStillPrefix) + (e.file ? "AddFileW call failed for " : "AddHardLinkW call failed for ") +
                      e.path);
    }
    NoteDiscPath(e.path);
  }
  return Result::Ok();
}

// Added everywhere: the tables follow.
void Storyboard::RecordStill(std::int32_t number, const StillRequest& request, const StillFiles& files,
                             const AlbumStill& record, const std::string& titleStrip) {
  stills_ = number;
  showMs_ += stillDelay_;
  const std::string& discName = record.discName;
  StillRecord& r = stillTable_[static_cast<std::size_t>(number)];
  r.albumFile = files.albumFile;
  r.albumWidth = files.sizes.albumWidth;
  r.albumHeight = files.sizes.albumHeight;
  r.thumbFile = files.thumbFile;
  r.thumbWidth = files.sizes.thumbWidth;
  r.thumbHeight = files.sizes.thumbHeight;
  r.title = request.title;
  r.pageName = request.title;
  const bool madeForDisc = request.isTitleStill && (request.source.empty() || request.source == request.file);
  if (r.pageName.empty() && madeForDisc) {
    for (const std::string& line : titleLines_) {
      if (line.empty()) continue;
      r.pageName += (r.pageName.empty() ? "" : " - ") + line;
    }
    if (r.pageName.empty()) r.pageName = kTitleOriginalName;
  }
  if (r.pageName.empty()) r.pageName = base::BaseName(request.source.empty() ? request.file : request.source);
  r.sizing = request.sizing;
  r.displayTime = record.destCTime;
  r.startTime = startTime_;
  r.webName = "LOWRES/640X640/" + discName;
  r.thumbName = "LOWRES/160X160/" + discName;
  albumRecords_[static_cast<std::size_t>(number)] = record;
  if (number == 1) {
    firstStill_ = titleStrip.empty() ? files.albumFile : titleStrip;
  } else if (number == 2) {
    secondStill_ = files.albumFile;
  }
}

Result Storyboard::AddStill(const StillRequest& request) {
  if (Result r = CheckStillRequest(request); !r.ok()) return r;
  const std::int32_t number = stills_ + 1;
  const std::string discName = DiscName("IM_A", static_cast<std::uint32_t>(number), ".JPG");

  PictureInfo info;
  SYSTEMTIME stillTime{};
  if (Result r = ProbeStill(request.file, &info, &stillTime); !r.ok()) return r;

  // The photo's own work.
  StillJob job;
  job.file = request.file;
  job.type = info.type;
  job.rotateDegrees = request.rotateDegrees;
  job.discName = discName;
  job.folders = folders_;
  job.memory = PhotoMemory(info, request.rotateDegrees);
  // Made ahead when the photo was named (ExpectStills), else here, with
  // its memory from the budget for pictures that the workers share.
  StillFiles files;
  Result made;
  if (!ahead_ || !ahead_->Take(job.file, job.rotateDegrees, job.type, discName, &made, &files)) {
    const base::MemoryBudget::Lease memory = base::PictureMemory().Acquire(job.memory);
    made = MakeStillFiles(job, *tools_, &files);
  }
  if (!made.ok()) return made;

  SYSTEMTIME displayTime{};
  if (Result r = StillDisplayTime(request, files, &displayTime); !r.ok()) return r;

  // The first still of a disc may be its title still: a cropped copy, made
  // from the album picture (the same picture as the original, and one the
  // tools may still hold decoded).
  std::string titleStrip;
  if (number == 1 && request.isTitleStill) {
    if (Result r = MakeTitleStrip(files.albumFile, &titleStrip, &files.made); !r.ok()) return r;
  }

  // Names of the original; put back if the still is not added after all.
  RestoreNames restoreNames(names_);
  OriginalPaths paths;
  if (Result r = NameOriginal(request, files.original, &paths); !r.ok()) return r;
  const std::string isoName = LastComponent(paths.iso);
  // Under the album's name the original keeps the extension of its own
  // kind (a PNG stays .PNG): the number of its album picture and the
  // extension of its ISO 9660 name, a name both trees can hold.
  const std::string albumOriginalName =
      DiscName("IM_A", static_cast<std::uint32_t>(number), base::Extension(isoName));
  const bool joliet = JolietInUse();

  // The disc entries, checked against what the disc already holds before
  // anything is added.
  const SYSTEMTIME start = startTime_;
  const std::vector<DiscEntry> entries = {
      // The original's data under its full original path (in both trees,
      // the ISO 9660 one named as the album records it), then links.
      {true, &files.original, joliet ? paths.joliet : paths.iso, &stillTime, joliet ? paths.iso.c_str() : nullptr},
      {false, &files.original, "/ORLDISC/ALBUM_A/ORIGINAL/" + isoName, &stillTime},
      // Under its album name, the name the album records for it.
      {false, &files.original, "/ALBUMS/ALBUM_A/ORIGINAL/" + albumOriginalName, &stillTime},
      {true, &files.albumFile, "/ORLDISC/ALBUM_A/CONTENT/" + discName, &displayTime},
      {false, &files.albumFile, "/ALBUMS/ALBUM_A/" + discName, &displayTime},
      {false, &files.albumFile, "/PICTURES/" + discName, &displayTime},
      {true, &files.thumbFile, "/ORLDISC/ALBUM_A/LOWRES/160X160/" + discName, &start},
      {true, &files.webFile, "/ORLDISC/ALBUM_A/LOWRES/640X640/" + discName, &start},
  };
  for (const DiscEntry& e : entries) {
    if (HasDiscPath(e.path)) {
      return Result::Fail(e.file ? EngineCode::kBrellAddFileWFail : EngineCode::kBrellAddHardLinkWFail,
                          std::string(kStillPrefix) +
                              (e.file ? "AddFileW call failed for " : "AddHardLinkW call failed for ") + e.path);
    }
  }

  // The album item first: it is the one part that can be rebuilt.
  const bool madeForDisc = request.isTitleStill && (request.source.empty() || request.source == request.file);
  AlbumStill record;
  record.originalFilename =
      madeForDisc ? std::string(kTitleOriginalName) : request.source.empty() ? files.original : request.source;
  record.title = request.title;
  record.destCTime = displayTime;
  record.identifier = files.identifier;
  record.width = info.width;
  record.height = info.height;
  record.isTitleStill = request.isTitleStill;
  record.sizing = request.sizing;
  record.rotate = request.rotateDegrees;
  record.discOriginalJoliet = joliet ? paths.joliet : std::string();
  record.discOriginalIso = paths.iso;
  record.discName = discName;
  record.isoName = isoName;
  record.albumOriginalName = albumOriginalName;
  if (Result r = WriteAlbumItem(record); !r.ok()) return r;
  if (Result r = AddToImage(request, files, entries); !r.ok()) return r;

  files.made.Keep();
  restoreNames.Keep();
  RecordStill(number, request, files, record, titleStrip);
  return Result::Ok();
}

Result Storyboard::MakeTitleStill(StillRequest* request) {
  if (!workReady_ || !tools_) {
    return Result::Fail(EngineCode::kTemporaryDirFail,
                        "IVEXAStoryboardStillsSlideshow1::AddTitleStill - There is no temporary directory (SetTempDirectory)");
  }
  const std::string file = folders_.root + "/ODTITLE" + std::to_string(titleStills_ + 1) + ".JPG";
  if (!tools_->CreateTitleStill(titleLines_, file, !IsPalSystem())) {
    // The utility's own error information stays for the caller.
    return Result::Callee(EngineCode::kHelpermoduleMethodFail,
                          "IVEXAStoryboardStillsSlideshow1::AddTitleStill - Create3LineTitleStill failed");
  }
  ++titleStills_;
  *request = StillRequest{};
  request->file = file;
  request->source = file;
  request->sizing = values::kCropPicture;
  request->isTitleStill = true;
  return Result::Ok();
}

}  // namespace vexa::engine
