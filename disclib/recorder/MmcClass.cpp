// MmcClass: what an MMC drive can do (capability and quirk words, probed at
// creation), reading with READ CD, speeds, blocking, tray and blanking.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <utility>
#include <thread>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

namespace {

struct Bit {
  DWORD bit;
  const char* name;
};

const Bit kCdrfNames[] = {
    {CDRF_READCDDA, "CDRF_READCDDA"},       {CDRF_CDDAACCURATE, "CDRF_CDDAACCURATE"},
    {CDRF_SUBCODE, "CDRF_SUBCODE"},         {CDRF_RAWSUBCODE, "CDRF_RAWSUBCODE"},
    {CDRF_READC2, "CDRF_READC2"},           {CDRF_CDTEXT, "CDRF_CDTEXT"},
    {CDRF_CDR, "CDRF_CDR"},                 {CDRF_CDRW, "CDRF_CDRW"},
    {CDRF_WRITETAO, "CDRF_WRITETAO"},       {CDRF_WRITESAO, "CDRF_WRITESAO"},
    {CDRF_WRITECDTEXT, "CDRF_WRITECDTEXT"}, {CDRF_WRITERAW, "CDRF_WRITERAW"},
    {CDRF_BURNPROOF, "CDRF_BURNPROOF"},     {CDRF_METHOD2, "CDRF_METHOD2"},
    {CDRF_METHOD2, "CDRF_METHOD2"},         {CDRF_ISRC, "CDRF_ISRC"},
    {CDRF_UPC, "CDRF_UPC"},                 {CDRF_WRITEDAO, "CDRF_WRITEDAO"},
    {CDRF_OVERBURN, "CDRF_OVERBURN"},       {CDRF_WRITERSCODE, "CDRF_WRITERSCODE"},
    {CDRF_WRITECSCODE, "CDRF_WRITECSCODE"}, {CDRF_STONEFORD, "CDRF_STONEFORD"},
    {CDRF_MMC3, "CDRF_MMC3"},               {CDRF_DVDR, "CDRF_DVDR"},
    {CDRF_DVDRW, "CDRF_DVDRW"},
};

const Bit kMmcfNames[] = {
    {MMCF_BCD2368, "MMCF_BCD2368"},         {MMCF_WRITESAO, "MMCF_WRITESAO"},
    {MMCF_WRITECDTEXT, "MMCF_WRITECDTEXT"}, {MMCF_BURNPROOF, "MMCF_BURNPROOF"},
    {MMCF_WRITERAW, "MMCF_WRITERAW"},       {MMCF_LGERASE, "MMCF_LGERASE"},
    {MMCF_WRITERAW3, "MMCF_WRITERAW3"},     {MMCF_KV4700CUE, "MMCF_KV4700CUE"},
    {MMCF_SIMPLECUE, "MMCF_SIMPLECUE"},     {MMCF_FORCE150GAP, "MMCF_FORCE150GAP"},
    {MMCF_WRITEDAO, "MMCF_WRITEDAO"},       {MMCF_WRITERSCODE, "MMCF_WRITERSCODE"},
    {MMCF_WRITECSCODE, "MMCF_WRITECSCODE"}, {MMCF_STONEFORD, "MMCF_STONEFORD"},
    {MMCF_MMC3, "MMCF_MMC3"},               {MMCF_DVDR, "MMCF_DVDR"},
    {MMCF_DVDRW, "MMCF_DVDRW"},             {MMCF_FORCERAW, "MMCF_FORCERAW"},
    {MMCF_REJECTC2, "MMCF_REJECTC2"},
};

// The capability each quirk bit brings along.
const std::pair<DWORD, DWORD> kQuirkCaps[] = {
    {MMCF_WRITESAO, CDRF_WRITESAO},       {MMCF_WRITECDTEXT, CDRF_WRITECDTEXT}, {MMCF_BURNPROOF, CDRF_BURNPROOF},
    {MMCF_WRITERAW, CDRF_WRITERAW},       {MMCF_WRITEDAO, CDRF_WRITEDAO},       {MMCF_OVERBURN, CDRF_OVERBURN},
    {MMCF_WRITERSCODE, CDRF_WRITERSCODE}, {MMCF_WRITECSCODE, CDRF_WRITECSCODE}, {MMCF_STONEFORD, CDRF_STONEFORD},
    {MMCF_MMC3, CDRF_MMC3},               {MMCF_DVDR, CDRF_DVDR},               {MMCF_DVDRW, CDRF_DVDRW},
};

struct Feature {
  int code;
  const char* name;
};

const Feature kFeatures[] = {
    {0x000, "Profile list"},
    {0x001, "Core"},
    {0x002, "Morphing"},
    {0x003, "Removable media"},
    {0x004, "Write protect"},
    {0x010, "Random readable"},
    {0x01D, "Multi-read"},
    {0x01E, "CD Read"},
    {0x01F, "DVD Read"},
    {0x020, "Random writable"},
    {0x021, "Incremental Streaming Write"},
    {0x022, "Sector Erasable"},
    {0x023, "Formattable"},
    {0x024, "Defect Management"},
    {0x025, "Write Once"},
    {0x026, "Restricted Overwrite"},
    {0x027, "CD-RW CAV Write"},
    {0x028, "Mt. Ranier"},
    {0x02A, "DVD+RW"},
    {0x02C, "Rigid Restricted Overwrite"},
    {0x02D, "CD track-at-once"},
    {0x02E, "CD session-at-once"},
    {0x02F, "DVD-R/DVD-RW"},
    {0x030, "DDCD Read"},
    {0x031, "DDCD Write"},
    {0x032, "DDCDRW Write"},
    {0x100, "Power Management"},
    {0x101, "SMART"},
    {0x102, "Embedded Changer"},
    {0x103, "CD Audio Play External"},
    {0x104, "Microcode upgrade"},
    {0x105, "Timeout"},
    {0x106, "DVD-CSS"},
    {0x107, "Realtime streaming"},
    {0x108, "Unit serial no"},
    {0x10A, "Disc DCB"},
    {0x10B, "DVD CPRM"},
};

const char* ProfileName(int profile) {
  switch (profile) {
    case 1: return "Non-removable disc";
    case 2: return "Removable disc";
    case 3: return "MO Eraseable";
    case 4: return "MO Write once";
    case 5: return "AS-MO";
    case 8: return "CD-ROM";
    case 9: return "CD-R";
    case 10: return "CD-RW";
    case 16: return "DVD-ROM";
    case 17: return "DVD-R sequential";
    case 18: return "DVD-RAM";
    case 19: return "DVD-RW Restricted Overwrite";
    case 20: return "DVD-RW sequential";
    case 26: return "DVD+RW rewritable";
    case 32: return "DD CD-ROM";
    case 33: return "DD CD-R";
    case 34: return "DD CD-RW";
    default: return profile < 35 ? "" : "Unknown";
  }
}

const char* Rotation(int r) {
  static const char* const kNames[] = {"CLV", "CAV", "rsvd", "rsvd"};
  return kNames[r & 3];
}

bool Contains(const char* text, const char* what) { return std::strstr(text, what) != nullptr; }

}  // namespace

