// The one harness of every encoding call, whether its pictures come from a
// caller's picture source (stills, motion from stills) or from a decoder
// (re-encoding): it checks the audio file, creates the output, starts the
// audio reader, encoder and multiplexer threads, puts the pictures into
// the picture queue, ends the queue, waits for the threads and puts the
// output in place only when everything succeeded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "encoder/Vidlathe.h"
#include "encoder/common/ColourConvert.h"
#include "encoder/common/Modes.h"

namespace vidlathe {

struct StreamRequest {
  const Mode* mode = nullptr;  // the job kind, size, aspect and rate codes
  int quantiser = 2;           // 2..62
  std::string outputPath;
  std::string audioPath;       // an MPEG-1 Layer II file at 44.1 kHz; none: empty
  bool loopAudio = false;      // repeat the audio until the pictures end
};

enum class Feed { kPicture, kEnd, kFailed };
// Gives the next picture (planes of the mode's kind and size) and its
// display time in milliseconds; kEnd after the last one, kFailed (with its
// reason recorded) to make the call fail.
using PictureFeed = std::function<Feed(StillPlanes* planes, uint32_t* displayMs)>;

// Runs one stream from feed into request.outputPath. Returns 1 or 0, with
// the reason of a failure recorded (Failure.h). Called inside an entry
// point that holds the encoding call.
int EncodeStream(const StreamRequest& request, const PictureFeed& feed);

// The feed of the picture-source entry points: count pictures that source
// writes into the library's own 32-bit buffer and header, converted to the
// planes of a picture of kind at width x height. A source that answers 0
// before count pictures fails the call.
PictureFeed PictureSourceFeed(PictureSource source, int count, uint32_t kind, int width, int height);

}  // namespace vidlathe
