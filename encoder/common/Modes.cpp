#include "encoder/common/Modes.h"

#include "encoder/common/EncoderRecords.h"

namespace vidlathe {

namespace {

// NTSC modes have aspect code 12 and heights 240/480, PAL ones aspect code 8
// and heights 288/576.
constexpr Mode kModes[] = {
    {ModeSet::kVidlathe, 1, kStill, 352, 240, 12, 4},
    {ModeSet::kVidlathe, 2, kStillPair, 704, 480, 12, 4},
    {ModeSet::kVidlathe, 3, kStill, 352, 288, 8, 3},
    {ModeSet::kVidlathe, 4, kStillPair, 704, 576, 8, 3},

    {ModeSet::kMultiStill, 5, kStill, 352, 240, 12, 4},
    {ModeSet::kMultiStill, 6, kStill, 352, 288, 8, 3},
    {ModeSet::kMultiStill, 7, kStillPair, 704, 480, 12, 4},
    {ModeSet::kMultiStill, 8, kStillPair, 704, 576, 8, 3},
    {ModeSet::kMultiStill, 9, kStillPair, 704, 480, 12, 2},
    {ModeSet::kMultiStill, 10, kStillPair, 704, 576, 8, 2},
    {ModeSet::kMultiStill, 11, kStill, 352, 240, 12, 2},
    {ModeSet::kMultiStill, 12, kStill, 352, 288, 8, 2},

    {ModeSet::kMotion, 5, kMotionCopyPictures, 352, 240, 12, 4},
    {ModeSet::kMotion, 6, kMotionCopyPictures, 352, 288, 8, 3},
    {ModeSet::kMotion, 7, kMotionFromStills, 352, 240, 12, 4},
    {ModeSet::kMotion, 8, kMotionFromStills, 352, 288, 8, 3},
    {ModeSet::kMotion, 9, kMotionFromStills, 352, 240, 12, 2},
    {ModeSet::kMotion, 10, kMotionFromStills, 352, 288, 8, 2},
    {ModeSet::kMotion, 11, kMotionCopyPictures, 352, 240, 12, 2},
    {ModeSet::kMotion, 12, kMotionCopyPictures, 352, 288, 8, 2},

    {ModeSet::kReencode, 1, kMotionReencode, 352, 240, 12, 4},
    {ModeSet::kReencode, 2, kMotionReencode, 352, 240, 12, 1},
    {ModeSet::kReencode, 3, kMotionReencode, 352, 288, 8, 3},

    {ModeSet::kConcatStills, 1, kStill, 352, 240, 12, 4},
    {ModeSet::kConcatStills, 2, kStill, 352, 240, 12, 1},
    {ModeSet::kConcatStills, 3, kStill, 352, 288, 8, 3},
    {ModeSet::kConcatStills, 4, kStillPair, 704, 480, 12, 4},
    {ModeSet::kConcatStills, 5, kStillPair, 704, 480, 12, 1},
    {ModeSet::kConcatStills, 6, kStillPair, 704, 576, 8, 3},
};

}  // namespace

const Mode* FindMode(ModeSet set, int number) {
  for (const Mode& m : kModes)
    if (m.set == set && m.number == number) return &m;
  return nullptr;
}

std::string ModeRangeText(ModeSet set, int number) {
  int lo = 0, hi = 0;
  for (const Mode& m : kModes) {
    if (m.set != set) continue;
    if (lo == 0 || m.number < lo) lo = m.number;
    if (m.number > hi) hi = m.number;
  }
  return "mode " + std::to_string(number) + " is not one of " + std::to_string(lo) + ".." + std::to_string(hi);
}

}  // namespace vidlathe
