#include "encoder/reader/VideoDecoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "encoder/common/Idct.h"
#include "encoder/common/Tables.h"

namespace vidlathe {

namespace {

constexpr size_t kMaxUnit = 4u << 20;  // bytes kept of one start-code unit
constexpr size_t kReadChunk = 65536;

enum : int { kIntra = 1, kPattern = 2, kBackward = 4, kForward = 8, kQuant = 16 };

// ---- start-code units ----

// Splits the stream into units: a start code and the bytes up to the next.
class UnitReader {
 public:
  explicit UnitReader(VideoDecoder::Source src) : src_(std::move(src)) {}

  // The next unit's code (the byte after 00 00 01) and payload; false at the
  // end of the data. The payload stays valid until the next call. A unit
  // longer than kMaxUnit is cut there; the rest is skipped as garbage.
  bool Next(int* code, const uint8_t** data, size_t* size) {
    size_t s;
    for (;;) {
      if (FindFrom(pos_, &s)) break;
      // Keep 3 bytes of a start code that straddles the end of the data.
      Compact(std::max(pos_, end_ > 3 ? end_ - 3 : 0));
      if (!ReadMore()) return false;
    }
    Compact(s);
    *code = buf_[3];
    size_t scan = 4, t;
    for (;;) {
      if (FindFrom(scan, &t)) break;
      scan = std::max<size_t>(4, end_ > 3 ? end_ - 3 : 0);
      if (end_ > kMaxUnit + 4 || !ReadMore()) {
        t = end_;
        break;
      }
    }
    *data = buf_.data() + 4;
    *size = std::min(t - 4, kMaxUnit);
    pos_ = t;
    return true;
  }

 private:
  // The offset of the first 00 00 01 xx at or after from (xx present).
  bool FindFrom(size_t from, size_t* at) const {
    for (size_t i = from; i + 3 < end_;) {
      const uint8_t c = buf_[i + 2];
      if (c > 1) {
        i += 3;
      } else if (c == 1 && buf_[i + 1] == 0 && buf_[i] == 0) {
        *at = i;
        return true;
      } else {
        ++i;
      }
    }
    return false;
  }

  // Drops the bytes before offset k.
  void Compact(size_t k) {
    if (k == 0) return;
    k = std::min(k, end_);
    std::memmove(buf_.data(), buf_.data() + k, end_ - k);
    end_ -= k;
    pos_ = pos_ > k ? pos_ - k : 0;
  }

  bool ReadMore() {
    if (eof_ || !src_) return false;
    if (buf_.size() < end_ + kReadChunk) buf_.resize(end_ + kReadChunk);
    const size_t n = src_(buf_.data() + end_, kReadChunk);
    if (n == 0 || n > kReadChunk) {
      eof_ = true;
      return false;
    }
    end_ += n;
    return true;
  }

