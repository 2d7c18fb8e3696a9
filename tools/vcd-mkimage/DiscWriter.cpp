#include "tools/vcd-mkimage/DiscWriter.h"

#include <array>
#include <cstring>

#include "disclib/vcd/RecorderLink.h"
#include "disclib/vcd/Sectors.h"

namespace vexa::vcdmkimage {

namespace {
std::string Msf(std::uint32_t lba) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", lba / 4500, lba % 4500 / 75, lba % 75);
  return text;
}
}  // namespace

DiscWriter::~DiscWriter() {
  if (file_) std::fclose(file_);
}

bool DiscWriter::Open(const std::string& binPath, std::string* error) {
  file_ = std::fopen(binPath.c_str(), "wb");
  if (!file_) {
    *error = "cannot create " + binPath;
    return false;
  }
  const auto slash = binPath.find_last_of('/');
  binName_ = slash == std::string::npos ? binPath : binPath.substr(slash + 1);
  return true;
}

bool DiscWriter::WriteRaw(const std::uint8_t* raw) {
  // No CD holds more than 100 minutes: a longer image is a fault, not a disc.
  if (lba_ >= kMaxSectors) return false;
  if (std::fwrite(raw, 1, 2352, file_) != 2352) return false;
  ++lba_;
  return true;
}

bool DiscWriter::StartTrack() {
  if (!trackStarts_.empty()) {
    // The gap the drive leaves: 2 run-out sectors and the 150-sector pre-gap.
    vcd::Unit empty{};
    empty[2] = empty[6] = 0x20;  // Form 2
    const std::uint32_t start = next_ + kVCDTrackGapSectors;
    while (lba_ < start) {
      if (!WriteUnit(empty.data())) return false;
    }
  }
  trackStarts_.push_back(lba_);
  return true;
}

bool DiscWriter::WriteUnit(const std::uint8_t* unit) {
  std::array<std::uint8_t, 2352> raw{};
  std::memset(raw.data() + 1, 0xFF, 10);
  const auto msf = vcd::LBAToMSFBCD(static_cast<std::int32_t>(lba_));
  raw[12] = msf[0];
  raw[13] = msf[1];
  raw[14] = msf[2];
  raw[15] = 2;
  std::memcpy(raw.data() + 16, unit, kVCDUnitBytes);
  if (unit[2] & 0x20) {
    CalcEDC(raw.data(), nullptr, 3);
  } else {
    CalcEDC(raw.data(), nullptr, 2);
    CalcECC_P(2, raw.data());
    CalcECC_Q(2, raw.data());
  }
  if (!WriteRaw(raw.data())) return false;
  next_ = lba_;
  return true;
}

bool DiscWriter::Close(const std::string& cuePath, std::string* error) {
  if (!file_) return false;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok) {
    *error = "writing the image failed";
    return false;
  }
  std::FILE* cue = std::fopen(cuePath.c_str(), "w");
  if (!cue) {
    *error = "cannot create " + cuePath;
    return false;
  }
  std::fprintf(cue, "FILE \"%s\" BINARY\n", binName_.c_str());
  for (std::size_t i = 0; i < trackStarts_.size(); ++i) {
    std::fprintf(cue, "  TRACK %02zu MODE2/2352\n", i + 1);
    if (i > 0) std::fprintf(cue, "    INDEX 00 %s\n", Msf(trackStarts_[i] - 150).c_str());
    std::fprintf(cue, "    INDEX 01 %s\n", Msf(trackStarts_[i]).c_str());
  }
  if (std::fclose(cue) != 0) {
    *error = "cannot write " + cuePath;
    return false;
  }
  return true;
}

}  // namespace vexa::vcdmkimage
