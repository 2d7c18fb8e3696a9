// The image estimate made before a premaster, against the discs it decides
// on: 599 photos and the title picture, shown 5 or 2 seconds each, small
// or camera-sized, on an 80-minute CD. (EndToEndTest in apps/tests holds
// the estimate against the layout of a disc really made.)
#include "engine/ImageEstimate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/Storyboard.h"

namespace vexa::engine {
namespace {

// A set of photos as the storyboard holds it before the premaster: each
// photo's original, album picture and two copies already in the data
// track (1,300 sectors of file-system structures before them).
struct PhotoKind {
  const char* name;
  std::int32_t width, height;
  std::uint64_t originalBytes, albumBytes, webBytes, thumbBytes;
};

ImageEstimateInput Set(const PhotoKind& kind, int photos, std::int64_t delaySeconds) {
  auto sectors = [](std::uint64_t bytes) { return static_cast<std::int64_t>((bytes + 2047) / 2048); };
  ImageEstimateInput input;
  input.dataTrackSectors = 1300;
  // The title picture first.
  input.stills.push_back({30259, 704, 480, 1571});
  input.dataTrackSectors += sectors(30259) * 2 + sectors(7884) + sectors(1571);
  for (int i = 0; i < photos; ++i) {
    input.stills.push_back({kind.albumBytes, kind.width, kind.height, kind.thumbBytes});
    input.dataTrackSectors += sectors(kind.originalBytes) + sectors(kind.albumBytes) + sectors(kind.webBytes) +
                              sectors(kind.thumbBytes);
  }
  input.showMs = (photos + 1) * delaySeconds * 1000;
  return input;
}

// Tiny pictures (a few hundred bytes each), the bundled sample photos (2
// megapixels, about 95 KB) and detailed 2-megapixel photos of about 700 KB.
constexpr PhotoKind kTiny{"tiny", 16, 12, 859, 859, 859, 859};
constexpr PhotoKind kSample{"sample", 1600, 1200, 95200, 65235, 25333, 3399};
constexpr PhotoKind kCamera{"camera", 1600, 1200, 732205, 459675, 66954, 6022};

TEST(ImageEstimate, PhotoSetsAgainstAnEightyMinuteDisc) {
  struct Row {
    const PhotoKind& kind;
    int photos;
    std::int64_t delay;
    bool fits;
  } rows[] = {
      // 599 photos and the title: the show (3,000 s) and the segments fit
      // with tiny pictures; with the sample photos they do not, at 3 s they
      // do; the originals of camera photos do not.
      {kTiny, 599, 5, true},
      {kSample, 599, 5, false},
      {kSample, 599, 3, true},
      {kCamera, 599, 5, false},
      {kCamera, 599, 2, false},
      // Tiny pictures fit at 2 s, and at 6 s the show is too long with them.
      {kTiny, 599, 2, true},
      {kTiny, 599, 6, false},
      // 200 camera photos fit; 400 do not.
      {kCamera, 200, 5, true},
      {kCamera, 400, 2, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.photos) + " " + r.kind.name + " photos at " + std::to_string(r.delay) + " s");
    const ImageEstimate e = EstimateImage(Set(r.kind, r.photos, r.delay));
    EXPECT_EQ(e.sectors <= Storyboard::kMaxDiscSectors, r.fits) << e.sectors;
  }
}

// The parts the image lays out by rule come out as the image has them: a
// play item of 150 sectors for each still, each menu page of nine and the
// title page, after the files on a second's boundary; the slide show's
// track 75 sectors a second with its lead and its empty front and rear;
// a small image padded to the Video CD's least size.
TEST(ImageEstimate, SegmentsAndTheShowAreLaidOutAsTheImageLaysThemOut) {
  ImageEstimateInput input = Set(kTiny, 24, 2);
  const std::int64_t files = input.dataTrackSectors + EstimatePremasterFileSectors(input.stills);
  const ImageEstimate e = EstimateImage(input);
  EXPECT_EQ(e.dataTrackSectors, (files + 74) / 75 * 75 + (25 + 3 + 1) * 150);
  // 50 s of show (measured on a disc made of 24 photos and a title).
  EXPECT_EQ(e.showTrackSectors, 3816);
  EXPECT_EQ(e.sectors, 50002);

  // Without a picture there is no show, and the title page alone.
  const ImageEstimate none = EstimateImage(ImageEstimateInput{});
  EXPECT_EQ(none.showTrackSectors, 0);
  EXPECT_EQ(none.dataTrackSectors, (EstimatePremasterFileSectors({}) + 74) / 75 * 75 + 150);
}

// The premaster's files of the disc measured for two sets made by the
// system (CONTACT, INSERT and PRINTS.PDF, the browse pages, the manifests):
// the estimate stays below them, and within a fifth of them.
TEST(ImageEstimate, ThePremastersFilesAreEstimatedOnTheLowSide) {
  struct Row {
    const PhotoKind& kind;
    int photos;
    std::int64_t measured;  // sectors, on the disc
  } rows[] = {
      {kCamera, 12, 1039},
      {kTiny, 24, 440},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.kind.name);
    const std::int64_t estimate = EstimatePremasterFileSectors(Set(r.kind, r.photos, 2).stills);
    EXPECT_LE(estimate, r.measured);
    EXPECT_GE(estimate, r.measured * 4 / 5);
  }
}

// Asked before any photo is added, from the photos' file sizes alone: never
// above the estimate the premaster makes once they are added (a set it says
// does not fit will not fit), and near enough to it to let through the sets
// that fit, such as 598 sample photos at 2 s.
TEST(ImageEstimate, TheEarlyEstimateIsNeverAboveThePremastersOwn) {
  struct Row {
    const PhotoKind& kind;
    int photos;
    std::int64_t delay;
  } rows[] = {{kTiny, 599, 5}, {kSample, 598, 2}, {kSample, 599, 5}, {kCamera, 200, 5}, {kCamera, 12, 2},
              {kCamera, 400, 2}, {kTiny, 1, 2}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.photos) + " " + r.kind.name + " photos at " + std::to_string(r.delay) + " s");
    const ImageEstimate full = EstimateImage(Set(r.kind, r.photos, r.delay));
    const std::vector<std::uint64_t> originals(static_cast<std::size_t>(r.photos), r.kind.originalBytes);
    const ImageEstimate early = EstimateImageEarly(originals, true, (r.photos + 1) * r.delay * 1000, 0, 9);
    EXPECT_LE(early.sectors, full.sectors);
    EXPECT_EQ(early.showTrackSectors, full.showTrackSectors);
    // What it leaves out is the files made from the photos and their
    // prints: up to a third of the image for large camera photos.
    EXPECT_GE(early.sectors, full.sectors * 2 / 3) << early.sectors << " of " << full.sectors;
  }
  const std::vector<std::uint64_t> sample(598, kSample.originalBytes);
  EXPECT_LE(EstimateImageEarly(sample, false, 598 * 2000, 0, 9).sectors, Storyboard::kMaxDiscSectors);
  // The music file is on the disc too (its sectors, the data track rounded
  // to a second).
  const std::vector<std::uint64_t> camera(300, kCamera.originalBytes);
  const std::int64_t without = EstimateImageEarly(camera, true, 301 * 5000, 0, 9).sectors;
  const std::int64_t with = EstimateImageEarly(camera, true, 301 * 5000, 4 << 20, 9).sectors;
  EXPECT_GE(with - without, 2048 - 74);
  EXPECT_LE(with - without, 2048 + 75);
}

}  // namespace
}  // namespace vexa::engine
