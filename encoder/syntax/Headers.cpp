#include "encoder/syntax/Headers.h"

#include <cmath>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/Tables.h"

namespace vidlathe {

void PutSequenceHeader(CodedStreamBuffer* bits, const SequenceParameters& seq,
                       const uint8_t* intraMatrix, const uint8_t* nonIntraMatrix) {
  bits->Align();
  bits->PutBits(0x000001B3, 32);
  bits->PutBits(static_cast<uint32_t>(seq.horizontal_size), 12);
  bits->PutBits(static_cast<uint32_t>(seq.vertical_size), 12);
  bits->PutBits(static_cast<uint32_t>(seq.aspect_ratio_code), 4);
  bits->PutBits(static_cast<uint32_t>(seq.frame_rate_code), 4);
  bits->PutBits(seq.constant_rate ? static_cast<uint32_t>((seq.bit_rate + 399) / 400) : 0x3FFFF, 18);
  bits->PutBits(1, 1);
  bits->PutBits(static_cast<uint32_t>(seq.vbv_buffer_size), 10);
  bits->PutBits(static_cast<uint32_t>(seq.constrained_parameters_flag), 1);
  bits->PutBits(static_cast<uint32_t>(seq.load_intra_matrix), 1);
  if (seq.load_intra_matrix)
    for (int i = 0; i < 64; ++i) bits->PutBits(intraMatrix[kZigzag[i]], 8);
  bits->PutBits(static_cast<uint32_t>(seq.load_non_intra_matrix), 1);
  if (seq.load_non_intra_matrix)
    for (int i = 0; i < 64; ++i) bits->PutBits(nonIntraMatrix[kZigzag[i]], 8);
}

void PutUserData(CodedStreamBuffer* bits, const char* text) {
  bits->Align();
  bits->PutBits(0x000001B2, 32);
  for (const char* p = text; *p; ++p) bits->PutBits(static_cast<uint8_t>(*p), 8);
}

void PutGopHeader(CodedStreamBuffer* bits, const SequenceParameters& seq, int index, int closed) {
  const int fps = static_cast<int>(std::floor(seq.frame_rate + 0.5));
  const int pictures = index % fps;
  const int s = (index - pictures) / fps;
  const int seconds = s % 60;
  const int m = (s - seconds) / 60;
  const int minutes = m % 60;
  const int hours = ((m - minutes) / 60) % 24;
  bits->Align();
  bits->PutBits(0x000001B8, 32);
  bits->PutBits(0, 1);  // no drop-frame
  bits->PutBits(static_cast<uint32_t>(hours), 5);
  bits->PutBits(static_cast<uint32_t>(minutes), 6);
  bits->PutBits(1, 1);
  bits->PutBits(static_cast<uint32_t>(seconds), 6);
  bits->PutBits(static_cast<uint32_t>(pictures), 6);
  bits->PutBits(static_cast<uint32_t>(closed), 1);
  bits->PutBits(0, 1);  // broken_link
}

uint64_t PictureStartCodeEnd(CodedStreamBuffer* bits) {
  bits->Align();
  return bits->BitCount() + 32;
}

void PutPictureHeader(CodedStreamBuffer* bits, const PictureHeader& h) {
  bits->Align();
  bits->MarkMotionPicture(h.codedNumber, h.displayNumber);
  bits->PutBits(0x00000100, 32);
  bits->PutBits(static_cast<uint32_t>(h.temporalReference & 1023), 10);
  bits->PutBits(static_cast<uint32_t>(h.codingType), 3);
  bits->PutBits(static_cast<uint32_t>(h.vbvDelay), 16);
  if (h.codingType >= 2) {
    bits->PutBits(0, 1);  // full_pel_forward_vector
    bits->PutBits(static_cast<uint32_t>(h.forwardFCode), 3);
  }
  if (h.codingType == 3) {
    bits->PutBits(0, 1);  // full_pel_backward_vector
    bits->PutBits(static_cast<uint32_t>(h.backwardFCode), 3);
  }
  bits->PutBits(0, 1);  // extra_bit_picture
}

void PutSliceHeader(CodedStreamBuffer* bits, int row, int mquant) {
  bits->Align();
  bits->PutBits(0x00000101u + static_cast<uint32_t>(row), 32);
  bits->PutBits(static_cast<uint32_t>(mquant / 2), 5);
  bits->PutBits(0, 1);  // extra_bit_slice
}

void PutSequenceEnd(CodedStreamBuffer* bits) {
  bits->Align();
  bits->PutBits(0x000001B7, 32);
}

}  // namespace vidlathe
