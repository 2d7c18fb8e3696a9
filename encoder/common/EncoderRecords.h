// The records the parts of the video encoder share: the job an entry point
// hands to the encoder thread, the multiplexer's job, and the sequence,
// group, picture and macroblock parameters that coding reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vidlathe {

class CodedStreamBuffer;
class AudioInputQueue;

enum JobKind : uint32_t {
  kStill = 0x101,         // one 352-wide I-picture per still (stream E1)
  kStillPair = 0x110,     // a 704-wide I-picture (E2) and its 352-wide companion (E1)
  kStillPairLow = 0x111,  // the companion while a pair is coded
  kStillPairHigh = 0x112, // the 704-wide picture while a pair is coded
  kMotionFromStills = 0x202,     // every picture coded again from its still
  kMotionCopyPictures = 0x203,   // repeated pictures coded as copy pictures
  kMotionReencode = 0x301,       // decoded video coded again with I, P and B pictures
};

inline bool IsMotionKind(uint32_t kind) {
  return kind == kMotionFromStills || kind == kMotionCopyPictures || kind == kMotionReencode;
}

struct GopParameters {
  int N = 12;
  int M = 3;
  int fieldPictures = 0;
};

struct SequenceParameters {
  int horizontal_size = 0, vertical_size = 0;
  int width = 0, height = 0, chroma_width = 0, chroma_height = 0;
  int block_count = 6;
  int mb_width = 0, mb_height = 0;
  int width2 = 0, height2 = 0, mb_height2 = 0, chroma_width2 = 0;
  int aspect_ratio_code = 0, frame_rate_code = 0;
  double frame_rate = 0;
  int bit_rate = 1150000;
  int constant_rate = 0;
  int vbv_buffer_size = 20;
  int constrained_parameters_flag = 0;
  int load_intra_matrix = 0, load_non_intra_matrix = 0;
  int progressive = 1, chroma_format = 1;
  int closed_gop = 0;
  int fixed_budget = 1;
  int start_quantiser = 2;
};

struct EncodeJob {
  uint32_t kind = 0;
  void* completionEvent = nullptr;
  std::atomic<uint32_t> success{0};
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t aspectCode = 0;
  uint32_t rateCode = 0;
  uint32_t motionFlag = 1;
  uint32_t quantiser = 2;
  GopParameters* gop = nullptr;
  SequenceParameters* sequence = nullptr;
  CodedStreamBuffer* codedStream = nullptr;
  // Codes the I picture of every piece of a still afresh rather than
  // writing the first piece's macroblocks again (the tests compare both).
  bool codeEveryIntraPicture = false;

  // Fills in what one encoding call decides: the job kind, the picture
  // size, the aspect and rate codes, the quantiser and the coded-video ring.
  void SetUp(uint32_t jobKind, int w, int h, int aspect, int rate, uint32_t quant,
             CodedStreamBuffer* coded) {
    kind = jobKind;
    width = static_cast<uint32_t>(w);
    height = static_cast<uint32_t>(h);
    aspectCode = static_cast<uint32_t>(aspect);
    rateCode = static_cast<uint32_t>(rate);
    motionFlag = 1;
    quantiser = quant;
    codedStream = coded;
  }
};

struct MultiplexJob {
  AudioInputQueue* audio = nullptr;
  std::string outputPath;
  std::FILE* output = nullptr;
  int64_t systemClockBase = 0;
  int64_t presentationBase = 0;
  EncodeJob* encodeJob = nullptr;
  std::atomic<uint32_t> result{0};
  int writeError = 0;  // errno of a write to the output that failed
};

enum MbType : int {
  MB_INTRA = 1,
  MB_PATTERN = 2,
  MB_BACKWARD = 4,
  MB_FORWARD = 8,
  MB_QUANT = 16,
};

struct PictureParameters {
  int temporal_reference = 0;
  int picture_coding_type = 1;  // 1 I, 2 P, 3 B
  int vbv_delay = 0xFFFF;
  int forward_hor_f_code = 15, forward_vert_f_code = 15;
  int backward_hor_f_code = 15, backward_vert_f_code = 15;
  int picture_structure = 3;
  int frame_pred_frame_dct = 1;
  int q_scale_type = 0;
  int intra_dc_precision = 0;
  int bit_budget = 300000;
};

struct MacroblockInfo {
  int mb_type = 0;
  int motion_type = 2;
  int dct_type = 0;
  int mquant = 2;
  int cbp = 0;
  int skipped = 0;
  int mv[2][2][2] = {};
  int variance = 0;
  double activity = 0;
};

// Whole frames per second of a picture rate code (1..8), 0 for others.
double FrameRateOfCode(int code);

}  // namespace vidlathe
