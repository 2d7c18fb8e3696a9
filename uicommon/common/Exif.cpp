#include "uicommon/common/Exif.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>

#include "platform/base/Path.h"

namespace vexa::ui {

namespace {

std::vector<std::string>* g_statusList = nullptr;

std::string Fmt(const char* pattern, ...) {
  char buf[1024];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(buf, sizeof buf, pattern, args);
  va_end(args);
  return buf;
}

constexpr std::size_t kPiece = 32768;

std::uint64_t Pos(CFile* f) {
  f->clear();
  const auto p = f->tellg();
  return p < 0 ? 0 : static_cast<std::uint64_t>(p);
}

void Seek(CFile* f, std::uint64_t pos) {
  f->clear();
  f->seekg(static_cast<std::streamoff>(pos));
}

std::uint64_t FileSize(CFile* f) {
  const std::uint64_t here = Pos(f);
  f->seekg(0, std::ios::end);
  const std::uint64_t size = Pos(f);
  Seek(f, here);
  return size;
}

int BufConvert1(const std::uint8_t* b) { return b[0]; }
int BufConvert2(const std::uint8_t* b) { return (b[0] << 8) | b[1]; }
std::uint32_t BufConvert4(const std::uint8_t* b) {
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
         std::uint32_t(b[3]);
}

const char* MarkerName(int marker) {
  static const char* const kApp[16] = {
      "APP0 - Application-specific data",  "APP1 - Application-specific data",
      "APP2 - Application-specific data",  "APP3 - Application-specific data",
      "APP4 - Application-specific data",  "APP5 - Application-specific data",
      "APP6 - Application-specific data",  "APP7 - Application-specific data",
      "APP8 - Application-specific data",  "APP9 - Application-specific data",
      "APP10 - Application-specific data", "APP11 - Application-specific data",
      "APP12 - Application-specific data", "APP13 - Application-specific data",
      "APP14 - Application-specific data", "APP15 - Application-specific data"};
  if (marker == 0xFFD8) return "SOI - Start of image";
  if (marker >= 0xFFE0 && marker <= 0xFFEF) return kApp[marker - 0xFFE0];
  if (marker == 0xFFFE) return "COM - Comment";
  if (marker == 0xFFDB) return "DQT - Define quantization tables";
  return "UNKNOWN marker";
}

EExifMarker Kind(int marker) {
  if (marker == 0xFFD8) return EXIF_SOI;
  if (marker >= 0xFFE0 && marker <= 0xFFEF) return static_cast<EExifMarker>(1 + marker - 0xFFE0);
  if (marker == 0xFFFE) return EXIF_COM;
  if (marker == 0xFFDB) return EXIF_DQT;
  return EXIF_UNKNOWN;
}

bool IsApp(EExifMarker k) { return k >= EXIF_APP0 && k <= EXIF_APP15; }

const char* const kExpectations[] = {
    "Expecting Exif Attribute Info",        "Expecting FlashPix Ready Contents List",
    "Expecting FlashPix Extension Property Set", "Expecting FlashPix Screennail Property Set",
    "Expecting FlashPix Audio Info Property Set"};
constexpr char kExpectStream[] = "Expecting FlashPix Audio Stream";

bool Open(CFile* f, const std::string& path) {
  f->open(path, std::ios::in | std::ios::binary);
  return f->is_open();
}

// Reads a segment's marker and length and checks that the segment lies
// inside the file. `end` is where the next segment starts.
EExifStatus ReadSegmentHead(CFile* f, int* marker, int* length, std::uint64_t* end) {
  const std::uint64_t start = Pos(f);
  std::uint8_t head[4];
  if (!CExif::ReadBytes(f, head, 4)) return EXIF_EOF;
  *marker = BufConvert2(head);
  *length = BufConvert2(head + 2);
  *end = start + 2 + static_cast<std::uint64_t>(*length);
  if (*length < 2 || *end > FileSize(f)) {
    CExif::Trace(Fmt("   0x%04X - Invalid segment length (%d bytes)", *length, *length));
    return EXIF_INVALID_CONTENTS;
  }
  return EXIF_SUCCESS;
}

// The zero-terminated identification code, read without leaving the segment.
bool ReadIdCode(CFile* f, std::uint64_t end, std::string* id) {
  id->clear();
  while (Pos(f) < end) {
    std::uint8_t c;
    if (!CExif::ReadBytes(f, &c, 1)) return false;
    if (c == 0) return true;
    *id += static_cast<char>(c);
  }
  return false;
}

bool CopyBytes(CFile* src, CFile* dst, std::uint64_t count) {
  std::vector<char> buf(kPiece);
  while (count > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kPiece));
    src->read(buf.data(), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(src->gcount()) != n) return false;
    dst->write(buf.data(), static_cast<std::streamsize>(n));
    dst->flush();
    if (!*dst) return false;
    count -= n;
  }
  return true;
}

