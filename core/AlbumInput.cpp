// Album input and files: album files of both dialects, further copies, extra
// files and the include folder, the default title, paper size, the judgement
// on rejected pictures, the work directory, and sources on removable media.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <locale.h>

#include "core/CoreFiles.h"
#include "core/VEXACore1.h"
#include "idl/ProductKey.h"
#include "platform/base/File.h"
#include "platform/base/OwnedTempDir.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::core {

using namespace vexa::com;

namespace {

// A path of an album file is taken relative to the album's folder.
std::string Resolve(const std::string& path, const std::string& baseFolder) {
  if (path.empty() || baseFolder.empty() || path[0] == '/') return path;
  return base::JoinPath(baseFolder, path);
}

// Copies a file through the shared input and output helpers.
bool CopyFileContents(const std::string& from, const std::string& to) {
  base::InputFile in;
  if (!in.Open(from)) return false;
  base::OutputFile out;
  if (!out.Open(to)) return false;
  std::vector<char> buffer(1 << 20);
  while (true) {
    const long long n = in.ReadSome(buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0) break;
    if (!out.Write(buffer.data(), static_cast<std::size_t>(n))) return false;
  }
  return out.Commit();
}

std::string ReplaceFirst(std::string text, std::string_view what, const std::string& with) {
  const std::size_t at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

}  // namespace

// ---- album files ------------------------------------------------------------------------------

bool CVEXACore1::DoAddAlbumFile(const std::string& albumFilePath, LONG albumFormat) {
  flow_.SetCode(VEXACoreSuccess);
  const std::string& path = albumFilePath;
  if (path.empty()) {
    flow_.SetCode(VEXACoreInvalidFile);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::AddAlbumFile - Invalid input file.");
  }
  // A file that cannot be read at all (a mistyped name, a folder) is told
  // as such, never as a fault of the software.
  if (path.find("://") == std::string::npos) {
    base::InputFile file;
    if (!file.OpenRegular(path)) {
      flow_.SetCode(VEXACoreFailure);
      flow_.ShowError(FormatMessageText(
          util_.LoadString(4590, "The album file cannot be read:\r\n\r\n%1!s!\r\n\r\nCheck the file's name and "
                                 "folder, then try again."),
          {file.Error()}));
      return flow_.FailCall(Format("CVEXACore1::AddAlbumFile - The album file cannot be read: %s.", file.Error().c_str()));
    }
  }
  CVexaCoreXML album(util_);
  auto readFailed = [&](const char* text) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(text);
  };
  if (!album.Init(path, albumFormat)) return readFailed("CVEXACore1::AddAlbumFile - XML Init call failed.");

  LONG tv = VEXACoreTVINVALID;
  if (!album.GetTVSystem(&tv)) return readFailed("CVEXACore1::AddAlbumFile - XML GetTVSystem call failed.");
  if (tv != VEXACoreTVINVALID && !DoSetTVSystem(tv)) return flow_.FailCall("CVEXACore1::AddAlbumFile - SetTVSystem call failed.");

  LONG delay = 0;
  if (!album.GetStillDelay(&delay)) return readFailed("CVEXACore1::AddAlbumFile - XML GetStillDelay failed.");
  // A delay of 2 seconds or less leaves the default of the run.
  if (delay > 2 && !DoSetStillDelay(delay)) return flow_.FailCall("CVEXACore1::AddAlbumFile - SetStillDelay failed.");

  LONG titleTime = 0;
  if (!album.GetStillTitleVisibleTime(&titleTime)) {
    return flow_.FailCall("CVEXACore1::AddAlbumFile - XML GetStillTitleVisibleTime failed.");
  }
  // The title time needs a delay to be measured against; without one the
  // run's defaults apply to both.
  if (titleTime > 0 && stillDelaySet_ && !DoSetStillTitleVisibleTime(titleTime)) {
    return flow_.FailCall("CVEXACore1::AddAlbumFile - SetStillTitleVisibleTime failed.");
  }

