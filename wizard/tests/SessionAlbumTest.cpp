// The session album over the real album model: what it stores, what it
// gives back, and the file it writes, read with xmllint.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include "platform/base/Path.h"
#include "wizard/common/WizUtil.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/tests/PlainTestSupport.h"

using namespace vexa::wiz;
using vexa::com::Bstr;
using vexa::wiz::testing::PlainTest;
using vexa::wiz::testing::Quote;
using vexa::wiz::testing::RunCommand;

namespace {

class SessionAlbumTest : public PlainTest {
 protected:
  void SetUp() override {
    PlainTest::SetUp();
    Fake();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Wiz().logger.PutVoid()),
              S_OK);
  }
  // xmllint's answer to an XPath over the album file (namespaces by local name).
  std::string XPath(const std::string& file, const std::string& expr) {
    std::string out;
    const int rc = RunCommand("/usr/bin/xmllint --xpath " + Quote(expr) + " " + Quote(file), &out);
    if (rc != 0) return "<xmllint " + std::to_string(rc) + ": " + out + ">";
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  static std::string Paths(const StillList& list) {
    std::string s;
    for (const auto& r : list) s += vexa::base::BaseName(r->Path()) + ";";
    return s;
  }
  static vexa::com::Variant List(const std::vector<std::string>& paths) {
    vexa::com::SafeArray sa(VT_BSTR, static_cast<ULONG>(paths.size()));
    for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i)
      SafeArrayPutElement(sa.Get(), &i, Bstr::FromUtf8(paths[static_cast<std::size_t>(i)]).Get());
    vexa::com::Variant v;
    v.vt = VT_ARRAY;
    v.parray = sa.Detach();
    return v;
  }
  static vexa::com::Variant Ints(const std::vector<LONG>& values) {
    vexa::com::SafeArray sa(VT_I4, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i)
      SafeArrayPutElement(sa.Get(), &i, &values[static_cast<std::size_t>(i)]);
    vexa::com::Variant v;
    v.vt = VT_ARRAY;
    v.parray = sa.Detach();
    return v;
  }
};

// The settings file and the session album are kept up to date while the
// program runs: a child process that, in one action of its event loop,
// picks two pictures and chooses a burn speed, and is then killed with
// SIGKILL (no close, no exit), leaves both files, and they load with the
// changes.
TEST_F(SessionAlbumTest, AProgramKilledAfterAnActionLeavesFilesThatLoadWithIt) {
  const std::string settingsPath = m_temp.Path("orlunedisc.ini"), albumPath = m_temp.Path("lastAlbum.xml");
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    int argc = 1;
    char name[] = "child";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    CvexaSettingsAccess settings;
    CVexaWizXML album(Wiz());
    if (!settings.Open(settingsPath) || !album.Init(albumPath, true)) ::_exit(2);
    album.WriteSoonAfterChanges(albumPath);
    QTimer::singleShot(0, [&] {
      const bool ok = album.AddStills(List({a, b}), Ints({0, 90}));
      settings.WriteNumber("settings", "selectedBurnSpeed", 16);
      // Said once the writes the action asked for have had their turn.
      QTimer::singleShot(0, [&, ok] {
        const char c = ok ? 'y' : 'n';
        if (::write(ready[1], &c, 1) != 1) ::_exit(4);
      });
    });
    app.exec();
    ::_exit(3);
  }
  ::close(ready[1]);
  const vexa::testsupport::Deadline deadline;
  char answer = 0;
  const bool told = vexa::testsupport::PollUntil(ready[0], POLLIN, deadline) > 0 && ::read(ready[0], &answer, 1) == 1;
  ::kill(child, SIGKILL);
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(child, "the killed child");
  const int status = end.status;
  ::close(ready[0]);
  ASSERT_TRUE(end.ended) << end.failure;
  ASSERT_TRUE(told) << "the child did not tell within " << deadline.BoundText()
                    << " that its action was done; status " << status;
  EXPECT_EQ(answer, 'y');
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

  CvexaSettingsFile settings(4);
  ASSERT_TRUE(settings.Open(settingsPath, false, false, true, false));
  EXPECT_EQ(settings.GetValue("settings", "selectedBurnSpeed", ""), "16");
  CVexaWizXML album(Wiz());
  ASSERT_TRUE(album.Init(albumPath, true));
  StillList list;
  ASSERT_TRUE(album.GetAllStills(&list));
  EXPECT_EQ(Paths(list), "a.jpg;b.jpg;");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1]->Rotation(), 90);
}

