// The simulated recorder used as a drive is: one program at a time, test
// writes that record nothing, and a recording that dies mid-way leaving the
// disc incomplete.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/scsi/Transport.h"
#include "platform/scsi/tests/SimTestUtil.h"
#include "tests/support/Waits.h"

namespace {

using namespace simtest;

std::vector<std::uint8_t> Blocks(int count) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(2048) * count);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
  return data;
}

// The disc as a second program finds it: through disc.state alone.
SimDisc DiscOnFile(const std::string& dir) {
  SimDisc d;
  std::string error;
  EXPECT_TRUE(LoadDisc(dir, &d, &error)) << error;
  return d;
}

TEST_F(SimFixture, ASecondUserOfTheRecorderIsToldItIsBusy) {
  Open();
  std::string error;
  bool busy = false;
  EXPECT_FALSE(SimDrive::Open(dir_, &error, &busy));
  EXPECT_TRUE(busy);
  EXPECT_EQ(error, "the recorder " + dir_ + " is busy: process " + std::to_string(getpid()) + " is using it");
  // cdrsim's create takes the same lock.
  EXPECT_FALSE(FolderLock::Take(dir_, &error));

  // Through the transport the busy folder is a device whose commands fail.
  auto t = OpenTransport("sim:" + dir_, &error);
  ASSERT_TRUE(t) << error;
  ASSERT_EQ(t->DeviceCount(), 1);
  EXPECT_EQ(t->Device(0)->path, dir_);
  EXPECT_NE(t->Problem(0).find("is busy"), std::string::npos);
  static const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
  std::uint8_t reply[36];
  Command c;
  c.cdb = inquiry;
  c.cdbLength = 6;
  c.direction = Direction::In;
  c.data = reply;
  c.length = sizeof reply;
  EXPECT_EQ(t->Execute(0, c).sysError, EBUSY);
  t.reset();

  // Once the first user is done, the recorder is free again.
  drive_.reset();
  drive_ = SimDrive::Open(dir_, &error, &busy);
  ASSERT_TRUE(drive_) << error;
  EXPECT_FALSE(busy);
  // A folder that is missing is a wrong setting, not a busy drive.
  EXPECT_FALSE(SimDrive::Open(dir_ + "/missing", &error, &busy));
  EXPECT_FALSE(busy);
  EXPECT_FALSE(OpenTransport("sim:" + dir_ + "/missing", &error));
  EXPECT_NE(error.find("does not exist"), std::string::npos);
}

TEST_F(SimFixture, ATestWriteRecordsNothing) {
  Configure("media = cdr\n");
  Open();
  const std::string stateBefore = ReadFileText("disc.state");
  // Test bit with track-at-once, two tracks as a burning program sends them.
  ASSERT_TRUE(WriteParameters(0x11, 4, 8, 0x20).Ok());
  std::vector<std::uint8_t> data = Blocks(100);
  ASSERT_TRUE(Write(0, 100, data).Ok());
  std::vector<std::uint8_t> one = Blocks(1);
  EXPECT_EQ(SenseText(Write(5, 1, one)), "5/21/02");  // checked as a real recording is
  EXPECT_EQ(ReadFileText("disc.state"), stateBefore);
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  EXPECT_EQ(drive_->Disc().status, DiscStatus::Blank);
  EXPECT_EQ(TrackInfo(255), std::make_pair(0, 0));
  ASSERT_TRUE(Write(0, 100, data).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  EXPECT_EQ(SenseText(Cmd({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0})), "5/2c/00");  // nothing to close

  // Disc information says blank; no image was made; the next program finds
  // a blank disc.
  auto info = In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  ASSERT_GE(info.size(), 3u);
  EXPECT_EQ(info[2] & 3, 0);
  EXPECT_TRUE(drive_->Disc().image.empty());
  drive_.reset();
  EXPECT_EQ(ReadFileText("disc.state"), stateBefore);
  EXPECT_EQ(DiscOnFile(dir_).status, DiscStatus::Blank);

  // The same recording without the test bit is recorded.
  Open();
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20).Ok());
  ASSERT_TRUE(Write(0, 100, data).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  EXPECT_EQ(DiscOnFile(dir_).status, DiscStatus::Incomplete);
  EXPECT_FALSE(drive_->Disc().image.empty());
}

TEST_F(SimFixture, ATestWriteEndsWhenTheTestBitGoesOff) {
  Open();
  ASSERT_TRUE(WriteParameters(0x11, 4, 8, 0x20).Ok());
  std::vector<std::uint8_t> data = Blocks(10);
  ASSERT_TRUE(Write(0, 10, data).Ok());
  // A program that stops simulating mid-track finds the disc as it was.
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20).Ok());
  EXPECT_EQ(TrackInfo(255), std::make_pair(0, 0));
  EXPECT_EQ(drive_->Disc().status, DiscStatus::Blank);
}

