#include "encoder/mux/Multiplexer.h"

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/Failure.h"
#include "encoder/mux/AudioInputQueue.h"

namespace vidlathe {

void RunMultiplexer(MultiplexJob* job) {
  job->result = 0;
  CodedStreamBuffer* coded = job->encodeJob ? job->encodeJob->codedStream : nullptr;
  bool ok = false;
  if (job->output && coded)
    ok = IsMotionKind(job->encodeJob->kind) ? MultiplexMotion(job) : MultiplexStills(job);
  if (coded) coded->ReaderStopped();
  if (job->audio) job->audio->Abort();
  if (ok) job->result = 1;
  else Fail(FileReason(job->outputPath, "cannot write the stream", job->writeError));
}

}  // namespace vidlathe