MmcClass::MmcClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database)
    : CdrClassPhysical(device, std::move(database)) {
  ComsLogF("MmcClass: Created device on id %ld", static_cast<long>(device));
  GetInquiry(inquiry_);
  Cmd(device_, Cdb(cmd::kTestUnitReady));
  Cmd(device_, Cdb(cmd::kTestUnitReady));
  letter_ = COMS_GetTransportTable()->COMS_GetDriveLetter(device_);
  Probe();
}

MmcClass::~MmcClass() { StopWriter(); }

void MmcClass::Probe() {
  BYTE page[32] = {};
  DWORD length = 0;
  if (ModeSense10(device_, cmd::kPageCapabilities, page, sizeof page, &length) && length >= 8 &&
      (page[0] & 0x3F) == cmd::kPageCapabilities) {
    if (page[2] & 0x04) caps_ |= CDRF_METHOD2;
    if (page[3] & 0x01) caps_ |= CDRF_CDR;
    if (page[3] & 0x02) caps_ |= CDRF_CDRW;
    if (page[3] & 0x10) caps_ |= CDRF_DVDR;
    if (page[5] & 0x01) caps_ |= CDRF_READCDDA;
    if (page[5] & 0x02) caps_ |= CDRF_CDDAACCURATE;
    if (page[5] & 0x04) caps_ |= CDRF_SUBCODE;
    if (!(page[5] & 0x08)) caps_ |= CDRF_RAWSUBCODE;
    if (page[5] & 0x10) caps_ |= CDRF_READC2;
    if (page[5] & 0x20) caps_ |= CDRF_ISRC;
    if (page[5] & 0x40) caps_ |= CDRF_UPC;
    if (caps_ & CDRF_CDR) caps_ |= CDRF_WRITETAO;
    caps_ |= CDRF_CDTEXT;
  } else {
    COMS_Log("MmcClass: Device failed read of mode page 2a.");
    const DWORD value = database_ ? database_->GetValue(CDR4DB_KEY_CDRFLAGS) : 0;
    if (value) {
      caps_ = value;
    } else {
      COMS_Log("MmcClass: No database entry found");
      caps_ = CDRF_READCDDA;
    }
  }

  if (database_) {
    quirks_ = database_->GetValue(CDR4DB_KEY_MMCFLAGS);
    for (const auto& [quirk, cap] : kQuirkCaps) {
      if (quirks_ & quirk) caps_ |= cap;
    }
    if ((quirks_ & MMCF_REJECTC2) && (caps_ & CDRF_READC2)) {
      COMS_Log("MmcClass: CDRF_READC2 turned off by MMCF_REJECTC2");
      caps_ &= ~CDRF_READC2;
    }
  } else {
    if (Contains(inquiry_, "PX-W1210") || Contains(inquiry_, "PX-W1610") || Contains(inquiry_, "PX-S88T")) {
      caps_ |= CDRF_BURNPROOF;
    }
    if (Contains(inquiry_, "PLEXTOR")) caps_ |= CDRF_READC2;
    if (Contains(inquiry_, "Scribe+ 4700")) {
      quirks_ |= MMCF_KV4700CUE;
      COMS_Log("MmcClass: Enabled Kv 4700 CUE sheet support");
    }
    DWORD mask = 0xFFFF;
    if (ProbeMmc3(&mask)) {
      COMS_Log("MmcClass: Drive is MMC3");
      caps_ |= CDRF_MMC3;
    }
    if (ProbeStoneFord()) {
      COMS_Log("MmcClass: Drive is stone ford");
      caps_ |= CDRF_STONEFORD;
    }
    if (caps_ & CDRF_CDR) {
      if (mask & CDRF_WRITESAO) {
        mask &= ~(CDRF_WRITESAO | CDRF_WRITECDTEXT);
        COMS_Log("MmcClass: Testing for SAO write mode");
        if (SetSAOWriteMode(0, 0, WriteParametersPage::kCdRomXa)) {
          COMS_Log("MmcClass: Enabled SAO write mode by TEST");
          COMS_Log("MmcClass: Enabled CD-Text writing by TEST");
          caps_ |= CDRF_WRITESAO | CDRF_WRITECDTEXT;
        }
      }
      if (mask & CDRF_WRITERAW) {
        mask &= ~CDRF_WRITERAW;
        COMS_Log("MmcClass: Testing for RAW write mode 3");
        if (SetRAWWriteMode(0, 0, WriteParametersPage::kCdDaOrCdRom, WriteParametersPage::kBlockRawPW)) {
          COMS_Log("MmcClass: Enabled RAW write mode 3 by TEST");
          caps_ |= CDRF_WRITERAW | CDRF_WRITECDTEXT;
          quirks_ |= MMCF_WRITERAW3;
        } else {
          COMS_Log("MmcClass: Testing for RAW write mode 1");
          if (SetRAWWriteMode(0, 0, WriteParametersPage::kCdDaOrCdRom, WriteParametersPage::kBlockRawPQ)) {
            COMS_Log("MmcClass: Enabled RAW write mode by TEST");
            caps_ |= CDRF_WRITERAW;
          }
        }
      }
      if (mask & CDRF_BURNPROOF) {
        mask &= ~CDRF_BURNPROOF;
        caps_ |= CDRF_BURNPROOF;
        COMS_Log("MmcClass: Testing for burnproof");
        if (SetTAOWriteMode(CDR_TRACK_AUDIO, CDR_BURNPROOF, nullptr)) {
          COMS_Log("MmcClass: Enabled burnproof write mode by TEST");
        } else {
          caps_ &= ~CDRF_BURNPROOF;
        }
        SetTAOWriteMode(CDR_TRACK_AUDIO, 0, nullptr);
      }
    }
  }

  if (Contains(inquiry_, "TEAC    CD-532E-B       ") || Contains(inquiry_, "SONY") ||
      Contains(inquiry_, "LG      CD-RW CED-8080B")) {
    quirks_ |= MMCF_BCD2368;
    COMS_Log("MmcClass: will force BCD conversion on q-subcode");
  }
  if (Contains(inquiry_, "LG      CD-RW CED-8080B")) {
    quirks_ |= MMCF_LGERASE;
    COMS_Log("MmcClass: forcing LG erase handling on");
  }
  if (Contains(inquiry_, "PX-W1210")) quirks_ |= MMCF_WRITERAW3;
  if (Contains(inquiry_, "PX-W124")) {
    caps_ |= CDRF_WRITERSCODE | CDRF_WRITECSCODE;
    quirks_ |= MMCF_SIMPLECUE;
  }
  if (Contains(inquiry_, "PLEXTOR")) caps_ |= CDRF_RAWSUBCODE;

  for (const Bit& b : kMmcfNames) {
    if (quirks_ & b.bit) ComsLogF("MmcClass: %s", b.name);
  }
  for (const Bit& b : kCdrfNames) {
    if (caps_ & b.bit) ComsLogF("MmcClass: %s", b.name);
  }
  ClearError();
}

