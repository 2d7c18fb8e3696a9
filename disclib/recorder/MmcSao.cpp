// Session-at-once recording of MmcClass: the caller describes the session
// up front (I_CDRSessionLayout), fills the sector queue with WriteSAO, and
// MmcSaoStartThread sends the cue sheet, the CD-TEXT lead-in and then the
// sectors in address order. Drives that cannot do it, or when raw writing is
// forced, get the raw writer (MmcRaw.cpp) from the same queue and layout.
#include <algorithm>
#include <cstring>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"
#include "disclib/recorder/CueSheet.h"
#include "disclib/recorder/SectorBuild.h"

namespace discpak {

namespace {

constexpr DWORD kRecord = 2448;

// Main data bytes the drive takes per sector for a cue data form (0 when
// the form is not one the writer sends), R-W subcode not counted.
int MainSize(int form) {
  switch (form & 0x3F) {
    case 0x00: return 2352;
    case 0x10: return 2048;
    case 0x11: return 2352;
    case 0x20: return 2336;
    case 0x21: return 2352;
    default: return 0;
  }
}

bool IsAudio(LONG type) { return type == CDR_TRACK_AUDIO; }

}  // namespace

LONG MmcClass::StartSAO(I_CDRSessionLayout* layout, LONG flags) {
  COMS_Log("StartSAO");
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return CDR_FAILED;
  }
  ClearError();
  const CDRLayoutEntry* first = layout ? layout->GetEntry(0) : nullptr;
  if (!first) {
    SetError("Error starting SAO mode.", nullptr);
    return CDR_FAILED;
  }
  DWORD entries = 2048;
  if (flags & CDR_NOBUF) {
    COMS_Log("StartTAO: CDR_NOBUF flag disabled internal buffer");
    entries = 32;
  }
  try {
    queue_ = std::make_unique<CDRQueueClass>(entries, kRecord);
  } catch (long) {
    SetError("Out of memory.", nullptr);
    return CDR_FAILED;
  }
  layout_ = layout;
  saoFlags_ = flags;
  nextQueue_ = current_ = first->start;
  finishRequested_ = false;
  writerDone_ = false;
  writerFailed_ = false;
  writeState_ = 2;
  AddDiscInfoToDebugLog();
  writer_ = std::thread([this] { MmcSaoStartThread(); });
  return CDR_OK;
}

LONG MmcClass::WriteSAO(LONG trackType, LONG sectorSize, LONG count, const void* data) {
  if (writeState_ != 2 || writerDone_) return CDR_FAILED;
  const bool ok = (trackType == CDR_TRACK_AUDIO && (sectorSize == 2352 || sectorSize == 2448)) ||
                  (trackType == CDR_TRACK_MODE1 && sectorSize == 2048) ||
                  (trackType == CDR_TRACK_MODE2_FORM1 && sectorSize == 2056) ||
                  (trackType == CDR_TRACK_MODE2_FORM2 && sectorSize == 2352);
  if (!ok) return CDR_FAILED;
  const BYTE* p = static_cast<const BYTE*>(data);
  BYTE record[kRecord];
  for (LONG i = 0; i < count; ++i) {
    std::memset(record, 0, sizeof record);
    const BYTE* in = p + static_cast<std::size_t>(i) * sectorSize;
    if (trackType == CDR_TRACK_MODE1 || trackType == CDR_TRACK_MODE2_FORM1) {
      // User data after room for sync and header; the host completes the
      // sector here, since the drive takes these sectors whole.
      std::memcpy(record + 16, in, sectorSize);
      CompleteDataSector(record, nextQueue_, trackType);
    } else {
      std::memcpy(record, in, sectorSize);
    }
    const DWORD length = sectorSize == 2448 ? 2448 : 2352;
    for (;;) {
      const LONG put = queue_->Put(0, static_cast<DWORD>(nextQueue_), static_cast<DWORD>(trackType), length, record);
      if (put == CDRQ_PUT_STORED) break;
      if (put == CDRQ_PUT_TOO_LONG) return CDR_FAILED;
      if (!queue_->WaitNotFull([this] { return writerDone_.load(); })) return CDR_FAILED;
    }
    ++nextQueue_;
  }
  return CDR_OK;
}

