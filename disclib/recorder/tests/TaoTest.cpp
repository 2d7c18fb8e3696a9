// Track-at-once recording on the simulated recorder: the sequence the disc
// engine runs, and every injected fault ending in a failing finish with its
// text latched and in the command log.
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/tests/SimRecorderFixture.h"
#include "platform/scsi/SimDisc.h"
#include "tests/support/Waits.h"

namespace {

using namespace rectest;

class TaoTest : public RecorderSim {
 protected:
  // Units of subheader and data, as the image stream delivers them.
  static std::vector<BYTE> Units(int count, int seed) {
    std::vector<BYTE> u(static_cast<std::size_t>(count) * 2332);
    for (int i = 0; i < count; ++i) {
      BYTE* p = u.data() + static_cast<std::size_t>(i) * 2332;
      const BYTE sub[4] = {1, 1, 0x62, 0x0F};
      std::memcpy(p, sub, 4);
      std::memcpy(p + 4, sub, 4);
      for (int k = 8; k < 2332; ++k) p[k] = static_cast<BYTE>(k * 3 + i + seed);
    }
    return u;
  }
  // A 300-sector track; the result of FinishTAO, or -2 when it did not
  // start. *refused tells whether a WriteTAO was refused on the way (a
  // writer that has ended refuses what comes after).
  LONG Track(I_CDRClass* drive, LONG flags = CDR_BURNPROOF, int sectors = 300, bool* refused = nullptr) {
    if (drive->StartTAO(255, CDR_TRACK_MODE2_FORM2, flags, nullptr, nullptr) != 0) return -2;
    const auto data = Units(sectors, 7);
    LONG no = 0;
    for (int at = 0; at < sectors && !no; at += 16) {
      no = drive->WriteTAO(2332, std::min(16, sectors - at), data.data() + static_cast<std::size_t>(at) * 2332);
    }
    if (refused) *refused = no != 0;
    return drive->FinishTAO();
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }
};

TEST_F(TaoTest, ATrackIsWrittenAndTheSessionClosed) {
  Use("profile = cdrw-writer\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  EXPECT_EQ(Track(drive.get()), 0);
  EXPECT_EQ(drive->GetLastError(nullptr), nullptr);
  BYTE info[36];
  ASSERT_EQ(drive->ReadTrackInfo(255, info), 0);
  DWORD nwa;
  std::memcpy(&nwa, info + 12, 4);
  EXPECT_EQ(nwa, 452u);
  EXPECT_EQ(drive->CloseSession(0x20, 1), 1);
  BYTE disc[32];
  ASSERT_EQ(drive->ReadDiscInfo(disc), 0);
  EXPECT_EQ(disc[2] & 3, 2);  // complete
  BYTE toc[804];
  ASSERT_EQ(drive->ReadTOC(toc), 0);
  WORD length;
  std::memcpy(&length, toc, 2);
  EXPECT_EQ(length, 2 + 2 * 8);
  DWORD leadOut;
  std::memcpy(&leadOut, toc + 4 + 8 + 4, 4);
  EXPECT_EQ(leadOut, 302u);
  // What was queued comes back.
  std::vector<BYTE> back(2 * 2336);
  ASSERT_EQ(drive->ReadCD(10, 2, back.data(), CDR_TRACK_MODE2_FORM2, 2336, nullptr), 0);
  const auto data = Units(300, 7);
  EXPECT_EQ(std::memcmp(back.data(), data.data() + 10 * 2332, 2332), 0);
  const auto lines = LogTexts();
  for (const char* l : {"StartTAO ff 5 4 1", "Track-at-once thread started.", "DoTAOWrite: Waiting for queue to fill",
                        "Finish TAO called.", "DoTAOWrite: Finished", "AddDiscInfoToDebugLog ----------- ATIP -------------",
                        "nwa 00000000 free 00057da9"}) {
    EXPECT_TRUE(Has(lines, l)) << l;
  }
}

TEST_F(TaoTest, InjectedFaultsFailTheRecordingWithTheirText) {
  struct Case {
    const char* faults;
    LONG flags;
    LONG result;  // of Track()
    const char* error;
    const char* line;
    int refused = -1;  // 1: a WriteTAO must have been refused, 0: none may be, -1: either
  } cases[] = {
      {"fault = check op=2a lba=150 sense=03/0c/00\n", CDR_BURNPROOF, 1, "Write failed: WRITE ERROR",
       "DoTAOWrite: Aborted write failure", 0},
      {"fault = check op=35 sense=03/0c/00 count=-1\n", 0, 1, "Flush failed: WRITE ERROR",
       "DoTAOWrite: Aborted flush failure"},
      {"fault = busy op=2a count=5\n", 0, 0, nullptr, "DoTAOWrite: Finished", 0},
      {"fault = busy op=35 count=-1\n", 0, 1,
       "Flush failed: the drive was still busy after 1 s: LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS",
       "Waiting for long write to finish"},
      // A drive that answers every WRITE with "busy" is given up on in time.
      {"fault = busy op=2a count=-1\n", 0, 1,
       "Write failed: the drive was still busy after 1 s: LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS",
       "DoTAOWrite: Aborted write failure"},
      {"fault = page5 wt=1 count=-1\n", 0, 1,
       "SetTAOWriteMode: Error sending write parameters page.: INVALID FIELD IN PARAMETER LIST",
       "SetTAOWriteMode: Sending mode page"},
      // Refused once at first use: the recording itself is good.
      {"fault = page5 wt=1 count=2\n", 0, 0,
       "SetTAOWriteMode: Error sending write parameters page.: INVALID FIELD IN PARAMETER LIST",
       "DoTAOWrite: Finished"},
      // A write that fails while the small queue is full refuses further sectors.
      {"fault = check op=2a lba=5 sense=03/0c/00\n", CDR_NOBUF, 1, "Write failed: WRITE ERROR",
       "StartTAO: CDR_NOBUF flag disabled internal buffer", 1},
      {"fault = nomedium\n", 0, -2, "Invalid track number.", "StartTAO ff 5 0 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    Use(c.faults);
    discpak::SetDeviceWaitLimitMs(300);
    auto drive = Create();
    ASSERT_TRUE(drive);
    bool refused = false;
    EXPECT_EQ(Track(drive.get(), c.flags, 300, &refused), c.result);
    if (c.refused >= 0) {
      EXPECT_EQ(refused, c.refused == 1);
    }
    const char* error = drive->GetLastError(nullptr);
    if (c.error) {
      ASSERT_NE(error, nullptr);
      EXPECT_STREQ(error, c.error);
    } else {
      EXPECT_EQ(error, nullptr) << error;
    }
    drive.reset();
    const auto lines = LogTexts();
    EXPECT_TRUE(Has(lines, c.line)) << c.line;
    if (c.error) {
      EXPECT_TRUE(Has(lines, std::string("SetError: ") + std::string(c.error).substr(0, std::string(c.error).rfind(": "))));
    }
  }
}

TEST_F(TaoTest, RefusalsAndTheAlternativeFormOneMode) {
  Use("fault = page5 dbt=11 count=-1\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->StartTAO(255, CDR_TRACK_MODE2, 0, nullptr, nullptr), 6);
  EXPECT_STREQ(drive->GetLastError(nullptr), "Track mode not supported.");
  // Form 1 units of 2056 bytes: the drive refuses block type 11, so the
  // sectors go as 2048-byte blocks with the subheader in the page.
  ASSERT_EQ(drive->StartTAO(255, CDR_TRACK_MODE2_FORM1, 0, nullptr, nullptr), 0);
  // Refused while recording (the latch may already hold the writer's first
  // error, the refused block type).
  EXPECT_EQ(drive->StartTAO(255, CDR_TRACK_MODE2_FORM1, 0, nullptr, nullptr), 1);
  std::vector<BYTE> units(2056 * 20, 0);
  for (int i = 0; i < 20; ++i) {
    BYTE* u = units.data() + i * 2056;
    const BYTE sub[4] = {2, 1, 0x08, 0};
    std::memcpy(u, sub, 4);
    std::memcpy(u + 4, sub, 4);
    std::memset(u + 8, i + 1, 2048);
  }
  EXPECT_EQ(drive->WriteTAO(2332, 1, units.data()), 1);  // not the track's size
  ASSERT_EQ(drive->WriteTAO(2056, 20, units.data()), 0);
  EXPECT_EQ(drive->FinishTAO(), 0);
  EXPECT_EQ(drive->FinishTAO(), 1);  // nothing to finish
  std::vector<BYTE> back(2056);
  ASSERT_EQ(drive->ReadCD(19, 1, back.data(), CDR_TRACK_MODE2_FORM1, 2056, nullptr), 0);
  EXPECT_EQ(std::memcmp(back.data(), units.data() + 19 * 2056, 2056), 0);
  {
    const auto lines = LogTexts();
    EXPECT_TRUE(Has(lines, "DoTAOWrite: Will try alt write mode"));
    EXPECT_TRUE(Has(lines, "SetError: Already in write mode."));
  }

  // Finishing at once still ends the wait for the queue and flushes.
  ASSERT_EQ(drive->StartTAO(255, CDR_TRACK_MODE1, 0, nullptr, nullptr), 0);
  EXPECT_EQ(drive->WriteTAO(2048, 0, nullptr), 0);
  EXPECT_EQ(drive->FinishTAO(), 0);
  const auto lines = LogTexts();
  EXPECT_TRUE(Has(lines, "DoTAOWrite: Finished"));
}

// A recording cancelled at a real write speed (8x, the drive taking as long
// as a real one) while the recording thread is finishing the track, which
// would write out everything queued: an abort from another thread stops the
// writer after the WRITE under way and drops the rest; nothing is flushed,
// the finish fails, the track stays open and the disc incomplete.
TEST_F(TaoTest, AnAbortFromAnotherThreadStopsTheWriterWhereItIs) {
  Use("throttle = yes\nwritespeeds = 8,4\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  CDR4BASE* base = CDR4BASE_Get();
  EXPECT_EQ(base->CDR4_AbortTAO(drive.get()), 1);  // nothing to abort
  BYTE info[36];
  ASSERT_EQ(drive->ReadTrackInfo(255, info), 0);
  DWORD start;
  std::memcpy(&start, info + 12, 4);
  ASSERT_EQ(drive->StartTAO(255, CDR_TRACK_MODE2_FORM2, CDR_BURNPROOF, nullptr, nullptr), 0);
  // Fewer units than the queue holds (2047): the writer waits for them all
  // and starts only once the track is being finished.
  constexpr DWORD kQueued = 1600;
  const auto data = Units(16, 7);
  for (DWORD at = 0; at < kQueued; at += 16) ASSERT_EQ(drive->WriteTAO(2332, 16, data.data()), 0);
  // The first write into the image file: the finish is under way.
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, drive_.c_str(), IN_MODIFY), 0);
  std::thread aborter([&] {
    alignas(inotify_event) char events[4096];
    const vexa::testsupport::Deadline deadline;
    for (bool written = false; !written;) {
      if (vexa::testsupport::PollUntil(watch, POLLIN, deadline) <= 0) {
        ADD_FAILURE() << vexa::testsupport::InVain("the first write into the image file");
        break;
      }
      const ssize_t n = ::read(watch, events, sizeof events);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        if (e->len && std::string(e->name).ends_with(".bin")) written = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    EXPECT_EQ(base->CDR4_AbortTAO(drive.get()), 0);
  });
  EXPECT_EQ(drive->FinishTAO(), 1);
  aborter.join();
  ::close(watch);
  EXPECT_EQ(drive->WriteTAO(2332, 16, data.data()), 1);  // the recording has ended
  BYTE disc[32];
  ASSERT_EQ(drive->ReadDiscInfo(disc), 0);
  EXPECT_EQ(disc[2] & 3, 1);  // incomplete
  ASSERT_EQ(drive->ReadTrackInfo(1, info), 0);
  DWORD next;
  std::memcpy(&next, info + 12, 4);
  // What was written is what the writer had under way: far less than was
  // queued.
  EXPECT_GT(next, start);
  EXPECT_LT(next - start, kQueued / 2);
  const auto lines = LogTexts();
  for (const char* l : {"Abort TAO called.", "DoTAOWrite: Aborted by the caller",
                        "FinishTAO: aborted, the queued sectors dropped."}) {
    EXPECT_TRUE(Has(lines, l)) << l;
  }
  EXPECT_FALSE(Has(lines, "DoTAOWrite: Finished"));
  // No SYNCHRONIZE CACHE (0x35) went to the drive: the trace has a line
  // "NNNNNN 35 ..." for each one.
  const std::string trace = Trace();
  EXPECT_NE(trace.find(" 2a 00 "), std::string::npos) << trace;
  for (std::size_t at = trace.find('\n'); at != std::string::npos && at + 11 <= trace.size();
       at = trace.find('\n', at + 1)) {
    EXPECT_NE(trace.compare(at + 7, 4, " 35 "), 0) << trace.substr(at + 1, trace.find('\n', at + 1) - at);
  }
}

TEST_F(TaoTest, ClosingTheSessionWaitsForABusyDriveButNotForEver) {
  Use("fault = busy op=5b count=1\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  ASSERT_EQ(Track(drive.get()), 0);
  EXPECT_EQ(drive->CloseSession(0x30, 1), 0);
  EXPECT_EQ(drive->CloseSession(0x20, 0), 1);  // busy once, then ready
  BYTE disc[32];
  ASSERT_EQ(drive->ReadDiscInfo(disc), 0);
  EXPECT_EQ(disc[2] & 3, 1);  // another session may follow

  Use("fault = busy op=5b count=1\nfault = busy op=00 count=-1\n");
  discpak::SetDeviceWaitLimitMs(300);
  drive = Create();
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->CloseSession(0x20, 1), 0);
  EXPECT_STREQ(drive->GetLastError(nullptr),
               "Close session failed: the drive was still busy after 1 s: LOGICAL UNIT NOT READY, LONG WRITE IN "
               "PROGRESS");

  // A refused XA close is tried again as a plain one (of a mode 1 track).
  Use("fault = check op=5b sense=05/24/00 count=1\n");
  drive = Create();
  ASSERT_TRUE(drive);
  ASSERT_EQ(drive->StartTAO(255, CDR_TRACK_MODE1, 0, nullptr, nullptr), 0);
  std::vector<BYTE> block(2048 * 10, 0x5A);
  ASSERT_EQ(drive->WriteTAO(2048, 10, block.data()), 0);
  ASSERT_EQ(drive->FinishTAO(), 0);
  EXPECT_EQ(drive->CloseSession(0x20, 1), 1);
  const auto lines = LogTexts();
  EXPECT_TRUE(Has(lines, "Invalid session type."));
  EXPECT_TRUE(Has(lines, "CloseSession: try normal session type"));
}

// A writer unplugged during the recording says that it is gone, whichever
// command met its absence: a WRITE in the track, the flush at its end, or
// the closing of the session.
TEST_F(TaoTest, AWriterUnpluggedMidRecordingSaysItIsGone) {
  const std::string gone = kComsDriveGoneText;
  struct Case {
    const char* fault;
    bool track;  // the track fails (else the session close)
    std::string said;
  } cases[] = {
      {"fault = gone op=2a lba=150\n", true, "Write failed: " + gone},
      {"fault = gone op=35\n", true, "Flush failed: " + gone},
      {"fault = gone op=5b\n", false, "Close session failed: " + gone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Use(c.fault);
    auto drive = Create();
    ASSERT_TRUE(drive);
    EXPECT_EQ(Track(drive.get()), c.track ? 1 : 0);
    if (!c.track) {
      EXPECT_EQ(drive->CloseSession(0x20, 1), 0);
    }
    const char* said = drive->GetLastError(nullptr);
    ASSERT_NE(said, nullptr);
    EXPECT_EQ(said, c.said);
  }
}

// A CLOSE SESSION that fails for good is reported with the drive's answer to
// it, not with the refusal of the plain retry's write parameters (the drive
// takes no plain session after an XA track), and a command that timed out
// says so rather than quoting empty sense data.
TEST_F(TaoTest, AFailedCloseSessionNamesItsOwnCause) {
  struct Case {
    const char* fault;
    const char* said;
  } cases[] = {
      {"fault = check op=5b sense=03/0c/00 count=-1\n", "Close session failed: WRITE ERROR"},
      {"fault = check op=5b sense=05/24/00 count=-1\n", "Close session failed: INVALID FIELD IN CDB"},
      {"fault = hang op=5b count=-1\n", "Close session failed: NO ANSWER FROM THE DRIVE: the command timed out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Use(c.fault);
    auto drive = Create();
    ASSERT_TRUE(drive);
    ASSERT_EQ(Track(drive.get()), 0);
    EXPECT_EQ(drive->CloseSession(0x20, 1), 0);
    const char* said = drive->GetLastError(nullptr);
    ASSERT_NE(said, nullptr);
    EXPECT_STREQ(said, c.said);
  }
}

}  // namespace
