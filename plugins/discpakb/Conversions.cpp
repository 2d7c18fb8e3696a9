#include "plugins/discpakb/Conversions.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vexa::discpakb {

namespace {

std::int16_t Clip16(double v) {
  const double r = std::lround(v);
  return static_cast<std::int16_t>(std::clamp(r, -32768.0, 32767.0));
}

// Where each source channel sits, in the WAVE default order for that count.
enum Place { kLeft, kRight, kCentre, kLfe, kBackLeft, kBackRight, kSideLeft, kSideRight, kBackCentre, kOther };

std::vector<Place> Layout(int channels) {
  switch (channels) {
    case 3: return {kLeft, kRight, kCentre};
    case 4: return {kLeft, kRight, kBackLeft, kBackRight};
    case 5: return {kLeft, kRight, kCentre, kBackLeft, kBackRight};
    case 6: return {kLeft, kRight, kCentre, kLfe, kBackLeft, kBackRight};
    case 7: return {kLeft, kRight, kCentre, kLfe, kBackCentre, kSideLeft, kSideRight};
    case 8: return {kLeft, kRight, kCentre, kLfe, kBackLeft, kBackRight, kSideLeft, kSideRight};
    default: break;
  }
  // Unknown layouts: alternate the channels between the sides.
  std::vector<Place> places;
  for (int c = 0; c < channels; ++c) places.push_back(c % 2 ? kRight : kLeft);
  return places;
}

}  // namespace

std::vector<MixWeights> DownmixMatrix(int channels) {
  const double minus3dB = std::sqrt(0.5);
  std::vector<MixWeights> m;
  for (Place p : Layout(channels)) {
    switch (p) {
      case kLeft: m.push_back({1.0, 0.0}); break;
      case kRight: m.push_back({0.0, 1.0}); break;
      case kCentre:
      case kBackCentre: m.push_back({minus3dB, minus3dB}); break;
      case kLfe: m.push_back({0.0, 0.0}); break;
      case kBackLeft:
      case kSideLeft: m.push_back({minus3dB, 0.0}); break;
      case kBackRight:
      case kSideRight: m.push_back({0.0, minus3dB}); break;
      case kOther: m.push_back({0.0, 0.0}); break;
    }
  }
  // Scale so a full-scale signal on every channel cannot clip either side.
  double sumLeft = 0, sumRight = 0;
  for (const MixWeights& w : m) {
    sumLeft += w.left;
    sumRight += w.right;
  }
  const double norm = std::max({sumLeft, sumRight, 1.0});
  for (MixWeights& w : m) {
    w.left /= norm;
    w.right /= norm;
  }
  return m;
}

void ToStereo(const std::int16_t* in, std::size_t frames, int channels, std::vector<std::int16_t>* out) {
  const std::size_t start = out->size();
  out->resize(start + frames * 2);
  std::int16_t* o = out->data() + start;
  if (channels == 2) {
    std::memcpy(o, in, frames * 4);
    return;
  }
  if (channels == 1) {
    for (std::size_t i = 0; i < frames; ++i) o[2 * i] = o[2 * i + 1] = in[i];
    return;
  }
  const std::vector<MixWeights> m = DownmixMatrix(channels);
  for (std::size_t i = 0; i < frames; ++i) {
    const std::int16_t* f = in + i * static_cast<std::size_t>(channels);
    double l = 0, r = 0;
    for (int c = 0; c < channels; ++c) {
      l += f[c] * m[static_cast<std::size_t>(c)].left;
      r += f[c] * m[static_cast<std::size_t>(c)].right;
    }
    o[2 * i] = Clip16(l);
    o[2 * i + 1] = Clip16(r);
  }
}

void Resampler::Deleter::operator()(soxr* s) const { soxr_delete(s); }

Resampler::Resampler(int inputRate) : rate_(inputRate) {
  if (inputRate <= 0) return;
  soxr_error_t error = nullptr;
  // No dither, one thread: the same input always gives the same frames.
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  io.flags |= SOXR_NO_DITHER;
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  std::unique_ptr<soxr, Deleter> s(soxr_create(inputRate, kOutputRate, 2, &error, &io, &quality, &runtime));
  if (error || !s) return;
  handle_ = std::move(s);
}

bool Resampler::Process(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>* out) {
  if (!handle_) return false;
  while (frames > 0) {
    // Room for this input's output and the converter's delay.
    const std::size_t room =
        static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * kOutputRate / rate_)) + 1024;
    const std::size_t start = out->size();
    out->resize(start + room * 2);
    std::size_t used = 0, made = 0;
    soxr_error_t error =
        soxr_process(handle_.get(), in, frames, &used, out->data() + start, room, &made);
    out->resize(start + made * 2);
    if (error) return false;
    if (used == 0 && made == 0) return false;
    in += used * 2;
    frames -= used;
  }
  return true;
}

bool Resampler::Flush(std::vector<std::int16_t>* out) {
  if (!handle_) return false;
  for (;;) {
    const std::size_t room = 4096;
    const std::size_t start = out->size();
    out->resize(start + room * 2);
    std::size_t made = 0;
    soxr_error_t error = soxr_process(handle_.get(), nullptr, 0, nullptr, out->data() + start, room, &made);
    out->resize(start + made * 2);
    if (error) return false;
    if (made < room) return true;
  }
}

int RepetitionFactor(int rate, RateMode mode) {
  if (rate == kOutputRate) return 1;
  if (mode == RateMode::kRepeatOrResample) {
    if (rate == 11025) return 4;
    if (rate == 22050) return 2;
  }
  return 0;
}

void BlockConverter::Reset() {
  resampler_.reset();
  stereo_.clear();
}

bool BlockConverter::Convert(const std::int16_t* in, std::size_t frames, int channels, int rate,
                             std::vector<std::int16_t>* out) {
  if (channels <= 0 || rate <= 0) return false;
  stereo_.clear();
  ToStereo(in, frames, channels, &stereo_);
  const int factor = RepetitionFactor(rate, mode_);
  if (factor > 0) {
    // A rate change in the middle of a stream drains the old converter first.
    if (resampler_) {
      resampler_->Flush(out);
      resampler_.reset();
    }
    const std::size_t start = out->size();
    out->resize(start + frames * 2 * static_cast<std::size_t>(factor));
    std::int16_t* o = out->data() + start;
    for (std::size_t i = 0; i < frames; ++i) {
      for (int k = 0; k < factor; ++k) {
        *o++ = stereo_[2 * i];
        *o++ = stereo_[2 * i + 1];
      }
    }
    return true;
  }
  if (resampler_ && resampler_->inputRate() != rate) {
    resampler_->Flush(out);
    resampler_.reset();
  }
  if (!resampler_) {
    resampler_ = std::make_unique<Resampler>(rate);
    if (!resampler_->ok()) {
      resampler_.reset();
      return false;
    }
  }
  return resampler_->Process(stereo_.data(), frames, out);
}

void BlockConverter::Finish(std::vector<std::int16_t>* out) {
  if (resampler_) {
    resampler_->Flush(out);
    resampler_.reset();
  }
}

}  // namespace vexa::discpakb
