// Album access over the album document model: value mappings, the
// still and audio records, and round trips through album files of both
// dialects.
#include "core/CoreXML.h"
#include "core/tests/CoreTestSupport.h"
#include "platform/base/Path.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class CoreXMLTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    log_ = std::make_shared<LogStore>();
    util_.SetLogger(MakeFakeLogger(log_));
  }
  ComPtr<IStillImage> Still(CVexaCoreXML& xml, LONG index) {
    ComPtr<ISeqOfStillImage> seq;
    EXPECT_EQ(xml.Album()->get_stillImages(seq.Put()), S_OK);
    ComPtr<IStillImage> still;
    EXPECT_EQ(seq->get_Item(index, still.Put()), S_OK);
    return still;
  }
  void Store(CVexaCoreXML& xml, const std::string& path) {
    ComPtr<IStillsSlideShow1XML> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_StillsSlideShow1XML, nullptr, CLSCTX_ALL, IID_IStillsSlideShow1XML,
                               mapper.PutVoid()),
              S_OK);
    Bstr p = Bstr::FromUtf8(path);
    ASSERT_EQ(mapper->storeToFile(p.Get(), xml.Album()), S_OK);
  }
  std::shared_ptr<LogStore> log_;
  CVexaCoreUtil util_;
};

TEST_F(CoreXMLTest, AnEmptyPathStartsAnEmptyAlbumAndAnUnknownFormatIsRefused) {
  CVexaCoreXML xml(util_);
  ASSERT_TRUE(xml.Init("", 7));
  std::vector<StillEntry> stills;
  EXPECT_TRUE(xml.GetAllStills(&stills));
  EXPECT_TRUE(stills.empty());
  std::string path = "untouched", source = "untouched";
  DATE when = 42.0;
  EXPECT_TRUE(xml.GetFirstAudioTrack(&path, &source, &when));
  EXPECT_EQ(path, "untouched");
  EXPECT_EQ(source, "untouched");
  EXPECT_EQ(when, 42.0);

  CVexaCoreXML bad(util_);
  EXPECT_FALSE(bad.Init(Path("album.xml"), 7));
  EXPECT_EQ(util_.GetPendingErrors(), "CVexaCoreXML::Init() - Unknown XML file format.\r\n");
  util_.ClearPendingErrors();
  EXPECT_FALSE(bad.Init(Path("missing.xml"), VEXACoreXML));
  EXPECT_NE(util_.GetPendingErrors().find("CVexaCoreXML::Init() - IVEXAXML::LoadFromURL() call failed.\r\n"),
            std::string::npos);
  util_.ClearPendingErrors();
  EXPECT_FALSE(bad.Init(Path("missing.xml"), VEXACoreCueXML));
  EXPECT_NE(util_.GetPendingErrors().find("CVexaCoreXML::Init() - Marwick IVEXAXML::LoadFromURL() call failed.\r\n"),
            std::string::npos);
}

TEST_F(CoreXMLTest, TVSystemAndPaperSizeMapBothWays) {
  CVexaCoreXML xml(util_);
  ASSERT_TRUE(xml.Init("", VEXACoreXML));
  struct Case {
    LONG in;
    VEXAXMLTVSystem stored;
    LONG out;
  };
  for (const Case& c : {Case{VEXACoreTVNTSC, VEXAXMLTVNTSC, VEXACoreTVNTSC}, Case{VEXACoreTVFILM, VEXAXMLTVNTSC, VEXACoreTVNTSC},
                        Case{VEXACoreTVPAL, VEXAXMLTVPAL, VEXACoreTVPAL}, Case{VEXACoreTVSECAM, VEXAXMLTVPAL, VEXACoreTVPAL},
                        Case{VEXACoreTVINVALID, VEXAXMLTVINVALID, VEXACoreTVINVALID}, Case{9, VEXAXMLTVNTSC, VEXACoreTVNTSC}}) {
    ASSERT_TRUE(xml.SetTVSystem(c.in));
    VEXAXMLTVSystem stored = VEXAXMLTVINVALID;
    ASSERT_EQ(xml.Album()->get_tvSystem(&stored), S_OK);
    EXPECT_EQ(stored, c.stored) << c.in;
    LONG out = -1;
    ASSERT_TRUE(xml.GetTVSystem(&out));
    EXPECT_EQ(out, c.out) << c.in;
  }
  // SECAM and FILM as the album holds them.
  ASSERT_EQ(xml.Album()->put_tvSystem(VEXAXMLTVSECAM), S_OK);
  LONG tv = -1;
  ASSERT_TRUE(xml.GetTVSystem(&tv));
  EXPECT_EQ(tv, VEXACoreTVPAL);
  ASSERT_EQ(xml.Album()->put_tvSystem(VEXAXMLTVFILM), S_OK);
  ASSERT_TRUE(xml.GetTVSystem(&tv));
  EXPECT_EQ(tv, VEXACoreTVNTSC);

  for (LONG paper : {0, 1, 2, 5}) {
    ASSERT_TRUE(xml.SetPaperSize(paper));
    LONG out = -1;
    ASSERT_TRUE(xml.GetPaperSize(&out));
    EXPECT_EQ(out, paper <= 1 ? paper : VEXACorePaperSizeInvalid) << paper;
  }
}

