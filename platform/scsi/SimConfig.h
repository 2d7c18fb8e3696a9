// Settings of a simulated recorder, kept in "drive.conf" in its folder:
// which drive it plays (profile and INQUIRY strings), what disc a fresh tray
// holds, speeds, and the faults a test wants it to show.
//
//   # lines are "key = value"; '#' starts a comment
//   profile   = cdrw-writer     # see Profiles() below
//   vendor    = VEXASIM         # INQUIRY overrides (8, 16 and 4 characters)
//   product   = CD-RW SIM 52X
//   revision  = 1.00
//   media     = cdr             # none | cdr | cdrw | dvdr | dvdrw | dvdprw | rom:FILE.cue
//   autoblank = yes             # a written disc is swapped for a fresh blank one
//                               # whenever the drive is opened or loaded
//   capacity  = 359849          # sectors of a blank CD (80 minutes)
//   throttle  = no              # take as long as a real drive at the set speed
//   writespeeds = 52,48,32      # the write speeds (x) the drive lists, highest first
//   fault     = busy op=35 count=3
//
// Faults (each a "fault =" line; op is a hexadecimal operation code, sense
// is key/asc/ascq in hexadecimal, count -1 means for ever):
//   check op=OP [lba=N] sense=K/AA/QQ [count=N]   CHECK CONDITION with that sense,
//                                                 for a write: when it covers lba N
//   busy [op=OP] count=N                          "long write in progress" N times
//   page5 wt=N [dbt=N] [test=1]                   MODE SELECT of that write-parameter
//                                                 combination refused
//   nomedium                                      the tray is empty
//   attention                                     one UNIT ATTENTION after opening
//   nogetconfig                                   GET CONFIGURATION is not known
//   slow ms=N [op=OP]                             every (or that) command takes N ms more
//   hang op=OP [count=N]                          the command never completes: the
//                                                 transport reports its timeout
//   gone [op=OP] [lba=N]                          the drive is unplugged when such a
//                                                 command comes: it and every later one
//                                                 fail without status or sense (ENODEV)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/scsi/Transport.h"

namespace vexa::scsi::sim {

struct Fault {
  std::string kind;  // check, busy, page5, nomedium, attention, nogetconfig, slow, hang, gone
  int op = -1;       // -1: any command
  std::int64_t lba = -1;
  int key = 0, asc = 0, ascq = 0;
  int count = 1;     // -1: for ever
  int writeType = -1, blockType = -1, testWrite = -1;
  int ms = 0;
};

// What a drive model can do; the profile names select one.
struct Profile {
  std::string name;
  std::string vendor, product, revision;
  int mmc = 3;               // 0: pre-MMC (no page 0x2A), 2: no GET CONFIGURATION, 3: features
  bool cdr = true, cdrw = true;
  bool dvdMinus = false;     // DVD-R/RW writer (feature 0x2F)
  bool dvdPlus = false;      // DVD+RW writer (feature 0x2A)
  bool tao = true, sao = true, raw = true, burnproof = true, testWrite = true;
  bool vendorSpeedPage = false;  // speed in vendor page 0x31 (old readers)
  bool readCdDa = false;     // vendor READ CD-DA (0xD8)
  std::vector<int> writeSpeeds;  // x, highest first; empty for readers
  int maxReadSpeed = 52;
};

VEXA_SCSI_API const std::vector<Profile>& Profiles();
VEXA_SCSI_API const Profile* FindProfile(const std::string& name);

struct SimConfig {
  std::string profile = "cdrw-writer";
  std::string vendor, product, revision;  // empty: the profile's
  std::string media = "cdr";
  bool autoBlank = false;
  std::int32_t capacity = 359849;
  bool throttle = false;
  std::vector<int> writeSpeeds;  // empty: the profile's
  std::vector<Fault> faults;
};

// Reads FOLDER/drive.conf; a missing file gives the defaults. False with
// *error on a malformed line.
VEXA_SCSI_API bool LoadConfig(const std::string& folder, SimConfig* config, std::string* error);
VEXA_SCSI_API bool SaveConfig(const std::string& folder, const SimConfig& config, std::string* error);
// Parses one "fault =" value.
VEXA_SCSI_API bool ParseFault(const std::string& text, Fault* fault, std::string* error);
VEXA_SCSI_API std::string FaultText(const Fault& fault);

}  // namespace vexa::scsi::sim
