// A simulated MMC recorder: answers the SCSI and MMC commands the recorder
// layer sends as a CD/DVD writer or reader would, keeps its disc in its
// folder (SimDisc.h) and writes what is burned as an image there.
//
// What the drive generates itself follows MMC: sync, header and EDC/ECC of
// data sectors sent as user data (track-at-once block types 8-13, cue-sheet
// data forms 0x10/0x20/0x30), and the P and Q subcode of session-at-once
// recordings from the cue sheet. Sectors the host builds whole (cue forms
// 0x11/0x21, raw block types 1 and 3) are kept as sent, descrambled, so that
// faults of the host's own sector building show in the image.
//
// Between track-at-once tracks it leaves what a drive leaves: two run-out
// blocks after a track and a 150-sector pre-gap before the next, so the next
// writable address is the previous end + 152.
//
// Every command goes to "trace.txt" in the folder (operation code, CDB,
// outcome), together with notes on what the drive found wrong with the data
// it was sent (a cue sheet that does not match the sectors, a raw lead-in
// that does not describe the program area, bad subcode CRCs).
//
// As a real drive does:
//  - one program at a time has it: an open drive holds a lock on its folder
//    ("drive.lock", naming the holder's process) until it is closed or its
//    process ends, and a second Open is told the recorder is busy;
//  - its tray is not the program's: a disc can be changed from outside
//    (ChangeMedia, "cdrsim load") while a program has the drive open, unless
//    that program prevents medium removal; the drive then answers its next
//    command with UNIT ATTENTION, medium may have changed (06/28/00), once,
//    and has the new disc from then on; so it does after its tray, open,
//    is closed over a disc (START STOP UNIT);
//  - it can be unplugged: once its folder is removed (or a "gone" fault
//    matches) every command fails as SG_IO fails for a drive that was
//    disconnected or switched off, without status or sense (ENODEV);
//  - a test write (the test bit of the write parameters page) goes through
//    every check of a real recording and records nothing: the disc, its
//    state file and its image files stay as they were;
//  - what a recording has done to the disc is on file from its first
//    written block on, so a writer that dies mid-way (SIGKILL, power loss)
//    leaves the disc incomplete, never blank.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/scsi/SimConfig.h"
#include "platform/scsi/SimDisc.h"
#include "platform/scsi/Transport.h"

namespace vexa::scsi::sim {

// Exclusive use of a simulated recorder's folder (an flock on
// FOLDER/drive.lock, which also names the holding process). Released when
// the object goes, or with its process.
class FolderLock {
 public:
  // Takes the lock without waiting. Null with *error set when another
  // holder has it (*busy true) or the lock file cannot be made.
  VEXA_SCSI_API static std::unique_ptr<FolderLock> Take(const std::string& folder, std::string* error,
                                                       bool* busy = nullptr);
  VEXA_SCSI_API ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  explicit FolderLock(int fd) : fd_(fd) {}
  int fd_;
};

class SimDrive {
 public:
  // Opens the drive kept in folder: drive.conf (defaults when missing) and
  // disc.state (a fresh disc of the configured media when missing). With
  // autoblank, a written disc is swapped for a fresh blank one here. The
  // drive is held (FolderLock) until it is destroyed; when another program
  // holds it, Open fails with *busy set and *error saying who has it.
  VEXA_SCSI_API static std::unique_ptr<SimDrive> Open(const std::string& folder, std::string* error,
                                                      bool* busy = nullptr);
  VEXA_SCSI_API ~SimDrive();
  SimDrive(const SimDrive&) = delete;
  SimDrive& operator=(const SimDrive&) = delete;

  VEXA_SCSI_API Result Execute(const Command& command);
  const DeviceInfo& Info() const { return info_; }
  bool SetExclusive(bool exclusive);
  bool SetDeviceMode(bool flag) { deviceMode_ = flag; return true; }
  bool CheckDeviceMode() const { return deviceMode_; }

  const SimDisc& Disc() const { return disc_; }
  const std::string& Folder() const { return folder_; }
  // The trace lines of this drive object, oldest first.
  const std::vector<std::string>& Trace() const { return trace_; }

  // Puts a fresh disc of the given media name into the tray of the drive
  // kept in folder (the old image files stay), without opening the drive;
  // the caller holds the folder (Open does, cdrsim takes the FolderLock).
  VEXA_SCSI_API static bool LoadMedia(const std::string& folder, const std::string& media, std::string* error);

