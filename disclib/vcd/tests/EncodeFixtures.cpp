#include "disclib/vcd/tests/EncodeFixtures.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "disclib/vcd/Bindings.h"
#include "platform/base/Module.h"
#include "platform/base/Path.h"

namespace vexa::vcd::testing {



bool HaveTool(const std::string& name) { return Shell("command -v " + name + " >/dev/null") == 0; }

void ScratchTest::SetUp() {
  dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-vcd-");
  ASSERT_FALSE(dir_.empty());
  ::setenv("VEXA_REGISTRY_DIR", dir_.c_str(), 1);
}

void ScratchTest::TearDown() { base::RemoveAll(dir_); }

std::function<void(std::int64_t)> FakeAudio::onRead;
std::set<std::string> FakeAudio::refuseOpen;

namespace {

class FakeStream final : public ARAS {
 public:
  FakeStream(std::string path, std::uint32_t ms, std::uint32_t deliveredMs, bool opens)
      : path_(std::move(path)), ms_(ms), bytes_(static_cast<std::int64_t>(deliveredMs) * 44100 / 1000 * 4),
        opens_(opens) {}
  std::int32_t Open() override {
    pos_ = 0;
    return opens_ && !FakeAudio::refuseOpen.count(path_) ? 1 : 0;
  }
  void Close() override {}
  std::int32_t Read(std::uint32_t* frames, std::int32_t byteCount) override {
    const std::int64_t n = std::min<std::int64_t>(byteCount & ~3, bytes_ - pos_);
    auto* s = reinterpret_cast<std::int16_t*>(frames);
    for (std::int64_t i = 0; i < n / 2; ++i) {
      const double t = static_cast<double>((pos_ / 2 + i) / 2) / 44100.0;
      s[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
    }
    pos_ += n;
    if (FakeAudio::onRead) FakeAudio::onRead(pos_);
    return static_cast<std::int32_t>(n);
  }
  std::int32_t GetSize(std::uint32_t* bytes) override {
    if (bytes) *bytes = static_cast<std::uint32_t>(bytes_);
    return static_cast<std::int32_t>(ms_ / 1000);
  }
  std::uint32_t GetDurationMs() override { return ms_; }
  AudioFormatRecord* GetFormat() override { return nullptr; }
  const char* GetError() override { return opens_ && !FakeAudio::refuseOpen.count(path_) ? "" : "refused by the test"; }

 private:
  std::string path_;
  std::uint32_t ms_;
  std::int64_t bytes_;
  bool opens_;
  std::int64_t pos_ = 0;
};

GetNewARASFn g_realNew = nullptr;
DeleteARASFn g_realDelete = nullptr;

ARAS* FakeNew(const char* path) {
  if (std::strncmp(path, "fake:", 5) != 0) return g_realNew ? g_realNew(path) : nullptr;
  unsigned ms = 0, delivered = 0;
  const int n = std::sscanf(path + 5, "%u:%u", &ms, &delivered);
  if (n < 2) delivered = ms;
  return new FakeStream(path, ms, delivered, std::strstr(path, "noopen") == nullptr);
}

void FakeDelete(ARAS* s) {
  if (dynamic_cast<FakeStream*>(s)) {
    delete s;
  } else if (g_realDelete) {
    g_realDelete(s);
  }
}

}  // namespace

void FakeAudio::Install() {
  // The real plug-in's pair, for paths that are not fake.
  static base::Module plugin = base::Module::Load("discpakb.dll");
  g_realNew = plugin.Function<GetNewARASFn>("GetNewARAS");
  g_realDelete = plugin.Function<DeleteARASFn>("DeleteARAS");
  VCDSetARASFactory(&FakeNew, &FakeDelete);
}

void FakeAudio::Uninstall() {
  onRead = nullptr;
  refuseOpen.clear();
  VCDSetARASFactory(g_realNew, g_realDelete);
}

}  // namespace vexa::vcd::testing
