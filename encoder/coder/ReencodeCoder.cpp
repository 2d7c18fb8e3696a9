#include "encoder/coder/ReencodeCoder.h"

namespace vidlathe {

namespace {

// Pictures by display index, read from the source as far as asked.
class DisplayOrderSource {
 public:
  explicit DisplayOrderSource(const NextPicture& next) : next_(next) {}
  const StillPlanes* Get(int n) {
    while (!ended_ && read_ <= n) {
      auto p = next_();
      if (!p) {
        ended_ = true;
        break;
      }
      pictures_[read_++] = std::move(p);
    }
    auto it = pictures_.find(n);
    return it == pictures_.end() ? nullptr : it->second.get();
  }
  void Release(int n) { pictures_.erase(n); }

 private:
  const NextPicture& next_;
  std::map<int, std::unique_ptr<StillPlanes>> pictures_;
  int read_ = 0;
  bool ended_ = false;
};

}  // namespace

int CodeReencodeSequence(MotionPictureEncoder& pe, const GopParameters& gop, const NextPicture& next,
                         const std::function<bool()>& stop) {
  const int N = gop.N > 0 ? gop.N : 1, M = gop.M > 0 ? gop.M : 1;
  DisplayOrderSource source(next);
  int coded = 0;
  auto code = [&](int n, int type) {
    const StillPlanes* p = source.Get(n);
    if (!p) return false;
    const uint8_t* planes[3] = {p->y.data(), p->u.data(), p->v.data()};
    pe.BeginPicture(n, type);
    pe.EncodePicture(planes);
    source.Release(n);
    ++coded;
    return true;
  };
  pe.rateController()->Reset();
  pe.rateController()->InitSequence();
  int i = 0, c = 0, g = 0, lastAnchor = -1;
  bool started = false;
  while (!stop()) {
    if (i % N == 0) {
      if (!source.Get(i)) break;
      g = i;
      if ((i / N) % 4 == 0) pe.WriteSequenceHeader();
      started = true;
      code(i, 1);
      lastAnchor = i;
      c = i + M;
      ++i;
    } else if ((c - g) % M != 0) {
      if (!code(c, 3)) break;
      ++c;
      if ((c - g) % M == 0) c += M;
      ++i;
    } else {
      if (!source.Get(c)) {
        // The source ended before this anchor: what it gave after the last
        // anchor follows as P pictures in display order.
        for (int n = lastAnchor + 1; n < c && !stop(); ++n)
          if (!code(n, 2)) break;
        break;
      }
      code(c, 2);
      lastAnchor = c;
      c += 1 - M;
      ++i;
    }
  }
  if (started) pe.WriteSequenceEnd();
  return coded;
}

}  // namespace vidlathe
