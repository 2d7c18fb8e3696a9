// The arithmetic of a title still: where its up to three centred lines go.
#pragma once

namespace vexa::imgutil {

struct TitleLayout {
  int present = 0;          // number of non-empty lines
  int S = 0, a = 0, b = 0;  // the band per line and the half gaps
  int y[3] = {0, 0, 0};     // top of each present line, in unscaled units
};

// P and Q: primary and secondary point sizes; hasLine[i]: line i+1 is non-empty.
TitleLayout ComputeTitleLayout(const bool hasLine[3], int P, int Q);

// Still size in pixels at scale k.
inline constexpr int kTitleWidth = 352;
inline int TitleHeight(bool ntsc) { return ntsc ? 240 : 280; }
// A line wider than this (times k) is reported as clipped.
inline constexpr int kTitleSafeWidth = 282;
// Point sizes beyond this magnitude are refused: their text could not be
// drawn on a still, and the layout arithmetic (sizes times 4) must not
// overflow.
inline constexpr int kTitleMaxPointSize = 1000;

}  // namespace vexa::imgutil