TEST_F(SimFixture, ARecordingIsOnFileFromItsFirstBlock) {
  Open();
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20).Ok());
  std::vector<std::uint8_t> data = Blocks(10);
  ASSERT_TRUE(Write(0, 10, data).Ok());
  // No flush, no close: a writer that dies here leaves an open track.
  const SimDisc onFile = DiscOnFile(dir_);
  EXPECT_EQ(onFile.status, DiscStatus::Incomplete);
  ASSERT_EQ(onFile.tracks.size(), 1u);
  EXPECT_FALSE(onFile.tracks[0].closed);
}

// A disc changed from outside (another program, "cdrsim load") while this
// one has the drive open: the next command is told once, the recording
// under way ends with the old disc, and the new disc is what the drive has.
// A tray locked by its program stays shut.
TEST_F(SimFixture, ADiscChangedFromOutsideIsToldOnceAndThenUsed) {
  Configure("media = cdr\n");
  Open();
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20).Ok());
  std::vector<std::uint8_t> data = Blocks(10);
  ASSERT_TRUE(Write(0, 10, data).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  const Result second = Write(TrackInfo(255).second, 10, data);  // a second track, left open
  ASSERT_TRUE(second.Ok()) << SenseText(second);
  const std::string firstImage = drive_->Disc().image;
  ASSERT_EQ(drive_->Disc().status, DiscStatus::Incomplete);
  const auto trackBefore = TrackInfo(2);

  std::string error;
  ASSERT_TRUE(Cmd({0x1E, 0, 0, 0, 1, 0}).Ok());  // prevent medium removal
  EXPECT_FALSE(SimDrive::ChangeMedia(dir_, "cdrw", &error));
  EXPECT_NE(error.find("prevents medium removal"), std::string::npos) << error;
  EXPECT_EQ(TrackInfo(2), trackBefore);  // nothing changed, nothing told
  ASSERT_TRUE(Cmd({0x1E, 0, 0, 0, 0, 0}).Ok());

  ASSERT_TRUE(SimDrive::ChangeMedia(dir_, "cdrw", &error)) << error;
  EXPECT_EQ(SenseText(Cmd({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0})), "6/28/00");
  auto info = In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  ASSERT_GE(info.size(), 3u);
  EXPECT_EQ(info[2] & 3, 0);          // blank
  EXPECT_NE(info[2] & 0x10, 0);       // and erasable: the CD-RW put in
  EXPECT_TRUE(Cmd({0, 0, 0, 0, 0, 0}).Ok());
  // The new disc records from its start into an image of its own; the old
  // image keeps what the old disc had.
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20).Ok());
  ASSERT_TRUE(Write(0, 10, data).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  EXPECT_NE(drive_->Disc().image, firstImage);
  EXPECT_EQ(drive_->Disc().kind, MediaKind::CdRw);
  ASSERT_EQ(drive_->Disc().tracks.size(), 1u);
  EXPECT_TRUE(vexa::base::FileExists(vexa::base::JoinPath(dir_, firstImage + ".bin")));

  // A program that opens the drive later finds the disc as it is; it is
  // not told of a change made before it came.
  drive_.reset();
  ASSERT_TRUE(SimDrive::ChangeMedia(dir_, "cdr", &error)) << error;
  Open();
  EXPECT_TRUE(Cmd({0, 0, 0, 0, 0, 0}).Ok());
  EXPECT_EQ(drive_->Disc().kind, MediaKind::CdR);
  EXPECT_EQ(drive_->Disc().status, DiscStatus::Blank);
}

// The tray opened and closed again over a disc is a disc change as a real
// drive sees it: the next command is told once. A tray that was shut, or
// one closed over no disc, has nothing to tell.
TEST_F(SimFixture, ATrayClosedOverADiscIsToldOnce) {
  Configure("media = cdr\n");
  Open();
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 2, 0}).Ok());              // eject
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "2/3a/02");  // tray open
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 3, 0}).Ok());              // load
  EXPECT_EQ(SenseText(Cmd({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0})), "6/28/00");
  EXPECT_TRUE(Cmd({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}).Ok());
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 3, 0}).Ok());  // load again: the tray was shut
  EXPECT_TRUE(Cmd({0, 0, 0, 0, 0, 0}).Ok());

  Configure("media = cdr\nfault = nomedium\n");
  Open();
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 2, 0}).Ok());
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 3, 0}).Ok());
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "2/3a/01");
}

