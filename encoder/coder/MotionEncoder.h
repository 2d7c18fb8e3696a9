// Picture coding for motion video: I, P and B pictures with motion
// estimation, prediction, the forward transform, the macroblock layer and,
// for the pictures later pictures are predicted from, reconstruction; the
// copy picture that repeats its reference; the rate control that holds the
// constant Video CD rate and computes each picture's vbv_delay.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "encoder/coder/MotionEstimation.h"
#include "encoder/coder/RateController.h"
#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Idct.h"
#include "encoder/common/Kernels.h"
#include "encoder/syntax/MacroblockWriter.h"

namespace vidlathe {

class CodedStreamBuffer;

// Fills gop and seq from a motion job (kinds 0x202, 0x203, 0x301).
void SetUpMotionJob(EncodeJob* job, GopParameters* gop, SequenceParameters* seq);

class MotionPictureEncoder {
 public:
  MotionPictureEncoder();
  virtual ~MotionPictureEncoder();

  // Takes the bit writer and the parameters from the job (after
  // SetUpMotionJob); allocates on the first call. false when it failed.
  bool Setup(EncodeJob* job);
  // index: the picture's display index from the start of the stream; type
  // 1 I, 2 P, 3 B. An I picture starts a group and writes its header.
  void BeginPicture(int index, int type);
  // Codes the picture from the source planes Y, Cb, Cr of the coding size.
  // sameAsLastIntra: an I picture of the same planes as the last I picture
  // coded (the next piece of one still). When the rate control starts its
  // macroblocks as it started the last one's, they would come out bit for
  // bit the same, so the last one's coded macroblocks are written again.
  bool EncodePicture(const uint8_t* const planes[3], bool sameAsLastIntra = false);
  // A P picture that repeats its reference, padded to the rate target.
  bool EncodeCopyPicture();

  void WriteSequenceHeader();
  void WriteUserData(const char* text);
  void WriteGopHeader(int index, int closed);
  void WritePictureHeader();
  void WriteSequenceEnd();

  MotionRateController* rateController() { return rate_.get(); }
  const std::vector<MacroblockInfo>& macroblocks() const { return mbs_; }
  // The reconstruction of the latest I or P picture (Y, Cb, Cr).
  const uint8_t* reconstruction(int component) const { return newRef_[component].data(); }
  int codedPictures() const { return codedPictures_; }

 private:
  void Predict(const uint8_t* const planes[3]);
  void PutPicture(const uint8_t* const planes[3], bool sameAsLastIntra);
  void Reconstruct();

  EncodeJob* job_ = nullptr;
  CodedStreamBuffer* bits_ = nullptr;
  SequenceParameters* seq_ = nullptr;
  GopParameters* gop_ = nullptr;
  PictureParameters pic_;
  std::vector<MacroblockInfo> mbs_;
  std::vector<int16_t> levels_;  // mb x 6 x 64 quantised levels
  std::vector<uint8_t> oldRef_[3], newRef_[3], pred_[3];
  std::vector<uint8_t> curSource_, prevSource_;  // luminance of the two latest anchors
  std::unique_ptr<MotionRateController> rate_;
  std::unique_ptr<MacroblockWriter> writer_;
  std::unique_ptr<MotionEstimator> estimator_;
  std::unique_ptr<IntegerIdct> idct_;
  const Kernels* kernels_ = nullptr;
  int ranges_[4] = {};  // sxf, syf, sxb, syb of the current picture
  int groupStart_ = 0;
  int codedPictures_ = 0;
  int closedGop_ = 1;
  uint32_t kind_ = 0;
  bool ready_ = false;

  // The macroblocks of the latest I picture of copy-picture video, as
  // written, with what they were coded from.
  struct IntraCopy {
    bool valid = false;
    RateController::MacroblockStart start;
    std::vector<uint8_t> bytes;
    uint32_t tailBits = 0;
    int tailCount = 0;
    RateController::MacroblockTally tally;
    std::vector<MacroblockInfo> mbs;
  };
  IntraCopy intraCopy_;
};

}  // namespace vidlathe
