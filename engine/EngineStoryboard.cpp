// The storyboard: slide-show timing, TV system, file systems, title lines,
// paper size, and the additions of music, extra files and stills, each made
// in the engine's tables, in the album and in the disc image.
//
// An addition either happens everywhere or nowhere: everything that can
// fail is prepared first (files, names, the checks the image builder would
// make), the album item is written next (and rebuilt without the still
// when anything after it fails), the image builder's entries last.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "engine/Engine.h"
#include "engine/ThumbnailBrowser2.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::engine {

using com::Bstr;
using com::ComPtr;

namespace {

std::string Narrow(BSTR s) { return s ? base::Utf16ToUtf8(std::u16string_view(s, SysStringLen(s))) : std::string(); }

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

// Files made by an addition that is not finished yet; removed unless kept.
class Made {
 public:
  ~Made() {
    if (keep_) return;
    for (const auto& f : files_) std::remove(f.c_str());
  }
  void Add(const std::string& f) { files_.push_back(f); }
  void Keep() { keep_ = true; }

 private:
  std::vector<std::string> files_;
  bool keep_ = false;
};

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

}  // namespace

void CVEXAVCDEngine::RunRecordJob(RecordJob& job) {
  job.hr = StoreJPEGRecord(job.file, job.identifier, job.resolution, &job.why);
}

bool CVEXAVCDEngine::IsPalSystem() const { return tvSystem_ == VEXATVPAL || tvSystem_ == VEXATVSECAM; }

// The disc time of an addition: 0.0 is the file's own time, anything else
// the date given, else the engine's start time.
SYSTEMTIME CVEXAVCDEngine::DiscTime(const std::string& file, DATE given, HRESULT* hr) {
  *hr = S_OK;
  SYSTEMTIME st{};
  if (given == 0.0) {
    *hr = Report("", GetModifiedSystemTime(file, &st));
    return st;
  }
  if (!VariantTimeToSystemTime(given, &st)) st = startTime_;
  return st;
}

bool CVEXAVCDEngine::DiscPathFree(const std::string& path) const { return !discPaths_.count(FoldPath(path)); }

void CVEXAVCDEngine::NoteDiscPath(const std::string& path) { discPaths_.insert(FoldPath(path)); }

// ---- Settings ----------------------------------------------------------------------

std::string CVEXAVCDEngine::MaxShowText() {
  char text[128];
  std::snprintf(text, sizeof text, "a disc holds at most %lld seconds (%lld min %lld s) of slide show",
                static_cast<long long>(kMaxShowSeconds), static_cast<long long>(kMaxShowSeconds / 60),
                static_cast<long long>(kMaxShowSeconds % 60));
  return text;
}

