// Raw recording: the host builds every sector (sync, header, EDC/ECC,
// scrambling) and the P-W subcode, lead-in and lead-out included, from the
// session-at-once queue and layout.
#include <algorithm>
#include <cstring>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"
#include "disclib/recorder/RawQFormatter.h"
#include "disclib/recorder/SectorBuild.h"

namespace discpak {

namespace {

WORD QCrc(const BYTE* q) {
  WORD crc = 0;
  for (int i = 0; i < 10; ++i) {
    crc ^= static_cast<WORD>(q[i] << 8);
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? static_cast<WORD>((crc << 1) ^ 0x1021) : static_cast<WORD>(crc << 1);
  }
  return static_cast<WORD>(~crc);
}

void PutMsf(BYTE* at, LONG frames) {
  // A plain frame count (running or relative time) as BCD minutes, seconds, frames.
  if (frames < 0) frames = 0;
  at[0] = BinToBCD(frames / 4500);
  at[1] = BinToBCD(frames / 75 % 60);
  at[2] = BinToBCD(frames % 75);
}

// The ECMA-130 scrambler sequence over bytes 12-2351.
const BYTE* Scrambler() {
  static BYTE table[2340];
  static const bool built = [] {
    unsigned reg = 1;
    for (BYTE& b : table) {
      BYTE v = 0;
      for (int bit = 0; bit < 8; ++bit) {
        v |= static_cast<BYTE>((reg & 1u) << bit);
        const unsigned feedback = (reg ^ (reg >> 1)) & 1u;
        reg = (reg >> 1) | (feedback << 14);
      }
      b = v;
    }
    return true;
  }();
  (void)built;
  return table;
}

}  // namespace

bool RawQFormatter::Build(const std::vector<CDRLayoutEntry>& entries, LONG leadInStart, int format,
                          const BYTE* cdText) {
  leadInStart_ = leadInStart;
  toc_.clear();
  program_.clear();
  cdText_.clear();
  firstTrack_ = 100;
  lastTrack_ = 0;
  bool leadOut = false;
  for (std::size_t i = 0; i < entries.size() && i < 10000; ++i) {
    const CDRLayoutEntry& e = entries[i];
    if (e.kind == CDRLAYOUT_LEADOUT) {
      leadOut_ = e.start;
      leadOut = true;
      break;
    }
    if (e.kind != CDRLAYOUT_INDEX) continue;
    const int ctlAdr = e.dataType == CDR_TRACK_AUDIO ? 0x01 : 0x41;
    program_.push_back({ctlAdr, static_cast<int>(e.track), static_cast<int>(e.index), e.start});
    firstTrack_ = std::min(firstTrack_, static_cast<int>(e.track));
    if (e.track >= lastTrack_) {
      lastTrack_ = static_cast<int>(e.track);
      lastCtlAdr_ = ctlAdr;
    }
  }
  if (!leadOut || program_.empty()) return false;
  auto entry = [&](int ctlAdr, int point, BYTE m, BYTE s, BYTE f) {
    std::array<BYTE, 12> q{};
    q[0] = static_cast<BYTE>(ctlAdr);
    q[1] = 0;
    q[2] = static_cast<BYTE>(point);
    q[7] = m;
    q[8] = s;
    q[9] = f;
    toc_.push_back(q);
  };
  int firstCtl = program_.front().ctlAdr;
  for (const Index& x : program_) {
    if (x.track == firstTrack_) {
      firstCtl = x.ctlAdr;
      break;
    }
  }
  entry(firstCtl, 0xA0, BinToBCD(firstTrack_), static_cast<BYTE>(format), 0);
  entry(lastCtlAdr_, 0xA1, BinToBCD(lastTrack_), 0, 0);
  BYTE msf[3];
  LBAToMSFBCD(leadOut_, msf);
  entry(lastCtlAdr_, 0xA2, msf[0], msf[1], msf[2]);
  for (const Index& x : program_) {
    if (x.index != 1) continue;
    LBAToMSFBCD(x.start, msf);
    entry(x.ctlAdr, BinToBCD(x.track), msf[0], msf[1], msf[2]);
  }
  if (cdText) {
    WORD length;
    std::memcpy(&length, cdText, 2);
    const std::size_t cooked = std::min<std::size_t>(length >= 2 ? length - 2u : 0u, 8192);
    if (cooked >= 3) {
      for (std::size_t i = 0; i + 3 <= cooked; i += 3) {
        const BYTE* p = cdText + 4 + i;
        cdText_.push_back(static_cast<BYTE>(p[0] >> 2));
        cdText_.push_back(static_cast<BYTE>(((p[0] & 0x03) << 4) | (p[1] >> 4)));
        cdText_.push_back(static_cast<BYTE>(((p[1] & 0x0F) << 2) | (p[2] >> 6)));
        cdText_.push_back(static_cast<BYTE>(p[2] & 0x3F));
      }
      ComsLogF("CDTEXT cooked %d raw %ld bytes", static_cast<int>(cooked), static_cast<long>(cdText_.size()));
    }
  }
  return true;
}

void RawQFormatter::Q(LONG address, BYTE q[12], bool* p) const {
  std::memset(q, 0, 12);
  *p = false;
  if (address < -150) {
    // Lead-in: each entry of the table of contents on three sectors in turn.
    const LONG rel = address - leadInStart_;
    const std::array<BYTE, 12>& e = toc_[static_cast<std::size_t>(rel / 3) % toc_.size()];
    std::memcpy(q, e.data(), 12);
    PutMsf(q + 3, rel);
    q[6] = 0;
  } else if (address >= leadOut_) {
    const LONG rel = address - leadOut_;
    q[0] = static_cast<BYTE>(lastCtlAdr_);
    q[1] = 0xAA;
    q[2] = 0x01;
    PutMsf(q + 3, rel);
    LBAToMSFBCD(address, q + 7);
    *p = rel >= 150 && rel % 75 < 38;
  } else {
    std::size_t at = 0;
    for (std::size_t i = 0; i < program_.size(); ++i) {
      if (program_[i].start <= address) at = i;
    }
    const Index& x = program_[at];
    q[0] = static_cast<BYTE>(x.ctlAdr);
    q[1] = BinToBCD(x.track);
    q[2] = BinToBCD(x.index);
    if (x.index == 0) {
      // The pause counts down to the next index.
      const LONG next = at + 1 < program_.size() ? program_[at + 1].start : leadOut_;
      PutMsf(q + 3, next - address);
      *p = x.track == firstTrack_;
    } else {
      // The track's running time counts from its index 1, through later indexes.
      LONG start = x.start;
      for (const Index& y : program_) {
        if (y.track == x.track && y.index == 1) start = y.start;
      }
      PutMsf(q + 3, address - start);
    }
    if (x.track == lastTrack_ && leadOut_ - address <= 225) *p = true;
    LBAToMSFBCD(address, q + 7);
  }
  const WORD crc = QCrc(q);
  q[10] = static_cast<BYTE>(crc >> 8);
  q[11] = static_cast<BYTE>(crc);
}

void RawQFormatter::Subcode96(LONG address, BYTE out[96]) const {
  BYTE q[12];
  bool p = false;
  Q(address, q, &p);
  const bool leadIn = address < -150;
  for (int i = 0; i < 96; ++i) {
    BYTE b = static_cast<BYTE>((p ? 0x80 : 0) | (((q[i / 8] >> (7 - i % 8)) & 1) << 6));
    if (leadIn && !cdText_.empty()) {
      const std::size_t position =
          (static_cast<std::size_t>(address - leadInStart_) * 96 + static_cast<std::size_t>(i)) % cdText_.size();
      b |= cdText_[position] & 0x3F;
    }
    out[i] = b;
  }
}

void MmcClass::DoRAWWrite() {
  WriteParametersPage::DataBlockType blockType = WriteParametersPage::kBlockRawPQ;
  if (quirks_ & MMCF_WRITERAW3) {
    COMS_Log("USING P-W (ALL SUBCODE//CDTEXT) RAW WRITE MODE");
    blockType = WriteParametersPage::kBlockRawPW;
  } else {
    ClearError();
    COMS_Log("USING P and Q only RAW WRITE MODE");
  }
  const LONG leaveOpen = layout_->LeaveOpen();
  const LONG format = layout_->SessionFormat();
  if (!SetRAWWriteMode(saoFlags_, leaveOpen, format, blockType)) {
    writerFailed_ = true;
    return;
  }
  BYTE info[32];
  if (DoReadDiscInfo(info) != CDR_OK) {
    SetError("Error reading disc information.", nullptr);
    writerFailed_ = true;
    return;
  }
  const LONG leadInStart = MSFToLBA(info[17], info[18], info[19]);
  COMS_Log("DoRAWWrite: Waiting for queue to fill");
  queue_->WaitFull([this] { return finishRequested_.load(); });

  std::vector<BYTE> text(8196, 0);
  const BYTE* cdText = nullptr;
  if (caps_ & CDRF_WRITECDTEXT) {
    layout_->GetCDText(text.data());
    WORD length;
    std::memcpy(&length, text.data(), 2);
    if (length >= 3 + 2) cdText = text.data();
  }
  RawQFormatter formatter;
  if (!formatter.Build(entries_, leadInStart, static_cast<int>(format), blockType == WriteParametersPage::kBlockRawPW ? cdText : nullptr)) {
    SetError("Error setting leadout cueline", nullptr);
    writerFailed_ = true;
    return;
  }
  const DWORD size = blockType == WriteParametersPage::kBlockRawPW ? 2448 : 2368;
  std::vector<BYTE> out(16 * size);
  auto subcode = [&](LONG address, BYTE* at) {
    if (blockType == WriteParametersPage::kBlockRawPW) {
      formatter.Subcode96(address, at);
    } else {
      BYTE q[12];
      bool p = false;
      formatter.Q(address, q, &p);
      std::memcpy(at, q, 12);
      std::memset(at + 12, 0, 4);
      at[15] = p ? 0x80 : 0;
    }
  };
  // Lead-in: empty main data under the table of contents.
  LONG address = leadInStart;
  while (address < -150) {
    const LONG n = std::min<LONG>(16, -150 - address);
    std::memset(out.data(), 0, out.size());
    for (LONG k = 0; k < n; ++k) subcode(address + k, out.data() + static_cast<std::size_t>(k) * size + 2352);
    if (!SectorWrite(address, n, out.data(), size)) {
      COMS_Log("DoRAWWrite: Aborted write failure");
      writerFailed_ = true;
      return;
    }
    address += n;
  }
  // Program area: the queued sectors, built whole and scrambled.
  const BYTE* scrambler = Scrambler();
  for (;;) {
    LONG n = 0;
    while (n < 16) {
      CDRQueueEntry* e = queue_->Front();
      if (!e) {
        if (n > 0) break;
        if (!queue_->WaitNotEmpty([this] { return finishRequested_.load(); })) break;
        continue;
      }
      BYTE* s = out.data() + static_cast<std::size_t>(n) * size;
      const LONG at = address + n;
      const LONG type = static_cast<LONG>(e->word3);
      std::memcpy(s, e->data, 2352);
      queue_->Release(e);
      if (type != CDR_TRACK_AUDIO) {
        CompleteDataSector(s, at, type);
        for (int i = 0; i < 2340; ++i) s[12 + i] ^= scrambler[i];
      }
      subcode(at, s + 2352);
      ++n;
    }
    if (n == 0) break;
    if (!SectorWrite(address, n, out.data(), size)) {
      COMS_Log("DoRAWWrite: Aborted write failure");
      writerFailed_ = true;
      return;
    }
    address += n;
  }
  if (address != formatter.LeadOut()) {
    SetError("Write failed: the sectors of the session do not end at its lead-out", nullptr);
    writerFailed_ = true;
    return;
  }
  // Lead-out: 90 seconds.
  if (!ErrorLatched()) {
    const LONG end = formatter.LeadOut() + 6750;
    while (address < end) {
      const LONG n = std::min<LONG>(16, end - address);
      std::memset(out.data(), 0, out.size());
      for (LONG k = 0; k < n; ++k) subcode(address + k, out.data() + static_cast<std::size_t>(k) * size + 2352);
      if (!SectorWrite(address, n, out.data(), size)) {
        COMS_Log("DoRAWWrite: Aborted write failure");
        writerFailed_ = true;
        return;
      }
      address += n;
    }
  }
  if (!CacheFlush()) {
    COMS_Log("DoRAWWrite: Aborted flush failure");
    writerFailed_ = true;
    return;
  }
  COMS_Log("DoRAWWrite: Finished");
}

}  // namespace discpak
