#include "disclib/vcd/ISOFormat.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "disclib/isofs/ISO9660.h"
#include "disclib/isofs/I_CD_SessionMaster.h"
#include "disclib/recorder/ComsLog.h"
#include "platform/base/Text.h"

namespace vexa::vcd {

using isofs::I_CD_SessionMaster;
using isofs::I_File;
using isofs::TREL_Exception;

namespace {

constexpr std::uint32_t kFilesStart = 1300;
constexpr std::uint32_t kInfoSector = 150;
constexpr std::uint32_t kEntriesSector = 151;
constexpr std::uint32_t kLotSector = 152;
constexpr std::uint32_t kPsdSector = 184;
constexpr std::uint32_t kStructureSector = 300;
constexpr std::uint32_t kLotBytes = 65536;
constexpr std::uint64_t kMaxPsdBytes = (kStructureSector - kPsdSector) * 2048ull;
constexpr WORD kXAForm1 = 0x0D55;  // Mode 2 Form 1, read and execute for all
constexpr WORD kXAForm2 = 0x1555;  // Mode 2 Form 2, read and execute for all

std::uint32_t Sectors2048(std::uint64_t bytes) { return static_cast<std::uint32_t>((bytes + 2047) / 2048); }
std::uint32_t RoundUp(std::uint32_t v, std::uint32_t m) { return (v + m - 1) / m * m; }

// The size of a regular file, or nothing when it cannot be read.
std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  std::fclose(f);
  return static_cast<std::uint64_t>(st.st_size);
}

const char* NarrowOrNull(const char16_t* s, std::string& keep) {
  if (!s) return nullptr;
  keep = base::Utf16ToUtf8(s);
  return keep.c_str();
}

// Disc paths use "\" between their parts; "/" is accepted too.
std::string DiscPath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  if (!p.empty() && p[0] != '\\') p.insert(p.begin(), '\\');
  return p;
}

SYSTEMTIME LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  SYSTEMTIME t;
  t.wYear = static_cast<WORD>(tm.tm_year + 1900);
  t.wMonth = static_cast<WORD>(tm.tm_mon + 1);
  t.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  t.wDay = static_cast<WORD>(tm.tm_mday);
  t.wHour = static_cast<WORD>(tm.tm_hour);
  t.wMinute = static_cast<WORD>(tm.tm_min);
  t.wSecond = static_cast<WORD>(tm.tm_sec);
  return t;
}

// A calendar record that names a real time; spaces or zeros do not.
bool ValidDate(const SYSTEMTIME& t) {
  return t.wYear >= 1 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 &&
         t.wHour < 24 && t.wMinute < 60 && t.wSecond < 61;
}

SYSTEMTIME FromWords(const std::array<std::uint16_t, 8>& w) {
  SYSTEMTIME t;
  t.wYear = w[0];
  t.wMonth = w[1];
  t.wDayOfWeek = w[2];
  t.wDay = w[3];
  t.wHour = w[4];
  t.wMinute = w[5];
  t.wSecond = w[6];
  t.wMilliseconds = w[7];
  return t;
}

// A date of the volume record, when it names a real time.
bool RecordDate(const std::uint8_t* record, std::size_t offset, SYSTEMTIME* t) {
  std::array<std::uint16_t, 8> words{};
  std::memcpy(words.data(), record + offset, 16);
  *t = FromWords(words);
  return ValidDate(*t);
}