  VideoDecoder::Source src_;
  std::vector<uint8_t> buf_;
  size_t end_ = 0;
  size_t pos_ = 0;
  bool eof_ = false;
};

// ---- bits ----

class BitReader {
 public:
  BitReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  // The next k (1..32) bits; bits past the end read as zero.
  uint32_t Peek(int k) const {
    const size_t byte = bit_ >> 3;
    uint64_t w = 0;
    if (byte + 8 <= n_) {
      for (int i = 0; i < 8; ++i) w = (w << 8) | p_[byte + i];
    } else {
      for (size_t i = 0; i < 8; ++i) w = (w << 8) | (byte + i < n_ ? p_[byte + i] : 0);
    }
    w <<= (bit_ & 7);
    return static_cast<uint32_t>(w >> (64 - k));
  }
  void Skip(int k) { bit_ += static_cast<size_t>(k); }
  uint32_t Get(int k) {
    const uint32_t v = Peek(k);
    Skip(k);
    return v;
  }
  bool Overrun() const { return bit_ > 8 * n_; }
  // True at the end of the unit or where 23 zero bits (the next start code
  // or trailing stuffing) follow.
  bool AtEnd() const { return bit_ >= 8 * n_ || Peek(23) == 0; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t bit_ = 0;
};

// ---- variable-length code tables ----

struct VlcEntry {
  int16_t value = 0;
  uint8_t length = 0;  // 0: not a code
};

template <int Bits>
struct VlcTable {
  std::array<VlcEntry, 1 << Bits> t{};
  void Add(uint32_t code, int length, int value) {
    const int shift = Bits - length;
    for (uint32_t i = code << shift; i < ((code + 1) << shift); ++i)
      t[i] = VlcEntry{static_cast<int16_t>(value), static_cast<uint8_t>(length)};
  }
  void Add(const char* bits, int value) {
    uint32_t code = 0;
    int length = 0;
    for (const char* c = bits; *c; ++c) {
      if (*c == ' ') continue;
      code = (code << 1) | (*c == '1');
      ++length;
    }
    Add(code, length, value);
  }
  // The value, or -1 (nothing consumed) when the bits are not a code.
  int Decode(BitReader& br) const {
    const VlcEntry& e = t[br.Peek(Bits)];
    if (e.length == 0) return -1;
    br.Skip(e.length);
    return e.value;
  }
};

constexpr int kStuffing = 34, kAddrEscape = 35;
constexpr int kEob = -2, kDctEscape = -3;

struct Tables {
  VlcTable<11> address;
  VlcTable<6> mbI, mbP, mbB, mbD;
  VlcTable<9> cbp;
  VlcTable<11> motion;  // without the sign bit; value = magnitude
  VlcTable<7> dcLuma;
  VlcTable<8> dcChroma;
  // 16 bits of a DCT coefficient code without its sign: run in the low
  // byte, level above; kEob and kDctEscape for the two special codes.
  struct Dct {
    int16_t run = 0, level = 0;
    uint8_t length = 0;
  };
  std::vector<Dct> dct = std::vector<Dct>(1 << 16);