  std::u16string l1, l2, l3;
  if (!album.GetTitleLines(&l1, &l2, &l3)) return readFailed("CVEXACore1::AddAlbumFile - XML GetTitleLines call failed.");
  if (!l1.empty() || !l2.empty() || !l3.empty()) {
    if (!DoSetTitleLines(base::Utf16ToUtf8(l1), base::Utf16ToUtf8(l2), base::Utf16ToUtf8(l3))) {
      return flow_.FailCall("CVEXACore1::AddAlbumFile - SetTitleLines call failed.");
    }
  }

  LONG paper = VEXACorePaperSizeInvalid;
  if (!album.GetPaperSize(&paper)) return readFailed("CVEXACore1::AddAlbumFile - XML GetPaperSize call failed.");
  if (paper != VEXACorePaperSizeInvalid && !DoSetPaperSize(paper)) {
    return flow_.FailCall("CVEXACore1::AddAlbumFile - SetPaperSize call failed.");
  }

  const std::string folder = base::DirName(path);
  // The reason (too many pictures, ...) stays before this line.
  if (!AddStills(album, folder)) return flow_.FailCall("CVEXACore1::AddAlbumFile - AddStills call failed.", true);

  std::string audio, audioName;
  DATE audioTime = 0.0;
  if (!album.GetFirstAudioTrack(&audio, &audioName, &audioTime)) {
    return readFailed("CVEXACore1::AddAlbumFile - XML GetFirstAudioTrack call failed.");
  }
  std::vector<std::string> music;
  if (!album.GetAudioNames(&music)) return readFailed("CVEXACore1::AddAlbumFile - XML GetAudioNames call failed.");
  if (music.size() > 1) {
    // A disc plays one music file: the first. The others are not dropped
    // without a word.
    std::string leftOut;
    for (std::size_t i = 1; i < music.size(); ++i) leftOut += (i > 1 ? ", " : "") + music[i];
    util_.LogInfo(Format("CVEXACore1::AddAlbumFile - The album names %zu music files and a disc plays one: %s "
                         "plays; left out: %s.",
                         music.size(), music[0].c_str(), leftOut.c_str()));
    flow_.Note(FormatMessageText(
        util_.LoadString(4592, "The album names %1!d! music files, and a disc plays only one: %2!s! plays.\r\nLeft "
                               "out: %3!s!."),
        {static_cast<long long>(music.size()), music[0], leftOut}));
  }
  if (!audio.empty()) {
    if (!album.ResetAudios()) return readFailed("CVEXACore1::AddAlbumFile - XML ResetAudios() call failed.");
    if (!DoAddAudioTrack(Resolve(audio, folder), Resolve(audioName, folder), audioTime)) {
      return flow_.FailCall("CVEXACore1::AddAlbumFile - AddAudioTrack call failed.");
    }
  }
  return true;
}

bool CVEXACore1::AddStills(CVexaCoreXML& album, const std::string& baseFolder) {
  if (!album.Album()) return flow_.FailCall("CVEXACore1::AddStills - Empty album input.");
  std::vector<StillEntry> stills;
  if (!album.GetAllStills(&stills)) {
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::AddStills - XML GetAllStills call failed.");
  }
  // Too many for the disc: refused before the album is touched.
  if (!CheckStillRoom("CVEXACore1::AddStills", stills.size())) return false;
  // Each accepted still is written back by AddStill.
  if (!album.ResetStills()) {
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::AddStills - XML ResetStills() call failed.");
  }
  // The engine makes the photos' files ahead while they are added here.
  std::vector<std::pair<std::string, LONG>> expected;
  for (const StillEntry& e : stills) expected.emplace_back(Resolve(e.fullResPath, baseFolder), e.rotation);
  ExpectedStills ahead(driver_.get(), expected);
  for (const StillEntry& e : stills) {
    if (e.fullResPath.empty() && e.originalFilename.empty()) {
      util_.LogError("CVEXACore1::AddStills - Still has no content.", false);
    }
    const std::string file = Resolve(e.fullResPath, baseFolder);
    if (!DoAddStill(file, Resolve(e.originalFilename, baseFolder), e.title, e.creationTime, e.sizingBehaviour,
                    e.rotation, kFlagFalse)) {
      if (flow_.Code() == VEXACoreCancelled) return flow_.Cancel("CVEXACore1::AddStills - User pressed Cancel.");
      const std::string text = Format("CVEXACore1::AddStills - AddStill call failed for path %s.", file.c_str());
      util_.LogError(text, true);
      if (stopOnBadStill_) return flow_.FailCall(text);
    }
    if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::AddStills - User pressed Cancel.");
  }
  return true;
}