// A new empty file beside `target` (same folder, so it can be renamed over
// it), or "" when none can be made.
std::string TempBeside(const std::string& target, const char* suffix) {
  std::string dir = vexa::base::DirName(target);
  if (dir.empty()) dir = ".";
  return vexa::base::MakeTempFile(dir, "." + vexa::base::BaseName(target) + ".", suffix);
}

}  // namespace

CExif::CExif(std::string path) : m_path(std::move(path)) {}
CExif::CExif(const CExif& other) = default;
CExif& CExif::operator=(const CExif& other) = default;
CExif::~CExif() = default;

void CExif::SetStatusList(std::vector<std::string>* list) { g_statusList = list; }

void CExif::Trace(std::string line) {
  if (g_statusList) g_statusList->push_back(std::move(line));
}

bool CExif::ReadBytes(CFile* file, std::uint8_t* buffer, unsigned count) {
  file->read(reinterpret_cast<char*>(buffer), count);
  if (static_cast<unsigned>(file->gcount()) != count) {
    Trace("CExif::ReadBytes() - Unexpected EOF");
    file->clear();
    return false;
  }
  return true;
}

EExifMarker CExif::GetMarkerType(CFile* file) {
  const std::uint64_t pos = Pos(file);
  std::uint8_t b[2];
  Trace("<");
  Trace(Fmt("   pos = 0x%llX", static_cast<unsigned long long>(pos)));
  file->read(reinterpret_cast<char*>(b), 2);
  EExifMarker kind = EXIF_UNKNOWN;
  if (file->gcount() == 2) {
    const int marker = BufConvert2(b);
    kind = Kind(marker);
    Trace(Fmt("   marker = 0x%04X  ", marker) + MarkerName(marker));
  } else {
    Trace("CExif::ReadBytes() - Unexpected EOF");
  }
  Trace(">");
  Seek(file, pos);
  return kind;
}

EExifStatus CExif::ReadHeader(std::string path) {
  Trace(Fmt("CExif::ReadHeader(\"%s\")", path.c_str()));
  CFile f;
  if (!Open(&f, path)) {
    Trace(Fmt("   Cannot open \"%s\"", path.c_str()));
    return EXIF_CANNOT_OPEN;
  }
  std::uint8_t b[12];
  if (!ReadBytes(&f, b, 2)) return EXIF_EOF;
  if (BufConvert2(b) != 0xFFD8) {
    Trace(Fmt("   0x%02X - Invalid JPEG file (expected 0xFFD8)", BufConvert2(b)));
    return EXIF_UNEXPECTED_MARKER;
  }
  Trace("   0xFFD8 - Start Of Image (SOI)");
  if (!ReadBytes(&f, b, 2)) return EXIF_EOF;
  if (BufConvert2(b) != 0xFFE1) return EXIF_WRONG_MARKER;
  if (!ReadBytes(&f, b, 2)) return EXIF_EOF;
  Trace(Fmt("   0x%04X - APP length (%d bytes)", BufConvert2(b), BufConvert2(b)));
  if (!ReadBytes(&f, b, 6)) return EXIF_EOF;
  if (b[0] != 'E' || b[1] != 'x' || b[2] != 'i' || b[3] != 'f' || b[4] != 0 || b[5] != 0)
    return EXIF_INVALID_CONTENTS;
  Trace("   \"Exif\" - APP ID Code");
  return EXIF_SUCCESS;
}

bool CExif::IsExif(std::string path) { return ReadHeader(std::move(path)) == EXIF_SUCCESS; }

