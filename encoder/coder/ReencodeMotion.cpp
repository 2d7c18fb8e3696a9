#include "encoder/coder/ReencodeMotion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "encoder/mux/AudioInputQueue.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/EncodingCall.h"
#include "encoder/coder/MotionEncoder.h"
#include "encoder/mux/Multiplexer.h"
#include "encoder/common/OutputFile.h"
#include "encoder/coder/ReencodeCoder.h"
#include "platform/base/Path.h"
#include "platform/base/Queue.h"

namespace vidlathe {

namespace {

constexpr size_t kPictureQueueSize = 5;
using PictureQueue = vexa::base::ClosableQueue<std::unique_ptr<StillPlanes>>;

// The encoder thread of a re-encode: the pictures in display order, coded
// in the I P B B order of the job's group structure.
void RunReencoder(EncodeJob* job, PictureQueue* queue) {
  job->success = 1;
  CodedStreamBuffer& out = *job->codedStream;
  GopParameters gop;
  SequenceParameters seq;
  SetUpMotionJob(job, &gop, &seq);
  MotionPictureEncoder pe;
  if (!pe.Setup(job)) {
    job->success = 0;
  } else {
    NextPicture next = [&]() -> std::unique_ptr<StillPlanes> {
      auto entry = queue->Pop();
      if (!entry) return nullptr;
      return std::move(*entry);
    };
    CodeReencodeSequence(pe, gop, next, [&] { return out.IsReaderStopped(); });
    if (out.IsReaderStopped()) job->success = 0;
  }
  queue->Abort();  // a producer blocked on a full queue gives up
  out.MarkStillPicture(0, 0, 2);
}

}  // namespace

int EncodeReencodedStream(const ReencodeMode& mode, const PictureFeeder& feed,
                          const std::string& outputPath, const std::string& audioPath) {
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
  job.SetUp(kMotionReencode, mode.width, mode.height, mode.aspectCode, mode.rateCode, 2, &coded);

  MultiplexJob mux;
  mux.audio = audio.get();
  mux.outputPath = outputPath;
  mux.output = file;
  mux.encodeJob = &job;

  bool fed = true;
  {
    // Every queue exists before any thread starts.
    std::jthread reader;
    if (audio) reader = std::jthread([&] { RunAudioFileReader(audioPath, false, audio.get()); });
    std::jthread encoder([&] { RunReencoder(&job, &pictures); });
    std::jthread multiplexer([&] { RunMultiplexer(&mux); });
    for (;;) {
      auto planes = std::make_unique<StillPlanes>();
      if (!feed(planes.get())) break;
      if (planes->y.size() != static_cast<size_t>(mode.width) * mode.height ||
          planes->u.size() != static_cast<size_t>(mode.width / 2) * (mode.height / 2) ||
          planes->v.size() != planes->u.size()) {
        fed = false;
        break;
      }
      if (!pictures.Push(std::move(planes))) {
        fed = false;
        break;
      }
    }
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
