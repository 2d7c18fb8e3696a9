#include "wizard/VEXAWizard1.h"

#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/StopRequest.h"
#include "platform/base/Text.h"
#include "platform/display/Display.h"
#include "wizard/common/Language.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/pages/PropSheet.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/ui/UiHelpers.h"
#include "wizard/update/UpdateCheck.h"

namespace vexa::wiz {

using vexa::com::Bstr;
using vexa::com::ComObject;
using vexa::com::DispatchEntry;
using vexa::com::DispMethod;
using vexa::com::Variant;
using vexa::reg::Hive;

namespace {

constexpr std::size_t kMaxListPathUnits = 2047;
// An image list larger than this is refused as a buffer the wizard will not make.
constexpr std::uint64_t kMaxImageListBytes = 64ull * 1024 * 1024;

std::string Utf8(BSTR b) { return vexa::com::BstrToUtf8(b); }

// The three-letter abbreviation of the system's language, in the form the
// language bundles are named by ("ENU", "DEU", ...).
std::string LanguageAbbreviation() {
  const QLocale locale = QLocale::system();
  const QString name = locale.name();  // "en_US"
  const std::string lang = base::ToLowerAscii(name.left(2).toStdString());
  const std::string country = name.size() >= 5 ? name.mid(3, 2).toUpper().toStdString() : std::string();
  struct Entry {
    const char* lang;
    const char* abbreviation;
  };
  static const Entry kTable[] = {{"de", "DEU"}, {"fr", "FRA"}, {"es", "ESP"}, {"it", "ITA"}, {"ja", "JPN"},
                                 {"nl", "NLD"}, {"sv", "SVE"}, {"da", "DAN"}, {"fi", "FIN"}, {"nb", "NOR"},
                                 {"no", "NOR"}, {"ko", "KOR"}, {"pl", "PLK"}, {"ru", "RUS"}, {"cs", "CSY"}};
  // The C locale shows programs' texts untranslated, in US English.
  if (locale.language() == QLocale::C) return "ENU";
  if (lang == "en") {
    if (country == "GB") return "ENG";
    if (country == "AU") return "ENA";
    if (country == "CA") return "ENC";
    return "ENU";
  }
  if (lang == "pt") return country == "BR" ? "PTB" : "PTG";
  if (lang == "zh") return country == "TW" || country == "HK" ? "CHT" : "CHS";
  for (const Entry& e : kTable)
    if (lang == e.lang) return e.abbreviation;
  return std::string();
}

}  // namespace

bool WindowSystemUsable() {
  return QApplication::instance() != nullptr || display::QtPlatformUsable();
}

void EnsureApplication() {
  if (QApplication::instance()) return;
  // Made for a host without one and kept for the life of the process: the
  // orchestrator's windows live on it too, and Qt cannot take an application
  // object apart once the process has begun to exit.
  static int argc = 1;
  static char name[] = "vexa";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
}

// ---- Creation and release ----------------------------------------------------------------

HRESULT CVEXAWizard1::FinalConstruct() {
  WizServices& m = m_wiz;
  m_startScreen = VEXAWizWelcome;
  m_someInvalid = m_someAdded = m_stillsReset = false;
  m.clean = -1;
  m.errorCode = VEXAWizSuccess;
  m.tempDirectoryGiven = false;
  m.fileSystemGiven = false;
  m.fileSystem = VEXAWizFSDefault;
  m.overCapacityWarn = true;

  if (FAILED(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, m.logger.PutVoid())) ||
      !m.logger) {
    m.logger.Reset();
    return E_FAIL;
  }
  // The wizard is windows and nothing else, and Qt ends the process when it
  // cannot open its window system: without one the wizard is not made, and
  // its creator is told why.
  if (!WindowSystemUsable()) {
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - No display to show the wizard on: " +
                       display::QtPlatformProblem() +
                       " Run it in a desktop session, or make the disc with /r:status or /r:silent.");
  }
  m.tempDirectory.clear();

  std::string abbreviation = LanguageAbbreviation();
  if (abbreviation.size() != 3) {
    m_wiz.LogError("CVEXAWizard1::FinalConstruct - Cannot get 3 letter language abbreviation for loc.", false);
    abbreviation = "ENU";
  }

  std::string resourceAbbreviation;
  if (!CVexaWizUtil::ReadRegistryString(Hive::LocalMachine, kWizProductKey, "APP_LANG_ABBRV", &resourceAbbreviation) ||
      resourceAbbreviation.empty())
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - Cannot get registry entry for resource dll abbrevation.");
  auto language = std::make_unique<CvexaLanguage>();
  if (!language->Load(resourceAbbreviation))
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - Cannot load a resource dll.");
  m.language = std::move(language);

  m_imageExtensions.clear();
  m_audioExtensions.clear();
  if (!m_wiz.GetFilteredImageExtensions(&m_imageExtensions))
    m_wiz.LogError("CVEXAWizard1::FinalConstruct - Cannot get list of image filters.", false);
  if (!m_wiz.GetFilteredAudioExtensions(&m_audioExtensions))
    m_wiz.LogError("CVEXAWizard1::FinalConstruct - Cannot get list of audio filters.", false);

  if (FAILED(CoCreateInstance(CLSID_VEXALocUtil, nullptr, CLSCTX_ALL, IID_IVEXALocUtil, m.locUtil.PutVoid())) ||
      !m.locUtil)
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - Cannot Create locale utility.", true);
  if (FAILED(m.locUtil->Init(Bstr::FromUtf8(abbreviation).Get())))
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - Locale Init call failed.", true);

  // The session album and the settings file live in the user's
  // configuration folder, since the installation folder is read-only.
  m.settings = std::make_unique<CvexaSettingsAccess>();
  const std::string folder = SessionFolder();
  if (!folder.empty()) {
    m.settings->Open(base::JoinPath(folder, "orlunedisc.ini"));
    m_sessionAlbumPath = base::JoinPath(folder, "lastAlbum.xml");
  } else {
    m.settings->OpenInCurrentDirectory("orlunedisc.ini");
    m_sessionAlbumPath = "lastAlbum.xml";
  }

  m.sessionAlbum = std::make_unique<CVexaWizXML>(m_wiz);
  if (!m.sessionAlbum->Init(m_sessionAlbumPath, true))
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - CVexaWizXML::Init() call failed for the session album.");
  if (!m.sessionAlbum->RemoveInvalidStills())
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - CVexaWizXML::RemoveInvalidStills() call failed.");

  // Music on the very first run: the first installed piece that matches.
  if (m.settings->ReadString("setupAudio", "optionSelected").empty()) {
    m.settings->WriteString("setupAudio", "optionSelected", "preInstalled");
    const std::string audioFolder = CVexaWizUtil::GetAudioPath();
    std::string filter = CVexaWizUtil::GetSuppportedAudioFileTypesFilter();
    if (filter.empty()) {
      filter = "*.mp3;*.wav";
      m_wiz.LogError(
          "CVEXAWizard1::FinalConstruct() - CVexaWizUtil::GetSuppportedAudioFileTypesFilter() call failed", false);
    }
    std::string candidate;
    std::size_t pos = 0;
    std::string pattern;
    while (CVexaWizUtil::NextToken(filter, &pos, &pattern, ";")) {
      if (pattern.empty() || audioFolder.empty()) continue;
      CvexaExactFileFind find;
      if (find.FindFile(base::JoinPath(base::ToNativePath(audioFolder), pattern))) {
        find.FindNextFile();
        candidate = find.GetFilePath();
      }
    }
    if (!m.sessionAlbum->AddAudioTrack(candidate, 0.0))
      m_wiz.LogError("CVEXAWizard1::FinalConstruct() - CVexaWizXML::AddAudioTrack() call failed", false);
  }

  if (FAILED(CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_ALL, IID_IVEXAImgUtil, m.imgUtil.PutVoid())) ||
      !m.imgUtil)
    return m_wiz.Error("CVEXAWizard1::FinalConstruct - Cannot create the image utility VEXAImgUtil.", true);
  // The timed update prompt runs once the sheet is shown (CreateVCD).
  return S_OK;
}