  Tables() {
    for (int i = 1; i <= 33; ++i)
      address.Add(kAddressIncrement[i].code, kAddressIncrement[i].length, i);
    address.Add(kMacroblockStuffing.code, kMacroblockStuffing.length, kStuffing);
    address.Add(kAddressEscape.code, kAddressEscape.length, kAddrEscape);

    mbI.Add("1", kIntra);
    mbI.Add("01", kIntra | kQuant);
    mbP.Add("1", kForward | kPattern);
    mbP.Add("01", kPattern);
    mbP.Add("001", kForward);
    mbP.Add("00011", kIntra);
    mbP.Add("00010", kQuant | kForward | kPattern);
    mbP.Add("00001", kQuant | kPattern);
    mbP.Add("000001", kQuant | kIntra);
    mbB.Add("10", kForward | kBackward);
    mbB.Add("11", kForward | kBackward | kPattern);
    mbB.Add("010", kBackward);
    mbB.Add("011", kBackward | kPattern);
    mbB.Add("0010", kForward);
    mbB.Add("0011", kForward | kPattern);
    mbB.Add("00011", kIntra);
    mbB.Add("00010", kQuant | kForward | kBackward | kPattern);
    mbB.Add("000011", kQuant | kForward | kPattern);
    mbB.Add("000010", kQuant | kBackward | kPattern);
    mbB.Add("000001", kQuant | kIntra);
    mbD.Add("1", kIntra);

    static const struct {
      const char* code;
      int value;
    } kCbp[] = {
        {"111", 60},        {"1101", 4},        {"1100", 8},        {"1011", 16},
        {"1010", 32},       {"10011", 12},      {"10010", 48},      {"10001", 20},
        {"10000", 40},      {"01111", 28},      {"01110", 44},      {"01101", 52},
        {"01100", 56},      {"01011", 1},       {"01010", 61},      {"01001", 2},
        {"01000", 62},      {"001111", 24},     {"001110", 36},     {"001101", 3},
        {"001100", 63},     {"0010111", 5},     {"0010110", 9},     {"0010101", 17},
        {"0010100", 33},    {"0010011", 6},     {"0010010", 10},    {"0010001", 18},
        {"0010000", 34},    {"00011111", 7},    {"00011110", 11},   {"00011101", 19},
        {"00011100", 35},   {"00011011", 13},   {"00011010", 49},   {"00011001", 21},
        {"00011000", 41},   {"00010111", 14},   {"00010110", 50},   {"00010101", 22},
        {"00010100", 42},   {"00010011", 15},   {"00010010", 51},   {"00010001", 23},
        {"00010000", 43},   {"00001111", 25},   {"00001110", 37},   {"00001101", 26},
        {"00001100", 38},   {"00001011", 29},   {"00001010", 45},   {"00001001", 53},
        {"00001000", 57},   {"00000111", 30},   {"00000110", 46},   {"00000101", 54},
        {"00000100", 58},   {"000000111", 31},  {"000000110", 47},  {"000000101", 55},
        {"000000100", 59},  {"000000011", 27},  {"000000010", 39}};
    for (const auto& c : kCbp) cbp.Add(c.code, c.value);

    static const char* kMotion[17] = {"1",          "01",         "001",        "0001",
                                      "000011",     "0000101",    "0000100",    "0000011",
                                      "000001011",  "000001010",  "000001001",  "0000010001",
                                      "0000010000", "0000001111", "0000001110", "0000001101",
                                      "0000001100"};
    for (int m = 0; m <= 16; ++m) motion.Add(kMotion[m], m);

    for (int s = 0; s <= 8; ++s) {
      dcLuma.Add(kDcSizeLuma[s].code, kDcSizeLuma[s].length, s);
      dcChroma.Add(kDcSizeChroma[s].code, kDcSizeChroma[s].length, s);
    }

    auto addDct = [&](const Vlc& v, int run, int level) {
      if (v.length == 0) return;
      const int shift = 16 - v.length;
      for (uint32_t i = uint32_t{v.code} << shift; i < (uint32_t{v.code} + 1u) << shift; ++i)
        dct[i] = Dct{static_cast<int16_t>(run), static_cast<int16_t>(level), v.length};
    };
    for (int run = 0; run < 32; ++run)
      for (int level = 1; level <= 5; ++level) addDct(RunLevelShort(run, level), run, level);
    for (int run = 0; run < 2; ++run)
      for (int level = 1; level <= 40; ++level) addDct(RunLevelLong(run, level), run, level);
    addDct(kEndOfBlock, 0, kEob);
    addDct(vidlathe::kEscape, 0, kDctEscape);
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

struct Frame {
  std::vector<uint8_t> y, u, v;
};

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

struct VideoDecoder::State {
  UnitReader units;
  bool fastIdct;
  int damaged = 0;

  // Sequence.
  int width = 0, height = 0, mbWidth = 0, mbHeight = 0, rateCode = 0;
  int lumaStride = 0, chromaStride = 0;
  uint8_t intraMatrix[64], nonIntraMatrix[64];
  bool haveSequence = false;

  // Frames: two anchors and the picture being decoded.
  Frame frames[3];
  Frame* older = &frames[0];
  Frame* newer = &frames[1];
  Frame* cur = &frames[2];
  int anchors = 0;          // anchors decoded since the last sequence start
  bool pendingAnchor = false;  // newer has not been given out yet
  int newerType = 0;

  // Picture.
  bool inPicture = false;
  int type = 0;
  int fCode[2] = {1, 1};
  bool fullPel[2] = {false, false};

  // Slice state.
  int quant = 1;
  int dcPred[3] = {1024, 1024, 1024};
  int pmv[2][2] = {};     // [forward/backward][x/y], in the units coded
  int lastType = 0;       // of the previous macroblock (B skips repeat it)
  int lastMv[2][2] = {};  // half-sample vectors of the previous macroblock

  const Sink* sink = nullptr;
  bool stopped = false;

  State(Source src, bool fast) : units(std::move(src)), fastIdct(fast) {
    std::memcpy(intraMatrix, kDefaultIntraMatrix, 64);
    std::memcpy(nonIntraMatrix, kFlatMatrix, 64);
  }

  bool Emit(const Frame& f, int codingType) {
    DecodedPicture pic;
    pic.width = width;
    pic.height = height;
    pic.codingType = codingType;
    pic.pictureRateCode = rateCode;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    pic.y.resize(static_cast<size_t>(width) * height);
    pic.u.resize(static_cast<size_t>(cw) * ch);
    pic.v.resize(pic.u.size());
    for (int r = 0; r < height; ++r)
      std::memcpy(&pic.y[static_cast<size_t>(r) * width], &f.y[static_cast<size_t>(r) * lumaStride], width);
    for (int r = 0; r < ch; ++r) {
      std::memcpy(&pic.u[static_cast<size_t>(r) * cw], &f.u[static_cast<size_t>(r) * chromaStride], cw);
      std::memcpy(&pic.v[static_cast<size_t>(r) * cw], &f.v[static_cast<size_t>(r) * chromaStride], cw);
    }
    if (!(*sink)(pic)) stopped = true;
    return !stopped;
  }

  void FlushAnchor() {
    if (pendingAnchor && !stopped) Emit(*newer, newerType);
    pendingAnchor = false;
  }

  // ---- headers ----

  void SequenceHeader(const uint8_t* d, size_t n) {
    BitReader br(d, n);
    const int w = static_cast<int>(br.Get(12));
    const int h = static_cast<int>(br.Get(12));
    br.Skip(4);
    const int rate = static_cast<int>(br.Get(4));
    br.Skip(18 + 1 + 10 + 1);
    uint8_t intra[64], nonIntra[64];
    std::memcpy(intra, kDefaultIntraMatrix, 64);
    std::memcpy(nonIntra, kFlatMatrix, 64);
    if (br.Get(1))
      for (int i = 0; i < 64; ++i) intra[kZigzag[i]] = static_cast<uint8_t>(std::max<uint32_t>(1, br.Get(8)));
    if (br.Get(1))
      for (int i = 0; i < 64; ++i)
        nonIntra[kZigzag[i]] = static_cast<uint8_t>(std::max<uint32_t>(1, br.Get(8)));
    if (br.Overrun() || w <= 0 || h <= 0 || w > kMaxWidth || h > kMaxHeight) {
      ++damaged;
      return;
    }
    std::memcpy(intraMatrix, intra, 64);
    std::memcpy(nonIntraMatrix, nonIntra, 64);
    rateCode = rate;
    if (!haveSequence || w != width || h != height) {
      FlushAnchor();
      width = w;
      height = h;
      mbWidth = (w + 15) / 16;
      mbHeight = (h + 15) / 16;
      lumaStride = mbWidth * 16;
      chromaStride = mbWidth * 8;
      for (Frame& f : frames) {
        f.y.assign(static_cast<size_t>(lumaStride) * mbHeight * 16, 16);
        f.u.assign(static_cast<size_t>(chromaStride) * mbHeight * 8, 128);
        f.v.assign(f.u.size(), 128);
      }
      anchors = 0;
      haveSequence = true;
    }
  }

  void EndPicture() {
    if (!inPicture) return;
    inPicture = false;
    if (type == 3) {
      Emit(*cur, 3);
    } else {
      std::swap(older, newer);
      std::swap(newer, cur);
      ++anchors;
      newerType = type;
      pendingAnchor = true;
    }
  }

  void PictureHeader(const uint8_t* d, size_t n) {
    EndPicture();
    if (!haveSequence) return;
    BitReader br(d, n);
    br.Skip(10);  // temporal reference: pictures arrive in coding order
    type = static_cast<int>(br.Get(3));
    br.Skip(16);
    if (type == 2 || type == 3) {
      fullPel[0] = br.Get(1);
      fCode[0] = static_cast<int>(br.Get(3));
    }
    if (type == 3) {
      fullPel[1] = br.Get(1);
      fCode[1] = static_cast<int>(br.Get(3));
    }
    if (br.Overrun() || type < 1 || type > 3 || ((type == 2 || type == 3) && fCode[0] == 0) ||
        (type == 3 && fCode[1] == 0)) {
      ++damaged;
      return;
    }
    // A P picture needs one anchor before it, a B picture two.
    if ((type == 2 && anchors < 1) || (type == 3 && anchors < 2)) {
      if (type == 3) return;  // dropped: its forward reference is missing
      // Predicted from the grey picture the frame stores start with.
    }
    if (type != 3) FlushAnchor();
    if (stopped) return;
    // Macroblocks that no slice covers keep the newest anchor's samples.
    if (anchors > 0) {
      cur->y = newer->y;
      cur->u = newer->u;
      cur->v = newer->v;
    }
    inPicture = true;
  }

  // ---- macroblocks ----

  bool ReadBlock(BitReader& br, int16_t* blk, bool intra, int component) {
    std::memset(blk, 0, 64 * sizeof(int16_t));
    int i = 0;
    const uint8_t* matrix = intra ? intraMatrix : nonIntraMatrix;
    if (intra) {
      const int size = component == 0 ? T().dcLuma.Decode(br) : T().dcChroma.Decode(br);
      if (size < 0) return false;
      int diff = 0;
      if (size > 0) {
        diff = static_cast<int>(br.Get(size));
        if ((diff & (1 << (size - 1))) == 0) diff -= (1 << size) - 1;
      }
      int& pred = dcPred[component];
      pred = std::clamp(pred + diff * 8, 0, 2047);
      blk[0] = static_cast<int16_t>(pred);
      i = 1;
    } else if (br.Peek(1) == 1) {
      // The first coefficient of a non-intra block: '1s' is run 0, level 1.
      br.Skip(1);
      const int level = br.Get(1) ? -1 : 1;
      Store(blk, 0, level, matrix, false);
      i = 1;
    }
    for (;;) {
      const Tables::Dct& e = T().dct[br.Peek(16)];
      if (e.length == 0) return false;
      br.Skip(e.length);
      int run, level;
      if (e.level == kEob) break;
      if (e.level == kDctEscape) {
        run = static_cast<int>(br.Get(6));
        const int b = static_cast<int>(br.Get(8));
        if (b == 0) {
          level = static_cast<int>(br.Get(8));
          if (level < 128) return false;
        } else if (b == 128) {
          // -255..-128; -128 has only this long form.
          level = static_cast<int>(br.Get(8)) - 256;
          if (level > -128 || level == -256) return false;
        } else {
          level = b < 128 ? b : b - 256;
        }
      } else {
        run = e.run;
        level = br.Get(1) ? -e.level : e.level;
      }
      i += run;
      if (i > 63 || br.Overrun()) return false;
      Store(blk, i, level, matrix, intra);
      ++i;
    }
    return !br.Overrun();
  }

  void Store(int16_t* blk, int i, int level, const uint8_t* matrix, bool intra) {
    const int j = kZigzag[i];
    int v;
    if (intra) {
      v = (2 * level * quant * matrix[j]) / 16;
    } else {
      v = ((2 * level + (level > 0 ? 1 : -1)) * quant * matrix[j]) / 16;
    }
    if ((v & 1) == 0 && v != 0) v -= v > 0 ? 1 : -1;
    blk[j] = static_cast<int16_t>(std::clamp(v, -2048, 2047));
  }

  void Idct(int16_t* blk) { DecoderInverseTransform(blk, fastIdct); }

  // Prediction of a w x h block at (x, y) of plane (full samples) from ref,
  // displaced by the half-sample vector (mx, my); samples outside the plane
  // repeat its edge.
  static void PredictBlock(const uint8_t* ref, int stride, int planeW, int planeH, int x, int y,
                           int mx, int my, int w, int h, uint8_t* out) {
    const int sx = x + (mx >> 1), sy = y + (my >> 1);
    const int hx = mx & 1, hy = my & 1;
    const bool inside = sx >= 0 && sy >= 0 && sx + w + hx <= planeW && sy + h + hy <= planeH;
    auto at = [&](int cx, int cy) -> int {
      if (!inside) {
        cx = std::clamp(cx, 0, planeW - 1);
        cy = std::clamp(cy, 0, planeH - 1);
      }
      return ref[static_cast<size_t>(cy) * stride + cx];
    };
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        const int X = sx + c, Y = sy + r;
        int v;
        if (!hx && !hy) v = at(X, Y);
        else if (hx && !hy) v = (at(X, Y) + at(X + 1, Y) + 1) >> 1;
        else if (!hx && hy) v = (at(X, Y) + at(X, Y + 1) + 1) >> 1;
        else v = (at(X, Y) + at(X + 1, Y) + at(X, Y + 1) + at(X + 1, Y + 1) + 2) >> 2;
        out[r * w + c] = static_cast<uint8_t>(v);
      }
  }

  // The 16x16 luma and two 8x8 chroma predictions of macroblock (mbx, mby).
  void Predict(const Frame& ref, int mbx, int mby, int mx, int my, uint8_t* out) {
    const int pw = lumaStride, ph = mbHeight * 16;
    PredictBlock(ref.y.data(), lumaStride, pw, ph, mbx * 16, mby * 16, mx, my, 16, 16, out);
    const int cmx = mx / 2, cmy = my / 2;
    PredictBlock(ref.u.data(), chromaStride, pw / 2, ph / 2, mbx * 8, mby * 8, cmx, cmy, 8, 8,
                 out + 256);
    PredictBlock(ref.v.data(), chromaStride, pw / 2, ph / 2, mbx * 8, mby * 8, cmx, cmy, 8, 8,
                 out + 320);
  }

  // Forms the prediction of a non-intra macroblock into pred (384 bytes).
  void FormPrediction(int mbType, int mbx, int mby, const int mv[2][2], uint8_t* pred) {
    const bool fwd = mbType & kForward, bwd = mbType & kBackward;
    if (type == 2) {
      Predict(*newer, mbx, mby, fwd ? mv[0][0] : 0, fwd ? mv[0][1] : 0, pred);
      return;
    }
    if (fwd && bwd) {
      uint8_t other[384];
      Predict(*older, mbx, mby, mv[0][0], mv[0][1], pred);
      Predict(*newer, mbx, mby, mv[1][0], mv[1][1], other);
      for (int i = 0; i < 384; ++i) pred[i] = static_cast<uint8_t>((pred[i] + other[i] + 1) >> 1);
    } else if (bwd) {
      Predict(*newer, mbx, mby, mv[1][0], mv[1][1], pred);
    } else {
      Predict(*older, mbx, mby, mv[0][0], mv[0][1], pred);
    }
  }

  // Writes a macroblock: prediction (or none for intra) plus the blocks.
  void PutMacroblock(int mbx, int mby, const uint8_t* pred, int16_t (*blocks)[64], int cbp,
                     bool intra) {
    for (int b = 0; b < 6; ++b) {
      uint8_t* dst;
      int stride;
      const uint8_t* p;
      int pstride;
      if (b < 4) {
        stride = lumaStride;
        dst = &cur->y[static_cast<size_t>(mby * 16 + (b >> 1) * 8) * stride + mbx * 16 + (b & 1) * 8];
        p = pred ? pred + (b >> 1) * 8 * 16 + (b & 1) * 8 : nullptr;
        pstride = 16;
      } else {
        stride = chromaStride;
        Frame& f = *cur;
        dst = &(b == 4 ? f.u : f.v)[static_cast<size_t>(mby * 8) * stride + mbx * 8];
        p = pred ? pred + (b == 4 ? 256 : 320) : nullptr;
        pstride = 8;
      }
      const bool coded = intra || (cbp & (32 >> b));
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
          const int diff = coded ? blocks[b][r * 8 + c] : 0;
          const int base = p ? p[r * pstride + c] : 0;
          dst[static_cast<size_t>(r) * stride + c] = Clamp255(base + diff);
        }
    }
  }