// A text field of the volume record without its padding.
std::string RecordText(const std::uint8_t* record, std::size_t offset, std::size_t size) {
  std::string s(reinterpret_cast<const char*>(record + offset), size);
  const auto nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void PutBoth32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    p[7 - i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

struct SessionDeleter {
  void operator()(I_CD_SessionMaster* dm) const { delete dm; }
};

}  // namespace

VCDImagePlan PlanVCDImage(const std::vector<std::uint64_t>& fileSizes, const std::vector<std::uint64_t>& segmentSizes,
                          const std::vector<std::uint64_t>& trackSizes) {
  VCDImagePlan plan;
  std::uint32_t position = kFilesStart;
  for (std::uint64_t size : fileSizes) {
    plan.fileStart.push_back(position);
    position += Sectors2048(size);
  }
  if (!segmentSizes.empty()) {
    plan.segments = true;
    position = RoundUp(position, 75);
    plan.segmentsStart = position;
    for (std::uint64_t size : segmentSizes) {
      VCDImagePlan::Segment s;
      s.start = position;
      for (std::uint64_t rest = size; rest > 0;) {
        const std::uint64_t bytes = std::min<std::uint64_t>(rest, VCDClassISOFormat::kSegmentItemBytes);
        const auto sectors = static_cast<std::uint32_t>((bytes + kVCDForm2DataBytes - 1) / kVCDForm2DataBytes);
        s.itemSectors.push_back(sectors);
        position += RoundUp(sectors, 150);
        rest -= bytes;
      }
      plan.segment.push_back(std::move(s));
    }
  }
  plan.track1Sectors = position;
  std::uint32_t start = plan.track1Sectors + kVCDTrackGapSectors;
  for (std::uint64_t size : trackSizes) {
    const VCDMpegTrackSectors t = VCDMpegTrack(size);
    plan.track.push_back({start, t});
    start = VCDNextTrackStart(start, t.total);
  }
  return plan;
}

VCDClassISOFormat::VCDClassISOFormat() : segmentNames_(kMaxPlayItems + 1) {
  // The album identifier: the tick count at construction, as decimal text.
  const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
  albumId_ = std::to_string(static_cast<std::uint32_t>(ticks));
}

VCDClassISOFormat::~VCDClassISOFormat() {
  if (queue_) FinishImage();
}

VCDClassISOFormat::Date VCDClassISOFormat::ToDate(const void* date16) {
  Date d;
  if (!date16) return d;
  std::memcpy(d.words.data(), date16, 16);
  d.given = ValidDate(FromWords(d.words));
  return d;
}

std::int32_t VCDClassISOFormat::SetFileSystemType(std::int32_t type) {
  if (type < 0 || type > 2) return 0;
  fsType_ = type;
  return 1;
}

void VCDClassISOFormat::SetVolumeInfo(const std::uint8_t* record) {
  if (!record) {
    volume_.reset();
    return;
  }
  volume_.emplace();
  std::memcpy(volume_->data(), record, kVolumeRecordBytes);
}

bool VCDClassISOFormat::AddFileInternal(const char* source, const char* isoPath, const void* date16,
                                        const char* altName, int type) {
  if (!source) {
    discpak::ComsLogF("VCDClassISOFormat::AddFileInternal: failed srcfilename NULL");
    return false;
  }
  if (!isoPath) {
    discpak::ComsLogF("VCDClassISOFormat::AddFileInternal: failed dstfilename NULL");
    return false;
  }
  if (files_.size() >= kMaxFiles) return false;
  const auto size = FileSize(source);
  if (!size) {
    discpak::ComsLogF("VCDClassISOFormat::AddFileInternal: failed to open file");
    return false;
  }
  // The size is recorded now, so the estimates agree with the layout before
  // the image is made.
  files_.push_back({source, isoPath, altName ? altName : "", ToDate(date16), *size, type});
  return true;
}

std::int32_t VCDClassISOFormat::AddFile(const char* source, const char* isoPath, const void* date16,
                                        const char* altName) {
  if (!AddFileInternal(source, isoPath, date16, altName, 0)) return 0;
  discpak::ComsLogF("VCDClassISOFormat::AddFile called");
  discpak::ComsLogF("%s %s %s", source, isoPath, altName ? altName : "");
  return 1;
}

std::int32_t VCDClassISOFormat::AddFileW(const char16_t* source, const char16_t* isoPath, const void* date16,
                                         const char16_t* altName) {
  std::string s, i, a;
  return AddFile(NarrowOrNull(source, s), NarrowOrNull(isoPath, i), date16, NarrowOrNull(altName, a));
}

std::int32_t VCDClassISOFormat::AddHardLink(const char* source, const char* linkPath, const void* date16) {
  if (!source || !linkPath || links_.size() >= kMaxFiles) return 0;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].source == source) {
      links_.push_back({linkPath, ToDate(date16), i});
      discpak::ComsLogF("VCDClassISOFormat::AddHardLink called");
      discpak::ComsLogF("%s %s", source, linkPath);
      return 1;
    }
  }
  return 0;
}

std::int32_t VCDClassISOFormat::AddHardLinkW(const char16_t* source, const char16_t* linkPath, const void* date16) {
  std::string s, l;
  return AddHardLink(NarrowOrNull(source, s), NarrowOrNull(linkPath, l), date16);
}

std::int32_t VCDClassISOFormat::AddDualFile(const char* source1, const char* source2, const char* isoPath,
                                            const void* date16) {
  if (!source1 || !source2 || !isoPath || files_.size() + 1 >= kMaxFiles) return 0;
  if (!FileSize(source1) || !FileSize(source2)) return 0;
  if (!AddFileInternal(source1, isoPath, date16, nullptr, 1)) return 0;
  if (!AddFileInternal(source2, isoPath, date16, nullptr, 2)) {
    files_.pop_back();
    return 0;
  }
  discpak::ComsLogF("VCDClassISOFormat::AddDualFile called");
  discpak::ComsLogF("%s %s %s", source1, source2, isoPath);
  return 1;
}

