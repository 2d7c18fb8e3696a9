// The engine object: construction and release, the root interface, the
// common method frame and the shared routines.
#include "engine/Engine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/ComPorts.h"
#include "engine/ThumbnailBrowser2.h"
#include "idl/ProductKey.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/registry/Registry.h"

namespace vexa::engine {

using com::Bstr;
using com::ComPtr;

namespace {

constexpr char kSdkKey[] = "SOFTWARE\\Tervane\\VEXASDK\\CurrentVersion";

std::string Narrow(BSTR s) { return s ? base::Utf16ToUtf8(std::u16string_view(s, SysStringLen(s))) : std::string(); }

}  // namespace

// The plain codes are the interface's, number for number.
#define VEXA_SAME_CODE(name) \
  static_assert(static_cast<LONG>(EngineCode::k##name) == VEXAEngineResult##name, #name)
VEXA_SAME_CODE(Success);
VEXA_SAME_CODE(Pending);
VEXA_SAME_CODE(ObjectCreateFail);
VEXA_SAME_CODE(GUIDCreationFail);
VEXA_SAME_CODE(ParameterOutOfBounds);
VEXA_SAME_CODE(ParameterInvalid);
VEXA_SAME_CODE(InvalidFileFormat);
VEXA_SAME_CODE(TimeConversionFail);
VEXA_SAME_CODE(NamingFail);
VEXA_SAME_CODE(TempSpaceLimitReached);
VEXA_SAME_CODE(GeneralIOFail);
VEXA_SAME_CODE(TemporaryDirFail);
VEXA_SAME_CODE(StillDelayFail);
VEXA_SAME_CODE(AddAudioTrackFail);
VEXA_SAME_CODE(AddFileFail);
VEXA_SAME_CODE(AddFilesFail);
VEXA_SAME_CODE(AddAutorunFail);
VEXA_SAME_CODE(StillImageProcessingFail);
VEXA_SAME_CODE(EnumConversionFail);
VEXA_SAME_CODE(DiscTooSmall);
VEXA_SAME_CODE(UnsupportedDiscFS);
VEXA_SAME_CODE(BrellSuccess);
VEXA_SAME_CODE(BrellPending);
VEXA_SAME_CODE(BrellReadFail);
VEXA_SAME_CODE(BrellWriteFail);
VEXA_SAME_CODE(BrellCancel);
VEXA_SAME_CODE(BrellException);
VEXA_SAME_CODE(BrellOtherFail);
VEXA_SAME_CODE(BrellDLLError);
VEXA_SAME_CODE(BrellUnknown);
VEXA_SAME_CODE(BrellAddFileWFail);
VEXA_SAME_CODE(BrellAddAudioFileWFail);
VEXA_SAME_CODE(BrellAddHardLinkWFail);
VEXA_SAME_CODE(BrellAddStillWFail);
VEXA_SAME_CODE(SubmoduleSetTempDirectoryFail);
VEXA_SAME_CODE(SubmoduleSetStillDelayFail);
VEXA_SAME_CODE(SubmoduleSetTitleLinesFail);
VEXA_SAME_CODE(SubmoduleAddAudioTrackFail);
VEXA_SAME_CODE(SubmoduleAddFileFail);
VEXA_SAME_CODE(SubmoduleAddStillFail);
VEXA_SAME_CODE(SubmoduleAddTitleStillFail);
VEXA_SAME_CODE(SubmoduleStartPremasterFail);
VEXA_SAME_CODE(SubmoduleCleanFail);
VEXA_SAME_CODE(SubmoduleSetStillTitleDelayFail);
VEXA_SAME_CODE(SubmoduleRipAudioFail);
VEXA_SAME_CODE(SubmoduleMethodFail);
VEXA_SAME_CODE(HelpermoduleMethodFail);
#undef VEXA_SAME_CODE

namespace {

HRESULT OutText(const std::string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = Bstr::FromUtf8(text).Detach();
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

CVEXAVCDEngine::CVEXAVCDEngine() = default;

CVEXAVCDEngine::~CVEXAVCDEngine() = default;

const base::Clock& CVEXAVCDEngine::Clock() const { return env_.clock ? *env_.clock : base::Clock::Real(); }

SYSTEMTIME CVEXAVCDEngine::LocalNow() const {
  const base::CalendarTime t = Clock().LocalNow();
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDayOfWeek = static_cast<WORD>(t.dayOfWeek);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  st.wMilliseconds = static_cast<WORD>(t.milliseconds);
  return st;
}

std::optional<SYSTEMTIME> CVEXAVCDEngine::GivenTime(DATE date) const {
  if (date == 0.0) return std::nullopt;
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(date, &st)) st = startTime_;
  return st;
}

// ---- Construction and release ------------------------------------------------

HRESULT CVEXAVCDEngine::FinalConstruct() {
  static constexpr char kMethod[] = "CVEXAVCDEngine::FinalConstruct";
  state_ = VEXAEngineInit;
  comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
  env_ = CurrentEngineEnvironment();

  std::string bindError;
  const bool bound = env_.bind && env_.bind(&lib_, &bindError);
  drive_.Bind(lib_.drives);
  if (!bound) {
    if (!lib_.discpak) {
      return Fail(kMethod, "VEXAVCDEngine::FinalConstruct - Failed to load Brell libraries",
                  VEXAEngineResultBrellDLLError, E_FAIL);
    }
    if (!lib_.haveDriveTable) {
      return Fail(kMethod, "VEXAVCDEngine::FinalConstruct - Failed to create the cdrtable",
                  VEXAEngineResultBrellDLLError, E_POINTER);
    }
    if (!lib_.haveTransportTable) {
      return Fail(kMethod, "VEXAVCDEngine::FinalConstruct - Failed to create the comstable",
                  VEXAEngineResultBrellDLLError, E_POINTER);
    }
    return Fail(kMethod, "VEXAVCDEngine::FinalConstruct - Failed to load Brell libraries",
                VEXAEngineResultBrellDLLError, E_FAIL);
  }

  // The drive-command log goes to the data folder: the product key's, else
  // (only when that key is missing) the SDK key's, else the user's own.
  std::string folder;
  if (reg::KeyExists(reg::Hive::LocalMachine, kProductKey)) {
    if (auto v = reg::GetString(reg::Hive::LocalMachine, kProductKey, "APP_PATH_DATA")) folder = *v;
  } else if (auto v = reg::GetString(reg::Hive::LocalMachine, kSdkKey, "SDK_PATH_DATA")) {
    folder = *v;
  }
  if (folder.empty()) folder = base::UserDataDirectory();
  folder = base::ToNativePath(folder);
  base::MakePrivateDirs(folder);
  comsLogPath_ = base::JoinPath(folder, "comslog.txt");
  lib_.drives->StartLog(comsLogPath_, false);

  wizard_ = std::make_unique<VCDWizard>(lib_.discpak, lib_.drives, Clock());
  menu_ = std::make_unique<ThumbnailBrowser2>(lib_.discpak, lib_.drives, Clock());
  wizard_->SetMenuBuilder(menu_.get());
  wizard_->SetOnDone([this] {
    std::lock_guard lock(doneSinkMutex_);
    if (doneSink_) doneSink_->OnProcessDone();
  });

  // What must stay free on the work folder's disk: the product's
  // MIN_TEMP_SPACE, which the orchestrator checks at its start too.
  freeSpaceLimit_ = reg::GetDword(reg::Hive::LocalMachine, kProductKey, "MIN_TEMP_SPACE").value_or(200000000);
  startTime_ = LocalNow();
  story_ = std::make_unique<Storyboard>(*wizard_, *menu_, startTime_);
  if (FAILED(CreateGUID(&engineGuid_))) {
    return Fail(kMethod, "VEXAVCDEngine::FinalConstruct - CreateGUID call failed", VEXAEngineResultGUIDCreationFail,
                E_FAIL);
  }

  ComPtr<IVEXAImgUtil> util;
  const HRESULT hr =
      CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_ALL, com::IidOf<IVEXAImgUtil>(), util.PutVoid());
  if (FAILED(hr) || !util) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::FinalConstruct - Failed to create IVEXAImgUtil"),
                VEXAEngineResultObjectCreateFail, E_FAIL);
  }
  tools_ = std::make_unique<ComStillTools>(
      std::move(util), RecordRoutines{&CVEXAVCDEngine::StoreJPEGRecord, &CVEXAVCDEngine::JPEGRecordBytes,
                                      &CVEXAVCDEngine::GUIDtoStringGUID});
  story_->UseTools(tools_.get());

  state_ = VEXAEngineSpecifySources;
  SetLastResultOK(kMethod);
  return S_OK;
}

HRESULT CVEXAVCDEngine::AdviseProcessDone(IVEXAProcessDoneSink* sink) {
  std::lock_guard lock(doneSinkMutex_);
  doneSink_ = sink;
  return S_OK;
}

void CVEXAVCDEngine::FinalRelease() {
  if (lib_.drives) lib_.drives->StopLog();
  // The builder joins its worker before it goes, so no command reaches the
  // drive after this.
  CloseAlbum();
  story_.reset();
  wizard_.reset();
  menu_.reset();
  drive_.Release();
  if (state_ != VEXAEngineInit) {
    for (const auto& root : oldTempRoots_) CleanDirectory(root);
    if (!folders_.root.empty()) CleanDirectory(folders_.root);
  }
  for (const auto& root : oldTempRoots_) base::UnmarkWorkFolder(root);
  if (!folders_.root.empty()) base::UnmarkWorkFolder(folders_.root);
  if (comInitialized_) CoUninitialize();
  comInitialized_ = false;
}

void CVEXAVCDEngine::CloseAlbum() {
  if (story_) {
    story_->UseAlbum(nullptr);
    story_->UseTools(nullptr);
  }
  album_.reset();
  tools_.reset();
}

HRESULT CreateVEXAVCDEngine(REFIID iid, void** ppv) {
  return com::ComObject<CVEXAVCDEngine>::CreateInstance(iid, ppv);
}

// ---- The common frame --------------------------------------------------------------

HRESULT CVEXAVCDEngine::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == com::IidOf<IVEXAEngine>() ? S_OK : S_FALSE;
}