bool MmcClass::ProbeMmc3(DWORD* mask) {
  BYTE d[512];
  for (const Feature& f : kFeatures) {
    DWORD length = 0;
    if (!GetConfiguration(device_, f.code, d, sizeof d, &length, nullptr) || length < 4) continue;
    if (length < 32) std::memset(d + length, 0, 32 - length);
    ComsLogF("MMC3: Feature(%03x) %s", f.code, f.name);
    const BYTE* p = d + 4;  // the feature's own bytes
    const DWORD n = length - 4;
    switch (f.code) {
      case cmd::kFeatureProfileList:
        for (DWORD at = 0; at + 4 <= n; at += 4) {
          const int profile = GetBE16(p + at);
          ComsLogF("MMC3: Profile (%x) %s", profile, ProfileName(profile));
        }
        break;
      case cmd::kFeatureCore:
        ComsLogF("MMC3 Core: interface standard %lx", static_cast<unsigned long>(GetBE32(p)));
        break;
      case cmd::kFeatureMorphing:
        ComsLogF("MMC3 Morphing: async event status %x", p[0] & 1);
        break;
      case cmd::kFeatureRemovableMedium:
        ComsLogF("MMC3 Removable: lock%x pvnt jumper%x eject%x loading%x", p[0] & 1, (p[0] >> 2) & 1,
                 (p[0] >> 3) & 1, p[0] >> 5);
        break;
      case cmd::kFeatureRandomReadable:
        ComsLogF("MMC3 Random Read: log block size %ld physical blocking %d", static_cast<long>(GetBE32(p)),
                 GetBE16(p + 4));
        break;
      case cmd::kFeatureRandomWritable:
        ComsLogF("MMC3 Random Write: log block size %ld physical blocking %d pp %d",
                 static_cast<long>(GetBE32(p + 4)), GetBE16(p + 8), p[10] & 1);
        break;
      case cmd::kFeatureWriteOnce:
        ComsLogF("MMC3 Random Write: log block size %ld physical blocking %d pp %d", static_cast<long>(GetBE32(p)),
                 GetBE16(p + 4), p[6] & 1);
        break;
      case cmd::kFeatureIncrementalStreamingWrite: {
        const int links = p[3];
        ComsLogF("MMC3 Inc Stream Write: data support %x buf %x numlinks %d", GetBE16(p), p[2] & 1, links);
        for (int i = 0; i < links && 4u + i < n; ++i) ComsLogF("MMC3 Inc Stream Write: link size %d", p[4 + i]);
        if (p[2] & 1) {
          caps_ |= CDRF_BURNPROOF;
          *mask &= ~CDRF_BURNPROOF;
          COMS_Log("MMC3 Inc Stream Write: Enabled BURNPROOF");
        }
        break;
      }
      case cmd::kFeatureCdTrackAtOnce:
        ComsLogF("MMC3 CDTAO: datasup%x rwsub%x cdrw%x test%x rwpack%x rwraw%x BUF%x", GetBE16(p + 2), p[0] & 1,
                 (p[0] >> 1) & 1, (p[0] >> 2) & 1, (p[0] >> 3) & 1, (p[0] >> 4) & 1, (p[0] >> 6) & 1);
        if (p[0] & 0x40) {
          caps_ |= CDRF_BURNPROOF;
          *mask &= ~CDRF_BURNPROOF;
          COMS_Log("MMC3 CDTAO: Enabled BURNPROOF");
        }
        break;
      case cmd::kFeatureCdSessionAtOnce:
        ComsLogF("MMC3 CDSAO: maxcue%lx rwsub%x cdrw%x test%x raw%x rawmulti%x sao%x BUF%x",
                 static_cast<unsigned long>((p[1] << 16) | (p[2] << 8) | p[3]), p[0] & 1, (p[0] >> 1) & 1,
                 (p[0] >> 2) & 1, (p[0] >> 3) & 1, (p[0] >> 4) & 1, (p[0] >> 5) & 1, (p[0] >> 6) & 1);
        if (p[0] & 0x40) {
          caps_ |= CDRF_BURNPROOF;
          *mask &= ~CDRF_BURNPROOF;
          COMS_Log("MMC3 CDSAO: Enabled BURNPROOF");
        }
        if (p[0] & 0x20) {
          caps_ |= CDRF_WRITESAO | CDRF_WRITECDTEXT;
          COMS_Log("MMC3 CDSAO: Enabled SAO/CDTEXT write");
          if (p[0] & 0x02) *mask &= ~(CDRF_WRITESAO | CDRF_WRITECDTEXT);
        }
        if (p[0] & 0x08) {
          caps_ |= CDRF_WRITERAW | CDRF_WRITECDTEXT;
          quirks_ |= MMCF_WRITERAW3;
          *mask &= ~(CDRF_WRITERAW | CDRF_WRITECDTEXT);
          COMS_Log("MMC3 CDSAO: Enabled RAW/RAW3/CDTEXT write");
        }
        break;
      case cmd::kFeatureRealTimeStreaming:
        ComsLogF("MMC3 RTStream: strwrite%x getperfspd%x mode2aspd%x setcdspd%x readbf%x", p[0] & 1,
                 (p[0] >> 1) & 1, (p[0] >> 2) & 1, (p[0] >> 3) & 1, (p[0] >> 4) & 1);
        break;
      case cmd::kFeatureSerialNumber: {
        std::string serial(reinterpret_cast<const char*>(p), std::min<DWORD>(n, 60));
        while (!serial.empty() && (serial.back() == '\0' || serial.back() == ' ')) serial.pop_back();
        ComsLogF("MMC3 Serial Number: %s", serial.c_str());
        break;
      }
      default:
        break;
    }
  }

  // Write speeds of page 0x2A.
  BYTE page[512];
  DWORD length = 0;
  int speeds = 0;
  if (ModeSense10(device_, cmd::kPageCapabilities, page, sizeof page, &length) && length >= 32) {
    speeds = GetBE16(page + 30);
    if (speeds > 23) {
      COMS_Log("MMC3: disabled speed check because of overflow!");
      speeds = 0;
    } else {
      const int current = GetBE16(page + 28);
      ComsLogF("MMC3: current write speed %d(%ld) %s", current, static_cast<long>(SpeedX(current)),
               Rotation(page[27]));
      ComsLogF("MMC3: number of write speeds %d", speeds);
      for (int i = 0; i < speeds && 32u + 4 * i + 4 <= length; ++i) {
        const BYTE* w = page + 32 + 4 * i;
        const int kbs = GetBE16(w + 2);
        ComsLogF("MMC3: write speed %d(%ld) %s", kbs, static_cast<long>(SpeedX(kbs)), Rotation(w[1]));
      }
    }
    ComsLogF("MMC3: buffer underrun protection %d", (page[4] >> 7) & 1);
    if (page[4] & 0x80) {
      COMS_Log("MmcClass: Enabled burnproof write mode by MMC3 flag");
      caps_ |= CDRF_BURNPROOF;
    }
  }

  BYTE perf[512] = {};
  DWORD got = sizeof perf;
  if (CmdRead(device_, Cdb(cmd::kGetWritePerformance), perf, &got) && got >= 8) {
    const DWORD total = std::min<DWORD>(GetBE32(perf) + 4u, got);
    for (DWORD at = 8; at + 16 <= total; at += 16) {
      const long startKbs = static_cast<long>(GetBE32(perf + at + 4));
      const long endKbs = static_cast<long>(GetBE32(perf + at + 12));
      ComsLogF("MMC3: perf start lba %ld perf %ld(%ld), end lba %ld perf %ld(%ld)",
               static_cast<long>(GetBE32(perf + at)), startKbs, static_cast<long>(SpeedX(startKbs)),
               static_cast<long>(GetBE32(perf + at + 8)), endKbs, static_cast<long>(SpeedX(endKbs)));
    }
  } else {
    COMS_Log("MMC3: failed to read performance data");
  }
  return speeds != 0;
}

