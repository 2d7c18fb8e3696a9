#include "disclib/vcd/toolame/Toolame.h"

#include <twolame.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "platform/base/File.h"

struct Mp2Encoder {
  struct OptionsCloser {
    void operator()(twolame_options* o) const { twolame_close(&o); }
  };
  std::unique_ptr<twolame_options, OptionsCloser> options;
  // The system's output file: the stream is put in place once complete, and
  // a symbolic link or another user's file at the path is refused.
  vexa::base::OutputFile file;
  std::vector<unsigned char> pending;  // encoded bytes not yet written
  std::size_t writeThreshold = 0;
  std::vector<unsigned char> scratch;
  bool failed = false;

  bool Write(bool all) {
    if (pending.empty() || (!all && pending.size() < writeThreshold)) return true;
    if (!file.Write(pending.data(), pending.size())) failed = true;
    pending.clear();
    return !failed;
  }
};

namespace {
// A 224 kbit/s frame at 44.1 kHz is 731 or 732 bytes.
constexpr std::size_t kFrameBytes = 732;
}  // namespace

extern "C" TOOLAME_API Mp2Encoder* mp2_init_encoder(const char* outputPath, int framesPerWrite) {
  if (!outputPath || !*outputPath) return nullptr;
  std::unique_ptr<Mp2Encoder> e(new (std::nothrow) Mp2Encoder);
  if (!e) return nullptr;
  e->options.reset(twolame_init());
  if (!e->options) return nullptr;
  twolame_options* o = e->options.get();
  if (twolame_set_num_channels(o, 2) != 0 || twolame_set_in_samplerate(o, 44100) != 0 ||
      twolame_set_out_samplerate(o, 44100) != 0 || twolame_set_version(o, TWOLAME_MPEG1) != 0 ||
      twolame_set_mode(o, TWOLAME_STEREO) != 0 || twolame_set_bitrate(o, 224) != 0 ||
      twolame_set_error_protection(o, FALSE) != 0 || twolame_set_padding(o, TWOLAME_PAD_ALL) != 0 ||
      twolame_set_verbosity(o, 0) != 0 || twolame_init_params(o) != 0)
    return nullptr;
  if (!e->file.Open(outputPath)) return nullptr;
  e->writeThreshold = kFrameBytes * static_cast<std::size_t>(framesPerWrite < 1 ? 1 : framesPerWrite);
  return e.release();
}

extern "C" TOOLAME_API int mp2_encode_buffer(Mp2Encoder* e, const std::int16_t* pcm, int byteCount) {
  if (!e || e->failed || byteCount < 0 || (byteCount > 0 && !pcm)) return 0;
  const int frames = byteCount / 4;
  if (frames == 0) return 1;
  // The library's bound on one call's output: 1.25 x samples + 7200 bytes.
  const std::size_t room = static_cast<std::size_t>(frames) * 5 / 4 + 7200;
  e->scratch.resize(room);
  const int made = twolame_encode_buffer_interleaved(e->options.get(), const_cast<short*>(pcm), frames,
                                                     e->scratch.data(), static_cast<int>(room));
  if (made < 0) {
    e->failed = true;
    return 0;
  }
  e->pending.insert(e->pending.end(), e->scratch.begin(), e->scratch.begin() + made);
  return e->Write(false) ? 1 : 0;
}

extern "C" TOOLAME_API int mp2_close_encoder(Mp2Encoder* encoder) {
  std::unique_ptr<Mp2Encoder> e(encoder);
  if (!e) return 0;
  if (!e->failed) {
    e->scratch.resize(16384);
    const int made = twolame_encode_flush(e->options.get(), e->scratch.data(), static_cast<int>(e->scratch.size()));
    if (made < 0) {
      e->failed = true;
    } else {
      e->pending.insert(e->pending.end(), e->scratch.begin(), e->scratch.begin() + made);
    }
  }
  if (!e->failed) e->Write(true);
  // A failed encoding leaves no file.
  if (e->failed) e->file.Discard();
  else if (!e->file.Commit()) e->failed = true;
  return e->failed ? 0 : 1;
}
