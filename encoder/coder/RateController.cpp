#include <cmath>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/coder/PictureEncoder.h"

namespace vidlathe {
namespace {
int Round(double x) { return static_cast<int>(std::floor(x + 0.5)); }
}  // namespace

RateController::RateController(CodedStreamBuffer* bits, const SequenceParameters* seq)
    : bits_(bits), seq_(seq) {}

void RateController::Reset() {
  Xi_ = Xp_ = Xb_ = r_ = d0i_ = d0p_ = d0b_ = 0;
  avg_act_ = 0;
}

void RateController::InitSequence() {
  const double br = seq_->bit_rate, fr = seq_->frame_rate;
  if (r_ == 0) r_ = Round(2 * br / fr);
  if (avg_act_ == 0) avg_act_ = 400.0;
  R_ = 0;
  if (Xi_ == 0) Xi_ = Round(br * 160.0 / 115.0);
  if (Xp_ == 0) Xp_ = Round(br * 60.0 / 115.0);
  if (Xb_ == 0) Xb_ = Round(br * 42.0 / 115.0);
  if (d0i_ == 0) d0i_ = Round(r_ * 10.0 / 31.0);
  if (d0p_ == 0) d0p_ = Round(r_ * 10.0 / 31.0);
  if (d0b_ == 0) d0b_ = Round(r_ * 14.0 / 31.0);
}

void RateController::InitGroup(int np, int nb) {
  R_ += Round((1 + np + nb) * seq_->bit_rate / seq_->frame_rate);
  Np_ = np;
  Nb_ = nb;
}

void RateController::InitPicture(const PictureParameters& pic, const uint8_t* luma,
                                 std::vector<MacroblockInfo>& mbs) {
  pic_ = &pic;
  mbs_ = &mbs;
  // Intra pictures only: the target comes from the group's remaining bits,
  // and a fixed budget (every still) replaces it.
  T_ = Round(static_cast<double>(R_) /
             (1.0 + Np_ * static_cast<double>(Xp_) / Xi_ + Nb_ * static_cast<double>(Xb_) / (1.4 * Xi_)));
  d_ = d0i_;
  if (seq_->fixed_budget) {
    T_ = pic.bit_budget;
    surplus_ = 0;
  }
  const int floorT = Round(seq_->bit_rate / (8.0 * seq_->frame_rate));
  if (T_ < floorT) T_ = floorT;
  S_ = bits_->BitCount();
  Q_ = 0;
  ComputeActivity(luma, mbs);
  actsum_ = 0;
}

// Spatial activity: 1 + the smallest variance of the four 8x8 luminance
// blocks of each macroblock (whole-number sums, exact in the double arithmetic).
void RateController::ComputeActivity(const uint8_t* luma, std::vector<MacroblockInfo>& mbs) const {
  const int w = seq_->width;
  for (int my = 0; my < seq_->mb_height; ++my)
    for (int mx = 0; mx < seq_->mb_width; ++mx) {
      double best = 0;
      for (int b = 0; b < 4; ++b) {
        const uint8_t* p = luma + (my * 16 + (b >> 1) * 8) * w + mx * 16 + (b & 1) * 8;
        int s = 0, s2 = 0;
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) {
            const int v = p[y * w + x];
            s += v;
            s2 += v * v;
          }
        const double var = s2 / 64.0 - (s / 64.0) * (s / 64.0);
        if (b == 0 || var < best) best = var;
      }
      mbs[my * seq_->mb_width + mx].activity = 1.0 + best;
    }
}

int RateController::StartQuantiser() {
  if (T_ > 320000) return seq_->start_quantiser;
  int mquant = 2 * Round(d_ * 31.0 / r_);
  if (mquant < 2) mquant = 2;
  if (mquant > 62) mquant = 62;
  prev_mquant_ = mquant;
  return mquant;
}

int RateController::MacroblockQuantiser(int k) {
  const int mbs = seq_->mb_width * seq_->mb_height2;
  const int64_t dj = d_ + static_cast<int64_t>(bits_->BitCount() - S_) -
                     static_cast<int64_t>(k) * (T_ / mbs);
  const double Qj = static_cast<double>(dj) * 31.0 / r_;
  const double actj = (*mbs_)[k].activity;
  actsum_ += actj;
  const double N = (2.0 * actj + avg_act_) / (actj + 2.0 * avg_act_);
  const double q = Qj * N;
  int mquant = q > 1000 ? 2000 : 2 * Round(q);
  if (mquant < 2) mquant = 2;
  if (mquant < 4 && seq_->fixed_budget) {
    mquant = 4;
  } else {
    if (mquant > 62) mquant = 62;
    if (mquant >= 8 && std::abs(mquant - prev_mquant_) <= 4) mquant = prev_mquant_;
  }
  prev_mquant_ = mquant;
  Q_ += mquant;
  return mquant;
}

void RateController::UpdatePicture() {
  const int mbs = seq_->mb_width * seq_->mb_height2;
  const int64_t s = static_cast<int64_t>(bits_->BitCount() - S_);
  R_ -= s;
  const int X = Round(static_cast<double>(s) * (0.5 * static_cast<double>(Q_)) / mbs);
  d_ += static_cast<int>(s - T_);
  avg_act_ = actsum_ / mbs;
  Xi_ = X;
  d0i_ = d_;
}

void RateController::EndOfPicture() {
  const uint64_t previous = end_of_picture_;
  end_of_picture_ = (bits_->BitCount() + 7) / 8 * 8;
  surplus_ = T_ - static_cast<int64_t>(end_of_picture_ - previous);
}

}  // namespace vidlathe
