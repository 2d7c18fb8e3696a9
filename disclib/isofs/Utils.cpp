// Record fillers, dates and volume descriptors.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "disclib/isofs/Records_p.h"
#include "platform/base/Text.h"

namespace isofs {

namespace rec {

bool IsNoDate(const SYSTEMTIME* t) { return !t || (t->wYear == 0 && t->wMonth == 0 && t->wDay == 0); }

int LocalOffsetQuarterHours(const SYSTEMTIME& t) {
  std::tm tm{};
  tm.tm_year = t.wYear - 1900;
  tm.tm_mon = std::max(0, t.wMonth - 1);
  tm.tm_mday = std::max<int>(1, t.wDay);
  tm.tm_hour = t.wHour;
  tm.tm_min = t.wMinute;
  tm.tm_sec = t.wSecond;
  tm.tm_isdst = -1;  // let the zone rules say whether daylight saving applies
  const std::time_t when = std::mktime(&tm);
  if (when == static_cast<std::time_t>(-1)) return 0;
  std::tm local{};
  if (!localtime_r(&when, &local)) return 0;
  const long quarters = local.tm_gmtoff / 900;
  return static_cast<int>(std::clamp(quarters, -48L, 52L));
}

void PutDate7(BYTE* p, const SYSTEMTIME* t) {
  if (IsNoDate(t)) {
    std::memset(p, 0, 7);
    return;
  }
  p[0] = t->wYear >= 10000 ? 147 : static_cast<BYTE>(t->wYear - 1900);
  p[1] = t->wMonth > 12 ? 255 : static_cast<BYTE>(t->wMonth);
  p[2] = t->wDay > 31 ? 255 : static_cast<BYTE>(t->wDay);
  p[3] = t->wHour > 24 ? 255 : static_cast<BYTE>(t->wHour);
  p[4] = t->wMinute > 59 ? 255 : static_cast<BYTE>(t->wMinute);
  p[5] = t->wSecond > 59 ? 255 : static_cast<BYTE>(t->wSecond);
  p[6] = static_cast<BYTE>(static_cast<signed char>(LocalOffsetQuarterHours(*t)));
}

void PutUnsetDate17(BYTE* p) {
  std::memset(p, '0', 16);
  p[16] = 0;
}

void PutDate17(BYTE* p, const SYSTEMTIME* t) {
  if (IsNoDate(t)) {
    PutUnsetDate17(p);
    return;
  }
  auto clamp2 = [](int v, int max) { return v > max ? 99 : v; };
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%02d",
                t->wYear >= 10000 ? 9999 : t->wYear, clamp2(t->wMonth, 12), clamp2(t->wDay, 31),
                clamp2(t->wHour, 24), clamp2(t->wMinute, 59), clamp2(t->wSecond, 59), 0);
  std::memcpy(p, buf, 16);
  p[16] = static_cast<BYTE>(static_cast<signed char>(LocalOffsetQuarterHours(*t)));
}

SYSTEMTIME GetDate17(const BYTE* p) {
  auto num = [p](int off, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
      const char c = static_cast<char>(p[off + i]);
      v = v * 10 + ((c >= '0' && c <= '9') ? c - '0' : 0);
    }
    return static_cast<WORD>(v);
  };
  SYSTEMTIME t{};
  t.wYear = num(0, 4);
  t.wMonth = num(4, 2);
  t.wDay = num(6, 2);
  t.wHour = num(8, 2);
  t.wMinute = num(10, 2);
  t.wSecond = num(12, 2);
  return t;
}

void PutXAField(BYTE* p, WORD groupId, WORD userId, WORD attributes, BYTE fileNumber) {
  std::memset(p, 0, kXAFieldSize);
  PutBE16(p, groupId);
  PutBE16(p + 2, userId);
  PutBE16(p + 4, attributes);
  p[6] = 'X';
  p[7] = 'A';
  p[8] = fileNumber;
}

}  // namespace rec

