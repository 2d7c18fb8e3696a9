// Rate control after the MPEG test model 5 (group target, virtual-buffer
// feedback, activity modulation): the still path's, with the fixed budget
// of a still, and the motion path's, which shares its sequence, group and
// macroblock steps and adds P and B pictures, the fixed budgets of
// copy-picture streams and each picture's vbv_delay.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/common/EncoderRecords.h"

namespace vidlathe {

class CodedStreamBuffer;

class RateController {
 public:
  RateController(CodedStreamBuffer* bits, const SequenceParameters* seq);
  virtual ~RateController() = default;
  void Reset();
  void InitSequence();
  void InitGroup(int np, int nb);
  // The picture's target and the activity of its macroblocks (an intra
  // picture with the fixed still budget).
  virtual void InitPicture(const PictureParameters& pic, const uint8_t* luma,
                           std::vector<MacroblockInfo>& mbs);
  int StartQuantiser();
  // The quantiser of macroblock k from the virtual buffer's fullness and the
  // macroblock's activity: the one routine of both rate controls.
  int MacroblockQuantiser(int k);
  virtual void UpdatePicture();
  void EndOfPicture();

  int target() const { return T_; }
  int virtualBuffer() const { return d_; }

  // What the quantisers of a picture's macroblocks follow from, besides the
  // macroblocks themselves: read once the start quantiser is chosen.
  struct MacroblockStart {
    int d = 0, T = 0, r = 0, prevMquant = 0;
    double avgAct = 0;
    uint64_t headerBits = 0;  // bits written since the picture began
    bool operator==(const MacroblockStart&) const = default;
  };
  MacroblockStart macroblockStart() const;
  // What coding the macroblocks adds up, to be put back when the same
  // macroblocks are written again.
  struct MacroblockTally {
    int64_t Q = 0;
    double actsum = 0;
    int prevMquant = 0;
  };
  MacroblockTally macroblockTally() const { return {Q_, actsum_, prev_mquant_}; }
  void set_macroblockTally(const MacroblockTally& t) {
    Q_ = t.Q;
    actsum_ = t.actsum;
    prev_mquant_ = t.prevMquant;
  }

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

// Picture targets and macroblock quantisers after the test model 5 scheme
// (group budget shared by complexity, virtual-buffer feedback, activity
// modulation), with the fixed budgets of copy-picture streams, and the
// vbv_delay of every picture header.
class MotionRateController : public RateController {
 public:
  MotionRateController(CodedStreamBuffer* bits, const SequenceParameters* seq);
  // Sequence, group, macroblock and end-of-picture steps are the still
  // path's; the per-picture steps handle P and B pictures too.
  void InitPicture(const PictureParameters& pic, const uint8_t* luma,
                   std::vector<MacroblockInfo>& mbs) override;
  void UpdatePicture() override;
  // The vbv_delay of the picture whose start code ends at bit bitCount.
  int VbvDelay(uint64_t bitCount);

 private:
  int type_ = 1;
  double decoding_time_ = 0;
  double next_anchor_delay_ = 0;
  int lastBudgetNp_ = -1;  // Np seen at the last budget test
};

}  // namespace vidlathe
