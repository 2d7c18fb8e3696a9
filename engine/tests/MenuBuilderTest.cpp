// The Video CD menu builder over the real Video CD classes: picture, page
// and title segments as MPEG stills that ffprobe reads, the play sequence
// files, cancel and the estimates.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/DiscLibrary.h"
#include "engine/ThumbnailBrowser2.h"
#include "engine/tests/EngineFixture.h"
#include "engine/tests/FakeDrives.h"
#include "platform/base/Path.h"
#include "platform/base/Time.h"

namespace vexa::engine::test {
namespace {

class MenuBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-menu-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string error;
    bindDiscLibrary(&lib_, &error);
    ASSERT_NE(lib_.discpak, nullptr) << error;
    work_ = dir_ + "/work/";
    base::MakeDirs(work_);
  }
  void TearDown() override {
    CoUninitialize();
    base::RemoveAll(dir_);
  }

  // n photos of alternating shape, made with ImageMagick.
  std::vector<std::string> Photos(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
      const std::string p = dir_ + "/p" + std::to_string(i) + ".jpg";
      const std::string size = i % 2 ? "300x400" : "640x360";
      EXPECT_EQ(Shell("convert -size " + size + " plasma:fractal -seed " + std::to_string(i) + " '" + p + "'"), 0);
      out.push_back(p);
    }
    return out;
  }

  void Configure(ThumbnailBrowser2& b, bool pal) {
    b.SetVideoFormat(pal ? 2 : 0);
    const int off = pal ? 48 : 0;
    const std::string art = base::ShareDir() + "/graphics/";
    b.SetTitleBackground((art + (pal ? "HomePageBkgnd576.jpg" : "HomePageBkgnd480.jpg")).c_str());
    MenuGrid g{52, 38 + off, 126, 209, 208, 128, 130, 98, 33, 6};
    b.SetMenuGrid(g, (art + "ThumbsPageThumbMask.jpg").c_str(), nullptr,
                  (art + (pal ? "ThumbsPageBkgnd576.jpg" : "ThumbsPageBkgnd480.jpg")).c_str(), 9);
    b.SetTextStyle(0, "Arial", 18, 0, 0.47301137f, (off + 416.0f) / (2 * off + 480.0f), 0xFFFFFF, -1);
    b.SetTextStyle(1, "Arial", 14, 0, 0.0f, 0.09259259f, 0xFFFFFF, -1);
  }

  std::string dir_, work_;
  DiscLibrary lib_;
  TestClock clock_;
};

TEST_F(MenuBuilderTest, EstimatesAndRefusedPictures) {
  ThumbnailBrowser2 b(lib_.discpak, nullptr, clock_);
  EXPECT_EQ(b.EstimateSectors(), 225);
  EXPECT_EQ(b.AddPicture(nullptr, nullptr, 0), 0);
  EXPECT_EQ(b.AddPicture((dir_ + "/missing.jpg").c_str(), nullptr, 0), 0);
  EXPECT_EQ(b.PictureCount(), 0);
  std::int32_t percent = -1, remaining = -1, done = -1;
  b.GetProgress(&percent, &remaining, &done);
  EXPECT_EQ(percent, 100);
}

TEST_F(MenuBuilderTest, TenPicturesMakeTwoPagesAndThirteenSegments) {
  VEXA_REQUIRE_TOOL("convert");
  VEXA_REQUIRE_TOOL("ffprobe");
  for (bool pal : {false, true}) {
    ThumbnailBrowser2 b(lib_.discpak, nullptr, clock_);
    Configure(b, pal);
    const auto photos = Photos(10);
    for (const auto& p : photos) ASSERT_EQ(b.AddPicture(p.c_str(), "caption", 0), 1);
    b.SetTitleLines(photos[0].c_str(), photos[1].c_str(), 0, 42, 704, 250, 280, 318, 148, 111);
    EXPECT_EQ(b.EstimateSectors(), (10 + 1) * 150 + 225);
    ASSERT_EQ(b.Start(work_.c_str()), 1);
    ASSERT_TRUE(Ended(b, "the menu build to end"));
    std::string name;
    ASSERT_EQ(b.GetResult(&name), base::kWorkSuccess) << name;
    ASSERT_EQ(b.GetSegmentCount(), 13);
    for (int i = 0; i < 13; ++i) {
      std::int32_t content = -1;
      const std::string item = b.GetSegment(i, &content);
      char expected[32];
      std::snprintf(expected, sizeof expected, "ITEM%04d.DAT", i + 1);
      EXPECT_EQ(base::BaseName(item), expected);
      EXPECT_EQ(content, pal ? 24 : 8);
      std::string out;
      // A still pair: the full-screen picture and its half-size companion.
      ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 '" + item + "'", &out), 0)
          << out;
      EXPECT_NE(out.find(pal ? "mpeg1video,704,576" : "mpeg1video,704,480"), std::string::npos) << item << out;
    }
    EXPECT_EQ(b.GetSegment(13, nullptr), "");
    std::string lot;
    ASSERT_TRUE(base::ReadFile(work_ + "LOT.VCD", &lot));
    EXPECT_EQ(lot.size(), 65536u);
    EXPECT_EQ(static_cast<unsigned char>(lot.back()), 0xFF);
    EXPECT_TRUE(base::FileExists(work_ + "PSD.VCD"));
    std::int32_t percent = 0, remaining = 0, done = 0;
    b.GetProgress(&percent, &remaining, &done);
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(done, 1);
  }
  // The builder's files go with it.
  EXPECT_FALSE(base::FileExists(work_ + "ITEM0001.DAT"));
  EXPECT_FALSE(base::FileExists(work_ + "LOT.VCD"));
}