TEST_F(SessionAlbumTest, ANewSessionIsEmptyAndItsFileIsWrittenInOrder) {
  VEXA_WIZ_REQUIRE_TOOL("/usr/bin/xmllint");
  const std::string file = m_temp.Path("lastAlbum.xml");
  CVexaWizXML album(Wiz());
  ASSERT_TRUE(album.Init(file, true));
  EXPECT_TRUE(Fake().Logged("CVexaWizXML::Init() - Couldn't find old XML file: " + file + ".  Creating a new one."));
  LONG count = -1, paper = -1;
  ASSERT_TRUE(album.GetImageCount(&count));
  EXPECT_EQ(count, 0);
  ASSERT_TRUE(album.GetPaperSize(&paper));
  EXPECT_EQ(paper, VEXAWizPaperSizeInvalid);

  const std::string a = Photo("a.jpg"), b = Photo("b.jpg"), c = Photo("c.jpg");
  ASSERT_TRUE(album.AddStill(a, 90, 0.0, "First", VEXAWizResizePicture, VARIANT_FALSE));
  ASSERT_TRUE(album.AddStill(b, 270, 37000.5, "", VEXAWizCropPicture, VARIANT_TRUE));
  ASSERT_TRUE(album.AddStill(c, 0, -1, "Third", VEXAWizResizePicture, VARIANT_FALSE));
  ASSERT_TRUE(album.SetTVSystem(VEXAWizTVSECAM));
  ASSERT_TRUE(album.SetStillDelay(7));
  ASSERT_TRUE(album.SetTitleLines("One", "", "Three"));
  ASSERT_TRUE(album.WriteOutSessionXML(file));

  const std::string still = "//*[local-name()='StillImage']";
  EXPECT_EQ(XPath(file, "count(" + still + ")"), "3");
  EXPECT_EQ(XPath(file, "string((" + still + ")[1]/*[local-name()='originalFilename'])"), a);
  EXPECT_EQ(XPath(file, "string((" + still + ")[2]/*[local-name()='originalFilename'])"), b);
  EXPECT_EQ(XPath(file, "string((" + still + ")[3]/*[local-name()='originalFilename'])"), c);
  EXPECT_EQ(XPath(file, "string((" + still + ")[1]/*[local-name()='destRotate'])"), "90");
  EXPECT_EQ(XPath(file, "string((" + still + ")[2]/*[local-name()='destRotate'])"), "270");
  EXPECT_EQ(XPath(file, "string((" + still + ")[1]/*[local-name()='title'])"), "First");
  EXPECT_EQ(XPath(file, "string((" + still + ")[3]/*[local-name()='title'])"), "Third");
  // Sizing as the model spells it: 1 resize, 2 clip.
  EXPECT_EQ(XPath(file, "string((" + still + ")[1]/*[local-name()='destSizingBehavior'])"), "1");
  EXPECT_EQ(XPath(file, "string((" + still + ")[2]/*[local-name()='destSizingBehavior'])"), "2");
  EXPECT_EQ(XPath(file, "string(//*[local-name()='tvSystem'])"), "2");
  EXPECT_EQ(XPath(file, "string(//*[local-name()='titleSlide']/*[local-name()='line3'])"), "Three");

  // Read back through a new session: values, sizing (crop kept) and marks.
  CVexaWizXML again(Wiz());
  ASSERT_TRUE(again.Init(file, true));
  StillList list;
  ASSERT_TRUE(again.GetAllStills(&list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->Rotation(), 90);
  EXPECT_EQ(list[0]->Title(), "First");
  EXPECT_EQ(list[0]->Sizing(), VEXAWizResizePicture);
  EXPECT_EQ(list[1]->Sizing(), VEXAWizCropPicture);
  EXPECT_EQ(list[1]->IsTitleStill(), VARIANT_TRUE);
  EXPECT_DOUBLE_EQ(list[1]->CreationTime(), 37000.5);
  LONG tv = -1, delay = -1;
  ASSERT_TRUE(again.GetTVSystem(&tv));
  EXPECT_EQ(tv, VEXAWizTVPAL);  // SECAM is made as PAL
  ASSERT_TRUE(again.GetStillDelay(&delay));
  EXPECT_EQ(delay, 7);
  std::string l1, l2, l3;
  ASSERT_TRUE(again.GetTitleLines(&l1, &l2, &l3));
  EXPECT_EQ(l1 + "|" + l2 + "|" + l3, "One||Three");
}

TEST_F(SessionAlbumTest, TVSystemsMapToTheTwoADiscKnows) {
  CVexaWizXML album(Wiz());
  ASSERT_TRUE(album.Init(m_temp.Path("x.xml"), true));
  const std::pair<LONG, LONG> cases[] = {{VEXAWizTVNTSC, VEXAWizTVNTSC}, {VEXAWizTVFILM, VEXAWizTVNTSC},
                                         {VEXAWizTVPAL, VEXAWizTVPAL}, {VEXAWizTVSECAM, VEXAWizTVPAL},
                                         {VEXAWizTVINVALID, VEXAWizTVINVALID}, {17, VEXAWizTVNTSC}};
  for (auto [in, out] : cases) {
    ASSERT_TRUE(album.SetTVSystem(in));
    LONG got = -1;
    ASSERT_TRUE(album.GetTVSystem(&got));
    EXPECT_EQ(got, out) << in;
  }
}

TEST_F(SessionAlbumTest, OneMusicTrackAndItsDate) {
  CVexaWizXML album(Wiz());
  ASSERT_TRUE(album.Init(m_temp.Path("x.xml"), true));
  std::string path;
  DATE date = 1;
  bool present = true;
  ASSERT_TRUE(album.GetFirstAudioTrack(&path, &date, &present));
  EXPECT_FALSE(present);
  ASSERT_TRUE(album.AddAudioTrack("/m/one.mp3", 100.0));
  ASSERT_TRUE(album.AddAudioTrack("/m/two.mp3", -1));
  ASSERT_TRUE(album.GetFirstAudioTrack(&path, &date, &present));
  EXPECT_TRUE(present);
  EXPECT_EQ(path, "/m/two.mp3");
  EXPECT_LT(date, 0);  // a negative date is not stored
  LONG count = 0;
  album.Album()->get_audios(nullptr);  // a bad call is refused, not a crash
  vexa::com::ComPtr<ISeqOfAudio> audios;
  album.Album()->get_audios(audios.Put());
  audios->get_Count(&count);
  EXPECT_EQ(count, 1);
}

TEST_F(SessionAlbumTest, AddStillsKeepsEachPicturesRecord) {
  CVexaWizXML album(Wiz());
  ASSERT_TRUE(album.Init(m_temp.Path("x.xml"), true));
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg"), n = Photo("new.jpg");
  ASSERT_TRUE(album.AddStill(a, 0, 100.0, "Alpha", VEXAWizCropPicture, VARIANT_FALSE));
  ASSERT_TRUE(album.AddStill(b, 90, 200.0, "Beta", VEXAWizResizePicture, VARIANT_TRUE));
  ASSERT_TRUE(album.AddStill(a, 0, 300.0, "Alpha again", VEXAWizResizePicture, VARIANT_FALSE));
  // Reordered, turned, one dropped (the second a) and one new.
  ASSERT_TRUE(album.AddStills(List({b, n, a}), Ints({180, 90, 270})));
  StillList list;
  ASSERT_TRUE(album.GetAllStills(&list));
  ASSERT_EQ(Paths(list), "b.jpg;new.jpg;a.jpg;");
  EXPECT_EQ(list[0]->Title(), "Beta");
  EXPECT_EQ(list[0]->Rotation(), 180);
  EXPECT_DOUBLE_EQ(list[0]->CreationTime(), 200.0);
  EXPECT_EQ(list[0]->IsTitleStill(), VARIANT_TRUE);
  EXPECT_EQ(list[1]->Title(), "");
  EXPECT_DOUBLE_EQ(list[1]->CreationTime(), 0.0);
  EXPECT_EQ(list[1]->Sizing(), VEXAWizResizePicture);
  EXPECT_EQ(list[1]->IsTitleStill(), VARIANT_FALSE);
  EXPECT_EQ(list[1]->Rotation(), 90);
  // The first unused record with that path: the first a.
  EXPECT_EQ(list[2]->Title(), "Alpha");
  EXPECT_EQ(list[2]->Sizing(), VEXAWizCropPicture);
  EXPECT_EQ(list[2]->Rotation(), 270);

  vexa::com::Variant wrong = List({a});
  wrong.vt = VT_ARRAY | VT_BSTR;
  EXPECT_FALSE(album.AddStills(wrong, Ints({0})));
  EXPECT_TRUE(Fake().Logged("CVexaWizXML::AddStills() - Invalid variant!"));
  // A rotation list shorter than the paths leaves the rest unturned.
  ASSERT_TRUE(album.AddStills(List({a, b}), Ints({90})));
  list.clear();
  ASSERT_TRUE(album.GetAllStills(&list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1]->Rotation(), 0);
}

TEST_F(SessionAlbumTest, RemoveInvalidStillsKeepsOrderAndValues) {
  CVexaWizXML album(Wiz());
  ASSERT_TRUE(album.Init(m_temp.Path("x.xml"), true));
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg");
  ASSERT_TRUE(album.AddStill(a, 90, 1.0, "A", VEXAWizCropPicture, VARIANT_FALSE));
  ASSERT_TRUE(album.AddStill(m_temp.Path("gone.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  ASSERT_TRUE(album.AddStill(b, 0, 2.0, "B", 0, VARIANT_TRUE));
  ASSERT_TRUE(album.RemoveInvalidStills());
  StillList list;
  ASSERT_TRUE(album.GetAllStills(&list));
  ASSERT_EQ(Paths(list), "a.jpg;b.jpg;");
  EXPECT_EQ(list[0]->Sizing(), VEXAWizCropPicture);
  EXPECT_EQ(list[1]->IsTitleStill(), VARIANT_TRUE);
}

TEST_F(SessionAlbumTest, AMarwickAlbumIsReadOnly) {
  CVexaWizXML album(Wiz());
  const std::string sample = vexa::base::JoinPath(vexa::base::ShareDir(), "samples/marwick-album.xml");
  ASSERT_TRUE(album.Init(sample, false));
  LONG count = 0;
  ASSERT_TRUE(album.GetImageCount(&count));
  EXPECT_GT(count, 0);
  const std::string out = m_temp.Path("never.xml");
  EXPECT_TRUE(album.WriteOutSessionXML(out));
  EXPECT_FALSE(vexa::base::FileExists(out));
  CVexaWizXML missing(Wiz());
  EXPECT_FALSE(missing.Init(m_temp.Path("missing.xml"), false));
}

}  // namespace
