// Session-at-once and raw recording: cue sheet bytes, the raw subcode, and
// recordings on the simulated recorder with their retries and faults;
// fixed-packet writing and the DVD classes.
#include <cdio/cdtext.h>

#include <cstring>

#include "disclib/recorder/CdText.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CueSheet.h"
#include "disclib/recorder/RawQFormatter.h"
#include "disclib/recorder/SessionLayout.h"
#include "disclib/recorder/tests/SimRecorderFixture.h"
#include "platform/scsi/SimDisc.h"
#include "tests/recorder/Ecma130.h"

namespace {

using namespace rectest;
using namespace discpak;
namespace sim = vexa::scsi::sim;

std::string Hex(const std::vector<BYTE>& b) {
  std::string s;
  char h[4];
  for (std::size_t i = 0; i < b.size(); ++i) {
    std::snprintf(h, sizeof h, "%02x", b[i]);
    s += h;
    s += (i % 8 == 7) ? "|" : " ";
  }
  return s;
}

CDRLayoutEntry Index(LONG type, LONG track, LONG index, LONG start) {
  return {CDRLAYOUT_INDEX, type, track, index, start};
}
CDRLayoutEntry LeadOut(LONG start) { return {CDRLAYOUT_LEADOUT, 0, 0xAA, 1, start}; }

TEST(CueSheet, BytesForATableOfLayouts) {
  const std::vector<CDRLayoutEntry> mixed = {Index(CDR_TRACK_MODE1, 1, 0, -150), Index(CDR_TRACK_MODE1, 1, 1, 0),
                                             Index(CDR_TRACK_AUDIO, 2, 0, 1000), Index(CDR_TRACK_AUDIO, 2, 1, 1150),
                                             Index(CDR_TRACK_AUDIO, 2, 2, 1500), LeadOut(2000)};
  const std::vector<CDRLayoutEntry> xa = {Index(CDR_TRACK_MODE2_FORM1, 1, 0, -150),
                                          Index(CDR_TRACK_MODE2_FORM1, 1, 1, 0), LeadOut(500)};
  const std::vector<CDRLayoutEntry> shortPause = {Index(CDR_TRACK_AUDIO, 1, 0, -150), Index(CDR_TRACK_AUDIO, 1, 1, 0),
                                                  Index(CDR_TRACK_AUDIO, 2, 0, 1000), Index(CDR_TRACK_AUDIO, 2, 1, 1002),
                                                  LeadOut(1500)};
  struct Case {
    const char* name;
    std::vector<CDRLayoutEntry> entries;
    DWORD quirks;
    int audioForm;
    bool cdText;
    const char* bytes;  // hexadecimal, MSF as plain numbers; empty: fails
    const char* error;
  } cases[] = {
      {"data and audio, pauses, an index", mixed, 0, 0x00, false,
       "41 00 00 01 00 00 00 00|41 01 00 11 00 00 00 00|41 01 01 11 00 00 02 00|01 02 00 00 00 00 0f 19|"
       "01 02 01 00 00 00 11 19|01 02 02 00 00 00 16 00|01 aa 01 01 00 00 1c 32|",
       ""},
      {"simple cue", mixed, MMCF_SIMPLECUE, 0x00, false,
       "41 00 00 01 00 00 00 00|41 01 00 10 00 00 00 00|41 01 01 10 00 00 02 00|01 02 00 00 00 00 0f 19|"
       "01 02 01 00 00 00 11 19|01 02 02 00 00 00 16 00|01 aa 01 01 00 00 1c 32|",
       ""},
      {"mode 2 with the 4700 form", xa, MMCF_KV4700CUE, 0x00, false,
       "41 00 00 24 00 00 00 00|41 01 00 21 00 00 00 00|41 01 01 21 00 00 02 00|41 aa 01 24 00 00 08 32|", ""},
      {"audio with CD-TEXT and packed R-W", shortPause, 0, 0x40, true,
       "01 00 00 41 00 00 00 00|01 01 00 40 00 00 00 00|01 01 01 40 00 00 02 00|01 02 00 40 00 00 0f 19|"
       "01 02 01 40 00 00 0f 1b|01 aa 01 01 00 00 16 00|",
       ""},
      {"a short pause made 150 sectors long", shortPause, MMCF_FORCE150GAP, 0x00, false,
       "01 00 00 01 00 00 00 00|01 01 00 00 00 00 00 00|01 01 01 00 00 00 02 00|01 02 00 00 00 00 0f 19|"
       "01 02 01 00 00 00 11 19|01 aa 01 01 00 00 17 49|",
       ""},
      {"UPC first", {{CDRLAYOUT_UPC, 0, 0, 0, 0}, LeadOut(100)}, 0, 0, false, "", "UPC not supported by SAO cue sheet"},
      {"no lead-out", {Index(CDR_TRACK_AUDIO, 1, 1, 0)}, 0, 0, false, "", "Error setting leadout cueline"},
      {"formless mode 2", {Index(CDR_TRACK_MODE2, 1, 1, 0), LeadOut(300)}, 0, 0, false, "",
       "Unknown track data type in SAO cue"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CueSheetResult r;
    const bool ok = CreateSAOCueSheet(c.entries, c.quirks, c.audioForm, c.cdText, &r);
    EXPECT_EQ(ok, std::string(c.bytes) != "");
    if (ok) {
      EXPECT_EQ(Hex(r.lines), c.bytes);
    } else {
      EXPECT_EQ(r.error, c.error);
    }
  }
  // The stretched pause is inserted into the stream where the short one ended.
  CueSheetResult r;
  ASSERT_TRUE(CreateSAOCueSheet(shortPause, MMCF_FORCE150GAP, 0, false, &r));
  ASSERT_EQ(r.pauses.size(), 1u);
  EXPECT_EQ(r.pauses[0].at, 1002);
  EXPECT_EQ(r.pauses[0].count, 148);
  EXPECT_EQ(r.entries.back().start, 1648);
}

TEST(RawQ, LeadInProgramAndLeadOut) {
  SessionLayout layout({{CDR_TRACK_AUDIO, 0, 500, {}}, {CDR_TRACK_MODE1, 150, 700, {100}}}, 0x00);
  const std::vector<BYTE> text = BuildCdTextRecord({"Disc", "One", "Two"}, {"Band", "", ""}, 1, 2);
  RawQFormatter f;
  ASSERT_TRUE(f.Build(layout.Entries(), -11634, 0x00, text.data()));
  ASSERT_EQ(f.TocEntries(), 5u);  // A0, A1, A2, tracks 1 and 2
  BYTE q[12];
  bool p = false;
  // Each lead-in entry three times in a row, then the next; all in turn.
  std::vector<int> points;
  for (LONG a = -11634; a < -11634 + 30; ++a) {
    f.Q(a, q, &p);
    EXPECT_TRUE(ecma130::QCrcOk(q, 10)) << a;
    EXPECT_EQ(q[1], 0);
    points.push_back(q[2]);
  }
  const std::vector<int> expected = {0xA0, 0xA0, 0xA0, 0xA1, 0xA1, 0xA1, 0xA2, 0xA2, 0xA2, 0x01, 0x01, 0x01, 0x02, 0x02, 0x02};
  EXPECT_EQ(std::vector<int>(points.begin(), points.begin() + 15), expected);
  EXPECT_EQ(std::vector<int>(points.begin() + 15, points.end()), expected);
  f.Q(-11634 + 6, q, &p);  // A2: the lead-out 1350 + 150 = 00:20:00
  EXPECT_EQ(q[7], 0x00);
  EXPECT_EQ(q[8], 0x20);
  EXPECT_EQ(q[9], 0x00);
  f.Q(-11634 + 12, q, &p);  // track 2 (data) at 650 + 150 = 00:10:50
  EXPECT_EQ(q[0], 0x41);
  EXPECT_EQ(q[8], 0x10);
  EXPECT_EQ(q[9], 0x50);

  // Program area: the pause before track 1 counts down with P set.
  f.Q(-100, q, &p);
  EXPECT_TRUE(p);
  EXPECT_EQ(q[1], 0x01);
  EXPECT_EQ(q[2], 0x00);
  EXPECT_EQ(q[5], 0x25);  // 100 frames to go = 00:01:25
  f.Q(499, q, &p);
  EXPECT_FALSE(p);
  EXPECT_EQ(q[3], 0x00);
  EXPECT_EQ(q[4], 0x06);
  EXPECT_EQ(q[5], 0x49);  // 499 frames into track 1
  EXPECT_EQ(q[7], 0x00);
  EXPECT_EQ(q[8], 0x08);
  EXPECT_EQ(q[9], 0x49);  // absolute 649 = 00:08:49
  f.Q(760, q, &p);        // track 2, index 2 from 750, time still from index 1
  EXPECT_EQ(q[1], 0x02);
  EXPECT_EQ(q[2], 0x02);
  EXPECT_EQ(q[4], 0x01);
  EXPECT_EQ(q[5], 0x35);  // 110 frames = 00:01:35
  // Lead-out: track AA, P in the first 38 of every 75 sectors from 150 on.
  f.Q(1350 + 10, q, &p);
  EXPECT_EQ(q[1], 0xAA);
  EXPECT_FALSE(p);
  f.Q(1350 + 150, q, &p);
  EXPECT_TRUE(p);
  f.Q(1350 + 150 + 40, q, &p);
  EXPECT_FALSE(p);

  // The lead-in's R-W carry the packs; libcdio reads them back.
  std::vector<BYTE> symbols;
  for (LONG a = -11634; a < -11634 + 3; ++a) {
    BYTE s[96];
    f.Subcode96(a, s);
    for (BYTE b : s) symbols.push_back(b & 0x3F);
  }
  WORD length;
  std::memcpy(&length, text.data(), 2);
  std::vector<BYTE> packs;
  for (std::size_t i = 0; i + 4 <= symbols.size() && packs.size() < length - 2u; i += 4) {
    const unsigned v = (symbols[i] << 18) | (symbols[i + 1] << 12) | (symbols[i + 2] << 6) | symbols[i + 3];
    packs.push_back(static_cast<BYTE>(v >> 16));
    packs.push_back(static_cast<BYTE>(v >> 8));
    packs.push_back(static_cast<BYTE>(v));
  }
  packs.resize(length - 2u);
  for (std::size_t at = 0; at + 18 <= packs.size(); at += 18) EXPECT_TRUE(ecma130::QCrcOk(packs.data() + at, 16));
  cdtext_t* cdtext = cdtext_init();
  ASSERT_EQ(cdtext_data_init(cdtext, packs.data(), packs.size()), 0);
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_TITLE, 2), "Two");
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_PERFORMER, 0), "Band");
  cdtext_destroy(cdtext);
}