TEST_F(CoreXMLTest, StillsKeepTheirValuesAndTheirSizing) {
  CVexaCoreXML xml(util_);
  ASSERT_TRUE(xml.Init("", VEXACoreXML));
  Bstr title(u"Caption");
  ASSERT_TRUE(xml.AddStill("/work/a.jpg", "/photos/a.jpg", 90, 40000.5, title.Get(), VEXACoreCropPicture, VARIANT_FALSE));
  ASSERT_TRUE(xml.AddStill("", "/photos/b.jpg", -1, -1.0, nullptr, VEXACoreResizePicture, VARIANT_TRUE));

  // Unset rotation and time keep the document's defaults; the flag and the
  // sizing are always written.
  ComPtr<IStillImage> second = Still(xml, 2);
  ComPtr<IStillImage> fresh;
  ASSERT_EQ(CoCreateInstance(CLSID_StillImage, nullptr, CLSCTX_ALL, IID_IStillImage, fresh.PutVoid()), S_OK);
  LONG rotate = 0, defaultRotate = 0;
  DATE when = 0, defaultWhen = 0;
  ASSERT_EQ(second->get_destRotate(&rotate), S_OK);
  ASSERT_EQ(fresh->get_destRotate(&defaultRotate), S_OK);
  EXPECT_EQ(rotate, defaultRotate);
  ASSERT_EQ(second->get_destCTime(&when), S_OK);
  ASSERT_EQ(fresh->get_destCTime(&defaultWhen), S_OK);
  EXPECT_EQ(when, defaultWhen);
  VARIANT_BOOL isTitle = VARIANT_FALSE;
  ASSERT_EQ(second->get_isTitleStill(&isTitle), S_OK);
  EXPECT_EQ(isTitle, VARIANT_TRUE);
  VEXAXMLPictureSizingBehavior sizing = VEXAXMLPictureDefault;
  ASSERT_EQ(second->get_destSizingBehavior(&sizing), S_OK);
  EXPECT_EQ(sizing, VEXAXMLPictureResize);
  ASSERT_EQ(Still(xml, 1)->get_destSizingBehavior(&sizing), S_OK);
  EXPECT_EQ(sizing, VEXAXMLPictureClip);

  std::vector<StillEntry> stills;
  ASSERT_TRUE(xml.GetAllStills(&stills));
  ASSERT_EQ(stills.size(), 2u);
  EXPECT_EQ(stills[0].fullResPath, "/work/a.jpg");
  EXPECT_EQ(stills[0].originalFilename, "/photos/a.jpg");
  EXPECT_EQ(stills[0].title, "Caption");
  EXPECT_EQ(stills[0].rotation, 90);
  EXPECT_EQ(stills[0].creationTime, 40000.5);
  EXPECT_EQ(stills[0].sizingBehaviour, VEXACoreCropPicture);
  EXPECT_EQ(stills[0].isTitleStill, VARIANT_FALSE);
  // Without a working copy the still's source stands in.
  EXPECT_EQ(stills[1].fullResPath, "/photos/b.jpg");
  EXPECT_EQ(stills[1].sizingBehaviour, VEXACoreResizePicture);
  EXPECT_EQ(stills[1].isTitleStill, VARIANT_TRUE);

  ASSERT_TRUE(xml.ResetStills());
  stills.clear();
  ASSERT_TRUE(xml.GetAllStills(&stills));
  EXPECT_TRUE(stills.empty());
}