bool CVEXACore1::DoMakeDuplicate() {
  static const std::string kPrefix = "CVEXACore1::MakeDuplicate - ";
  util_.ClearPendingErrors();
  if (ui_) ui_->DestroyStatus();
  if (!DoInit(statusLevel_, tempPath_, cleanTempOnRelease_)) {
    return flow_.FailCall(kPrefix + "XML Init call failed.");
  }
  ResetState();
  if (!DoSetFileSystemSupport(fileSystem_)) return flow_.FailCall(kPrefix + "SetFileSystemSupport call failed.");

  CVexaCoreXML& album = *albumXml_;
  auto readFailed = [&](const std::string& text) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(kPrefix + text);
  };
  LONG tv = VEXACoreTVNTSC;
  if (!album.GetTVSystem(&tv)) return readFailed("XML GetTVSystem call failed.");
  if (!DoSetTVSystem(tv)) return flow_.FailCall(kPrefix + "SetTVSystem call failed.");
  LONG delay = 0;
  if (!album.GetStillDelay(&delay)) return readFailed("XML GetStillDelay failed.");
  if (!DoSetStillDelay(delay)) return flow_.FailCall(kPrefix + "SetStillDelay failed.");
  LONG titleTime = 0;
  if (!album.GetStillTitleVisibleTime(&titleTime)) return readFailed("XML GetStillTitleVisibleTime failed.");
  if (!DoSetStillTitleVisibleTime(titleTime)) return flow_.FailCall(kPrefix + "SetStillTitleVisibleTime failed.");
  std::u16string l1, l2, l3;
  if (!album.GetTitleLines(&l1, &l2, &l3)) return readFailed("XML GetTitleLines call failed.");
  if (!l1.empty() || !l2.empty() || !l3.empty()) {
    if (!DoSetTitleLines(base::Utf16ToUtf8(l1), base::Utf16ToUtf8(l2), base::Utf16ToUtf8(l3))) {
      return flow_.FailCall(kPrefix + "SetTitleLines call failed.");
    }
  }
  LONG paper = VEXACorePaperSizeLetter;
  if (!album.GetPaperSize(&paper)) return readFailed("XML GetPaperSize call failed.");
  if (!DoSetPaperSize(paper)) return flow_.FailCall(kPrefix + "SetPaperSize call failed.");
  if (!AddStills(album, "")) return flow_.FailCall(kPrefix + "AddStills call failed.");
  std::string audio, audioName;
  DATE audioTime = 0.0;
  if (!album.GetFirstAudioTrack(&audio, &audioName, &audioTime)) return readFailed("XML GetFirstAudioTrack call failed.");
  if (!audio.empty()) {
    if (!album.ResetAudios()) return readFailed("XML ResetAudios() call failed.");
    if (!DoAddAudioTrack(audio, audioName, audioTime)) return flow_.FailCall(kPrefix + "AddAudioTrack call failed.");
  }
  if (!DoCreateVCD(testMode_, verify_, burnSafe_)) return flow_.FailCall(kPrefix + "CreateVCD call failed.");
  return true;
}

// ---- rejected pictures -------------------------------------------------------------------------

void CVEXACore1::AppendLineBreaks(int count, std::string* text) {
  for (int i = 0; i < count; ++i) *text += "\r\n";
}

