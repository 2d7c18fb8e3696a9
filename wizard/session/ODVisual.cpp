#include "wizard/session/ODVisual.h"

#include "wizard/common/WizUtil.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

using vexa::com::Bstr;
using vexa::com::Variant;

namespace {
bool Fail(const WizServices& wiz, const std::string& text, bool withComError) {
  wiz.LogError(text, withComError);
  return false;
}

LONG CoreFileSystem(LONG value) {
  switch (value) {
    case VEXACoreFSISO9660:
    case VEXACoreFSJOLIET:
    case VEXACoreFSUDF15: return value;
    default: return VEXACoreFSDefault;
  }
}
}  // namespace

std::string CollapseBlanks(std::string text) {
  for (const char* run : {"    ", "   ", "  "}) {
    const std::string r(run);
    std::size_t pos = 0;
    while ((pos = text.find(r, pos)) != std::string::npos) text.replace(pos, r.size(), " "), ++pos;
  }
  return text;
}

CVexaODVisual::CVexaODVisual(WizServices& wiz) : m_wiz(wiz) { m_wiz.SetErrorCode(VEXAWizSuccess); }

CVexaODVisual::~CVexaODVisual() = default;

bool CVexaODVisual::Init() {
  DWORD speed = 0;
  if (!CVexaWizUtil::ReadRegistryDword(vexa::reg::Hive::LocalMachine, kWizProductKey, "DEFAULT_BURNSPEED", &speed) ||
      speed == 0 || speed > 0x7fffffffu) {
    m_defaultBurnSpeed = 2;
    m_wiz.LogError("CVexaODVisual::Init - Invalid default speed from registry.", false);
  } else {
    m_defaultBurnSpeed = static_cast<LONG>(speed);
  }
  if (FAILED(CoCreateInstance(CLSID_VEXACore1, nullptr, CLSCTX_ALL, IID_IVEXACore1, m_core.PutVoid())) || !m_core) {
    m_core.Reset();
    return Fail(m_wiz, "CVexaODVisual::Init - Core creation failed.", true);
  }
  if (FAILED(m_core->SetLoggingLevel(VARIANT_FALSE)))
    m_wiz.LogError("CVexaODVisual::Init - Cannot Set Logging level in Core COM component.", true);
  Bstr temp = Bstr::FromUtf8(m_wiz.tempDirectory);
  if (SUCCEEDED(m_core->Init(VEXACoreShowStatusAll, temp.Get(), m_wiz.clean))) {
    m_driveReady = true;
    return true;
  }
  m_wiz.LogError("CVexaODVisual::Init - Cannot Initialize Core COM component.", true);
  VEXACoreErrorCode code = VEXACoreSuccess;
  if (SUCCEEDED(m_core->GetErrorCode(&code)) && code == VEXACoreNoCDWriter) {
    m_wiz.LogError("CVexaODVisual::Init - NO CD Writer present on system.", true);
    m_driveReady = false;
    return true;
  }
  m_core.Reset();
  return false;
}

bool CVexaODVisual::EstimateImage(const std::vector<std::string>& stills, bool titleStill, LONG stillDelay,
                                  const std::string& music, std::int64_t* sectors, std::int64_t* discSectors) {
  vexa::com::ComPtr<IVEXACoreImageEstimate> estimate;
  if (!m_core || FAILED(m_core->QueryInterface(IID_IVEXACoreImageEstimate, estimate.PutVoid())) || !estimate)
    return Fail(m_wiz, "CVexaODVisual::EstimateImage - The orchestrator gives no image estimate.", false);
  std::vector<Bstr> names;
  std::vector<BSTR> files;
  for (const std::string& still : stills) names.push_back(Bstr::FromUtf8(still));
  for (Bstr& name : names) files.push_back(name.Get());
  LONGLONG image = 0, disc = 0;
  if (FAILED(estimate->EstimateImage(files.data(), static_cast<LONG>(files.size()),
                                     titleStill ? VARIANT_TRUE : VARIANT_FALSE, stillDelay,
                                     Bstr::FromUtf8(music).Get(), &image, &disc)))
    return Fail(m_wiz, "CVexaODVisual::EstimateImage - Core EstimateImage call failed.", true);
  *sectors = image;
  *discSectors = disc;
  return true;
}