HRESULT CVEXAVCDEngine::SetStillDelay(LONG newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetStillDelay";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (newVal < 2000) {
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be minimum of 2000 msec",
                VEXAEngineResultParameterOutOfBounds);
  }
  // One still that cannot fit on the disc is refused here, before it
  // could make a stream of gigabytes.
  if (newVal > kMaxShowSeconds * 1000) {
    char text[192];
    std::snprintf(text, sizeof text,
                  "IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be at most %lld msec: ",
                  static_cast<long long>(kMaxShowSeconds * 1000));
    return Fail(kMethod, text + MaxShowText(), VEXAEngineResultParameterOutOfBounds);
  }
  wizard_->SetStillTimes(newVal, titleTime_);
  stillDelay_ = newVal;
  // The album file holds seconds.
  if (album_ && FAILED(album_->put_stillDelay(newVal / 1000))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAEngine::StillDelay - VEXAXML put_stillDelay failed"),
                VEXAEngineResultSubmoduleSetStillDelayFail);
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::SetStillTitleVisibleTime(LONG newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetStillTitleVisibleTime";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (newVal > stillDelay_) {
    return Fail(kMethod,
                "IVEXAStoryboardStillsSlideshow1::SetStillTitleVisibleTime - Caption time must be less or equal to still display time",
                VEXAEngineResultParameterOutOfBounds);
  }
  wizard_->SetStillTimes(stillDelay_, newVal);
  titleTime_ = newVal;
  if (album_ && FAILED(album_->put_stillTitleVisibleTime(newVal / 1000))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAEngine::StillTitleVisibleTime - VEXAXML put_stillTitleVisibleTime failed"),
                VEXAEngineResultSubmoduleSetStillTitleDelayFail);
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::SetTVSystem(VEXATVSystem newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetTVSystem";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  tvSystem_ = newVal;
  // A Video CD plays at 25 or 29.97 pictures a second only: SECAM discs are
  // made like PAL ones (625 lines) and FILM ones like NTSC (525 lines). The
  // album keeps the system as given.
  wizard_->SetVideoFormat(newVal == VEXATVSECAM ? VEXATVPAL : newVal == VEXATVFILM ? VEXATVNTSC : newVal);
  if (newVal >= VEXATVNTSC && newVal <= VEXATVSECAM && album_) {
    static const char* kNames[] = {"VEXAXMLTVNTSC", "VEXAXMLTVFILM", "VEXAXMLTVPAL", "VEXAXMLTVSECAM"};
    if (FAILED(album_->put_tvSystem(static_cast<VEXAXMLTVSystem>(newVal)))) {
      return Fail(kMethod,
                  PrefixWithErrorInfo(std::string("IVEXAEngine::SetTVSystem - m_pAlbumManifest->put_TVSystem(") +
                                      kNames[newVal] + ") failed"),
                  VEXAEngineResultSubmoduleSetStillDelayFail);
    }
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::SetFileSystemSupport(VEXAFileSystemSupport newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (newVal == VEXAFSISO9660) {
    wizard_->SetJolietSupport(0);
  } else if (newVal == VEXAFSJOLIET || newVal == VEXAFSDefault) {
    wizard_->SetJolietSupport(1);
  } else if (newVal == VEXAFSUDF15) {
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport - UDF not supported",
                VEXAEngineResultUnsupportedDiscFS);
  } else {
    return Fail(kMethod, PrintfInt("IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport - %d not supported.", newVal),
                VEXAEngineResultUnsupportedDiscFS);
  }
  fileSystem_ = newVal;
  return SetLastResultOK(kMethod);
}

bool CVEXAVCDEngine::JolietInUse() const { return fileSystem_ == VEXAFSJOLIET || fileSystem_ == VEXAFSDefault; }

HRESULT CVEXAVCDEngine::SetTitleLines(BSTR line1, BSTR line2, BSTR line3) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetTitleLines";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  const std::string lines[3] = {Narrow(line1), Narrow(line2), Narrow(line3)};
  for (int i = 0; i < 3; ++i) {
    if (!lines[i].empty()) titleLines_[static_cast<std::size_t>(i)] = lines[i];
    premasterLines_[static_cast<std::size_t>(i)] = lines[i];
  }
  if (albumTitleSlide_) {
    for (int i = 0; i < 3; ++i) {
      const Bstr value = Bstr::FromUtf8(lines[i]);
      ITitleSlide* slide = albumTitleSlide_.Get();
      const HRESULT hr = i == 0 ? slide->put_line1(value.Get())
                                : i == 1 ? slide->put_line2(value.Get()) : slide->put_line3(value.Get());
      if (FAILED(hr)) {
        const std::string n = std::to_string(i + 1);
        return Fail(kMethod,
                    PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::m_pAlbumManifestTitleSlide->put_line" + n +
                                        "(line" + n + ") failed"),
                    VEXAEngineResultSubmoduleSetTitleLinesFail);
      }
    }
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::SetPaperSize(VEXAPaperSize paperSize) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetPaperSize";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (paperSize != VEXAPaperSizeLetter && paperSize != VEXAPaperSizeA4) {
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::SetPaperSize - Unknown paper size",
                VEXAEngineResultParameterInvalid);
  }
  paperSize_ = paperSize;
  if (album_ && FAILED(album_->put_paperSize(static_cast<VEXAXMLPaperSize>(paperSize)))) {
    return Fail(kMethod,
                PrefixWithErrorInfo(paperSize == VEXAPaperSizeA4
                                        ? "IVEXAEngine::SetPaperSize - m_pAlbumManifest->put_PaperSize(VEXAXMLPaperSizeA4) failed"
                                        : "IVEXAEngine::SetPaperSize - m_pAlbumManifest->put_PaperSize(VEXAXMLPaperSizeLetter) failed"),
                VEXAEngineResultSubmoduleSetStillDelayFail);
  }
  return SetLastResultOK(kMethod);
}