bool MmcClass::ProbeStoneFord() {
  COMS_Log("MmcClass: Testing for Stone Ford support");
  BYTE d[512] = {};
  DWORD length = 0;
  if (!GetConfiguration(device_, cmd::kFeatureStoneFord, d, sizeof d, &length, nullptr)) {
    COMS_Log("MmcClass: Get configuration failed");
    return false;
  }
  if (length < 14 || GetBE16(d) != cmd::kFeatureStoneFord) {
    COMS_Log("MmcClass: Failed to get FFDE configuration page");
    return false;
  }
  ComsLogF("SF: additional length %d", d[3]);
  ComsLogF("SF: flags %02x", d[4]);
  ComsLogF("SF: mmc3 compatible 2a write speed %d", (d[4] >> 7) & 1);
  ComsLogF("SF: high-speed rw %d", (d[4] >> 2) & 1);
  ComsLogF("SF: bufe disable %d", (d[4] >> 1) & 1);
  ComsLogF("SF: write strategy known %d", d[4] & 1);
  ComsLogF("SF: OSJ disc id %02x %02x %02x", d[5], d[6], d[7]);
  const int current = GetBE16(d + 10);
  ComsLogF("SF: current write speed %d(%ld) %s", current, static_cast<long>(SpeedX(current)), Rotation(d[9]));
  const int writes = GetBE16(d + 12);
  ComsLogF("SF: number of write speeds %d", writes);
  DWORD at = 14;
  for (int i = 0; i < writes && at + 4 <= length; ++i, at += 4) {
    const int kbs = GetBE16(d + at + 2);
    ComsLogF("SF: write speed %d(%ld) %s", kbs, static_cast<long>(SpeedX(kbs)), Rotation(d[at + 1]));
  }
  if (at + 2 <= length) {
    const int cdda = GetBE16(d + at);
    ComsLogF("SF: number of cdda speeds %d", cdda);
    at += 2;
    for (int i = 0; i < cdda && at + 4 <= length; ++i, at += 4) {
      const int kbs = GetBE16(d + at + 2);
      ComsLogF("SF: cdda speed %d(%ld) %s", kbs, static_cast<long>(SpeedX(kbs)), Rotation(d[at + 1]));
    }
  }
  return true;
}