bool CVEXACore1::DealWithInvalidStills() {
  flow_.SetCode(VEXACoreSuccess);
  flow_.ShowStatus();
  if (stillCount_ != 0) util_.LogInfo(Format("NUMBER OF IMAGES = %d.", static_cast<int>(stillCount_)));
  std::string line;
  if (!invalidSeen_) {
    if (!noStillsYet_) return true;
    flow_.SetCode(VEXACoreNoStills);
    line = "CVEXACore1::DealWithInvalidStills - User had no images.";
  } else if (validSeen_) {
    flow_.SetCode(VEXACoreInvalidStills);
    util_.LogInfo("CVEXACore1::DealWithInvalidStills - User added some invalid images.");
    if (!flow_.Interactive()) return true;
    std::string text = util_.LoadString(
        4496,
        "The orlune disc creator could not process some of your images.\r\n\r\nThe files may not be supported file "
        "types, or they may be corrupt files.\r\n\r\nClick OK to create a orlune disc without the following images:");
    for (const std::string& path : invalidStills_) {
      AppendLineBreaks(1, &text);
      text += path;
    }
    if (flow_.ShowMessage(kMessageOKCancel, text, nullptr, false, true, false)) return true;
    // Cancel: the user chose not to make the disc without them.
    return flow_.Cancel("CVEXACore1::DealWithInvalidStills - User pressed Cancel.");
  } else if (!noStillsYet_) {
    flow_.SetCode(VEXACoreNoValidStills);
    line = "CVEXACore1::DealWithInvalidStills - User had no valid images.";
  } else {
    flow_.SetCode(VEXACoreNoStills);
    line = "CVEXACore1::DealWithInvalidStills - User had no images.";
  }
  util_.ReportError(line, false);
  flow_.ShowError(util_.LoadString(4483, "The orlune disc creator software could not process any of your image files."));
  return false;
}

// ---- extra files -------------------------------------------------------------------------------

bool CVEXACore1::DoAddFile(const std::string& sourceFile, const std::optional<std::string>& dest8dot3Path,
                           const std::optional<std::string>& destJolietPath, DATE destCtime) {
  flow_.SetCode(VEXACoreSuccess);
  if (!SettleFileSystem("CVEXACore1::AddFile")) return false;
  const std::string& source = sourceFile;
  if (source.empty()) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::AddFile - Empty string passed for source file.");
  }
  if (!base::FileExists(source)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    if (const std::string odd = base::NotRegularFileReason(source); !odd.empty()) {
      return flow_.FailCall(Format("CVEXACore1::AddFile - File is refused: %s.", odd.c_str()));
    }
    return flow_.FailCall(Format("CVEXACore1::AddFile - File does not exist = %s.", source.c_str()));
  }
  if (!driver_ || !driver_->AddFile(sourceFile, dest8dot3Path, destJolietPath, destCtime)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVEXACore1::AddFile - Base AddFile call failed for %s.", source.c_str()));
  }
  return true;
}

bool CVEXACore1::AddExtraODFiles() {
  namespace fs = std::filesystem;
  std::string folder;
  if (!CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_INCLUDE_PATH", &folder)) {
    flow_.ReportProblem();
    return util_.ReportFailure("CVEXACore1::AddExtraODFiles - getRegistryEntry call failed.", false);
  }
  if (folder.empty()) {
    flow_.ReportProblem();
    return util_.ReportFailure("CVEXACore1::AddExtraODFiles - Empty string for temp directory.", false);
  }
  folder = base::ToNativePath(folder);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    flow_.ReportProblem();
    return util_.ReportFailure(Format("CVEXACore1::AddExtraODFiles - not a real directory = %s.", folder.c_str()), false);
  }
  std::vector<fs::directory_entry> entries;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    flow_.ReportProblem();
    return util_.ReportFailure(
        Format("CVEXACore1::AddExtraODFiles - Cannot find any files in directory %s.", folder.c_str()), false);
  }
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) entries.push_back(*it);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& entry : entries) {
    // Sub-folders are not descended.
    if (entry.is_directory(ec)) continue;
    const std::string name = entry.path().filename().string();
    std::string source = base::JoinPath(folder, name);
    if (!DiscCopyOfPage(&source)) {
      flow_.ReportProblem();
      return util_.ReportFailure(
          Format("CVEXACore1::AddExtraODFiles - Cannot write this disc's copy of file %s.", name.c_str()), false);
    }
    if (!DoAddFile(source, "/" + base::ToUpperAscii(name), std::nullopt, 0.0)) {
      return util_.ReportFailure(Format("CVEXACore1::AddExtraODFiles - AddFile call failed for file %s.", name.c_str()),
                                 false);
    }
  }
  return true;
}