  // Changes the disc in the tray of the drive kept in folder as a person
  // does, whether or not a program has the drive open: refused (false with
  // *error) while that program prevents medium removal. A program that has
  // the drive open sees the new disc from its next command on, which is
  // answered with UNIT ATTENTION, medium may have changed.
  VEXA_SCSI_API static bool ChangeMedia(const std::string& folder, const std::string& media, std::string* error);

 private:
  // What a command handler produces: reply bytes, or a CHECK CONDITION with
  // its sense (and progress for the sense-key specific bytes), or a timeout.
  struct Reply {
    std::vector<std::uint8_t> data;
    bool check = false;
    int key = 0, asc = 0, ascq = 0;
    int progress = -1;
    bool timedOut = false;
    void Fail(int k, int a, int q) {
      check = true;
      key = k;
      asc = a;
      ascq = q;
    }
  };
  SimDrive() = default;

  // Command handlers (SimDrive.cpp: status, identification, pages, speeds,
  // reading; SimWrite.cpp: every recording mode).
  Result ExecuteHeld(const Command& c);  // Execute with the tray held
  void Dispatch(const std::uint8_t* cdb, const Command& c, Reply& r);
  void Inquiry(const std::uint8_t* cdb, Reply& r);
  void TestUnitReady(Reply& r);
  void RequestSense(const std::uint8_t* cdb, Reply& r);
  void ModeSense(const std::uint8_t* cdb, bool ten, Reply& r);
  void ModeSelect(const std::uint8_t* cdb, bool ten, const Command& c, Reply& r);
  void GetConfiguration(const std::uint8_t* cdb, Reply& r);
  void GetPerformance(const std::uint8_t* cdb, Reply& r);
  void SetCdSpeed(const std::uint8_t* cdb, Reply& r);
  void ReadDiscInformation(Reply& r);
  void ReadTrackInformation(const std::uint8_t* cdb, Reply& r);
  void ReadToc(const std::uint8_t* cdb, Reply& r);
  void ReadSubChannel(const std::uint8_t* cdb, Reply& r);
  void ReadCd(const std::uint8_t* cdb, Reply& r);
  void ReadCdDa(const std::uint8_t* cdb, Reply& r);
  void Read(std::int64_t lba, std::int64_t count, Reply& r);
  void PreventAllow(const std::uint8_t* cdb, Reply& r);
  // A disc put in from outside since the last command: taken, and told once.
  void NoticeDiscChange();
  // The drive is unplugged: from now on no command reaches it (Gone).
  void Vanish(const std::string& why);
  Result Gone(const Command& c);
  // What identifies disc.state as this drive last saw or wrote it.
  struct StateStamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = -1, seconds = 0, nanoseconds = 0;
    bool operator==(const StateStamp&) const = default;
  };
  StateStamp DiscStateStamp() const;
  void StartStop(const std::uint8_t* cdb, Reply& r);

  void Write(const std::uint8_t* cdb, const Command& c, Reply& r);
  void SynchronizeCache(Reply& r);
  void CloseTrackSession(const std::uint8_t* cdb, Reply& r);
  void Blank(const std::uint8_t* cdb, Reply& r);
  void ReserveTrack(const std::uint8_t* cdb, Reply& r);
  void SendCueSheet(const Command& c, Reply& r);
  void FormatUnit(const std::uint8_t* cdb, const Command& c, Reply& r);

  std::vector<std::uint8_t> Page2A() const;
  bool CheckWriteParameters(const std::uint8_t* page, std::size_t length, std::string* why) const;

  // Writing helpers (SimWrite.cpp).
  bool EnsureImage();
  int ImageFd();  // the image (or a pressed disc's .bin) for reading; -1 when there is none
  void PublishImage();
  bool PutSector(std::int32_t address, const std::uint8_t* raw2352);
  bool PutSubcode(std::int32_t address, const std::uint8_t* channels96);
  bool PutDvdSector(std::int32_t address, const std::uint8_t* data2048);
  bool PutUnit(std::int64_t offset, const std::uint8_t* data, std::size_t size);
  // Writes the gathered run of sectors; false when the file took less.
  bool FlushImageRun();
  bool ReadRawSector(std::int32_t address, std::uint8_t* raw2352, TrackMode* mode);
  void WriteGapSectors(std::int32_t from, std::int32_t to, TrackMode mode);
  void CloseOpenTrack();
  void CloseSession();
  void FinishImage();
  void SaveState();
  // Puts on file what a recording that has begun leaves if it stops here:
  // the disc is incomplete from the first written block on.
  void SaveRecordingStarted();
  // A test write: the first block sent with the test bit starts the
  // simulation (the disc as it was is kept aside); it ends with the track
  // or session, a blank, a format, the test bit going off or the drive
  // closing, and the disc is then as it was.
  void BeginTestWrite();
  void EndTestWrite();
  void WriteTao(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length, Reply& r);
  void WritePacket(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length, Reply& r);
  void WriteSao(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length, Reply& r);
  void WriteRaw(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length, Reply& r);
  void WriteDvd(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length, Reply& r);
  void FinishSao(Reply& r);
  void FinishRaw(Reply& r);
  // The Q subcode (12 bytes with CRC) and P flag the drive records at an
  // address of the program area or lead-out, from the cue sheet being
  // written or from the disc's tracks.
  void SaoQ(std::int32_t address, std::uint8_t q[12], bool* p) const;
  void AdoptCdText(const std::vector<std::uint8_t>& symbols, const char* mode);