LONG MmcClass::FinishSAO() {
  COMS_Log("Finish SAO called.");
  if (writeState_ != 2) return CDR_FAILED;
  StopWriter();
  writeState_ = 0;
  queue_.reset();
  layout_ = nullptr;
  return writerFailed_ ? CDR_FAILED : CDR_OK;
}

void MmcClass::MmcSaoStartThread() {
  COMS_Log("Disc/Session-at-once thread started.");
  try {
    DoSAOWrite();
    if (!CacheFlush()) writerFailed_ = true;
  } catch (...) {
    COMS_Log("MmcSaoStartThread caught exception!");
    writerFailed_ = true;
    CacheFlush();
  }
  writerDone_ = true;
  queue_->Wake();
}

void MmcClass::DoSAOWrite() {
  entries_.clear();
  for (LONG i = 0; i < 10000; ++i) {
    const CDRLayoutEntry* e = layout_->GetEntry(i);
    if (!e) break;
    entries_.push_back(*e);
  }
  const LONG leaveOpen = layout_->LeaveOpen();
  const LONG format = layout_->SessionFormat();
  if ((saoFlags_ & CDR_FORCERAW) || (quirks_ & MMCF_FORCERAW) || !(caps_ & CDRF_WRITESAO)) {
    COMS_Log("DoSAOWrite: No CDRF_WRITESAO or CDR_FORCERAW/MMCF_FORCERAW set.");
    if (!SetRAWWriteMode(saoFlags_, leaveOpen, format, WriteParametersPage::kBlockRawPQ) &&
        !SetRAWWriteMode(saoFlags_, leaveOpen, format, WriteParametersPage::kBlockRawPW)) {
      writerFailed_ = true;
      return;
    }
    DoRAWWrite();
    return;
  }
  if (!SetSAOWriteMode(saoFlags_, leaveOpen, format)) {
    if (!SetRAWWriteMode(saoFlags_, leaveOpen, format, WriteParametersPage::kBlockRawPQ) &&
        !SetRAWWriteMode(saoFlags_, leaveOpen, format, WriteParametersPage::kBlockRawPW)) {
      writerFailed_ = true;
      return;
    }
    ClearError();
    DoRAWWrite();
    return;
  }
  COMS_Log("DoSAOWrite: Waiting for queue to fill");
  queue_->WaitFull([this] { return finishRequested_.load(); });

  const int audioForm = (saoFlags_ & CDR_RWRAW) ? 0xC0 : (saoFlags_ & CDR_RWPACKED) ? 0x40 : 0x00;
  if (!SendCueSheetStep(audioForm)) {
    ComsLogF("MMCFLAGS == %0lx", static_cast<unsigned long>(quirks_));
    struct Variant {
      DWORD bits;
      const char* text;
    } variants[] = {
        {MMCF_SIMPLECUE, "DoSAOWrite: Enabling MMCF_SIMPLECUE"},
        {MMCF_KV4700CUE, "DoSAOWrite: Enabling MMCF_KV4700CUE"},
        {MMCF_FORCE150GAP, "DoSAOWrite: Enabling MMCF_FORCE150GAP"},
        {MMCF_SIMPLECUE | MMCF_FORCE150GAP, "DoSAOWrite: Enabling MMCF_SIMPLECUE|MMCF_FORCE150GAP"},
        {MMCF_SIMPLECUE | MMCF_KV4700CUE, "DoSAOWrite: Enabling MMCF_SIMPLECUE|MMCF_KV4700CUE"},
        {MMCF_FORCE150GAP | MMCF_KV4700CUE, "DoSAOWrite: Enabling MMCF_FORCE150GAP|MMCF_KV4700CUE"},
        {MMCF_SIMPLECUE | MMCF_FORCE150GAP | MMCF_KV4700CUE, "DoSAOWrite: Enabling ALL"},
    };
    bool sent = false;
    for (const Variant& v : variants) {
      if ((quirks_ & v.bits) == v.bits) continue;
      COMS_Log(v.text);
      quirks_ |= v.bits;
      if (SendCueSheetStep(audioForm)) {
        sent = true;
        ClearError();  // the variant worked: the refusals before it are no failure
        break;
      }
    }
    if (!sent) {
      COMS_Log("DoSAOWrite: Could not generate valid cue sheet");
      writerFailed_ = true;
      return;
    }
  }
  for (std::size_t i = 0; i + 1 < written_.size(); ++i) {
    if (!DoSAOWriteProcessTrack(i)) {
      writerFailed_ = true;
      return;
    }
  }
  if (CacheFlush()) {
    COMS_Log("DoSAOWrite: Finished");
  } else {
    COMS_Log("DoSAOWrite: Aborted flush failure");
    writerFailed_ = true;
  }
}