bool IsDCharacters(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

namespace {
void CheckDir(const BYTE* record, const char* function) {
  if (!record) {
    ThrowTrel<E_NullPointer>(function, "Utils", __LINE__, "Null pointer to target directory structure");
  }
}
void CheckPath(const BYTE* record, const char* function) {
  if (!record) {
    ThrowTrel<E_NullPointer>(function, "Utils", __LINE__, "Null pointer to target path table structure");
  }
}
}  // namespace

void ISO_Dir_InitDir(BYTE* record) {
  CheckDir(record, "ISO_Dir_InitDir");
  std::memset(record, 0, 33);
  rec::PutBoth16(record + rec::kDirVolSeq, 1);
}

void ISO_Dir_InitThisDir(BYTE* record) {
  CheckDir(record, "ISO_Dir_InitThisDir");
  ISO_Dir_InitDir(record);
  record[rec::kDirLength] = 34;
  record[rec::kDirFileFlags] = 2;
  record[rec::kDirIdLength] = 1;
  record[rec::kDirId] = 0;
}

void ISO_Dir_InitParentDir(BYTE* record) {
  CheckDir(record, "ISO_Dir_InitParentDir");
  ISO_Dir_InitDir(record);
  record[rec::kDirLength] = 34;
  record[rec::kDirFileFlags] = 2;
  record[rec::kDirIdLength] = 1;
  record[rec::kDirId] = 1;
}

void ISO_Dir_SetName(BYTE* record, const char* name, BYTE fileFlags) {
  CheckDir(record, "ISO_Dir_SetName");
  // The longest identifier whose record length still fits its byte.
  const std::size_t len = std::min<std::size_t>(name ? std::strlen(name) : 0, 219);
  record[rec::kDirIdLength] = static_cast<BYTE>(len);
  std::memcpy(record + rec::kDirId, name, len);
  std::size_t pos = rec::kDirId + len;
  if ((len & 1) == 0) record[pos++] = 0;
  record[pos++] = 0;
  record[pos++] = 0;
  record[rec::kDirLength] = static_cast<BYTE>(len - (len & 1) + 36);
  record[rec::kDirFileFlags] = fileFlags;
}

void ISO_Dir_SetData(BYTE* record, DWORD location, DWORD length) {
  CheckDir(record, "ISO_Dir_SetData");
  rec::PutBoth32(record + rec::kDirLocation, location);
  rec::PutBoth32(record + rec::kDirDataLength, length);
}

void ISO_Dir_SetDataSize(BYTE* record, DWORD length) {
  CheckDir(record, "ISO_Dir_SetDataSize");
  rec::PutBoth32(record + rec::kDirDataLength, length);
}

void ISO_Dir_SetDataLocation(BYTE* record, DWORD location) {
  CheckDir(record, "ISO_Dir_SetDataLocation");
  rec::PutBoth32(record + rec::kDirLocation, location);
}

// The path-table fillers write the type L (little-endian) form; the builder
// of the type M table writes the same fields big-endian.
void ISO_Path_SetParent(BYTE* record, WORD number) {
  CheckPath(record, "ISO_Path_SetParent");
  rec::PutLE16(record + 6, number);
}

void ISO_Path_SetLocation(BYTE* record, DWORD location) {
  CheckPath(record, "ISO_Path_SetLocation");
  rec::PutLE32(record + 2, location);
}

int ISO_Path_InitRoot(BYTE* record) {
  CheckPath(record, "ISO_Path_InitRoot");
  std::memset(record, 0, 10);
  record[0] = 1;
  rec::PutLE16(record + 6, 1);
  return 10;
}

// ---- volume descriptors ------------------------------------------------------

VolumeDescriptor::VolumeDescriptor() {
  std::memset(data_, 0, sizeof data_);
  data_[0] = 255;
  std::memcpy(data_ + 1, "CD001", 5);
  data_[6] = 1;
}

DWORD VolumeDescriptor::GetData(BYTE** dest, DWORD* remaining, DWORD offset) {
  if (offset >= kSectorSize) return 0;
  const DWORD n = std::min<DWORD>(*remaining, kSectorSize - offset);
  std::memcpy(*dest, data_ + offset, n);
  *dest += n;
  *remaining -= n;
  return n;
}

void PrimaryVolumeDescriptor::init() {
  std::memset(data_, 0, sizeof data_);
  data_[0] = 1;
  std::memcpy(data_ + 1, "CD001", 5);
  data_[6] = 1;
  std::memset(data_ + 8, ' ', 32);
  std::memset(data_ + 40, ' ', 32);
  rec::PutBoth32(data_ + 80, 406000);
  rec::PutBoth16(data_ + 120, 1);
  rec::PutBoth16(data_ + 124, 1);
  rec::PutBoth16(data_ + 128, kSectorSize);
  ISO_Dir_InitThisDir(data_ + 156);
  std::memset(data_ + 190, ' ', 128 * 4 + 37 * 3);
  for (int off : {813, 830, 847, 864}) rec::PutUnsetDate17(data_ + off);
  data_[881] = 1;
  ISOFS_TRACE("PrimaryVolumeDescriptor::init") << "Leaving PVD::init() " << ", sizeof() = " << 2048 << endl;
}

void PrimaryVolumeDescriptor::SetRaw(DWORD offset, const BYTE* data, DWORD length) {
  if (offset > kSectorSize || length > kSectorSize - offset) return;
  std::memcpy(data_ + offset, data, length);
}

void PrimaryVolumeDescriptor::SetVolumeSpaceSize(DWORD sectors) { rec::PutBoth32(data_ + 80, sectors); }

void PrimaryVolumeDescriptor::SetRootDate(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  rec::PutDate7(GetRootRecord() + rec::kDirRecordingDT, &t);
}

void PrimaryVolumeDescriptor::SetL_PathTableLocation(DWORD sector) { rec::PutLE32(data_ + 140, sector); }
void PrimaryVolumeDescriptor::SetM_PathTableLocation(DWORD sector) { rec::PutBE32(data_ + 148, sector); }
void PrimaryVolumeDescriptor::SetPathTableSize(DWORD bytes) { rec::PutBoth32(data_ + 132, bytes); }

void PrimaryVolumeDescriptor::SetRootDirectory(DWORD location, DWORD length) {
  ISO_Dir_SetData(GetRootRecord(), location, length);
}

bool PrimaryVolumeDescriptor::Check() { return std::memcmp(data_ + 1024, "CD-XA001", 8) == 0; }

void PrimaryVolumeDescriptor::SetXASignature() {
  std::memcpy(data_ + 1024, "CD-XA001", 8);
  data_[1032] = 0;
  data_[1033] = 0;
  bool hasDir = false;
  for (int i = 0; i < 8; ++i) hasDir |= data_[1034 + i] != 0;
  if (!hasDir) std::memset(data_ + 1034, ' ', 8);
  std::memset(data_ + 1042, 0, 8);
}

void PrimaryVolumeDescriptor::SetXAStartupDirectory(const char* text) {
  SetXASignature();
  std::memset(data_ + 1034, ' ', 8);
  const std::string t = vexa::base::Utf8CutBytes(text ? text : "", 8);
  std::memcpy(data_ + 1034, t.data(), t.size());
}

void PrimaryVolumeDescriptor::SetText(int offset, int size, const char* text) {
  std::memset(data_ + offset, ' ', static_cast<std::size_t>(size));
  if (!text) return;
  const std::string t = vexa::base::Utf8CutBytes(text, static_cast<std::size_t>(size));
  std::memcpy(data_ + offset, t.data(), t.size());
}

void SupplementaryVolumeDescriptor::init() {
  PrimaryVolumeDescriptor::init();
  data_[0] = 2;
  data_[7] = 0;
  data_[88] = '%';
  data_[89] = '/';
  data_[90] = '@';
  for (auto [off, size] : {std::pair{8, 32}, {40, 32}, {190, 128}, {318, 128}, {446, 128},
                           {574, 128}, {702, 37}, {739, 37}, {776, 37}})
    SetWide(off, size, nullptr);
}

void SupplementaryVolumeDescriptor::SetWide(int offset, int size, const char16_t* text) {
  // UCS-2 spaces; a 37-byte field keeps its last byte 0.
  std::memset(data_ + offset, 0, static_cast<std::size_t>(size));
  const int chars = size / 2;
  for (int i = 0; i < chars; ++i) rec::PutBE16(data_ + offset + 2 * i, u' ');
  if (!text) return;
  // UCS-2 holds no character beyond the Basic Multilingual Plane: a
  // surrogate pair (or a lone half) is recorded as one '_'.
  std::u16string t;
  for (const char16_t* p = text; *p; ++p) {
    const char16_t c = *p;
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ++p;
      t += u'_';
    } else {
      t += c;
    }
  }
  const std::size_t n = std::min<std::size_t>(t.size(), static_cast<std::size_t>(chars));
  for (std::size_t i = 0; i < n; ++i) rec::PutBE16(data_ + offset + 2 * i, t[i]);
}

void SupplementaryVolumeDescriptor::SetText(int offset, int size, const char* text) {
  if (!text) {
    SetWide(offset, size, nullptr);
    return;
  }
  std::u16string w = vexa::base::Utf8ToUtf16(text);
  for (char16_t& c : w) {
    if (c == u'*' || c == u'/' || c == u':' || c == u';' || c == u'?' || c == u'\\') c = u'_';
  }
  SetWide(offset, size, w.c_str());
}

}  // namespace isofs