// ---- Speeds -------------------------------------------------------------------

LONG MmcClass::CurrentSpeed(bool write) {
  BYTE page[32] = {};
  DWORD length = 0;
  if (!ModeSense10(device_, cmd::kPageCapabilities, page, sizeof page, &length) || length < 22) return -1;
  return SpeedX(GetBE16(page + (write ? 20 : 14)));
}

LONG MmcClass::SetSpeed(LONG x, bool write) {
  BYTE page[32] = {};
  DWORD length = 0;
  int readKbs = 0xFFFF, writeKbs = 0xFFFF;
  if (ModeSense10(device_, cmd::kPageCapabilities, page, sizeof page, &length) && length >= 22) {
    readKbs = GetBE16(page + 14);
    writeKbs = GetBE16(page + 20);
  }
  const int kbs = std::min(SpeedKBs(x), 0xFFFE);
  if (write) writeKbs = kbs;
  else readKbs = kbs;
  Cmd(device_, Cdb(cmd::kSetCdSpeed)
                   .Set(cmd::kReadSpeed, static_cast<DWORD>(readKbs))
                   .Set(cmd::kWriteSpeed, static_cast<DWORD>(writeKbs)));
  const LONG now = CurrentSpeed(write);
  return now > 0 ? now : CDR_SPEED_NONE;
}