bool CVexaODVisual::GetDefaultBurnSpeed(LONG* speed) const {
  *speed = m_defaultBurnSpeed;
  return true;
}

bool CVexaODVisual::GetNextDrive(bool showError) {
  if (!m_core) return Fail(m_wiz, "CVexaODVisual::GetNextDrive - Core GetNextDrive failed", false);
  VARIANT_BOOL present = VARIANT_FALSE;
  if (FAILED(m_core->GetNextDrive(showError ? VARIANT_TRUE : VARIANT_FALSE, &present)))
    return Fail(m_wiz, "CVexaODVisual::GetNextDrive - Core GetNextDrive failed", true);
  if (present == VARIANT_FALSE) return Fail(m_wiz, "CVexaODVisual::GetNextDrive - No valid drive is present.", true);
  return true;
}

bool CVexaODVisual::EnsureDrive(bool showError) {
  if (!m_driveReady && GetNextDrive(showError)) m_driveReady = true;
  return m_driveReady;
}

bool CVexaODVisual::GetDriveSpeeds(std::vector<LONG>* speeds) {
  if (!EnsureDrive(false)) return true;
  speeds->clear();
  Variant reply;
  if (FAILED(m_core->GetDriveSpeeds(reply.Out())))
    return Fail(m_wiz, "CVexaODVisual::GetDriveSpeeds - Core GetDriveSpeeds call failed.", true);
  VARTYPE element = VT_EMPTY;
  if (!(reply.vt & VT_ARRAY) || !reply.parray || FAILED(SafeArrayGetVartype(reply.parray, &element)) ||
      (element & 3) == 0)
    return Fail(m_wiz, "CVexaODVisual::GetDriveSpeeds - drive Speed list is invalid.", false);
  LONG low = 0, high = -1;
  if (FAILED(SafeArrayGetUBound(reply.parray, 1, &high)) || FAILED(SafeArrayGetLBound(reply.parray, 1, &low)))
    return Fail(m_wiz, "CVexaODVisual::GetDriveSpeeds - drive Speed list is invalid. Cannot get upper and lower bounds.",
                false);
  for (LONG i = low; i <= high; ++i) {
    Variant v;
    HRESULT hr = E_FAIL;
    if (element == VT_I4) {
      LONG x = 0;
      hr = SafeArrayGetElement(reply.parray, &i, &x);
      v = Variant::I4(x);
    } else if (element == VT_I2) {
      SHORT x = 0;
      hr = SafeArrayGetElement(reply.parray, &i, &x);
      v = Variant::I4(x);
    } else if (element == VT_VARIANT) {
      hr = SafeArrayGetElement(reply.parray, &i, static_cast<VARIANT*>(&v));
      if (SUCCEEDED(hr)) hr = v.ChangeType(VT_I4);
    } else if (element == VT_R8 || element == VT_R4) {
      double x = 0;
      float f = 0;
      hr = SafeArrayGetElement(reply.parray, &i, element == VT_R8 ? static_cast<void*>(&x) : static_cast<void*>(&f));
      v = Variant::I4(static_cast<LONG>(element == VT_R8 ? x : f));
    }
    if (SUCCEEDED(hr)) speeds->push_back(v.lVal);
  }
  if (speeds->empty()) return Fail(m_wiz, "CVexaODVisual::GetDriveSpeeds - Cannot get any drive speeds.", false);
  return true;
}

