#include "encoder/coder/StillEncoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "encoder/mux/AudioInputQueue.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/EncodingCall.h"
#include "encoder/common/Kernels.h"
#include "encoder/common/OutputFile.h"
#include "encoder/coder/PictureEncoder.h"
#include "encoder/mux/Multiplexer.h"
#include "encoder/mux/PackWriter.h"
#include "platform/base/Path.h"
#include "platform/base/Queue.h"

namespace vidlathe {

namespace {

constexpr uint32_t kLastPicture = 0x80000000u;
constexpr size_t kPictureQueueSize = 5;

struct QueuedPicture {
  std::unique_ptr<StillPlanes> planes;
  uint32_t flag = 0;
  uint32_t displayMs = 0;
};
using PictureQueue = vexa::base::ClosableQueue<QueuedPicture>;

// Coarser and coarser settings for a picture that does not fit the
// decoder's buffer: raise the smallest quantiser, then code fewer
// coefficients per block. The last step (DC only at the coarsest
// quantiser) always fits.
struct Shrink {
  int minQuant, coefficients;
};
constexpr Shrink kShrinkSteps[] = {{2, 64},  {8, 64},  {16, 64}, {32, 64},
                                   {62, 64}, {62, 16}, {62, 4},  {62, 1}};

// Codes one picture of a still on stream 0 (352-wide) or 1 (704-wide) so
// that it fits the stream's decoder buffer. false when the coder failed.
bool CodeStillPicture(PictureEncoder& pe, EncodeJob& job, GopParameters& gop,
                      SequenceParameters& seq, int stream, const uint8_t* const planes[3],
                      uint32_t displayMs) {
  CodedStreamBuffer& out = *job.codedStream;
  const uint64_t limit = (stream == 1 ? kE2BufferBound : kE1BufferBound) * 1024ull;
  for (const Shrink& step : kShrinkSteps) {
    SetUpJob(&job, &gop, &seq);
    if (!pe.Setup(&job)) return false;
    pe.rateController()->Reset();
    pe.rateController()->InitSequence();
    pe.SetLimits(step.minQuant, step.coefficients);
    pe.SetByteLimit(limit, stream);
    out.MarkStillPicture(stream, displayMs, 0);
    // No user data text follows the sequence header: Video CD readers take
    // a still's user data for their own tagged records and report free
    // text as malformed.
    pe.WriteSequenceHeader();
    pe.BeginPicture(0, 1);
    if (!pe.EncodePicture(planes)) return false;
    pe.WriteSequenceEnd();
    out.Align();
    if (out.OpenPictureBytes(stream) <= limit) {
      out.MarkStillPicture(stream, displayMs, 1);
      return true;
    }
    out.DiscardOpenPicture(stream);
  }
  return false;
}

void RunStillEncoder(EncodeJob* job, PictureQueue* queue) {
  job->success = 1;
  PictureEncoder pe;
  GopParameters gop;
  SequenceParameters seq;
  // The picture kind and size change while a pair is coded; they change in
  // the thread's own copy of the job, since the multiplexer reads the job.
  EncodeJob work;
  work.kind = job->kind;
  work.width = job->width;
  work.height = job->height;
  work.aspectCode = job->aspectCode;
  work.rateCode = job->rateCode;
  work.motionFlag = job->motionFlag;
  work.quantiser = job->quantiser;
  work.codedStream = job->codedStream;
  const uint32_t kind = job->kind;
  CodedStreamBuffer& out = *job->codedStream;
  bool ok = true;
  while (auto entry = queue->Pop()) {
    if (!entry->planes) break;  // the end marker
    if (out.IsReaderStopped()) {
      ok = false;
      break;
    }
    const StillPlanes& p = *entry->planes;
    if (kind == kStillPair) {
      const uint8_t* high[3] = {p.y2.data(), p.u2.data(), p.v2.data()};
      const uint8_t* low[3] = {p.y.data(), p.u.data(), p.v.data()};
      work.kind = kStillPairHigh;
      work.width = job->width;
      work.height = job->height;
      ok = CodeStillPicture(pe, work, gop, seq, 1, high, entry->displayMs);
      work.kind = kStillPairLow;
      work.width = job->width / 2;
      work.height = job->height / 2;
      ok = ok && CodeStillPicture(pe, work, gop, seq, 0, low, entry->displayMs);
    } else {
      const uint8_t* planes[3] = {p.y.data(), p.u.data(), p.v.data()};
      ok = CodeStillPicture(pe, work, gop, seq, 0, planes, entry->displayMs);
    }
    if (!ok) break;
  }
  if (!ok) job->success = 0;
  // No more pictures are taken: a caller still putting one is told at once.
  queue->Abort();
  out.MarkStillPicture(0, 0, 2);
}

}  // namespace

bool VidlatheMode(int mode, StillMode* out) {
  switch (mode) {
    case 1: *out = {kStill, 352, 240, 12, 4}; return true;
    case 2: *out = {kStillPair, 704, 480, 12, 4}; return true;
    case 3: *out = {kStill, 352, 288, 8, 3}; return true;
    case 4: *out = {kStillPair, 704, 576, 8, 3}; return true;
    default: return false;
  }
}

bool MultiStillMode(int mode, StillMode* out) {
  switch (mode) {
    case 5: *out = {kStill, 352, 240, 12, 4}; return true;
    case 6: *out = {kStill, 352, 288, 8, 3}; return true;
    case 7: *out = {kStillPair, 704, 480, 12, 4}; return true;
    case 8: *out = {kStillPair, 704, 576, 8, 3}; return true;
    case 9: *out = {kStillPair, 704, 480, 12, 2}; return true;
    case 10: *out = {kStillPair, 704, 576, 8, 2}; return true;
    case 11: *out = {kStill, 352, 240, 12, 2}; return true;
    case 12: *out = {kStill, 352, 288, 8, 2}; return true;
    default: return false;
  }
}

bool MakeStillPlanes(const BitmapSource& src, const StillMode& mode, StillPlanes* out) {
  const int W = mode.width, H = mode.height;
  const int w = mode.kind == kStillPair ? W / 2 : W, h = mode.kind == kStillPair ? H / 2 : H;
  out->y.resize(static_cast<size_t>(w) * h);
  out->u.resize(static_cast<size_t>(w / 2) * (h / 2));
  out->v.resize(out->u.size());
  if (mode.kind != kStillPair) {
    uint8_t* planes[3] = {out->y.data(), out->u.data(), out->v.data()};
    return ConvertBitmap(src, W, H, planes);
  }
  out->y2.resize(static_cast<size_t>(W) * H);
  out->u2.resize(static_cast<size_t>(W / 2) * (H / 2));
  out->v2.resize(out->u2.size());
  uint8_t* planes[3] = {out->y2.data(), out->u2.data(), out->v2.data()};
  if (!ConvertBitmap(src, W, H, planes)) return false;
  // The companion: luminance through the half-band filters, chrominance as
  // every second sample of every second row.
  const Kernels& k = ActiveKernels();
  std::vector<uint8_t> halfRows(static_cast<size_t>(W / 2) * H);
  k.decimate_h(out->y2.data(), halfRows.data(), W, H);
  k.decimate_v(halfRows.data(), out->y.data(), W, H);
  for (int r = 0; r < h / 2; ++r)
    for (int c = 0; c < w / 2; ++c) {
      out->u[static_cast<size_t>(r) * (w / 2) + c] = out->u2[static_cast<size_t>(2 * r) * (W / 2) + 2 * c];
      out->v[static_cast<size_t>(r) * (w / 2) + c] = out->v2[static_cast<size_t>(2 * r) * (W / 2) + 2 * c];
    }
  return true;
}

int EncodeStillStream(const StillMode& mode, int quantiser, int count, const StillFeeder& feed,
                      const std::string& outputPath, const std::string& audioPath, bool loop) {
  // Calls never overlap, still or motion: a second caller waits here for
  // the first to finish.
  EncodingCall call;
  if (outputPath.empty() || !call.entered()) return 0;

  OutputFile output;
  if (!output.Open(outputPath)) return 0;
  std::FILE* file = output.file();

  CodedStreamBuffer coded;
  PictureQueue pictures(kPictureQueueSize);
  std::unique_ptr<AudioInputQueue> audio;
  if (!audioPath.empty()) audio = std::make_unique<AudioInputQueue>();

  EncodeJob job;
  job.SetUp(mode.kind, mode.width, mode.height, mode.aspectCode, mode.rateCode,
            static_cast<uint32_t>(quantiser), &coded);

  MultiplexJob mux;
  mux.audio = audio.get();
  mux.outputPath = outputPath;
  mux.output = file;
  mux.encodeJob = &job;

  bool fed = true;
  {
    // Every queue exists before any thread starts.
    std::jthread reader;
    if (audio) reader = std::jthread([&] { RunAudioFileReader(audioPath, loop, audio.get()); });
    std::jthread encoder([&] { RunStillEncoder(&job, &pictures); });
    std::jthread multiplexer([&] { RunMultiplexer(&mux); });

    for (int i = 0; i < count && fed; ++i) {
      auto planes = std::make_unique<StillPlanes>();
      uint32_t ms = 0;
      if (!feed(planes.get(), &ms)) {
        fed = false;
        break;
      }
      if (!pictures.Push(QueuedPicture{std::move(planes), 0, ms})) fed = false;
    }
    pictures.Push(QueuedPicture{nullptr, kLastPicture, 0});
    pictures.Close();
    encoder.join();
    multiplexer.join();
    if (audio) {
      audio->Abort();  // releases a reader blocked on a full queue
      reader.join();
    }
  }
  return output.Commit(fed && mux.result == 1 && job.success == 1) ? 1 : 0;
}

}  // namespace vidlathe
