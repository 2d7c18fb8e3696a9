// EDC and ECC against the tests' own ECMA-130 checker and against the
// simulator's encoder; the MSF and BCD helpers.
#include <random>

#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/EdcEcc.h"
#include "platform/scsi/SimSector.h"
#include "tests/recorder/Ecma130.h"

#include <gtest/gtest.h>

namespace {

// A sector with sync, header (address, mode) and random contents after it.
std::vector<BYTE> RandomSector(std::mt19937& rng, LONG address, int mode, bool form2 = false) {
  std::vector<BYTE> s(2352);
  for (auto& b : s) b = static_cast<BYTE>(rng());
  s[0] = s[11] = 0;
  std::fill(s.begin() + 1, s.begin() + 11, 0xFF);
  LBAToMSFBCD(address, &s[12]);
  s[15] = static_cast<BYTE>(mode);
  if (mode == 1) std::fill(s.begin() + 2068, s.begin() + 2076, 0);
  if (mode == 2) {
    s[18] = form2 ? 0x20 : 0x08;
    std::copy(s.begin() + 16, s.begin() + 20, s.begin() + 20);
  }
  return s;
}

TEST(EdcEcc, Mode1SectorsPassTheChecker) {
  std::mt19937 rng(1);
  for (LONG a : {0, 1, 16, 4499, 333000}) {
    auto s = RandomSector(rng, a, 1);
    CalcEDC(s.data(), EDCTable(), CDFORM_MODE1);
    CalcECC_P(CDFORM_MODE1, s.data());
    CalcECC_Q(CDFORM_MODE1, s.data());
    EXPECT_EQ(ecma130::SectorProblem(s.data(), a), "") << a;
    s[100] ^= 1;
    EXPECT_NE(ecma130::SectorProblem(s.data(), a), "") << a;
  }
}

TEST(EdcEcc, Mode2Form1KeepsItsHeaderOutOfTheParity) {
  std::mt19937 rng(2);
  auto s = RandomSector(rng, 12345, 2);
  const std::vector<BYTE> header(s.begin() + 12, s.begin() + 16);
  const DWORD edc = CalcEDC(s.data(), nullptr, CDFORM_MODE2_FORM1);
  EXPECT_EQ(edc, s[2072] | (s[2073] << 8) | (s[2074] << 16) | (static_cast<DWORD>(s[2075]) << 24));
  CalcECC_P(CDFORM_MODE2_FORM1, s.data());
  CalcECC_Q(CDFORM_MODE2_FORM1, s.data());
  EXPECT_EQ(std::vector<BYTE>(s.begin() + 12, s.begin() + 16), header);
  EXPECT_EQ(ecma130::SectorProblem(s.data(), 12345), "");
  EXPECT_EQ(ecma130::ParityProblem(s.data(), true), "");
  EXPECT_NE(ecma130::ParityProblem(s.data(), false), "");
}

TEST(EdcEcc, Mode2Form2HasItsEdcAt2348AndNoParity) {
  std::mt19937 rng(3);
  auto s = RandomSector(rng, 777, 2, true);
  const auto before = s;
  CalcEDC(s.data(), nullptr, CDFORM_MODE2_FORM2);
  CalcECC_P(CDFORM_MODE2_FORM2, s.data());
  CalcECC_Q(CDFORM_MODE2_FORM2, s.data());
  EXPECT_TRUE(std::equal(s.begin(), s.begin() + 2348, before.begin()));
  EXPECT_EQ(ecma130::EdcRemainder(s.data() + 16, 2336), 0u);
  EXPECT_EQ(ecma130::SectorProblem(s.data(), 777), "");
}

TEST(EdcEcc, OtherFormValuesChangeNothing) {
  std::mt19937 rng(4);
  auto s = RandomSector(rng, 0, 1);
  const auto before = s;
  for (int form : {0, 4, -1}) {
    EXPECT_EQ(CalcEDC(s.data(), nullptr, form), 0u);
    CalcECC_P(form, s.data());
    CalcECC_Q(form, s.data());
  }
  EXPECT_EQ(s, before);
  EXPECT_EQ(EDCTable()[0x80], 0xD8018001u);
  EXPECT_EQ(EDCTable()[0], 0u);
}

// The disc library and the simulator build the same sectors by different
// code.
TEST(EdcEcc, AgreesWithTheSimulatorsEncoder) {
  std::mt19937 rng(5);
  for (int i = 0; i < 50; ++i) {
    const LONG a = static_cast<LONG>(rng() % 300000);
    const int kind = i % 3;
    auto ours = RandomSector(rng, a, kind == 0 ? 1 : 2, kind == 2);
    auto sim = ours;
    const int form = kind == 0 ? CDFORM_MODE1 : kind == 1 ? CDFORM_MODE2_FORM1 : CDFORM_MODE2_FORM2;
    CalcEDC(ours.data(), nullptr, form);
    CalcECC_P(form, ours.data());
    CalcECC_Q(form, ours.data());
    using vexa::scsi::sim::SectorKind;
    vexa::scsi::sim::EncodeDataSector(sim.data(), a,
                                      kind == 0 ? SectorKind::Mode1
                                                : kind == 1 ? SectorKind::Mode2Form1 : SectorKind::Mode2Form2);
    EXPECT_EQ(ours, sim) << i;
  }
}

TEST(CdrUtil, MsfAndBcd) {
  struct Case {
    LONG address;
    BYTE m, s, f;
  } cases[] = {
      {-150, 0, 0, 0},    {0, 0, 2, 0},       {-451, 99, 55, 74}, {-11634, 97, 26, 66},
      {1, 0, 2, 1},       {449849, 99, 59, 74}, {449850, 100, 0, 0},
  };
  for (const Case& c : cases) {
    BYTE msf[3];
    LBAToMSF(c.address, msf);
    EXPECT_EQ(msf[0], c.m) << c.address;
    EXPECT_EQ(msf[1], c.s) << c.address;
    EXPECT_EQ(msf[2], c.f) << c.address;
    BYTE bcd[3];
    LBAToMSFBCD(c.address, bcd);
    EXPECT_EQ(bcd[0], BinToBCD(c.m));
    if (c.m < 100) {
      EXPECT_EQ(BCDToBin(bcd[0]), c.m);
    }
  }
  EXPECT_EQ(MSFToLBA(0, 0, 0), -150);
  EXPECT_EQ(MSFToLBA(0, 2, 0), 0);
  EXPECT_EQ(MSFToLBA(97, 26, 66), -11634);
  EXPECT_EQ(MSFToLBA(89, 59, 74), 404849);
  // From minute 90 on, an MSF names the lead-in.
  EXPECT_EQ(MSFToLBA(90, 0, 0), -45150);
  EXPECT_EQ(BinToBCD(100), 100);
  EXPECT_EQ(BinToBCD(42), 0x42);
  EXPECT_EQ(BCDToBin(0x99), 99);
}

}  // namespace