class SaoTest : public RecorderSim {
 protected:
  // Silence for the pauses, a distinct sample pattern for each track.
  static std::vector<BYTE> Samples(LONG sectors, int track) {
    std::vector<BYTE> s(static_cast<std::size_t>(sectors) * 2352);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<BYTE>(i * (track + 3) / 5 + track);
    return s;
  }
  // Queues the whole session of an audio layout and finishes it.
  LONG Burn(I_CDRClass* drive, SessionLayout* layout, LONG flags) {
    if (drive->StartSAO(layout, flags) != 0) return -2;
    const auto& e = layout->Entries();
    LONG refused = 0;
    for (std::size_t i = 0; i + 1 < e.size() && !refused; ++i) {
      const LONG count = e[i + 1].start - e[i].start;
      const auto data = e[i].index == 0 ? std::vector<BYTE>(static_cast<std::size_t>(count) * 2352, 0)
                                        : Samples(count, e[i].track * 10 + e[i].index);
      refused = drive->WriteSAO(CDR_TRACK_AUDIO, 2352, count, data.data());
    }
    const LONG finish = drive->FinishSAO();
    return refused ? -1 : finish;
  }
  sim::SimDisc Disc() {
    sim::SimDisc d;
    std::string error;
    EXPECT_TRUE(sim::LoadDisc(drive_, &d, &error)) << error;
    return d;
  }
  std::string File(const std::string& name) {
    std::string s;
    vexa::base::ReadFile(drive_ + "/" + name, &s);
    return s;
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }
};

