#include "engine/ImageEstimate.h"

#include <algorithm>
#include <cmath>

#include "disclib/vcd/VCDTrackLayout.h"
#include "engine/VCDWizard.h"

namespace vexa::engine {
namespace {

constexpr std::int64_t kSectorBytes = 2048;

std::int64_t Sectors(std::uint64_t bytes) {
  return static_cast<std::int64_t>((bytes + kSectorBytes - 1) / kSectorBytes);
}

std::int64_t RoundUp(std::int64_t n, std::int64_t step) { return (n + step - 1) / step * step; }

// What a JPEG file holds besides its picture (markers, tables, the
// album's record).
constexpr double kJpegOverhead = 620;

// The print album's copy of a still: the album picture at 1024 pixels on
// its long side, at the prints' low quality. About a quarter of an album
// picture of that size; a smaller album picture is enlarged, which adds
// bytes more slowly than pixels. Never less nor more than a plain and a
// very detailed picture of that size take.
double PrintCopyBytes(const EstimateStill& s) {
  // A picture of a size not known yet may be as long and thin as any: its
  // copy takes as little as a copy can.
  if (s.width <= 0 || s.height <= 0) return 0;
  double w = s.width, h = s.height;
  const double longSide = std::max(w, h);
  const double pixels = (w / longSide * 1024.0) * (h / longSide * 1024.0);
  // The album picture keeps at most 1024 pixels on its long side.
  if (longSide > 1024) {
    w = w / longSide * 1024.0;
    h = h / longSide * 1024.0;
  }
  const double net = std::max(0.0, static_cast<double>(s.albumBytes) - kJpegOverhead);
  const double bytes = 0.26 * net * std::sqrt(pixels / (w * h));
  return std::clamp(bytes, 0.012 * pixels, 0.15 * pixels);
}

// The contact sheet's and the insert's copies of a still (300 pixels on
// the long side), from its 160-pixel thumbnail.
double SheetCopiesBytes(const EstimateStill& s) {
  const double net = std::max(0.0, static_cast<double>(s.thumbBytes) - kJpegOverhead);
  return std::clamp(3.0 * net, 4096.0, 30000.0);
}

}  // namespace

std::int64_t EstimatePremasterFileSectors(const std::vector<EstimateStill>& stills) {
  const auto n = static_cast<std::int64_t>(stills.size());
  double prints = 16384, sheets = 16384;  // each PDF's own objects, fonts and art
  for (const EstimateStill& s : stills) {
    prints += PrintCopyBytes(s);
    sheets += SheetCopiesBytes(s);
  }
  // CONTACT.PDF and INSERT.PDF share the sheets' bytes.
  std::int64_t sectors = Sectors(static_cast<std::uint64_t>(prints)) + Sectors(static_cast<std::uint64_t>(sheets / 2)) * 2;
  // The browse and show pages: their support files, and about five and a
  // third sectors of pages a still.
  sectors += 43 + (16 * n + 2) / 3;
  // The album manifest (about 1,250 bytes a still) and the disc manifest.
  sectors += Sectors(static_cast<std::uint64_t>(600 + 1250 * n)) + 1;
  return sectors;
}

ImageEstimate EstimateImage(const ImageEstimateInput& input) {
  ImageEstimate e;
  const auto n = static_cast<std::int64_t>(input.stills.size());
  const std::int64_t perPage = std::max(1, input.thumbnailsPerPage);
  std::int64_t data = input.dataTrackSectors + EstimatePremasterFileSectors(input.stills);
  // The segments: a still picture for each still, one for each menu page
  // and the title page, each a play item of 150 sectors; they start on a
  // second's boundary.
  const std::int64_t segments = n > 0 ? n + (n + perPage - 1) / perPage + 1 : 1;
  data = RoundUp(data, 75) + segments * 150;
  e.dataTrackSectors = data;

  std::vector<std::uint64_t> tracks;
  if (n > 0) {
    // The slide show: 75 sectors a second of show, and the encoder's
    // start-up lead (about a quarter of a second) once.
    const std::int64_t showSectors = input.showMs * 75 / 1000 + 18;
    const auto bytes = static_cast<std::uint64_t>(showSectors) * kVCDForm2DataBytes;
    e.showTrackSectors = VCDMpegTrack(bytes).total;
    tracks.push_back(bytes);
  }
  tracks.insert(tracks.end(), input.extraTrackBytes.begin(), input.extraTrackBytes.end());
  e.sectors = VCDWizard::BurnEnd(0, data, tracks);
  return e;
}

ImageEstimate EstimateImageEarly(const std::vector<std::uint64_t>& photoBytes, bool titleStill, std::int64_t showMs,
                                 std::uint64_t musicBytes, std::int32_t thumbnailsPerPage) {
  ImageEstimateInput input;
  // Each photo's original (a copy is never smaller) and its three made
  // pictures, a sector each at the least; the music.
  for (std::uint64_t bytes : photoBytes) input.dataTrackSectors += Sectors(bytes) + 3;
  input.dataTrackSectors += Sectors(musicBytes);
  // The stills, their pictures of unknown size and their made files empty.
  input.stills.resize(photoBytes.size() + (titleStill ? 1 : 0));
  input.showMs = showMs;
  input.thumbnailsPerPage = thumbnailsPerPage;
  return EstimateImage(input);
}

}  // namespace vexa::engine
