// The picture coder of stills: it drives the rate controller, the kernels
// and the syntax writers. Only intra (I) pictures are coded here, which is
// all a still needs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "encoder/coder/RateController.h"
#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Kernels.h"
#include "encoder/syntax/MacroblockWriter.h"

namespace vidlathe {

class CodedStreamBuffer;

class PictureEncoder {
 public:
  PictureEncoder();
  virtual ~PictureEncoder();

  // Takes the bit writer and the parameters from the job; allocates on the
  // first call. false when set-up failed.
  bool Setup(EncodeJob* job);
  void BeginPicture(int index, int type);
  // Codes one picture from the source planes Y, Cb, Cr (coding size).
  // false when set-up failed or the type is not one this coder makes.
  bool EncodePicture(const uint8_t* const planes[3]);

  void WriteSequenceHeader();
  void WriteUserData(const char* text);
  void WriteGopHeader(int index, int closed);
  void WritePictureHeader();
  void WriteSequenceEnd();

  // Coarsest settings for a picture that must shrink: the smallest macroblock
  // quantiser allowed, and how many coefficients of a block (in scan order)
  // may be coded (64: all).
  void SetLimits(int minQuant, int maxCoefficients) {
    minQuant_ = minQuant;
    maxCoefficients_ = maxCoefficients;
  }
  // Stops coding a picture early once it has passed this many bytes on the
  // given still stream (0: no limit). EncodePicture still writes a complete,
  // if useless, picture so the writer stays in step.
  void SetByteLimit(uint64_t bytes, int stream) {
    byteLimit_ = bytes;
    limitStream_ = stream;
  }
  bool overLimit() const { return overLimit_; }
  // Receives the levels of every block as they are written (macroblock
  // number, block 0..5, levels in raster order, the macroblock's quantiser).
  // A picture's decoded form can be rebuilt from them.
  using LevelSink = std::function<void(int mb, int block, const int16_t* levels, int mquant)>;
  void SetLevelSink(LevelSink sink) { levelSink_ = std::move(sink); }
  const uint8_t* intraMatrix() const { return intraMatrix_; }

  const SequenceParameters& sequence() const { return *seq_; }
  RateController* rateController() { return rate_.get(); }
  std::vector<MacroblockInfo>& macroblocks() { return mbs_; }

 private:
  void PutPicture(const uint8_t* const planes[3]);

  EncodeJob* job_ = nullptr;
  CodedStreamBuffer* bits_ = nullptr;
  SequenceParameters* seq_ = nullptr;
  GopParameters* gop_ = nullptr;
  PictureParameters pic_;
  std::vector<MacroblockInfo> mbs_;
  std::unique_ptr<RateController> rate_;
  std::unique_ptr<MacroblockWriter> writer_;
  const Kernels* kernels_ = nullptr;
  uint8_t intraMatrix_[64];
  uint8_t nonIntraMatrix_[64];
  int groupStart_ = 0;
  int codedPictures_ = 0;
  int closedGop_ = 1;
  uint32_t kind_ = 0;
  bool ready_ = false;
  int minQuant_ = 2;
  int maxCoefficients_ = 64;
  uint64_t byteLimit_ = 0;
  int limitStream_ = 0;
  bool overLimit_ = false;
  LevelSink levelSink_;
};

// Fills job->gop and job->sequence from the job (the job set-up).
void SetUpJob(EncodeJob* job, GopParameters* gop, SequenceParameters* seq);

}  // namespace vidlathe
