// Stand-ins for the logger, the orchestrator and the wizard, for the tests of
// the vexa program. A test registers this module for their class ids in a
// private registry; every call is written to a trace file, and the
// environment says which calls fail and how:
//
//   VEXA_FAKE_TRACE     file receiving one line per call
//   VEXA_FAKE_FAIL      ";"-separated "core.Method[=code]" / "wiz.Method[=code]":
//                       the call fails with that result code (default 1 for
//                       the orchestrator, 7 for the wizard) and the error
//                       text "<Class>::<Method> - fake failure."; the
//                       method FinalConstruct makes creation fail
//   VEXA_FAKE_FAIL_TEXT the error text of every failing call instead
//   VEXA_FAKE_GEC_FAIL  "core" or "wiz": GetErrorCode itself fails
//   VEXA_FAKE_LOG_FAIL  WriteMessage fails for lines holding this text
//   VEXA_FAKE_RAISE     "core.Method", "wiz.Method" or "log:TEXT": the
//                       process sends itself SIGTERM in that call (for a log
//                       line: one holding TEXT)
//   VEXA_FAKE_BLOCK     "core.Method" or "wiz.Method": that call never returns;
//                       it first writes a line to the FIFO named by
//                       VEXA_FAKE_READY_FIFO (when set), so a test knows
//   VEXA_FAKE_CANCEL_AFTER  "core.Method" or "wiz.Method": once that call has
//                       succeeded, the result code says the user cancelled
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "idl/vexacore.h"
#include "idl/vexalog.h"
#include "idl/vexawiz.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/com/Com.h"

using namespace vexa::com;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string& TraceText() {
  static std::string text;
  return text;
}

void Trace(const std::string& line) {
  const std::string path = Env("VEXA_FAKE_TRACE");
  if (path.empty()) return;
  TraceText() += line + "\n";
  vexa::base::WriteFileAtomic(path, TraceText());
}

std::string Q(BSTR s) { return "[" + BstrToUtf8(s) + "]"; }
std::string N(long long n) { return std::to_string(n); }
std::string D(double d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", d);
  return buf;
}

// The result code a failing call leaves, or -1 when the call succeeds.
int FailCode(const std::string& call, int defaultCode) {
  const std::string list = ";" + Env("VEXA_FAKE_FAIL") + ";";
  for (const std::string& form : {";" + call + ";", ";" + call + "="}) {
    const std::size_t pos = list.find(form);
    if (pos == std::string::npos) continue;
    if (form.back() == ';') return defaultCode;
    return std::atoi(list.c_str() + pos + form.size());
  }
  return -1;
}

void MaybeRaise(const std::string& call) {
  if (Env("VEXA_FAKE_RAISE") == call) ::raise(SIGTERM);
}

void MaybeBlock(const std::string& call) {
  if (Env("VEXA_FAKE_BLOCK") != call) return;
  const std::string fifo = Env("VEXA_FAKE_READY_FIFO");
  if (!fifo.empty()) vexa::base::WriteFileAtomic(fifo, "ready\n");
  for (;;) ::pause();
}

// Records a call, raises if asked, and answers its result: S_OK, or E_FAIL
// with error information and *lastCode set.
HRESULT Enter(const char* object, const char* cls, REFIID iid, const char* method,
              const std::string& args, int defaultFailCode, LONG* lastCode) {
  const std::string call = std::string(object) + "." + method;
  Trace(call + (args.empty() ? "" : " " + args));
  MaybeRaise(call);
  MaybeBlock(call);
  const int code = FailCode(call, defaultFailCode);
  if (code < 0) {
    *lastCode = 0;
    if (Env("VEXA_FAKE_CANCEL_AFTER") == call) {
      *lastCode = std::string(object) == "core" ? LONG{VEXACoreCancelled} : LONG{VEXAWizCancelled};
    }
    return S_OK;
  }
  *lastCode = code;
  const std::string given = Env("VEXA_FAKE_FAIL_TEXT");
  const std::string text = given.empty() ? std::string(cls) + "::" + method + " - fake failure." : given;
  return SetError(vexa::base::Utf8ToUtf16(text), u"VexaTest.Fake", iid, E_FAIL);
}

template <typename T, typename I>
class FakeBase : public ComObjectRoot, public DispatchImpl<T, I> {
 public:
  using Interfaces = InterfaceMap<I, Via<IDispatch, I>>;
  static std::span<const DispatchEntry<T>> DispatchTable() { return {}; }
};

// ---- The logger ----------------------------------------------------------------

class CFakeLogger : public FakeBase<CFakeLogger, IVexaLogger> {
 public:
  HRESULT FinalConstruct() {
    Trace("log.new");
    return S_OK;
  }
  void FinalRelease() { Trace("log.release"); }