// A text page of the include folder (README.TXT, HOMEPAGE.HTM) that keeps
// parts for some discs only in blocks goes on the disc as this disc's copy,
// written to the temporary folder: it tells of the title picture and the
// music only when the disc has them. Any other file goes as it is.
bool CVEXACore1::DiscCopyOfPage(std::string* source) {
  const std::string ext = base::ToUpperAscii(base::Extension(*source));
  if (ext != ".TXT" && ext != ".HTM" && ext != ".HTML") return true;
  std::string text;
  if (!base::ReadFile(*source, &text) || !HasDiscBlocks(text)) return true;
  std::string copy;
  if (!GetTempFilePath(&copy)) return false;
  std::string why;
  if (!base::WriteFileAtomic(copy, KeepDiscBlocks(text, DiscFacts{titleLinesSet_, audioTrackSet_}), &why)) {
    util_.LogError("CVEXACore1::AddExtraODFiles - " + why, false);
    return false;
  }
  *source = copy;
  return true;
}

// ---- title, paper size and the locale's defaults ----------------------------------------------------

bool CVEXACore1::DoSetDefaultTitle() {
  flow_.SetCode(VEXACoreSuccess);
  // Today's date in the user's short form.
  char date[128] = {};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (!loc) loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  const std::size_t n = loc ? strftime_l(date, sizeof(date), "%x", &local, loc) : 0;
  if (loc) freelocale(loc);
  if (n == 0) return flow_.FailCall("CVEXACore1::SetDefaultTitle - Call to ::GetDateFormat() failed.");
  const std::string product = util_.LoadString(4478, "Kv Orlune Disc");
  if (!DoSetTitleLines(date, product, "")) {
    flow_.SetCode(VEXACoreFailure);
    return flow_.FailCall("CVEXACore1::SetDefaultTitle - SetTitleLines call failed.", true);
  }
  return true;
}

bool CVEXACore1::DoSetPaperSize(LONG paperSize) {
  flow_.SetCode(VEXACoreSuccess);
  if (paperSize == VEXACorePaperSizeInvalid) return true;
  if (paperSizeSet_) {
    util_.LogInfo("CVEXACore1::SetPaperSize - Can only set Paper Size once.");
    return true;
  }
  if (!driver_ || !driver_->SetPaperSize(paperSize)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetPaperSize - ODBase SetPaperSize call failed.");
  }
  if (!albumXml_->SetPaperSize(paperSize)) {
    flow_.ReportProblem();
    flow_.SetCode(VEXACoreFailure);
    return flow_.FailCall("CVEXACore1::SetPaperSize - XML SetPaperSize call failed.");
  }
  paperSizeSet_ = true;
  util_.LogInfo(Format("Paper Size = %s.", paperSize == VEXACorePaperSizeA4 ? "A4" : "Letter"));
  return true;
}

bool CVEXACore1::GetTVSystem(LONG* tv) {
  LONG answer = 0;
  if (!locale_ || FAILED(locale_->get_TVSystem(&answer))) {
    return flow_.FailCall("CVEXACore1::GetTVSystem - Call to locale get_TVSystem failed.", true);
  }
  *tv = answer == 1 || answer == 2 ? VEXACoreTVPAL : VEXACoreTVNTSC;
  return true;
}

