#include "encoder/coder/RateController.h"

#include <algorithm>
#include <cmath>

#include "encoder/common/CodedStreamBuffer.h"

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

RateController::MacroblockStart RateController::macroblockStart() const {
  return {d_, T_, r_, prev_mquant_, avg_act_, bits_->BitCount() - S_};
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

// ---- motion pictures ----------------------------------------------------------

MotionRateController::MotionRateController(CodedStreamBuffer* bits, const SequenceParameters* seq)
    : RateController(bits, seq) {}

void MotionRateController::InitPicture(const PictureParameters& pic, const uint8_t* luma,
                                       std::vector<MacroblockInfo>& mbs) {
  pic_ = &pic;
  mbs_ = &mbs;
  type_ = pic.picture_coding_type;
  // A share of the group's remaining bits by the complexities of the
  // pictures still to come (a denominator that has run out counts as 1).
  const double R = static_cast<double>(R_);
  const double xi = Xi_ ? Xi_ : 1, xp = Xp_ ? Xp_ : 1, xb = Xb_ ? Xb_ : 1;
  double den;
  if (type_ == 1) {
    den = 1 + Np_ * xp / xi + Nb_ * xb / (1.4 * xi);
    d_ = d0i_;
  } else if (type_ == 2) {
    den = Np_ + Nb_ * xb / (1.4 * xp);
    d_ = d0p_;
  } else {
    den = Nb_ + 1.4 * Np_ * xp / xb;
    d_ = d0b_;
  }
  T_ = Round(R / (den > 0 ? den : 1));
  if (seq_->fixed_budget) {
    if (type_ == 1) {
      T_ = pic.bit_budget;
      surplus_ = 0;
      lastBudgetNp_ = Np_;
    } else {
      T_ = static_cast<int>(R_ / (Np_ > 0 ? Np_ : 1));
      const double A = static_cast<double>(end_of_picture_) * 90000.0 / seq_->bit_rate;
      const double B = seq_->vbv_buffer_size * 16384.0 * 90000.0 / seq_->bit_rate;
      if (A + 0.125 * B > decoding_time_ && lastBudgetNp_ != Np_) T_ /= 2;
      lastBudgetNp_ = Np_;
      if (decoding_time_ - A > 0.875 * B) T_ *= 3;
    }
  }
  const int floorT = Round(seq_->bit_rate / (8.0 * seq_->frame_rate));
  if (T_ < floorT) T_ = floorT;
  S_ = bits_->BitCount();
  Q_ = 0;
  if (luma && !(seq_->fixed_budget && type_ != 1)) ComputeActivity(luma, mbs);
  actsum_ = 0;
}

void MotionRateController::UpdatePicture() {
  const int mbs = seq_->mb_width * seq_->mb_height2;
  const int64_t s = static_cast<int64_t>(bits_->BitCount() - S_);
  R_ -= s;
  const int X = Round(static_cast<double>(s) * (0.5 * static_cast<double>(Q_)) / mbs);
  d_ += static_cast<int>(s - T_);
  avg_act_ = actsum_ / mbs;
  if (type_ == 1) {
    Xi_ = X;
    d0i_ = d_;
  } else if (type_ == 2) {
    Xp_ = X;
    d0p_ = d_;
    --Np_;
  } else {
    Xb_ = X;
    d0b_ = d_;
    --Nb_;
  }
}

int MotionRateController::VbvDelay(uint64_t bitCount) {
  const double frame = 90000.0 / seq_->frame_rate;
  double delay;
  if (type_ == 3) {
    delay = frame;
  } else {
    delay = next_anchor_delay_;
    next_anchor_delay_ = frame;
  }
  if (decoding_time_ == 0) delay = (seq_->vbv_buffer_size * 114688.0 / 8) * 90000.0 / seq_->bit_rate;
  decoding_time_ += delay;
  const double v = decoding_time_ - static_cast<double>(bitCount) * 90000.0 / seq_->bit_rate;
  return std::clamp(static_cast<int>(std::trunc(v)), 0, 65535);
}

}  // namespace vidlathe
