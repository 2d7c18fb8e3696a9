#include "wizard/tests/FakeServers.h"

#include "idl/vexalog.h"
#include "platform/com/Com.h"

using namespace vexa::com;

extern "C" __attribute__((visibility("default"))) FakeState* VexaWizFakeState() {
  static FakeState state;
  return &state;
}

namespace {

FakeState& S() { return *VexaWizFakeState(); }
std::string U(BSTR b) { return BstrToUtf8(b); }
std::string N(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", d);
  return buf;
}

template <typename I>
class NoDispatch : public I {
 public:
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

class FakeLogger : public ComObjectRoot, public NoDispatch<IVexaLogger> {
 public:
  using Interfaces = InterfaceMap<IVexaLogger, Via<IDispatch, IVexaLogger>>;
  HRESULT get_LogFilePath(BSTR* p) override {
    *p = SysAllocString(u"");
    return S_OK;
  }
  HRESULT ResetLogFile() override { return S_OK; }
  HRESULT WriteMessage(BSTR c, BSTR t, BSTR m) override {
    if (S().loggerFails) return E_FAIL;
    S().log.push_back(U(t) + "|" + U(c) + "|" + U(m));
    return S_OK;
  }
  HRESULT WriteMessages(BSTR, BSTR, BSTR, BSTR, BSTR, BSTR, BSTR) override { return E_NOTIMPL; }
};

class FakeLocUtil : public ComObjectRoot, public NoDispatch<IVEXALocUtil> {
 public:
  using Interfaces = InterfaceMap<IVEXALocUtil, Via<IDispatch, IVEXALocUtil>>;
  HRESULT Init(BSTR language) override {
    S().localeLanguage = U(language);
    return S_OK;
  }
  HRESULT get_TVSystem(LONG* p) override {
    *p = S().tvSystem;
    return S_OK;
  }
  HRESULT get_PaperSize(LONG* p) override {
    *p = VEXALocPaperLetter;
    return S_OK;
  }
};

class FakeCore : public ComObjectRoot, public NoDispatch<IVEXACore1>, public IVEXACoreImageEstimate {
 public:
  using Interfaces = InterfaceMap<IVEXACore1, Via<IDispatch, IVEXACore1>, IVEXACoreImageEstimate>;
  FakeCore() { ++S().coreObjects; }
  ~FakeCore() { --S().coreObjects; }