LONG MmcClass::StoneFordSpeedQuery(LONG x) {
  BYTE d[512] = {};
  DWORD length = 0;
  if (!GetConfiguration(device_, cmd::kFeatureStoneFord, d, sizeof d, &length, nullptr)) {
    COMS_Log("stoneFordSpeedQuery: Get configuration failed");
    return 0;
  }
  if (length < 14 || GetBE16(d) != cmd::kFeatureStoneFord) {
    COMS_Log("stoneFordSpeedQuery: Failed to get FFDE configuration page");
    return 0;
  }
  const int writes = GetBE16(d + 12);
  for (int i = 0; i < writes && 14u + 4 * i + 4 <= length; ++i) {
    if (SpeedX(GetBE16(d + 14 + 4 * i + 2)) == x) return x;
  }
  return CDR_SPEED_NONE;
}

LONG MmcClass::Speed(LONG code, bool write) {
  if (code == CDR_SPEED_CURRENT) {
    const LONG x = CurrentSpeed(write);
    return x < 0 ? CDR_SPEED_NONE : x;
  }
  if (code == CDR_SPEED_FASTER || code == CDR_SPEED_SLOWER) {
    const LONG x = CurrentSpeed(write);
    if (x <= 0) return CDR_SPEED_NONE;
    return SetSpeed(code == CDR_SPEED_FASTER ? x + 1 : x - 1, write);
  }
  if (code & CDR_SPEED_ASK) {
    const LONG x = code & 0xFFF;
    if (write && (caps_ & CDRF_STONEFORD)) return StoneFordSpeedQuery(x);
    if (write && (caps_ & CDRF_MMC3)) {
      BYTE page[512] = {};
      DWORD length = 0;
      if (!ModeSense10(device_, cmd::kPageCapabilities, page, sizeof page, &length) || length < 32) {
        return CDR_SPEED_NONE;
      }
      const int speeds = GetBE16(page + 30);
      if (speeds > 23) return CDR_SPEED_NONE;
      for (int i = 0; i < speeds && 32u + 4 * i + 4 <= length; ++i) {
        if (SpeedX(GetBE16(page + 32 + 4 * i + 2)) == x) return x;
      }
      return CDR_SPEED_NONE;
    }
    if (database_ && database_->IsLoaded()) {
      const LONG count = write ? database_->CountB() : database_->CountA();
      for (LONG i = 0; i < count; ++i) {
        DWORD speed = 0;
        const LONG ok = write ? database_->GetB(i, 0, nullptr, nullptr, &speed, nullptr)
                              : database_->GetA(i, 0, nullptr, nullptr, &speed, nullptr);
        if (ok && static_cast<LONG>(speed) == x) return x;
      }
      return CDR_SPEED_NONE;
    }
    // Try it and put the previous speed back.
    const LONG before = CurrentSpeed(write);
    const LONG took = SetSpeed(x, write);
    if (before > 0) SetSpeed(before, write);
    return took == x ? x : CDR_SPEED_NONE;
  }
  if (code <= 0) return CDR_SPEED_NONE;
  return SetSpeed(code, write);
}

// ---- Reading --------------------------------------------------------------------

