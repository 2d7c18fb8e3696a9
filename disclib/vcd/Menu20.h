// VCDClass20Menu: the play, selection and end lists of a Video CD 2.0 disc,
// laid out as PSD.VCD (the descriptors) and LOT.VCD (list identifier to
// descriptor offset). Every number in both files is big-endian; offsets are
// byte positions in PSD.VCD divided by 8.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disclib/vcd/VCDClasses.h"

namespace vexa::vcd {

// Where the files go on the disc: LOT.VCD fills the 32 sectors from 152,
// PSD.VCD starts at sector 184 and must end before the structures at 300.
inline constexpr std::int32_t kLotBytes = 65536;
inline constexpr std::int32_t kMaxPsdBytes = (300 - 184) * 2048;
// The LOT holds 2 x maxListId + 2 bytes.
inline constexpr std::int32_t kMaxListId = (kLotBytes - 2) / 2;

class VCDClass20Menu final : public I_VCDClass20Menu {
 public:
  explicit VCDClass20Menu(std::uint16_t maxListId);
  ~VCDClass20Menu() override;

  I_VCD20PlayList* NewPlayList(std::uint16_t id) override;
  I_VCD20SelList* NewSelList(std::uint16_t id) override;
  I_VCD20EndList* NewEndList(std::uint16_t id) override;
  const std::uint8_t* BuildLOT(std::int32_t* size) override;
  const std::uint8_t* BuildPSD(std::int32_t* size) override;
  const char* GetError() override { return error_.c_str(); }

  std::uint16_t maxListId() const { return maxListId_; }

 private:
  bool SlotFree(std::uint16_t id) const;
  // Byte position of each list in PSD.VCD by identifier (-1: no list); the total.
  std::int64_t Positions(std::vector<std::int32_t>* positions) const;

  std::uint16_t maxListId_;
  std::vector<std::unique_ptr<I_VCD20List>> lists_;  // index = list identifier
  std::vector<std::uint8_t> lot_, psd_;
  std::string error_;
};

// The offset written for a link to `target`: its position / 8, or 0xFFFF
// when it names no list that exists.
std::uint16_t ListOffset(std::uint16_t target, std::uint16_t maxListId, const std::int32_t* positions);

}  // namespace vexa::vcd