void CVEXAWizard1::FinalRelease() {
  WizServices& m = m_wiz;
  // The settings file is written back when it closes.
  m.Reset();
}

// ---- Checks ----------------------------------------------------------------------------------

bool CVEXAWizard1::CheckImageFile(const std::string& path) {
  if (path.empty()) {
    m_wiz.LogError("CVEXAWizard1::CheckImageFile - No Image file passed in.", false);
    return false;
  }
  if (!base::FileExists(path)) {
    m_wiz.LogError(Format("CVEXAWizard1::CheckImageFile - Image file %s does not exist.", path.c_str()), false);
    m_invalidStills.push_back(path);
    m_someInvalid = true;
    return false;
  }
  const std::string pattern = "*." + CvexaPath(path).GetExtension();
  for (const std::string& e : m_imageExtensions)
    if (base::EqualsNoCase(e, pattern)) return true;
  m_wiz.LogError(
      Format("CVEXAWizard1::CheckImageFile - Bad extension = %s for file %s.", pattern.c_str(), path.c_str()), false);
  m_invalidStills.push_back(path);
  m_someInvalid = true;
  return false;
}

bool CVEXAWizard1::CheckAudioFile(const std::string& path, std::string* option, bool* valid) {
  *valid = false;
  const std::string question = m_wiz.LoadString(
      4490,
      "The orlune disc creator software could not process your audio file.\r\n\r\nThe file may not be a supported "
      "file type, or the file may be corrupt.\r\nMake sure that your audio file is WAV, WMA, or MP3 format.\r\n\r\n"
      "Click OK to create a orlune disc without an audio file.");
  auto ask = [&]() {
    EnsureApplication();
    CvexaMessageBox box(m_wiz);
    return box.Show(MB_OKCANCEL, question, true, false, true) == IDOK;
  };
  if (!AudioSourceExists(path)) {
    *option = "noAudio";
    m_wiz.LogError(Format("CVEXAWizard1::CheckAudioFile - Audio file %s does not exist.", path.c_str()), false);
    return ask();
  }
  const std::string extension = CvexaPath(path).GetExtension();
  const std::string pattern = "*." + extension;
  for (const std::string& e : m_audioExtensions) {
    if (base::EqualsNoCase(e, pattern)) {
      *option = "customSelected";
      *valid = true;
      return true;
    }
  }
  if (base::EqualsNoCase(extension, "cda")) {
    *option = "fromAudioCD";
    *valid = true;
    return true;
  }
  *option = "noAudio";
  m_wiz.LogError(
      Format("CVEXAWizard1::CheckAudioFile - Bad extension = %s for file %s.", pattern.c_str(), path.c_str()), false);
  return ask();
}