  HRESULT get_LogFilePath(BSTR* pVal) override {
    *pVal = SysAllocString(u"");
    return S_OK;
  }
  HRESULT ResetLogFile() override { return S_OK; }
  HRESULT WriteMessage(BSTR component, BSTR type, BSTR msg) override {
    const std::string text = BstrToUtf8(msg);
    const std::string failOn = Env("VEXA_FAKE_LOG_FAIL");
    if (!failOn.empty() && text.find(failOn) != std::string::npos) {
      Trace("log-failed " + text);
      return E_FAIL;
    }
    Trace("log " + BstrToUtf8(component) + " " + BstrToUtf8(type) + " " + text);
    const std::string raise = Env("VEXA_FAKE_RAISE");
    if (raise.rfind("log:", 0) == 0 && text.find(raise.substr(4)) != std::string::npos) ::raise(SIGTERM);
    return S_OK;
  }
  HRESULT WriteMessages(BSTR component, BSTR type, BSTR m1, BSTR m2, BSTR m3, BSTR m4, BSTR m5) override {
    for (BSTR m : {m1, m2, m3, m4, m5}) {
      if (m && SysStringLen(m)) WriteMessage(component, type, m);
    }
    return S_OK;
  }
};

// ---- The orchestrator ----------------------------------------------------------

class CFakeCore : public FakeBase<CFakeCore, IVEXACore1> {
 public:
  HRESULT FinalConstruct() { return Do("FinalConstruct", ""); }
  void FinalRelease() { Trace("core.release"); }

