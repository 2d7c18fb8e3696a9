// Motion estimation: for every macroblock of a picture, how it is predicted
// (intra, forward, backward, both, or forward without motion compensation)
// and with which half-pel vectors. A full-pel spiral search on the source of
// the reference, a half-pel refinement on its reconstruction, both scored by
// sums of absolute differences; the decisions compare sums of squared
// differences with each other and with the macroblock's variance.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Kernels.h"

namespace vidlathe {

// Where a search ended: a half-pel position in the reference and its cost.
struct SearchResult {
  int x = 0, y = 0;  // half-pels
  int cost = 0;
};

class MotionEstimator {
 public:
  explicit MotionEstimator(const Kernels& kernels = ActiveKernels()) : k_(kernels) {}
  virtual ~MotionEstimator() = default;

  void SetSequence(const SequenceParameters* seq) { seq_ = seq; }
  void SetPicture(const PictureParameters& pic) {
    pictureType_ = pic.picture_coding_type;
    pictureStructure_ = pic.picture_structure;
    framePredFrameDct_ = pic.frame_pred_frame_dct;
  }
  // Fills mbs (raster order) for the current picture from the luminance
  // planes of the anchors (source and reconstruction) and of the picture.
  void EstimateMotion(const uint8_t* pastSource, const uint8_t* futureSource,
                      const uint8_t* pastRecon, const uint8_t* futureRecon, const uint8_t* cur,
                      int sxf, int syf, int sxb, int syb, std::vector<MacroblockInfo>& mbs) const;

  // The full-pel spiral around (x0, y0) on src within +-(sx, sy), then the
  // half-pel refinement on recon. W, H: the plane's size (also the stride).
  SearchResult FullSearch(const uint8_t* src, const uint8_t* recon, const uint8_t* cur, int x0,
                          int y0, int sx, int sy, int W, int H) const;

 private:
  void EstimateFrameMacroblock(const uint8_t* pastSource, const uint8_t* futureSource,
                               const uint8_t* pastRecon, const uint8_t* futureRecon,
                               const uint8_t* cur, int x, int y, int sxf, int syf, int sxb,
                               int syb, MacroblockInfo& mb) const;

  const Kernels& k_;
  const SequenceParameters* seq_ = nullptr;
  int pictureType_ = 1;
  int pictureStructure_ = 3;
  int framePredFrameDct_ = 1;
};

}  // namespace vidlathe