// Cue sheet and CD-TEXT; true when the drive took the cue sheet (and the
// CD-TEXT lead-in, when there is one).
bool MmcClass::SendCueSheetStep(int audioForm) {
  std::vector<BYTE> text(8196, 0);
  bool cdText = false;
  ComsSenseRecord cueSense = {};
  if (caps_ & CDRF_WRITECDTEXT) {
    layout_->GetCDText(text.data());
    WORD length;
    std::memcpy(&length, text.data(), 2);
    if (length > 2) {
      COMS_Log("DoSAOWrite: CDTEXT present");
      cdText = true;
      if (!(caps_ & CDRF_CDTEXT)) {
        COMS_Log("DoSAOWrite: CDTEXT not supported by dest drive");
        cdText = false;
      }
    }
  }
  auto send = [&](bool withText) {
    COMS_Log("DoSAOWrite: Creating/sending cue sheet");
    CueSheetResult cue;
    if (!CreateSAOCueSheet(entries_, quirks_, audioForm, withText, &cue)) return false;
    const DWORD n = static_cast<DWORD>(cue.lines.size());
    if (!CmdWrite(device_, Cdb(cmd::kSendCueSheet).Length(n), cue.lines.data(), n, &cueSense)) {
      return false;
    }
    written_ = cue.entries;
    forms_ = cue.forms;
    pauses_.clear();
    for (const auto& p : cue.pauses) pauses_.push_back({p.at, p.count, p.dataType});
    return true;
  };
  bool sent = send(cdText);
  if (sent && cdText && !SendSAOCDText(text.data())) {
    CacheFlush();
    sent = false;
  }
  if (!sent && cdText) {
    COMS_Log("DoSAOWrite: trying non-cdtext cue sheet");
    cdText = false;
    ClearError();
    sent = send(false);
  }
  if (!sent) {
    COMS_Log("DoSAOWrite: Error creating/sending cue sheet");
    SetError("Error starting SAO mode.", cueSense.status ? &cueSense : nullptr);
  }
  return sent;
}

bool MmcClass::SendSAOCDText(const BYTE* record) {
  WORD length;
  std::memcpy(&length, record, 2);
  const std::size_t cooked = std::min<std::size_t>(length >= 2 ? length - 2u : 0u, 8192);
  // Every 3 bytes of packs become four 6-bit R-W symbols.
  std::vector<BYTE> raw;
  raw.reserve(128 * 1024);
  for (std::size_t i = 0; i + 3 <= cooked && raw.size() + 4 <= 128 * 1024; i += 3) {
    const BYTE* p = record + 4 + i;
    raw.push_back(static_cast<BYTE>(p[0] >> 2));
    raw.push_back(static_cast<BYTE>(((p[0] & 0x03) << 4) | (p[1] >> 4)));
    raw.push_back(static_cast<BYTE>(((p[1] & 0x0F) << 2) | (p[2] >> 6)));
    raw.push_back(static_cast<BYTE>(p[2] & 0x3F));
  }
  ComsLogF("SendSAOCDText: cooked data %d raw data %ld", static_cast<int>(cooked), static_cast<long>(raw.size()));
  if (raw.empty()) return false;
  BYTE atip[32];
  if (DoReadATIP(atip) != CDR_OK) {
    SetError("Error reading ATIP.", nullptr);
    return false;
  }
  const LONG start = (atip[8] * 60 + atip[9]) * 75 + atip[10] - 450150;
  ComsLogF("SendSAOCDText: lead-in start %ld", static_cast<long>(start));
  if (start < -450149 || start > -151) return false;
  std::vector<BYTE> blocks(150 * 96);
  std::size_t position = 0;
  for (LONG address = start; address < -150;) {
    const LONG n = std::min<LONG>(150, -150 - address);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) * 96; ++i) {
      blocks[i] = raw[position];
      position = (position + 1) % raw.size();
    }
    if (!SectorWrite(address, n, blocks.data(), 96)) return false;
    address += n;
  }
  return true;
}