  int MotionComponent(BitReader& br, int dir, int comp) {
    const int magnitude = T().motion.Decode(br);
    if (magnitude < 0) return INT32_MIN;
    int code = magnitude;
    if (magnitude != 0 && br.Get(1)) code = -magnitude;
    const int rSize = fCode[dir] - 1;
    const int f = 1 << rSize;
    int delta = code;
    if (f != 1 && code != 0) {
      const int r = static_cast<int>(br.Get(rSize));
      delta = (std::abs(code) - 1) * f + r + 1;
      if (code < 0) delta = -delta;
    }
    int v = pmv[dir][comp] + delta;
    if (v > 16 * f - 1) v -= 32 * f;
    else if (v < -16 * f) v += 32 * f;
    pmv[dir][comp] = v;
    return v;
  }

  void SkippedMacroblock(int addr) {
    const int mbx = addr % mbWidth, mby = addr / mbWidth;
    uint8_t pred[384];
    dcPred[0] = dcPred[1] = dcPred[2] = 1024;
    if (type == 2) {
      pmv[0][0] = pmv[0][1] = 0;
      const int zero[2][2] = {};
      FormPrediction(kForward, mbx, mby, zero, pred);
    } else {
      FormPrediction(lastType, mbx, mby, lastMv, pred);
    }
    PutMacroblock(mbx, mby, pred, nullptr, 0, false);
  }