std::int32_t VCDClassISOFormat::AddDualFileW(const char16_t* source1, const char16_t* source2,
                                             const char16_t* isoPath, const void* date16) {
  std::string a, b, i;
  return AddDualFile(NarrowOrNull(source1, a), NarrowOrNull(source2, b), NarrowOrNull(isoPath, i), date16);
}

std::int32_t VCDClassISOFormat::AddVCDTrack(const char* mpegFile, std::int32_t flag) {
  if (!mpegFile || tracks_.size() >= kMaxTracks) return 0;
  const auto size = FileSize(mpegFile);
  if (!size) return 0;
  tracks_.push_back({mpegFile, flag, *size});
  discpak::ComsLogF("VCDClassISOFormat::AddVCDTrack called");
  discpak::ComsLogF("%s", mpegFile);
  return 1;
}

std::int32_t VCDClassISOFormat::AddVCDTrackW(const char16_t* mpegFile, std::int32_t flag) {
  std::string m;
  return AddVCDTrack(NarrowOrNull(mpegFile, m), flag);
}

std::int32_t VCDClassISOFormat::LinkVCDTrack(std::int32_t trackNumber, const char* name) {
  if (trackNumber < 2 || trackNumber > 99) return 0;
  trackNames_[static_cast<std::size_t>(trackNumber)] = name ? name : "";
  discpak::ComsLogF("VCDClassISOFormat::LinkVCDTrack called");
  discpak::ComsLogF("%d %s", trackNumber, name ? name : "");
  return 1;
}

std::int32_t VCDClassISOFormat::LinkVCDTrackW(std::int32_t trackNumber, const char16_t* name) {
  std::string n;
  return LinkVCDTrack(trackNumber, NarrowOrNull(name, n));
}

std::int32_t VCDClassISOFormat::AddVCDSegment(const char* file, std::int32_t contentByte) {
  if (!file || segments_.size() >= static_cast<std::size_t>(kMaxPlayItems)) return 0;
  const auto size = FileSize(file);
  // An empty file would give no play item at all.
  if (!size || *size == 0) return 0;
  const int items = static_cast<int>((*size + kSegmentItemBytes - 1) / kSegmentItemBytes);
  const int first = segments_.empty() ? 1 : segments_.back().firstItem + segments_.back().items;
  if (first + items - 1 > kMaxPlayItems) return 0;
  segments_.push_back({file, first, *size, static_cast<std::uint8_t>(contentByte), items});
  discpak::ComsLogF("VCDClassISOFormat::AddVCDSegment called");
  discpak::ComsLogF("%s", file);
  return first;
}

std::int32_t VCDClassISOFormat::AddVCDSegmentW(const char16_t* file, std::int32_t contentByte) {
  std::string f;
  return AddVCDSegment(NarrowOrNull(file, f), contentByte);
}

std::int32_t VCDClassISOFormat::LinkVCDSegment(std::int32_t segmentNumber, const char* name) {
  if (segmentNumber < 1 || segmentNumber > kMaxPlayItems) return 0;
  segmentNames_[static_cast<std::size_t>(segmentNumber)] = name ? name : "";
  discpak::ComsLogF("VCDClassISOFormat::LinkVCDSegment called");
  discpak::ComsLogF("%d %s", segmentNumber, name ? name : "");
  return 1;
}

std::int32_t VCDClassISOFormat::LinkVCDSegmentW(std::int32_t segmentNumber, const char16_t* name) {
  std::string n;
  return LinkVCDSegment(segmentNumber, NarrowOrNull(name, n));
}

std::int32_t VCDClassISOFormat::SetLOTPSDFiles(const char* lotFile, const char* psdFile, std::uint16_t maxListId) {
  lotFile_ = lotFile ? lotFile : "";
  psdFile_ = psdFile ? psdFile : "";
  maxListId_ = maxListId;
  discpak::ComsLogF("VCDClassISOFormat::SetLOTPSDFiles called");
  discpak::ComsLogF("%s %s %d", lotFile_.c_str(), psdFile_.c_str(), maxListId);
  return maxListId;
}

std::int32_t VCDClassISOFormat::SetLOTPSDFilesW(const char16_t* lotFile, const char16_t* psdFile,
                                                std::uint16_t maxListId) {
  std::string l, p;
  return SetLOTPSDFiles(NarrowOrNull(lotFile, l), NarrowOrNull(psdFile, p), maxListId);
}

