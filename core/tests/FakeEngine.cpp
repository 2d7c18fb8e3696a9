#include "core/tests/FakeEngine.h"

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::core::test {

using namespace vexa::com;

bool FakeEngineScript::Fails(const std::string& name) {
  std::lock_guard lock(mutex);
  return failing.count(name) > 0;
}

void FakeEngineScript::Record(std::string call) {
  std::lock_guard lock(mutex);
  calls.push_back(std::move(call));
}

std::vector<std::string> FakeEngineScript::Calls() {
  std::lock_guard lock(mutex);
  return calls;
}

bool FakeEngineScript::CalledWith(const std::string& prefix) {
  std::lock_guard lock(mutex);
  for (const auto& c : calls) {
    if (c.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

namespace {

template <typename T>
T Next(std::deque<T>& q) {
  T v = q.front();
  if (q.size() > 1) q.pop_front();
  return v;
}

class FakeEngine : public ComObjectRoot,
                   public IVEXAEngine,
                   public IVEXAStoryboardStillsSlideshow1,
                   public IVEXAPremaster,
                   public IVEXABurner,
                   public IVEXADriveMgr,
                   public IVEXADrive,
                   public IVEXABurnProcessTracker,
                   public IVEXAProcessEvents {
 public:
  using Interfaces =
      InterfaceMap<IVEXAEngine, IVEXAStoryboardStillsSlideshow1, IVEXAPremaster, IVEXABurner,
                   Via<IVEXAMediaFormat, IVEXABurner>, IVEXADriveMgr, IVEXADrive, IVEXABurnProcessTracker,
                   Via<IVEXAProcessTracker, IVEXABurnProcessTracker>, IVEXAProcessEvents>;

  explicit FakeEngine(std::shared_ptr<FakeEngineScript> s) : s_(std::move(s)) {
    ++s_->alive;
    ++s_->made;
  }
  ~FakeEngine() { --s_->alive; }

  // ---- helpers ----
  HRESULT Call(const char* name, std::string args = {}) {
    s_->Record(args.empty() ? std::string(name) : std::string(name) + " " + args);
    if (s_->Fails(name)) {
      return SetError(Utf8ToUtf16(std::string(name) + " failed in the fake engine"), u"Vexasdk.VEXAEngine.1",
                      IID_IVEXAEngine, E_FAIL);
    }
    return S_OK;
  }
  static std::u16string Utf8ToUtf16(const std::string& s) { return base::Utf8ToUtf16(s); }
  template <typename I>
  HRESULT Give(I** out) {
    if (!out) return E_POINTER;
    *out = static_cast<I*>(this);
    (*out)->AddRef();
    return S_OK;
  }

  // ---- IVEXAEngine ----
  HRESULT get_StoryboardStillsSlideshow1(IVEXAStoryboardStillsSlideshow1** p) override {
    HRESULT hr = Call("get_StoryboardStillsSlideshow1");
    return FAILED(hr) ? hr : Give(p);
  }
  HRESULT get_Premaster(IVEXAPremaster** p) override {
    HRESULT hr = Call("get_Premaster");
    return FAILED(hr) ? hr : Give(p);
  }
  HRESULT get_Burner(IVEXABurner** p) override {
    HRESULT hr = Call("get_Burner");
    return FAILED(hr) ? hr : Give(p);
  }
  HRESULT get_DriveMgr(IVEXADriveMgr** p) override {
    HRESULT hr = Call("get_DriveMgr");
    return FAILED(hr) ? hr : Give(p);
  }
  HRESULT SetTempDirectory(BSTR path) override { return Call("SetTempDirectory", BstrToUtf8(path)); }
  HRESULT get_EngineState(VEXAEngineState* v) override {
    *v = VEXAEngineSpecifySources;
    return Call("get_EngineState");
  }
  HRESULT GetLastResultCode(VEXAEngineResult* v) override {
    HRESULT hr = Call("GetLastResultCode");
    std::lock_guard lock(s_->mutex);
    *v = s_->lastResult;
    return hr;
  }
  HRESULT GetLastResultMsg(BSTR* v) override {
    {
      std::lock_guard lock(s_->mutex);
      *v = SysAllocString(s_->lastResultMessage.c_str());
    }
    return Call("GetLastResultMsg");
  }
  HRESULT GetLastResultMethod(BSTR* v) override {
    *v = SysAllocString(u"");
    return Call("GetLastResultMethod");
  }
  HRESULT GetSpecVersion(BSTR* v) override {
    *v = SysAllocString(kVEXAEngineSpecVersion);
    return S_OK;
  }

  // ---- storyboard ----
  HRESULT SetStillDelay(LONG v) override { return Call("SetStillDelay", std::to_string(v)); }
  HRESULT SetStillTitleVisibleTime(LONG v) override { return Call("SetStillTitleVisibleTime", std::to_string(v)); }
  HRESULT SetTVSystem(VEXATVSystem v) override { return Call("SetTVSystem", std::to_string(v)); }
  HRESULT SetFileSystemSupport(VEXAFileSystemSupport v) override {
    return Call("SetFileSystemSupport", std::to_string(v));
  }
  HRESULT SetTitleLines(BSTR a, BSTR b, BSTR c) override {
    return Call("SetTitleLines", BstrToUtf8(a) + "|" + BstrToUtf8(b) + "|" + BstrToUtf8(c));
  }
  HRESULT AddAudioTrack(BSTR file, DATE) override { return Call("AddAudioTrack", BstrToUtf8(file)); }
  HRESULT AddFile(BSTR source, BSTR d83, BSTR joliet, DATE) override {
    return Call("AddFile", BstrToUtf8(source) + "|" + BstrToUtf8(d83) + "|" + (joliet ? BstrToUtf8(joliet) : "(null)"));
  }
  HRESULT AddStill(BSTR stillFile, BSTR srcPath, BSTR, DATE, VEXAPictureSizingBehaviour sizing, LONG rotate,
                   VARIANT_BOOL isTitle, BSTR, DATE) override {
    return Call("AddStill", BstrToUtf8(stillFile) + "|" + BstrToUtf8(srcPath) + "|" + std::to_string(sizing) + "|" +
                                std::to_string(rotate) + "|" + std::to_string(isTitle));
  }
  HRESULT AddTitleStill() override { return Call("AddTitleStill"); }
  HRESULT SetPaperSize(VEXAPaperSize v) override { return Call("SetPaperSize", std::to_string(v)); }
  HRESULT StartRead(BSTR cda, BSTR wav) override {
    HRESULT hr = Call("StartRead", BstrToUtf8(cda) + "|" + BstrToUtf8(wav));
    if (FAILED(hr)) return hr;
    bool write = false;
    std::string data;
    {
      std::lock_guard lock(s_->mutex);
      write = s_->ripWritesFile;
      data = s_->ripData;
    }
    if (write) base::WriteFileAtomic(BstrToUtf8(wav), data);
    return S_OK;
  }
  HRESULT GetTrackInfo(BSTR cda, LONG* size, double* play, LONG* rip) override {
    HRESULT hr = Call("GetTrackInfo", BstrToUtf8(cda));
    std::lock_guard lock(s_->mutex);
    *size = s_->trackSize;
    *play = s_->playTime;
    *rip = s_->timeToRip;
    return hr;
  }

  // ---- end of work ----
  HRESULT AdviseProcessDone(IVEXAProcessDoneSink* sink) override {
    std::lock_guard lock(s_->mutex);
    if (!s_->tellsEnd) return E_NOTIMPL;
    s_->sink = sink;
    return S_OK;
  }
  // The sink hears of the end once, outside the script's lock.
  void TellEnd(bool done) {
    ComPtr<IVEXAProcessDoneSink> sink;
    {
      std::lock_guard lock(s_->mutex);
      if (!done || told_) return;
      told_ = true;
      sink = s_->sink;
    }
    if (sink) sink->OnProcessDone();
  }

  // ---- premaster ----
  HRESULT StartPremaster() override {
    HRESULT hr = Call("StartPremaster");
    std::lock_guard lock(s_->mutex);
    if (SUCCEEDED(hr) && s_->premastersTooSmall > 0) {
      --s_->premastersTooSmall;
      s_->lastResult = VEXAEngineResultDiscTooSmall;
      s_->lastResultMessage = Utf8ToUtf16(s_->premasterTooSmallText);
      return SetError(s_->lastResultMessage, u"Vexasdk.VEXAEngine.1", IID_IVEXAEngine, E_FAIL);
    }
    polls_ = 0;
    stopping_ = -1;
    told_ = false;
    s_->workEnded = false;
    last_ = Last::Premaster;
    return hr;
  }
  HRESULT IsPremasterDone(VARIANT_BOOL* v) override {
    HRESULT hr = Call("IsPremasterDone");
    bool done;
    {
      std::lock_guard lock(s_->mutex);
      done = s_->workEnded || (stopping_ >= 0 ? stopping_-- == 0 : ++polls_ > s_->premasterPolls);
      *v = done ? VARIANT_TRUE : VARIANT_FALSE;
    }
    TellEnd(done);
    return hr;
  }
  HRESULT get_PremasterProcessTracker(IVEXAProcessTracker** p) override {
    HRESULT hr = Call("get_PremasterProcessTracker");
    if (FAILED(hr)) return hr;
    *p = static_cast<IVEXAProcessTracker*>(static_cast<IVEXABurnProcessTracker*>(this));
    (*p)->AddRef();
    return S_OK;
  }
  HRESULT CancelPremaster(VARIANT_BOOL) override {
    HRESULT hr = Call("CancelPremaster");
    std::lock_guard lock(s_->mutex);
    // The worker stops a little later: two more polls.
    if (last_ == Last::Premaster && stopping_ < 0) stopping_ = 2;
    return hr;
  }

  // ---- burner ----
  HRESULT GetMediaFormat(VEXAMediaFormat* v) override {
    *v = VEXAMediaVCD;
    return S_OK;
  }
  HRESULT StartBurn(LONG speed, VARIANT_BOOL test, VARIANT_BOOL verify, VARIANT_BOOL safe) override {
    HRESULT hr = Call("StartBurn", std::to_string(speed) + "|" + std::to_string(test) + "|" + std::to_string(verify) +
                                       "|" + std::to_string(safe));
    std::lock_guard lock(s_->mutex);
    if (SUCCEEDED(hr) && s_->burnsTooSmall > 0) {
      --s_->burnsTooSmall;
      s_->lastResult = VEXAEngineResultDiscTooSmall;
      return SetError(Utf8ToUtf16(s_->tooSmallText), u"Vexasdk.VEXAEngine.1", IID_IVEXAEngine, E_FAIL);
    }
    polls_ = 0;
    stopping_ = -1;
    told_ = false;
    s_->workEnded = false;
    last_ = Last::Burn;
    if (SUCCEEDED(hr)) {
      ++s_->burns;
      s_->burning = true;
    }
    return hr;
  }
  HRESULT StartErase(VARIANT_BOOL full) override {
    HRESULT hr = Call("StartErase", std::to_string(full));
    std::lock_guard lock(s_->mutex);
    erasePolls_ = 0;
    if (SUCCEEDED(hr)) ++s_->erases;
    return hr;
  }
  HRESULT CancelBurn(VARIANT_BOOL wait) override {
    HRESULT hr = Call("CancelBurn", std::to_string(wait));
    std::lock_guard lock(s_->mutex);
    ++s_->cancels;
    // The worker stops a little later: two more polls.
    if (s_->burning) stopping_ = 2;
    return hr;
  }
  HRESULT IsBurnDone(VARIANT_BOOL* v) override {
    HRESULT hr = Call("IsBurnDone");
    bool done;
    {
      std::lock_guard lock(s_->mutex);
      done = s_->workEnded || (stopping_ >= 0 ? stopping_-- == 0 : ++polls_ > s_->burnPolls);
      if (done) s_->burning = false;
      *v = done ? VARIANT_TRUE : VARIANT_FALSE;
    }
    TellEnd(done);
    return hr;
  }
  HRESULT get_BurnProcessTracker(IVEXABurnProcessTracker** p) override {
    HRESULT hr = Call("get_BurnProcessTracker");
    return FAILED(hr) ? hr : Give(p);
  }
  HRESULT CancelErase(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT IsEraseDone(VARIANT_BOOL* v) override {
    HRESULT hr = Call("IsEraseDone");
    std::lock_guard lock(s_->mutex);
    ++erasePolls_;
    *v = s_->erasePolls >= 0 && erasePolls_ > s_->erasePolls ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
  }
  HRESULT UseDrive(IVEXADrive*) override { return E_NOTIMPL; }

  // ---- drive manager ----
  HRESULT EnumDrives(LONG, VARIANT*) override { return E_NOTIMPL; }
  HRESULT GetNextDrive(IVEXADrive* prev, LONG format, IVEXADrive** out) override {
    HRESULT hr = Call("GetNextDrive", std::string(prev ? "drive" : "null") + "|" + std::to_string(format));
    if (FAILED(hr)) return hr;
    *out = nullptr;
    std::lock_guard lock(s_->mutex);
    if (handedOut_ < s_->drives) {
      ++handedOut_;
      *out = static_cast<IVEXADrive*>(this);
      (*out)->AddRef();
    }
    return S_OK;
  }
  HRESULT GetDrive(LONG, IVEXADrive**) override { return E_NOTIMPL; }

  // ---- drive ----
  HRESULT GetDriveCaps(LONG* v) override {
    *v = VEXACapCDR | VEXACapCDRW | VEXACapWriteTAO;
    return Call("GetDriveCaps");
  }
  HRESULT GetInquiry(BSTR* v) override {
    HRESULT hr = Call("GetInquiry");
    if (FAILED(hr)) return hr;
    std::lock_guard lock(s_->mutex);
    *v = s_->inquiry.empty() ? nullptr : SysAllocString(s_->inquiry.c_str());
    return S_OK;
  }
  HRESULT GetDrivePath(BSTR* v) override {
    HRESULT hr = Call("GetDrivePath");
    if (FAILED(hr)) return hr;
    std::lock_guard lock(s_->mutex);
    *v = s_->drivePath.empty() ? nullptr : SysAllocString(s_->drivePath.c_str());
    return S_OK;
  }
  HRESULT GetDriveNum(LONG* v) override {
    *v = 0;
    return Call("GetDriveNum");
  }
  HRESULT SetBlocking(VEXADriveBlocking v) override { return Call("SetBlocking", std::to_string(v)); }
  HRESULT LockDrive(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return Call("LockDrive");
  }
  HRESULT UnlockDrive(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return Call("UnlockDrive");
  }
  HRESULT GetDriveStatus(VEXADriveStatus* v) override {
    HRESULT hr = Call("GetDriveStatus");
    std::lock_guard lock(s_->mutex);
    *v = Next(s_->driveStatus);
    return hr;
  }
  HRESULT Eject(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    HRESULT hr = Call("Eject");
    std::lock_guard lock(s_->mutex);
    // Records whether a burn was still going when the disc came out.
    if (s_->burning) s_->calls.push_back("EjectWhileBurning");
    return hr;
  }
  HRESULT Load(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return Call("Load");
  }
  HRESULT IsDiscBlank(VARIANT_BOOL* v) override {
    HRESULT hr = Call("IsDiscBlank");
    std::lock_guard lock(s_->mutex);
    *v = Next(s_->blank) ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
  }
  HRESULT GetDiscCapacity(LONG* v) override {
    *v = 359847;
    return Call("GetDiscCapacity");
  }
  HRESULT GetDiscType(VEXADiscType* v) override {
    HRESULT hr = Call("GetDiscType");
    std::lock_guard lock(s_->mutex);
    *v = Next(s_->discType);
    return hr;
  }
  HRESULT GetDriveSpeeds(VARIANT* v) override {
    HRESULT hr = Call("GetDriveSpeeds");
    if (FAILED(hr)) return hr;
    std::lock_guard lock(s_->mutex);
    if (s_->speedsVariant) {
      s_->speedsVariant(v);
      return S_OK;
    }
    SafeArray a(VT_I4, static_cast<ULONG>(s_->speeds.size()));
    for (std::size_t i = 0; i < s_->speeds.size(); ++i) {
      const LONG index = static_cast<LONG>(i);
      SafeArrayPutElement(a.Get(), &index, &s_->speeds[i]);
    }
    VariantInit(v);
    v->vt = VT_ARRAY | VT_I4;
    v->parray = a.Detach();
    return S_OK;
  }
  HRESULT SetCOMSLog(BSTR) override { return S_OK; }
  HRESULT StartCOMSLogging(VARIANT_BOOL) override { return S_OK; }
  HRESULT StopCOMSLogging() override { return S_OK; }
  HRESULT GetMaxBurnSpeed(LONG* v) override {
    HRESULT hr = Call("GetMaxBurnSpeed");
    std::lock_guard lock(s_->mutex);
    *v = s_->maxSpeed;
    return hr;
  }

  // ---- tracker (the worker started last) ----
  HRESULT CancelProcess(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT IsProcessDone(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT GetLastProcessResultCode(VEXAEngineResult* v) override {
    HRESULT hr = Call("GetLastProcessResultCode");
    std::lock_guard lock(s_->mutex);
    *v = last_ == Last::Burn ? s_->burnResult : s_->premasterResult;
    return hr;
  }
  HRESULT GetLastProcessResultMsg(BSTR* v) override {
    std::lock_guard lock(s_->mutex);
    *v = SysAllocString((last_ == Last::Burn ? s_->burnMessage : s_->premasterMessage).c_str());
    return S_OK;
  }
  HRESULT GetProgressPercent(LONG* v) override {
    HRESULT hr = Call("GetProgressPercent");
    std::lock_guard lock(s_->mutex);
    *v = last_ == Last::Burn ? s_->burnPercent : s_->premasterPercent;
    return hr;
  }
  HRESULT GetElapsedTime(LONG* v) override {
    *v = 0;
    return S_OK;
  }
  HRESULT GetEstimatedTimeRemaining(LONG* v) override {
    HRESULT hr = Call("GetEstimatedTimeRemaining");
    std::lock_guard lock(s_->mutex);
    *v = last_ == Last::Burn ? Next(s_->burnRemaining) : Next(s_->premasterRemaining);
    return hr;
  }
  HRESULT GetWriteSpeed(LONG* v) override {
    *v = 8;
    return S_OK;
  }

 private:
  enum class Last { Premaster, Burn };
  std::shared_ptr<FakeEngineScript> s_;
  int polls_ = 0;
  int erasePolls_ = 0;
  int handedOut_ = 0;
  int stopping_ = -1;
  bool told_ = false;
  Last last_ = Last::Premaster;
};

}  // namespace

void FakeEngineScript::EndWorkNow() {
  ComPtr<IVEXAProcessDoneSink> told;
  {
    std::lock_guard lock(mutex);
    workEnded = true;
    told = sink;
  }
  if (told) told->OnProcessDone();
}

EngineFactory FakeEngineFactory(std::shared_ptr<FakeEngineScript> script) {
  return [script](IVEXAEngine** engine) -> HRESULT {
    script->Record("CreateEngine");
    if (script->Fails("CreateEngine")) {
      *engine = nullptr;
      return SetError(u"CreateEngine failed in the fake engine", u"", IID_IVEXAEngine, E_FAIL);
    }
    return ComObject<FakeEngine>::Create(engine, script);
  };
}

}  // namespace vexa::core::test