  HRESULT AddAudioTrack(BSTR src, BSTR original, DATE when) override {
    return Do("AddAudioTrack", Q(src) + " " + Q(original) + " " + D(when));
  }
  HRESULT AddStill(BSTR file, BSTR src, BSTR title, DATE, VEXACorePictureSizingBehaviour, LONG, VARIANT_BOOL) override {
    return Do("AddStill", Q(file) + " " + Q(src) + " " + Q(title));
  }
  HRESULT SetFileSystemSupport(VEXACoreFileSystemSupport fs) override { return Do("SetFileSystemSupport", N(fs)); }
  HRESULT SetStillDelay(LONG delay) override { return Do("SetStillDelay", N(delay)); }
  HRESULT SetStillTitleVisibleTime(LONG delay) override { return Do("SetStillTitleVisibleTime", N(delay)); }
  HRESULT SetTVSystem(VEXACoreTVSystem tv) override { return Do("SetTVSystem", N(tv)); }
  HRESULT SetTitleLines(BSTR t1, BSTR t2, BSTR t3) override {
    return Do("SetTitleLines", Q(t1) + " " + Q(t2) + " " + Q(t3));
  }
  HRESULT CreateVCD(VARIANT_BOOL test, VARIANT_BOOL verify, VARIANT_BOOL safe) override {
    return Do("CreateVCD", N(test) + " " + N(verify) + " " + N(safe));
  }
  HRESULT GetErrorCode(VEXACoreErrorCode* code) override {
    Trace("core.GetErrorCode");
    if (Env("VEXA_FAKE_GEC_FAIL") == "core") {
      return SetError(u"CVEXACore1::GetErrorCode - fake failure.", u"VexaTest.Fake", IID_IVEXACore1, E_FAIL);
    }
    *code = static_cast<VEXACoreErrorCode>(last_);
    return S_OK;
  }
  HRESULT AddImageListFile(BSTR path) override { return Do("AddImageListFile", Q(path)); }
  HRESULT AddImageDirectory(BSTR path) override { return Do("AddImageDirectory", Q(path)); }
  HRESULT SetStatusMode(VARIANT_BOOL show) override { return Do("SetStatusMode", N(show)); }
  HRESULT SetLogFile(BSTR, LONG) override { return E_NOTIMPL; }
  HRESULT Init(VEXACoreShowStatusLevel level, BSTR temp, VARIANT_BOOL clean) override {
    return Do("Init", N(level) + " " + Q(temp) + " " + N(clean));
  }
  HRESULT GetDriveSpeeds(VARIANT*) override { return E_NOTIMPL; }
  HRESULT GetMaxBurnSpeed(LONG*) override { return E_NOTIMPL; }
  HRESULT AddAlbumFile(BSTR path, VEXACoreAlbumFormat format) override {
    return Do("AddAlbumFile", Q(path) + " " + N(format));
  }
  HRESULT SetLoggingLevel(VARIANT_BOOL all) override { return Do("SetLoggingLevel", N(all)); }
  HRESULT SetBurnSpeed(LONG speed) override { return Do("SetBurnSpeed", N(speed)); }
  HRESULT CDDAToWav(BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT GetTrackInfo(BSTR, LONG*, double*, LONG*) override { return E_NOTIMPL; }
  HRESULT SetPaperSize(VEXACorePaperSize paper) override { return Do("SetPaperSize", N(paper)); }
  HRESULT SetTempDirectory(BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT MakeDuplicate(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT AddFile(BSTR, BSTR, BSTR, DATE) override { return E_NOTIMPL; }
  HRESULT SetDefaultTitle() override { return Do("SetDefaultTitle", ""); }
  HRESULT GetNextDrive(VARIANT_BOOL, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT GetDrivePath(BSTR*) override { return E_NOTIMPL; }
  HRESULT GetInquiry(BSTR*) override { return E_NOTIMPL; }

 private:
  HRESULT Do(const char* method, const std::string& args) {
    return Enter("core", "CVEXACore1", IID_IVEXACore1, method, args, VEXACoreFailure, &last_);
  }
  LONG last_ = 0;
};

// ---- The wizard ----------------------------------------------------------------

class CFakeWizard : public FakeBase<CFakeWizard, IVEXAWizard1> {
 public:
  HRESULT FinalConstruct() { return Do("FinalConstruct", ""); }
  void FinalRelease() { Trace("wiz.release"); }

  HRESULT AddAudioTrack(BSTR file, DATE when) override { return Do("AddAudioTrack", Q(file) + " " + D(when)); }
  HRESULT AddStill(BSTR file, BSTR title, DATE, VEXAWizPictureSizingBehaviour, LONG, VARIANT_BOOL) override {
    return Do("AddStill", Q(file) + " " + Q(title));
  }
  HRESULT SetFileSystemSupport(VEXAWizFileSystemSupport fs) override { return Do("SetFileSystemSupport", N(fs)); }
  HRESULT SetStillDelay(LONG delay) override { return Do("SetStillDelay", N(delay)); }
  HRESULT SetStillTitleVisibleTime(LONG delay) override { return Do("SetStillTitleVisibleTime", N(delay)); }
  HRESULT SetTVSystem(VEXAWizTVSystem tv) override { return Do("SetTVSystem", N(tv)); }
  HRESULT SetTitleLines(BSTR t1, BSTR t2, BSTR t3) override {
    return Do("SetTitleLines", Q(t1) + " " + Q(t2) + " " + Q(t3));
  }
  HRESULT CreateVCD() override { return Do("CreateVCD", ""); }
  HRESULT SetStartScreen(VEXAWizStartScreen screen) override { return Do("SetStartScreen", N(screen)); }
  HRESULT SetBurnSpeed(LONG speed) override { return Do("SetBurnSpeed", N(speed)); }
  HRESULT AddImageListFile(BSTR path) override { return Do("AddImageListFile", Q(path)); }
  HRESULT AddImageDirectory(BSTR path) override { return Do("AddImageDirectory", Q(path)); }
  HRESULT AddAlbumFile(BSTR path, VEXAWizAlbumFormat format) override {
    return Do("AddAlbumFile", Q(path) + " " + N(format));
  }
  HRESULT SetPaperSize(VEXAWizPaperSize paper) override { return Do("SetPaperSize", N(paper)); }
  HRESULT GetErrorCode(VEXAWizErrorCode* code) override {
    Trace("wiz.GetErrorCode");
    if (Env("VEXA_FAKE_GEC_FAIL") == "wiz") {
      return SetError(u"CVEXAWizard1::GetErrorCode - fake failure.", u"VexaTest.Fake", IID_IVEXAWizard1, E_FAIL);
    }
    *code = static_cast<VEXAWizErrorCode>(last_);
    return S_OK;
  }
  HRESULT Init(BSTR temp, VARIANT_BOOL clean) override { return Do("Init", Q(temp) + " " + N(clean)); }
  HRESULT SetDefaultTitle() override { return Do("SetDefaultTitle", ""); }

 private:
  HRESULT Do(const char* method, const std::string& args) {
    return Enter("wiz", "CVEXAWizard1", IID_IVEXAWizard1, method, args, VEXAWizFailure, &last_);
  }
  LONG last_ = 0;
};

const ClassEntry kClasses[] = {
    {&CLSID_VexaLogger, &ComObject<CFakeLogger>::CreateForFactory},
    {&CLSID_VEXACore1, &ComObject<CFakeCore>::CreateForFactory},
    {&CLSID_VEXAWizard1, &ComObject<CFakeWizard>::CreateForFactory},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** ppv) {
  return GetClassObjectFromTable(kClasses, clsid, iid, ppv);
}
extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return S_FALSE; }