VCDImagePlan VCDClassISOFormat::RecordedPlan() const {
  std::vector<std::uint64_t> f, s, t;
  for (const FileEntry& e : files_) f.push_back(e.size);
  for (const Segment& e : segments_) s.push_back(e.size);
  for (const Track& e : tracks_) t.push_back(e.size);
  return PlanVCDImage(f, s, t);
}

std::int32_t VCDClassISOFormat::GetISOTrackSectors() {
  return static_cast<std::int32_t>(RecordedPlan().track1Sectors);
}

std::int32_t VCDClassISOFormat::GetTotalSectors() {
  return static_cast<std::int32_t>(RecordedPlan().track1Sectors);
}

const char* VCDClassISOFormat::GetError() {
  std::lock_guard lock(errorMutex_);
  errorCopy_ = error_;
  return errorCopy_.c_str();
}

// --- the image pass --------------------------------------------------------

std::int32_t VCDClassISOFormat::StartImage() {
  if (queue_) FinishImage();
  {
    std::lock_guard lock(errorMutex_);
    error_.clear();
  }
  queue_ = std::make_unique<base::ClosableQueue<Unit>>(64);
  // The reader sees the end of the track once it has taken what is queued;
  // the queue closes after the run's end is settled, so a reader that saw
  // the end and finishes the pass cannot turn a whole image into a cut one.
  if (!run_.Start([this] { return MakeImage(); }, [this](bool) { queue_->Close(); })) {
    queue_.reset();
    return 0;
  }
  return 1;
}

std::int32_t VCDClassISOFormat::ReadSectors(std::int32_t count, std::uint8_t* buffer) {
  if (!queue_ || !buffer || count <= 0) return 0;
  std::int32_t n = 0;
  for (; n < count; ++n) {
    std::optional<Unit> unit = queue_->Pop();
    if (!unit) break;
    std::memcpy(buffer + static_cast<std::size_t>(n) * kVCDUnitBytes, unit->data(), kVCDUnitBytes);
  }
  return n;
}

std::int32_t VCDClassISOFormat::FinishImage() {
  if (!queue_) return 0;
  // Stops a layout still writing (a reader that gave up) and waits for it.
  run_.Cancel();
  queue_->Abort();
  run_.Join();
  queue_.reset();
  return run_.state() == base::kWorkSuccess ? 1 : 0;
}

bool VCDClassISOFormat::Fail(base::WorkState state, const std::string& why) {
  {
    std::lock_guard lock(errorMutex_);
    if (error_.empty()) error_ = why;
  }
  discpak::ComsLogF("%s", why.c_str());
  run_.set_state(state);
  return false;
}

std::int32_t VCDClassISOFormat::MakeImage() {
  position_ = 0;
  try {
    ImageInputs inputs;
    FileSystem fileSystem;
    if (MeasureInputs(&inputs) && BuildFileSystem(inputs, &fileSystem) && StreamTrack(inputs, fileSystem))
      return base::kWorkSuccess;
  } catch (const TREL_Exception& e) {
    Fail(base::kWorkFault, "ISOFormat: " + e.GetName() + " in " + e.GetLocation() + ": " + e.GetComment());
  } catch (const std::exception& e) {
    Fail(base::kWorkFault, std::string("ISOFormat: ") + e.what());
  } catch (...) {
    Fail(base::kWorkFault, "ISOFormat: unexpected fault");
  }
  return run_.state();
}

bool VCDClassISOFormat::WriteUnit(const Unit& unit) {
  // A reader that finished the pass early closed the queue: the image is cut.
  if (run_.cancelled() || !queue_->Push(unit))
    return Fail(base::kWorkCancelled, "ISOFormat: the image stream was stopped before its end");
  ++position_;
  run_.AddDone();
  return true;
}

bool VCDClassISOFormat::WriteForm1(const std::uint8_t* data, std::uint8_t submodeBits) {
  Unit unit;
  Subheader subheader = kDataSubheader;
  subheader[2] |= submodeBits;
  MakeForm1Unit(subheader, data, &unit);
  return WriteUnit(unit);
}