TEST_F(MenuBuilderTest, AnUnreadablePictureIsNamed) {
  VEXA_REQUIRE_TOOL("convert");
  ThumbnailBrowser2 b(lib_.discpak, nullptr, clock_);
  Configure(b, false);
  const auto photos = Photos(3);
  for (const auto& p : photos) ASSERT_EQ(b.AddPicture(p.c_str(), nullptr, 0), 1);
  // The second picture is broken after it was added.
  base::WriteFileAtomic(photos[1], "not a picture");
  ASSERT_EQ(b.Start(work_.c_str()), 1);
  ASSERT_TRUE(Ended(b, "the menu build to end"));
  std::string name;
  EXPECT_EQ(b.GetResult(&name), base::kWorkInputFailed);
  EXPECT_EQ(name, photos[1]);
}

TEST_F(MenuBuilderTest, CancelEndsTheRunAndLeavesNoSegments) {
  VEXA_REQUIRE_TOOL("convert");
  ThumbnailBrowser2 b(lib_.discpak, nullptr, clock_);
  Configure(b, false);
  const auto photos = Photos(4);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(b.AddPicture(photos[static_cast<std::size_t>(i % 4)].c_str(), nullptr, 0), 1);
  ASSERT_EQ(b.Start(work_.c_str()), 1);
  b.Cancel();
  ASSERT_TRUE(Ended(b, "the menu build to end"));
  EXPECT_EQ(b.GetResult(nullptr), base::kWorkCancelled);
  EXPECT_EQ(b.GetSegmentCount(), 0);
  std::size_t left = 0;
  for (const auto& e : std::filesystem::directory_iterator(work_)) left += e.path().filename().string().rfind("ITEM", 0) == 0;
  EXPECT_EQ(left, 0u);
  // A cancel after the end changes nothing.
  b.Cancel();
  EXPECT_EQ(b.GetResult(nullptr), base::kWorkCancelled);
}

// Every segment, page, title and play-sequence file a pool of workers makes
// is, byte for byte and under the same name, what one worker makes.
TEST_F(MenuBuilderTest, ThePoolMakesTheFilesOneWorkerMakes) {
  VEXA_REQUIRE_TOOL("convert");
  const auto photos = Photos(11);
  auto build = [&](unsigned workers) {
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    ThumbnailBrowser2 b(lib_.discpak, nullptr, clock_);
    Configure(b, true);
    for (const auto& p : photos) EXPECT_EQ(b.AddPicture(p.c_str(), "caption", 0), 1);
    b.SetTitleLines(photos[0].c_str(), photos[1].c_str(), 0, 42, 704, 250, 280, 318, 148, 111);
    b.SetWorkers(workers);
    EXPECT_EQ(b.Start(work_.c_str()), 1);
    Ended(b, "the menu build to end");
    std::string name;
    EXPECT_EQ(b.GetResult(&name), base::kWorkSuccess) << name;
    std::int64_t made = 0, planned = 0;
    b.GetItemProgress(&made, &planned);
    EXPECT_EQ(made, 11 + 2 + 1);
    EXPECT_EQ(planned, 11 + 2 + 1);
    std::vector<std::string> paths;
    for (std::int32_t i = 0; i < b.GetSegmentCount(); ++i) paths.push_back(b.GetSegment(i, nullptr));
    paths.push_back(work_ + "LOT.VCD");
    paths.push_back(work_ + "PSD.VCD");
    for (const auto& path : paths) {
      std::string bytes;
      EXPECT_TRUE(base::ReadFile(path, &bytes)) << path;
      files.emplace_back(base::BaseName(path), std::move(bytes));
    }
    return files;
  };
  const auto one = build(1);
  ASSERT_EQ(one.size(), 14u + 2u);
  for (unsigned workers : {3u, 0u}) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    const auto pool = build(workers);
    ASSERT_EQ(pool.size(), one.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
      EXPECT_EQ(pool[i].first, one[i].first);
      EXPECT_TRUE(pool[i].second == one[i].second) << one[i].first << " differs";
    }
  }
}