namespace {

// The READ CD field selection that gives sectors of this type and size, or
// -1 when the pair cannot be read.
int ReadCdFieldsFor(LONG sectorType, LONG sectorSize) {
  constexpr int kHeader = cmd::kFieldHeader;
  constexpr int kSubheader = cmd::kFieldSubheader;
  constexpr int kAllHeaders = cmd::kFieldAllHeaders;
  constexpr int kUser = cmd::kFieldUserData;
  constexpr int kEdcEcc = cmd::kFieldEdcEcc;
  constexpr int kWhole = cmd::kFieldsWholeSector;
  switch (sectorType) {
    case CDR_READ_ANY:
    case CDR_TRACK_MODE1:
      switch (sectorSize) {
        case 4: return kHeader;
        case 2048: return kUser;
        case 2052: return kHeader | kUser;
        case 2336: return kUser | kEdcEcc;
        case 2352: return kWhole;
      }
      break;
    case CDR_TRACK_AUDIO:
      switch (sectorSize) {
        case 2352:
        case 2368:
        case 2448: return kWhole;
        case 2646: return kWhole | cmd::kFieldC2Errors;
      }
      break;
    case CDR_TRACK_MODE2:
      switch (sectorSize) {
        case 4: return kHeader;
        case 2336: return kUser;
        case 2340: return kHeader | kUser;
        case 2352: return kWhole;
      }
      break;
    case CDR_TRACK_MODE2_FORM1:
      switch (sectorSize) {
        case 4: return kHeader;
        case 2048: return kUser;
        case 2056: return kSubheader | kUser;
        case 2336: return kSubheader | kUser | kEdcEcc;
        case 2340: return kAllHeaders | kUser | kEdcEcc;
        case 2352: return kWhole;
      }
      break;
    case CDR_TRACK_MODE2_FORM2:
      switch (sectorSize) {
        case 4: return kHeader;
        case 2328: return kUser;
        case 2336: return kSubheader | kUser;
        case 2340: return kAllHeaders | kUser;
        case 2352: return kWhole;
      }
      break;
    default:
      break;
  }
  return -1;
}

}  // namespace

LONG MmcClass::ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
                      ComsSenseRecord* sense) {
  if (sectorType == CDR_READ_ISRC) {
    // The ISRC of track `start`.
    BYTE reply[24] = {};
    DWORD got = sizeof reply;
    if (!CmdRead(device_,
                 Cdb(cmd::kReadSubChannel)
                     .Set(cmd::kSubChannelFormat, cmd::kSubChannelIsrc)
                     .Set(cmd::kSubChannelTrack, static_cast<DWORD>(start))
                     .Length(sizeof reply),
                 reply, &got, sense)) {
      return CDR_FAILED;
    }
    std::memcpy(buffer, reply + 8, 16);
    return CDR_OK;
  }
  const int fields = ReadCdFieldsFor(sectorType, sectorSize);
  int subChannel = 0;
  if (sectorType == CDR_TRACK_AUDIO && sectorSize == 2368) subChannel = cmd::kReadCdQ;
  if (sectorType == CDR_TRACK_AUDIO && sectorSize == 2448) {
    subChannel = (caps_ & CDRF_RAWSUBCODE) ? cmd::kReadCdRawPW : cmd::kReadCdRW;
  }
  const bool vendorAudio = sectorType == CDR_TRACK_AUDIO && (quirks_ & MMCF_READCDDA_D8);
  if (fields < 0 && !(vendorAudio && sectorSize == 96)) return CDR_NOT_SUPPORTED;
  if (count < 0) return CDR_NOT_SUPPORTED;
  DWORD length = static_cast<DWORD>(count) * static_cast<DWORD>(sectorSize);
  const DWORD s = static_cast<DWORD>(start);
  const DWORD n = static_cast<DWORD>(count);
  bool ok;
  if (vendorAudio) {
    const cmd::ReadCdDaFormat format = sectorSize == 2352 ? cmd::kCdDa2352
                                     : sectorSize == 2368 ? cmd::kCdDa2368
                                     : sectorSize == 2448 ? cmd::kCdDa2448
                                     : sectorSize == 96   ? cmd::kCdDaSubcodeOnly
                                                          : cmd::kCdDa2646;
    ok = CmdRead(device_, Cdb(cmd::kReadCdDa).Set(cmd::kAddress, s).Length(n).Set(cmd::kReadCdDaFormat, format),
                 buffer, &length, sense);
  } else {
    ok = CmdRead(device_,
                 Cdb(cmd::kReadCd)
                     .Set(cmd::kExpectedSectorType, static_cast<DWORD>(sectorType))
                     .Set(cmd::kAddress, s)
                     .Length(n)
                     .Set(cmd::kReadCdFields, static_cast<DWORD>(fields))
                     .Set(cmd::kReadCdSubChannel, static_cast<DWORD>(subChannel)),
                 buffer, &length, sense);
  }
  if (!ok) return CDR_FAILED;
  if (sectorType == CDR_TRACK_AUDIO && sectorSize == 2368 && (vendorAudio || (quirks_ & MMCF_BCD2368))) {
    BYTE* b = static_cast<BYTE*>(buffer);
    for (LONG i = 0; i < count; ++i) {
      BYTE* q = b + static_cast<std::size_t>(i) * 2368 + 2352;
      for (int k : {1, 2, 3, 4, 5, 7, 8, 9}) q[k] = static_cast<BYTE>(BCDToBin(q[k]));
    }
  }
  readNext_ = start + count;
  readType_ = sectorType;
  readSize_ = sectorSize;
  return CDR_OK;
}