bool VCDClassISOFormat::WriteFileForm1(const std::string& path, std::uint64_t size, const std::string& what,
                                       std::uint8_t lastSubmodeBits) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open " + what + " " + path);
  std::vector<std::uint8_t> piece(32768);
  std::uint64_t left = size;
  while (left > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), left));
    in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got < want) return Fail(base::kWorkInputFailed, "ISOFormat: " + what + " " + path + " became shorter than it was");
    // The last sector of the file is zero-filled.
    std::fill(piece.begin() + static_cast<std::ptrdiff_t>(got),
              piece.begin() + static_cast<std::ptrdiff_t>(RoundUp(static_cast<std::uint32_t>(got), 2048)), 0);
    for (std::size_t at = 0; at < got; at += 2048) {
      const bool last = left == got && at + 2048 >= got;
      if (!WriteForm1(piece.data() + at, last ? lastSubmodeBits : 0)) return false;
    }
    left -= got;
  }
  return true;
}

bool VCDClassISOFormat::WriteSegment(const Segment& s, const VCDImagePlan::Segment& plan) {
  while (position_ % 75 != 0) {
    if (!WriteForm1(nullptr)) return false;
  }
  if (position_ != plan.start) return Fail(base::kWorkFault, "ISOFormat: segment placed at the wrong sector");
  const std::uint32_t end = position_ + static_cast<std::uint32_t>(s.items) * 150;
  discpak::ComsLogF("WriteSegment: %s at %u", s.path.c_str(), position_);
  std::ifstream in(s.path, std::ios::binary);
  if (!in) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open segment " + s.path);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(s.size));
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (static_cast<std::uint64_t>(in.gcount()) != s.size) {
    return Fail(base::kWorkInputFailed, "ISOFormat: segment " + s.path + " became shorter than it was");
  }
  const std::size_t pieces = (data.size() + kVCDForm2DataBytes - 1) / kVCDForm2DataBytes;
  data.resize(pieces * kVCDForm2DataBytes, 0);
  // First pass: the channel and coding of each piece from the stream
  // identifier after its pack header, and the last audio pieces.
  std::vector<Subheader> sub(pieces);
  std::size_t lastE1 = 0, lastE2 = 0;
  bool haveE1 = false, haveE2 = false;
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::uint8_t id = data[i * kVCDForm2DataBytes + 15];
    std::uint8_t channel = 0, coding = 0x1F;
    if (id == 0xE0) {
      channel = 1;
      coding = 0x0F;
    } else if (id == 0xE1) {
      channel = 2;
      coding = 0x1F;
      lastE1 = i;
      haveE1 = true;
    } else if (id == 0xE2) {
      channel = 3;
      coding = 0x3F;
      lastE2 = i;
      haveE2 = true;
    }
    sub[i] = {1, channel, 0x62, coding};
  }
  if (haveE1 && lastE1 != 0) sub[lastE1][2] |= 0x01;
  if (haveE2 && lastE2 != 0) sub[lastE2][2] |= 0x01;
  sub[pieces - 1][2] |= 0x80;
  // Second pass: the pieces as Form 2 units.
  Unit unit;
  for (std::size_t i = 0; i < pieces; ++i) {
    MakeForm2Unit(sub[i], data.data() + i * kVCDForm2DataBytes, &unit);
    if (!WriteUnit(unit)) return false;
  }
  discpak::ComsLogF("WriteSegment: padding %s at %u", s.path.c_str(), position_);
  MakeForm2Unit(kSegmentPadSubheader, nullptr, &unit);
  while (position_ < end) {
    if (!WriteUnit(unit)) return false;
  }
  return true;
}

// Phase 1: every input is measured again now (one that is gone or changed
// fails the image) and the image is planned from the sizes.
bool VCDClassISOFormat::MeasureInputs(ImageInputs* in) {
  for (const FileEntry& f : files_) {
    const auto size = FileSize(f.source);
    if (!size) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open file " + f.source);
    if (*size > 0xFFFFFFFFull) return Fail(base::kWorkInputFailed, "ISOFormat: file too large " + f.source);
    in->fileSizes.push_back(*size);
  }
  std::vector<std::uint64_t> segmentSizes;
  in->segments = segments_;
  for (const Segment& s : in->segments) {
    const auto size = FileSize(s.path);
    if (!size || *size == 0) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open segment " + s.path);
    if (*size != s.size)
      return Fail(base::kWorkInputFailed, "ISOFormat: segment " + s.path + " changed size after it was added");
    segmentSizes.push_back(*size);
  }
  std::vector<std::uint64_t> trackSizes;
  for (const Track& t : tracks_) {
    const auto size = FileSize(t.path);
    if (!size) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open track " + t.path);
    trackSizes.push_back(*size);
  }
  in->plan = PlanVCDImage(in->fileSizes, segmentSizes, trackSizes);

  // The play-sequence files: LOT.VCD fills sectors 152-183 and PSD.VCD
  // starts at 184 and ends before the structures at 300.
  if (!lotFile_.empty()) {
    in->lotSize = FileSize(lotFile_);
    if (!in->lotSize) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open LOT.VCD source " + lotFile_);
    if (*in->lotSize > kLotBytes)
      return Fail(base::kWorkInputFailed, "ISOFormat: LOT.VCD is larger than 65536 bytes: " + lotFile_);
  }
  if (!psdFile_.empty()) {
    in->psdSize = FileSize(psdFile_);
    if (!in->psdSize) return Fail(base::kWorkInputFailed, "ISOFormat: cannot open PSD.VCD source " + psdFile_);
    if (*in->psdSize == 0 || *in->psdSize > kMaxPsdBytes)
      return Fail(base::kWorkInputFailed,
                  "ISOFormat: PSD.VCD must hold 1 to 237568 bytes (sectors 184-299): " + psdFile_);
    if (!in->lotSize) return Fail(base::kWorkInputFailed, "ISOFormat: PSD.VCD without LOT.VCD");
  }
  run_.SetPlanned(in->plan.track1Sectors);
  return true;
}