bool CVEXACore1::GetPaperSize(LONG* paper) {
  LONG answer = 0;
  if (!locale_ || FAILED(locale_->get_PaperSize(&answer))) {
    return flow_.FailCall("CVEXACore1::GetPaperSize - Call to locale get_PaperSize failed.", true);
  }
  *paper = answer == 0 ? VEXACorePaperSizeA4 : VEXACorePaperSizeLetter;
  return true;
}

// ---- the work directory ------------------------------------------------------------------------------

bool CVEXACore1::MakeTempDirectory(std::string* path) {
  // A folder of its own per object, so that two runs side by side never
  // remove each other's files. It names its owner, and the folders of runs
  // that were killed before they could remove theirs go first.
  const std::string made = base::MakeOwnedTempDir(services_.systemTemp, "vexaCoreTemp");
  if (made.empty()) {
    const int why = errno;
    util_.ReportError(Format("CVexaCoreUtil::GetTempFilePath - Couldn't create temp dir! %s: %s",
                             base::JoinPath(services_.systemTemp, "vexaCoreTempXXXXXX").c_str(), std::strerror(why)),
                      false);
    return false;
  }
  *path = made;
  return true;
}

bool CVEXACore1::CheckTempDirectory() {
  static const char kNewOne[] = "CVEXACore1::CheckTempDirectory - Set Temp directory does not exist. Making a new one.";
  if (tempDirectorySet_ && base::Utf8Length(tempPath_) < 3) {
    util_.ReportError(kNewOne, false);
    tempDirectorySet_ = false;
  }
  if (tempDirectorySet_ && !base::DirExists(tempPath_)) {
    // Made for the user alone, as the work folders in the system's
    // temporary folder are: it holds copies of the pictures.
    if (!base::MakePrivateDirs(tempPath_)) {
      util_.ReportError(kNewOne, false);
      tempDirectorySet_ = false;
    }
  }
  if (!tempDirectorySet_) {
    if (!MakeTempDirectory(&tempPath_)) {
      util_.ReportError("CVEXACore1::CheckTempDirectory - Unable to create a temp directory.", false);
      return false;
    }
    tempDirectorySet_ = true;
  }
  return true;
}

bool CVEXACore1::CheckTempSpace() {
  if (!CheckTempDirectory()) {
    util_.ReportError("CVEXACore1::CheckTempSpace - SetTempDirectory call failed.", false);
    return true;
  }
  // The volume the work directory lies on stands for the system's drive.
  tempDrive_ = MountPointOf(tempPath_);
  std::uint64_t free = 0;
  if (!services_.freeSpace(tempPath_, &free)) {
    util_.ReportError("CVEXACore1::CheckTempSpace - GetDiskFreeSpaceEx call failed.", false);
    return true;
  }
  DWORD minimum = 0;
  if (!CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "MIN_TEMP_SPACE", &minimum)) {
    util_.ReportError("CVEXACore1::CheckTempSpace - getRegistryEntry call failed.", false);
    minimum = 200000000;
  }
  requiredMegabytes_ = static_cast<LONG>(minimum / 1000000);
  if (free >= minimum) return true;
  util_.ReportError("CVEXACore1::CheckTempSpace - User has insufficient temp space.", false);
  return false;
}

bool CVEXACore1::ReportTempSpace() {
  flow_.SetCode(VEXACoreInsufficientTempSpace);
  flow_.ShowError(FormatMessageText(util_.LoadString(4549, "You are below %1!d! MB of free remaining disc space on your "
                                                           "%2!s! drive.\r\n\r\nYou must create additional disc space "
                                                           "before you can create a orlune disc."),
                                    {requiredMegabytes_, tempDrive_}));
  return true;
}

