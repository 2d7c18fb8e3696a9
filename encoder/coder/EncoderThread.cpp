#include "encoder/coder/EncoderThread.h"

#include <cmath>

#include "encoder/coder/MotionEncoder.h"
#include "encoder/coder/PictureEncoder.h"
#include "encoder/coder/ReencodeCoder.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/mux/PackWriter.h"

namespace vidlathe {

namespace {

// ---- stills (0x101, 0x110) ------------------------------------------------

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

void RunStillCoder(EncodeJob* job, PictureQueue* queue) {
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
}


// ---- motion from stills (0x202, 0x203) --------------------------------------

void RunMotionFromStillsCoder(EncodeJob* job, PictureQueue* queue) {
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
    bool laterPiece = false;  // the pieces of one still share its planes
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
      pe.EncodePicture(planes, laterPiece && !job->codeEveryIntraPicture);
      laterPiece = true;
      for (int j = 1; j < n; ++j) {
        pe.BeginPicture(index + j, 2);
        if (job->kind == kMotionCopyPictures) pe.EncodeCopyPicture();
        else pe.EncodePicture(planes);
      }
      index += n;
    }
  }
  if (started) pe.WriteSequenceEnd();
}


// ---- re-encoding (0x301) ----------------------------------------------------

// The pictures in display order, coded in the I P B B order of the job's
// group structure.
void RunReencodeCoder(EncodeJob* job, PictureQueue* queue) {
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
      return std::move(entry->planes);
    };
    CodeReencodeSequence(pe, gop, next, [&] { return out.IsReaderStopped(); });
    if (out.IsReaderStopped()) job->success = 0;
  }
}


}  // namespace

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

void RunEncoderThread(EncodeJob* job, PictureQueue* queue) {
  job->success = 1;
  switch (job->kind) {
    case kStill:
    case kStillPair: RunStillCoder(job, queue); break;
    case kMotionFromStills:
    case kMotionCopyPictures: RunMotionFromStillsCoder(job, queue); break;
    case kMotionReencode: RunReencodeCoder(job, queue); break;
    default: job->success = 0; break;
  }
  // No more pictures are taken: a caller still putting one is told at once.
  queue->Abort();
  job->codedStream->MarkStillPicture(0, 0, 2);
}

}  // namespace vidlathe