HRESULT CVEXAVCDEngine::SetEngineErrorInfo(const std::string& message, HRESULT hr) {
  if (hr == S_OK) hr = DISP_E_EXCEPTION;
  return com::ReportError(CLSID_VEXAVCDEngine, std::string_view(message), com::IidOf<IVEXAEngine>(), hr);
}

bool CVEXAVCDEngine::CheckImageBuilder(const char* method) {
  if (wizard_) return true;
  SetEngineErrorInfo(std::string(method) + " - VCDWizard not initialized.", E_FAIL);
  return false;
}

bool CVEXAVCDEngine::CheckDriveReady(const char* method) {
  if (!lib_.haveDriveTable) {
    SetEngineErrorInfo(std::string(method) + " - Drive Table not initialized.", E_FAIL);
    return false;
  }
  if (!drive_.current()) {
    SetEngineErrorInfo(std::string(method) + " - Drive Object not initialized.", E_FAIL);
    return false;
  }
  return true;
}

HRESULT CVEXAVCDEngine::SetLastResultOK(const char* method) {
  std::lock_guard lock(resultMutex_);
  lastMethod_ = method;
  lastMessage_ = "S_OK";
  lastCode_ = VEXAEngineResultSuccess;
  return S_OK;
}

HRESULT CVEXAVCDEngine::SetLastResult(const char* method, const std::string& message, VEXAEngineResult code) {
  std::lock_guard lock(resultMutex_);
  lastMethod_ = method;
  lastMessage_ = message;
  lastCode_ = code;
  return S_OK;
}