bool CVEXACore1::DoSetTempDirectory(const std::string& tempPath, bool doClean) {
  flow_.SetCode(VEXACoreSuccess);
  cleanTempOnRelease_ = doClean;
  // A copy: the caller may hand in the work directory member itself.
  const std::string path = tempPath;
  if (base::Utf8Length(path) < 3) return flow_.FailCall("CVEXACore1::SetTempDirectory - Empty tempPath");
  if (!driver_ || !driver_->SetTempDirectory(path)) {
    return flow_.FailCall(Format("CVEXACore1::SetTempDirectory - ODBase SetTempDirectory call failed for path %s.", path.c_str()),
                true);
  }
  util_.LogInfo(Format("Temp directory set to %s.", path.c_str()));
  tempDirectorySet_ = true;
  return true;
}

bool CVEXACore1::GetTempFilePath(std::string* path) {
  // The system takes the first three letters of the prefix.
  const std::string made = base::MakeTempFile(tempPath_, std::string("vexaTempFile").substr(0, 3));
  if (made.empty()) {
    util_.ReportError(Format("CVEXACore1::GetTempFilePath - GetTempFileName() call failed, error code: %d", errno), false);
    return false;
  }
  *path = made;
  return true;
}

bool CVEXACore1::CleanTempDirectory() {
  if (tempPath_.empty()) {
    util_.LogError("CVEXACore1::CleanTempDirectory - Empty string for temp directory.", false);
    return false;
  }
  // Only the orchestrator's own folder is ever removed.
  std::string leaf = base::BaseName(tempPath_);
  if (leaf.empty()) leaf = base::BaseName(base::DirName(tempPath_));
  if (leaf.find("vexaCoreTemp") == std::string::npos) {
    util_.LogError(Format("CVEXACore1::CleanTempDirectory - Invalid temp directory name = %s.", tempPath_.c_str()), false);
    return false;
  }
  if (!base::DirExists(tempPath_)) {
    util_.LogError(Format("CVEXACore1::CleanTempDirectory - Temp directory does not exist = %s.", tempPath_.c_str()),
                   false);
    return false;
  }
  if (!base::RemoveTreeNoFollow(tempPath_)) {
    util_.LogError(Format("CVEXACore1::CleanTempDirectory - Cannot delete temp directory = %s.", tempPath_.c_str()),
                   false);
    return false;
  }
  return true;
}

// ---- sources on removable media ------------------------------------------------------------------------

bool CVEXACore1::CopyFromWriter(std::string* path) {
  std::string drive;
  if (!DrivePath(&drive)) {
    util_.ReportError("CVEXACore1::CopyFromWriter - GetDrivePath() call failed.", false);
    return false;
  }
  if (drive.empty()) {
    util_.ReportError("CVEXACore1::CopyFromWriter - Empty drive path.", false);
    return false;
  }
  // Only a file on the disc in the writer, which the burn replaces, is copied.
  if (!OnWriterDisc(*path, drive)) return true;
  const std::string extension = base::Extension(base::BaseName(*path));
  if (extension.empty()) {
    util_.ReportError("CVEXACore::CopyFromWriter - No file extension for audio file.", false);
    return false;
  }
  std::string temp;
  if (!GetTempFilePath(&temp)) {
    util_.ReportError("CVEXACore1::CopyFromWriter - Cant get a temporary file.", false);
    return false;
  }
  const std::string copy = temp + extension;
  if (!CopyFileContents(*path, copy)) {
    util_.ReportError("CVEXACore1::CopyFromWriter - Cannot copy original file to temp File.", false);
    return false;
  }
  if (!base::FileExists(copy)) {
    util_.ReportError("CVEXACore1::CopyFromWriter - Temp file is empty.", false);
    return false;
  }
  *path = copy;
  return true;
}

