#include "disclib/vcd/VideoEncode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "disclib/recorder/ComsLog.h"
#include "disclib/vcd/Bindings.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"

namespace vexa::vcd {

namespace {

bool FileOpens(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

std::string Narrow(const char16_t* s) { return s ? base::Utf16ToUtf8(s) : std::string(); }

// The encoder's picture callback carries no context, so each running
// encoder object holds one of a few callback slots for the length of its
// call: two encoder objects can run in one process at once.
constexpr int kSlots = 8;
std::mutex g_slotMutex;
std::array<std::atomic<VCDClassMPG1VideoEncode*>, kSlots> g_slots{};

template <int N>
int VCDEncGetNextPic(void* bitsOut, BITMAPINFOHEADER* headerOut) {
  VCDClassMPG1VideoEncode* e = g_slots[N].load();
  return e ? e->NextPicture(bitsOut, headerOut) : 0;
}

template <int... N>
constexpr std::array<PictureSource, kSlots> MakeCallbacks(std::integer_sequence<int, N...>) {
  return {&VCDEncGetNextPic<N>...};
}
constexpr std::array<PictureSource, kSlots> kCallbacks = MakeCallbacks(std::make_integer_sequence<int, kSlots>());

class SlotClaim {
 public:
  explicit SlotClaim(VCDClassMPG1VideoEncode* e) {
    std::lock_guard lock(g_slotMutex);
    for (int i = 0; i < kSlots; ++i) {
      if (!g_slots[i].load()) {
        g_slots[i].store(e);
        slot_ = i;
        return;
      }
    }
  }
  ~SlotClaim() {
    if (slot_ < 0) return;
    std::lock_guard lock(g_slotMutex);
    g_slots[slot_].store(nullptr);
  }
  PictureSource callback() const { return slot_ < 0 ? nullptr : kCallbacks[slot_]; }

 private:
  int slot_ = -1;
};

// Encodes ms milliseconds of silence (44.1 kHz 16-bit stereo, the music's
// own input) with the Layer II encoder into path; false on failure or when
// cancelled() says so between blocks.
template <class Cancelled>
bool WriteSilence(const std::string& path, std::int64_t ms, Cancelled cancelled) {
  Mp2Encoder* encoder = VCDmp2_init_encoder(path.c_str(), 10);
  if (!encoder) return false;
  constexpr int kBlockFrames = 2048;
  static const std::vector<std::int16_t> zeros(static_cast<std::size_t>(kBlockFrames) * 2, 0);
  std::int64_t frames = (ms * 44100 + 999) / 1000;
  bool ok = true;
  while (ok && frames > 0) {
    if (cancelled()) {
      ok = false;
      break;
    }
    const int n = static_cast<int>(std::min<std::int64_t>(frames, kBlockFrames));
    ok = VCDmp2_encode_buffer(encoder, zeros.data(), n * 4) == 1;
    frames -= n;
  }
  return VCDmp2_close_encoder(encoder) == 1 && ok;
}

}  // namespace

VCDClassMPG1VideoEncode::VCDClassMPG1VideoEncode() = default;

VCDClassMPG1VideoEncode::~VCDClassMPG1VideoEncode() = default;

void VCDClassMPG1VideoEncode::SetStillTimes(std::int32_t displayMs, std::int32_t captionMs) {
  displayMs_ = displayMs;
  captionMs_ = captionMs > displayMs ? displayMs : captionMs;
}

void VCDClassMPG1VideoEncode::SetVideoFormat(std::int32_t format) {
  struct Format {
    std::int32_t width, height;
    float rate;
    std::int32_t mode;
    bool still;
  };
  // Format 1 is the NTSC film rate: mode 11 codes 24 pictures a second.
  static const Format table[] = {{352, 240, 29.97f, 5, false}, {352, 240, 24.0f, 11, false},
                                 {352, 288, 25.0f, 6, false},  {704, 480, 29.97f, 7, true},
                                 {0, 0, 0.0f, 9, true},        {704, 576, 25.0f, 8, true}};
  if (format < 0 || format > 5) return;
  const Format& f = table[format];
  if (format != 4) {
    width_ = f.width;
    height_ = f.height;
    frameRate_ = f.rate;
  }
  mode_ = f.mode;
  stillFamily_ = f.still;
  format_ = format;
}

void VCDClassMPG1VideoEncode::SetCaptionStyle(const char* font, std::int32_t size, std::int32_t charset,
                                              std::int32_t xPercent, std::int32_t yPercent) {
  if (font) font_ = font;
  fontSize_ = size;
  charset_ = charset;
  xPercent_ = xPercent;
  yPercent_ = yPercent;
}

void VCDClassMPG1VideoEncode::SetCaptionStyleW(const char16_t* font, std::int32_t size, std::int32_t charset,
                                               std::int32_t xPercent, std::int32_t yPercent) {
  const std::string narrow = Narrow(font);
  SetCaptionStyle(font ? narrow.c_str() : nullptr, size, charset, xPercent, yPercent);
}

std::int32_t VCDClassMPG1VideoEncode::AddPicture(const char* path, const char* caption, std::int32_t flag) {
  if (!path || !*path) return 0;
  const bool split = caption && *caption && captionMs_ > 0;
  const bool rest = !split || captionMs_ < displayMs_;
  // Room for every entry this picture adds (two with a caption split).
  const std::size_t needed = (split ? 1u : 0u) + (rest ? 1u : 0u);
  if (entries_.size() + needed > kMaxEntries) return 0;
  if (!FileOpens(path)) return 0;
  if (split) entries_.push_back({path, caption, captionMs_, flag});
  if (rest) entries_.push_back({path, "", split ? displayMs_ - captionMs_ : displayMs_, flag});
  return 1;
}

std::int32_t VCDClassMPG1VideoEncode::AddPictureW(const char16_t* path, const char16_t* caption, std::int32_t flag) {
  const std::string p = Narrow(path), c = Narrow(caption);
  return AddPicture(path ? p.c_str() : nullptr, caption ? c.c_str() : nullptr, flag);
}

std::int32_t VCDClassMPG1VideoEncode::SetAudioFile(const char* mp2Path, std::int32_t mix) {
  if (!mp2Path || !*mp2Path || !FileOpens(mp2Path)) return 0;
  mp2Path_ = mp2Path;
  mix_ = mix;
  return 1;
}

std::int32_t VCDClassMPG1VideoEncode::SetAudioFileW(const char16_t* mp2Path, std::int32_t mix) {
  const std::string p = Narrow(mp2Path);
  return SetAudioFile(mp2Path ? p.c_str() : nullptr, mix);
}

std::int64_t VCDClassMPG1VideoEncode::SummedMs() const {
  std::int64_t ms = 0;
  for (const Entry& e : entries_) ms += e.durationMs;
  return ms;
}

std::int32_t VCDClassMPG1VideoEncode::GetPCMBytes() {
  return static_cast<std::int32_t>(SummedMs() / 1000 * 176400);
}

std::int32_t VCDClassMPG1VideoEncode::EstimateSeconds() {
  const double factor = width_ > 352 ? 2.0 : 0.5;
  const double seconds = static_cast<double>(SummedMs()) / 1000.0;
  const auto base =
      static_cast<std::int32_t>(std::lround(static_cast<double>(entries_.size()) * factor) + seconds * 0.125);
  const auto estimate = static_cast<std::int32_t>(base * VCDCPUScale());
  discpak::ComsLogF("VCDClassMPG1VideoEncode time estimate %d", estimate);
  return estimate;
}

std::int32_t VCDClassMPG1VideoEncode::EstimateSectors() {
  const double seconds = static_cast<double>(SummedMs()) / 1000.0;
  const auto estimate = static_cast<std::int32_t>(std::lround(seconds * 75.0));
  discpak::ComsLogF("VCDClassMPG1VideoEncode space estimate %d", estimate);
  return estimate;
}

void VCDClassMPG1VideoEncode::StartConversion(const char* outputPath) {
  run_.Join();
  output_ = outputPath ? outputPath : "";
  startTick_ = base::MonotonicMs();
  endTick_.store(startTick_ + static_cast<std::int64_t>(EstimateSeconds()) * 1000);
  lastDeliveryTick_.store(startTick_);
  failingIndex_.store(0xFFFF);
  resultName_.clear();
  if (VCDBindHelperLibraries() != 1) {
    run_.EndNow(base::kWorkNotBound);
    return;
  }
  discpak::ComsLogF("VCDClassMPG1VideoEncode conversion started.");
  discpak::ComsLogF("%d pictures to convert", static_cast<int>(entries_.size()));
  run_.Start([this] { return Encode(); },
             [](bool) { discpak::ComsLogF("VCDClassMPG1VideoEncode conversion completed."); });
}

void VCDClassMPG1VideoEncode::StartConversionW(const char16_t* outputPath) {
  const std::string p = Narrow(outputPath);
  StartConversion(outputPath ? p.c_str() : nullptr);
}

std::int32_t VCDClassMPG1VideoEncode::Encode() {
  run_.SetPlanned(static_cast<std::int64_t>(entries_.size()));
  try {
    SlotClaim slot(this);
    int result = 0;
    const int count = static_cast<int>(entries_.size());
    const char* out = output_.c_str();
    std::string audio = mp2Path_;
    int mix = mix_;
    // A Video CD's MPEG track carries an audio stream: a show without music
    // gets silence of its own length, encoded as music is, beside the output.
    struct Silence {
      std::string path;
      ~Silence() {
        if (!path.empty()) std::remove(path.c_str());
      }
    } silence;
    if (audio.empty() && SummedMs() > 0) {
      silence.path = output_ + ".silence.mp2";
      if (WriteSilence(silence.path, SummedMs(), [this] { return run_.cancelled(); })) {
        audio = silence.path;
        mix = 1;
      } else {
        discpak::ComsLogF("VCDClassMPG1VideoEncode: the silence for a show without music was not made.");
      }
    }
    const char* mp2 = audio.c_str();
    if (!slot.callback() || (audio.empty() && SummedMs() > 0)) {
      discpak::ComsLogF("Operation failed.");
    } else if (stillFamily_ && !audio.empty()) {
      discpak::ComsLogF("Starting Multi_I_Enc_Still_MP2");
      result = VCDMulti_I_Enc_Still_MP2(count, slot.callback(), out, quality_, mode_, mp2, mix);
      discpak::ComsLogF("Finished Multi_I_Enc_Still_MP2");
    } else if (stillFamily_) {
      discpak::ComsLogF("Starting Multi_I_Enc_Still");
      result = VCDMulti_I_Enc_Still(count, slot.callback(), out, quality_, mode_);
      discpak::ComsLogF("Finished Multi_I_Enc_Still");
    } else if (!audio.empty()) {
      discpak::ComsLogF("Starting MulVidlathe_MP2");
      result = VCDMulVidlathe_MP2(count, slot.callback(), out, mode_, mp2, mix);
      discpak::ComsLogF("Finished MulVidlathe_MP2");
    } else {
      discpak::ComsLogF("Starting MultipleVidlathe2");
      result = VCDMultipleVidlathe2(count, slot.callback(), out, mode_);
      discpak::ComsLogF("Finished MultipleVidlathe2");
    }
    if (result == 0) discpak::ComsLogF("Operation failed.");
    run_.SetStateIfRunning(result == 0 ? base::kWorkEncoderFailed : base::kWorkSuccess);
  } catch (...) {
    run_.set_state(base::kWorkFault);
  }
  return run_.state();
}

int VCDClassMPG1VideoEncode::NextPicture(void* bitsOut, BITMAPINFOHEADER* headerOut) {
  if (run_.cancelled() || run_.state() != base::kWorkRunning) return 0;
  const auto index = static_cast<std::int32_t>(run_.DoneUnits());
  if (index >= static_cast<std::int32_t>(entries_.size())) {
    discpak::ComsLogF("VCDEncGetNextPic - no picture available");
    return 100;
  }
  const Entry& e = entries_[static_cast<std::size_t>(index)];
  discpak::ComsLogF("VCDEncGetNextPic");
  discpak::ComsLogF("%s", e.path.c_str());
  auto fail = [&](const char* why) {
    run_.SetFailedName(e.path);
    failingIndex_.store(index);
    run_.set_state(base::kWorkInputFailed);
    discpak::ComsLogF("%s", why);
    return 0;
  };
  if (!FileOpens(e.path)) return fail("File not found.");
  // The encoder's buffer holds biSizeImage bytes, as it announced them.
  const std::size_t capacity = headerOut ? headerOut->biSizeImage : 0;
  const std::int32_t ok =
      VCDGetPicture(e.path.c_str(), width_, height_, xPercent_ * width_ / 100, yPercent_ * height_ / 100,
                    e.caption.empty() ? nullptr : e.caption.c_str(), bitsOut, capacity, headerOut, font_.c_str(),
                    fontSize_, charset_, e.flag);
  if (!ok) return fail("Resize failed.");
  lastDeliveryTick_.store(base::MonotonicMs());
  run_.AddDone();
  return e.durationMs;
}

std::int32_t VCDClassMPG1VideoEncode::GetProgress(std::int32_t* percent, std::int32_t* remaining,
                                                  std::int32_t* done) {
  const std::int64_t now = base::MonotonicMs();
  const auto delivered = static_cast<std::int32_t>(run_.DoneUnits());
  const auto entries = static_cast<std::int32_t>(entries_.size());
  const std::int32_t pct = entries > 0 ? delivered * 100 / entries : 100;
  if (delivered > 0 && delivered % 16 == 15) {
    endTick_.store(now + static_cast<std::int64_t>(entries - delivered) * (lastDeliveryTick_.load() - startTick_) /
                             delivered);
  }
  const std::int64_t end = endTick_.load();
  const bool isDone = run_.done();
  if (percent) *percent = pct;
  if (remaining) *remaining = static_cast<std::int32_t>(end > now ? (end - now) / 1000 : 0);
  if (done) *done = isDone ? 1 : 0;
  return isDone ? 1 : 0;
}

void VCDClassMPG1VideoEncode::Cancel() { run_.Cancel(); }

std::int32_t VCDClassMPG1VideoEncode::GetResult(const char** name) {
  const std::int32_t state = run_.Result(&resultName_);
  if (name) *name = resultName_.c_str();
  return state;
}

std::int32_t VCDClassMPG1VideoEncode::GetResultW(const char16_t** name) {
  const char* narrow = nullptr;
  const std::int32_t state = GetResult(&narrow);
  resultNameW_ = base::Utf8ToUtf16(narrow ? narrow : "");
  if (name) *name = resultNameW_.c_str();
  return state;
}

}  // namespace vexa::vcd