TEST_F(CoreXMLTest, TheAlbumHoldsOneAudioTrackTheLastOneAdded) {
  CVexaCoreXML xml(util_);
  ASSERT_TRUE(xml.Init("", VEXACoreXML));
  ASSERT_TRUE(xml.AddAudioTrack("/work/first.wav", "/music/first.mp3", 100.0));
  ASSERT_TRUE(xml.AddAudioTrack("/work/second.wav", "/music/second.mp3", 200.25));
  ComPtr<ISeqOfAudio> audios;
  ASSERT_EQ(xml.Album()->get_audios(audios.Put()), S_OK);
  LONG count = 0;
  ASSERT_EQ(audios->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  std::string path, source;
  DATE when = 0;
  ASSERT_TRUE(xml.GetFirstAudioTrack(&path, &source, &when));
  EXPECT_EQ(path, "/work/second.wav");
  EXPECT_EQ(source, "/music/second.mp3");
  EXPECT_EQ(when, 200.25);
  ASSERT_TRUE(xml.ResetAudios());
  ASSERT_EQ(audios->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(CoreXMLTest, AnAlbumFileRoundTripsInSecondsAndLosesItsWorkingCopies) {
  CVexaCoreXML xml(util_);
  ASSERT_TRUE(xml.Init("", VEXACoreXML));
  ASSERT_TRUE(xml.SetStillDelay(7));
  ASSERT_TRUE(xml.SetStillTitleVisibleTime(3));
  ASSERT_TRUE(xml.SetTVSystem(VEXACoreTVPAL));
  ASSERT_TRUE(xml.SetPaperSize(VEXACorePaperSizeA4));
  ASSERT_TRUE(xml.SetTitleLines(u"Summer", u"", u"2002 \u00e9t\u00e9"));
  Bstr none;
  ASSERT_TRUE(xml.AddStill("/work/a.jpg", "/photos/a.jpg", 270, 38000.0, none.Get(), VEXACoreCropPicture, VARIANT_FALSE));
  ASSERT_TRUE(xml.AddAudioTrack("/work/song.wav", "/music/song.mp3", 0.0));
  Store(xml, Path("album.xml"));

  CVexaCoreXML loaded(util_);
  ASSERT_TRUE(loaded.Init(Path("album.xml"), VEXACoreXML)) << util_.GetPendingErrors();
  LONG delay = 0, titleTime = 0, tv = 0, paper = 0;
  ASSERT_TRUE(loaded.GetStillDelay(&delay));
  ASSERT_TRUE(loaded.GetStillTitleVisibleTime(&titleTime));
  ASSERT_TRUE(loaded.GetTVSystem(&tv));
  ASSERT_TRUE(loaded.GetPaperSize(&paper));
  EXPECT_EQ(delay, 7);
  EXPECT_EQ(titleTime, 3);
  EXPECT_EQ(tv, VEXACoreTVPAL);
  EXPECT_EQ(paper, VEXACorePaperSizeA4);
  std::u16string l1, l2, l3;
  ASSERT_TRUE(loaded.GetTitleLines(&l1, &l2, &l3));
  EXPECT_EQ(l1, u"Summer");
  EXPECT_EQ(l2, u"");
  EXPECT_EQ(l3, u"2002 \u00e9t\u00e9");
  std::vector<StillEntry> stills;
  ASSERT_TRUE(loaded.GetAllStills(&stills));
  ASSERT_EQ(stills.size(), 1u);
  // The working copy of the run that wrote the file is gone: the source stands in.
  EXPECT_EQ(stills[0].fullResPath, "/photos/a.jpg");
  EXPECT_EQ(stills[0].rotation, 270);
  EXPECT_EQ(stills[0].sizingBehaviour, VEXACoreCropPicture);
  std::string path, source;
  DATE when = -5;
  ASSERT_TRUE(loaded.GetFirstAudioTrack(&path, &source, &when));
  EXPECT_EQ(path, "/music/song.mp3");
  EXPECT_EQ(source, "/music/song.mp3");

  // An album written in milliseconds (by the old engine) reads as seconds.
  ASSERT_TRUE(xml.SetStillDelay(5000));
  ASSERT_TRUE(xml.SetStillTitleVisibleTime(2000));
  Store(xml, Path("old.xml"));
  CVexaCoreXML old(util_);
  ASSERT_TRUE(old.Init(Path("old.xml"), VEXACoreXML));
  ASSERT_TRUE(old.GetStillDelay(&delay));
  ASSERT_TRUE(old.GetStillTitleVisibleTime(&titleTime));
  EXPECT_EQ(delay, 5);
  EXPECT_EQ(titleTime, 2);
}

TEST_F(CoreXMLTest, ThePartnerSampleLoadsWithItsSettingsInSeconds) {
  const std::string sample = base::JoinPath(base::ShareDir(), "samples/marwick-album.xml");
  CVexaCoreXML xml(util_);
  ASSERT_TRUE(xml.Init(sample, VEXACoreCueXML)) << util_.GetPendingErrors();
  LONG delay = 0, titleTime = 0, tv = -1;
  ASSERT_TRUE(xml.GetStillDelay(&delay));
  ASSERT_TRUE(xml.GetStillTitleVisibleTime(&titleTime));
  ASSERT_TRUE(xml.GetTVSystem(&tv));
  EXPECT_EQ(delay, 5);
  EXPECT_EQ(titleTime, 3);
  EXPECT_EQ(tv, VEXACoreTVPAL);
  std::u16string l1, l2, l3;
  ASSERT_TRUE(xml.GetTitleLines(&l1, &l2, &l3));
  EXPECT_EQ(l1, u"Summer 2002");
  EXPECT_EQ(l2, u"At the lake house");
  std::vector<StillEntry> stills;
  ASSERT_TRUE(xml.GetAllStills(&stills));
  ASSERT_EQ(stills.size(), 3u);
  EXPECT_NE(stills[1].originalFilename.find("the pier.jpg"), std::string::npos);
  EXPECT_EQ(stills[1].title, "On the pier & the boat");
  EXPECT_EQ(stills[1].fullResPath, stills[1].originalFilename);
  std::string path, source;
  DATE when = 0;
  ASSERT_TRUE(xml.GetFirstAudioTrack(&path, &source, &when));
  EXPECT_NE(source.find("theme.mp3"), std::string::npos);
}

}  // namespace
}  // namespace vexa::core::test
