// The mappers with the installed stylesheets: store and load round trips,
// the partner format, the stylesheets' directory, and the failures.
#include <unistd.h>

#include "model/Settings_p.h"
#include "model/tests/ModelTestUtil.h"
#include "platform/registry/Registry.h"

namespace vexa::model::test {
namespace {

constexpr char kProductKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";

std::string SourceData(const std::string& relative) {
  return std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/" + relative;
}

class MapperTest : public ModelTest {
 protected:
  // The model's internal document as text, with the generated identifiers
  // of the file references blanked when asked.
  std::string Internal(IUnknown* model, const char16_t* top, bool blankRefIds = false) {
    ComPtr<IXMLDOMDocument> doc;
    auto root = NewTop(top, &doc);
    ComPtr<IPersistXMLPropertyBag> persist;
    EXPECT_EQ(model->QueryInterface(IID_IPersistXMLPropertyBag, persist.PutVoid()), S_OK);
    auto bag = Create<IXMLPropertyBag>(CLSID_XMLPropertyBag);
    EXPECT_EQ(bag->SaveToXMLTop(root.Get(), persist.Get()), S_OK);
    if (blankRefIds) {
      ComPtr<IXMLDOMNodeList> ids;
      Bstr q(u"/vexa:AlbumManifest/*/vexa:identifier");
      EXPECT_EQ(doc->selectNodes(q.Get(), ids.Put()), S_OK);
      LONG n = 0;
      ids->get_length(&n);
      for (LONG i = 0; i < n; ++i) {
        ComPtr<IXMLDOMNode> id;
        ids->get_item(i, id.Put());
        id->put_text(nullptr);
      }
    }
    return Xml(root.Get());
  }

  ComPtr<IStillsSlideShow1> FullAlbum() {
    auto album = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
    Bstr id(u"0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0");
    album->put_identifier(id.Get());
    album->put_tvSystem(VEXAXMLTVNTSC);
    album->put_stillDelay(4000);
    ComPtr<ITitleSlide> title;
    album->get_titleSlide(title.Put());
    Bstr line = Bstr::FromUtf8("Caf\xC3\xA9 <&> \"quoted\"");
    title->put_line2(line.Get());
    ComPtr<ISeqOfStillImage> stills;
    album->get_stillImages(stills.Put());
    for (int i = 0; i < 3; ++i) {
      ComPtr<IStillImage> s;
      stills->AddStillImage(s.Put());
      Bstr name = Bstr::FromUtf8("dir/photo " + std::to_string(i) + ".jpg");
      s->put_originalFilename(name.Get());
      s->put_destCTime(i == 0 ? kNoDate : 37512.0 + i);
      s->put_isTitleStill(i == 2 ? VARIANT_TRUE : VARIANT_FALSE);
      s->put_width(1600);
    }
    ComPtr<ISeqOfAudio> audios;
    album->get_audios(audios.Put());
    ComPtr<IAudio> a;
    audios->AddAudio(a.Put());
    return album;
  }