  // Settings of the write parameters page.
  int WriteType() const { return page5_[2] & 0x0F; }
  int BlockType() const { return page5_[4] & 0x0F; }
  bool TestWrite() const { return (page5_[2] & 0x10) != 0; }
  int BlockSizeOf(int blockType) const;
  bool FaultMatches(Fault& f, int op, std::int64_t lba, std::int64_t count);
  void Note(const std::string& text);
  void Throttle(std::int32_t sectors);
  std::int32_t WriteSpeedKBs() const { return writeKBs_; }

  std::unique_ptr<FolderLock> lock_;
  // "tray.lock": held for the length of every command and by ChangeMedia,
  // so a disc changed from outside never lands in the middle of a command;
  // its text names this process while it prevents medium removal.
  int trayFd_ = -1;
  bool trayMarked_ = false;
  StateStamp seenState_;
  std::string folder_;
  SimConfig config_;
  Profile profile_;
  DeviceInfo info_;
  SimDisc disc_;
  std::uint8_t page5_[52] = {};
  std::uint32_t blockSize_ = 2048;  // READ(10) block length (mode select block descriptor)
  int readKBs_ = 0, writeKBs_ = 0;
  int vendorSpeed_ = 0;             // vendor page 0x31
  bool unitAttention_ = false;
  bool gone_ = false;               // unplugged: every command fails as for a vanished device
  bool locked_ = false, trayOpen_ = false, deviceMode_ = false;
  int blankingLeft_ = 0;            // not-ready answers left while blanking runs
  int formatProgress_ = -1;         // DVD+RW background format: -1 none, else 0..65536
  std::uint8_t lastSense_[kSenseSize] = {};
  bool lastSenseValid_ = false;
  std::vector<Fault> faults_;
  std::vector<std::string> trace_;
  std::FILE* traceFile_ = nullptr;
  unsigned sequence_ = 0;
  int binFd_ = -1, subFd_ = -1;
  bool binWritable_ = false;
  std::int32_t reserved_ = 0;       // RESERVE TRACK size for the next track
  std::int64_t binHighWater_ = 0;   // bytes of the .bin ever written (beyond: holes)
  // Sectors not yet in the file: consecutive bytes from runOffset_.
  static constexpr std::size_t kImageRunBytes = 1 << 20;
  std::vector<std::uint8_t> run_;
  std::int64_t runOffset_ = 0;
  std::chrono::steady_clock::time_point busyUntil_{};
  bool testWriting_ = false;        // a test write is running: nothing goes to the folder
  bool recordingOnFile_ = false;    // the recording under way is already in disc.state
  SimDisc discBeforeTest_;          // the disc as it was before the test write

  // Session-at-once: the cue sheet sent, the next address expected.
  struct CueLine {
    int ctlAdr = 0, track = 0, index = 0, form = 0;
    std::int32_t address = 0;
  };
  std::vector<CueLine> cue_;
  std::int32_t saoNext_ = 0;
  bool saoActive_ = false;
  std::vector<std::uint8_t> leadInSymbols_;
  int saoHeaderMismatches_ = 0;
  // Raw writing: what the lead-in and the program-area subcode said.
  struct RawState {
    bool active = false;
    std::int32_t next = 0;
    std::int32_t leadOutSeen = 0;
    int qCrcErrors = 0, addressErrors = 0;
    std::vector<std::array<std::uint8_t, 12>> tocEntries;  // distinct lead-in Q
    int lastTrack = -1, lastIndex = -1;
    std::vector<SimTrack> tracks;  // from the program-area Q
    std::int32_t leadOutStart = -1;
  } raw_;
};

}  // namespace vexa::scsi::sim
