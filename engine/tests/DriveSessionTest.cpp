// The drive session on its own, over the test's drive layer: the speed a
// burn runs at, the room check before the first write command and its
// text, a writer found past the devices that are none.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/DriveSession.h"
#include "engine/tests/FakeDrives.h"

namespace vexa::engine::test {
namespace {

// A drive layer whose next writable track reports its free sectors.
class RoomyDrives : public FakeDriveAccess {
 public:
  std::int32_t ReadTrackInfo(DriveHandle*, std::int32_t, std::uint8_t* info) override {
    std::memset(info, 0, 36);
    if (!answer) return 1;
    info[7] = valid ? 0x01 : 0x00;
    std::memcpy(info + 12, &next, 4);
    std::memcpy(info + 16, &free, 4);
    return 0;
  }
  bool answer = true;
  bool valid = true;
  std::int32_t next = 0;
  std::int32_t free = 0;
};

class DriveSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drives_.specs[3].caps = caps::kCDR | caps::kWriteTAO;
    drives_.specs[3].speeds = {4, 8, 16};
    drives_.specs[5].caps = caps::kCDDA;  // reads only
    session_.Bind(&drives_);
    int number = -1;
    std::string problem;
    DriveSession::DrivePtr d = session_.FindWriter(250, &number, &problem);
    ASSERT_TRUE(d);
    EXPECT_EQ(number, 3);  // past 255 back to 0, then the first writer
    session_.MakeCurrent(std::move(d), number);
  }
  RoomyDrives drives_;
  DriveSession session_;
};

TEST_F(DriveSessionTest, ABurnRunsAtTheSpeedAskedForOrTheHighest) {
  struct Case {
    std::int32_t asked, runs;
  } cases[] = {{8, 8}, {4, 4}, {6, 6}, {0, 16}, {-1, 16}, {1024, 16}, {5000, 16}};
  for (const Case& c : cases) EXPECT_EQ(session_.BurnSpeed(c.asked), c.runs) << c.asked;
}

TEST_F(DriveSessionTest, AnImageLargerThanTheFreeSpaceIsRefusedBeforeWriting) {
  drives_.next = 1000;
  drives_.free = 300000;
  EXPECT_TRUE(session_.CheckRoomForImage([](std::int32_t next) { return next + 300000; }).ok());
  const Result r = session_.CheckRoomForImage([](std::int32_t next) { return next + 300001; });
  EXPECT_EQ(r.code(), EngineCode::kDiscTooSmall);
  EXPECT_EQ(r.message(),
            "IVEXABurner::StartBurn - The disc is too small: the disc image needs 586 MB (300001 sectors) and the disc "
            "has 585 MB (300000 sectors) free.");
  // A drive that cannot say, or says nothing valid, is not held to it.
  drives_.valid = false;
  EXPECT_TRUE(session_.CheckRoomForImage([](std::int32_t next) { return next + 400000; }).ok());
  drives_.valid = true;
  drives_.answer = false;
  EXPECT_TRUE(session_.CheckRoomForImage([](std::int32_t next) { return next + 400000; }).ok());
}

TEST_F(DriveSessionTest, AWriterIsOpenedOnlyWhenItWritesTrackAtOnce) {
  DriveSession::DrivePtr d(nullptr, DriveSession::DriveDeleter{&drives_});
  EXPECT_TRUE(session_.OpenWriter(3, &d).ok());
  EXPECT_TRUE(d);
  DriveSession::DrivePtr none(nullptr, DriveSession::DriveDeleter{&drives_});
  EXPECT_EQ(session_.OpenWriter(5, &none).message(),
            "IVEXADriveMgr::GetDrive - Drive number 5 does not support VEXACapWriteTAO");
  EXPECT_EQ(session_.OpenWriter(7, &none).message(), "IVEXADriveMgr::GetDrive - Drive number 7 not valid");
  EXPECT_FALSE(none);
}

}  // namespace
}  // namespace vexa::engine::test