bool CVexaODVisual::GetBurnSpeed(LONG requested, LONG* speed) {
  std::vector<LONG> speeds;
  if (!GetDriveSpeeds(&speeds)) {
    *speed = m_defaultBurnSpeed;
    return Fail(m_wiz, "CVexaODVisual::GetBurnSpeed - GetDriveSpeeds call failed.", false);
  }
  if (requested < 1) requested = m_defaultBurnSpeed;
  if (speeds.empty()) {
    *speed = m_defaultBurnSpeed;
    return Fail(m_wiz, "CVexaODVisual::GetBurnSpeed - GetDriveSpeeds returned no drive speeds.", false);
  }
  for (LONG s : speeds) {
    if (s == requested) {
      *speed = s;
      return true;
    }
  }
  for (LONG r = requested - 1; r > 0; --r) {
    for (std::size_t i = 1; i < speeds.size(); ++i) {
      if (speeds[i] == r) {
        *speed = r;
        return true;
      }
    }
  }
  *speed = speeds.front();
  m_wiz.LogError(
      Format("CVexaODVisual::GetBurnSpeed - Burn speed does not match any drive speeds. Using slowest speed %d",
             static_cast<int>(*speed)),
      false);
  return true;
}

bool CVexaODVisual::GetTrackInfo(const std::string& track, LONG* trackSize, double* playTime, LONG* timeToRip) {
  if (track.empty()) return Fail(m_wiz, "CVexaODVisual::GetTrackInfo - Empty track argument.", false);
  if (!m_core || FAILED(m_core->GetTrackInfo(Bstr::FromUtf8(track).Get(), trackSize, playTime, timeToRip)))
    return Fail(m_wiz, "CVexaODVisual::GetTrackInfo - Core GetTrackInfo call failed.", true);
  return true;
}

bool CVexaODVisual::GetDrivePath(std::string* text) {
  Bstr path;
  if (!m_core || FAILED(m_core->GetDrivePath(path.Out()))) {
    text->clear();
    return Fail(m_wiz, "CVexaODVisual::GetDrivePath - Core GetDrivePath failed", true);
  }
  *text = path.Utf8();
  return true;
}

bool CVexaODVisual::GetDriveDescription(std::string* text) {
  text->clear();
  if (!EnsureDrive(false)) return true;
  Bstr path;
  if (FAILED(m_core->GetDrivePath(path.Out()))) {
    text->clear();
    return Fail(m_wiz, "CVexaODVisual::GetDriveDescription - Core GetDrivePath failed", true);
  }
  std::string description;
  if (path.Length() > 0) description = "(" + path.Utf8() + ":) ";
  Bstr inquiry;
  if (FAILED(m_core->GetInquiry(inquiry.Out()))) {
    text->clear();
    return Fail(m_wiz, "CVexaODVisual::GetDriveDescription - Core GetInquiry failed", true);
  }
  description += inquiry.Utf8();
  *text = CollapseBlanks(std::move(description));
  return true;
}