// An unplugged drive: from the command a "gone" fault matches, or once its
// folder is removed, every command fails as SG_IO fails for a device that
// is no longer there: no status, no sense, "no such device".
TEST_F(SimFixture, AnUnpluggedDriveAnswersNoMore) {
  auto gone = [](const Result& r) {
    return !r.Ok() && r.status == 0 && !r.senseValid && r.sysError == ENODEV && r.DeviceGone();
  };
  Configure("media = cdr\nfault = gone op=2a lba=5\n");
  Open();
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0).Ok());
  std::vector<std::uint8_t> data(2048 * 4);
  EXPECT_TRUE(Write(0, 4, data).Ok());
  EXPECT_TRUE(gone(Write(4, 4, data)));  // covers sector 5
  EXPECT_TRUE(gone(Write(4, 4, data)));
  EXPECT_TRUE(gone(Cmd({0, 0, 0, 0, 0, 0})));
  std::vector<std::uint8_t> inquiry(36);
  EXPECT_TRUE(gone(Cmd({0x12, 0, 0, 0, 36, 0}, Direction::In, &inquiry)));
  EXPECT_NE(ReadFileText("trace.txt").find("2a 00 00 00 00 04 00 00 04 00 len=8192 -> GONE"), std::string::npos)
      << ReadFileText("trace.txt");

  Configure("media = cdr\n");
  Open();
  ASSERT_TRUE(Cmd({0, 0, 0, 0, 0, 0}).Ok());
  ASSERT_TRUE(vexa::base::RemoveAll(dir_));
  EXPECT_TRUE(gone(Cmd({0, 0, 0, 0, 0, 0})));
  EXPECT_TRUE(gone(Cmd({0x12, 0, 0, 0, 36, 0}, Direction::In, &inquiry)));
}

// A writer process killed with SIGKILL in the middle of a track: the next
// program finds the CD-R incomplete, with the track that was being written
// left open and its start unwritable.
TEST_F(SimFixture, ARecordingKilledMidwayLeavesTheDiscIncomplete) {
  Configure("media = cdr\n");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    std::string error;
    auto d = SimDrive::Open(dir_, &error);
    if (!d) _exit(2);
    std::vector<std::uint8_t> list(60, 0);
    list[8] = 0x05;
    list[9] = 0x32;
    list[10] = 1;
    list[11] = 4;
    list[12] = 8;
    list[16] = 0x20;
    list[23] = 150;
    const std::uint8_t select[10] = {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0};
    Command c;
    c.cdb = select;
    c.cdbLength = 10;
    c.direction = Direction::Out;
    c.data = list.data();
    c.length = 60;
    if (!d->Execute(c).Ok()) _exit(3);
    std::vector<std::uint8_t> data = Blocks(32);
    const std::uint8_t writeCdb[10] = {0x2A, 0, 0, 0, 0, 0, 0, 0, 32, 0};
    c.cdb = writeCdb;
    c.data = data.data();
    c.length = static_cast<std::uint32_t>(data.size());
    if (!d->Execute(c).Ok()) _exit(4);
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(5);
    for (;;) pause();  // killed here, mid-track
  }
  close(ready[1]);
  char byte = 0;
  const vexa::testsupport::Deadline deadline;
  const bool told = vexa::testsupport::PollUntil(ready[0], POLLIN, deadline) > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  if (!told) {
    kill(child, SIGKILL);
    vexa::testsupport::WaitChild(child, "the writer process");
    FAIL() << "the writer process did not tell within " << deadline.BoundText() << " that it was writing";
  }
  // While the writer lives the recorder is its own.
  std::string error;
  bool busy = false;
  EXPECT_FALSE(SimDrive::Open(dir_, &error, &busy));
  EXPECT_TRUE(busy);
  EXPECT_NE(error.find("process " + std::to_string(child)), std::string::npos) << error;
  ASSERT_EQ(kill(child, SIGKILL), 0);
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(child, "the killed writer process");
  ASSERT_TRUE(end.ended) << end.failure;
  ASSERT_TRUE(WIFSIGNALED(end.status));

  Open();
  EXPECT_EQ(drive_->Disc().status, DiscStatus::Incomplete);
  ASSERT_EQ(drive_->Disc().tracks.size(), 1u);
  EXPECT_FALSE(drive_->Disc().tracks[0].closed);
  EXPECT_EQ(drive_->Disc().tracks[0].length, 32);
  auto info = In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  ASSERT_GE(info.size(), 3u);
  EXPECT_EQ(info[2] & 3, 1);  // incomplete, not blank
  // The open track is no blank track: nothing starts over at its start.
  auto track = In({0x52, 1, 0, 0, 0, 0xFF, 0, 0, 36, 0}, 36);
  ASSERT_GE(track.size(), 7u);
  EXPECT_EQ(track[6] & 0x40, 0);
}

}  // namespace
