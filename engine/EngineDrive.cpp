// The engine's drives: the drive manager, the current drive's view, the
// disc-information texts, the burner with its erase, and the process
// trackers over the image builder's worker. What is asked of the drives is
// the drive session's (DriveSession.h); this is its edge.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/Engine.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::engine {

using com::Bstr;

namespace {

std::string FormatInt(const char* format, long value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

VARIANT_BOOL Bool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

// ---- Drive manager --------------------------------------------------------------------

void CVEXAVCDEngine::MakeCurrentDrive(DriveSession::DrivePtr drive, LONG number) {
  // A worker writing to the old drive finishes before that drive goes.
  if (wizard_) wizard_->Join();
  drive_.MakeCurrent(std::move(drive), number);
}

HRESULT CVEXAVCDEngine::HandOutDriveView(IVEXADrive** pVal) {
  return static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXADrive>(), reinterpret_cast<void**>(pVal));
}

HRESULT CVEXAVCDEngine::EnumDrives(LONG, VARIANT*) { return E_NOTIMPL; }

HRESULT CVEXAVCDEngine::GetNextDrive(IVEXADrive* pPrevDrive, LONG nFormat, IVEXADrive** pVal) {
  static constexpr char kMethod[] = "IVEXADriveMgr::GetNextDrive";
  (void)nFormat;
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!lib_.haveDriveTable) {
    return SetEngineErrorInfo(std::string(kMethod) + " - Drive Table not initialized.", E_FAIL);
  }
  int first = 0;
  if (pPrevDrive) {
    LONG previous = -1;
    if (SUCCEEDED(pPrevDrive->GetDriveNum(&previous))) first = (previous + 1) & 0xFF;
  }
  int number = -1;
  std::string why;
  DriveSession::DrivePtr found = drive_.FindWriter(first, &number, &why);
  if (!found) {
    // No writer at all is not a failure; one that cannot be reached is,
    // and the caller is told why (a wrong setting, a writer in use).
    if (!why.empty()) {
      return Fail(kMethod, "IVEXADriveMgr::GetNextDrive - No CD writer can be used: " + why,
                  VEXAEngineResultBrellDLLError);
    }
    return SetLastResultOK(kMethod);
  }
  // The view is the engine's own; the former drive is always let go.
  if (FAILED(HandOutDriveView(pVal))) {
    *pVal = nullptr;
    return Fail(kMethod, "IVEXADriveMgr::GetNextDrive - Failed to create drive, QueryInterface.",
                VEXAEngineResultObjectCreateFail);
  }
  MakeCurrentDrive(std::move(found), number);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDrive(LONG driveNum, IVEXADrive** pVal) {
  static constexpr char kMethod[] = "IVEXADriveMgr::GetDrive";
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!lib_.haveDriveTable) {
    return SetEngineErrorInfo(std::string(kMethod) + " - Drive Table not initialized.", E_FAIL);
  }
  DriveSession::DrivePtr d(nullptr, DriveSession::DriveDeleter{lib_.drives});
  if (const Result r = drive_.OpenWriter(driveNum, &d); !r.ok()) return Report(kMethod, r);
  if (FAILED(HandOutDriveView(pVal))) {
    *pVal = nullptr;
    return Fail(kMethod, FormatInt("IVEXADriveMgr::GetDrive - Failed to create drive number %d, QueryInterface", driveNum),
                VEXAEngineResultObjectCreateFail);
  }
  MakeCurrentDrive(std::move(d), driveNum);
  return SetLastResultOK(kMethod);
}

// ---- The current drive -------------------------------------------------------------------