  // Points APP_PATH at another folder for this test's registry layer.
  void SetAppPath(const std::string& value) {
    ASSERT_EQ(vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kProductKey, "APP_PATH",
                                  vexa::reg::Value::String(value)),
              vexa::reg::Status::Ok);
  }
};

TEST_F(MapperTest, EachMapperStoresAndLoadsItsModel) {
  auto albumMapper = Create<IStillsSlideShow1XML>(CLSID_StillsSlideShow1XML);
  auto album = FullAlbum();
  Bstr albumPath = Bstr::FromUtf8(Path("album.xml"));
  ASSERT_EQ(albumMapper->storeToFile(albumPath.Get(), album.Get()), S_OK) << LastError();
  ComPtr<IStillsSlideShow1> loadedAlbum;
  ASSERT_EQ(albumMapper->loadFromURL(albumPath.Get(), loadedAlbum.Put()), S_OK) << LastError();
  EXPECT_EQ(Internal(loadedAlbum.Get(), u"AlbumManifest"), Internal(album.Get(), u"AlbumManifest"));
  // The file on disk is the internal shape.
  std::string file;
  ASSERT_TRUE(vexa::base::ReadFile(albumPath.Utf8(), &file));
  EXPECT_NE(file.find(Internal(album.Get(), u"AlbumManifest")), std::string::npos);

  auto manifestMapper = Create<IDiscManifestXML>(CLSID_DiscManifestXML);
  auto manifest = Create<IDiscManifest>(CLSID_DiscManifest);
  Bstr volume(u"ORLDISC_2002");
  manifest->put_volumeIdentifier(volume.Get());
  ComPtr<ISeqOfAlbumInfo> albums;
  manifest->get_albums(albums.Put());
  ComPtr<IAlbumInfo> info;
  albums->AddAlbumInfo(info.Put());
  Bstr manifestPath = Bstr::FromUtf8(Path("discinfo.xml"));
  ASSERT_EQ(manifestMapper->storeToFile(manifestPath.Get(), manifest.Get()), S_OK) << LastError();
  ComPtr<IDiscManifest> loadedManifest;
  ASSERT_EQ(manifestMapper->loadFromURL(manifestPath.Get(), loadedManifest.Put()), S_OK);
  EXPECT_EQ(Internal(loadedManifest.Get(), u"DiscManifest"), Internal(manifest.Get(), u"DiscManifest"));

  auto embedMapper = Create<IEmbedImageXML>(CLSID_EmbedImageXML);
  auto record = Create<IEmbedImage>(CLSID_EmbedImage);
  Bstr original(u"a-source-id");
  record->put_originalIdentifier(original.Get());
  record->put_resolution(VEXAXMLStillImageThumbResolution);
  Bstr recordPath = Bstr::FromUtf8(Path("record.xml"));
  ASSERT_EQ(embedMapper->storeToFile(recordPath.Get(), record.Get()), S_OK);
  ComPtr<IEmbedImage> loadedRecord;
  ASSERT_EQ(embedMapper->loadFromURL(recordPath.Get(), loadedRecord.Put()), S_OK);
  EXPECT_EQ(Internal(loadedRecord.Get(), u"EmbedImage"), Internal(record.Get(), u"EmbedImage"));

  VEXA_NEED_CHECKER("xmllint");
  for (const Bstr* p : {&albumPath, &manifestPath, &recordPath}) {
    std::string out;
    EXPECT_EQ(Shell("xmllint --noout '" + p->Utf8() + "'", &out), 0) << out;
  }
  // The installed pairs are identities, as an independent processor agrees.
  VEXA_NEED_CHECKER("xsltproc");
  const std::pair<const Bstr*, const char*> pairs[] = {
      {&albumPath, "SlideShow1"}, {&manifestPath, "DiscManifest"}, {&recordPath, "EmbedImage"}};
  for (const auto& [path, name] : pairs) {
    std::string file, viaInput, viaOutput;
    ASSERT_TRUE(vexa::base::ReadFile(path->Utf8(), &file));
    for (const char* dir : {"Input", "Output"}) {
      std::string out;
      const std::string xsl = SourceData(std::string("xslt/") + name + dir + ".xsl");
      ASSERT_EQ(Shell("xsltproc '" + xsl + "' '" + path->Utf8() + "'", &out), 0) << out;
      EXPECT_EQ(out, file) << name << dir;
    }
  }
}

// Every mapper through IDispatch: members found by name at their DISPIDs,
// a store and a load round trip late-bound, the model coming back as the
// result or through a by-reference argument.
TEST_F(MapperTest, LateBoundStoreAndLoad) {
  const struct {
    const char16_t* progId;
    const CLSID* model;
    DISPID load;
  } mappers[] = {{u"Vexaxml.StillsSlideShow1XML", &CLSID_StillsSlideShow1, 1},
                 {u"Vexaxml.MarwickXML", &CLSID_StillsSlideShow1, 1},
                 {u"Vexaxml.DiscManifestXML", &CLSID_DiscManifest, 5},
                 {u"Vexaxml.EmbedImageXML", &CLSID_EmbedImage, 1}};
  for (const auto& m : mappers) {
    const std::string what(m.progId, m.progId + std::char_traits<char16_t>::length(m.progId));
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(m.progId, &clsid), S_OK) << what;
    ComPtr<IDispatch> mapper;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, mapper.PutVoid()), S_OK);
    for (const auto& [name, id] : {std::pair<std::u16string, DISPID>{u"loadFromURL", m.load},
                                   {u"storeToFile", m.load + 1}}) {
      std::u16string n = name;
      LPOLESTR names[] = {n.data()};
      DISPID got = DISPID_UNKNOWN;
      EXPECT_EQ(mapper->GetIDsOfNames(GUID_NULL, names, 1, 0, &got), S_OK) << what;
      EXPECT_EQ(got, id) << what;
    }
    ComPtr<IDispatch> model;
    ASSERT_EQ(CoCreateInstance(*m.model, nullptr, CLSCTX_ALL, IID_IDispatch, model.PutVoid()), S_OK);
    const std::string file = Path("late.xml");
    std::vector<Variant> store = {Variant::Dispatch(model.Get()), Variant::Utf8(file)};
    DISPPARAMS storeParams{store.data(), nullptr, 2, 0};
    Variant none;
    ASSERT_EQ(mapper->Invoke(m.load + 1, GUID_NULL, 0, DISPATCH_METHOD, &storeParams, none.Out(),
                             nullptr, nullptr),
              S_OK)
        << what << LastError();
    Variant path = Variant::Utf8(file), result;
    DISPPARAMS loadParams{&path, nullptr, 1, 0};
    ASSERT_EQ(mapper->Invoke(m.load, GUID_NULL, 0, DISPATCH_METHOD, &loadParams, result.Out(), nullptr,
                             nullptr),
              S_OK)
        << what << LastError();
    ASSERT_EQ(result.vt, VT_DISPATCH) << what;
    ComPtr<IPersistXMLPropertyBag> loaded;
    ASSERT_EQ(result.pdispVal->QueryInterface(IID_IPersistXMLPropertyBag, loaded.PutVoid()), S_OK);
    CLSID loadedClass;
    loaded->GetClassID(&loadedClass);
    EXPECT_EQ(loadedClass, *m.model) << what;
    // The out argument by reference.
    Variant slot, ref;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &slot;
    std::vector<Variant> byRef = {ref, Variant::Utf8(file)};
    DISPPARAMS refParams{byRef.data(), nullptr, 2, 0};
    ASSERT_EQ(mapper->Invoke(m.load, GUID_NULL, 0, DISPATCH_METHOD, &refParams, none.Out(), nullptr,
                             nullptr),
              S_OK)
        << what;
    EXPECT_EQ(slot.vt, VT_DISPATCH) << what;
    // A missing file fails with the mapper's own message.
    Variant missing = Variant::Utf8(Path("missing.xml"));
    DISPPARAMS missingParams{&missing, nullptr, 1, 0};
    EXPECT_EQ(mapper->Invoke(m.load, GUID_NULL, 0, DISPATCH_METHOD, &missingParams, result.Out(),
                             nullptr, nullptr),
              E_FAIL)
        << what;
    EXPECT_EQ(LastError().rfind("Unable to load XML document: " + Path("missing.xml"), 0), 0u) << what;
  }
}

