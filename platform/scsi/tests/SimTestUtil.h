// A simulated drive in a fresh folder, driven command by command.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "platform/scsi/SimDrive.h"

namespace simtest {

using namespace vexa::scsi;
using namespace vexa::scsi::sim;

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "simdrive");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    drive_.reset();
    vexa::base::RemoveAll(dir_);
  }
  void Configure(const std::string& conf) {
    ASSERT_TRUE(vexa::base::WriteFileAtomic(vexa::base::JoinPath(dir_, "drive.conf"), conf));
  }
  void Open() {
    drive_.reset();
    std::string error;
    drive_ = SimDrive::Open(dir_, &error);
    ASSERT_TRUE(drive_) << error;
  }
  Result Cmd(std::initializer_list<int> cdbBytes, Direction d = Direction::None,
             std::vector<std::uint8_t>* data = nullptr) {
    std::vector<std::uint8_t> cdb;
    for (int b : cdbBytes) cdb.push_back(static_cast<std::uint8_t>(b));
    Command c;
    c.cdb = cdb.data();
    c.cdbLength = static_cast<int>(cdb.size());
    c.direction = d;
    if (data) {
      c.data = data->data();
      c.length = static_cast<std::uint32_t>(data->size());
    }
    return drive_->Execute(c);
  }
  std::vector<std::uint8_t> In(std::initializer_list<int> cdb, std::size_t length, Result* result = nullptr) {
    std::vector<std::uint8_t> buffer(length, 0xEE);
    Result r = Cmd(cdb, Direction::In, &buffer);
    if (result) *result = r;
    buffer.resize(r.transferred);
    return buffer;
  }
  static std::string SenseText(const Result& r) {
    if (r.Ok()) return "GOOD";
    if (r.timedOut) return "TIMEOUT";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%x/%02x/%02x", r.SenseKey(), r.Asc(), r.Ascq());
    return buf;
  }
  // MODE SELECT(10) of page 5 with a write type, track mode, block type and
  // session format (byte 3 bits 6-7 from multisession).
  Result WriteParameters(int writeType, int trackMode, int blockType, int format, int multisession = 0,
                         int packetSize = 0, const std::uint8_t* subheader = nullptr) {
    std::vector<std::uint8_t> list(8 + 52, 0);
    std::uint8_t* p = list.data() + 8;
    p[0] = 0x05;
    p[1] = 0x32;
    p[2] = static_cast<std::uint8_t>(writeType);
    p[3] = static_cast<std::uint8_t>((multisession << 6) | trackMode | (packetSize ? 0x20 : 0));
    p[4] = static_cast<std::uint8_t>(blockType);
    p[8] = static_cast<std::uint8_t>(format);
    p[10] = static_cast<std::uint8_t>(packetSize >> 24);
    p[11] = static_cast<std::uint8_t>(packetSize >> 16);
    p[12] = static_cast<std::uint8_t>(packetSize >> 8);
    p[13] = static_cast<std::uint8_t>(packetSize);
    p[15] = 150;
    if (subheader) std::copy(subheader, subheader + 4, p + 48);
    return Cmd({0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<int>(list.size()), 0}, Direction::Out, &list);
  }
  Result Write(std::int32_t lba, int count, std::vector<std::uint8_t>& data) {
    const std::uint32_t a = static_cast<std::uint32_t>(lba);
    return Cmd({0x2A, 0, static_cast<int>(a >> 24), static_cast<int>((a >> 16) & 0xFF),
                static_cast<int>((a >> 8) & 0xFF), static_cast<int>(a & 0xFF), 0, count >> 8, count & 0xFF, 0},
               Direction::Out, &data);
  }
  // READ TRACK INFORMATION by track number: (start, next writable address).
  std::pair<std::int32_t, std::int32_t> TrackInfo(int track) {
    auto r = In({0x52, 1, 0, 0, 0, track, 0, 0, 36, 0}, 36);
    if (r.size() < 16) return {-1, -1};
    auto be = [&](int at) {
      return static_cast<std::int32_t>((r[at] << 24) | (r[at + 1] << 16) | (r[at + 2] << 8) | r[at + 3]);
    };
    return {be(8), be(12)};
  }
  std::string ReadFileText(const std::string& name) {
    std::string text;
    vexa::base::ReadFile(vexa::base::JoinPath(dir_, name), &text);
    return text;
  }

  std::string dir_;
  std::unique_ptr<SimDrive> drive_;
};

}  // namespace simtest