  // false when the slice is damaged.
  bool Slice(int row, const uint8_t* d, size_t n) {
    if (row > mbHeight) return false;
    BitReader br(d, n);
    const int q = static_cast<int>(br.Get(5));
    if (q == 0) return false;
    quant = q;
    for (int i = 0; br.Get(1); ++i) {
      if (i > 64) return false;
      br.Skip(8);
    }
    dcPred[0] = dcPred[1] = dcPred[2] = 1024;
    std::memset(pmv, 0, sizeof pmv);
    lastType = kForward;
    std::memset(lastMv, 0, sizeof lastMv);
    const int total = mbWidth * mbHeight;
    int addr = (row - 1) * mbWidth - 1;
    bool first = true;
    while (!br.AtEnd()) {
      int inc = 0;
      for (;;) {
        const int v = T().address.Decode(br);
        if (v < 0) return false;
        if (v == kStuffing) continue;
        if (v == kAddrEscape) {
          inc += 33;
          if (inc > total) return false;
          continue;
        }
        inc += v;
        break;
      }
      if (!first) {
        if (type == 1 && inc > 1) return false;  // no skipping in I pictures
        for (int k = 1; k < inc; ++k) {
          if (addr + k >= total) return false;
          SkippedMacroblock(addr + k);
        }
      }
      addr += inc;
      first = false;
      if (addr < 0 || addr >= total) return false;
      if (!Macroblock(br, addr)) return false;
    }
    return !br.Overrun();
  }