// Phase 2: INFO.VCD and ENTRIES.VCD, and the ISO 9660 (and Joliet) file
// system built on the manager from the plan; the manager's descriptors and
// structures are kept as sectors for the stream.
// INFO.VCD and ENTRIES.VCD from the plan.
void VCDClassISOFormat::MakeSystemFiles(const ImageInputs& in, FileSystem* fs) const {
  const VCDImagePlan& plan = in.plan;
  VCD11InfoVCD info;
  info.videoCd20 = plan.segments || in.psdSize.has_value();
  info.albumId = albumId_;
  info.psdSize = in.psdSize ? static_cast<std::uint32_t>(*in.psdSize) : 0;
  info.maxListId = in.psdSize ? maxListId_ : 0;
  if (plan.segments) info.firstSegmentLba = static_cast<std::int32_t>(plan.segmentsStart);
  for (const Segment& s : in.segments) {
    for (int k = 0; k < s.items; ++k) info.itemContent.push_back(static_cast<std::uint8_t>(s.content + (k > 0 ? 0x20 : 0)));
  }
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    info.palTracks.push_back(tracks_[i].flag == 0);
    // The entry points at the track's first MPEG sector, after its empty front.
    info.entries.push_back({static_cast<int>(i) + 2,
                            static_cast<std::int32_t>(plan.track[i].start + plan.track[i].sectors.front)});
  }
  fs->infoSector = info.InfoSector();
  fs->entriesSector = info.EntriesSector();
}

// The volume descriptors' identifiers and dates: the engine's volume record,
// or the system identifier and the time of the layout.
void VCDClassISOFormat::DescribeVolume(I_CD_SessionMaster* dm, const SYSTEMTIME& now) const {
  // A Video CD names its system so players and computers recognise it.
  std::string systemId = "CD-RTOS CD-BRIDGE";
  if (volume_) {
    const std::uint8_t* r = volume_->data();
    const std::string given = RecordText(r, 64, 32);
    if (!given.empty()) systemId = given;
    dm->SetSystemId(systemId.c_str());
    dm->SetVolumeId(RecordText(r, 96, 32).c_str());
    dm->SetVolumeSetId(RecordText(r, 128, 128).c_str());
    dm->SetPublisherId(RecordText(r, 256, 128).c_str());
    dm->SetDataPreparerId(RecordText(r, 384, 128).c_str());
    dm->SetApplicationId(RecordText(r, 512, 128).c_str());
    dm->SetCopyrightFileId(RecordText(r, 640, 37).c_str());
    dm->SetAbstractFileId(RecordText(r, 677, 37).c_str());
    dm->SetBibliographicFileId(RecordText(r, 714, 37).c_str());
    // Dates left blank (spaces) stay "not specified".
    SYSTEMTIME t;
    if (RecordDate(r, 0, &t)) dm->SetCreationDate(&t);
    if (RecordDate(r, 16, &t)) dm->SetModificationDate(&t);
    if (RecordDate(r, 32, &t)) dm->SetExpirationDate(&t);
    if (RecordDate(r, 48, &t)) dm->SetEffectiveDate(&t);
  } else {
    dm->SetSystemId(systemId.c_str());
    dm->SetCreationDate(&now);
    dm->SetModificationDate(&now);
  }
}

