// Picture coding: the rate controller, the macroblock writer and the
// picture encoder that drives them. Only intra (I) pictures are coded here,
// which is all a still needs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Kernels.h"

namespace vidlathe {

class CodedStreamBuffer;

// Picture targets and macroblock quantisers after the three steps of the
// MPEG test model 5 (group target, virtual-buffer feedback, activity
// modulation), with the fixed budget of a still.
// Syntax the still and the motion coders write alike: user data, a group
// of pictures header for picture number index, and the sequence end code.
void PutUserData(CodedStreamBuffer* bits, const char* text);
void PutGopHeader(CodedStreamBuffer* bits, const SequenceParameters* seq, int index, int closed);
void PutSequenceEnd(CodedStreamBuffer* bits);

class RateController {
 public:
  RateController(CodedStreamBuffer* bits, const SequenceParameters* seq);
  virtual ~RateController() = default;
  void Reset();
  void InitSequence();
  void InitGroup(int np, int nb);
  void InitPicture(const PictureParameters& pic, const uint8_t* luma,
                   std::vector<MacroblockInfo>& mbs);
  int StartQuantiser();
  int MacroblockQuantiser(int k);
  void UpdatePicture();
  void EndOfPicture();

  int target() const { return T_; }
  int virtualBuffer() const { return d_; }

 protected:
  void ComputeActivity(const uint8_t* luma, std::vector<MacroblockInfo>& mbs) const;

  // The state the motion path's rate control shares (it derives from this
  // class and replaces the per-picture steps).
  CodedStreamBuffer* bits_;
  const SequenceParameters* seq_;
  const PictureParameters* pic_ = nullptr;
  std::vector<MacroblockInfo>* mbs_ = nullptr;
  int Xi_ = 0, Xp_ = 0, Xb_ = 0, r_ = 0, d0i_ = 0, d0p_ = 0, d0b_ = 0;
  double avg_act_ = 0;
  int64_t R_ = 0;
  int T_ = 0, d_ = 0;
  double actsum_ = 0;
  int Np_ = 0, Nb_ = 0;
  uint64_t S_ = 0;
  int64_t Q_ = 0;
  int prev_mquant_ = 0;
  uint64_t end_of_picture_ = 0;
  int64_t surplus_ = 0;
};

// The variable-length codes of the macroblock layer.
class MacroblockWriter {
 public:
  explicit MacroblockWriter(CodedStreamBuffer* bits) : bits_(bits) { ResetDcPredictors(); }
  virtual ~MacroblockWriter() = default;
  void ResetDcPredictors() { dc_[0] = dc_[1] = dc_[2] = 0; }
  void PutAddressIncrement(int n);
  // Intra macroblock types of an I picture (MB_INTRA, optionally MB_QUANT).
  void PutMacroblockType(int pictureType, int mbType);
  void PutIntraBlock(const int16_t* levels, int component);
  void PutNonIntraBlock(const int16_t* levels);
  void PutRunLevel(int run, int level);

 private:
  CodedStreamBuffer* bits_;
  int dc_[3];
};

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