bool CVEXACore1::CheckIfFileExists(const std::string& path, bool* exists, bool isAudio) {
  static const char kCancel[] = "CVEXACore::CheckIfFileExists - User pressed Cancel";
  if (base::FileExists(path)) {
    *exists = true;
    return true;
  }
  *exists = false;
  // Something other than a file stands there (a folder, a pipe): the disc
  // was not taken out, so nobody is asked to put it back; the caller says
  // what stands there.
  if (!flow_.Interactive() || !base::NotRegularFileReason(path).empty()) return true;
  std::string drive;
  if (driver_) {
    driver_->GetDrivePath(&drive);
    util_.ClearPendingErrors();
  }
  const std::string location = RemovableLocation(path, drive);
  if (location.empty()) return true;
  const std::string text =
      isAudio ? util_.LoadString(4551, "You have either removed the disc with your audio file\r\nor there is a media "
                                       "player accessing your disc.\r\n\r\nReinsert the disc into drive %s and close "
                                       "any media players running on your system.")
              : util_.LoadString(4550, "You have removed the disc with your images.\r\n\r\nPlease reinsert that disc "
                                       "into drive %s.\r\n\r\nClick OK to continue.");
  if (!flow_.ShowMessage(kMessageOKCancel, ReplaceFirst(text, "%s", location), nullptr, false, true, false)) {
    return flow_.Cancel(kCancel);
  }
  flow_.SetStatusText(util_.LoadString(4552, "Locating the file on your drive."));
  for (int i = 0; i < 50; ++i) {
    flow_.Wait(std::chrono::milliseconds(1000));
    if (flow_.IsCancelled()) return flow_.Cancel(kCancel);
    if (base::FileExists(path)) {
      *exists = true;
      return true;
    }
    flow_.AdvanceProgress(1, true);
  }
  return true;
}

// ---- drives --------------------------------------------------------------------------------------------

HRESULT CVEXACore1::DoGetNextDrive(VARIANT_BOOL showCDWriterError, VARIANT_BOOL* drivePresent) {
  flow_.SetCode(VEXACoreSuccess);
  if (!drivePresent) return E_POINTER;
  const bool showMessage = showCDWriterError == VARIANT_TRUE && flow_.Interactive() && flow_.errorsShown;
  // No writer at all, or one that cannot be used (in use, a transport
  // setting that cannot be used): the message names which.
  auto noWriter = [&] {
    if (!showMessage) return;
    const std::string why = driver_ ? driver_->NoWriterReason() : std::string();
    const std::string text =
        why.empty() ? std::string(kNoWriterMessage)
                    : FormatMessageText(util_.LoadString(4583, "The orlune disc creator software cannot use the CD "
                                                               "writer:\r\n\r\n%1!s!\r\n\r\nWait until the other "
                                                               "program that uses the writer has ended, or correct "
                                                               "the setting named above, then try again."),
                                        {why});
    flow_.ShowMessage(kMessageOK, text, nullptr, true, false, false);
  };
  if (!driver_ || !driver_->GetNextDrive(drivePresent)) {
    noWriter();
    flow_.SetCode(VEXACoreFailure);
    return Fail("CVEXACore1::GetNextDrive - ODBase GetNextDrive call failed");
  }
  if (*drivePresent != VARIANT_TRUE) noWriter();
  return S_OK;
}

bool CVEXACore1::DrivePath(std::string* path) {
  if (!driver_ || !driver_->GetDrivePath(path)) {
    flow_.SetCode(VEXACoreFailure);
    return flow_.FailCall("CVEXACore1::GetDrivePath - ODBase GetDrivePath call failed");
  }
  return true;
}

HRESULT CVEXACore1::DoGetDrivePath(BSTR* drivePath) {
  if (!drivePath) return E_POINTER;
  *drivePath = nullptr;
  std::string path;
  if (!DrivePath(&path)) return E_FAIL;
  *drivePath = Bstr::FromUtf8(path).Detach();
  return S_OK;
}

HRESULT CVEXACore1::DoGetInquiry(BSTR* driveDescription) {
  if (!driveDescription) return E_POINTER;
  *driveDescription = nullptr;
  if (!driver_ || !driver_->GetInquiry(driveDescription)) {
    flow_.SetCode(VEXACoreFailure);
    return Fail("CVEXACore1::GetInquiry - ODBase GetInquiry call failed");
  }
  return S_OK;
}

}  // namespace vexa::core