EExifStatus CExif::ReadAppMarker(CFile* file, int* length, int expected) {
  const std::uint64_t start = Pos(file);
  int marker = 0, len = 0;
  std::uint64_t end = 0;
  EExifStatus status = ReadSegmentHead(file, &marker, &len, &end);
  if (status == EXIF_SUCCESS && (!IsApp(Kind(marker)) || (expected && marker != expected)))
    status = EXIF_WRONG_MARKER;
  std::string id;
  if (status == EXIF_SUCCESS) {
    Trace(Fmt("   0x%04X - APP length (%d bytes)", len, len));
    if (!ReadIdCode(file, end, &id)) status = EXIF_INVALID_CONTENTS;
  }
  if (status != EXIF_SUCCESS) {
    Seek(file, start);
    return status;
  }
  Trace(Fmt("   \"%s\" - APP ID Code", id.c_str()));
  if (length) *length = len;
  Seek(file, end);
  return EXIF_SUCCESS;
}

EExifStatus CExif::ReadMarkerReadyContentsList(CFile* file, int* entries) {
  const std::uint64_t start = Pos(file);
  int marker = 0, len = 0;
  std::uint64_t end = 0;
  auto fail = [&](EExifStatus s) {
    Seek(file, start);
    return s;
  };
  EExifStatus status = ReadSegmentHead(file, &marker, &len, &end);
  if (status != EXIF_SUCCESS) return fail(status);
  if (marker != 0xFFE2) return fail(EXIF_WRONG_MARKER);
  Trace(Fmt("   0x%04X - APP length (%d bytes)", len, len));
  std::string id;
  if (!ReadIdCode(file, end, &id)) return fail(EXIF_INVALID_CONTENTS);
  Trace(Fmt("   \"%s\" - APP ID Code", id.c_str()));
  std::uint8_t b[4];
  if (Pos(file) + 4 > end || !ReadBytes(file, b, 4)) return fail(EXIF_INVALID_CONTENTS);
  if (BufConvert1(b) != 0x00 || BufConvert1(b + 1) != 0x01) return fail(EXIF_INVALID_CONTENTS);
  const int count = BufConvert2(b + 2);
  if (count != 2 && count != 5) {
    Trace(Fmt("   0x%04X - Invalid entry count (expected 0x0002 or 0x0005)", count));
    return fail(EXIF_INVALID_CONTENTS);
  }
  if (entries) *entries = count;
  Seek(file, end);
  return EXIF_SUCCESS;
}

bool CExif::AudioPresent(std::string path) {
  bool present = false;
  if (IsExif(path)) {
    CFile f;
    if (Open(&f, path)) {
      std::uint8_t b[2];
      int len = 0, entries = 0;
      present = ReadBytes(&f, b, 2) && BufConvert2(b) == 0xFFD8 &&
                ReadAppMarker(&f, &len, 0xFFE1) == EXIF_SUCCESS &&
                ReadMarkerReadyContentsList(&f, &entries) == EXIF_SUCCESS && entries == 5;
    }
  }
  Trace(present ? "CExif::AudioPresent() - true" : "CExif::AudioPresent() - false");
  return present;
}

EExifStatus CExif::ReadCommentMarker(CFile* file) {
  const std::uint64_t start = Pos(file);
  int marker = 0, len = 0;
  std::uint64_t end = 0;
  EExifStatus status = ReadSegmentHead(file, &marker, &len, &end);
  if (status == EXIF_SUCCESS && marker != 0xFFFE) status = EXIF_WRONG_MARKER;
  std::string text(static_cast<std::size_t>(len > 2 ? len - 2 : 0), '\0');
  if (status == EXIF_SUCCESS && !text.empty() &&
      !ReadBytes(file, reinterpret_cast<std::uint8_t*>(text.data()), static_cast<unsigned>(text.size())))
    status = EXIF_EOF;
  if (status != EXIF_SUCCESS) {
    Seek(file, start);
    return status;
  }
  Trace(Fmt("   \"%s\" - Comment", text.c_str()));
  Seek(file, end);
  return EXIF_SUCCESS;
}

EExifStatus CExif::ReadMarkers() {
  CFile f;
  if (!Open(&f, m_path)) {
    Trace(Fmt("   Cannot open \"%s\"", m_path.c_str()));
    return EXIF_CANNOT_OPEN;
  }
  if (GetMarkerType(&f) != EXIF_SOI) return EXIF_UNEXPECTED_MARKER;
  Seek(&f, 2);
  for (std::size_t n = 0;; ++n) {
    Trace(n < 5 ? kExpectations[n] : kExpectStream);
    const EExifMarker kind = GetMarkerType(&f);
    EExifStatus status = EXIF_SUCCESS;
    if (IsApp(kind)) {
      int len = 0;
      status = ReadAppMarker(&f, &len, 0);
    } else if (kind == EXIF_COM) {
      status = ReadCommentMarker(&f);
    } else {
      return EXIF_SUCCESS;
    }
    if (status != EXIF_SUCCESS) return status;
  }
}

