#include "encoder/common/Dequantise.h"

namespace vidlathe {
namespace {

int16_t Finish(int v) {
  if (v != 0 && (v & 1) == 0) v += v > 0 ? -1 : 1;
  if (v < -2048) v = -2048;
  if (v > 2047) v = 2047;
  return static_cast<int16_t>(v);
}

}  // namespace

void DequantiseIntra(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  out[0] = static_cast<int16_t>(in[0] * 8);
  for (int i = 1; i < 64; ++i) out[i] = Finish(in[i] * matrix[i] * mquant / 16);
}

void DequantiseNonIntra(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  for (int i = 0; i < 64; ++i) {
    const int level = in[i];
    if (level == 0) {
      out[i] = 0;
      continue;
    }
    out[i] = Finish((2 * level + (level > 0 ? 1 : -1)) * matrix[i] * mquant / 32);
  }
}

}  // namespace vidlathe