TEST_F(SaoTest, AnAudioSessionWithCdTextAndIndexes) {
  Use("profile = cdrw-writer\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  SessionLayout layout({{CDR_TRACK_AUDIO, 0, 400, {}}, {CDR_TRACK_AUDIO, 75, 500, {200}}}, 0x00);
  layout.SetCDText(BuildCdTextRecord({"Session", "Alpha", "Beta"}, {"Sim", "A", "B"}, 1, 2));
  ASSERT_EQ(Burn(drive.get(), &layout, CDR_BURNPROOF), 0) << drive->GetLastError(nullptr);
  EXPECT_EQ(drive->GetLastError(nullptr), nullptr);
  const sim::SimDisc d = Disc();
  ASSERT_EQ(d.tracks.size(), 2u);
  EXPECT_EQ(d.tracks[1].pregap, 400);
  EXPECT_EQ(d.tracks[1].start, 475);
  ASSERT_EQ(d.tracks[1].extraIndexes.size(), 1u);
  EXPECT_EQ(d.tracks[1].extraIndexes[0].address, 675);
  EXPECT_EQ(d.tracks[1].title, "Beta");
  EXPECT_EQ(d.discPerformer, "Sim");
  // The audio is what was queued; the Q subcode marks the indexes.
  const std::string bin = File(d.image + ".bin");
  const std::string sub = File(d.image + ".sub");
  const auto alpha = Samples(400, 11);
  EXPECT_EQ(std::memcmp(bin.data(), alpha.data(), alpha.size()), 0);
  const auto beta2 = Samples(300, 22);
  EXPECT_EQ(std::memcmp(bin.data() + 675 * 2352, beta2.data(), beta2.size()), 0);
  for (LONG a : {0L, 399L, 400L, 474L, 475L, 674L, 675L, 974L}) {
    const BYTE* q = reinterpret_cast<const BYTE*>(sub.data()) + a * 96 + 12;
    EXPECT_TRUE(ecma130::QCrcOk(q, 10)) << a;
    const int index = a < 400 ? 1 : a < 475 ? 0 : a < 675 ? 1 : 2;
    EXPECT_EQ(q[2], index) << a;
    EXPECT_EQ(q[1], a < 400 ? 0x01 : 0x02) << a;
  }
  const auto lines = LogTexts();
  EXPECT_TRUE(Has(lines, "DoSAOWrite: CDTEXT present"));
  EXPECT_TRUE(Has(lines, "CueLine: 01 00 00 41 00 00 00 00"));
  EXPECT_TRUE(Has(lines, "DoSAOWrite: Finished"));
}

TEST_F(SaoTest, DataSectorsAreBuiltWholeByTheHost) {
  Use("profile = cdrw-writer\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  SessionLayout layout({{CDR_TRACK_MODE1, 0, 300, {}}, {CDR_TRACK_MODE2_FORM1, 150, 300, {}}}, 0x20);
  ASSERT_EQ(drive->StartSAO(&layout, 0), 0);
  std::vector<BYTE> mode1(2048 * 450, 0);
  for (std::size_t i = 150 * 2048; i < mode1.size(); ++i) mode1[i] = static_cast<BYTE>(i * 7);
  ASSERT_EQ(drive->WriteSAO(CDR_TRACK_MODE1, 2048, 450, mode1.data()), 0);
  std::vector<BYTE> form1(2056 * 450, 0);
  for (int s = 0; s < 450; ++s) {
    BYTE* u = form1.data() + s * 2056;
    u[2] = u[6] = 0x08;
    for (int k = 8; k < 2056; ++k) u[k] = static_cast<BYTE>(k + s);
  }
  ASSERT_EQ(drive->WriteSAO(CDR_TRACK_MODE2_FORM1, 2056, 450, form1.data()), 0);
  EXPECT_EQ(drive->WriteSAO(CDR_TRACK_MODE2, 2336, 1, form1.data()), 1);  // not a pair it takes
  ASSERT_EQ(drive->FinishSAO(), 0) << drive->GetLastError(nullptr);
  const sim::SimDisc d = Disc();
  ASSERT_EQ(d.tracks.size(), 2u);
  const std::string bin = File(d.image + ".bin");
  ASSERT_EQ(bin.size(), 750u * 2352);
  for (LONG a = 0; a < 750; ++a) {
    const BYTE* s = reinterpret_cast<const BYTE*>(bin.data()) + a * 2352;
    ASSERT_EQ(ecma130::SectorProblem(s, a), "") << a;
  }
  EXPECT_EQ(std::memcmp(bin.data() + 16, mode1.data() + 150 * 2048, 2048), 0);
  // Track 2's pause holds units 0-149, its index 1 (address 450) unit 150 on.
  EXPECT_EQ(std::memcmp(bin.data() + 600 * 2352 + 16, form1.data() + 300 * 2056, 2056), 0);
  EXPECT_NE(Trace().find("sectors without valid header 0"), std::string::npos);
}

TEST_F(SaoTest, RefusedCueSheetsAreRetriedWithoutCdTextThenInVariants) {
  // Refused once: the same cue sheet without CD-TEXT is taken.
  Use("fault = check op=5d sense=05/26/00 count=1\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  SessionLayout layout({{CDR_TRACK_AUDIO, 0, 300, {}}, {CDR_TRACK_AUDIO, 2, 300, {}}}, 0x00);
  layout.SetCDText(BuildCdTextRecord({"T", "a", "b"}, {}, 1, 2));
  ASSERT_EQ(Burn(drive.get(), &layout, 0), 0);
  auto lines = LogTexts();
  EXPECT_TRUE(Has(lines, "DoSAOWrite: trying non-cdtext cue sheet"));
  EXPECT_FALSE(Has(lines, "DoSAOWrite: Enabling MMCF_SIMPLECUE"));
  EXPECT_FALSE(Disc().cdText);

  // Refused three times: the variants are tried in turn; the third brings the
  // 150-sector pause, which the stream then carries too.
  Use("fault = check op=5d sense=05/26/00 count=3\n");
  drive = Create();
  ASSERT_TRUE(drive);
  SessionLayout plain({{CDR_TRACK_AUDIO, 0, 300, {}}, {CDR_TRACK_AUDIO, 2, 300, {}}}, 0x00);
  ASSERT_EQ(Burn(drive.get(), &plain, 0), 0);
  EXPECT_EQ(drive->GetLastError(nullptr), nullptr);  // the refusals were no failure
  lines = LogTexts();
  EXPECT_TRUE(Has(lines, "DoSAOWrite: Enabling MMCF_SIMPLECUE"));
  EXPECT_TRUE(Has(lines, "DoSAOWrite: Enabling MMCF_KV4700CUE"));
  EXPECT_TRUE(Has(lines, "DoSAOWrite: Enabling MMCF_FORCE150GAP"));
  const sim::SimDisc d = Disc();
  ASSERT_EQ(d.tracks.size(), 2u);
  EXPECT_EQ(d.tracks[1].pregap, 300);
  EXPECT_EQ(d.tracks[1].start, 450);
  EXPECT_EQ(d.sessions.back().leadOut, 750);
  const std::string bin = File(d.image + ".bin");
  const auto second = Samples(300, 21);
  EXPECT_EQ(std::memcmp(bin.data() + 450 * 2352, second.data(), second.size()), 0);

  // Refused for ever: the recording fails and says why.
  Use("fault = check op=5d sense=05/26/00 count=-1\n");
  drive = Create();
  ASSERT_TRUE(drive);
  EXPECT_EQ(Burn(drive.get(), &plain, 0), 1);
  EXPECT_STREQ(drive->GetLastError(nullptr), "Error starting SAO mode.: INVALID FIELD IN PARAMETER LIST");
  EXPECT_TRUE(Has(LogTexts(), "DoSAOWrite: Could not generate valid cue sheet"));
}

TEST_F(SaoTest, AWriteFailureFailsTheFinish) {
  Use("fault = check op=2a lba=100 sense=03/0c/00\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  SessionLayout layout({{CDR_TRACK_AUDIO, 0, 600, {}}}, 0x00);
  EXPECT_EQ(Burn(drive.get(), &layout, 0), 1);
  EXPECT_STREQ(drive->GetLastError(nullptr), "Write failed: WRITE ERROR");
  EXPECT_TRUE(Has(LogTexts(), "DoSAOWrite: Aborted write failure"));
}

TEST_F(SaoTest, RawRecordingsDescribeWhatIsOnThem) {
  // P-W subcode with CD-TEXT (block type 3), then P and Q only (block type 1)
  // on a drive that refuses the first.
  for (const char* conf : {"profile = cdrw-writer\n", "profile = mmc2-writer\nfault = page5 wt=3 dbt=3 count=-1\n"}) {
    SCOPED_TRACE(conf);
    Use(conf);
    auto drive = Create();
    ASSERT_TRUE(drive);
    const bool pw = std::string(conf).find("page5") == std::string::npos;
    SessionLayout layout({{CDR_TRACK_AUDIO, 0, 300, {}}, {CDR_TRACK_AUDIO, 150, 400, {100}}}, 0x00);
    layout.SetCDText(BuildCdTextRecord({"Raw", "x", "y"}, {"P", "", ""}, 1, 2));
    ASSERT_EQ(Burn(drive.get(), &layout, CDR_FORCERAW), 0) << drive->GetLastError(nullptr);
    const sim::SimDisc d = Disc();
    ASSERT_EQ(d.tracks.size(), 2u);
    EXPECT_EQ(d.tracks[1].pregap, 300);
    EXPECT_EQ(d.tracks[1].start, 450);
    ASSERT_EQ(d.tracks[1].extraIndexes.size(), 1u);
    EXPECT_EQ(d.tracks[1].extraIndexes[0].address, 550);
    EXPECT_EQ(d.cdText, pw);
    EXPECT_NE(Trace().find("lead-in entries 5, lead-out 6750 sectors, q-crc errors 0, address errors 0, "
                           "toc/subcode mismatches 0"),
              std::string::npos)
        << Trace();
    const std::string bin = File(d.image + ".bin");
    const auto last = Samples(300, 22);
    EXPECT_EQ(std::memcmp(bin.data() + 550 * 2352, last.data(), last.size()), 0);
    const auto lines = LogTexts();
    EXPECT_TRUE(Has(lines, pw ? "USING P-W (ALL SUBCODE//CDTEXT) RAW WRITE MODE" : "USING P and Q only RAW WRITE MODE"));
    EXPECT_TRUE(Has(lines, "DoRAWWrite: Finished"));
  }
}

TEST_F(SaoTest, RawDataSectorsAreScrambledAndWhole) {
  Use("profile = cdrw-writer\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  SessionLayout layout({{CDR_TRACK_MODE1, 0, 300, {}}}, 0x00);
  ASSERT_EQ(drive->StartSAO(&layout, CDR_FORCERAW), 0);
  std::vector<BYTE> data(2048 * 450);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i / 2048 + i);
  ASSERT_EQ(drive->WriteSAO(CDR_TRACK_MODE1, 2048, 450, data.data()), 0);
  ASSERT_EQ(drive->FinishSAO(), 0);
  const sim::SimDisc d = Disc();
  ASSERT_EQ(d.tracks.size(), 1u);
  EXPECT_EQ(d.tracks[0].mode, sim::TrackMode::Mode1);
  const std::string bin = File(d.image + ".bin");
  for (LONG a = 0; a < 300; ++a) {
    const BYTE* s = reinterpret_cast<const BYTE*>(bin.data()) + a * 2352;
    ASSERT_EQ(ecma130::SectorProblem(s, a), "") << a;
    ASSERT_EQ(std::memcmp(s + 16, data.data() + (150 + a) * 2048, 2048), 0) << a;
  }
}

TEST_F(SaoTest, FixedPacketsOnAFormattedCdRw) {
  Use("media = cdrw\ncapacity = 2000\n");
  auto drive = Create();
  ASSERT_TRUE(drive);
  const std::size_t before = Trace().size();
  EXPECT_EQ(drive->FormatDiscFP(0), 1);   // refused before anything is sent
  EXPECT_EQ(drive->FormatDiscFP(40), 1);
  EXPECT_EQ(Trace().size(), before);
  ASSERT_EQ(drive->FormatDiscFP(32), 0) << drive->GetLastError(nullptr);
  EXPECT_EQ(drive->FormatDiscFP(32), 1);  // not blank any more
  LONG packet = 0, start = -1, size = 0;
  ASSERT_EQ(drive->StartFP(1, &packet, &start, &size), 0);
  EXPECT_EQ(packet, 32);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(size, 2000 / 32 * 32);
  std::vector<BYTE> data(32 * 2048, 0x6B);
  const std::size_t writes = Trace().size();
  EXPECT_EQ(drive->WriteFP(5, 32, data.data()), 1);    // not on a packet boundary
  EXPECT_EQ(drive->WriteFP(64, 16, data.data()), 1);   // not a whole packet
  EXPECT_EQ(drive->WriteFP(size, 32, data.data()), 1); // past the track
  EXPECT_EQ(Trace().size(), writes);
  EXPECT_EQ(drive->WriteFP(64, 32, data.data()), 0);
  EXPECT_EQ(drive->FinishFP(), 0);
  EXPECT_EQ(drive->LastFailedFP(), -1);
  std::vector<BYTE> back(2048);
  ASSERT_EQ(drive->ReadCD(70, 1, back.data(), CDR_TRACK_MODE1, 2048, nullptr), 0);
  EXPECT_EQ(back[100], 0x6B);
  const auto lines = LogTexts();
  EXPECT_TRUE(Has(lines, "FormatDiscFP: packet size too large"));
  EXPECT_TRUE(Has(lines, "FormatDiscFP: disc not blank"));

  Use("profile = reader\n");
  drive = Create();
  EXPECT_EQ(drive->FormatDiscFP(32), 6);
  EXPECT_EQ(drive->StartFP(1, &packet, &start, &size), 6);
}

TEST_F(SaoTest, DvdRecorders) {
  Use("profile = dvd-writer\nmedia = dvdr\n");
  auto drive = Create();
  auto* dvd = dynamic_cast<DvdRwClass*>(drive.get());
  ASSERT_TRUE(dvd);
  std::vector<BYTE> data(2048 * 100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i % 251);
  ASSERT_EQ(dvd->StartDVD(255, 0, 100), 0) << dvd->GetLastError(nullptr);
  ASSERT_EQ(dvd->WriteDVD(100, data.data()), 0);
  ASSERT_EQ(dvd->FinishDVD(), 0);
  EXPECT_EQ(dvd->CloseSession(0, 1), 1);
  std::vector<BYTE> back(2048 * 10);
  ASSERT_EQ(dvd->ReadCD(90, 10, back.data(), 6, 2048, nullptr), 0);
  EXPECT_EQ(std::memcmp(back.data(), data.data() + 90 * 2048, back.size()), 0);
  EXPECT_EQ(File(Disc().image + ".iso").substr(0, 4096), std::string(data.begin(), data.begin() + 4096));

  Use("profile = dvdplus-writer\nmedia = dvdprw\n");
  drive = Create();
  auto* plus = dynamic_cast<DvdPrwClass*>(drive.get());
  ASSERT_TRUE(plus);
  EXPECT_EQ(plus->StartDVD(0, 1, 0), 6);
  ASSERT_EQ(plus->StartDVD(0, 0, 0), 0) << plus->GetLastError(nullptr);
  const double progress = plus->FormatProgress();
  EXPECT_GE(progress, 0.0);
  EXPECT_LE(progress, 1.0);
  ASSERT_EQ(plus->WriteDVD(100, data.data()), 0);
  ASSERT_EQ(plus->FinishDVD(), 0);
  ASSERT_EQ(plus->ReadCD(0, 10, back.data(), 6, 2048, nullptr), 0);
  EXPECT_EQ(std::memcmp(back.data(), data.data(), back.size()), 0);
  EXPECT_TRUE(Has(LogTexts(), "FinishDVD: completed"));
}

}  // namespace
