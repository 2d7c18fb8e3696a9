#include "encoder/common/AudioHeader.h"

namespace vidlathe {
namespace {

// Bit rates in kbit/s by ID (1: MPEG-1, 0: lower sampling frequencies),
// layer (I, II, III) and index (ISO/IEC 11172-3 and its extension).
const int kBitRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}};
const int kSamplingRates[2][4] = {{22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

int LayerNumber(int layerCode) { return 4 - layerCode; }  // code 3 -> I, 2 -> II, 1 -> III

}  // namespace

int MpegAudioHeader::BitRate() const {
  if (layerCode < 1 || layerCode > 3 || bitRateIndex < 0 || bitRateIndex > 15) return 0;
  return 1000 * kBitRates[id][LayerNumber(layerCode) - 1][bitRateIndex];
}

int MpegAudioHeader::SamplingRate() const {
  return samplingIndex >= 0 && samplingIndex < 4 ? kSamplingRates[id][samplingIndex] : 0;
}

int MpegAudioHeader::SamplesPerFrame() const {
  const int layer = LayerNumber(layerCode);
  if (layer == 1) return 384;
  if (layer == 3 && id == 0) return 576;
  return 1152;
}

int MpegAudioHeader::FrameLength() const {
  const int br = BitRate(), fs = SamplingRate();
  if (br == 0 || fs == 0) return 0;
  if (LayerNumber(layerCode) == 1) return (12 * br / fs + padding) * 4;
  return SamplesPerFrame() / 8 * br / fs + padding;
}

bool ParseAudioHeader(const uint8_t* p, MpegAudioHeader* h) {
  if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;
  h->id = (p[1] >> 3) & 1;
  h->layerCode = (p[1] >> 1) & 3;
  h->protection = p[1] & 1;
  h->bitRateIndex = p[2] >> 4;
  h->samplingIndex = (p[2] >> 2) & 3;
  h->padding = (p[2] >> 1) & 1;
  h->privateBit = p[2] & 1;
  return h->layerCode != 0 && h->bitRateIndex != 0 && h->bitRateIndex != 15 &&
         h->samplingIndex != 3;
}

}  // namespace vidlathe
