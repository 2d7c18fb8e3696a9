// Byte layouts of descriptors, records, dates and both-endian numbers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "disclib/isofs/Include/FormatBundles.h"
#include "disclib/isofs/Records_p.h"
// The component core's date conversions and the manager's records share one
// calendar-time record: a program may include both.
#include "platform/com/Date.h"
#include "tests/support/Checkers.h"

using namespace isofs;

namespace {

static_assert(sizeof(SYSTEMTIME) == 16, "eight 16-bit fields");

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

TEST(Records, DirectoryRecordSizes) {
  struct Case {
    const char* name;
    int idLength;
    int recordLength;
  } cases[] = {{"A.TXT;1", 7, 42}, {"AB.TXT;1", 8, 44}, {"PICS", 4, 40}, {"X", 1, 36}};
  for (const Case& c : cases) {
    BYTE r[64];
    std::memset(r, 0xEE, sizeof r);
    ISO_Dir_InitDir(r);
    ISO_Dir_SetName(r, c.name, 0);
    EXPECT_EQ(r[32], c.idLength) << c.name;
    EXPECT_EQ(r[0], c.recordLength) << c.name;
    // Identifier, pad and the two system-use bytes are all written.
    for (int i = 33 + c.idLength; i < c.recordLength; ++i) EXPECT_EQ(r[i], 0) << c.name << " byte " << i;
    EXPECT_EQ(rec::GetLE16(r + 28), 1);
    EXPECT_EQ(rec::GetBE16(r + 30), 1);
  }
}

TEST(Records, OverlongIdentifierKeepsAValidRecordLength) {
  std::vector<BYTE> r(300, 0xEE);
  ISO_Dir_InitDir(r.data());
  ISO_Dir_SetName(r.data(), std::string(240, 'X').c_str(), 0);
  EXPECT_EQ(r[32], 219);
  EXPECT_EQ(r[0], 254);
  EXPECT_EQ(r[33 + 219], 0);
  EXPECT_EQ(r[33 + 220], 0);
  EXPECT_EQ(r[254], 0xEE);
}

TEST(Records, FillersRefuseNullRecords) {
  try {
    ISO_Dir_SetDataSize(nullptr, 1);
    FAIL();
  } catch (const E_NullPointer& e) {
    EXPECT_EQ(e.GetComment(), "Null pointer to target directory structure");
  }
  EXPECT_THROW(ISO_Path_InitRoot(nullptr), E_NullPointer);
}

TEST(Records, RootPathTableRecord) {
  BYTE r[10];
  std::memset(r, 0xEE, sizeof r);
  EXPECT_EQ(ISO_Path_InitRoot(r), 10);
  const BYTE want[10] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(r, want, 10));
}

TEST(Records, Dates) {
  ZoneGuard utc("UTC0");
  const SYSTEMTIME t = Date(2002, 5, 2, 9, 5, 7);
  BYTE d17[17];
  rec::PutDate17(d17, &t);
  EXPECT_EQ(Text(d17, 16), "2002050209050700");
  EXPECT_EQ(d17[16], 0);
  BYTE d7[7];
  rec::PutDate7(d7, &t);
  const BYTE want7[7] = {102, 5, 2, 9, 5, 7, 0};
  EXPECT_EQ(0, std::memcmp(d7, want7, 7));

  // Out-of-range parts are clamped, never refused.
  const SYSTEMTIME wild = Date(12000, 13, 40, 25, 60, 61);
  rec::PutDate17(d17, &wild);
  EXPECT_EQ(Text(d17, 16), "9999999999999900");
  rec::PutDate7(d7, &wild);
  const BYTE wild7[6] = {147, 255, 255, 255, 255, 255};
  EXPECT_EQ(0, std::memcmp(d7, wild7, 6));

  // Read back.
  rec::PutDate17(d17, &t);
  const SYSTEMTIME back = rec::GetDate17(d17);
  EXPECT_EQ(back.wYear, 2002);
  EXPECT_EQ(back.wMonth, 5);
  EXPECT_EQ(back.wSecond, 7);
}

TEST(Records, NoDateIsTheAllZeroForm) {
  const SYSTEMTIME none{};
  BYTE d7[7];
  std::memset(d7, 0xEE, sizeof d7);
  rec::PutDate7(d7, &none);
  for (BYTE b : d7) EXPECT_EQ(b, 0);
  rec::PutDate7(d7, nullptr);
  for (BYTE b : d7) EXPECT_EQ(b, 0);
  BYTE d17[17];
  rec::PutDate17(d17, &none);
  EXPECT_EQ(Text(d17, 16), "0000000000000000");
  EXPECT_EQ(d17[16], 0);
}

