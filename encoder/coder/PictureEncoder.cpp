#include "encoder/coder/PictureEncoder.h"

#include <cmath>
#include <cstring>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/Tables.h"
#include "encoder/syntax/Headers.h"

namespace vidlathe {

double FrameRateOfCode(int code) {
  static const double rates[9] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
  return code >= 1 && code <= 8 ? rates[code] : 0;
}

void SetUpJob(EncodeJob* job, GopParameters* gop, SequenceParameters* seq) {
  *gop = GopParameters{};
  job->gop = gop;
  job->sequence = seq;
  seq->chroma_format = 1;
  seq->frame_rate_code = static_cast<int>(job->rateCode);
  seq->frame_rate = FrameRateOfCode(seq->frame_rate_code);
  seq->aspect_ratio_code = static_cast<int>(job->aspectCode);
  seq->horizontal_size = static_cast<int>(job->width);
  seq->vertical_size = static_cast<int>(job->height);
  seq->start_quantiser = static_cast<int>(job->quantiser);
  seq->progressive = 1;
  seq->mb_width = (seq->horizontal_size + 15) / 16;
  seq->mb_height = (seq->vertical_size + 15) / 16;
  seq->width = 16 * seq->mb_width;
  seq->height = 16 * seq->mb_height;
  seq->chroma_width = seq->width / 2;
  seq->chroma_height = seq->height / 2;
  seq->width2 = seq->width;
  seq->height2 = seq->height;
  seq->mb_height2 = seq->mb_height;
  seq->chroma_width2 = seq->chroma_width;
  seq->block_count = 6;
  seq->bit_rate = 1150000;
  seq->constant_rate = 0;
  seq->closed_gop = 0;
  seq->fixed_budget = 1;
  seq->load_intra_matrix = seq->load_non_intra_matrix = 0;
  seq->constrained_parameters_flag = 0;
  job->motionFlag = 0;
  gop->N = gop->M = 1;
  seq->vbv_buffer_size = job->kind == kStillPairHigh ? 112 : 20;
}

PictureEncoder::PictureEncoder() = default;
PictureEncoder::~PictureEncoder() = default;

bool PictureEncoder::Setup(EncodeJob* job) {
  job_ = job;
  kind_ = job->kind;
  if (ready_) return true;
  if (!job->codedStream || !job->sequence || !job->gop) return false;
  bits_ = job->codedStream;
  seq_ = job->sequence;
  gop_ = job->gop;
  kernels_ = &ActiveKernels();
  rate_ = std::make_unique<RateController>(bits_, seq_);
  writer_ = std::make_unique<MacroblockWriter>(bits_);
  std::memcpy(intraMatrix_, kDefaultIntraMatrix, 64);
  std::memcpy(nonIntraMatrix_, kFlatMatrix, 64);
  ready_ = true;
  return true;
}

void PictureEncoder::WriteSequenceHeader() {
  PutSequenceHeader(bits_, *seq_, intraMatrix_, nonIntraMatrix_);
}

void PictureEncoder::WriteUserData(const char* text) { PutUserData(bits_, text); }

void PictureEncoder::WriteGopHeader(int index, int closed) { PutGopHeader(bits_, *seq_, index, closed); }

void PictureEncoder::WritePictureHeader() {
  // Variable-rate streams carry no delay.
  pic_.vbv_delay = 0xFFFF;
  PictureHeader h;
  h.codedNumber = static_cast<uint32_t>(codedPictures_);
  h.displayNumber = static_cast<uint32_t>(groupStart_ + pic_.temporal_reference);
  h.temporalReference = pic_.temporal_reference;
  h.codingType = pic_.picture_coding_type;
  h.vbvDelay = pic_.vbv_delay;
  PutPictureHeader(bits_, h);
}

void PictureEncoder::WriteSequenceEnd() { PutSequenceEnd(bits_); }

void PictureEncoder::BeginPicture(int index, int type) {
  pic_.picture_coding_type = type;
  if (type == 1) {
    pic_.forward_hor_f_code = pic_.forward_vert_f_code = 15;
    pic_.backward_hor_f_code = pic_.backward_vert_f_code = 15;
    closedGop_ = seq_->closed_gop;
    groupStart_ = index;
    const int np = (gop_->N + gop_->M - 1) / gop_->M - 1;
    const int nb = gop_->N - np - 1;
    rate_->InitGroup(np, nb);
    WriteGopHeader(index, closedGop_);
  }
  pic_.temporal_reference = index - groupStart_;
  pic_.bit_budget = (kind_ == kStill || kind_ == kStillPairLow) ? 300000
                    : kind_ == kStillPairHigh                   ? 896000
                                                                : 280000;
}

bool PictureEncoder::EncodePicture(const uint8_t* const planes[3]) {
  if (!ready_ || pic_.picture_coding_type != 1) return false;
  if (static_cast<int>(mbs_.size()) != seq_->mb_width * seq_->mb_height)
    mbs_.assign(static_cast<size_t>(seq_->mb_width * seq_->mb_height), MacroblockInfo{});
  PutPicture(planes);
  ++codedPictures_;
  return true;
}

void PictureEncoder::PutPicture(const uint8_t* const planes[3]) {
  const Kernels& k = *kernels_;
  overLimit_ = false;
  rate_->InitPicture(pic_, planes[0], mbs_);
  WritePictureHeader();
  int qPrev = rate_->StartQuantiser();
  if (qPrev < minQuant_) qPrev = minQuant_;
  const int w = seq_->width, cw = seq_->chroma_width;
  alignas(32) int16_t block[64];
  alignas(32) int16_t levels[6][64];
  for (int r = 0; r < seq_->mb_height; ++r) {
    if (byteLimit_ && bits_->OpenPictureBytes(limitStream_) > byteLimit_) overLimit_ = true;
    PutSliceHeader(bits_, r, qPrev);
    writer_->ResetDcPredictors();
    for (int x = 0; x < seq_->mb_width; ++x) {
      const int kmb = r * seq_->mb_width + x;
      MacroblockInfo& mb = mbs_[kmb];
      int mquant = rate_->MacroblockQuantiser(kmb);
      if (mquant < minQuant_) mquant = minQuant_;
      if (overLimit_) mquant = 62;
      mb.mquant = mquant;
      for (int b = 0; b < 6; ++b) {
        const uint8_t* src;
        int stride;
        if (b < 4) {
          src = planes[0] + (r * 16 + (b >> 1) * 8) * w + x * 16 + (b & 1) * 8;
          stride = w;
        } else {
          src = planes[b - 3] + r * 8 * cw + x * 8;
          stride = cw;
        }
        for (int y = 0; y < 8; ++y)
          for (int i = 0; i < 8; ++i) block[y * 8 + i] = static_cast<int16_t>(src[y * stride + i] - 128);
        k.fdct(block);
        k.quant_intra(block, levels[b], intraMatrix_, mquant);
        const int keep = overLimit_ ? 1 : maxCoefficients_;
        for (int i = keep; i < 64; ++i) levels[b][kZigzag[i]] = 0;
      }
      mb.cbp = 63;
      mb.mb_type = MB_INTRA;
      if (mquant != qPrev) mb.mb_type |= MB_QUANT;
      mb.skipped = 0;
      writer_->PutAddressIncrement(1);
      writer_->PutMacroblockType(1, mb.mb_type);
      if (mb.mb_type & MB_QUANT) {
        writer_->PutQuantiser(mquant);
        qPrev = mquant;
      }
      for (int b = 0; b < 6; ++b) {
        writer_->PutIntraBlock(levels[b], b < 4 ? 0 : b - 3);
        if (levelSink_) levelSink_(kmb, b, levels[b], mquant);
      }
    }
  }
  rate_->UpdatePicture();
  rate_->EndOfPicture();
}

}  // namespace vidlathe
