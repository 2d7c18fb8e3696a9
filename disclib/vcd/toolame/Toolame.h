// The MPEG-1 Layer II encoder module "toolame" that the disc library loads
// by name: 44100 Hz 16-bit stereo PCM in, a Layer II file out (MPEG-1,
// stereo, 224 kbit/s, no CRC), the last partial frame flushed on close.
//
// Each encoding has its own context, so two encoders can run in one process.
#pragma once

#include <cstdint>

#include "platform/base/Export.h"

#define TOOLAME_API VEXA_EXPORT

struct Mp2Encoder;

extern "C" {
// Starts an encoding into outputPath, through the system's output file: the
// file appears when the encoder is closed, whole (a symbolic link or a file
// the caller may not write there gives null). `framesPerWrite` is how many
// encoded frames are gathered before each write to the file (the disc
// library passes 10, about 7 KiB); values below 1 mean 1. Null on failure.
TOOLAME_API Mp2Encoder* mp2_init_encoder(const char* outputPath, int framesPerWrite);
// Encodes `byteCount` bytes of interleaved stereo 16-bit frames (whole
// 4-byte frames). 1 on success, 0 when encoding or writing failed.
TOOLAME_API int mp2_encode_buffer(Mp2Encoder* encoder, const std::int16_t* pcm, int byteCount);
// Flushes the last frame, puts the file in place and frees the context. 1
// when everything reached the file, else 0 (and no file is left). A null
// context gives 0.
TOOLAME_API int mp2_close_encoder(Mp2Encoder* encoder);
}

using Mp2InitEncoderFn = Mp2Encoder* (*)(const char* outputPath, int framesPerWrite);
using Mp2EncodeBufferFn = int (*)(Mp2Encoder* encoder, const std::int16_t* pcm, int byteCount);
using Mp2CloseEncoderFn = int (*)(Mp2Encoder* encoder);