HRESULT CVEXAVCDEngine::GetDriveCaps(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::GetDriveCaps";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = lib_.drives->GetDriveCaps(drive_.current());
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetInquiry(BSTR* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::GetInquiry";
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  char text[33] = {};
  if (lib_.drives->GetInquiry(drive_.current(), text) == 0) {
    return SetEngineErrorInfo("IVEXADrive::Inquiry - GetInquiry call failed", E_FAIL);
  }
  text[32] = 0;
  *pVal = Bstr::FromUtf8(text).Detach();
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDrivePath(BSTR* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::GetDrivePath";
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = Bstr::FromUtf8(lib_.drives->GetDrivePath(drive_.current())).Detach();
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDriveNum(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::GetDriveNum";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = lib_.drives->GetDriveNum(drive_.current());
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::SetBlocking(VEXADriveBlocking newVal) {
  static constexpr char kMethod[] = "IVEXADrive::SetBlocking";
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  // The drive answers 0 when it took the blocking, anything else when not.
  if (lib_.drives->SetBlocking(drive_.current(), newVal) != 0) {
    return SetEngineErrorInfo(FormatInt("IVEXADrive::put_Blocking - SetBlocking call failed for value %d.", newVal),
                              E_FAIL);
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::LockDrive(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::LockDrive";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = Bool(lib_.drives->LockDrive(drive_.current()) != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::UnlockDrive(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::UnlockDrive";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = Bool(lib_.drives->UnlockDrive(drive_.current()) != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDriveStatus(VEXADriveStatus* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::GetDriveStatus";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = static_cast<VEXADriveStatus>(lib_.drives->GetDriveStatus(drive_.current()));
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::Eject(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::Eject";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  // A cancelled burn's worker ends before the tray opens.
  wizard_->Join();
  *pVal = Bool(lib_.drives->Eject(drive_.current()) != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::Load(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::Load";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = Bool(lib_.drives->Load(drive_.current()) != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDiscType(VEXADiscType* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::get_DiscType";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  DiscKind kind = DiscKind::kROM;
  if (const Result r = drive_.ReadDiscKind(&kind); !r.ok()) return Report(kMethod, r);
  *pVal = static_cast<VEXADiscType>(kind);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::IsDiscBlank(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::IsDiscBlank";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  bool blank = false;
  if (const Result r = drive_.IsDiscBlank(&blank); !r.ok()) return Report(kMethod, r);
  *pVal = Bool(blank);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDiscCapacity(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXADrive::GetDiscCapacity";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  *pVal = 0;
  if (drive_.current()) {
    std::uint8_t info[32];
    drive_.ReadDiscInformation(info);
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetMaxBurnSpeed(LONG* ret_MaxSpeed) {
  static constexpr char kMethod[] = "IVEXADrive::GetMaxBurnSpeed";
  if (!ret_MaxSpeed) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *ret_MaxSpeed = drive_.MaxBurnSpeed();
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetDriveSpeeds(VARIANT* pSpeeds) {
  static constexpr char kMethod[] = "IVEXADriveMgr::GetDriveSpeeds";
  if (!pSpeeds) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  std::vector<LONG> speeds;
  for (std::int32_t n : drive_.WriteSpeeds()) speeds.push_back(n);
  com::SafeArray array(VT_I4, static_cast<ULONG>(speeds.size()));
  if (!array.Get()) return E_OUTOFMEMORY;
  for (LONG i = 0; i < static_cast<LONG>(speeds.size()); ++i) SafeArrayPutElement(array.Get(), &i, &speeds[i]);
  VariantClear(pSpeeds);
  pSpeeds->vt = VT_ARRAY | VT_I4;
  pSpeeds->parray = array.Detach();
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::SetCOMSLog(BSTR filePath) {
  static constexpr char kMethod[] = "IVEXACOMSDebug::SetCOMSLog";
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  comsLogPath_ = filePath ? base::Utf16ToUtf8(std::u16string_view(filePath, SysStringLen(filePath))) : "";
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::StartCOMSLogging(VARIANT_BOOL append) {
  static constexpr char kMethod[] = "IVEXACOMSDebug::StartCOMSLogging";
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  lib_.drives->StartLog(comsLogPath_, append == VARIANT_TRUE);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::StopCOMSLogging() {
  static constexpr char kMethod[] = "IVEXACOMSDebug::StopCOMSLogging";
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  lib_.drives->StopLog();
  return SetLastResultOK(kMethod);
}

// ---- Disc information texts ---------------------------------------------------------------

HRESULT CVEXAVCDEngine::GetDiscInfoText(const char* property, const std::string& value, BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = Bstr::FromUtf8(value).Detach();
  if (!*pVal) {
    return Fail((std::string("IVEXADiscInfo::get_") + property).c_str(),
                std::string("IVexaDiscInfo::get_") + property + " - Out of Memory.", VEXAEngineResultObjectCreateFail,
                E_OUTOFMEMORY);
  }
  return SetLastResultOK((std::string("IVEXADiscInfo::get_") + property).c_str());
}

HRESULT CVEXAVCDEngine::PutDiscInfoText(const char* property, std::string* value, BSTR newVal) {
  *value = newVal ? base::Utf16ToUtf8(std::u16string_view(newVal, SysStringLen(newVal))) : "";
  return SetLastResultOK((std::string("IVEXADiscInfo::put_") + property).c_str());
}

HRESULT CVEXAVCDEngine::get_CopyrightFileIdentifier(BSTR* p) { return GetDiscInfoText("CopyrightFileIdentifier", copyright_, p); }
HRESULT CVEXAVCDEngine::put_CopyrightFileIdentifier(BSTR v) { return PutDiscInfoText("CopyrightFileIdentifier", &copyright_, v); }
HRESULT CVEXAVCDEngine::get_AbstractFileIdentifier(BSTR* p) { return GetDiscInfoText("AbstractFileIdentifier", abstract_, p); }
HRESULT CVEXAVCDEngine::put_AbstractFileIdentifier(BSTR v) { return PutDiscInfoText("AbstractFileIdentifier", &abstract_, v); }
HRESULT CVEXAVCDEngine::get_PublisherIdentifier(BSTR* p) { return GetDiscInfoText("PublisherIdentifier", publisher_, p); }
HRESULT CVEXAVCDEngine::put_PublisherIdentifier(BSTR v) { return PutDiscInfoText("PublisherIdentifier", &publisher_, v); }
HRESULT CVEXAVCDEngine::get_BibliographicalFileIdentifier(BSTR* p) {
  return GetDiscInfoText("BibliographicalFileIdentifier", bibliographic_, p);
}
HRESULT CVEXAVCDEngine::put_BibliographicalFileIdentifier(BSTR v) {
  return PutDiscInfoText("BibliographicalFileIdentifier", &bibliographic_, v);
}
HRESULT CVEXAVCDEngine::get_ExpiresDate(BSTR* p) { return GetDiscInfoText("ExpiresDate", expires_, p); }
HRESULT CVEXAVCDEngine::put_ExpiresDate(BSTR v) { return PutDiscInfoText("ExpiresDate", &expires_, v); }
HRESULT CVEXAVCDEngine::get_EffectiveDate(BSTR* p) { return GetDiscInfoText("EffectiveDate", effective_, p); }
HRESULT CVEXAVCDEngine::put_EffectiveDate(BSTR v) { return PutDiscInfoText("EffectiveDate", &effective_, v); }

// ---- Burner -------------------------------------------------------------------------------

HRESULT CVEXAVCDEngine::GetMediaFormat(VEXAMediaFormat* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = VEXAMediaVCD;
  return SetLastResultOK("IVEXAMediaFormat::GetMediaFormat");
}

HRESULT CVEXAVCDEngine::StartBurn(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify,
                                  VARIANT_BOOL burnSafe) {
  static constexpr char kMethod[] = "IVEXABurner::StartBurn";
  (void)verify;
  state_ = VEXAEngineMaster;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  // A premaster or an earlier burn still running ends before this one.
  wizard_->Join();
  if (const Result r = drive_.CheckDiscIsCd(); !r.ok()) return Report(kMethod, r);
  const LONG speed = drive_.BurnSpeed(maxSpeed);
  // Before the first write command: the image must fit the disc's free
  // space, or the disc is left as it is (a disc written in part is lost).
  if (const Result r = drive_.CheckRoomForImage([this](std::int32_t next) { return wizard_->BurnEndAddress(next); });
      !r.ok()) {
    return Report(kMethod, r);
  }
  wizard_->StartBurnThread(drive_.current(), testMode == VARIANT_TRUE, burnSafe == VARIANT_TRUE, speed);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::StartErase(VARIANT_BOOL fullErase) {
  static constexpr char kMethod[] = "IVEXABurner::StartErase";
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  wizard_->Join();
  return Report(kMethod, drive_.Erase(fullErase == VARIANT_TRUE));
}

HRESULT CVEXAVCDEngine::CancelBurn(VARIANT_BOOL wait) {
  static constexpr char kMethod[] = "IVEXABurner::CancelBurn";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  wizard_->CancelWork();
  if (wait == VARIANT_TRUE) wizard_->Join();
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::IsBurnDone(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXABurner::IsBurnDone";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  std::int32_t percent, elapsed, remaining, done, speed;
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  *pVal = Bool(done != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::get_BurnProcessTracker(IVEXABurnProcessTracker** pVal) {
  static constexpr char kMethod[] = "IVEXABurner::get_BurnProcessTracker";
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (FAILED(static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXABurnProcessTracker>(),
                                                                reinterpret_cast<void**>(pVal)))) {
    *pVal = nullptr;
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAPremaster::get_BurnProcessTracker - Cannot create BurnProcessTracker"),
                VEXAEngineResultObjectCreateFail);
  }
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::CancelErase(VARIANT_BOOL) { return E_NOTIMPL; }

HRESULT CVEXAVCDEngine::IsEraseDone(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXABurner::IsEraseDone";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod) || !CheckDriveReady(kMethod)) return E_FAIL;
  *pVal = Bool(lib_.drives->IsIdle(drive_.current()) != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::UseDrive(IVEXADrive*) { return E_NOTIMPL; }

// ---- Process trackers -----------------------------------------------------------------------

HRESULT CVEXAVCDEngine::CancelProcess(VARIANT_BOOL) {
  if (!CheckImageBuilder("IVEXAProcessTracker::CancelProcess")) return E_FAIL;
  return E_NOTIMPL;
}

HRESULT CVEXAVCDEngine::IsProcessDone(VARIANT_BOOL* pVal) {
  static constexpr char kMethod[] = "IVEXAProcessTracker::IsProcessDone";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  std::int32_t percent, elapsed, remaining, done, speed;
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  *pVal = Bool(done != 0);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetLastProcessResultCode(VEXAEngineResult* engineResult) {
  if (!engineResult) return E_POINTER;
  if (!CheckImageBuilder("IVEXAProcessTracker::GetLastProcessResultCode")) return E_FAIL;
  std::string name;
  *engineResult = ToResult(EngineCodeFromWorkerState(wizard_->GetWorkResult(&name)));
  return S_OK;
}

HRESULT CVEXAVCDEngine::GetLastProcessResultMsg(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!CheckImageBuilder("IVEXAProcessTracker::GetLastResultMsg")) return E_FAIL;
  std::string name;
  wizard_->GetWorkResult(&name);
  *pVal = Bstr::FromUtf8(name).Detach();
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT CVEXAVCDEngine::GetProgressPercent(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXAProcessTracker::GetProgressPercent";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  std::int32_t elapsed, remaining, done, speed;
  wizard_->GetProgress(pVal, &elapsed, &remaining, &done, &speed);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetElapsedTime(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXAProcessTracker::GetElapsedTime";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  std::int32_t percent, remaining, done, speed;
  wizard_->GetProgress(&percent, pVal, &remaining, &done, &speed);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetEstimatedTimeRemaining(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXAProcessTracker::GetEstimatedTimeRemaining";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  std::int32_t percent, elapsed, done, speed;
  wizard_->GetProgress(&percent, &elapsed, pVal, &done, &speed);
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::GetWriteSpeed(LONG* pVal) {
  static constexpr char kMethod[] = "IVEXABurnProcessTracker::GetWriteSpeed";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  std::int32_t percent, elapsed, remaining, done;
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, pVal);
  return SetLastResultOK(kMethod);
}

}  // namespace vexa::engine