  bool Macroblock(BitReader& br, int addr) {
    const int mbx = addr % mbWidth, mby = addr / mbWidth;
    const VlcTable<6>& table = type == 1 ? T().mbI : type == 2 ? T().mbP : T().mbB;
    const int mbType = table.Decode(br);
    if (mbType < 0) return false;
    if (mbType & kQuant) {
      const int q = static_cast<int>(br.Get(5));
      if (q == 0) return false;
      quant = q;
    }
    int mv[2][2] = {};
    for (int dir = 0; dir < 2; ++dir) {
      if (!(mbType & (dir == 0 ? kForward : kBackward))) continue;
      for (int comp = 0; comp < 2; ++comp) {
        const int v = MotionComponent(br, dir, comp);
        if (v == INT32_MIN) return false;
        mv[dir][comp] = fullPel[dir] ? v * 2 : v;
      }
    }
    int cbp = 0;
    const bool intra = mbType & kIntra;
    if (intra) {
      cbp = 63;
    } else if (mbType & kPattern) {
      cbp = T().cbp.Decode(br);
      if (cbp < 0) return false;
    }
    int16_t blocks[6][64];
    if (!intra) dcPred[0] = dcPred[1] = dcPred[2] = 1024;
    for (int b = 0; b < 6; ++b) {
      if (!(cbp & (32 >> b))) continue;
      if (!ReadBlock(br, blocks[b], intra, b < 4 ? 0 : b - 3)) return false;
      Idct(blocks[b]);
    }
    if (intra) {
      std::memset(pmv, 0, sizeof pmv);
      PutMacroblock(mbx, mby, nullptr, blocks, 63, true);
      lastType = kIntra;
      return true;
    }
    if (type == 2 && !(mbType & kForward)) std::memset(pmv[0], 0, sizeof pmv[0]);
    uint8_t pred[384];
    FormPrediction(mbType, mbx, mby, mv, pred);
    PutMacroblock(mbx, mby, pred, blocks, cbp, false);
    lastType = mbType;
    std::memcpy(lastMv, mv, sizeof mv);
    return true;
  }

