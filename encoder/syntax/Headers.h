// The writers of the video stream's headers (ISO/IEC 11172-2), one each:
// sequence header, user data, group of pictures, picture and slice
// headers, and the sequence end code. Every header starts at a byte
// boundary with its 32-bit start code; fields go most significant bit first
// through the bit writer. The still and the motion coders write through
// these alone.
#pragma once

#include <cstdint>

#include "encoder/common/EncoderRecords.h"

namespace vidlathe {

class CodedStreamBuffer;

// The sequence header of seq; with its load flags set, the matrices follow
// in zigzag order.
void PutSequenceHeader(CodedStreamBuffer* bits, const SequenceParameters& seq,
                       const uint8_t* intraMatrix, const uint8_t* nonIntraMatrix);
void PutUserData(CodedStreamBuffer* bits, const char* text);
// The group header whose time code is that of the picture with display
// index `index` at the sequence's rate.
void PutGopHeader(CodedStreamBuffer* bits, const SequenceParameters& seq, int index, int closed);

struct PictureHeader {
  uint32_t codedNumber = 0;    // the picture's number in coding order
  uint32_t displayNumber = 0;  // in display order (group start + temporal reference)
  int temporalReference = 0;
  int codingType = 1;          // 1 I, 2 P, 3 B
  int vbvDelay = 0xFFFF;
  int forwardFCode = 0;        // written for P and B pictures
  int backwardFCode = 0;       // written for B pictures
};
// Marks the picture in the coded-video ring (its coding and display
// numbers) and writes its header.
void PutPictureHeader(CodedStreamBuffer* bits, const PictureHeader& h);
// The bit count at which a picture header that starts now ends its start
// code: what a rate control's vbv_delay is computed from.
uint64_t PictureStartCodeEnd(CodedStreamBuffer* bits);

// The header of slice `row` (0-based) with the quantiser mquant (2..62).
void PutSliceHeader(CodedStreamBuffer* bits, int row, int mquant);
void PutSequenceEnd(CodedStreamBuffer* bits);

}  // namespace vidlathe