// The sample partner album reads as the album a user would build by hand,
// and the partner mapper writes back what it reads.
TEST_F(MapperTest, PartnerSampleIsTheAlbumBuiltByHand) {
  auto expected = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
  expected->put_tvSystem(VEXAXMLTVPAL);
  expected->put_stillDelay(5000);
  expected->put_stillTitleVisibleTime(3000);
  ComPtr<ITitleSlide> title;
  expected->get_titleSlide(title.Put());
  Bstr l1(u"Summer 2002"), l2(u"At the lake house");
  title->put_line1(l1.Get());
  title->put_line2(l2.Get());
  ComPtr<ISeqOfStillImage> stills;
  expected->get_stillImages(stills.Put());
  const char* photos[][2] = {{"photos/arrival.jpg", "Arrival"},
                             {"photos/the pier.jpg", "On the pier & the boat"},
                             {"photos/sunset.jpg", ""}};
  for (const auto& p : photos) {
    ComPtr<IStillImage> s;
    stills->AddStillImage(s.Put());
    Bstr path = Bstr::FromUtf8(p[0]), caption = Bstr::FromUtf8(p[1]);
    s->put_originalFilename(path.Get());
    s->put_title(caption.Get());
  }
  ComPtr<ISeqOfAudio> audios;
  expected->get_audios(audios.Put());
  ComPtr<IAudio> track;
  audios->AddAudio(track.Put());
  Bstr theme(u"music/theme.mp3");
  track->put_originalFilename(theme.Get());

  auto partner = Create<IMarwickXML>(CLSID_MarwickXML);
  Bstr sample = Bstr::FromUtf8(SourceData("samples/marwick-album.xml"));
  ComPtr<IStillsSlideShow1> loaded;
  ASSERT_EQ(partner->loadFromURL(sample.Get(), loaded.Put()), S_OK) << LastError();
  const std::string want = Internal(expected.Get(), u"AlbumManifest", true);
  EXPECT_EQ(Internal(loaded.Get(), u"AlbumManifest", true), want);

  // Written back in the partner format and read again: the same album.
  Bstr partnerOut = Bstr::FromUtf8(Path("partner.xml"));
  ASSERT_EQ(partner->storeToFile(partnerOut.Get(), loaded.Get()), S_OK) << LastError();
  ComPtr<IStillsSlideShow1> again;
  ASSERT_EQ(partner->loadFromURL(partnerOut.Get(), again.Put()), S_OK) << LastError();
  EXPECT_EQ(Internal(again.Get(), u"AlbumManifest", true), want);

  // Converted without a model, the file loads with the album mapper.
  Bstr converted = Bstr::FromUtf8(Path("converted.xml"));
  ASSERT_EQ(partner->convertToStillsSlideShow1XML(sample.Get(), converted.Get()), S_OK) << LastError();
  auto albumMapper = Create<IStillsSlideShow1XML>(CLSID_StillsSlideShow1XML);
  ComPtr<IStillsSlideShow1> fromConverted;
  ASSERT_EQ(albumMapper->loadFromURL(converted.Get(), fromConverted.Put()), S_OK) << LastError();
  EXPECT_EQ(Internal(fromConverted.Get(), u"AlbumManifest", true), want);

  // Our transform gives what an independent processor gives with the same
  // stylesheet.
  VEXA_NEED_CHECKER("xsltproc");
  std::string theirs, ours;
  ASSERT_EQ(Shell("xsltproc '" + SourceData("xslt/MarwickInput.xsl") + "' '" + sample.Utf8() + "'",
                    &theirs),
            0)
      << theirs;
  ASSERT_TRUE(vexa::base::ReadFile(converted.Utf8(), &ours));
  EXPECT_EQ(ours, theirs);
  const std::string album = Path("album.xml");
  ASSERT_EQ(albumMapper->storeToFile(Bstr::FromUtf8(album).Get(), fromConverted.Get()), S_OK);
  ASSERT_EQ(Shell("xsltproc '" + SourceData("xslt/MarwickOutput.xsl") + "' '" + album + "'", &theirs), 0);
  std::string partnerText;
  ASSERT_EQ(partner->storeToFile(partnerOut.Get(), fromConverted.Get()), S_OK);
  ASSERT_TRUE(vexa::base::ReadFile(partnerOut.Utf8(), &partnerText));
  EXPECT_EQ(partnerText, theirs);
}

