#include "disclib/vcd/Menu20.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disclib/recorder/ComsLog.h"

namespace vexa::vcd {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

std::int32_t RoundUp8(std::int32_t n) { return (n + 7) & ~7; }

class PlayList final : public I_VCD20PlayList {
 public:
  explicit PlayList(std::uint16_t id) : id_(id) { items_.fill(0xFFFF); }
  void SetListId(std::uint16_t id) override { id_ = id; }
  std::uint16_t GetListId() override { return id_; }
  std::int32_t GetSize() override { return RoundUp8(14 + 2 * count_); }
  void Write(std::uint16_t maxListId, const std::int32_t* positions, std::uint8_t* out) override {
    std::memset(out, 0, static_cast<std::size_t>(GetSize()));
    out[0] = 0x10;
    out[1] = static_cast<std::uint8_t>(count_);
    Put16(out + 2, id_);
    Put16(out + 4, ListOffset(prev_, maxListId, positions));
    Put16(out + 6, ListOffset(next_, maxListId, positions));
    Put16(out + 8, ListOffset(return_, maxListId, positions));
    Put16(out + 10, playingTime_);
    out[12] = wait_;
    out[13] = autoWait_;
    for (int i = 0; i < count_; ++i) Put16(out + 14 + 2 * i, items_[static_cast<std::size_t>(i)]);
  }
  std::int32_t SetLink(std::int32_t kind, std::uint16_t id) override {
    switch (kind) {
      case 0: prev_ = id; return 1;
      case 1: next_ = id; return 1;
      case 2: return_ = id; return 1;
      default: return 0;
    }
  }
  std::int32_t SetItemCount(std::int32_t n) override {
    const std::uint8_t b = static_cast<std::uint8_t>(n);
    if (b > 100) return 0;
    count_ = b;
    return 1;
  }
  std::int32_t SetItem(std::int32_t index, std::int32_t item) override {
    const std::uint8_t i = static_cast<std::uint8_t>(index);
    if (i > 99 || i > count_ || item < 0 || item >= 2980) return 0;
    items_[i] = static_cast<std::uint16_t>(item);
    return 1;
  }
  void SetPlayingTime(std::int32_t t) override { playingTime_ = static_cast<std::uint16_t>(t); }
  void SetWaitTimes(std::int32_t wait, std::int32_t autoWait) override {
    wait_ = static_cast<std::uint8_t>(wait);
    autoWait_ = static_cast<std::uint8_t>(autoWait);
  }

 private:
  std::uint16_t id_;
  int count_ = 0;
  std::uint16_t prev_ = kVCDNoList, next_ = kVCDNoList, return_ = kVCDNoList;
  std::uint16_t playingTime_ = 0;
  std::uint8_t wait_ = 0, autoWait_ = 0;
  std::array<std::uint16_t, 100> items_{};
};

class SelList final : public I_VCD20SelList {
 public:
  explicit SelList(std::uint16_t id) : id_(id) {}
  void SetListId(std::uint16_t id) override { id_ = id; }
  std::uint16_t GetListId() override { return id_; }
  std::int32_t GetSize() override { return RoundUp8(20 + 2 * count_); }
  void Write(std::uint16_t maxListId, const std::int32_t* positions, std::uint8_t* out) override {
    std::memset(out, 0, static_cast<std::size_t>(GetSize()));
    out[0] = 0x18;
    out[1] = 0;
    out[2] = static_cast<std::uint8_t>(count_);
    out[3] = base_;
    Put16(out + 4, id_);
    Put16(out + 6, ListOffset(prev_, maxListId, positions));
    Put16(out + 8, ListOffset(next_, maxListId, positions));
    Put16(out + 10, ListOffset(return_, maxListId, positions));
    Put16(out + 12, ListOffset(default_, maxListId, positions));
    Put16(out + 14, ListOffset(timeoutList_, maxListId, positions));
    out[16] = timeout_;
    out[17] = loop_;
    Put16(out + 18, item_);
    // A selection never set names no list (0xFFFF), not the first descriptor.
    for (int i = 0; i < count_; ++i) {
      Put16(out + 20 + 2 * i, ListOffset(targets_[static_cast<std::size_t>(i)], maxListId, positions));
    }
  }
  std::int32_t SetLink(std::int32_t kind, std::uint16_t id) override {
    switch (kind) {
      case 0: prev_ = id; return 1;
      case 1: next_ = id; return 1;
      case 2: return_ = id; return 1;
      case 3: default_ = id; return 1;
      case 4: timeoutList_ = id; return 1;
      default: return 0;
    }
  }
  std::int32_t SetSelections(std::int32_t count, std::int32_t base) override {
    const std::uint8_t c = static_cast<std::uint8_t>(count), b = static_cast<std::uint8_t>(base);
    if (c + b >= 100 || b == 0) return 0;
    count_ = c;
    base_ = b;
    return 1;
  }
  std::int32_t SetSelection(std::int32_t number, std::uint16_t id) override {
    const std::uint8_t index = static_cast<std::uint8_t>(number - base_);
    if (index > 99 || index > count_) return 0;
    targets_[index] = id;
    return 1;
  }
  void SetItem(std::int32_t item) override { item_ = static_cast<std::uint16_t>(item); }
  void SetWaitTime(std::int32_t t) override { timeout_ = static_cast<std::uint8_t>(t); }
  void SetLoop(std::int32_t n) override { loop_ = static_cast<std::uint8_t>(n); }