// The first broken picture in order is the one named, however many workers
// made the items and in whatever order they finished.
TEST_F(MenuBuilderTest, TheFirstBrokenPictureIsNamedWhateverTheWorkers) {
  VEXA_REQUIRE_TOOL("convert");
  const auto photos = Photos(8);
  for (unsigned workers : {1u, 4u}) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    ThumbnailBrowser2 b(lib_.discpak, nullptr, clock_);
    Configure(b, false);
    for (const auto& p : photos) ASSERT_EQ(b.AddPicture(p.c_str(), nullptr, 0), 1);
    base::WriteFileAtomic(photos[5], "not a picture");
    base::WriteFileAtomic(photos[2], "not a picture either");
    b.SetWorkers(workers);
    ASSERT_EQ(b.Start(work_.c_str()), 1);
    ASSERT_TRUE(Ended(b, "the menu build to end"));
    std::string name;
    EXPECT_EQ(b.GetResult(&name), base::kWorkInputFailed);
    EXPECT_EQ(name, photos[2]);
    EXPECT_EQ(b.GetSegmentCount(), 0);
  }
}

// A log that lets the first pictures through and then holds every worker at
// the start of its next picture until the test opens the gate.
class GatedLog : public FakeDriveAccess {
 public:
  explicit GatedLog(int free) : free_(free) {}
  void Log(const std::string& text) override {
    if (text != "ThumbnailBrowser2: Start segment conversion") return;
    std::unique_lock lock(gate_);
    ++started_;
    changed_.notify_all();
    if (started_ > free_) changed_.wait(lock, [&] { return open_; });
  }
  // False when n pictures have not begun within the bound.
  bool WaitStarted(int n) {
    std::unique_lock lock(gate_);
    return changed_.wait_for(lock, testsupport::kWaitBound, [&] { return started_ >= n; });
  }
  void Open() {
    {
      std::lock_guard lock(gate_);
      open_ = true;
    }
    changed_.notify_all();
  }
  int Started() {
    std::lock_guard lock(gate_);
    return started_;
  }

 private:
  std::mutex gate_;
  std::condition_variable changed_;
  const int free_;
  int started_ = 0;
  bool open_ = false;
};

// A cancel in the middle of a run reaches every worker: each finishes the
// item in its hands and begins no other, and the run ends cancelled with no
// segment and no file left, never as a partial success.
TEST_F(MenuBuilderTest, ACancelMidwayStopsEveryWorker) {
  VEXA_REQUIRE_TOOL("convert");
  constexpr unsigned kWorkers = 3;
  constexpr int kFree = 4;
  GatedLog log(kFree);
  ThumbnailBrowser2 b(lib_.discpak, &log, clock_);
  Configure(b, false);
  const auto photos = Photos(3);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(b.AddPicture(photos[static_cast<std::size_t>(i % 3)].c_str(), nullptr, 0), 1);
  b.SetWorkers(kWorkers);
  ASSERT_EQ(b.Start(work_.c_str()), 1);
  // The first pictures are made; then every worker holds one more.
  const bool held = log.WaitStarted(kFree + static_cast<int>(kWorkers));
  b.Cancel();
  log.Open();
  ASSERT_TRUE(Ended(b, "the cancelled menu build to end"));
  ASSERT_TRUE(held) << InVain("every worker to hold a picture");
  EXPECT_EQ(b.GetResult(nullptr), base::kWorkCancelled);
  EXPECT_EQ(log.Started(), kFree + static_cast<int>(kWorkers));
  std::int64_t made = 0, planned = 0;
  b.GetItemProgress(&made, &planned);
  EXPECT_LE(made, kFree + static_cast<int>(kWorkers));
  EXPECT_EQ(b.GetSegmentCount(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(work_));
}

TEST_F(MenuBuilderTest, WithoutTheLibraryTheRunEndsAtOnce) {
  ThumbnailBrowser2 b(nullptr, nullptr, clock_);
  EXPECT_EQ(b.Start(work_.c_str()), 0);
  std::int32_t percent, remaining, done;
  b.GetProgress(&percent, &remaining, &done);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(b.GetResult(nullptr), base::kWorkNotBound);
}

}  // namespace
}  // namespace vexa::engine::test
