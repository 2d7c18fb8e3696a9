#include "encoder/coder/MotionEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/Dequantise.h"
#include "encoder/coder/PictureEncoder.h"
#include "encoder/syntax/Headers.h"
#include "encoder/common/Tables.h"

namespace vidlathe {

namespace {

struct MotionRange {
  int fh, fv, sxf, syf, bh, bv, sxb, syb;
};
// P pictures; B pictures one and two after their past anchor.
constexpr MotionRange kRangeP = {2, 2, 11, 11, 15, 15, 0, 0};
constexpr MotionRange kRangeB[3] = {{1, 1, 7, 7, 1, 1, 3, 3}, {1, 1, 3, 3, 1, 1, 7, 7}, {1, 1, 7, 7, 1, 1, 3, 3}};

constexpr int kPad = 64;  // bytes after every reference plane: reads past a row end stay inside

}  // namespace

void SetUpMotionJob(EncodeJob* job, GopParameters* gop, SequenceParameters* seq) {
  // The common part, as for stills; then what motion kinds change.
  SetUpJob(job, gop, seq);
  *gop = GopParameters{};
  seq->constant_rate = 1;
  seq->closed_gop = 1;
  seq->vbv_buffer_size = 20;
  seq->constrained_parameters_flag = 1;
  job->motionFlag = 1;
  seq->fixed_budget = job->kind == kMotionCopyPictures ? 1 : 0;
  if (job->kind != kMotionCopyPictures) gop->N = (gop->N / gop->M) * gop->M + 1;
}

// ---- picture coding ------------------------------------------------------------------

MotionPictureEncoder::MotionPictureEncoder() = default;
MotionPictureEncoder::~MotionPictureEncoder() = default;

bool MotionPictureEncoder::Setup(EncodeJob* job) {
  job_ = job;
  kind_ = job->kind;
  if (ready_) return true;
  if (!job->codedStream || !job->sequence || !job->gop) return false;
  bits_ = job->codedStream;
  seq_ = job->sequence;
  gop_ = job->gop;
  kernels_ = &ActiveKernels();
  rate_ = std::make_unique<MotionRateController>(bits_, seq_);
  writer_ = std::make_unique<MacroblockWriter>(bits_);
  estimator_ = std::make_unique<MotionEstimator>(*kernels_);
  estimator_->SetSequence(seq_);
  idct_ = std::make_unique<IntegerIdct>();
  const size_t luma = static_cast<size_t>(seq_->width) * seq_->height;
  const size_t chroma = static_cast<size_t>(seq_->chroma_width) * seq_->chroma_height;
  for (int c = 0; c < 3; ++c) {
    const size_t n = (c ? chroma : luma) + kPad;
    oldRef_[c].assign(n, 128);
    newRef_[c].assign(n, 128);
    pred_[c].assign(n, 128);
  }
  curSource_.assign(luma + kPad, 128);
  prevSource_.assign(luma + kPad, 128);
  const size_t mbs = static_cast<size_t>(seq_->mb_width) * seq_->mb_height;
  mbs_.assign(mbs, MacroblockInfo{});
  levels_.assign(mbs * 6 * 64, 0);
  ready_ = true;
  return true;
}

void MotionPictureEncoder::WriteSequenceHeader() {
  PutSequenceHeader(bits_, *seq_, kDefaultIntraMatrix, kFlatMatrix);
}

void MotionPictureEncoder::WriteUserData(const char* text) { PutUserData(bits_, text); }

void MotionPictureEncoder::WriteGopHeader(int index, int closed) { PutGopHeader(bits_, *seq_, index, closed); }

void MotionPictureEncoder::WritePictureHeader() {
  pic_.vbv_delay = seq_->constant_rate ? rate_->VbvDelay(PictureStartCodeEnd(bits_)) : 0xFFFF;
  PictureHeader h;
  h.codedNumber = static_cast<uint32_t>(codedPictures_);
  h.displayNumber = static_cast<uint32_t>(groupStart_ + pic_.temporal_reference);
  h.temporalReference = pic_.temporal_reference;
  h.codingType = pic_.picture_coding_type;
  h.vbvDelay = pic_.vbv_delay;
  h.forwardFCode = pic_.forward_hor_f_code;
  h.backwardFCode = pic_.backward_hor_f_code;
  PutPictureHeader(bits_, h);
}

void MotionPictureEncoder::WriteSequenceEnd() { PutSequenceEnd(bits_); }

void MotionPictureEncoder::BeginPicture(int index, int type) {
  pic_.picture_coding_type = type;
  if (type == 1) {
    pic_.forward_hor_f_code = pic_.forward_vert_f_code = 15;
    pic_.backward_hor_f_code = pic_.backward_vert_f_code = 15;
    ranges_[0] = ranges_[1] = ranges_[2] = ranges_[3] = 0;
    closedGop_ = seq_->closed_gop;
    groupStart_ = index;
    const int np = (gop_->N + gop_->M - 1) / gop_->M - 1;
    const int nb = gop_->N - np - 1;
    rate_->InitGroup(np, nb);
    WriteGopHeader(index, closedGop_);
  } else {
    const MotionRange& r = type == 2 ? kRangeP : kRangeB[(index - groupStart_) % std::max(gop_->M, 1) % 3];
    pic_.forward_hor_f_code = r.fh;
    pic_.forward_vert_f_code = r.fv;
    pic_.backward_hor_f_code = r.bh;
    pic_.backward_vert_f_code = r.bv;
    ranges_[0] = r.sxf;
    ranges_[1] = r.syf;
    ranges_[2] = r.sxb;
    ranges_[3] = r.syb;
  }
  pic_.temporal_reference = index - groupStart_;
  pic_.picture_structure = 3;
  pic_.frame_pred_frame_dct = 1;
  pic_.q_scale_type = 0;
  pic_.intra_dc_precision = 0;
  pic_.bit_budget = 280000;
  estimator_->SetPicture(pic_);
}

void MotionPictureEncoder::Predict(const uint8_t* const planes[3]) {
  (void)planes;
  const Kernels& k = *kernels_;
  const int w = seq_->width, cw = seq_->chroma_width;
  const int type = pic_.picture_coding_type;
  for (int my = 0; my < seq_->mb_height; ++my)
    for (int mx = 0; mx < seq_->mb_width; ++mx) {
      const MacroblockInfo& mb = mbs_[static_cast<size_t>(my) * seq_->mb_width + mx];
      const int x = mx * 16, y = my * 16;
      if (mb.mb_type & MB_INTRA) {
        for (int r = 0; r < 16; ++r) std::memset(pred_[0].data() + (y + r) * w + x, 128, 16);
        for (int c = 1; c < 3; ++c)
          for (int r = 0; r < 8; ++r) std::memset(pred_[c].data() + (y / 2 + r) * cw + x / 2, 128, 8);
        continue;
      }
      bool have = false;
      auto one = [&](const std::vector<uint8_t>* ref, const int* mv) {
        const int dx = mv[0], dy = mv[1];
        k.predict(ref[0].data() + (y + (dy >> 1)) * w + x + (dx >> 1), w, pred_[0].data() + y * w + x, w,
                  16, 16, dx & 1, dy & 1, have);
        const int cdx = dx / 2, cdy = dy / 2;
        for (int c = 1; c < 3; ++c)
          k.predict(ref[c].data() + (y / 2 + (cdy >> 1)) * cw + x / 2 + (cdx >> 1), cw,
                    pred_[c].data() + (y / 2) * cw + x / 2, cw, 8, 8, cdx & 1, cdy & 1, have);
        have = true;
      };
      if ((mb.mb_type & MB_FORWARD) || type == 2) one(oldRef_, mb.mv[0][0]);
      if (mb.mb_type & MB_BACKWARD) one(newRef_, mb.mv[0][1]);
    }
}

bool MotionPictureEncoder::EncodePicture(const uint8_t* const planes[3], bool sameAsLastIntra) {
  if (!ready_) return false;
  const int type = pic_.picture_coding_type;
  const size_t luma = static_cast<size_t>(seq_->width) * seq_->height;
  if (type != 3) {
    std::swap(prevSource_, curSource_);
    std::memcpy(curSource_.data(), planes[0], luma);
    for (int c = 0; c < 3; ++c) std::swap(oldRef_[c], newRef_[c]);
  }
  estimator_->EstimateMotion(prevSource_.data(), curSource_.data(), oldRef_[0].data(), newRef_[0].data(),
                             planes[0], ranges_[0], ranges_[1], ranges_[2], ranges_[3], mbs_);
  Predict(planes);
  PutPicture(planes, sameAsLastIntra);
  ++codedPictures_;
  if (type != 3 && (kind_ == kMotionFromStills || kind_ == kMotionReencode)) Reconstruct();
  return true;
}

void MotionPictureEncoder::PutPicture(const uint8_t* const planes[3], bool sameAsLastIntra) {
  const Kernels& k = *kernels_;
  const int type = pic_.picture_coding_type;
  const int w = seq_->width, cw = seq_->chroma_width;
  rate_->InitPicture(pic_, planes[0], mbs_);
  WritePictureHeader();
  int qPrev = rate_->StartQuantiser();
  // The I pictures of copy-picture video are not reconstructed, and the
  // pieces of one still code the same planes: their macroblocks are kept.
  const bool keepIntra = type == 1 && kind_ == kMotionCopyPictures;
  if (keepIntra) {
    bits_->Align();  // as the first slice header does
    const RateController::MacroblockStart start = rate_->macroblockStart();
    if (sameAsLastIntra && intraCopy_.valid && intraCopy_.start == start) {
      bits_->PutBytes(intraCopy_.bytes.data(), intraCopy_.bytes.size());
      if (intraCopy_.tailCount > 0) bits_->PutBits(intraCopy_.tailBits, intraCopy_.tailCount);
      rate_->set_macroblockTally(intraCopy_.tally);
      mbs_ = intraCopy_.mbs;
      rate_->UpdatePicture();
      rate_->EndOfPicture();
      return;
    }
    intraCopy_.valid = false;
    intraCopy_.start = start;
    intraCopy_.bytes.clear();
    bits_->BeginCopy(&intraCopy_.bytes);
  }
  alignas(32) int16_t block[64];
  for (int r = 0; r < seq_->mb_height; ++r) {
    PutSliceHeader(bits_, r, qPrev);
    writer_->ResetDcPredictors();
    int pmv[2][2] = {};
    int a = 1;
    int prevDirections = -1;
    for (int x = 0; x < seq_->mb_width; ++x) {
      const int kmb = r * seq_->mb_width + x;
      MacroblockInfo& mb = mbs_[kmb];
      int16_t* lv = levels_.data() + static_cast<size_t>(kmb) * 6 * 64;
      const int mquant = rate_->MacroblockQuantiser(kmb);
      mb.mquant = mquant;
      const bool intra = mb.mb_type & MB_INTRA;
      int cbp = 0;
      for (int b = 0; b < 6; ++b) {
        const uint8_t *src, *pred;
        int stride;
        if (b < 4) {
          const size_t off = static_cast<size_t>(r * 16 + (b >> 1) * 8) * w + x * 16 + (b & 1) * 8;
          src = planes[0] + off;
          pred = pred_[0].data() + off;
          stride = w;
        } else {
          const size_t off = static_cast<size_t>(r * 8) * cw + x * 8;
          src = planes[b - 3] + off;
          pred = pred_[b - 3].data() + off;
          stride = cw;
        }
        k.diff8x8(src, stride, pred, stride, block);
        if (intra) {
          k.fdct(block);
          k.quant_intra(block, lv + 64 * b, kDefaultIntraMatrix, mquant);
          continue;
        }
        // With the flat matrix a level is zero when its coefficient, rounded,
        // is below mquant; and no coefficient exceeds a quarter of the sum
        // of absolute differences, nor (the transform being orthonormal) the
        // root of the sum of squares. A block under either bound has only
        // zero levels, which the transform would give too.
        int sum = 0, squares = 0;
        for (int i = 0; i < 64; ++i) {
          sum += std::abs(block[i]);
          squares += block[i] * block[i];
        }
        if (sum < 4 * mquant - 2 || 4 * squares < (2 * mquant - 1) * (2 * mquant - 1)) {
          std::memset(lv + 64 * b, 0, 64 * sizeof(int16_t));
          cbp = 2 * cbp;
          continue;
        }
        k.fdct(block);
        cbp = 2 * cbp + k.quant_nonintra(block, lv + 64 * b, kFlatMatrix, mquant);
      }
      int t = mb.mb_type & (MB_INTRA | MB_FORWARD | MB_BACKWARD);
      if (intra) cbp = 63;
      else if (cbp) t |= MB_PATTERN;
      if (cbp && mquant != qPrev) t |= MB_QUANT;
      mb.cbp = cbp;
      // Skipped macroblocks: never the first or last of a row.
      bool skip = false;
      if (x != 0 && x != seq_->mb_width - 1 && cbp == 0 && !intra) {
        if (type == 2) {
          skip = !(t & MB_FORWARD);
        } else if (type == 3) {
          const int dirs = t & (MB_FORWARD | MB_BACKWARD);
          skip = mb.motion_type == 2 && dirs == prevDirections &&
                 (!(dirs & MB_FORWARD) || (mb.mv[0][0][0] == pmv[0][0] && mb.mv[0][0][1] == pmv[0][1])) &&
                 (!(dirs & MB_BACKWARD) || (mb.mv[0][1][0] == pmv[1][0] && mb.mv[0][1][1] == pmv[1][1]));
        }
      }
      if (skip) {
        mb.skipped = 1;
        ++a;
        writer_->ResetDcPredictors();
        if (type == 2) pmv[0][0] = pmv[0][1] = 0;
        mb.mb_type = t;
        continue;
      }
      mb.skipped = 0;
      if (type == 2 && !intra && cbp == 0 && !(t & MB_FORWARD)) t |= MB_FORWARD;
      writer_->PutAddressIncrement(a);
      a = 1;
      writer_->PutMacroblockType(type, t);
      if (t & MB_QUANT) {
        writer_->PutQuantiser(mquant);
        qPrev = mquant;
      }
      if (t & MB_FORWARD) writer_->PutMotionVectors(mb.mv[0][0], pmv[0], pic_.forward_hor_f_code);
      if (t & MB_BACKWARD) writer_->PutMotionVectors(mb.mv[0][1], pmv[1], pic_.backward_hor_f_code);
      if (t & MB_PATTERN) writer_->PutCodedBlockPattern(cbp);
      for (int b = 0; b < 6; ++b) {
        if (!(cbp & (1 << (5 - b)))) continue;
        if (intra) writer_->PutIntraBlock(lv + 64 * b, b < 4 ? 0 : b - 3);
        else writer_->PutNonIntraBlock(lv + 64 * b);
      }
      if (!intra) writer_->ResetDcPredictors();
      if (intra || (type == 2 && !(t & MB_FORWARD))) pmv[0][0] = pmv[0][1] = pmv[1][0] = pmv[1][1] = 0;
      prevDirections = intra ? 0 : (t & (MB_FORWARD | MB_BACKWARD));
      mb.mb_type = t;
    }
  }
  if (keepIntra) {
    bits_->EndCopy(&intraCopy_.tailBits, &intraCopy_.tailCount);
    intraCopy_.tally = rate_->macroblockTally();
    intraCopy_.mbs = mbs_;
    intraCopy_.valid = true;
  }
  rate_->UpdatePicture();
  rate_->EndOfPicture();
}

void MotionPictureEncoder::Reconstruct() {
  const Kernels& k = *kernels_;
  const int w = seq_->width, cw = seq_->chroma_width;
  alignas(32) int16_t block[64];
  for (int r = 0; r < seq_->mb_height; ++r)
    for (int x = 0; x < seq_->mb_width; ++x) {
      const int kmb = r * seq_->mb_width + x;
      const MacroblockInfo& mb = mbs_[kmb];
      const int16_t* lv = levels_.data() + static_cast<size_t>(kmb) * 6 * 64;
      const bool intra = mb.mb_type & MB_INTRA;
      for (int b = 0; b < 6; ++b) {
        const bool coded = intra || (mb.cbp & (1 << (5 - b)));
        if (coded) {
          if (intra) DequantiseIntra(lv + 64 * b, block, kDefaultIntraMatrix, mb.mquant);
          else DequantiseNonIntra(lv + 64 * b, block, kFlatMatrix, mb.mquant);
          idct_->Transform(block);
        } else {
          std::memset(block, 0, sizeof block);
        }
        size_t off;
        int stride, c;
        if (b < 4) {
          off = static_cast<size_t>(r * 16 + (b >> 1) * 8) * w + x * 16 + (b & 1) * 8;
          stride = w;
          c = 0;
        } else {
          off = static_cast<size_t>(r * 8) * cw + x * 8;
          stride = cw;
          c = b - 3;
        }
        k.add_prediction(pred_[c].data() + off, newRef_[c].data() + off, stride, block);
      }
    }
}

bool MotionPictureEncoder::EncodeCopyPicture() {
  if (!ready_) return false;
  rate_->InitPicture(pic_, nullptr, mbs_);
  const int64_t T = rate_->target();
  pic_.vbv_delay = rate_->VbvDelay(PictureStartCodeEnd(bits_));
  PictureHeader h;
  h.codedNumber = static_cast<uint32_t>(codedPictures_);
  h.displayNumber = static_cast<uint32_t>(groupStart_ + pic_.temporal_reference);
  h.temporalReference = pic_.temporal_reference;
  h.codingType = 2;
  h.vbvDelay = pic_.vbv_delay;
  h.forwardFCode = 1;
  PutPictureHeader(bits_, h);
  // One slice at the finest quantiser.
  PutSliceHeader(bits_, 0, 2);
  const int64_t mbs = static_cast<int64_t>(seq_->mb_width) * seq_->mb_height;
  int64_t P = std::max<int64_t>(T - 6 * mbs - 110, 0);
  int64_t L = 11 * mbs;
  const int zero[2] = {0, 0};
  for (int r = 0; r < seq_->mb_height; ++r) {
    const int64_t s = L > 0 ? P / L : 0;
    for (int x = 0; x < seq_->mb_width; ++x) {
      for (int64_t n = 0; P > 0 && n < s; ++n) {
        writer_->PutStuffing();
        P -= 11;
      }
      if (r == seq_->mb_height - 1 && x == seq_->mb_width - 1 && P >= 7) {
        for (int64_t n = (P - 7) / 11 + 1; n > 0; --n) writer_->PutStuffing();
      }
      // Address increment 1, forward prediction not coded, zero vector.
      int pmv[2] = {0, 0};
      writer_->PutAddressIncrement(1);
      writer_->PutMacroblockType(2, MB_FORWARD);
      writer_->PutMotionVectors(zero, pmv, 1);
    }
    L -= 11 * seq_->mb_width;
  }
  for (auto& mb : mbs_) {
    mb.mb_type = MB_FORWARD;
    mb.cbp = 0;
    mb.skipped = 0;
    mb.mv[0][0][0] = mb.mv[0][0][1] = 0;
  }
  ++codedPictures_;
  rate_->UpdatePicture();
  rate_->EndOfPicture();
  return true;
}

}  // namespace vidlathe
