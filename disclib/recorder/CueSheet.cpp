#include "disclib/recorder/CueSheet.h"

#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

namespace {

void AddLine(std::vector<BYTE>* lines, int ctlAdr, int track, int index, int form, LONG address) {
  BYTE msf[3];
  LBAToMSF(address, msf);
  const BYTE line[8] = {static_cast<BYTE>(ctlAdr), static_cast<BYTE>(track), static_cast<BYTE>(index),
                        static_cast<BYTE>(form),   0,                        msf[0],
                        msf[1],                    msf[2]};
  ComsLogF("CueLine: %02x %02x %02x %02x %02x %02x %02x %02x", line[0], line[1], line[2], line[3], line[4], line[5],
           line[6], line[7]);
  lines->insert(lines->end(), line, line + 8);
}

bool Fail(CueSheetResult* r, const char* text) {
  r->error = text;
  COMS_Log(text);
  return false;
}

}  // namespace

bool CreateSAOCueSheet(const std::vector<CDRLayoutEntry>& entries, DWORD quirks, int audioForm, bool cdText,
                       CueSheetResult* r) {
  *r = CueSheetResult{};
  const bool kv4700 = (quirks & MMCF_KV4700CUE) != 0;
  const bool simple = (quirks & MMCF_SIMPLECUE) != 0;
  const bool force150 = (quirks & MMCF_FORCE150GAP) != 0;

  // The entries as written: a short pause is stretched to 150 sectors.
  std::vector<CDRLayoutEntry> e = entries;
  if (force150) {
    for (std::size_t i = 0; i + 1 < e.size(); ++i) {
      if (e[i].kind != CDRLAYOUT_INDEX || e[i].index != 0) continue;
      const LONG gap = e[i + 1].start - e[i].start;
      if (gap >= 150 || gap < 0) continue;
      const LONG extra = 150 - gap;
      r->pauses.push_back({e[i].start + gap, extra, e[i].dataType});
      for (std::size_t k = i + 1; k < e.size(); ++k) e[k].start += extra;
    }
  }

  LONG firstType = -1;
  for (const auto& x : e) {
    if (x.kind == CDRLAYOUT_INDEX) {
      firstType = x.dataType;
      break;
    }
    if (x.kind != CDRLAYOUT_LEADOUT) break;
  }
  if (!e.empty() && e.front().kind == CDRLAYOUT_UPC) return Fail(r, "UPC not supported by SAO cue sheet");
  if (!e.empty() && e.front().kind == CDRLAYOUT_MCN) return Fail(r, "MCN not supported by SAO cue sheet");

  int leadInForm = cdText ? 0x41 : 0x01;
  if (kv4700) {
    COMS_Log("CreateSAOCueSheet: Kv 4750 handling");
    leadInForm = firstType == CDR_TRACK_MODE1 ? 0x14 : 0x24;
  }
  AddLine(&r->lines, firstType == CDR_TRACK_AUDIO ? 0x01 : 0x41, 0, 0, leadInForm, -150);

  int lastCtl = 0x01, lastForm = 0x01;
  bool leadOut = false;
  for (const auto& x : e) {
    if (x.kind == CDRLAYOUT_LEADOUT) {
      int form = 0x01;
      if (kv4700) {
        if (lastForm >= 0x10 && lastForm <= 0x1F) form = 0x14;
        else if (lastForm >= 0x20 && lastForm <= 0x2F) form = 0x24;
        else if (lastForm >= 0x30 && lastForm <= 0x3F) form = 0x34;
      }
      AddLine(&r->lines, lastCtl, 0xAA, 1, form, x.start);
      leadOut = true;
      break;
    }
    if (x.kind == CDRLAYOUT_UPC) return Fail(r, "UPC not supported by SAO cue sheet");
    if (x.kind == CDRLAYOUT_MCN) return Fail(r, "MCN not supported by SAO cue sheet");
    if (x.kind != CDRLAYOUT_INDEX) return Fail(r, "Unknown entrytype in SAO cue sheet");
    int ctl = 0, form = 0;
    switch (x.dataType) {
      case CDR_TRACK_AUDIO:
        ctl = 0x01;
        form = audioForm;
        break;
      case CDR_TRACK_MODE1:
        ctl = 0x41;
        form = simple ? 0x10 : 0x11;
        break;
      case CDR_TRACK_MODE2_FORM1:
      case CDR_TRACK_MODE2_FORM2:
        ctl = 0x41;
        form = simple ? 0x20 : 0x21;
        break;
      default:
        return Fail(r, "Unknown track data type in SAO cue");
    }
    if (r->lines.size() / 8 >= 999) return Fail(r, "Maximum number of cue lines exceeded");
    AddLine(&r->lines, ctl, x.track, x.index, form, x.start);
    r->entries.push_back(x);
    r->forms.push_back(form);
    lastCtl = ctl;
    lastForm = form;
  }
  if (!leadOut) return Fail(r, "Error setting leadout cueline");
  for (const auto& x : e) {
    if (x.kind == CDRLAYOUT_LEADOUT) {
      r->entries.push_back(x);
      break;
    }
  }
  return true;
}

}  // namespace discpak