  bool Run(const Sink& s) {
    sink = &s;
    int code;
    const uint8_t* d;
    size_t n;
    while (!stopped && units.Next(&code, &d, &n)) {
      if (code == 0xB3) {
        EndPicture();
        SequenceHeader(d, n);
      } else if (code == 0x00) {
        PictureHeader(d, n);
      } else if (code >= 0x01 && code <= 0xAF) {
        if (inPicture && !Slice(code, d, n)) ++damaged;
      } else if (code == 0xB7) {
        EndPicture();
        FlushAnchor();
      } else if (code == 0xB8) {
        EndPicture();
      }
      // Extension and user data (B5, B2) and anything else are skipped.
    }
    if (!stopped) {
      EndPicture();
      FlushAnchor();
    }
    return !stopped;
  }
};

void DecoderInverseTransform(int16_t* block, bool fastIdct) {
  static const IntegerIdct integer;
  if (fastIdct) FastIdct(block);
  else integer.Transform(block);
}

VideoDecoder::VideoDecoder(Source source, bool fastIdct)
    : s_(std::make_unique<State>(std::move(source), fastIdct)) {}
VideoDecoder::~VideoDecoder() = default;
bool VideoDecoder::Run(const Sink& sink) { return s_->Run(sink); }
int VideoDecoder::damaged() const { return s_->damaged; }

}  // namespace vidlathe
