#include "core/tests/CoreFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "core/HeadlessUi.h"
#include "core/LocUtil.h"
#include "idl/ProductKey.h"
#include "platform/base/Path.h"

namespace vexa::core::test {

using namespace vexa::com;

namespace {

// A locale utility with answers of the test's choosing.
class FakeLocale : public ComObjectRoot, public IVEXALocUtil {
 public:
  using Interfaces = InterfaceMap<IVEXALocUtil, Via<IDispatch, IVEXALocUtil>>;
  FakeLocale(int tv, int paper, bool fails) : tv_(tv), paper_(paper), fails_(fails) {}
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT Init(BSTR) override { return S_OK; }
  HRESULT get_TVSystem(LONG* v) override {
    if (fails_) return SetError(u"no locale data", u"Fake", IID_IVEXALocUtil, E_FAIL);
    *v = tv_;
    return S_OK;
  }
  HRESULT get_PaperSize(LONG* v) override {
    if (fails_) return SetError(u"no locale data", u"Fake", IID_IVEXALocUtil, E_FAIL);
    *v = paper_;
    return S_OK;
  }

 private:
  int tv_, paper_;
  bool fails_;
};

// Hands out the write end of a new pipe per lock.
class PipeInhibitor : public InhibitorSource {
 public:
  explicit PipeInhibitor(std::shared_ptr<AwakeLocks> locks) : locks_(std::move(locks)) {}
  int Acquire() override {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return kFailed;
    locks_->readEnds.push_back(fds[0]);
    return fds[1];
  }

 private:
  std::shared_ptr<AwakeLocks> locks_;
};

}  // namespace

AwakeLocks::~AwakeLocks() {
  for (int fd : readEnds) ::close(fd);
}

int AwakeLocks::Held() const {
  int held = 0;
  for (int fd : readEnds) {
    pollfd p{fd, POLLIN, 0};
    // A released lock's pipe has no writer left: the read end hangs up.
    if (::poll(&p, 1, 0) == 0 || !(p.revents & POLLHUP)) ++held;
  }
  return held;
}

void CoreFixture::SetUp() {
  CoreTest::SetUp();
  engine_ = std::make_shared<FakeEngineScript>();
  log_ = std::make_shared<LogStore>();
  clock_ = std::make_shared<ManualFlowClock>();
  awake_ = std::make_shared<AwakeLocks>();
  base::MakeDirs(Path("tmp"));
}

void CoreFixture::TearDown() {
  core_.Reset();
  EXPECT_EQ(engine_->alive, 0) << "every engine is released with its object";
  CoreTest::TearDown();
}

CoreServices CoreFixture::Services() {
  CoreServices s;
  s.engine = FakeEngineFactory(engine_);
  s.logger = [log = log_](IVexaLogger** out) {
    ComPtr<IVexaLogger> logger = MakeFakeLogger(log);
    *out = logger.Detach();
    return S_OK;
  };
  s.locale = [this](IVEXALocUtil** out) {
    return ComObject<FakeLocale>::Create(out, localeTv_, localePaper_, localeFails_);
  };
  s.ui = [this](CVexaCoreUtil& util, bool) -> std::unique_ptr<UiPort> {
    if (makeUi_) return makeUi_(util);
    if (headless_) return std::make_unique<HeadlessUi>([&util](const std::string& t) { util.LogInfo(t); });
    auto ui = std::make_unique<ScriptedUi>();
    ui_ = ui.get();
    if (scriptUi_) scriptUi_(*ui);
    return ui;
  };
  if (defaultUi_) s.ui = nullptr;
  s.clock = clock_;
  s.inhibitor = [locks = awake_] { return std::make_unique<PipeInhibitor>(locks); };
  s.freeSpace = [this](const std::string&, std::uint64_t* bytes) {
    *bytes = freeBytes_;
    return true;
  };
  s.systemTemp = Path("tmp");
  return s;
}

ComPtr<IVEXACore1> CoreFixture::Make(HRESULT* hr) {
  ComPtr<IVEXACore1> core;
  const HRESULT result = ComObject<CVEXACore1>::Create(core.Put(), Services());
  if (hr) *hr = result;
  return core;
}

HRESULT CoreFixture::MakeAndInit(LONG level) {
  core_ = Make();
  if (!core_) return E_FAIL;
  Bstr work = Bstr::FromUtf8(Path("work/"));
  return core_->Init(static_cast<VEXACoreShowStatusLevel>(level), work.Get(), VARIANT_TRUE);
}

std::string CoreFixture::Photo(const std::string& name) {
  const std::string path = Path(name);
  base::MakeDirs(base::DirName(path));
  // The fake engine never decodes the pictures: a few JPEG bytes will do.
  base::WriteFileAtomic(path, std::string("\xFF\xD8\xFF\xE0", 4) + name + std::string("\xFF\xD9", 2));
  return path;
}

std::vector<std::string> CoreFixture::AddPhotos(int n) {
  std::vector<std::string> paths;
  for (int i = 1; i <= n; ++i) {
    const std::string path = Photo("photos/photo" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".jpg");
    Bstr p = Bstr::FromUtf8(path), none(u"");
    EXPECT_EQ(core_->AddStill(p.Get(), p.Get(), none.Get(), 0.0, VEXACoreResizePicture, 0, VARIANT_FALSE), S_OK)
        << ErrorText();
    paths.push_back(path);
  }
  return paths;
}

VEXACoreErrorCode CoreFixture::Code(IVEXACore1* core) {
  VEXACoreErrorCode code = VEXACoreFailure;
  (core ? core : core_.Get())->GetErrorCode(&code);
  return code;
}

std::string CoreFixture::ErrorText() {
  com::ErrorText e = TakeError();
  return e.present ? e.Utf8Description() : std::string();
}

std::vector<std::string> CoreFixture::EngineCalls(const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& c : engine_->Calls()) {
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  }
  return out;
}

int CoreFixture::Count(const std::string& prefix) { return static_cast<int>(EngineCalls(prefix).size()); }

}  // namespace vexa::core::test
