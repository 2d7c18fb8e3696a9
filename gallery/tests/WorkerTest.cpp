// The thumbnail worker on threads of its own: batches with an unreadable
// file among good ones, many threads asking for one file, and stopping a
// worker while it runs (also under ThreadSanitizer).
#include <QCoreApplication>
#include <QImage>
#include <QTest>
#include <filesystem>
#include <thread>

#include "gallery/ThumbnailCache.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::gallery;
using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

class Receiver : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == CThumbnailReadyEvent::EventType()) {
      auto* r = static_cast<CThumbnailReadyEvent*>(e);
      ready.emplace_back(r->PhotoId(), r->CacheFile());
      return true;
    }
    return QObject::event(e);
  }
  std::vector<std::pair<int, std::string>> ready;
};

class WorkerTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    std::filesystem::create_directories(m_temp.Path("cache"));
    m_cache.SetCacheDir(m_temp.Path("cache"));
  }
  std::string Photo(int i, int w = 400, int h = 300) {
    const std::string path = m_temp.Path("p" + std::to_string(i) + ".jpg");
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(10 * i % 255, 80, 160));
    image.save(QString::fromStdString(path), "JPG", 80);
    return path;
  }
  CThumbnailCache m_cache;
};

TEST_F(WorkerTest, UnreadableFileDoesNotStopTheBatch) {
  std::vector<std::string> paths = {Photo(1), m_temp.Path("broken.jpg"), Photo(3), m_temp.Path("gone.jpg"), Photo(5)};
  WriteAll(paths[1], "garbage");
  Receiver receiver;
  CThumbnailWorker worker(&receiver, paths, {0, 0, 90, 0, -90}, {11, 12, 13, 14, 15}, m_cache);
  ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.ready.size() == 5; }, kWaitBoundMs))
      << InVain("the worker's five answers") << "; there are " << receiver.ready.size();
  EXPECT_TRUE(worker.Done());
  for (const auto& [id, file] : receiver.ready) {
    const bool good = id == 11 || id == 13 || id == 15;
    EXPECT_EQ(!file.empty(), good) << id;
    if (good) {
      EXPECT_TRUE(std::filesystem::exists(file));
    }
  }
  EXPECT_EQ(m_cache.Conversions(), 3);
}

TEST_F(WorkerTest, ManyThreadsConvertAFileOnce) {
  const std::string photo = Photo(7, 1200, 900);
  std::vector<std::string> results(8);
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&, t] { results[static_cast<std::size_t>(t)] = m_cache.CacheThumbnail(photo, t % 2 ? -270 : 90); });
  }
  for (const auto& r : results) EXPECT_EQ(r, results[0]);
  EXPECT_EQ(m_cache.Conversions(), 1);
}

TEST_F(WorkerTest, StoppingWhileRunningEndsAfterTheCurrentFile) {
  std::vector<std::string> paths;
  std::vector<int> ids;
  for (int i = 0; i < 40; ++i) {
    paths.push_back(Photo(i % 4, 1600, 1200));
    ids.push_back(i + 1);
  }
  Receiver receiver;
  {
    CThumbnailWorker worker(&receiver, paths, std::vector<int>(40, 0), ids, m_cache);
    worker.Stop();
    worker.Join();
    EXPECT_TRUE(worker.Done());
  }
  QCoreApplication::processEvents();
  EXPECT_LT(receiver.ready.size(), 40u);
  // Workers destroyed at once while running: each waits for its thread.
  for (int round = 0; round < 3; ++round) {
    auto worker = std::make_unique<CThumbnailWorker>(&receiver, paths, std::vector<int>(40, round * 90), ids, m_cache);
    worker.reset();
  }
  QCoreApplication::processEvents();
}

}  // namespace
