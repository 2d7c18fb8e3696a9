// The disc in a simulated recorder's tray: its kind, sessions and tracks,
// kept in "disc.state" in the drive's folder so that several programs (the
// by-hand tool, the burning program, a test) see the same disc one after the
// other, and the image files that hold what was written:
//
//   NAME.bin  2352-byte sectors from address 0 (CD), every sector of every
//             track including the gaps between tracks (INDEX 00), written as
//             the drive receives them; never-written stretches are holes.
//   NAME.cue  the table of contents as a cue sheet that cd-info, vcd-info
//             and other image readers take (rewritten whenever a track or a
//             session is closed), with CD-TEXT titles and performers.
//   NAME.sub  96 subcode bytes per sector from address 0 in the
//             channel-by-channel layout (P, Q, R..W, 12 bytes each), when the
//             host sent subcode (raw writing, audio with R-W).
//   NAME.cdt  the CD-TEXT packs read from the lead-in, when there were any.
//   NAME.iso  2048-byte sectors of a DVD.
//
// A pressed disc ("rom:FILE.cue") is read from its own .bin and never written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/scsi/Transport.h"

namespace vexa::scsi::sim {

enum class MediaKind { None, CdR, CdRw, CdRom, DvdR, DvdRw, DvdPlusRw };
enum class DiscStatus { Blank = 0, Incomplete = 1, Complete = 2 };
enum class TrackMode { Audio, Mode1, Mode2, Dvd };

struct SimIndex {
  int number = 1;
  std::int32_t address = 0;
};

struct SimTrack {
  int number = 1;
  int session = 1;
  TrackMode mode = TrackMode::Mode1;
  int control = 4;             // Q control nibble: 4 data, 0 audio (plus copy/pre-emphasis)
  std::int32_t pregap = 0;     // address of INDEX 00 (== start when there is none)
  std::int32_t start = 0;      // address of INDEX 01
  std::int32_t length = 0;     // sectors from start written so far
  std::int32_t end = 0;        // first address after the track, run-out included
  std::vector<SimIndex> extraIndexes;  // INDEX 02 and up
  bool closed = false;
  int packetSize = 0;          // fixed-packet track: blocks per packet
  std::string title, performer, isrc;
};

struct SimSession {
  int number = 1;
  int format = 0;              // 0x00 CD-DA/CD-ROM, 0x10 CD-I, 0x20 CD-ROM XA
  std::int32_t leadOut = 0;    // lead-out start, once closed
  bool closed = false;
};

struct SimDisc {
  MediaKind kind = MediaKind::None;
  DiscStatus status = DiscStatus::Blank;
  std::int32_t leadInStart = -11634;  // ATIP lead-in start (97:26:66)
  std::int32_t capacity = 359849;     // last possible lead-out start
  std::vector<SimSession> sessions;   // closed sessions, and the open one
  std::vector<SimTrack> tracks;
  std::string image;                  // base name of the image files ("" before any write)
  std::string sourceBin;              // pressed disc: the .bin it is read from
  std::string discTitle, discPerformer;
  std::string mcn;
  bool cdText = false;
  bool subcode = false;               // NAME.sub exists
  bool formatted = false;             // CD-RW formatted for packets / DVD+RW formatted
  std::int32_t nextWritable = 0;      // NWA of the next (invisible) track

  bool IsCd() const {
    return kind == MediaKind::CdR || kind == MediaKind::CdRw || kind == MediaKind::CdRom;
  }
  bool IsDvd() const {
    return kind == MediaKind::DvdR || kind == MediaKind::DvdRw || kind == MediaKind::DvdPlusRw;
  }
  bool Erasable() const { return kind == MediaKind::CdRw || kind == MediaKind::DvdRw || kind == MediaKind::DvdPlusRw; }
  bool Writable() const { return kind != MediaKind::None && kind != MediaKind::CdRom; }
  // The track holding an address (its pregap included), or null.
  const SimTrack* TrackAt(std::int32_t address) const;
  SimTrack* OpenTrack();  // the track being written, if any
  int LastTrackNumber() const { return tracks.empty() ? 0 : tracks.back().number; }
};

// A fresh disc of a media name of drive.conf ("cdr", "cdrw", "dvdr", ...).
SimDisc FreshDisc(const std::string& media, std::int32_t capacity);

// disc.state in the folder: false with *error when unreadable or malformed.
VEXA_SCSI_API bool LoadDisc(const std::string& folder, SimDisc* disc, std::string* error);
bool SaveDisc(const std::string& folder, const SimDisc& disc, std::string* error);

// Loads a pressed CD from a .cue with one BINARY FILE of 2352-byte sectors
// (AUDIO, MODE1/2352, MODE2/2352 tracks, INDEX and PREGAP lines, TITLE and
// PERFORMER, CATALOG).
bool LoadCueDisc(const std::string& cuePath, SimDisc* disc, std::string* error);

// The cue sheet text of a CD's written tracks for the image NAME.bin.
std::string CueText(const SimDisc& disc);

VEXA_SCSI_API const char* MediaName(MediaKind kind);

}  // namespace vexa::scsi::sim