TEST_F(MapperTest, LoadFailures) {
  vexa::base::WriteFileAtomic(Path("manifest.xml"),
                              "<DiscManifest xmlns='http://schemas.vexa.example/go/di-cv-vexa-1-6'/>");
  vexa::base::WriteFileAtomic(Path("other-ns.xml"), "<AlbumManifest xmlns='urn:other'/>");
  vexa::base::WriteFileAtomic(Path("no-ns.xml"), "<AlbumManifest/>");
  vexa::base::WriteFileAtomic(Path("broken.xml"), "<AlbumManifest");
  // More attributes on one element than the libraries read in linear time.
  std::string crowded = "<?xml version='1.0'?>\n<AlbumManifest xmlns='http://schemas.vexa.example/go/di-cv-vexa-1-6'";
  for (int i = 0; i < 5000; ++i) crowded += " a" + std::to_string(i) + "='1'";
  vexa::base::WriteFileAtomic(Path("crowded.xml"), crowded + "><tvSystem>2</tvSystem></AlbumManifest>");
  // The system's text, then why: what the top element is, or the parser's
  // reason naming the file.
  struct Case {
    const char* file;
    std::string error;
  } cases[] = {
      {"manifest.xml",
       "top element doesn't match: the document's top element is DiscManifest in the namespace "
       "http://schemas.vexa.example/go/di-cv-vexa-1-6"},
      {"other-ns.xml", "top element doesn't match: the document's top element is AlbumManifest in the namespace urn:other"},
      {"no-ns.xml", "top element doesn't match: the document's top element is AlbumManifest in the namespace (none)"},
      {"broken.xml", "Unable to load XML document: " + Path("broken.xml") + ": Couldn't find end of Start Tag"},
      {"missing.xml", "Unable to load XML document: " + Path("missing.xml")},
      {"crowded.xml",
       "Unable to load XML document: " + Path("crowded.xml") + ": an element carries more than 256 attributes (line 2)"},
  };
  auto mapper = Create<IStillsSlideShow1XML>(CLSID_StillsSlideShow1XML);
  for (const auto& c : cases) {
    Bstr path = Bstr::FromUtf8(Path(c.file));
    ComPtr<IStillsSlideShow1> album;
    EXPECT_EQ(mapper->loadFromURL(path.Get(), album.Put()), E_FAIL) << c.file;
    const std::string error = LastError();
    if (c.error.rfind("Unable", 0) == 0) {
      EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.file;
    } else {
      EXPECT_EQ(error, c.error) << c.file;
    }
    EXPECT_FALSE(album) << c.file;
  }
  // The partner mapper's input stylesheet makes nothing of an album file.
  auto partner = Create<IMarwickXML>(CLSID_MarwickXML);
  Bstr manifest = Bstr::FromUtf8(Path("manifest.xml"));
  ComPtr<IStillsSlideShow1> album;
  EXPECT_EQ(partner->loadFromURL(manifest.Get(), album.Put()), E_FAIL);
  EXPECT_EQ(LastError(), "couldn't get root element");
}