 private:
  std::uint16_t id_;
  int count_ = 0;
  std::uint8_t base_ = 1;
  std::uint16_t prev_ = kVCDNoList, next_ = kVCDNoList, return_ = kVCDNoList, default_ = kVCDNoList,
                timeoutList_ = kVCDNoList;
  std::uint8_t timeout_ = 0, loop_ = 0;
  std::uint16_t item_ = 0;
  std::array<std::uint16_t, 100> targets_{};
};

class EndList final : public I_VCD20EndList {
 public:
  explicit EndList(std::uint16_t id) : id_(id) {}
  void SetListId(std::uint16_t id) override { id_ = id; }
  std::uint16_t GetListId() override { return id_; }
  std::int32_t GetSize() override { return 8; }
  void Write(std::uint16_t, const std::int32_t*, std::uint8_t* out) override {
    std::memset(out, 0, 8);
    out[0] = 0x1F;
  }
  std::int32_t Reserved() override { return 0; }

 private:
  std::uint16_t id_;
};

}  // namespace

std::uint16_t ListOffset(std::uint16_t target, std::uint16_t maxListId, const std::int32_t* positions) {
  // Unset (0), beyond the table, or a list that does not exist: disabled.
  if (target == 0 || target == kVCDNoList || target > maxListId) return kVCDNoList;
  const std::int32_t position = positions[target];
  if (position < 0) return kVCDNoList;
  return static_cast<std::uint16_t>(position / 8);
}

VCDClass20Menu::VCDClass20Menu(std::uint16_t maxListId)
    : maxListId_(maxListId), lists_(static_cast<std::size_t>(maxListId) + 1) {}

VCDClass20Menu::~VCDClass20Menu() = default;

bool VCDClass20Menu::SlotFree(std::uint16_t id) const { return id != 0 && id <= maxListId_ && !lists_[id]; }

I_VCD20PlayList* VCDClass20Menu::NewPlayList(std::uint16_t id) {
  if (!SlotFree(id)) return nullptr;
  auto* l = new PlayList(id);
  lists_[id].reset(l);
  return l;
}

I_VCD20SelList* VCDClass20Menu::NewSelList(std::uint16_t id) {
  if (!SlotFree(id)) return nullptr;
  auto* l = new SelList(id);
  lists_[id].reset(l);
  return l;
}

I_VCD20EndList* VCDClass20Menu::NewEndList(std::uint16_t id) {
  if (!SlotFree(id)) return nullptr;
  auto* l = new EndList(id);
  lists_[id].reset(l);
  return l;
}

std::int64_t VCDClass20Menu::Positions(std::vector<std::int32_t>* positions) const {
  positions->assign(lists_.size(), -1);
  std::int64_t total = 0;
  for (std::size_t id = 1; id < lists_.size(); ++id) {
    if (!lists_[id]) continue;
    (*positions)[id] = static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
    total += lists_[id]->GetSize();
  }
  return total;
}

const std::uint8_t* VCDClass20Menu::BuildLOT(std::int32_t* size) {
  if (size) *size = 0;
  lot_.clear();
  error_.clear();
  if (maxListId_ > kMaxListId) {
    error_ = "LOT.VCD would exceed 65536 bytes: more than 32767 lists";
    discpak::ComsLogF("VCDClass20Menu::BuildLOT - %s", error_.c_str());
    return nullptr;
  }
  std::vector<std::int32_t> positions;
  const std::int64_t total = Positions(&positions);
  if (total > kMaxPsdBytes) {
    error_ = "PSD.VCD would run past sector 300: " + std::to_string(total) + " bytes";
    discpak::ComsLogF("VCDClass20Menu::BuildLOT - %s", error_.c_str());
    return nullptr;
  }
  lot_.assign(2 * static_cast<std::size_t>(maxListId_) + 2, 0);
  for (std::size_t id = 1; id < lists_.size(); ++id) {
    Put16(lot_.data() + 2 * id, positions[id] < 0 ? kVCDNoList : static_cast<std::uint16_t>(positions[id] / 8));
  }
  if (size) *size = static_cast<std::int32_t>(lot_.size());
  return lot_.data();
}

const std::uint8_t* VCDClass20Menu::BuildPSD(std::int32_t* size) {
  if (size) *size = 0;
  psd_.clear();
  error_.clear();
  std::vector<std::int32_t> positions;
  const std::int64_t total = Positions(&positions);
  if (total > kMaxPsdBytes) {
    error_ = "PSD.VCD would run past sector 300: " + std::to_string(total) + " bytes";
    discpak::ComsLogF("VCDClass20Menu::BuildPSD - %s", error_.c_str());
    return nullptr;
  }
  psd_.assign(static_cast<std::size_t>(total), 0);
  for (std::size_t id = 1; id < lists_.size(); ++id) {
    if (lists_[id]) lists_[id]->Write(maxListId_, positions.data(), psd_.data() + positions[id]);
  }
  if (size) *size = static_cast<std::int32_t>(psd_.size());
  return psd_.data();
}

}  // namespace vexa::vcd