bool MmcClass::DoSAOWriteProcessTrack(std::size_t index) {
  const CDRLayoutEntry& e = written_[index];
  const LONG last = written_[index + 1].start - 1;
  ComsLogF("DoSAOWriteProcessTrack: track %d index %d start %ld last %d", static_cast<int>(e.track),
           static_cast<int>(e.index), static_cast<long>(e.start), static_cast<int>(last));
  std::vector<BYTE> batch(16 * kRecord);
  std::vector<int> forms(16, forms_[index]);
  current_ = std::max(current_, e.start);
  while (current_ <= last) {
    const LONG n = std::min<LONG>(16, last - current_ + 1);
    for (LONG k = 0; k < n; ++k) {
      BYTE* out = batch.data() + static_cast<std::size_t>(k) * kRecord;
      const LONG address = current_ + k;
      bool paused = false;
      for (const Pause& p : pauses_) paused = paused || (address >= p.at && address < p.at + p.count);
      if (paused) {
        std::memset(out, 0, kRecord);
        EmptySector(out, address, e.dataType);
        continue;
      }
      CDRQueueEntry* q = queue_->Front();
      while (!q) {
        if (!queue_->WaitNotEmpty([this] { return finishRequested_.load(); })) {
          SetError("Write failed: the sectors of the session ended early", nullptr);
          return false;
        }
        q = queue_->Front();
      }
      if (IsAudio(static_cast<LONG>(q->word3)) != IsAudio(e.dataType)) {
        COMS_Log("DoSAOWrite: sector type does not match its track");
        queue_->Release(q);
        SetError("Write failed: a sector does not match its track's type", nullptr);
        return false;
      }
      std::memset(out, 0, kRecord);
      std::memcpy(out, q->data, std::max<DWORD>(2352, q->length));
      queue_->Release(q);
      if (!IsAudio(e.dataType)) {
        // The address the sector is written at (after any inserted pause).
        if (e.dataType != CDR_TRACK_MODE2_FORM2) CompleteDataSector(out, address, e.dataType);
        else LBAToMSFBCD(address, out + 12);
      }
    }
    if (!SaoWrite(current_, n, batch.data(), forms.data())) {
      COMS_Log("DoSAOWrite: Aborted write failure");
      return false;
    }
    current_ += n;
  }
  return true;
}

// Sends queued records in the shape the cue sheet announced for them.
bool MmcClass::SaoWrite(LONG address, LONG count, const BYTE* records, const int* forms) {
  const int form = forms[0];
  const int main = MainSize(form);
  if (!main) {
    COMS_Log("SaoWrite: UNSUPPORTED DATA TYPE");
    return false;
  }
  const bool sub = (form & 0xC0) != 0 && (form & 0x3F) == 0;
  const DWORD size = static_cast<DWORD>(main + (sub ? 96 : 0));
  const int offset = main == 2352 ? 0 : 16;
  std::vector<BYTE> out(static_cast<std::size_t>(count) * size);
  for (LONG i = 0; i < count; ++i) {
    const BYTE* in = records + static_cast<std::size_t>(i) * kRecord;
    BYTE* o = out.data() + static_cast<std::size_t>(i) * size;
    std::memcpy(o, in + offset, main);
    if (sub) std::memcpy(o + main, in + 2352, 96);
  }
  return SectorWrite(address, count, out.data(), size);
}

}  // namespace discpak