bool CVEXAWizard1::ResetStillsOnce() {
  if (m_stillsReset) return true;
  if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->ResetStills()) return false;
  m_stillsReset = true;
  return true;
}

bool CVEXAWizard1::DealWithInvalidStills() {
  if (m_invalidStills.empty() && !m_someInvalid) return true;
  if (m_someAdded) {
    m_wiz.LogError(
        "CVEXAWizard1::DealWithInvalidStills - User exited with some valid and some invalid images.", false);
    std::string text = m_wiz.LoadString(
        4487,
        "The orlune disc creator could not process some of your images.\r\n\r\nThe files may not be supported file "
        "types, or they may be corrupt files.\r\n\r\nClick OK to create a orlune disc without the following images:");
    for (const std::string& path : m_invalidStills) text += "\r\n" + path;
    CvexaMessageBox box(m_wiz);
    return box.Show(MB_OKCANCEL, text, true, false, true) == IDOK;
  }
  m_wiz.LogError("CVEXAWizard1::DealWithInvalidStills - User had no valid images.", false);
  const std::string text = m_wiz.LoadString(
      4489,
      "The orlune disc creator software could not process any of your image files.\r\n\r\nThe files may not be "
      "supported file types, or they may be corrupt files.\r\n\r\nTry the following in the order given:\r\n   - Check "
      "your files to make sure they are in supported formats. See Help for details.\r\n   - Try creating the orlune "
      "disc again.");
  CvexaMessageBox box(m_wiz);
  box.Show(MB_OK, text, true, false, true);
  return false;
}

// ---- Interface methods -------------------------------------------------------------------

HRESULT CVEXAWizard1::AddAudioTrack(BSTR audioFile, DATE creationTime) {
  WizServices& m = m_wiz;
  m_wiz.SetErrorCode(VEXAWizSuccess);
  std::string option = "noAudio";
  std::string file = Utf8(audioFile);
  if (file.empty()) {
    m.settings->WriteString("setupAudio", "optionSelected", option);
    if (!m.sessionAlbum->AddAudioTrack(std::string(), creationTime)) {
      m_wiz.SetErrorCode(VEXAWizFailure);
      return m_wiz.Error("CVEXAWizard1::AddAudioTrack - XML Add Audio Track call failed for empty file.");
    }
    return S_OK;
  }
  bool valid = false;
  if (!CheckAudioFile(file, &option, &valid)) {
    m_wiz.SetErrorCode(VEXAWizFailure);
    return m_wiz.Error(Format("CVEXAWizard1::AddAudioTrack - Invalid or corrupt audio file %s.", file.c_str()));
  }
  if (!valid) {
    file.clear();
    m_wiz.LogError(
        "CVEXAWizard1::AddAudioTrack - Check Audio File returned invalid file. User continuing anyway", false);
  }
  if (!m.sessionAlbum->AddAudioTrack(file, creationTime)) {
    m_wiz.SetErrorCode(VEXAWizFailure);
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error(Format("CVEXAWizard1::AddAudioTrack - XML Add Audio Track call failed for file %s.", file.c_str()));
  }
  m.settings->WriteString("setupAudio", "optionSelected", option);
  return S_OK;
}