HRESULT CVEXAVCDEngine::Fail(const char* method, const std::string& message, VEXAEngineResult code, HRESULT hr) {
  SetLastResult(method, message, code);
  return SetEngineErrorInfo(message, hr);
}

HRESULT CVEXAVCDEngine::Report(const char* method, const Result& result) {
  switch (result.kind()) {
    case Result::Kind::kOk:
      return SetLastResultOK(method);
    case Result::Kind::kRefused:
      return SetEngineErrorInfo(result.message(), E_FAIL);
    case Result::Kind::kCallee:
      SetLastResult(method, result.message(), ToResult(result.code()));
      return E_FAIL;
    case Result::Kind::kRecorded:
      break;
  }
  const std::string& name = result.method().empty() ? std::string(method) : result.method();
  SetLastResult(name.c_str(), result.message(), ToResult(result.code()));
  return SetEngineErrorInfo(result.message(), E_FAIL);
}

std::string CVEXAVCDEngine::PrefixWithErrorInfo(const std::string& message) {
  const com::ErrorText e = com::TakeError();
  if (!e.present || e.description.empty()) return message;
  return e.Utf8Description() + "\n" + message;
}

// ---- IVEXAEngine ----------------------------------------------------------------------

HRESULT CVEXAVCDEngine::get_StoryboardStillsSlideshow1(IVEXAStoryboardStillsSlideshow1** pVal) {
  static constexpr char kMethod[] = "IVEXAEngine::get_StoryboardStillsSlideshow1";
  static constexpr char kPrefix[] = "VEXAVCDEngine::get_StoryboardStillsSlideshow1 - ";
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (FAILED(static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXAStoryboardStillsSlideshow1>(),
                                                                reinterpret_cast<void**>(pVal)))) {
    *pVal = nullptr;
    return Fail(kMethod, "IVEXAEngine::get_StoryboardStillsSlideshow1 - Cannot create StoryboardStillsSlideshow1",
                VEXAEngineResultObjectCreateFail);
  }
  // The caller's reference is handed back only when everything below works.
  ComPtr<IVEXAStoryboardStillsSlideshow1> view = ComPtr<IVEXAStoryboardStillsSlideshow1>::Attach(*pVal);
  *pVal = nullptr;

  sessionId_ = SessionId();
  story_->Names().SetSessionId(sessionId_);
  ComPtr<IStillsSlideShow1> album;
  if (FAILED(CoCreateInstance(CLSID_StillsSlideShow1, nullptr, CLSCTX_ALL, com::IidOf<IStillsSlideShow1>(),
                              album.PutVoid()))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "Failed to create IVEXAXML::IStillsSlideShow1"),
                VEXAEngineResultObjectCreateFail);
  }
  ComPtr<IStillsSlideShow1XML> mapper;
  if (FAILED(CoCreateInstance(CLSID_StillsSlideShow1XML, nullptr, CLSCTX_ALL, com::IidOf<IStillsSlideShow1XML>(),
                              mapper.PutVoid()))) {
    return Fail(kMethod,
                PrefixWithErrorInfo(std::string(kPrefix) + "Failed to create IVEXAXML::IStillsSlideShow1XML"),
                VEXAEngineResultObjectCreateFail);
  }
  ComPtr<ISeqOfStillImage> stills;
  if (FAILED(album->get_stillImages(stills.Put()))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->get_stillImages failed"),
                VEXAEngineResultObjectCreateFail);
  }
  ComPtr<ISeqOfAudio> audios;
  if (FAILED(album->get_audios(audios.Put()))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->get_audios failed"),
                VEXAEngineResultObjectCreateFail);
  }
  ComPtr<ITitleSlide> titleSlide;
  if (FAILED(album->get_titleSlide(titleSlide.Put()))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->get_titleSlide failed"),
                VEXAEngineResultObjectCreateFail);
  }
  // The album file holds seconds (the engine keeps milliseconds).
  if (FAILED(album->put_stillDelay(story_->StillDelay() / 1000))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->put_stillDelay failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (FAILED(album->put_stillTitleVisibleTime(story_->StillTitleVisibleTime() / 1000))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->put_stillTitleVisibleTime failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  std::string guid;
  if (FAILED(CreateStringGUID(&guid))) {
    return Fail(kMethod, std::string(kPrefix) + "CreateStringGUID call failed", VEXAEngineResultGUIDCreationFail);
  }
  if (FAILED(album->put_identifier(Bstr::FromUtf8(guid).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo(std::string(kPrefix) + "IVEXAXML->put_identifier failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  album_ = std::make_unique<ComAlbum>(album, mapper, stills, audios, titleSlide);
  story_->UseAlbum(album_.get());
  albumIdentifier_ = guid;
  *pVal = view.Detach();
  return SetLastResultOK(kMethod);
}

HRESULT CVEXAVCDEngine::get_Premaster(IVEXAPremaster** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (FAILED(static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXAPremaster>(),
                                                                reinterpret_cast<void**>(pVal)))) {
    *pVal = nullptr;
    return Fail("IVEXAEngine::get_Premaster", "IVEXAEngine::get_Premaster - Cannot create Premaster",
                VEXAEngineResultObjectCreateFail);
  }
  return SetLastResultOK("IVEXAEngine::get_Premaster");
}

HRESULT CVEXAVCDEngine::get_Burner(IVEXABurner** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (FAILED(static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXABurner>(),
                                                                reinterpret_cast<void**>(pVal)))) {
    *pVal = nullptr;
    return Fail("IVEXAEngine::get_Burner", "IVEXAEngine::get_Burner - Cannot create Burner",
                VEXAEngineResultObjectCreateFail);
  }
  return SetLastResultOK("IVEXAEngine::get_Burner");
}

HRESULT CVEXAVCDEngine::get_DriveMgr(IVEXADriveMgr** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (FAILED(static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXADriveMgr>(),
                                                                reinterpret_cast<void**>(pVal)))) {
    *pVal = nullptr;
    return Fail("IVEXAEngine::get_DriveMgr", "IVEXAEngine::get_DriveMgr - Cannot create Drive Manager",
                VEXAEngineResultObjectCreateFail);
  }
  return SetLastResultOK("IVEXAEngine::get_DriveMgr");
}

// Makes a fresh work directory "zzzXXXXXX" inside tempPath and its folders,
// by absolute paths: the process's working directory is never changed.
HRESULT CVEXAVCDEngine::SetTempDirectory(BSTR tempPath) {
  static constexpr char kMethod[] = "IVEXAEngine::SetTempDirectory";
  WorkFolders folders;
  const Result made = MakeWorkFolders(Narrow(tempPath), &folders);
  if (!folders.root.empty()) {
    // An earlier work directory may still hold files the disc refers to; it
    // goes with the engine.
    if (!folders_.root.empty()) oldTempRoots_.push_back(folders_.root);
    folders_ = folders;
    wizard_->SetTempDirectory(folders_.root.c_str());
  }
  if (made.ok()) tempReady_ = true;
  if (!folders.root.empty()) story_->UseWorkFolders(folders_, tempReady_);
  return Report(kMethod, made);
}

HRESULT CVEXAVCDEngine::get_EngineState(VEXAEngineState* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = state_;
  return SetLastResultOK("IVEXAEngine::get_EngineState");
}

HRESULT CVEXAVCDEngine::GetLastResultCode(VEXAEngineResult* pVal) {
  if (!pVal) return E_POINTER;
  std::lock_guard lock(resultMutex_);
  *pVal = lastCode_;
  return S_OK;
}

HRESULT CVEXAVCDEngine::GetLastResultMsg(BSTR* pVal) {
  std::lock_guard lock(resultMutex_);
  return OutText(lastMessage_, pVal);
}

HRESULT CVEXAVCDEngine::GetLastResultMethod(BSTR* pVal) {
  std::lock_guard lock(resultMutex_);
  return OutText(lastMethod_, pVal);
}

HRESULT CVEXAVCDEngine::GetSpecVersion(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = SysAllocString(kVEXAEngineSpecVersion);
  if (!*pVal) return E_OUTOFMEMORY;
  return SetLastResultOK("IVEXAEngine::GetSpecVersion");
}

// ---- Shared routines ------------------------------------------------------------------

HRESULT CVEXAVCDEngine::CreateGUID(GUID* out) {
  if (FAILED(CoCreateGuid(out))) {
    return Fail("IVEXAEngine::createGUID", "VEXAVCDEngine::CreateGUID - Failed to create a GUID",
                VEXAEngineResultGUIDCreationFail);
  }
  return S_OK;
}

std::string CVEXAVCDEngine::GUIDtoStringGUID(const GUID& g) {
  char text[37];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

HRESULT CVEXAVCDEngine::CreateStringGUID(std::string* out) {
  GUID g{};
  if (FAILED(CreateGUID(&g))) {
    return Fail("IVEXAEngine::createGUID", "VEXAVCDEngine::CreateStringGUID - CreateGUID call failed",
                VEXAEngineResultGUIDCreationFail);
  }
  *out = GUIDtoStringGUID(g);
  return S_OK;
}


}  // namespace vexa::engine