EExifStatus CExif::ReadMarkerAudioStream(CFile* source, CFile* destination, bool first) {
  const std::uint64_t start = Pos(source);
  int marker = 0, len = 0;
  std::uint64_t end = 0;
  auto fail = [&](EExifStatus s) {
    Seek(source, start);
    return s;
  };
  EExifStatus status = ReadSegmentHead(source, &marker, &len, &end);
  if (status != EXIF_SUCCESS) return fail(status);
  if (marker != 0xFFE2) return fail(EXIF_WRONG_MARKER);
  Trace(Fmt("   0x%04X - APP length (%d bytes)", len, len));
  std::string id;
  if (!ReadIdCode(source, end, &id)) return fail(EXIF_INVALID_CONTENTS);
  Trace(Fmt("   \"%s\" - APP ID Code", id.c_str()));
  // Version, stream data type, index to the contents list, offset.
  std::uint8_t b[8];
  if (Pos(source) + 8 > end || !ReadBytes(source, b, 8)) return fail(EXIF_INVALID_CONTENTS);
  if (b[0] != 0x00 || b[1] != 0x02 || BufConvert2(b + 2) != 0x0004)
    return fail(EXIF_INVALID_CONTENTS);
  Trace(Fmt("   0x%08X - Offset to FlashPix stream", BufConvert4(b + 4)));
  // The first segment carries the stream header before the data.
  std::uint64_t dataStart = Pos(source) + (first ? 28 : 0);
  if (dataStart > end) return fail(EXIF_INVALID_CONTENTS);
  Seek(source, dataStart);
  if (!CopyBytes(source, destination, end - dataStart)) return fail(EXIF_COPY_FAILED);
  Seek(source, end);
  return EXIF_SUCCESS;
}