HRESULT CVEXAWizard1::AddStill(BSTR stillFile, BSTR stillTitle, DATE creationTime,
                               VEXAWizPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                               VARIANT_BOOL isTitleStill) {
  m_wiz.SetErrorCode(VEXAWizSuccess);
  if (!ResetStillsOnce()) {
    m_wiz.SetErrorCode(VEXAWizFailure);
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::AddStill - XML ResetStills call failed.");
  }
  const std::string path = Utf8(stillFile);
  if (path.empty()) {
    m_wiz.SetErrorCode(VEXAWizBadImageFile);
    return m_wiz.Error("CVEXAWizard1::AddStill() - Empty still parameter.");
  }
  if (!CheckImageFile(path)) {
    m_wiz.SetErrorCode(VEXAWizBadImageFile);
    return m_wiz.Error(Format("CVEXAWizard1::AddStill() - Bad Image file %s.", path.c_str()));
  }
  if (!m_wiz.sessionAlbum->AddStill(path, rotateDegrees, creationTime, Utf8(stillTitle), pictureSizingBehaviour,
                                    isTitleStill)) {
    m_wiz.SetErrorCode(VEXAWizFailure);
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error(Format("CVEXAWizard1::AddStill() - XML AddStill call failed for image %s.", path.c_str()));
  }
  m_someAdded = true;
  return S_OK;
}

HRESULT CVEXAWizard1::SetFileSystemSupport(VEXAWizFileSystemSupport fileSystem) {
  m_wiz.SetErrorCode(VEXAWizSuccess);
  m_wiz.fileSystem = fileSystem;
  m_wiz.fileSystemGiven = true;
  return S_OK;
}

HRESULT CVEXAWizard1::SetStillDelay(LONG delay) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (delay < 2) {
    m_wiz.SetErrorCode(VEXAWizStillDelayTooSmall);
    return m_wiz.Error(Format("CVEXAWizard1::SetStillDelay - Delay set below minimum of %d. Delay = %d.", 2,
                           static_cast<int>(delay)));
  }
  if (delay > 10) {
    m_wiz.SetErrorCode(VEXAWizStillDelayTooLarge);
    return m_wiz.Error(Format("CVEXAWizard1::SetStillDelay - Delay set above maximum of %d. Delay = %d.", 10,
                           static_cast<int>(delay)));
  }
  if (!m_wiz.sessionAlbum->SetStillDelay(delay)) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error(
        Format("CVEXAWizard1::SetStillDelay - Cannot set still delay for value %d.", static_cast<int>(delay)));
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::SetStillTitleVisibleTime(LONG delay) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (!m_wiz.sessionAlbum->SetStillTitleVisibleTime(delay)) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::SetStillTitleVisibleTime() - XML SetStillTitleVisibleTime call failed.");
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::SetTVSystem(VEXAWizTVSystem tvSystem) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (!m_wiz.sessionAlbum->SetTVSystem(tvSystem)) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::SetTVSystem() - XML SetTVSystem call failed.");
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::SetTitleLines(BSTR title1, BSTR title2, BSTR title3) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  const std::string l1 = Utf8(title1), l2 = Utf8(title2), l3 = Utf8(title3);
  if (l1.empty() && l2.empty() && l3.empty()) {
    m_wiz.SetErrorCode(VEXAWizNoTitleLines);
    return m_wiz.Error("CVEXAWizard1::SetTitleLines - All blank title lines.");
  }
  if (!m_wiz.sessionAlbum->SetTitleLines(l1, l2, l3)) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::SetTitleLines - XML SetTitleLines call failed.");
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::SetStartScreen(VEXAWizStartScreen startScreen) {
  m_wiz.SetErrorCode(VEXAWizSuccess);
  m_startScreen = startScreen;
  return S_OK;
}

