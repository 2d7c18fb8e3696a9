// The disc image a premaster would make, estimated before it starts, so a
// set of photos too big for the disc is refused before anything is encoded
// rather than after. Everything the photos' own files put on the disc is
// already in the data track's layout by then (originals, album pictures,
// copies, the music, the include files); the estimate adds what the
// premaster makes: the Video CD segments (a picture per still, the menu
// pages, the title page), the slide show's track, the prints, the browse
// pages and the manifests, and lays the tracks out as the burn does.
//
// The segments and the slide show are counted as the image lays them out;
// the prints' sizes depend on the pictures and are estimated from the
// album pictures and thumbnails, on the low side, so a set that fits is
// never refused for them (the burn's own check stays the last word).
#pragma once

#include <cstdint>
#include <vector>

namespace vexa::engine {

// A still as the estimate sees it: the picture's size in pixels (0 when
// not known), and the bytes of its album picture (at most 1024 pixels on
// the long side) and thumbnail, made when the still was added.
struct EstimateStill {
  std::uint64_t albumBytes = 0;
  std::int32_t width = 0, height = 0;
  std::uint64_t thumbBytes = 0;
};

struct ImageEstimateInput {
  // The data track as laid out so far (the files added), in sectors.
  std::int64_t dataTrackSectors = 0;
  std::vector<EstimateStill> stills;  // the title still included
  std::int64_t showMs = 0;            // the slide show's length
  std::int32_t thumbnailsPerPage = 9;
  // Further MPEG tracks, in bytes.
  std::vector<std::uint64_t> extraTrackBytes;
};

struct ImageEstimate {
  std::int64_t dataTrackSectors = 0;  // files, the premaster's files and the segments
  std::int64_t showTrackSectors = 0;  // the slide show's track as the image lays it out
  std::int64_t sectors = 0;           // from the first track's start to the end of the burn
};

// The bytes the premaster's files (the three PDFs, the browse pages and the
// manifests) are estimated to take, in sectors of the data track.
std::int64_t EstimatePremasterFileSectors(const std::vector<EstimateStill>& stills);

ImageEstimate EstimateImage(const ImageEstimateInput& input);

// The same estimate made before any file of the photos is made, from what
// is known then: each photo's file size (in `photoBytes`), a title picture
// or none, the show's length and the music's file size. What is made from
// each photo (its album picture, thumbnail and web copy, and its copies in
// the prints) is counted at the least it can take, and the file-system
// structures not at all, so this is never above what EstimateImage finds
// once the photos are added: a set it says does not fit will not fit.
ImageEstimate EstimateImageEarly(const std::vector<std::uint64_t>& photoBytes, bool titleStill, std::int64_t showMs,
                                 std::uint64_t musicBytes, std::int32_t thumbnailsPerPage);

}  // namespace vexa::engine
