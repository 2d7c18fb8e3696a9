// The variable-length codes of the macroblock layer (ISO/IEC 11172-2
// Annex B): address increments, macroblock types of I, P and B pictures,
// the quantiser, motion vectors, coded block patterns, stuffing and the
// blocks' run-level codes with their DC differences.
#pragma once

#include <cstdint>

namespace vidlathe {

class CodedStreamBuffer;

class MacroblockWriter {
 public:
  explicit MacroblockWriter(CodedStreamBuffer* bits) : bits_(bits) { ResetDcPredictors(); }
  virtual ~MacroblockWriter() = default;
  void ResetDcPredictors() { dc_[0] = dc_[1] = dc_[2] = 0; }
  void PutAddressIncrement(int n);
  // The type (MB_INTRA, MB_PATTERN, MB_BACKWARD, MB_FORWARD, MB_QUANT
  // flags) of a macroblock in a picture of coding type 1, 2 or 3.
  void PutMacroblockType(int pictureType, int mbType);
  // The macroblock's quantiser mquant (2..62) as its 5-bit scale.
  void PutQuantiser(int mquant);
  // The difference of a vector to its prediction pmv, which becomes mv.
  void PutMotionVectors(const int mv[2], int pmv[2], int fcode);
  void PutMotionDifference(int d, int fcode);
  void PutCodedBlockPattern(int cbp);
  void PutStuffing();
  void PutIntraBlock(const int16_t* levels, int component);
  void PutNonIntraBlock(const int16_t* levels);
  void PutRunLevel(int run, int level);

 private:
  CodedStreamBuffer* bits_;
  int dc_[3];
};

}  // namespace vidlathe
