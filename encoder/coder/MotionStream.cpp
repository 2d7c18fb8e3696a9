#include "encoder/coder/MotionStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "encoder/mux/AudioInputQueue.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/EncodingCall.h"
#include "encoder/coder/MotionEncoder.h"
#include "encoder/mux/Multiplexer.h"
#include "encoder/common/OutputFile.h"
#include "encoder/Vidlathe.h"
#include "platform/base/Path.h"
#include "platform/base/Queue.h"

namespace vidlathe {

namespace {

constexpr size_t kPictureQueueSize = 5;

struct QueuedStill {
  std::unique_ptr<StillPlanes> planes;  // none: the end of the list
  uint32_t displayMs = 0;
};
using StillQueue = vexa::base::ClosableQueue<QueuedStill>;

void RunMotionEncoder(EncodeJob* job, StillQueue* queue) {
  job->success = 1;
  CodedStreamBuffer& out = *job->codedStream;
  GopParameters gop;
  SequenceParameters seq;
  SetUpMotionJob(job, &gop, &seq);
  MotionPictureEncoder pe;
  int index = 0;  // display index of the next picture
  bool started = false;
  if (!pe.Setup(job)) job->success = 0;
  while (job->success == 1) {
    auto entry = queue->Pop();
    if (!entry || !entry->planes) break;
    const StillPlanes& p = *entry->planes;
    const uint8_t* planes[3] = {p.y.data(), p.u.data(), p.v.data()};
    for (int n : PiecePictureCounts(entry->displayMs, seq.frame_rate)) {
      if (out.IsReaderStopped()) {
        job->success = 0;
        break;
      }
      // One closed group per piece, with its own sequence header and a fresh
      // start of rate control.
      gop.N = n;
      gop.M = 1;
      pe.rateController()->Reset();
      pe.rateController()->InitSequence();
      // No user data text follows the first sequence header: Video CD
      // readers take user data for their own tagged records and report free
      // text as malformed.
      pe.WriteSequenceHeader();
      started = true;
      pe.BeginPicture(index, 1);
      pe.EncodePicture(planes);
      for (int j = 1; j < n; ++j) {
        pe.BeginPicture(index + j, 2);
        if (job->kind == kMotionCopyPictures) pe.EncodeCopyPicture();
        else pe.EncodePicture(planes);
      }
      index += n;
    }
  }
  if (started) pe.WriteSequenceEnd();
  queue->Abort();
  out.MarkStillPicture(0, 0, 2);
}

}  // namespace

bool MotionModeOf(int mode, MotionMode* out) {
  switch (mode) {
    case 5: *out = {kMotionCopyPictures, 352, 240, 12, 4}; return true;
    case 6: *out = {kMotionCopyPictures, 352, 288, 8, 3}; return true;
    case 7: *out = {kMotionFromStills, 352, 240, 12, 4}; return true;
    case 8: *out = {kMotionFromStills, 352, 288, 8, 3}; return true;
    case 9: *out = {kMotionFromStills, 352, 240, 12, 2}; return true;
    case 10: *out = {kMotionFromStills, 352, 288, 8, 2}; return true;
    case 11: *out = {kMotionCopyPictures, 352, 240, 12, 2}; return true;
    case 12: *out = {kMotionCopyPictures, 352, 288, 8, 2}; return true;
    default: return false;
  }
}

std::vector<int> PiecePictureCounts(uint32_t displayMs, double fps) {
  std::vector<int> counts;
  int64_t t = displayMs;
  while (t > 0) {
    const int64_t c = t < 1500 ? t : 1000;
    t -= c;
    const int n = static_cast<int>(std::floor(static_cast<double>(c) * fps * 0.001 + 0.5));
    // A piece too short for one picture still shows its I picture: a piece
    // of no pictures would give the next piece's I picture the same display
    // index and time stamps that run backwards.
    counts.push_back(n < 1 ? 1 : n);
  }
  return counts;
}

int EncodeMotionStream(const MotionMode& mode, int count, const StillFeeder& feed,
                       const std::string& outputPath, const std::string& audioPath, bool loop) {
  EncodingCall call;
  if (outputPath.empty() || !call.entered()) return 0;

  OutputFile output;
  if (!output.Open(outputPath)) return 0;
  std::FILE* file = output.file();

  CodedStreamBuffer coded;
  StillQueue pictures(kPictureQueueSize);
  std::unique_ptr<AudioInputQueue> audio;
  if (!audioPath.empty()) audio = std::make_unique<AudioInputQueue>();

  EncodeJob job;
  job.SetUp(mode.kind, mode.width, mode.height, mode.aspectCode, mode.rateCode, 2, &coded);

  MultiplexJob mux;
  mux.audio = audio.get();
  mux.outputPath = outputPath;
  mux.output = file;
  mux.encodeJob = &job;

  bool fed = true;
  {
    std::jthread reader;
    if (audio) reader = std::jthread([&] { RunAudioFileReader(audioPath, loop, audio.get()); });
    std::jthread encoder([&] { RunMotionEncoder(&job, &pictures); });
    std::jthread multiplexer([&] { RunMultiplexer(&mux); });

    for (int i = 0; i < count && fed; ++i) {
      auto planes = std::make_unique<StillPlanes>();
      uint32_t ms = 0;
      if (!feed(planes.get(), &ms)) {
        fed = false;
        break;
      }
      if (!pictures.Push(QueuedStill{std::move(planes), ms})) fed = false;
    }
    pictures.Push(QueuedStill{nullptr, 0});
    pictures.Close();
    encoder.join();
    multiplexer.join();
    if (audio) {
      audio->Abort();
      reader.join();
    }
  }
  return output.Commit(fed && mux.result == 1 && job.success == 1) ? 1 : 0;
}

}  // namespace vidlathe

using namespace vidlathe;

extern "C" int MulVidlathe_MP2(int count, PictureSource source, const char* outputPath, int mode,
                               const char* mp2Path, int loop) {
  MotionMode m;
  if (!MotionModeOf(mode, &m) || !source || !outputPath) return 0;
  const std::string audio = mp2Path ? std::string(mp2Path) : std::string();
  if (!audio.empty()) {
    StreamProperties props;
    Get_MP2_Prop(audio.c_str(), &props);
    if (!props.audioValid || !props.audioLayer2At44k) return 0;
  }
  const StillMode still{kStill, m.width, m.height, m.aspectCode, m.rateCode};
  const size_t bytes = static_cast<size_t>(m.width) * m.height * 4;
  std::vector<uint8_t> pixels(bytes);
  auto feed = [&](StillPlanes* planes, uint32_t* ms) {
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = m.width;
    h.biHeight = m.height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biSizeImage = static_cast<DWORD>(bytes);
    const int shown = source(pixels.data(), &h);
    if (shown <= 0) return false;
    BitmapSource src;
    src.header = h;
    src.pixels = pixels.data();
    src.pixelBytes = bytes;
    if (!MakeStillPlanes(src, still, planes)) return false;
    *ms = static_cast<uint32_t>(shown);
    return true;
  };
  return EncodeMotionStream(m, count < 0 ? 0 : count, feed, outputPath, audio, loop != 0);
}

extern "C" int MultipleVidlathe2(int count, PictureSource source, const char* outputPath, int mode) {
  return MulVidlathe_MP2(count, source, outputPath, mode, nullptr, 0);
}
