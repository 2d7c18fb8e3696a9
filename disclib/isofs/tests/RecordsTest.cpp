// Byte layouts of descriptors, records, dates and both-endian numbers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "disclib/isofs/Include/FormatBundles.h"
#include "disclib/isofs/Records.h"

namespace {

SYSTEMTIME Date(int y, int mo, int d, int h, int mi, int s) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(mo);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(mi);
  t.wSecond = static_cast<WORD>(s);
  return t;
}

std::string Text(const BYTE* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// Runs a block with the process's time zone set to tz.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(Records, FreshPrimaryDescriptor) {
  PrimaryVolumeDescriptor pvd;
  const BYTE* d = pvd.Bytes();
  EXPECT_EQ(d[0], 1);
  EXPECT_EQ(Text(d + 1, 5), "CD001");
  EXPECT_EQ(d[6], 1);
  EXPECT_EQ(rec::GetLE32(d + 80), 406000u);
  EXPECT_EQ(rec::GetBE32(d + 84), 406000u);
  EXPECT_EQ(rec::GetLE16(d + 128), 2048);
  EXPECT_EQ(rec::GetBE16(d + 130), 2048);
  EXPECT_EQ(d[156], 34);
  EXPECT_EQ(d[156 + 25], 2);
  EXPECT_EQ(d[881], 1);
  for (int off : {813, 830, 847, 864}) {
    EXPECT_EQ(Text(d + off, 16), "0000000000000000");
    EXPECT_EQ(d[off + 16], 0);
  }
  EXPECT_EQ(Text(d + 40, 32), std::string(32, ' '));
}

TEST(Records, BothEndianNumbers) {
  BYTE b[8] = {};
  rec::PutBoth32(b, 0x01020304);
  const BYTE want32[8] = {4, 3, 2, 1, 1, 2, 3, 4};
  EXPECT_EQ(0, std::memcmp(b, want32, 8));
  rec::PutBoth16(b, 0x0A0B);
  const BYTE want16[4] = {0x0B, 0x0A, 0x0A, 0x0B};
  EXPECT_EQ(0, std::memcmp(b, want16, 4));
}

}  // namespace
