#include "disclib/vcd/AudioEncode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "disclib/recorder/ComsLog.h"
#include "disclib/vcd/Bindings.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"

namespace vexa::vcd {

namespace {
// An audio stream opened through the bound factory, deleted through its pair.
struct StreamDeleter {
  void operator()(ARAS* s) const { VCDDeleteARAS(s); }
};
using Stream = std::unique_ptr<ARAS, StreamDeleter>;

bool IsReadable(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// 44100 Hz, 2 channels, 16 bits: 176.4 bytes a millisecond.
constexpr double kPcmBytesPerMs = 176.4;
}  // namespace

VCDClassMPG1L2AudioEncode::VCDClassMPG1L2AudioEncode() : bound_(VCDBindHelperLibraries() == 1) {}

VCDClassMPG1L2AudioEncode::~VCDClassMPG1L2AudioEncode() = default;

std::int32_t VCDClassMPG1L2AudioEncode::AddAudioFile(const char* path) {
  const std::string name = path ? path : "";
  auto refuse = [&](const std::string& why) {
    error_ = name + ": " + why;
    discpak::ComsLogF("VCDClassMPG1L2AudioEncode::AddAudioFile refused %s", error_.c_str());
    return 0;
  };
  if (!bound_) return refuse("the audio readers are not installed");
  if (files_.size() >= kMaxFiles) return refuse("the disc takes no more audio files");
  if (name.size() <= 3) return refuse("this is not the name of an audio file");
  Stream s(VCDGetNewARAS(path));
  if (!s) {
    if (!AudioSourceBound()) return refuse("the audio readers are not installed");
    return refuse(IsReadable(name) ? "it is not a WAV, MP3 or WMA file (by its name)" : "it cannot be opened for reading");
  }
  // A stream that does not open, or has no length, is refused here rather
  // than dropped without a word.
  if (s->Open() != 1) {
    const char* why = s->GetError();
    return refuse(why && *why ? why : "it cannot be read as sound");
  }
  const std::uint32_t ms = s->GetDurationMs();
  if (ms == 0) return refuse("it holds no sound (its length is 0)");
  files_.push_back({path, ms});
  error_.clear();
  discpak::ComsLogF("VCDClassMPG1L2AudioEncode::AddAudioFile %s", path);
  return 1;
}

std::int32_t VCDClassMPG1L2AudioEncode::AddAudioFileW(const char16_t* path) {
  if (!path) return AddAudioFile(nullptr);
  return AddAudioFile(base::Utf16ToUtf8(path).c_str());
}

std::int64_t VCDClassMPG1L2AudioEncode::SummedMs() const {
  std::int64_t ms = 0;
  for (const File& f : files_) ms += f.durationMs;
  return ms;
}

std::int32_t VCDClassMPG1L2AudioEncode::EstimateBytes() {
  return static_cast<std::int32_t>((SummedMs() / 1000 + 1) * 28000);
}

std::int32_t VCDClassMPG1L2AudioEncode::EstimateSeconds() {
  const double seconds = static_cast<double>(SummedMs()) / 1000.0;
  const auto estimate = static_cast<std::int32_t>(std::lround(seconds / 5.2 * VCDCPUScale()));
  discpak::ComsLogF("VCDClassMPG1L2AudioEncode time estimate %d", estimate);
  return estimate;
}

std::int32_t VCDClassMPG1L2AudioEncode::EstimateSectors() {
  const double seconds = static_cast<double>(SummedMs() / 1000);
  const auto estimate = static_cast<std::int32_t>(std::lround(seconds * 75.0 / 6.2));
  discpak::ComsLogF("VCDClassMPG1L2AudioEncode space estimate %d", estimate);
  return estimate;
}

void VCDClassMPG1L2AudioEncode::StartConversion(const char* outputPath) {
  run_.Join();
  resultName_.clear();
  resultNameW_.clear();
  if (!bound_) {
    run_.EndNow(base::kWorkNotBound);
    return;
  }
  output_ = outputPath ? outputPath : "";
  startTick_ = base::MonotonicMs();
  endTick_.store(startTick_ + static_cast<std::int64_t>(EstimateSeconds()) * 1000);
  nextMark_ = 2000000;
  totalBytes_ = static_cast<std::int64_t>(static_cast<double>(SummedMs()) * kPcmBytesPerMs);
  discpak::ComsLogF("VCDClassMPG1L2AudioEncode conversion started.");
  for (std::size_t i = 0; i < files_.size(); ++i) {
    discpak::ComsLogF("File %d has %dms of audio", static_cast<int>(i), static_cast<int>(files_[i].durationMs));
  }
  run_.Start([this] { return Encode(); },
             [](bool) { discpak::ComsLogF("VCDClassMPG1L2AudioEncode conversion completed."); });
}

void VCDClassMPG1L2AudioEncode::StartConversionW(const char16_t* outputPath) {
  StartConversion(outputPath ? base::Utf16ToUtf8(outputPath).c_str() : nullptr);
}

std::int32_t VCDClassMPG1L2AudioEncode::Encode() {
  run_.SetPlanned(totalBytes_);
  try {
    Mp2Encoder* encoder = VCDmp2_init_encoder(output_.c_str(), kFramesPerWrite);
    if (!encoder) {
      discpak::ComsLogF("VCDClassMPG1L2AudioEncode could not start the Layer II encoder.");
      run_.set_state(base::kWorkEncoderFailed);
    } else {
      std::vector<std::uint32_t> block(kBlockBytes / 4);
      bool encoderFailed = false;
      std::int64_t music = 0;  // PCM bytes of every file
      for (std::size_t i = 0; i < files_.size() && run_.state() == base::kWorkRunning && !run_.cancelled(); ++i) {
        const File& f = files_[i];
        auto fail = [&](std::int32_t state) {
          run_.SetFailedName(f.path);
          run_.set_state(state);
        };
        Stream s(VCDGetNewARAS(f.path.c_str()));
        if (!s) {
          fail(AudioSourceBound() ? base::kWorkInputFailed : base::kWorkNotBound);
          break;
        }
        if (s->Open() != 1) {
          fail(base::kWorkInputFailed);
          break;
        }
        std::int64_t delivered = 0;
        for (;;) {
          const std::int32_t n = s->Read(block.data(), kBlockBytes);
          if (n <= 0) break;
          delivered += n;
          run_.AddDone(n);
          if (!VCDmp2_encode_buffer(encoder, reinterpret_cast<const std::int16_t*>(block.data()), n)) {
            encoderFailed = true;
            break;
          }
          if (run_.cancelled()) break;
        }
        music += delivered;
        if (encoderFailed) {
          fail(base::kWorkEncoderFailed);
          break;
        }
        if (run_.cancelled()) break;
        // A file is read as far as it can be read: one cut short, or whose
        // head states more than it holds, ends its music where its sound
        // ends. Only a file that gives no sound at all fails.
        if (delivered == 0) {
          discpak::ComsLogF("File %d gave no sound", static_cast<int>(i));
          fail(base::kWorkInputFailed);
          break;
        }
        const auto expected = static_cast<std::int64_t>(static_cast<double>(f.durationMs) * kPcmBytesPerMs);
        if (delivered + kBlockBytes < expected) {
          discpak::ComsLogF("File %d ended after %lld of %lld bytes; its music ends there", static_cast<int>(i),
                            static_cast<long long>(delivered), static_cast<long long>(expected));
        }
      }
      // A Layer II frame holds 1152 samples, and a frame is known for one
      // by the header of the next: music of one frame (under 26 ms) makes
      // no stream that the slide show's multiplexer, or a player, takes.
      // Music shorter than two frames is made up to two with silence; the
      // show repeats it as it repeats any music shorter than itself.
      if (run_.state() == base::kWorkRunning && !run_.cancelled() && music > 0 && music < kMinMusicBytes) {
        const std::vector<std::int16_t> silence(static_cast<std::size_t>(kMinMusicBytes - music) / 2, 0);
        if (!VCDmp2_encode_buffer(encoder, silence.data(), static_cast<int>(kMinMusicBytes - music))) {
          run_.set_state(base::kWorkEncoderFailed);
        }
      }
      const int closed = VCDmp2_close_encoder(encoder);
      if (!closed) run_.SetStateIfRunning(base::kWorkEncoderFailed);
      run_.SetStateIfRunning(base::kWorkSuccess);
    }
  } catch (...) {
    run_.set_state(base::kWorkFault);
  }
  return run_.state();
}

std::int32_t VCDClassMPG1L2AudioEncode::GetProgress(std::int32_t* percent, std::int32_t* remaining,
                                                    std::int32_t* done) {
  const std::int64_t now = base::MonotonicMs();
  const std::int64_t encoded = run_.DoneUnits();
  const bool isDone = run_.done();
  std::int64_t end = endTick_.load();
  if (encoded >= nextMark_ && encoded > 0) {
    std::int64_t elapsed = now - startTick_;
    if (elapsed <= 0) elapsed = 1000;
    const double perMs = static_cast<double>(encoded) / static_cast<double>(elapsed);
    end = now + static_cast<std::int64_t>(static_cast<double>(totalBytes_ - encoded) / perMs);
    endTick_.store(end);
    nextMark_ += 2000000;
  }
  std::int64_t rem = end > now ? (end - now) / 1000 : 0;
  if (encoded > 0) {
    const double elapsedSeconds = std::max<double>(static_cast<double>(now - startTick_) / 1000.0, 0.001);
    rem = static_cast<std::int64_t>(static_cast<double>(totalBytes_ - encoded) / (static_cast<double>(encoded) / elapsedSeconds));
    if (rem < 0) rem = 0;
  }
  std::int64_t pct = totalBytes_ > 0 ? encoded * 100 / totalBytes_ : 0;
  if (pct > 100) pct = 100;
  if (isDone) {
    rem = 0;
    pct = 100;
  }
  if (percent) *percent = static_cast<std::int32_t>(pct);
  if (remaining) *remaining = static_cast<std::int32_t>(rem);
  if (done) *done = isDone ? 1 : 0;
  return isDone ? 1 : 0;
}

void VCDClassMPG1L2AudioEncode::Cancel() { run_.Cancel(); }

std::int32_t VCDClassMPG1L2AudioEncode::GetResult(const char** name) {
  std::string failed;
  const std::int32_t state = run_.Result(&failed);
  resultName_ = state == base::kWorkInputFailed || state == base::kWorkNotBound ? failed : std::string();
  if (name) *name = resultName_.c_str();
  return state;
}

std::int32_t VCDClassMPG1L2AudioEncode::GetResultW(const char16_t** name) {
  const char* narrow = nullptr;
  const std::int32_t state = GetResult(&narrow);
  resultNameW_ = base::Utf8ToUtf16(narrow ? narrow : "");
  if (name) *name = resultNameW_.c_str();
  return state;
}

}  // namespace vexa::vcd