// The stylesheets come from APP_PATH only: a missing stylesheet or a
// missing APP_PATH fails, and nothing is taken from the current directory.
TEST_F(MapperTest, StylesheetsComeFromAppPathOnly) {
  auto album = FullAlbum();
  auto mapper = Create<IStillsSlideShow1XML>(CLSID_StillsSlideShow1XML);
  Bstr good = Bstr::FromUtf8(Path("good.xml"));
  ASSERT_EQ(mapper->storeToFile(good.Get(), album.Get()), S_OK);

  // A decoy stylesheet where a relative path would find it.
  const std::string cwd = Path("cwd");
  ASSERT_TRUE(vexa::base::MakeDirs(cwd + "/xslt"));
  std::string identity;
  ASSERT_TRUE(vexa::base::ReadFile(SourceData("xslt/SlideShow1Input.xsl"), &identity));
  for (const char* name : {"SlideShow1Input.xsl", "SlideShow1Output.xsl"}) {
    vexa::base::WriteFileAtomic(cwd + "/xslt/" + name, identity);
    vexa::base::WriteFileAtomic(cwd + "/xslt\\" + name, identity);
  }
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(cwd.c_str()), 0);

  auto settings = Create<ISettings>(CLSID_Settings);
  struct Case {
    const char* appPath;
    const char* why;
    const char* input;
    const char* output;
  } cases[] = {
      {"", "no folder of stylesheets (APP_PATH is not set)", "", ""},
      {"/nonexistent-vexa-dir/", "/nonexistent-vexa-dir/xslt/", "SlideShow1Input.xsl: No such file or directory",
       "SlideShow1Output.xsl: No such file or directory"},
  };
  for (const auto& c : cases) {
    SetAppPath(c.appPath);
    Bstr dir;
    EXPECT_EQ(settings->get_settingsDirectory(dir.Out()), S_OK);
    EXPECT_EQ(dir.Utf8(), c.appPath);
    ComPtr<IStillsSlideShow1> loaded;
    EXPECT_EQ(mapper->loadFromURL(good.Get(), loaded.Put()), E_FAIL) << c.appPath;
    EXPECT_EQ(LastError(), std::string("Unable to load XML document: ") + c.why + c.input);
    Bstr out = Bstr::FromUtf8(Path("out.xml"));
    EXPECT_EQ(mapper->storeToFile(out.Get(), album.Get()), E_FAIL) << c.appPath;
    EXPECT_EQ(LastError(), std::string("unable to convert: ") + c.why + c.output);
    EXPECT_FALSE(vexa::base::FileExists(out.Utf8()));
  }
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(settings->put_settingsDirectory(nullptr), E_NOTIMPL);
}