bool CExif::AudioCopyToFile(std::string destination) {
  if (!AudioPresent(m_path)) return false;
  CFile src;
  if (!Open(&src, m_path)) return false;
  std::uint8_t b[2];
  if (!ReadBytes(&src, b, 2) || BufConvert2(b) != 0xFFD8) return false;
  for (const char* expectation : kExpectations) {
    Trace(expectation);
    int len = 0;
    if (ReadAppMarker(&src, &len, 0) != EXIF_SUCCESS) return false;
  }
  // The stream is written beside the destination and renamed over it once
  // whole, so a failed copy leaves nothing behind.
  const std::string temp = TempBeside(destination, ".tmp");
  if (temp.empty()) return false;
  bool ok = true;
  {
    CFile dst(temp, std::ios::out | std::ios::binary | std::ios::trunc);
    ok = dst.is_open();
    for (bool first = true; ok && GetMarkerType(&src) == EXIF_APP2; first = false) {
      Trace(kExpectStream);
      if (ReadMarkerAudioStream(&src, &dst, first) != EXIF_SUCCESS) {
        Trace("CExif::Error reading audio stream");
        ok = false;
      }
    }
    if (ok) {
      dst.close();
      ok = !dst.fail();
    }
  }
  std::error_code ec;
  if (ok) std::filesystem::rename(temp, destination, ec);
  if (!ok || ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

bool CExif::CopyAppMarker(CFile* source, CFile* destination) {
  const std::uint64_t start = Pos(source);
  int marker = 0, len = 0;
  std::uint64_t end = 0;
  if (ReadSegmentHead(source, &marker, &len, &end) != EXIF_SUCCESS) {
    Seek(source, start);
    return false;
  }
  const std::uint8_t head[4] = {std::uint8_t(marker >> 8), std::uint8_t(marker),
                                std::uint8_t(len >> 8), std::uint8_t(len)};
  destination->write(reinterpret_cast<const char*>(head), 4);
  return *destination && CopyBytes(source, destination, static_cast<std::uint64_t>(len - 2));
}

bool CExif::CopyUpToDQT(CFile* source, CFile* destination) {
  std::uint8_t b[2];
  if (!ReadBytes(source, b, 2) || BufConvert2(b) != 0xFFD8) return false;
  destination->write(reinterpret_cast<const char*>(b), 2);
  for (;;) {
    const std::uint64_t here = Pos(source);
    if (!ReadBytes(source, b, 2)) return false;  // ended before any DQT
    Seek(source, here);
    const int marker = BufConvert2(b);
    if (marker == 0xFFDB) return true;
    // Only segments with a length can be copied whole; anything else before
    // the first DQT is a damaged file.
    if (b[0] != 0xFF || (marker >= 0xFFD0 && marker <= 0xFFD9) || marker == 0xFF01 ||
        marker == 0xFFFF)
      return false;
    if (!CopyAppMarker(source, destination)) return false;
  }
}

bool CExif::CopyFile(CFile* source, CFile* destination) {
  std::vector<char> buf(kPiece);
  for (;;) {
    source->read(buf.data(), static_cast<std::streamsize>(buf.size()));
    const std::streamsize n = source->gcount();
    if (n > 0) destination->write(buf.data(), n);
    if (!*destination) return false;
    if (n < static_cast<std::streamsize>(buf.size())) break;
  }
  source->clear();
  return true;
}

bool CExif::AudioExtractMarkers(std::string source, std::string markerFile) {
  CFile src;
  if (!Open(&src, source)) return false;
  std::uint8_t b[2];
  if (!ReadBytes(&src, b, 2) || BufConvert2(b) != 0xFFD8) return false;
  // Every application segment up to the first APP2 is passed over; any
  // other segment there ends the move.
  for (;;) {
    const EExifMarker kind = GetMarkerType(&src);
    if (kind == EXIF_APP2) break;
    int len = 0;
    if (!IsApp(kind) || ReadAppMarker(&src, &len, 0) != EXIF_SUCCESS) return false;
  }
  CFile out(markerFile, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return false;
  while (GetMarkerType(&src) == EXIF_APP2)
    if (!CopyAppMarker(&src, &out)) return false;
  out.close();
  return !out.fail();
}

bool CExif::AudioEmbedMarkers(CFile* destination, std::string markerFile) {
  CFile markers;
  if (!Open(&markers, markerFile)) return false;
  return CopyFile(&markers, destination);
}

bool CExif::AudioEmbedFromExif(std::string source, std::string workDirectory) {
  for (const std::string* p : {&m_path, &source}) {
    if (!IsExif(*p)) {
      Trace(Fmt("CExif::AudioEmbedFromExif() - \"%s\" is not an EXIF file", p->c_str()));
      return false;
    }
  }
  if (AudioPresent(m_path)) {
    Trace(Fmt("CExif::AudioEmbedFromExif() - \"%s\" already contains audio", m_path.c_str()));
    return false;
  }
  if (!AudioPresent(source)) {
    Trace(Fmt("CExif::AudioEmbedFromExif() - \"%s\" contains no audio", source.c_str()));
    return false;
  }
  std::error_code ec;
  const std::string markerFile = vexa::base::MakeTempFile(workDirectory, "AudioMarkers", ".dat");
  if (markerFile.empty()) {
    Trace(Fmt("CExif::AudioEmbedFromExif() - Could not create temporary file \"%s\"",
              vexa::base::JoinPath(workDirectory, "AudioMarkers.dat").c_str()));
    return false;
  }
  struct RemoveAfter {
    std::string path;
    ~RemoveAfter() {
      std::error_code e;
      if (!path.empty()) std::filesystem::remove(path, e);
    }
  } markerGuard{markerFile};
  if (!AudioExtractMarkers(source, markerFile)) return false;

  // The new file is written beside this one and renamed over it once whole.
  const std::string temp = TempBeside(m_path, ".jpg");
  if (temp.empty()) {
    Trace(Fmt("CExif::AudioEmbedFromExif() - Could not create temporary file \"%s\"",
              (m_path + ".tmp.jpg").c_str()));
    return false;
  }
  RemoveAfter tempGuard{temp};
  {
    CFile self;
    CFile out(temp, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!Open(&self, m_path) || !out.is_open()) return false;
    if (!CopyUpToDQT(&self, &out) || !AudioEmbedMarkers(&out, markerFile) || !CopyFile(&self, &out))
      return false;
    out.close();
    if (out.fail()) return false;
  }
  struct stat st {};
  if (::stat(m_path.c_str(), &st) == 0) ::chmod(temp.c_str(), st.st_mode & 07777);
  std::filesystem::rename(temp, m_path, ec);
  if (ec) return false;
  tempGuard.path.clear();
  return true;
}

}  // namespace vexa::ui