// The offset written is the one of the local time recorded: daylight
// saving included, in both date forms.
TEST(Records, ZoneOffsetOfTheRecordedTime) {
  if (access("/usr/share/zoneinfo/Europe/Berlin", R_OK) != 0) {
    if (vexa::testsupport::CheckersRequired()) FAIL() << "time zone data missing";
    GTEST_SKIP() << "time zone data missing";
  }
  struct Case {
    const char* tz;
    SYSTEMTIME t;
    int quarters;
  } cases[] = {
      {"Europe/Berlin", Date(2024, 1, 15, 12, 0, 0), 4},
      {"Europe/Berlin", Date(2024, 7, 15, 12, 0, 0), 8},
      {"America/New_York", Date(2024, 1, 15, 12, 0, 0), -20},
      {"America/New_York", Date(2024, 7, 15, 12, 0, 0), -16},
      {"Asia/Kolkata", Date(2024, 7, 15, 12, 0, 0), 22},
  };
  for (const Case& c : cases) {
    ZoneGuard zone(c.tz);
    BYTE d7[7];
    rec::PutDate7(d7, &c.t);
    EXPECT_EQ(static_cast<signed char>(d7[6]), c.quarters) << c.tz << " month " << c.t.wMonth;
    BYTE d17[17];
    rec::PutDate17(d17, &c.t);
    EXPECT_EQ(static_cast<signed char>(d17[16]), c.quarters) << c.tz << " month " << c.t.wMonth;
  }
}

TEST(Records, XAField) {
  BYTE f[14];
  std::memset(f, 0xEE, sizeof f);
  rec::PutXAField(f, 0x0102, 0x0304, 0x0D55, 7);
  const BYTE want[14] = {1, 2, 3, 4, 0x0D, 0x55, 'X', 'A', 7, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(f, want, 14));
}

TEST(Records, IdentifierFields) {
  PrimaryVolumeDescriptor pvd;
  pvd.SetVolumeIdentifier("0123456789012345678901234567890123456789");
  EXPECT_EQ(Text(pvd.Bytes() + 40, 32), "01234567890123456789012345678901");
  pvd.SetVolumeIdentifier("SHORT");
  EXPECT_EQ(Text(pvd.Bytes() + 40, 32), "SHORT" + std::string(27, ' '));
  pvd.SetVolumeIdentifier(nullptr);
  EXPECT_EQ(Text(pvd.Bytes() + 40, 32), std::string(32, ' '));
  // A UTF-8 text is cut before a character that would not fit whole.
  pvd.SetSystemIdentifier("0123456789012345678901234567890\xC3\xA9");
  EXPECT_EQ(Text(pvd.Bytes() + 8, 32), "0123456789012345678901234567890 ");

  SupplementaryVolumeDescriptor svd;
  EXPECT_EQ(svd.Bytes()[0], 2);
  EXPECT_EQ(Text(svd.Bytes() + 88, 3), "%/@");
  svd.SetCopyrightFileIdentifier("ABCDEFGHIJKLMNOPQRST");
  const BYTE* f = svd.Bytes() + 702;
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(f[2 * i], 0);
    EXPECT_EQ(f[2 * i + 1], 'A' + i);
  }
  EXPECT_EQ(f[36], 0);
  svd.SetVolumeIdentifier("a:b\xC3\xA9");
  const BYTE wantVol[8] = {0, 'a', 0, '_', 0, 'b', 0, 0xE9};
  EXPECT_EQ(0, std::memcmp(svd.Bytes() + 40, wantVol, 8));
  EXPECT_EQ(svd.Bytes()[49], ' ');
  // A character beyond the Basic Multilingual Plane is one '_' in UCS-2.
  svd.SetVolumeIdentifier("x\xF0\x9F\x98\x80y");
  const BYTE wantSmile[8] = {0, 'x', 0, '_', 0, 'y', 0, ' '};
  EXPECT_EQ(0, std::memcmp(svd.Bytes() + 40, wantSmile, 8));
}

TEST(Records, TerminatorAndXASignature) {
  VolumeDescriptor term;
  EXPECT_EQ(term.Bytes()[0], 255);
  EXPECT_EQ(Text(term.Bytes() + 1, 5), "CD001");
  EXPECT_EQ(term.Bytes()[6], 1);
  for (std::size_t i = 7; i < kSectorSize; ++i) ASSERT_EQ(term.Bytes()[i], 0);

  PrimaryVolumeDescriptor pvd;
  EXPECT_FALSE(pvd.Check());
  pvd.SetXAStartupDirectory("START");
  EXPECT_TRUE(pvd.Check());
  EXPECT_EQ(Text(pvd.Bytes() + 1024, 18), std::string("CD-XA001\0\0START   ", 18));
}

}  // namespace