bool VCDClassISOFormat::BuildFileSystem(const ImageInputs& in, FileSystem* fs) {
  const VCDImagePlan& plan = in.plan;
  const std::vector<std::uint64_t>& fileSizes = in.fileSizes;
  const std::vector<Segment>& segments = in.segments;
  MakeSystemFiles(in, fs);

  // The file system on the manager.
  std::unique_ptr<I_CD_SessionMaster, SessionDeleter> dm(isofs::CreateDM(nullptr));
  if (!dm) return Fail(base::kWorkFault, "ISOFormat: no session master");
  dm->BeginSession();
  static const DWORD kFormats[] = {9, 11, 40};
  dm->SetSessionParms(0, 0, kFormats[fsType_]);
  const SYSTEMTIME now = LocalNow();
  DescribeVolume(dm.get(), now);

  discpak::ComsLogF("ISOTrackEncode: Adding arbitrary files");
  auto dateOf = [&](const Date& d) { return d.given ? FromWords(d.words) : now; };
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const FileEntry& f = files_[i];
    const SYSTEMTIME date = dateOf(f.date);
    const std::u16string path = base::Utf8ToUtf16(DiscPath(f.isoPath));
    const std::u16string alt = base::Utf8ToUtf16(f.altName.empty() ? std::string() : DiscPath(f.altName));
    I_File* entry = dm->AddPathXA(path.c_str(), static_cast<DWORD>(fileSizes[i]), plan.fileStart[i], 0, &date,
                                  f.altName.empty() ? nullptr : alt.c_str(), kXAForm1, 0, 0, 0);
    if (entry && f.type == 1) entry->Set_FS_Flags(9);
    if (entry && f.type == 2) entry->Set_FS_Flags(10);
  }
  if (plan.segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
      const Segment& s = segments[i];
      std::uint32_t at = plan.segment[i].start;
      for (int k = 0; k < s.items; ++k) {
        const std::uint32_t sectors = plan.segment[i].itemSectors[static_cast<std::size_t>(k)];
        char name[64];
        std::snprintf(name, sizeof name, "\\SEGMENT\\ITEM%04d.DAT", s.firstItem + k);
        dm->AddPathXA(name, sectors * 2048, at, 0, &now, kXAForm2, 0, 0, 0);
        const std::string& alt = segmentNames_[static_cast<std::size_t>(s.firstItem + k)];
        if (!alt.empty()) {
          const std::u16string w = base::Utf8ToUtf16(DiscPath(alt));
          dm->AddPathXA(w.c_str(), sectors * 2048, at, 0, &now, nullptr, kXAForm2, 0, 0, 0);
        }
        discpak::ComsLogF("ISOFormat: segment %d starts at %u", s.firstItem + k, at);
        at += RoundUp(sectors, 150);
      }
    }
  }
  for (const Link& l : links_) {
    const SYSTEMTIME date = dateOf(l.date);
    const std::u16string w = base::Utf8ToUtf16(DiscPath(l.path));
    dm->AddPathXA(w.c_str(), static_cast<DWORD>(fileSizes[l.file]), plan.fileStart[l.file], 0, &date, nullptr,
                  kXAForm1, 0, 0, 0);
  }
  dm->AddPathXA("\\VCD\\INFO.VCD", 2048, kInfoSector, 0, &now, kXAForm1, 0, 0, 0);
  dm->AddPathXA("\\VCD\\ENTRIES.VCD", 2048, kEntriesSector, 0, &now, kXAForm1, 0, 0, 0);
  if (in.psdSize)
    dm->AddPathXA("\\VCD\\PSD.VCD", static_cast<DWORD>(*in.psdSize), kPsdSector, 0, &now, kXAForm1, 0, 0, 0);
  if (in.lotSize)
    dm->AddPathXA("\\VCD\\LOT.VCD", static_cast<DWORD>(*in.lotSize), kLotSector, 0, &now, kXAForm1, 0, 0, 0);
  dm->AddPath("\\KARAOKE", &now, nullptr);
  dm->AddPath("\\CDI", &now, nullptr);
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    const VCDImagePlan::Track& t = plan.track[i];
    char name[64];
    std::snprintf(name, sizeof name, "\\MPEGAV\\AVSEQ%02d.DAT", static_cast<int>(i) + 1);
    dm->AddPathXA(name, t.sectors.total * 2048, t.start, 0, &now, kXAForm2, 0, 0, 0);
    const std::string& alt = trackNames_[i + 2];
    if (!alt.empty()) {
      const std::u16string w = base::Utf8ToUtf16(DiscPath(alt));
      dm->AddPathXA(w.c_str(), t.sectors.total * 2048, t.start, 0, &now, nullptr, kXAForm2, 0, 0, 0);
    }
    discpak::ComsLogF("\\MPEGAV\\AVSEQ%02d.DAT starts at %u", static_cast<int>(i) + 1, t.start);
  }

  dm->SetStructureOffset(kStructureSector);
  const DWORD end = dm->GetStructureEnd();
  if (end < kStructureSector || end - kStructureSector > kMaxStructureSectors)
    return Fail(base::kWorkInputFailed, "ISOFormat: too many ISO sectors, too many file entries!");
  if (end > kFilesStart) return Fail(base::kWorkInputFailed, "ISOFormat: the file-system structures pass sector 1300");
  // Every record holds the absolute sector at which this stream writes the
  // file's data.
  dm->UpdateISO_Entries(0);
  fs->head.assign(150 * 2048, 0);
  dm->GetSessionSectors(0, 19, fs->head.data());
  // The volume is track 1; the AVSEQ entries beyond it are not counted.
  for (std::uint32_t s = 16; s < 19; ++s) {
    std::uint8_t* d = fs->head.data() + s * 2048;
    if ((d[0] == 1 || d[0] == 2) && std::memcmp(d + 1, "CD001", 5) == 0) PutBoth32(d + 80, plan.track1Sectors);
  }
  fs->structures.assign(static_cast<std::size_t>(end - kStructureSector) * 2048, 0);
  dm->GetSessionSectors(kStructureSector, end - kStructureSector, fs->structures.data());
  return true;
}