// ---- Music and files ---------------------------------------------------------------------

HRESULT CVEXAVCDEngine::AddAudioTrack(BSTR audioFile, DATE destCtime) {
  static constexpr char kMethod[] = "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  const std::string file = Narrow(audioFile);
  if (file.empty()) {
    return Fail(kMethod, "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - You must specify a valid audioFile to read from",
                VEXAEngineResultParameterInvalid);
  }
  if (!album_) {
    return Fail(kMethod, "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - The album is closed; nothing can be added after the premaster",
                VEXAEngineResultParameterInvalid);
  }
  // Everything that can fail before the music reaches the encoder.
  HRESULT hr;
  const SYSTEMTIME time = DiscTime(file, destCtime, &hr);
  if (FAILED(hr)) return hr;
  const std::string name = DiscName("BG_A", static_cast<std::uint32_t>(audioTracks_ + 1),
                                    base::ToUpperAscii(base::Extension(file)));
  const std::string discPath = "/ORLDISC/ALBUM_A/CONTENT/" + name;
  const DiscNames names = names_;
  OriginalPaths paths;
  if (FAILED(GenerateOriginalPaths(file, false, &paths))) {
    names_ = names;
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::AddAudioTrack - GenerateJolietOriginalPath call failed"),
                VEXAEngineResultNamingFail);
  }
  const std::string original = JolietInUse() ? paths.joliet : paths.iso;
  if (!DiscPathFree(discPath)) {
    names_ = names;
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddFileW failed for " + file,
                VEXAEngineResultBrellAddFileWFail);
  }
  if (!DiscPathFree(original)) {
    names_ = names;
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddHardLinkW failed for " + file,
                VEXAEngineResultBrellAddHardLinkWFail);
  }
  ComPtr<IAudio> item;
  DATE when = 0;
  SystemTimeToVariantTime(&time, &when);
  if (FAILED(albumAudios_->AddAudio(item.Put())) || FAILED(item->put_originalFilename(audioFile)) ||
      FAILED(item->put_destCTime(when)) || FAILED(item->put_odFullResFilename(Bstr::FromUtf8(discPath).Get()))) {
    names_ = names;
    RebuildAlbumAudios();
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - IVEXAXML->AddAudio failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (!wizard_->AddAudioFile(file.c_str(), 1)) {
    names_ = names;
    RebuildAlbumAudios();
    // Which file and why first, as a callee's text comes first.
    const std::string why = wizard_->AudioError();
    return Fail(kMethod, (why.empty() ? "" : why + "\n") + "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack - AddAudioTrack failed",
                VEXAEngineResultBrellAddAudioFileWFail);
  }
  // The file's data goes under its original path, with the ISO 9660 path
  // as that entry's ISO name when the disc has both trees; the album's
  // name for it is a link to the same data.
  if (!wizard_->AddFile(file.c_str(), original.c_str(), &time, JolietInUse() ? paths.iso.c_str() : nullptr)) {
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddHardLinkW failed for " + file,
                VEXAEngineResultBrellAddHardLinkWFail);
  }
  NoteDiscPath(original);
  if (!wizard_->AddHardLink(file.c_str(), discPath.c_str(), &time)) {
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddFileW failed for " + file,
                VEXAEngineResultBrellAddFileWFail);
  }
  NoteDiscPath(discPath);
  ++audioTracks_;
  musicRelativeName_ = "CONTENT/" + name;
  audioRecords_.push_back({file, when, discPath});
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::RebuildAlbumAudios() {
  if (!albumAudios_) return E_FAIL;
  albumAudios_->Clear();
  for (const auto& a : audioRecords_) {
    ComPtr<IAudio> item;
    if (FAILED(albumAudios_->AddAudio(item.Put())) ||
        FAILED(item->put_originalFilename(Bstr::FromUtf8(a.source).Get())) || FAILED(item->put_destCTime(a.time)) ||
        FAILED(item->put_odFullResFilename(Bstr::FromUtf8(a.discPath).Get()))) {
      return E_FAIL;
    }
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::AddFile";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  const std::string source = Narrow(sourceFile);
  const std::string iso = Narrow(dest8dot3Path);
  const std::string joliet = Narrow(destJolietPath);
  if (source.empty()) {
    return Fail(kMethod, Printf("IVEXAStoryboardStillsSlideshow1::AddFile - invalid srcFile parameter - '%s'", source),
                VEXAEngineResultParameterInvalid);
  }
  if (iso.empty()) {
    return Fail(kMethod, Printf("IVEXAStoryboardStillsSlideshow1::AddFile - invalid dest8dot3Path parameter - '%s'", iso),
                VEXAEngineResultParameterInvalid);
  }
  HRESULT hr;
  const SYSTEMTIME time = DiscTime(source, destCtime, &hr);
  if (FAILED(hr)) return hr;
  const bool link = JolietInUse() && !joliet.empty() && joliet != iso;
  if (!DiscPathFree(iso) || (link && !DiscPathFree(joliet))) {
    return Fail(kMethod,
                Printf(DiscPathFree(iso) ? "IVEXAStoryboardStillsSlideshow1::AddFile - File addition to Joliet failed - %s"
                                         : "IVEXAStoryboardStillsSlideshow1::AddFile - File addition to ISO9660 failed - %s",
                       source),
                VEXAEngineResultBrellAddFileWFail);
  }
  if (!wizard_->AddFile(source.c_str(), iso.c_str(), &time, nullptr)) {
    return Fail(kMethod, Printf("IVEXAStoryboardStillsSlideshow1::AddFile - File addition to ISO9660 failed - %s", source),
                VEXAEngineResultBrellAddFileWFail);
  }
  NoteDiscPath(iso);
  if (link) {
    if (!wizard_->AddHardLink(source.c_str(), joliet.c_str(), &time)) {
      return Fail(kMethod, Printf("IVEXAStoryboardStillsSlideshow1::AddFile - File addition to Joliet failed - %s", source),
                  VEXAEngineResultBrellAddFileWFail);
    }
    NoteDiscPath(joliet);
  }
  ++extraFiles_;
  return SetLastResultOK(kMethod);
}

// ---- Stills -------------------------------------------------------------------------------

HRESULT CVEXAVCDEngine::WriteAlbumStill(const AlbumStill& s) {
  ComPtr<IStillImage> item;
  if (FAILED(albumStills_->AddStillImage(item.Put())) || !item) return E_FAIL;
  auto text = [](const std::string& v) { return Bstr::FromUtf8(v); };
  if (FAILED(item->put_originalFilename(text(s.originalFilename).Get()))) return E_FAIL;
  if (!s.title.empty() && FAILED(item->put_title(text(s.title).Get()))) return E_FAIL;
  if (FAILED(item->put_destCTime(s.destCTime)) || FAILED(item->put_identifier(text(s.identifier).Get())) ||
      FAILED(item->put_height(s.height)) || FAILED(item->put_width(s.width)) ||
      FAILED(item->put_isTitleStill(s.isTitleStill ? VARIANT_TRUE : VARIANT_FALSE)) ||
      FAILED(item->put_destSizingBehavior(s.sizing == VEXACropPicture ? VEXAXMLPictureClip : VEXAXMLPictureResize))) {
    return E_FAIL;
  }
  if ((s.rotate == 0 || s.rotate == 90 || s.rotate == 180 || s.rotate == 270) && FAILED(item->put_destRotate(s.rotate))) {
    return E_FAIL;
  }
  // Each path as the disc holds it, in its own tree: a disc without a
  // Joliet tree leaves the Joliet original empty.
  if (FAILED(item->put_discOriginalJolietFilename(text(s.discOriginalJoliet).Get())) ||
      FAILED(item->put_discOriginal9660Filename(text(s.discOriginalIso).Get())) ||
      FAILED(item->put_albumOriginal9660Filename(text("/ALBUMS/ALBUM_A/ORIGINAL/" + s.discName).Get())) ||
      FAILED(item->put_albumOriginalJolietFilename(text("/ALBUMS/ALBUM_A/ORIGINAL/" + s.discName).Get())) ||
      FAILED(item->put_albumFullRes9660Filename(text("/ALBUMS/ALBUM_A/" + s.discName).Get())) ||
      FAILED(item->put_albumFullResJolietFilename(text("/ALBUMS/ALBUM_A/" + s.discName).Get())) ||
      FAILED(item->put_odOriginalFilename(text("ORIGINAL/" + s.isoName).Get())) ||
      FAILED(item->put_odFullResFilename(text("CONTENT/" + s.discName).Get())) ||
      FAILED(item->put_odWebResFilename(text("LOWRES/640X640/" + s.discName).Get())) ||
      FAILED(item->put_odThumbResFilename(text("LOWRES/160X160/" + s.discName).Get()))) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::RebuildAlbumStills() {
  if (!albumStills_) return E_FAIL;
  albumStills_->Clear();
  for (std::int32_t i = 1; i <= stills_; ++i) {
    if (FAILED(WriteAlbumStill(albumRecords_[static_cast<std::size_t>(i)]))) return E_FAIL;
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::AddStill(BSTR stillFile, BSTR srcPath, BSTR stillTitle, DATE destCtime,
                                 VEXAPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                                 VARIANT_BOOL isTitleStill, BSTR thumbPath, DATE thumbCtime) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::AddStill";
  static constexpr char kPrefix[] = "IVEXAStoryboardStillsSlideshow1::AddStill - ";
  (void)thumbPath;
  (void)thumbCtime;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  const std::string file = Narrow(stillFile);
  const std::string source = Narrow(srcPath);
  const std::string title = Narrow(stillTitle);
  if (file.empty()) {
    return Fail(kMethod, Printf("IVEXAStoryboardStillsSlideshow1::AddStill - invalid stillFile parameter - '%s'", file),
                VEXAEngineResultParameterInvalid);
  }
  if (pictureSizingBehaviour != VEXAResizePicture && pictureSizingBehaviour != VEXACropPicture) {
    return Fail(kMethod, PrintfInt("IVEXAStoryboardStillsSlideshow1::AddStill - invalid pictureSizing parameter - '%d'",
                                   pictureSizingBehaviour),
                VEXAEngineResultParameterInvalid);
  }
  if (rotateDegrees < 0 || rotateDegrees > 360) {
    return Fail(kMethod, PrintfInt("IVEXAStoryboardStillsSlideshow1::AddStill - invalid rotateDegrees parameter (1-360) - '%d'",
                                   rotateDegrees),
                VEXAEngineResultParameterInvalid);
  }
  if (stills_ >= kMaxStills) {
    return Fail(kMethod, std::string(kPrefix) + "The disc holds 599 stills at most; this one is not added",
                VEXAEngineResultParameterOutOfBounds);
  }
  if (!tempReady_) {
    return Fail(kMethod, std::string(kPrefix) + "There is no temporary directory (SetTempDirectory)",
                VEXAEngineResultTemporaryDirFail);
  }
  if (!album_ || !imageUtil_) {
    return Fail(kMethod, std::string(kPrefix) + "The album is closed; nothing can be added after the premaster",
                VEXAEngineResultParameterInvalid);
  }
  const auto number = static_cast<std::uint32_t>(stills_ + 1);
  const std::string discName = DiscName("IM_A", number, ".JPG");

  Bstr name, shortName, ext;
  LONG type = 0, width = 0, height = 0;
  if (FAILED(imageUtil_->GetStillInfo(stillFile, name.Out(), shortName.Out(), ext.Out(), &type, &width, &height))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "m_pImageUtil->GetStillInfo failed\n"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  VARIANT_BOOL supported = VARIANT_FALSE;
  if (FAILED(imageUtil_->isSupportedStillInputFormat(type, &supported))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "m_pImageUtil->isSupportedStillInputFormat failed\n"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (supported != VARIANT_TRUE) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "Unknown still image format " + std::to_string(type) + "\n"),
                VEXAEngineResultInvalidFileFormat);
  }
  SYSTEMTIME stillTime{};
  if (const Result r = GetModifiedSystemTime(file, &stillTime); !r.ok()) return Report(kMethod, r);

  Made made;
  // The original: an unrotated JPEG is copied and gets the record of its
  // source (resolution 1); any other picture goes on the disc as it is.
  // The records are written on helper threads while the derivatives are
  // made (from the same picture data).
  std::vector<RecordJob> originalJob;
  std::thread originalThread;
  std::string original = file;
  if (type == 101 && rotateDegrees == 0) {
    original = base::JoinPath(folders_.original, discName);
    std::error_code ec;
    std::filesystem::copy_file(file, original, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
      return Fail(kMethod, PrefixWithErrorInfo("IVEXAEngine::AddStill - Original CopyFile failed"),
                  VEXAEngineResultParameterInvalid);
    }
    made.Add(original);
    if (::chmod(original.c_str(), 0644) != 0) {
      return Fail(kMethod, FormatLastSystemError(errno) + "IVEXAEngine::AddStill - SetFileAttributes on original failed",
                  VEXAEngineResultParameterInvalid);
    }
    std::string guid;
    if (FAILED(CreateStringGUID(&guid))) {
      return Fail(kMethod, std::string(kPrefix) + "CreateStringGUID call failed", VEXAEngineResultGUIDCreationFail);
    }
    originalJob.push_back({original, guid, VEXAXMLStillImageOriginalResolution, "PutJPEGCOMMarker failed for Original still"});
    originalThread = std::thread([&originalJob] { RunRecordJob(originalJob[0]); });
  }
  struct JoinOnExit {
    std::thread* t;
    ~JoinOnExit() {
      if (t->joinable()) t->join();
    }
  } joinOriginal{&originalThread};

  // The derivatives, each a file of its own.
  const std::string albumFile = base::JoinPath(folders_.content, discName);
  const std::string thumbFile = base::JoinPath(folders_.thumb, discName);
  const std::string webFile = base::JoinPath(folders_.webres, discName);
  made.Add(albumFile);
  made.Add(thumbFile);
  made.Add(webFile);
  LONG aw = 0, ah = 0, tw = 0, th = 0, ww = 0, wh = 0;
  if (FAILED(GenerateStillDerivatives(file, rotateDegrees, albumFile, thumbFile, webFile, &aw, &ah, &tw, &th, &ww,
                                      &wh))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "GenerateDerivativeStills failed on albumResFile"),
                VEXAEngineResultStillImageProcessingFail);
  }
  std::vector<RecordJob> jobs = {
      {albumFile, "", VEXAXMLStillImageAlbumResolution, "PutJPEGCOMMarker failed for AlbumRes still"},
      {thumbFile, "", VEXAXMLStillImageThumbResolution, "PutJPEGCOMMarker failed for ThumbRes still"},
      {webFile, "", VEXAXMLStillImageWebResolution, "PutJPEGCOMMarker failed for WebRes still"},
  };
  for (RecordJob& j : jobs) {
    if (FAILED(CreateStringGUID(&j.identifier))) {
      return Fail(kMethod, std::string(kPrefix) + "CreateStringGUID call failed", VEXAEngineResultGUIDCreationFail);
    }
  }
  {
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < jobs.size(); ++i) helpers.emplace_back([&jobs, i] { RunRecordJob(jobs[i]); });
    RunRecordJob(jobs[0]);
    for (auto& h : helpers) h.join();
  }
  if (originalThread.joinable()) originalThread.join();
  for (const std::vector<RecordJob>* list : {&originalJob, &jobs}) {
    for (const RecordJob& j : *list) {
      if (FAILED(j.hr)) {
        return Fail(kMethod, (j.why.empty() ? "" : j.why + "\n") + kPrefix + j.message,
                    VEXAEngineResultHelpermoduleMethodFail);
      }
    }
  }
  const std::string identifier = jobs[0].identifier;

  SYSTEMTIME displayTime{};
  if (destCtime == 0.0) {
    if (const Result r = GetModifiedSystemTime(albumFile, &displayTime); !r.ok()) {
      return Fail(kMethod, r.Then(std::string(kPrefix) + "GetModifiedSystemTime failed for albumResFile"),
                  VEXAEngineResultBrellAddStillWFail);
    }
  } else if (!VariantTimeToSystemTime(destCtime, &displayTime)) {
    displayTime = startTime_;
  }
  const bool crop = pictureSizingBehaviour == VEXACropPicture;

  // The first still of a disc may be its title still: a cropped copy.
  std::string titleCopy;
  if (number == 1 && isTitleStill == VARIANT_TRUE) {
    std::string temp;
    if (!GenerateTemporaryFileName(folders_.root, &temp).ok()) {
      return Fail(kMethod, std::string(kPrefix) + "GenerateTemporaryFileName call failed", VEXAEngineResultParameterInvalid);
    }
    std::remove(temp.c_str());
    titleCopy = temp + ".JPG";
    made.Add(titleCopy);
    if (FAILED(CropTitleStill(original, titleCopy))) {
      return Fail(kMethod, std::string(kPrefix) + "CropTitleStill call failed", VEXAEngineResultParameterInvalid);
    }
  }

  // Names of the original; the registries are put back if the still is
  // not added after all.
  const DiscNames names = names_;
  struct RestoreNames {
    DiscNames* target;
    const DiscNames* saved;
    bool keep = false;
    ~RestoreNames() {
      if (!keep) *target = *saved;
    }
  } restoreNames{&names_, &names};
  // A title picture made for the disc (its source is the picture itself)
  // gets a name of its own; nothing of the host's temporary folders goes on
  // the disc.
  const bool madeForDisc = isTitleStill == VARIANT_TRUE && (source.empty() || source == file);
  const std::string nameSource = madeForDisc ? std::string(kTitleOriginalName) : source.empty() ? original : source;
  OriginalPaths paths;
  if (FAILED(GenerateOriginalPaths(nameSource, madeForDisc, &paths))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "GenerateJolietOriginalPath call failed"),
                VEXAEngineResultNamingFail);
  }
  const std::string& jolietPath = paths.joliet;
  const std::string& isoPath = paths.iso;
  const std::string isoName = LastComponent(isoPath);
  const bool joliet = JolietInUse();

  DATE display = 0, start = 0;
  SystemTimeToVariantTime(&displayTime, &display);
  SystemTimeToVariantTime(&startTime_, &start);

  // The disc entries, checked against what the disc already holds before
  // anything is added.
  struct Entry {
    bool file;  // AddFile, else AddHardLink
    const std::string* source;
    std::string path;
    const SYSTEMTIME* time;
    const char* altIso = nullptr;  // the entry's ISO 9660 path, when it differs
  } entries[] = {
      // The original's data under its full original path (in both trees,
      // the ISO 9660 one named as the album records it), then links.
      {true, &original, joliet ? jolietPath : isoPath, &stillTime, joliet ? isoPath.c_str() : nullptr},
      {false, &original, "/ORLDISC/ALBUM_A/ORIGINAL/" + isoName, &stillTime},
      // Under its disc name, the name the album records for it.
      {false, &original, "/ALBUMS/ALBUM_A/ORIGINAL/" + discName, &stillTime},
      {true, &albumFile, "/ORLDISC/ALBUM_A/CONTENT/" + discName, &displayTime},
      {false, &albumFile, "/ALBUMS/ALBUM_A/" + discName, &displayTime},
      {false, &albumFile, "/PICTURES/" + discName, &displayTime},
      {true, &thumbFile, "/ORLDISC/ALBUM_A/LOWRES/160X160/" + discName, &startTime_},
      {true, &webFile, "/ORLDISC/ALBUM_A/LOWRES/640X640/" + discName, &startTime_},
  };
  for (const Entry& e : entries) {
    if (!DiscPathFree(e.path)) {
      return Fail(kMethod,
                  std::string(kPrefix) + (e.file ? "AddFileW call failed for " : "AddHardLinkW call failed for ") + e.path,
                  e.file ? VEXAEngineResultBrellAddFileWFail : VEXAEngineResultBrellAddHardLinkWFail);
    }
  }

  // The album item first: it is the one part that can be rebuilt.
  AlbumStill record;
  record.originalFilename = madeForDisc ? std::string(kTitleOriginalName) : source.empty() ? original : source;
  record.title = title;
  record.destCTime = display;
  record.identifier = identifier;
  record.width = width;
  record.height = height;
  record.isTitleStill = isTitleStill == VARIANT_TRUE;
  record.sizing = pictureSizingBehaviour;
  record.rotate = rotateDegrees;
  record.discOriginalJoliet = joliet ? jolietPath : std::string();
  record.discOriginalIso = isoPath;
  record.discName = discName;
  record.isoName = isoName;
  if (FAILED(WriteAlbumStill(record))) {
    RebuildAlbumStills();
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->AddStillImage failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  auto undo = [&](const std::string& message, VEXAEngineResult code) {
    RebuildAlbumStills();
    return Fail(kMethod, message, code);
  };
  if (!wizard_->AddStill(albumFile.c_str(), title.empty() ? nullptr : title.c_str(), crop ? 1 : 0)) {
    return undo(Printf("IVEXAStoryboardStillsSlideshow1::AddStill - AddStill failed %s.", albumFile),
                VEXAEngineResultBrellAddStillWFail);
  }
  if (!menu_->AddPicture(albumFile.c_str(), title.c_str(), crop ? 1 : 0)) {
    return undo(Printf("IVEXAStoryboardStillsSlideshow1::AddStill - m_pThumbnailBrowser->AddImage failed %s.", albumFile),
                VEXAEngineResultBrellAddStillWFail);
  }
  for (const Entry& e : entries) {
    const bool ok = e.file ? wizard_->AddFile(e.source->c_str(), e.path.c_str(), e.time, e.altIso) != 0
                           : wizard_->AddHardLink(e.source->c_str(), e.path.c_str(), e.time) != 0;
    if (!ok) {
      return undo(std::string(kPrefix) + (e.file ? "AddFileW call failed for " : "AddHardLinkW call failed for ") + e.path,
                  e.file ? VEXAEngineResultBrellAddFileWFail : VEXAEngineResultBrellAddHardLinkWFail);
    }
    NoteDiscPath(e.path);
  }

  // Added everywhere: the tables follow.
  made.Keep();
  restoreNames.keep = true;
  stills_ = static_cast<std::int32_t>(number);
  showMs_ += stillDelay_;
  StillRecord& r = stillTable_[number];
  r.albumFile = albumFile;
  r.albumWidth = aw;
  r.albumHeight = ah;
  r.thumbFile = thumbFile;
  r.thumbWidth = tw;
  r.thumbHeight = th;
  r.title = title;
  r.sizing = pictureSizingBehaviour;
  r.displayTime = display;
  r.startTime = start;
  r.webName = "LOWRES/640X640/" + discName;
  r.thumbName = "LOWRES/160X160/" + discName;
  albumRecords_[number] = record;
  if (number == 1) {
    firstStill_ = titleCopy.empty() ? albumFile : titleCopy;
    firstIsTitleCopy_ = !titleCopy.empty();
  } else if (number == 2) {
    secondStill_ = albumFile;
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::AddTitleStill() {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::AddTitleStill";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (!tempReady_ || !imageUtil_) {
    return Fail(kMethod, "IVEXAStoryboardStillsSlideshow1::AddTitleStill - There is no temporary directory (SetTempDirectory)",
                VEXAEngineResultTemporaryDirFail);
  }
  const std::string file = folders_.root + "/ODTITLE" + std::to_string(titleStills_ + 1) + ".JPG";
  const HRESULT hr = imageUtil_->Create3LineTitleStill(
      Bstr::FromUtf8(titleLines_[0]).Get(), Bstr::FromUtf8(titleLines_[1]).Get(), Bstr::FromUtf8(titleLines_[2]).Get(),
      Bstr::FromUtf8(file).Get(), Bstr(u"Times New Roman").Get(), 0, 22, 18, IsPalSystem() ? VARIANT_FALSE : VARIANT_TRUE);
  if (FAILED(hr)) {
    // The utility's own error information stays for the caller.
    SetLastResult(kMethod, "IVEXAStoryboardStillsSlideshow1::AddTitleStill - Create3LineTitleStill failed",
                  VEXAEngineResultHelpermoduleMethodFail);
    return hr;
  }
  ++titleStills_;
  titleStillAdded_ = true;
  const Bstr path = Bstr::FromUtf8(file);
  return AddStill(path.Get(), path.Get(), nullptr, 0.0, VEXACropPicture, 0, VARIANT_TRUE, nullptr, 0.0);
}

}  // namespace vexa::engine