HRESULT CVEXAWizard1::SetBurnSpeed(LONG burnSpeed) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (burnSpeed < 1) {
    m_wiz.SetErrorCode(VEXAWizInvalidBurnSpeed);
    return m_wiz.Error("CVEXAWizard1::SetBurnSpeed - Input Speed <= 0");
  }
  m_wiz.settings->WriteNumber("settings", "selectedBurnSpeed", burnSpeed);
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::AddImageListFile(BSTR imageListFilePath) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (!ResetStillsOnce()) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::AddImageListFile - XML ResetStills call failed.");
  }
  const std::string listPath = Utf8(imageListFilePath);
  if (listPath.empty()) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error("CVEXAWizard1::AddImageListFile - No image file passed.");
  }
  base::InputFile in;
  if (!in.Open(listPath)) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error(Format("CVEXAWizard1::AddImageListFile - Invalid image file passed: %s", listPath.c_str()));
  }
  if (in.IsRegular() && in.Size() < 2) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error(Format("CVEXAWizard1::AddImageListFile - Invalid image file size for: %s", listPath.c_str()));
  }
  if (in.Size() > kMaxImageListBytes) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error(Format("CVEXAWizard1::AddImageListFile - Cannot create buffer to read file: %s", listPath.c_str()));
  }
  std::string bytes(static_cast<std::size_t>(in.Size()), '\0');
  const long long got = bytes.empty() ? 0 : in.ReadSome(bytes.data(), bytes.size());
  if (got <= 0) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error(Format("CVEXAWizard1::AddImageListFile - Read failed for file: %s", listPath.c_str()));
  }
  if (static_cast<std::size_t>(got) < bytes.size()) {
    m_wiz.LogError(Format("CVEXAWizard1::AddImageListFile - Incomplete Read of file: %s", listPath.c_str()),
                   false);
    bytes.resize(static_cast<std::size_t>(got));
  }
  // The list in UTF-16 (its own form) or UTF-8, a byte-order mark left out.
  for (const base::PathListEntry& entry : base::PathListEntries(bytes)) {
    if (entry.units > kMaxListPathUnits) {
      m_wiz.LogError(Format("CVEXAWizard1::AddImageListFile - Path longer than 2047 characters (%zu) skipped: %s...",
                            entry.units, base::Utf8CutBytes(entry.path, 60).c_str()),
                     false);
      continue;
    }
    const std::u16string path = base::Utf8ToUtf16(entry.path);
    if (path.empty()) {
      m_wiz.LogError("CVEXAWizard1::AddImageListFile - Empty file path found.", false);
      continue;
    }
    Bstr b(path);
    Bstr empty(u"");
    if (SUCCEEDED(AddStill(b.Get(), empty.Get(), 0.0, VEXAWizResizePicture, 0, VARIANT_FALSE))) continue;
    const std::string text = Format("CVEXAWizard1::AddImageListFile - Invalid still path: %s.", listPath.c_str());
    if (m_wiz.errorCode == VEXAWizFailure) return m_wiz.Error(text);
    m_wiz.LogError(text, true);
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::AddImageDirectory(BSTR imagedirectoryPath) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (!ResetStillsOnce()) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::AddImageDirectory - XML ResetStills call failed.");
  }
  const std::string dir = Utf8(imagedirectoryPath);
  if (dir.empty() || !base::DirExists(dir)) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error(Format("CVEXAWizard::AddImageDirectory - Invalid image directory or directory does not exist: %s",
                           dir.c_str()));
  }
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec);
  if (ec) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error(Format("CVEXAWizard1::AddImageDirectory - No files in image directory: %s", dir.c_str()));
  }
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::error_code e2;
    if (it->is_directory(e2)) continue;
    names.push_back(it->path().filename().string());
  }
  // The files in name order, as a directory listing gives them.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return base::LessNoCase(a, b) || (!base::LessNoCase(b, a) && a < b);
  });
  for (const std::string& name : names) {
    Bstr b = Bstr::FromUtf8(base::JoinPath(dir, name));
    Bstr empty(u"");
    if (SUCCEEDED(AddStill(b.Get(), empty.Get(), 0.0, VEXAWizResizePicture, 0, VARIANT_FALSE))) continue;
    const std::string text = Format("CVEXAWizard1::AddImageDirectory - Invalid still path: %s.", dir.c_str());
    if (m_wiz.errorCode == VEXAWizFailure) return m_wiz.Error(text);
    m_wiz.LogError(text, true);
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

bool CVEXAWizard1::AddStills(const StillList& list) {
  for (const auto& record : list) {
    if (!record) {
      m_wiz.LogError("CVEXAWiz1::AddStills - Cannot get a still.", false);
      return false;
    }
    std::string path, title;
    LONG rotation = 0, sizing = 0;
    DATE ctime = 0;
    VARIANT_BOOL isTitle = VARIANT_FALSE;
    if (!record->GetStillInfo(&path, &title, &rotation, &ctime, &sizing, &isTitle))
      m_wiz.LogError("CVEXAWiz1::AddStills - Still has no content.", false);
    // The picture's title-picture mark goes along with its other values.
    if (SUCCEEDED(AddStill(Bstr::FromUtf8(path).Get(), Bstr::FromUtf8(title).Get(), ctime,
                           static_cast<VEXAWizPictureSizingBehaviour>(sizing), rotation, isTitle)))
      continue;
    m_wiz.LogError(Format("CVEXAWiz1::AddStills - AddStill call failed for path %s.", path.c_str()), true);
    if (m_wiz.errorCode == VEXAWizFailure) return false;
  }
  return true;
}

HRESULT CVEXAWizard1::AddAlbumFile(BSTR albumFilePath, VEXAWizAlbumFormat albumFormat) {
  WizServices& m = m_wiz;
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (!ResetStillsOnce()) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::AddAlbumFile - XML ResetStills call failed on the stored session.");
  }
  const std::string path = Utf8(albumFilePath);
  if (path.empty()) {
    m_wiz.SetErrorCode(VEXAWizInvalidInputFile);
    return m_wiz.Error("CVEXAWizard1::AddAlbumFile - Invalid input file.");
  }
  StillList list;
  if (albumFormat == VEXAWizXML) {
    auto album = std::make_unique<CVexaWizXML>(m_wiz);
    if (!album->Init(path, true)) {
      EnsureApplication();
      ShowFailureMessage(m_wiz);
      return m_wiz.Error("CVEXAWizard1::AddAlbumFile - Cannot initialize Wiz XML object.");
    }
    m.sessionAlbum = std::move(album);
    std::string track;
    DATE date = 0;
    bool present = false;
    if (!m.sessionAlbum->GetFirstAudioTrack(&track, &date, &present)) {
      EnsureApplication();
      ShowFailureMessage(m_wiz);
      return m_wiz.Error("CVEXAWizard1::AddAlbumFile - XML GetFirstAudioTrack call failed.");
    }
    if (!track.empty()) {
      if (!m.sessionAlbum->ResetAudios()) {
        EnsureApplication();
        ShowFailureMessage(m_wiz);
        m_wiz.LogError("CVEXAWizard1::AddAlbumFile - XML ResetAudios call failed.", false);
      }
      if (FAILED(AddAudioTrack(Bstr::FromUtf8(track).Get(), date))) {
        if (m.errorCode == VEXAWizFailure) return m_wiz.Error("CVEXAWizard1::AddAlbumFile - AddAudioTrack call failed.");
        m_wiz.LogError("CVEXAWizard1::AddAlbumFile - AddAudioTrack call failed.", true);
      }
    }
    if (!m.sessionAlbum->GetAllStills(&list)) {
      EnsureApplication();
      ShowFailureMessage(m_wiz);
      return m_wiz.Error("CVEXAWizard1::AddAlbumFile - XML GetAllStills call failed.");
    }
    if (!m.sessionAlbum->ResetStills()) {
      EnsureApplication();
      ShowFailureMessage(m_wiz);
      return m_wiz.Error("CVEXAWizard1::AddAlbumFile - XML ResetStills call failed on the loaded album.");
    }
    m_stillsReset = true;
  } else if (albumFormat == VEXAWizCueXML) {
    CVexaWizXML marwick(m_wiz);
    if (!marwick.Init(path, false)) {
      EnsureApplication();
      ShowFailureMessage(m_wiz);
      return m_wiz.Error("CVEXAWizard1::AddAlbumFile - Call to WizXML Init failed for marwick album.");
    }
    if (!marwick.GetAllStills(&list)) {
      EnsureApplication();
      ShowFailureMessage(m_wiz);
      return m_wiz.Error("CVEXAWizard1::AddAlbumFile - XML GetAllStills call failed.");
    }
  }
  if (!AddStills(list)) {
    if (m.errorCode == VEXAWizFailure) return m_wiz.Error("CVEXAWizard1::AddAlbumFile - AddStills call failed.");
    m_wiz.LogError("CVEXAWizard1::AddAlbumFile - AddStills call failed.", false);
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::SetPaperSize(VEXAWizPaperSize paperSize) {
  m_wiz.SetErrorCode(VEXAWizFailure);
  if (!m_wiz.sessionAlbum->SetPaperSize(paperSize)) {
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::SetPaperSize - XML SetPaperSize call failed.");
  }
  m_wiz.SetErrorCode(VEXAWizSuccess);
  return S_OK;
}

HRESULT CVEXAWizard1::GetErrorCode(VEXAWizErrorCode* errorCode) {
  if (!errorCode) return E_POINTER;
  *errorCode = m_wiz.errorCode;
  return S_OK;
}

HRESULT CVEXAWizard1::Init(BSTR tempDirectory, VARIANT_BOOL doClean) {
  m_wiz.SetErrorCode(VEXAWizSuccess);
  if (SysStringLen(tempDirectory) >= 3) {
    m_wiz.tempDirectory = Utf8(tempDirectory);
    m_wiz.clean = doClean;
    m_wiz.tempDirectoryGiven = true;
  }
  return S_OK;
}

HRESULT CVEXAWizard1::SetDefaultTitle() {
  m_wiz.SetErrorCode(VEXAWizSuccess);
  const base::CalendarTime now = m_wiz.clock->LocalNow();
  const QDate date(now.year, now.month, now.day);
  const std::string text = QLocale::system().toString(date, QLocale::ShortFormat).toStdString();
  if (!date.isValid() || text.empty()) {
    m_wiz.SetErrorCode(VEXAWizFailure);
    return m_wiz.Error("CVEXAWizard1::SetDefaultTitle - Call to ::GetDateFormat() failed.");
  }
  const std::string product = m_wiz.LoadString(4478, "Kv Orlune Disc");
  if (!m_wiz.sessionAlbum->SetTitleLines(text, product, std::string())) {
    m_wiz.SetErrorCode(VEXAWizFailure);
    EnsureApplication();
    ShowFailureMessage(m_wiz);
    return m_wiz.Error("CVEXAWizard1::SetDefaultTitle - XML SetTitleLines call failed.");
  }
  return S_OK;
}

HRESULT CVEXAWizard1::CreateVCD() {
  WizServices& m = m_wiz;
  EnsureApplication();
  QPixmap watermark, header;
  if (m.language) {
    watermark = m.language->Bitmap(192);
    header = m.language->Bitmap(193);
  }
  if (!DealWithInvalidStills()) return m_wiz.Error("CVEXAWizard1::CreateVCD - DealWithInvalidStills call failed.");
  // While the sheet is up each change of the album is written soon after
  // the action that made it, so a killed program keeps the user's pictures.
  m.sessionAlbum->WriteSoonAfterChanges(m_sessionAlbumPath);

  const std::string caption = m_wiz.LoadString(1, "Kv Orlune Disc Creator Software");
  CvexaPropSheet sheet(m_wiz, QString::fromStdString(caption), nullptr, m_startScreen, watermark, header);

  m.burner = std::make_unique<CVexaODVisual>(m_wiz);
  if (!m.burner->Init()) {
    m.burner.reset();
    return m_wiz.Error("CVEXAWizard1::CreateVCD - Could not Initiallize visual class");
  }
  std::string cache;
  if (!CVexaWizUtil::CreateCacheDirectory(&cache))
    return m_wiz.Error("CVEXAWizard1::CreateVCD - Could not create cache directory");
  sheet.SetCacheDirectory(cache);
  // The timed update prompt runs once the sheet is up, never inside the
  // wizard object's construction.
  QTimer::singleShot(0, &sheet, [this, &sheet] {
    if (CheckForUpdatePrompt(m_wiz, &sheet) == UpdateOutcome::CloseWizard) sheet.CloseWithoutAsking();
  });
  // A request to stop the program (a signal) closes the wizard as its
  // Cancel does, without asking. While the disc is made the sheet is hidden
  // and the orchestrator cancels the burn itself.
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, &sheet, [&sheet] {
    if (base::StopSignal() != 0 && sheet.isVisible()) sheet.CloseWithoutAsking();
  });
  stopWatch.start(200);
  sheet.RunModal();

  if (!m.sessionAlbum->SetTitleLines(std::string(), std::string(), std::string()))
    m_wiz.LogError("CVEXAWizard1::CreateVCD() - CVexaWizXML::SetTitleLines() call failed", false);
  if (!m.sessionAlbum->WriteOutSessionXML(m_sessionAlbumPath))
    m_wiz.LogError("CVEXAWizard1::CreateVCD() - CVexaWizXML::WriteOutSessionXML() call failed", false);
  return S_OK;
}

// ---- IDispatch ---------------------------------------------------------------------------------

namespace {

template <typename A>
struct DispArg;
template <VARTYPE kVt>
struct DispIn {
  Variant value;
  HRESULT Load(VARIANT* v) { return vexa::com::detail::CoerceArgument(v, kVt, &value); }
};
template <>
struct DispArg<BSTR> : DispIn<VT_BSTR> {
  BSTR Get() { return value.bstrVal; }
};
template <>
struct DispArg<LONG> : DispIn<VT_I4> {
  LONG Get() { return value.lVal; }
};
template <>
struct DispArg<DATE> : DispIn<VT_DATE> {
  DATE Get() { return value.date; }
};
template <>
struct DispArg<VARIANT_BOOL> : DispIn<VT_BOOL> {
  VARIANT_BOOL Get() { return value.boolVal; }
};
template <typename E>
  requires std::is_enum_v<E>
struct DispArg<E> : DispIn<VT_I4> {
  E Get() { return static_cast<E>(value.lVal); }
};
template <>
struct DispArg<VEXAWizErrorCode*> {
  LONG* target = nullptr;
  HRESULT Load(VARIANT* v) {
    if (v->vt != (VT_BYREF | VT_I4) || !v->byref) return DISP_E_TYPEMISMATCH;
    target = static_cast<LONG*>(v->byref);
    return S_OK;
  }
  VEXAWizErrorCode* Get() { return reinterpret_cast<VEXAWizErrorCode*>(target); }
};

template <typename M>
struct MethodArgs;
template <typename C, typename... A>
struct MethodArgs<HRESULT (C::*)(A...)> {
  using Tuple = std::tuple<DispArg<A>...>;
  static constexpr std::size_t kCount = sizeof...(A);
};

template <auto Method>
HRESULT InvokeMethod(CVEXAWizard1* self, DISPPARAMS* params, VARIANT*) {
  using Args = MethodArgs<decltype(Method)>;
  if (params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
  if (params->cArgs != Args::kCount) return DISP_E_BADPARAMCOUNT;
  typename Args::Tuple args;
  HRESULT hr = S_OK;
  std::size_t i = 0;
  std::apply([&](auto&... a) { ((hr = SUCCEEDED(hr) ? a.Load(&params->rgvarg[Args::kCount - 1 - i++]) : hr), ...); },
             args);
  if (FAILED(hr)) return hr;
  return std::apply([&](auto&... a) { return (self->*Method)(a.Get()...); }, args);
}

}  // namespace

std::span<const DispatchEntry<CVEXAWizard1>> CVEXAWizard1::DispatchTable() {
  static const DispatchEntry<CVEXAWizard1> kTable[] = {
      DispMethod<CVEXAWizard1>(1, u"AddAudioTrack", &InvokeMethod<&CVEXAWizard1::AddAudioTrack>),
      DispMethod<CVEXAWizard1>(2, u"AddStill", &InvokeMethod<&CVEXAWizard1::AddStill>),
      DispMethod<CVEXAWizard1>(3, u"SetFileSystemSupport", &InvokeMethod<&CVEXAWizard1::SetFileSystemSupport>),
      DispMethod<CVEXAWizard1>(4, u"SetStillDelay", &InvokeMethod<&CVEXAWizard1::SetStillDelay>),
      DispMethod<CVEXAWizard1>(5, u"SetStillTitleVisibleTime",
                               &InvokeMethod<&CVEXAWizard1::SetStillTitleVisibleTime>),
      DispMethod<CVEXAWizard1>(6, u"SetTVSystem", &InvokeMethod<&CVEXAWizard1::SetTVSystem>),
      DispMethod<CVEXAWizard1>(7, u"SetTitleLines", &InvokeMethod<&CVEXAWizard1::SetTitleLines>),
      DispMethod<CVEXAWizard1>(8, u"CreateVCD", &InvokeMethod<&CVEXAWizard1::CreateVCD>),
      DispMethod<CVEXAWizard1>(9, u"SetStartScreen", &InvokeMethod<&CVEXAWizard1::SetStartScreen>),
      DispMethod<CVEXAWizard1>(10, u"SetBurnSpeed", &InvokeMethod<&CVEXAWizard1::SetBurnSpeed>),
      DispMethod<CVEXAWizard1>(11, u"AddImageListFile", &InvokeMethod<&CVEXAWizard1::AddImageListFile>),
      DispMethod<CVEXAWizard1>(12, u"AddImageDirectory", &InvokeMethod<&CVEXAWizard1::AddImageDirectory>),
      DispMethod<CVEXAWizard1>(13, u"AddAlbumFile", &InvokeMethod<&CVEXAWizard1::AddAlbumFile>),
      DispMethod<CVEXAWizard1>(14, u"SetPaperSize", &InvokeMethod<&CVEXAWizard1::SetPaperSize>),
      DispMethod<CVEXAWizard1>(15, u"GetErrorCode", &InvokeMethod<&CVEXAWizard1::GetErrorCode>),
      DispMethod<CVEXAWizard1>(16, u"Init", &InvokeMethod<&CVEXAWizard1::Init>),
      DispMethod<CVEXAWizard1>(17, u"SetDefaultTitle", &InvokeMethod<&CVEXAWizard1::SetDefaultTitle>),
  };
  return kTable;
}

HRESULT CreateVEXAWizard1(REFIID iid, void** ppv) { return ComObject<CVEXAWizard1>::CreateInstance(iid, ppv); }

}  // namespace vexa::wiz