// The six stylesheet paths of Settings: APP_PATH followed by the path below
// it, both separators taken as separators.
TEST_F(MapperTest, SettingsNamesTheSixStylesheets) {
  using Getter = std::string (*)();
  const std::pair<Getter, const char*> paths[] = {
      {&CSettings::SlideShow1InputPath, "xslt/SlideShow1Input.xsl"},
      {&CSettings::SlideShow1OutputPath, "xslt/SlideShow1Output.xsl"},
      {&CSettings::MarwickInputPath, "xslt/MarwickInput.xsl"},
      {&CSettings::MarwickOutputPath, "xslt/MarwickOutput.xsl"},
      {&CSettings::DiscManifestInputPath, "xslt/DiscManifestInput.xsl"},
      {&CSettings::DiscManifestOutputPath, "xslt/DiscManifestOutput.xsl"},
  };
  for (const char* appPath : {"/opt/vexa\\share\\", "", "/srv/"}) {
    SetAppPath(appPath);
    const std::string dir = vexa::base::ToNativePath(appPath);
    for (const auto& [get, relative] : paths) EXPECT_EQ(get(), dir + relative) << appPath;
  }
  // Every path names a stylesheet the installation has.
  SetAppPath(SourceData(""));
  for (const auto& [get, relative] : paths) {
    EXPECT_TRUE(vexa::base::FileExists(get())) << get();
  }
}

TEST_F(MapperTest, FailedStoreLeavesTheTargetAlone) {
  auto album = FullAlbum();
  auto mapper = Create<IStillsSlideShow1XML>(CLSID_StillsSlideShow1XML);
  Bstr nowhere = Bstr::FromUtf8(Path("no/such/dir/album.xml"));
  EXPECT_EQ(mapper->storeToFile(nowhere.Get(), album.Get()), E_FAIL);
  EXPECT_EQ(LastError(), "Unable to store XML document: cannot create a file in '" + Path("no/such/dir") + "' for '" +
                             Path("no/such/dir/album.xml") + "': No such file or directory");
  // A broken output stylesheet: the existing file stays as it was.
  const std::string share = Path("share/");
  ASSERT_TRUE(vexa::base::MakeDirs(share + "xslt"));
  vexa::base::WriteFileAtomic(share + "xslt/SlideShow1Output.xsl", "<xsl:stylesheet");
  SetAppPath(share);
  const std::string target = Path("kept.xml");
  vexa::base::WriteFileAtomic(target, "previous");
  EXPECT_EQ(mapper->storeToFile(Bstr::FromUtf8(target).Get(), album.Get()), E_FAIL);
  EXPECT_EQ(LastError(), "unable to convert: " + share + "xslt/SlideShow1Output.xsl: Couldn't find end of Start Tag "
                         "stylesheet line 1");
  std::string kept;
  vexa::base::ReadFile(target, &kept);
  EXPECT_EQ(kept, "previous");
}

}  // namespace
}  // namespace vexa::model::test
