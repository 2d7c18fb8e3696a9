#include "encoder/coder/MotionEstimation.h"

#include <algorithm>

namespace vidlathe {

namespace {
// Below this squared error (9 per sample) a macroblock is never coded intra,
// and a searched vector is not worth its bits over the zero vector.
constexpr int kIntraFloor = 9 * 256;
}  // namespace

SearchResult MotionEstimator::FullSearch(const uint8_t* src, const uint8_t* recon,
                                         const uint8_t* cur, int x0, int y0, int sx, int sy,
                                         int W, int H) const {
  constexpr int h = 16;
  const int stride = W;
  const int xmin = std::max(x0 - sx, 0), xmax = std::min(x0 + sx, W - 16);
  const int ymin = std::max(y0 - sy, 0), ymax = std::min(y0 + sy, H - h);
  int bx = x0, by = y0;
  int dmin = k_.sad(src + y0 * stride + x0, cur, stride, 0, 0, h, 65536);
  // Rings around the centre, nearest first; each candidate is scored with
  // the best cost so far as its limit.
  // Only a strictly cheaper candidate wins: after a perfect centre none can.
  for (int l = 1; l <= std::max(sx, sy) && dmin > 0; ++l) {
    int x = x0 - l, y = y0 - l;
    for (int k = 0; k < 8 * l; ++k) {
      if (x >= xmin && x <= xmax && y >= ymin && y <= ymax) {
        const int d = k_.sad(src + y * stride + x, cur, stride, 0, 0, h, dmin);
        if (d < dmin) {
          dmin = d;
          bx = x;
          by = y;
        }
      }
      if (k < 2 * l) ++x;
      else if (k < 4 * l) ++y;
      else if (k < 6 * l) --x;
      else --y;
    }
  }
  // Half-pel refinement on the reconstruction: the centre and its eight
  // neighbours, rows top to bottom.
  const int X0 = 2 * bx, Y0 = 2 * by;
  const int xl = X0 > 0 ? X0 - 1 : X0, xr = X0 < 2 * (W - 16) ? X0 + 1 : X0;
  const int yt = Y0 > 0 ? Y0 - 1 : Y0, yb = Y0 < 2 * (H - h) ? Y0 + 1 : Y0;
  SearchResult best{X0, Y0, 65536};
  for (int Y = yt; Y <= yb; ++Y)
    for (int X = xl; X <= xr; ++X) {
      const int d = k_.sad(recon + (Y >> 1) * stride + (X >> 1), cur, stride, X & 1, Y & 1, h, best.cost);
      if (d < best.cost) best = {X, Y, d};
    }
  return best;
}

void MotionEstimator::EstimateFrameMacroblock(const uint8_t* pastSource, const uint8_t* futureSource,
                                              const uint8_t* pastRecon, const uint8_t* futureRecon,
                                              const uint8_t* cur, int x, int y, int sxf, int syf,
                                              int sxb, int syb, MacroblockInfo& mb) const {
  const int W = seq_->width, H = seq_->height;
  const int stride = W;
  const uint8_t* c = cur + y * stride + x;
  const int var = k_.variance16(c, stride);
  if (pictureType_ == 1) {
    mb.mb_type = MB_INTRA;
    mb.variance = var;
    return;
  }
  if (pictureType_ == 2) {
    const SearchResult r = FullSearch(pastSource, pastRecon, c, x, y, sxf, syf, W, H);
    const int vmc = k_.ssd(pastRecon + (r.y >> 1) * stride + (r.x >> 1), c, stride, r.x & 1, r.y & 1, 16);
    mb.motion_type = 2;
    if (vmc > var && vmc >= kIntraFloor) {
      mb.mb_type = MB_INTRA;
      mb.variance = var;
      return;
    }
    const int vzero = k_.ssd(pastRecon + y * stride + x, c, stride, 0, 0, 16);
    if (4 * static_cast<int64_t>(vzero) > 5 * static_cast<int64_t>(vmc) && vzero >= kIntraFloor) {
      mb.mb_type = MB_FORWARD;
      mb.mv[0][0][0] = r.x - 2 * x;
      mb.mv[0][0][1] = r.y - 2 * y;
      mb.variance = vmc;
    } else {
      mb.mb_type = 0;
      mb.mv[0][0][0] = mb.mv[0][0][1] = 0;
      mb.variance = vzero;
    }
    return;
  }
  // B picture.
  const SearchResult f = FullSearch(pastSource, pastRecon, c, x, y, sxf, syf, W, H);
  const uint8_t* pf = pastRecon + (f.y >> 1) * stride + (f.x >> 1);
  const int vmcf = k_.ssd(pf, c, stride, f.x & 1, f.y & 1, 16);
  const SearchResult b = FullSearch(futureSource, futureRecon, c, x, y, sxb, syb, W, H);
  const uint8_t* pb = futureRecon + (b.y >> 1) * stride + (b.x >> 1);
  const int vmcb = k_.ssd(pb, c, stride, b.x & 1, b.y & 1, 16);
  const int vmci = k_.bidir_ssd(pf, pb, c, stride, f.x & 1, f.y & 1, b.x & 1, b.y & 1, 16);
  int vmc;
  if (vmcf <= vmcb && vmcf <= vmci) {
    mb.mb_type = MB_FORWARD;
    vmc = vmcf;
  } else if (vmcb <= vmci) {
    mb.mb_type = MB_BACKWARD;
    vmc = vmcb;
  } else {
    mb.mb_type = MB_FORWARD | MB_BACKWARD;
    vmc = vmci;
  }
  mb.motion_type = 2;
  if (vmc > var && vmc >= kIntraFloor) {
    mb.mb_type = MB_INTRA;
    mb.variance = var;
    return;
  }
  mb.mv[0][0][0] = f.x - 2 * x;
  mb.mv[0][0][1] = f.y - 2 * y;
  mb.mv[0][1][0] = b.x - 2 * x;
  mb.mv[0][1][1] = b.y - 2 * y;
  mb.variance = vmc;
}

void MotionEstimator::EstimateMotion(const uint8_t* pastSource, const uint8_t* futureSource,
                                     const uint8_t* pastRecon, const uint8_t* futureRecon,
                                     const uint8_t* cur, int sxf, int syf, int sxb, int syb,
                                     std::vector<MacroblockInfo>& mbs) const {
  size_t k = 0;
  for (int y = 0; y < seq_->height2; y += 16)
    for (int x = 0; x < seq_->width; x += 16, ++k) {
      MacroblockInfo& mb = mbs[k];
      if (seq_->fixed_budget) {
        // No search: every macroblock repeats its reference.
        if (pictureType_ == 1) {
          mb.mb_type = MB_INTRA;
        } else {
          mb.mb_type = 0;
          mb.motion_type = 2;
          mb.mv[0][0][0] = mb.mv[0][0][1] = 0;
        }
        continue;
      }
      EstimateFrameMacroblock(pastSource, futureSource, pastRecon, futureRecon, cur, x, y, sxf, syf,
                              sxb, syb, mb);
    }
}

}  // namespace vidlathe
