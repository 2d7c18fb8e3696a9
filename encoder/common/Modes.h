// The modes of every entry point in one table: the job kind each mode
// codes, the size of its largest picture, its aspect-ratio and picture-rate
// codes.
#pragma once

#include <cstdint>
#include <string>

namespace vidlathe {

enum class ModeSet {
  kVidlathe,       // Vidlathe1, Vidlathe2: 1..4
  kMultiStill,     // Multi_I_Enc_Still(_MP2): 5..12
  kMotion,         // MultipleVidlathe2, MulVidlathe_MP2: 5..12
  kReencode,       // Motion_VCD_Component, Concatenate_VCD_motion: 1..3
  kConcatStills,   // Concatenate_VCD_Stills: 1..6
};

struct Mode {
  ModeSet set;
  int number;
  uint32_t kind;      // the job kind (EncoderRecords.h)
  int width, height;  // of the largest picture
  int aspectCode, rateCode;
};

// The mode `number` of a set; nullptr when the set has none such.
const Mode* FindMode(ModeSet set, int number);
// "mode 13 is not one of 5..12", for a number the set does not have.
std::string ModeRangeText(ModeSet set, int number);

}  // namespace vidlathe