LONG MmcClass::ReadSectors(LONG count, void* buffer, ComsSenseRecord* sense) {
  return ReadCD(readNext_, count, buffer, readType_, readSize_, sense);
}

// ---- Blocking, tray, blanking ---------------------------------------------------------

// CDR_OK when the device took the blocking type, CDR_NOT_SUPPORTED for type
// 2 (which asks for nothing), CDR_FAILED when the device refused.
LONG MmcClass::SetBlocking(LONG type) {
  if (type == 2) return CDR_NOT_SUPPORTED;
  return COMS_GetTransportTable()->COMS_BlockDevice(device_, type) ? CDR_OK : CDR_FAILED;
}

namespace {
// The tray in (load) or out (eject); without wait the drive answers at once.
Cdb MoveTray(bool load, LONG wait) {
  return Cdb(cmd::kStartStopUnit).Set(cmd::kStartStopImmediate, wait ? 0 : 1).Set(cmd::kStart, load ? 1 : 0);
}
}  // namespace

LONG MmcClass::Eject(LONG wait) { return Cmd(device_, MoveTray(false, wait)) ? CDR_OK : CDR_FAILED; }
LONG MmcClass::Load(LONG wait) { return Cmd(device_, MoveTray(true, wait)) ? CDR_OK : CDR_FAILED; }
LONG MmcClass::LockDrive() {
  return Cmd(device_, Cdb(cmd::kPreventAllowMediumRemoval).Set(cmd::kPrevent, 1)) ? CDR_OK : CDR_FAILED;
}
LONG MmcClass::UnlockDrive() {
  return Cmd(device_, Cdb(cmd::kPreventAllowMediumRemoval).Set(cmd::kPrevent, 0)) ? CDR_OK : CDR_FAILED;
}

LONG MmcClass::BlankDisc(LONG full) {
  if (!(caps_ & CDRF_CDRW)) return CDR_NOT_SUPPORTED;
  ComsSenseRecord sense;
  if (!Cmd(device_, Cdb(cmd::kBlank).Set(cmd::kBlankingType, full ? cmd::kBlankDisc : cmd::kBlankMinimal), &sense)) {
    SetError("Blank failed", &sense);
    return CDR_FAILED;
  }
  return CDR_OK;
}

LONG MmcClass::IsIdle() {
  if (!(quirks_ & MMCF_LGERASE)) return StatusOfDrive() == CDR_STATUS_READY ? 1 : 0;
  BYTE info[32];
  DWORD got = sizeof info;
  ComsSenseRecord sense;
  if (CmdRead(device_, Cdb(cmd::kReadDiscInformation).Length(sizeof info), info, &got, &sense)) return 1;
  const DWORD code = SenseCode(sense);
  return (code == 0x020401 || code == 0x020404 || code == 0x020407 || code == 0x020408) ? 0 : 1;
}

// ---- Drive creation probes ------------------------------------------------------------

bool IsMmcDevice(LONG device) {
  Cmd(device, Cdb(cmd::kTestUnitReady));
  Cmd(device, Cdb(cmd::kTestUnitReady));
  BYTE page[32] = {};
  DWORD length = 0;
  const bool mmc = ModeSense10(device, cmd::kPageCapabilities, page, sizeof page, &length) && length >= 2 &&
                   (page[0] & 0x3F) == cmd::kPageCapabilities;
  ComsLogF(mmc ? "Device %ld is an MMC device." : "Device %ld not an MMC device.", static_cast<long>(device));
  return mmc;
}

bool IsDvdDevice(LONG device, int feature, const char* name) {
  Cmd(device, Cdb(cmd::kTestUnitReady));
  Cmd(device, Cdb(cmd::kTestUnitReady));
  BYTE page[32] = {};
  DWORD length = 0;
  bool yes = false;
  if (ModeSense10(device, cmd::kPageCapabilities, page, sizeof page, &length) && length >= 2 &&
      (page[0] & 0x3F) == cmd::kPageCapabilities) {
    BYTE d[64];
    DWORD dl = 0;
    yes = GetConfiguration(device, feature, d, sizeof d, &dl, nullptr) && dl >= 4;
  }
  ComsLogF(yes ? "Device %d is an %s device." : "Device %d not an %s device.", static_cast<int>(device), name);
  return yes;
}

}  // namespace discpak