// Phase 3: the track, unit by unit, in the order of its sectors.
bool VCDClassISOFormat::StreamTrack(const ImageInputs& in, const FileSystem& fs) {
  const VCDImagePlan& plan = in.plan;
  // Sectors 0-1299: descriptors, INFO, ENTRIES, LOT, PSD, structures. The
  // volume descriptor set terminator ends a record and a file, and the last
  // sector of each Video CD file ends that file, as the CD-XA rules give it.
  for (std::uint32_t s = 0; s < 150; ++s) {
    const std::uint8_t* d = fs.head.data() + static_cast<std::size_t>(s) * 2048;
    const bool terminator = s >= 16 && d[0] == 255 && std::memcmp(d + 1, "CD001", 5) == 0;
    if (!WriteForm1(d, terminator ? kSubmodeEndOfRecord | kSubmodeEndOfFile : 0)) return false;
  }
  if (!WriteForm1(fs.infoSector.data(), kSubmodeEndOfFile) ||
      !WriteForm1(fs.entriesSector.data(), kSubmodeEndOfFile))
    return false;
  if (in.lotSize) {
    std::vector<std::uint8_t> lot(kLotBytes, 0xFF);
    std::ifstream source(lotFile_, std::ios::binary);
    source.read(reinterpret_cast<char*>(lot.data()), static_cast<std::streamsize>(*in.lotSize));
    if (static_cast<std::uint64_t>(source.gcount()) != *in.lotSize)
      return Fail(base::kWorkInputFailed, "ISOFormat: cannot read " + lotFile_);
    // The file's extent ends with its last sector; the sectors after it up
    // to PSD.VCD are padding.
    const std::uint32_t lotSectors = Sectors2048(*in.lotSize);
    for (std::uint32_t s = 0; s < 32; ++s) {
      if (!WriteForm1(lot.data() + static_cast<std::size_t>(s) * 2048, s + 1 == lotSectors ? kSubmodeEndOfFile : 0))
        return false;
    }
  }
  while (position_ < kPsdSector) {
    if (!WriteForm1(nullptr)) return false;
  }
  if (in.psdSize && !WriteFileForm1(psdFile_, *in.psdSize, "PSD.VCD source", kSubmodeEndOfFile)) return false;
  while (position_ < kStructureSector) {
    if (!WriteForm1(nullptr)) return false;
  }
  for (std::size_t at = 0; at < fs.structures.size(); at += 2048) {
    if (!WriteForm1(fs.structures.data() + at)) return false;
  }
  while (position_ < kFilesStart) {
    if (!WriteForm1(nullptr)) return false;
  }
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (position_ != plan.fileStart[i]) return Fail(base::kWorkFault, "ISOFormat: file placed at the wrong sector");
    if (!WriteFileForm1(files_[i].source, in.fileSizes[i], "file")) return false;
  }
  for (std::size_t i = 0; i < in.segments.size(); ++i) {
    if (!WriteSegment(in.segments[i], plan.segment[i])) return false;
  }
  if (position_ != plan.track1Sectors) return Fail(base::kWorkFault, "ISOFormat: the track ended at the wrong sector");
  return true;
}

}  // namespace vexa::vcd
