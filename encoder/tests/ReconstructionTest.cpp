// A picture coded by the PictureEncoder alone, decoded by ffmpeg, against
// our own reconstruction from the levels it wrote (dequantised, inverse
// transformed by the standard's definition) and against its source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/Dequantise.h"
#include "encoder/coder/PictureEncoder.h"
#include "encoder/common/Tables.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

// The inverse DCT of the standard's definition, in double precision.
void InverseDct(const int16_t* in, double* out) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
          const double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
          s += cu * cv / 4 * in[v * 8 + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
               std::cos((2 * y + 1) * v * M_PI / 16);
        }
      out[y * 8 + x] = s;
    }
}

TEST(Dequantise, IntraAndNonIntraRules) {
  int16_t levels[64] = {72, 3, -2, 0, 255};
  int16_t out[64];
  DequantiseIntra(levels, out, kDefaultIntraMatrix, 8);
  EXPECT_EQ(576, out[0]);
  EXPECT_EQ(3 * 16 * 8 / 16 - 1, out[1]);  // 24 is even: one step toward zero
  EXPECT_EQ(-2 * 19 * 8 / 16, out[2]);     // -19 is odd and stays
  EXPECT_EQ(0, out[3]);
  EXPECT_EQ(2047, out[4]);                 // clamped
  DequantiseNonIntra(levels, out, kFlatMatrix, 2);
  EXPECT_EQ((2 * 3 + 1) * 16 * 2 / 32, out[1]);
  EXPECT_EQ((2 * -2 - 1) * 16 * 2 / 32, out[2]);
  EXPECT_EQ(0, out[3]);
}

TEST(Reconstruction, DecodedPictureMatchesOurReconstruction) {
  VIDLATHE_NEED_TOOL("ffmpeg");
  TempDir dir;
  const int W = 352, H = 240;
  // Source planes: a textured gradient with a sharp edge.
  std::vector<uint8_t> y(W * H), u(W / 2 * H / 2), v(u.size());
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c)
      y[r * W + c] = static_cast<uint8_t>(std::clamp(40 + c / 2 + (r > 120 ? 60 : 0) + 20 * std::sin(c * 0.4) * std::cos(r * 0.3), 16.0, 235.0));
  for (size_t i = 0; i < u.size(); ++i) {
    u[i] = static_cast<uint8_t>(100 + i % 50);
    v[i] = static_cast<uint8_t>(150 - i % 40);
  }
  CodedStreamBuffer bits;
  EncodeJob job;
  job.kind = 0x101;
  job.width = W;
  job.height = H;
  job.aspectCode = 12;
  job.rateCode = 4;
  job.quantiser = 8;
  job.codedStream = &bits;
  GopParameters gop;
  SequenceParameters seq;
  SetUpJob(&job, &gop, &seq);
  PictureEncoder pe;
  ASSERT_TRUE(pe.Setup(&job));
  std::vector<uint8_t> rec(W * H);
  pe.SetLevelSink([&](int mb, int block, const int16_t* levels, int mquant) {
    if (block >= 4) return;
    int16_t coef[64];
    DequantiseIntra(levels, coef, pe.intraMatrix(), mquant);
    double px[64];
    InverseDct(coef, px);
    const int mx = mb % (W / 16), my = mb / (W / 16);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c)
        rec[(my * 16 + (block >> 1) * 8 + r) * W + mx * 16 + (block & 1) * 8 + c] =
            static_cast<uint8_t>(std::clamp(std::floor(px[r * 8 + c] + 128.5), 0.0, 255.0));
  });
  pe.rateController()->Reset();
  pe.rateController()->InitSequence();
  pe.WriteSequenceHeader();
  pe.BeginPicture(0, 1);
  const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
  ASSERT_TRUE(pe.EncodePicture(planes));
  pe.WriteSequenceEnd();
  bits.MarkStillPicture(0, 0, 2);
  std::string es;
  std::vector<uint8_t> chunk(CodedStreamBuffer::kChunk);
  uint32_t f, s;
  for (size_t n; (n = bits.ReadChunk(chunk.data(), &f, &s)) > 0;) es.append(chunk.begin(), chunk.begin() + n);
  const std::string path = dir.File("pic.m1v");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(path, es));
  int rc = -1;
  const std::string out = Shell("ffmpeg -v error -f mpegvideo -i '" + path + "' -f rawvideo -pix_fmt yuv420p -", &rc);
  ASSERT_EQ(0, rc);
  ASSERT_EQ(static_cast<size_t>(W * H * 3 / 2), out.size());
  const std::vector<uint8_t> decoded(out.begin(), out.begin() + W * H);
  EXPECT_GT(Psnr(decoded, rec), 50.0);  // only the decoder's inverse DCT differs
  EXPECT_GT(Psnr(decoded, y), 38.0);
}

}  // namespace
}  // namespace vidlathe::testing