bool CVexaODVisual::CreateVCD() {
  if (!m_core || !EnsureDrive(true)) return false;
  WizServices& m = m_wiz;
  if (!m.fileSystemGiven) {
    if (!SetFileSystemSupport(m.fileSystem))
      m_wiz.LogError("CVexaODVisual::CreateVCD - SetFileSystemSupport call failed for default.", true);
  } else if (FAILED(m_core->SetFileSystemSupport(static_cast<VEXACoreFileSystemSupport>(CoreFileSystem(m.fileSystem))))) {
    // A file system chosen through the wizard's own setter reaches every
    // orchestrator this process burns with.
    m_wiz.LogError("CVexaOdVisual::SetFileSystemSupport - Core SetFileSystemSupport call failed.", true);
    m_wiz.LogError("CVexaODVisual::CreateVCD - SetFileSystemSupport call failed for default.", false);
  }
  if (!SetTVSystem()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - SetTVSystem call failed.", false);
  if (!SetStillDelay()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - SetStillDelay failed.", false);
  if (!SetStillTitleVisibleTime()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - Core SetStillTitleVisibleTime failed.", false);
  if (!SetTitleLines()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - SetTitleLines call failed.", false);
  if (!SetPaperSize()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - SetPaperSize call failed.", false);
  if (!AddAudioTrack()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - AddAudioTrack call failed.", false);
  if (!AddStills()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - AddStills call failed.", false);
  if (!SetBurnSpeed()) return Fail(m_wiz, "CVexaODVisual::CreateVCD - SetBurnSpeed call failed.", false);
  if (FAILED(m_core->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE))) {
    m_wiz.LogError("CVexaODVisual::CreateVCD - Core CreateVCD call failed.", true);
    VEXACoreErrorCode code = VEXACoreSuccess;
    if (SUCCEEDED(m_core->GetErrorCode(&code)) && code == VEXACoreCancelled)
      m_wiz.SetErrorCode(VEXAWizCancelled);
    return false;
  }
  return true;
}

bool CVexaODVisual::SetFileSystemSupport(LONG value) {
  WizServices& m = m_wiz;
  if (m.fileSystemGiven) {
    m_wiz.LogError("CVexaOdVisual::SetFileSystemSupport - File system support already set.", false);
    return true;
  }
  if (!m_core ||
      FAILED(m_core->SetFileSystemSupport(static_cast<VEXACoreFileSystemSupport>(CoreFileSystem(value)))))
    return Fail(m_wiz, "CVexaOdVisual::SetFileSystemSupport - Core SetFileSystemSupport call failed.", true);
  m.fileSystemGiven = true;
  m.fileSystem = static_cast<VEXAWizFileSystemSupport>(value);
  return true;
}

bool CVexaODVisual::SetTVSystem() {
  LONG tv = VEXAWizTVNTSC;
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  if (!album || !album->GetTVSystem(&tv))
    return Fail(m_wiz, "CVexaODVisual::SetTVSystem - XML GetTVSystem call failed.", false);
  // SECAM discs are made as PAL, FILM as NTSC.
  const VEXACoreTVSystem core = MapTVSystem(tv) == VEXAWizTVPAL ? VEXACoreTVPAL : VEXACoreTVNTSC;
  if (FAILED(m_core->SetTVSystem(core)))
    return Fail(m_wiz, "CVexaODVisual::SetTVSystem - Core SetTVSystem call failed.", true);
  return true;
}

bool CVexaODVisual::SetStillDelay() {
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  LONG delay = -1;
  bool writeBack = false;
  if (!album || !album->GetStillDelay(&delay)) {
    m_wiz.LogError(
        Format("CVexaODVisual::SetStillDelay - XML get still delay call failed. Setting to default %d.", 5), true);
    delay = 5;
    writeBack = true;
  } else if (delay < 0) {
    m_wiz.LogError(Format("CVexaODVisual::SetStillDelay - no delay set. Setting value to default %d.", 5),
                   false);
    delay = 5;
    writeBack = true;
  }
  if (writeBack && (!album || !album->SetStillDelay(delay)))
    return Fail(m_wiz, "CVexaODVisual::SetStillDelay - XML Set Still delay call failed.", true);
  if (FAILED(m_core->SetStillDelay(delay)))
    return Fail(m_wiz, Format("CVexaODVisual::SetStillDelay - Core still delay call failed for value %d.",
                              static_cast<int>(delay)),
                true);
  return true;
}

bool CVexaODVisual::SetStillTitleVisibleTime() {
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  LONG seconds = -1;
  if (!album || !album->GetStillTitleVisibleTime(&seconds))
    return Fail(m_wiz, "CVexaODVisual::SetStillTitleVisibleTime - XML GetStillTitleVisibleTime call failed.", false);
  if (seconds < 0) seconds = 2;
  if (FAILED(m_core->SetStillTitleVisibleTime(seconds)))
    return Fail(m_wiz, Format("CVexaODVisual::SetStillTitleVisibleTime - Core SetStillTitleVisibleTime call failed for value %d.",
                              static_cast<int>(seconds)),
                true);
  return true;
}

bool CVexaODVisual::SetTitleLines() {
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  std::string l1, l2, l3;
  if (!album || !album->GetTitleLines(&l1, &l2, &l3))
    return Fail(m_wiz, "CVexaODVisual::SetTitleLines - XML GetTitleLines call failed.", true);
  if (l1.empty() && l2.empty() && l3.empty()) {
    m_wiz.LogInfo("No titles Set.");
    return true;
  }
  if (FAILED(m_core->SetTitleLines(Bstr::FromUtf8(l1).Get(), Bstr::FromUtf8(l2).Get(), Bstr::FromUtf8(l3).Get())))
    return Fail(m_wiz, "CVexaODVisual::SetTitleLines - Core SetTitleLines call failed.", true);
  return true;
}

bool CVexaODVisual::SetPaperSize() {
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  LONG paper = VEXAWizPaperSizeInvalid;
  if (!album || !album->GetPaperSize(&paper))
    return Fail(m_wiz, "CVexaODVisual::SetPaperSize - XML GetPaperSize call failed.", false);
  if (paper != VEXAWizPaperSizeLetter && paper != VEXAWizPaperSizeA4) return true;
  if (FAILED(m_core->SetPaperSize(static_cast<VEXACorePaperSize>(paper))))
    return Fail(m_wiz, "CVexaODVisual::SetPaperSize - Core SetPaperSize call failed.", true);
  return true;
}

bool CVexaODVisual::AddAudioTrack() {
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  std::string path;
  DATE ctime = 0;
  bool present = false;
  if (!album || !album->GetFirstAudioTrack(&path, &ctime, &present))
    return Fail(m_wiz, "CVexaODVisual::AddAudioTrack - XML GetFirstAudioTrack() call failed.", false);
  if (!present) return true;
  if (path.empty()) {
    m_wiz.LogInfo("CVexaODVisual::AddAudioTrack - user entered an empty string for audio call.");
    return true;
  }
  if (ctime < 0) ctime = 0;
  Bstr b = Bstr::FromUtf8(path);
  if (FAILED(m_core->AddAudioTrack(b.Get(), b.Get(), ctime)))
    return Fail(m_wiz, Format("CVexaODVisual::AddAudioTrack - Core AddAudioTrack call failed for file %s.", path.c_str()),
                true);
  return true;
}

bool CVexaODVisual::AddStills() {
  CVexaWizXML* album = m_wiz.sessionAlbum.get();
  StillList list;
  if (!album || !album->GetAllStills(&list)) return Fail(m_wiz, "CVexaODVisual::AddStills - Cannot get any stills.", false);
  for (const auto& record : list) {
    if (!record) return Fail(m_wiz, "CVexaODVisual::AddStills - Cannot get a still.", false);
    std::string path, title;
    LONG rotation = 0, sizing = 0;
    DATE ctime = 0;
    VARIANT_BOOL isTitle = VARIANT_FALSE;
    if (!record->GetStillInfo(&path, &title, &rotation, &ctime, &sizing, &isTitle)) {
      m_wiz.LogError("CVexaODVisual::AddStills - Still has no content.", false);
      continue;
    }
    Bstr b = Bstr::FromUtf8(path);
    if (SUCCEEDED(m_core->AddStill(b.Get(), b.Get(), Bstr::FromUtf8(title).Get(), ctime,
                                   sizing == 1 ? VEXACoreCropPicture : VEXACoreResizePicture, rotation, isTitle)))
      continue;
    VEXACoreErrorCode code = VEXACoreSuccess;
    if (FAILED(m_core->GetErrorCode(&code))) return Fail(m_wiz, "CVexaODVisual::AddStills - Core GetErrorCode call failed.", true);
    if (code == VEXACoreCancelled) {
      vexa::com::TakeError();
      m_wiz.SetErrorCode(VEXAWizCancelled);
      return false;
    }
    if (code == VEXACoreInvalidFile) {
      vexa::com::TakeError();
      continue;
    }
    return Fail(m_wiz, Format("CVexaODVisual::AddStills - Core AddStill call failed for path %s.", path.c_str()), true);
  }
  return true;
}

bool CVexaODVisual::SetBurnSpeed() {
  if (!EnsureDrive(false)) return true;
  long speed = 0;
  CvexaSettingsAccess* settings = m_wiz.settings.get();
  if (!settings || !settings->ReadNumber("settings", "selectedBurnSpeed", &speed) || speed < 1 || speed > 0x7fffffff)
    return Fail(m_wiz, "CVexaODVisual::SetBurnSpeed - NO Burn Speed available.", false);
  if (FAILED(m_core->SetBurnSpeed(static_cast<LONG>(speed))))
    return Fail(m_wiz, "CVexaODVisual::SetBurnSpeed - Core SetBurnSpeed call failed.", true);
  return true;
}

}  // namespace vexa::wiz