  static HRESULT Call(std::string method, std::vector<std::string> args = {}, HRESULT hr = S_OK) {
    S().calls.push_back({std::move(method), std::move(args)});
    if (FAILED(hr)) SetError(u"CVEXACore1 - scripted failure", u"Vexacore.VEXACore1.1", IID_IVEXACore1, hr);
    return hr;
  }
  HRESULT AddAudioTrack(BSTR src, BSTR orig, DATE t) override { return Call("AddAudioTrack", {U(src), U(orig), N(t)}); }
  HRESULT AddStill(BSTR file, BSTR src, BSTR title, DATE t, VEXACorePictureSizingBehaviour sizing, LONG rot,
                   VARIANT_BOOL isTitle) override {
    auto it = S().addStillErrors.find(U(file));
    HRESULT hr = S_OK;
    if (it != S().addStillErrors.end()) {
      S().errorCode = it->second;
      hr = E_FAIL;
    }
    return Call("AddStill", {U(file), U(src), U(title), N(t), std::to_string(sizing), std::to_string(rot),
                             std::to_string(isTitle)},
                hr);
  }
  HRESULT SetFileSystemSupport(VEXACoreFileSystemSupport fs) override {
    return Call("SetFileSystemSupport", {std::to_string(fs)});
  }
  HRESULT SetStillDelay(LONG d) override {
    const bool refused = S().longestStillDelay > 0 && d > S().longestStillDelay;
    return Call("SetStillDelay", {std::to_string(d)}, refused ? E_FAIL : S_OK);
  }
  HRESULT SetStillTitleVisibleTime(LONG d) override { return Call("SetStillTitleVisibleTime", {std::to_string(d)}); }
  HRESULT SetTVSystem(VEXACoreTVSystem tv) override { return Call("SetTVSystem", {std::to_string(tv)}); }
  HRESULT SetTitleLines(BSTR a, BSTR b, BSTR c) override { return Call("SetTitleLines", {U(a), U(b), U(c)}); }
  HRESULT CreateVCD(VARIANT_BOOL t, VARIANT_BOOL v, VARIANT_BOOL b) override {
    if (FAILED(S().createVcdResult)) S().errorCode = S().createVcdErrorCode;
    return Call("CreateVCD", {std::to_string(t), std::to_string(v), std::to_string(b)}, S().createVcdResult);
  }
  HRESULT GetErrorCode(VEXACoreErrorCode* code) override {
    *code = static_cast<VEXACoreErrorCode>(S().errorCode);
    return S_OK;
  }
  HRESULT AddImageListFile(BSTR p) override { return Call("AddImageListFile", {U(p)}); }
  HRESULT AddImageDirectory(BSTR p) override { return Call("AddImageDirectory", {U(p)}); }
  HRESULT SetStatusMode(VARIANT_BOOL) override { return S_OK; }
  HRESULT SetLogFile(BSTR, LONG) override { return E_NOTIMPL; }
  HRESULT Init(VEXACoreShowStatusLevel level, BSTR temp, VARIANT_BOOL clean) override {
    if (FAILED(S().initResult)) S().errorCode = S().initErrorCode;
    return Call("Init", {std::to_string(level), U(temp), std::to_string(clean)}, S().initResult);
  }
  HRESULT GetDriveSpeeds(VARIANT* out) override {
    Call("GetDriveSpeeds");
    if (S().speedsFail) return E_FAIL;
    SafeArray sa(VT_I4, static_cast<ULONG>(S().speeds.size()));
    for (LONG i = 0; i < static_cast<LONG>(S().speeds.size()); ++i) SafeArrayPutElement(sa.Get(), &i, &S().speeds[i]);
    VariantInit(out);
    out->vt = VT_ARRAY | VT_I4;
    out->parray = sa.Detach();
    return S_OK;
  }
  HRESULT GetMaxBurnSpeed(LONG* s) override {
    *s = S().speeds.empty() ? 0 : S().speeds.back();
    return S_OK;
  }
  HRESULT AddAlbumFile(BSTR p, VEXACoreAlbumFormat f) override { return Call("AddAlbumFile", {U(p), std::to_string(f)}); }
  HRESULT SetLoggingLevel(VARIANT_BOOL all) override { return Call("SetLoggingLevel", {std::to_string(all)}); }
  HRESULT SetBurnSpeed(LONG s) override { return Call("SetBurnSpeed", {std::to_string(s)}); }
  HRESULT CDDAToWav(BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT GetTrackInfo(BSTR track, LONG* size, double* play, LONG* rip) override {
    *size = S().trackSize;
    *play = 0;
    *rip = 0;
    return Call("GetTrackInfo", {U(track)});
  }
  HRESULT SetPaperSize(VEXACorePaperSize p) override { return Call("SetPaperSize", {std::to_string(p)}); }
  HRESULT SetTempDirectory(BSTR, VARIANT_BOOL) override { return S_OK; }
  HRESULT MakeDuplicate(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT AddFile(BSTR, BSTR, BSTR, DATE) override { return E_NOTIMPL; }
  HRESULT SetDefaultTitle() override { return Call("SetDefaultTitle"); }
  HRESULT GetNextDrive(VARIANT_BOOL show, VARIANT_BOOL* present) override {
    *present = S().drivePresent ? VARIANT_TRUE : VARIANT_FALSE;
    return Call("GetNextDrive", {std::to_string(show)});
  }
  HRESULT GetDrivePath(BSTR* p) override {
    *p = Bstr::FromUtf8(S().drivePath).Detach();
    return S_OK;
  }
  HRESULT GetInquiry(BSTR* p) override {
    *p = Bstr::FromUtf8(S().inquiry).Detach();
    return S_OK;
  }
  // The pictures' count and paths, the title flag, the delay and the music.
  HRESULT EstimateImage(const BSTR* stills, LONG count, VARIANT_BOOL title, LONG delay, BSTR music,
                        LONGLONG* sectors, LONGLONG* discSectors) override {
    std::vector<std::string> args = {std::to_string(count)};
    for (LONG i = 0; i < count; ++i) args.push_back(U(stills[i]));
    args.insert(args.end(), {std::to_string(title), std::to_string(delay), music ? U(music) : std::string()});
    *sectors = S().estimateSectors;
    *discSectors = S().estimateDiscSectors;
    return Call("EstimateImage", std::move(args), S().estimateResult);
  }
};

const ClassEntry kClasses[] = {
    {&CLSID_VexaLogger, &ComObject<FakeLogger>::CreateForFactory},
    {&CLSID_VEXALocUtil, &ComObject<FakeLocUtil>::CreateForFactory},
    {&CLSID_VEXACore1, &ComObject<FakeCore>::CreateForFactory},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  return GetClassObjectFromTable(kClasses, clsid, iid, ppv);
}
