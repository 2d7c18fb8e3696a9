// The model objects and collections: their identity, initial state, element
// order, store and load, and their error texts.
#include <algorithm>
#include <vector>

#include "model/tests/ModelTestUtil.h"

namespace vexa::model::test {
namespace {

const std::string kNs = "http://schemas.vexa.example/go/di-cv-vexa-1-6";

// 36 lower-case hexadecimal characters in 8-4-4-4-12 groups.
bool IsModelIdentifier(const std::string& s) {
  if (s.size() != 36) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (s[i] == '-')) return false;
    if (!dash && !((s[i] >= '0' && s[i] <= '9') || (s[i] >= 'a' && s[i] <= 'f'))) return false;
  }
  return true;
}

class ObjectsTest : public ModelTest {
 protected:
  // The object saved under a new top element, as XML text.
  template <typename I>
  std::string Save(const ComPtr<I>& object, const char16_t* top = u"AlbumManifest",
                   ComPtr<IXMLDOMDocument>* docOut = nullptr) {
    ComPtr<IXMLDOMDocument> doc;
    auto root = NewTop(top, &doc);
    ComPtr<IPersistXMLPropertyBag> persist;
    EXPECT_EQ(object.As(&persist), S_OK);
    ComPtr<IXMLPropertyBag> bag = Create<IXMLPropertyBag>(CLSID_XMLPropertyBag);
    EXPECT_EQ(bag->SaveToXMLTop(root.Get(), persist.Get()), S_OK);
    if (docOut) *docOut = doc;
    return Xml(root.Get());
  }
  template <typename I>
  void Load(const std::string& xml, const ComPtr<I>& object) {
    auto doc = Parse(xml);
    ComPtr<IPersistXMLPropertyBag> persist;
    ASSERT_EQ(object.As(&persist), S_OK);
    ComPtr<IXMLPropertyBag> bag = Create<IXMLPropertyBag>(CLSID_XMLPropertyBag);
    ASSERT_EQ(bag->LoadFromXMLTop(Root(doc.Get()).Get(), persist.Get()), S_OK);
  }
  // Names of the element children of an element, in order.
  static std::vector<std::string> ChildNames(IXMLDOMNode* parent) {
    std::vector<std::string> names;
    ComPtr<IXMLDOMNode> c;
    parent->get_firstChild(c.Put());
    while (c) {
      Bstr n;
      c->get_baseName(n.Out());
      names.push_back(n.Utf8());
      ComPtr<IXMLDOMNode> next;
      c->get_nextSibling(next.Put());
      c = next;
    }
    return names;
  }
  ComPtr<IXMLDOMNode> Select(IXMLDOMDocument* doc, const char* path) {
    ComPtr<IXMLDOMNode> n;
    Bstr q = Bstr::FromUtf8(path);
    EXPECT_EQ(doc->selectSingleNode(q.Get(), n.Put()), S_OK) << path;
    return n;
  }
  std::string TextAt(IXMLDOMDocument* doc, const char* path) {
    auto n = Select(doc, path);
    if (!n) return "<missing>";
    Bstr t;
    n->get_text(t.Out());
    return t.Utf8();
  }
};

TEST_F(ObjectsTest, NewAlbumSavesTheInternalShape) {
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"Vexaxml.StillSlideShow1", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_StillsSlideShow1);
  auto album = Create<IStillsSlideShow1>(clsid);
  ComPtr<IXMLDOMDocument> doc;
  Save(album, u"AlbumManifest", &doc);
  auto root = Root(doc.Get());
  EXPECT_EQ(ChildNames(root.Get()),
            (std::vector<std::string>{"identifier", "tvSystem", "paperSize", "stillTitleVisibleTime",
                                      "stillDelay", "stillImages", "audios", "titleSlide",
                                      "vcdSlideShow", "cdCaseInsert", "contactSheet",
                                      "multiSizePrints", "albumHomePage", "albumBrowseHomePage",
                                      "albumSlideShowHomePage"}));
  // Unset values and the defaults are empty elements.
  for (const char* empty : {"identifier", "tvSystem", "paperSize", "stillTitleVisibleTime",
                            "stillDelay", "stillImages", "audios"}) {
    auto n = Select(doc.Get(), ("/vexa:AlbumManifest/vexa:" + std::string(empty)).c_str());
    VARIANT_BOOL has = VARIANT_TRUE;
    n->hasChildNodes(&has);
    EXPECT_EQ(has, VARIANT_FALSE) << empty;
  }
  EXPECT_EQ(ChildNames(Select(doc.Get(), "/vexa:AlbumManifest/vexa:titleSlide").Get()),
            (std::vector<std::string>{"line1", "line2", "line3"}));
  struct Ref {
    const char* element;
    const char* fileElement;
    const char* file;
  } refs[] = {
      {"vcdSlideShow", "trackFilename", "/MPEGAV/AVSEQ01.DAT"},
      {"cdCaseInsert", "pdfFilename", "PRINT/PDF/INSERT.PDF"},
      {"contactSheet", "pdfFilename", "PRINT/PDF/CONTACT.PDF"},
      {"multiSizePrints", "pdfFilename", "PRINT/PDF/PRINTS.PDF"},
      {"albumHomePage", "htmlFilename", "VIEW/ALBUM.HTM"},
      {"albumBrowseHomePage", "htmlFilename", "VIEW/BROWSE/BROWSE.HTM"},
      {"albumSlideShowHomePage", "htmlFilename", "VIEW/SHOW/SHOW.HTM"},
  };
  std::vector<std::string> ids;
  for (const auto& r : refs) {
    const std::string base = "/vexa:AlbumManifest/vexa:" + std::string(r.element) + "/vexa:";
    EXPECT_EQ(ChildNames(Select(doc.Get(), ("/vexa:AlbumManifest/vexa:" + std::string(r.element)).c_str()).Get()),
              (std::vector<std::string>{"identifier", r.fileElement}));
    EXPECT_EQ(TextAt(doc.Get(), (base + r.fileElement).c_str()), r.file);
    ids.push_back(TextAt(doc.Get(), (base + "identifier").c_str()));
    EXPECT_TRUE(IsModelIdentifier(ids.back())) << ids.back();
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());

  // The file an independent parser reads: well-formed, in the namespace.
  const std::string path = Path("album.xml");
  ASSERT_EQ(doc->save(Variant::Utf8(path)), S_OK);
  VEXA_NEED_CHECKER("xmllint");
  std::string out;
  ASSERT_EQ(Shell("xmllint --noout " + path, &out), 0) << out;
  ASSERT_EQ(Shell("xmllint --xpath 'namespace-uri(/*)' " + path, &out), 0) << out;
  EXPECT_EQ(out, kNs + "\n");
  ASSERT_EQ(Shell("xmllint --xpath 'count(//*[namespace-uri()!=namespace-uri(/*)])' " + path, &out), 0);
  EXPECT_EQ(out, "0\n");
}

TEST_F(ObjectsTest, DefaultsWriteEmptyAndSetValuesWriteThemselves) {
  auto album = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
  ComPtr<IXMLDOMDocument> doc;
  ASSERT_EQ(album->put_stillDelay(5000), S_OK);
  ASSERT_EQ(album->put_tvSystem(VEXAXMLTVPAL), S_OK);
  Save(album, u"AlbumManifest", &doc);
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:AlbumManifest/vexa:stillDelay"), "5000");
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:AlbumManifest/vexa:tvSystem"), "2");
  ASSERT_EQ(album->put_stillDelay(-3615898), S_OK);
  ASSERT_EQ(album->put_tvSystem(VEXAXMLTVINVALID), S_OK);
  Save(album, u"AlbumManifest", &doc);
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:AlbumManifest/vexa:stillDelay"), "");
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:AlbumManifest/vexa:tvSystem"), "");
  // Other classes have no defaults: a zero is written.
  auto still = Create<IStillImage>(CLSID_StillImage);
  Save(still, u"S", &doc);
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:S/vexa:width"), "0");
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:S/vexa:isTitleStill"), "0");
  EXPECT_EQ(TextAt(doc.Get(), "/vexa:S/vexa:destCTime"), "");
  LONG v = 0;
  ASSERT_EQ(album->put_stillDelay(7), S_OK);
  ASSERT_EQ(album->get_stillDelay(&v), S_OK);
  EXPECT_EQ(v, 7);
}

// A full album, saved and loaded into a new one, saves to the same text.
TEST_F(ObjectsTest, AlbumStoreAndLoadKeepEveryValue) {
  auto album = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
  Bstr id(u"4bd8a1f2-0000-4000-8000-000000000001");
  album->put_identifier(id.Get());
  album->put_stillTitleVisibleTime(3000);
  album->put_stillDelay(0);
  album->put_tvSystem(VEXAXMLTVNTSC);
  album->put_paperSize(VEXAXMLPaperSizeA4);
  ComPtr<ITitleSlide> title;
  album->get_titleSlide(title.Put());
  Bstr line1 = Bstr::FromUtf8("Caf\xC3\xA9 & <friends>"), empty(u"");
  title->put_line1(line1.Get());
  title->put_line2(empty.Get());
  title->put_line3(nullptr);
  ComPtr<ISeqOfStillImage> stills;
  album->get_stillImages(stills.Put());
  const DATE dates[] = {kNoDate, kMinDate, kMaxDate, 37512.0 + 63.0 / 86400.0};
  for (int i = 0; i < 4; ++i) {
    ComPtr<IStillImage> s;
    ASSERT_EQ(stills->AddStillImage(s.Put()), S_OK);
    Bstr name = Bstr::FromUtf8("photo" + std::to_string(i) + ".jpg");
    s->put_originalFilename(name.Get());
    s->put_title(name.Get());
    s->put_destCTime(dates[i]);
    s->put_destRotate(i * 90 - 90);
    s->put_destSizingBehavior(static_cast<VEXAXMLPictureSizingBehavior>(i % 3));
    s->put_isTitleStill(i == 1 ? VARIANT_TRUE : VARIANT_FALSE);
    s->put_width(640 * i);
    s->put_height(-1);
    s->put_albumFullResJolietFilename(name.Get());
  }
  ComPtr<ISeqOfAudio> audios;
  album->get_audios(audios.Put());
  ComPtr<IAudio> track;
  audios->AddAudio(track.Put());
  Bstr song(u"song.mp3");
  track->put_originalFilename(song.Get());
  track->put_destCTime(36000.5);
  ComPtr<IPDFFile> insert;
  album->get_cdCaseInsert(insert.Put());
  Bstr pdf(u"OTHER.PDF");
  insert->put_pdfFilename(pdf.Get());

  const std::string saved = Save(album);
  auto loaded = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
  Load(saved, loaded);
  EXPECT_EQ(Save(loaded), saved);

  // A few values read through the interfaces, beyond the text.
  ComPtr<ISeqOfStillImage> loadedStills;
  loaded->get_stillImages(loadedStills.Put());
  LONG count = 0;
  loadedStills->get_Count(&count);
  ASSERT_EQ(count, 4);
  for (LONG i = 1; i <= 4; ++i) {
    ComPtr<IStillImage> s;
    ASSERT_EQ(loadedStills->get_Item(i, s.Put()), S_OK);
    DATE d = 0;
    s->get_destCTime(&d);
    EXPECT_EQ(d, dates[i - 1]) << i;
    VARIANT_BOOL b = 0;
    s->get_isTitleStill(&b);
    EXPECT_EQ(b, i == 2 ? VARIANT_TRUE : VARIANT_FALSE);
  }
  VEXAXMLPaperSize paper = VEXAXMLPaperSizeInvalid;
  loaded->get_paperSize(&paper);
  EXPECT_EQ(paper, VEXAXMLPaperSizeA4);
  LONG delay = -1;
  loaded->get_stillDelay(&delay);
  EXPECT_EQ(delay, 0);
  ComPtr<ITitleSlide> loadedTitle;
  loaded->get_titleSlide(loadedTitle.Put());
  Bstr l1, l3;
  loadedTitle->get_line1(l1.Out());
  loadedTitle->get_line3(l3.Out());
  EXPECT_EQ(l1.View(), line1.View());
  EXPECT_FALSE(l3.IsNull());  // unset strings read as empty
  EXPECT_EQ(l3.Length(), 0u);
}

TEST_F(ObjectsTest, LoadKeepsWhatTheDocumentLacks) {
  auto album = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
  ComPtr<IVCDSlideShow> vcd;
  album->get_vcdSlideShow(vcd.Put());
  Bstr generated;
  vcd->get_identifier(generated.Out());
  Load("<AlbumManifest xmlns='" + kNs + "'><stillDelay>4000</stillDelay>"
       "<cdCaseInsert><identifier>from-file</identifier></cdCaseInsert></AlbumManifest>",
       album);
  LONG delay = 0, visible = 0;
  album->get_stillDelay(&delay);
  album->get_stillTitleVisibleTime(&visible);
  EXPECT_EQ(delay, 4000);
  EXPECT_EQ(visible, -3615898);
  Bstr now, insertId, insertFile;
  vcd->get_identifier(now.Out());
  EXPECT_EQ(now.View(), generated.View());
  ComPtr<IPDFFile> insert;
  album->get_cdCaseInsert(insert.Put());
  insert->get_identifier(insertId.Out());
  insert->get_pdfFilename(insertFile.Out());
  EXPECT_EQ(insertId.Utf8(), "from-file");
  EXPECT_EQ(insertFile.Utf8(), "PRINT/PDF/INSERT.PDF");
}

TEST_F(ObjectsTest, ManifestAndItsChildren) {
  auto manifest = Create<IDiscManifest>(CLSID_DiscManifest);
  ComPtr<IDiscGenerationInfo> info;
  ComPtr<ISeqOfAlbumInfo> albums;
  ComPtr<IHTMLFile> home;
  ASSERT_EQ(manifest->get_discGenerationInfo(info.Put()), S_OK);
  ASSERT_EQ(manifest->get_albums(albums.Put()), S_OK);
  ASSERT_EQ(manifest->get_discHomePage(home.Put()), S_OK);
  ASSERT_TRUE(info && albums && home);
  Bstr file;
  home->get_htmlFilename(file.Out());
  EXPECT_EQ(file.Utf8(), "/HOMEPAGE.HTM");
  DATE d = 0;
  info->get_expiresDate(&d);
  EXPECT_EQ(d, kNoDate);
  info->put_createdDate(kMaxDate);
  ComPtr<IAlbumInfo> a;
  albums->AddAlbumInfo(a.Put());
  Bstr m(u"/ORLDISC/ALBUM_A/ALBUM.XML");
  a->put_manifestFilename(m.Get());

  ComPtr<IXMLDOMDocument> doc;
  const std::string saved = Save(manifest, u"DiscManifest", &doc);
  EXPECT_EQ(ChildNames(Root(doc.Get()).Get()),
            (std::vector<std::string>{"volumeIdentifier", "specVersion", "discIdentifier",
                                      "discGenerationInfo", "discHomePage", "albums"}));
  EXPECT_EQ(ChildNames(Select(doc.Get(), "/vexa:DiscManifest/vexa:discGenerationInfo").Get()),
            (std::vector<std::string>{"copyrightFileIdentifier", "publisherIdentifier",
                                      "applicationIdentifier", "dataPreparerIdentifier",
                                      "abstractFileIdentifier", "bibliographicalFileIdentifier",
                                      "createdDate", "modifiedDate", "expiresDate", "effectiveDate"}));
  auto loaded = Create<IDiscManifest>(CLSID_DiscManifest);
  Load(saved, loaded);
  EXPECT_EQ(Save(loaded, u"DiscManifest"), saved);
}

TEST_F(ObjectsTest, EachClassAnswersExactlyItsInterfaces) {
  struct Case {
    const char16_t* progId;
    CLSID classId;  // what GetClassID reports
    IID dual;
  } cases[] = {
      {u"Vexaxml.StillSlideShow1", CLSID_StillsSlideShow1, IID_IStillsSlideShow1},
      {u"Vexaxml.StillImage", CLSID_StillImage, IID_IStillImage},
      {u"Vexaxml.Audio", CLSID_Audio, IID_IAudio},
      {u"Vexaxml.TitleSlide", CLSID_TitleSlide, IID_ITitleSlide},
      {u"Vexaxml.VCDSlideShow", CLSID_VCDSlideShow, IID_IVCDSlideShow},
      {u"Vexaxml.PDFFile", CLSID_PDFFile, IID_IPDFFile},
      {u"Vexaxml.HTMLFile", CLSID_HTMLFile, IID_IHTMLFile},
      {u"Vexaxml.AlbumInfo", CLSID_AlbumInfo, IID_IAlbumInfo},
      {u"Vexaxml.DiscManifest", CLSID_DiscManifest, IID_IDiscManifest},
      {u"Vexaxml.DiscGenerationInfo", CLSID_DiscGenerationInfo, IID_IDiscGenerationInfo},
      {u"Vexaxml.EmbedImage", CLSID_EmbedImage, IID_IEmbedImage},
      {u"Vexaxml.SeqOfStillImage.1", GUID_NULL, IID_ISeqOfStillImage},
      {u"Vexaxml.SeqOfAudio.1", CLSID_SeqOfAudio, IID_ISeqOfAudio},
      {u"Vexaxml.SeqOfAlbumInfo.1", CLSID_SeqOfAlbumInfo, IID_ISeqOfAlbumInfo},
  };
  for (const auto& c : cases) {
    const std::string name = vexa::base::Utf16ToUtf8(c.progId);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(c.progId, &clsid), S_OK) << name;
    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), S_OK) << name;
    for (const IID& iid : {c.dual, IID_IDispatch, IID_IPersistXMLPropertyBag, IID_ISupportErrorInfo}) {
      ComPtr<IUnknown> p;
      EXPECT_EQ(object->QueryInterface(iid, p.PutVoid()), S_OK) << name;
    }
    for (const IID& iid : {IID_IPersist, IID_IXMLPropertyBag, IID_IStillImage, IID_IAudio,
                           IID_IEnumVARIANT, IID_IClassFactory}) {
      if (iid == c.dual) continue;
      ComPtr<IUnknown> p;
      EXPECT_EQ(object->QueryInterface(iid, p.PutVoid()), E_NOINTERFACE) << name;
    }
    ComPtr<ISupportErrorInfo> sei;
    object.As(&sei);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(c.dual), S_OK) << name;
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IPersistXMLPropertyBag), S_FALSE) << name;
    ComPtr<IPersistXMLPropertyBag> persist;
    object.As(&persist);
    CLSID reported;
    ASSERT_EQ(persist->GetClassID(&reported), S_OK);
    EXPECT_EQ(reported, c.classId) << name;
    EXPECT_EQ(persist->InitNew(), S_OK);
    // Type information: the dual interface by name in the server's library.
    ComPtr<IDispatch> dispatch;
    object.As(&dispatch);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.Put()), S_OK) << name;
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, c.dual) << name;
    EXPECT_GT(attr->cFuncs, 0) << name;
    info->ReleaseTypeAttr(attr);
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), nullptr), S_OK) << name;
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(libAttr->guid, LIBID_VEXAXMLLib) << name;
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(libAttr);
  }
  // An album's type information lists its properties by name.
  ComPtr<IDispatch> album;
  ASSERT_EQ(CoCreateInstance(CLSID_StillsSlideShow1, nullptr, CLSCTX_ALL, IID_IDispatch, album.PutVoid()), S_OK);
  ComPtr<ITypeInfo> albumInfo;
  ASSERT_EQ(album->GetTypeInfo(0, 0, albumInfo.Put()), S_OK);
  Bstr itf, member;
  ASSERT_EQ(albumInfo->GetDocumentation(MEMBERID_NIL, itf.Out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(itf.View(), u"IStillsSlideShow1");
  ASSERT_EQ(albumInfo->GetDocumentation(13, member.Out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(member.View(), u"multiSizePrints");
  // HTMLFile is registered under its second identifier only.
  ComPtr<IUnknown> p;
  EXPECT_EQ(CoCreateInstance(CLSID_HTMLFileRegistered, nullptr, CLSCTX_ALL, IID_IHTMLFile, p.PutVoid()), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_HTMLFile, nullptr, CLSCTX_ALL, IID_IHTMLFile, p.PutVoid()),
            REGDB_E_CLASSNOTREG);
}

TEST_F(ObjectsTest, AccessorErrors) {
  auto info = Create<IDiscGenerationInfo>(CLSID_DiscGenerationInfo);
  TakeError();
  EXPECT_EQ(info->get_copyrightFileIdentifier(nullptr), E_FAIL);
  EXPECT_EQ(LastError(), "CopyTo failed");
  EXPECT_EQ(info->get_publisherIdentifier(nullptr), E_POINTER);
  EXPECT_EQ(info->get_createdDate(nullptr), E_POINTER);
  auto album = Create<IStillsSlideShow1>(CLSID_StillsSlideShow1);
  EXPECT_EQ(album->get_stillImages(nullptr), E_POINTER);
  EXPECT_EQ(album->get_stillDelay(nullptr), E_POINTER);

  // Booleans are -1 or 0, nothing else.
  auto still = Create<IStillImage>(CLSID_StillImage);
  EXPECT_EQ(still->put_isTitleStill(1), E_INVALIDARG);
  VARIANT_BOOL b = 5;
  still->get_isTitleStill(&b);
  EXPECT_EQ(b, VARIANT_FALSE);
  EXPECT_EQ(still->put_isTitleStill(VARIANT_TRUE), S_OK);
  // Put through IDispatch as the persistence does.
  ComPtr<IDispatch> d;
  still.As(&d);
  Variant v = Variant::Bool(false);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&v, &named, 1, 1};
  EXPECT_EQ(d->Invoke(15, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr), S_OK);
  still->get_isTitleStill(&b);
  EXPECT_EQ(b, VARIANT_FALSE);
}

// ---- Collections ----------------------------------------------------------------------

TEST_F(ObjectsTest, CollectionIndexes) {
  struct Seq {
    const char16_t* progId;
    const char* indexText;
    const char16_t* addName;
  } seqs[] = {
      {u"Vexaxml.SeqOfStillImage", "ISeqOfStillImage::getItem - index < 1", u"AddStillImage"},
      {u"Vexaxml.SeqOfAudio", "ISeqOfAudio::getItem - index < 1", u"AddAudio"},
      {u"Vexaxml.SeqOfAlbumInfo", "ISeqOfAlbumInfo::getItem - index < 1", u"AddAlbumInfo"},
  };
  for (const auto& s : seqs) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(s.progId, &clsid), S_OK);
    ComPtr<IDispatch> seq;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, seq.PutVoid()), S_OK);
    // Through IDispatch, as any caller of the three may: Add (1), Item (0).
    auto item = [&](LONG n, Variant* out) {
      Variant arg = Variant::I4(n);
      DISPPARAMS p{&arg, nullptr, 1, 0};
      return seq->Invoke(0, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &p, out->Out(),
                         nullptr, nullptr);
    };
    // Late-bound callers find the members by their own names.
    const struct {
      const char16_t* name;
      DISPID id;
    } members[] = {{s.addName, 1}, {u"Clear", 2}, {u"Count", DISPID_SEQ_COUNT}, {u"Item", 0},
                   {u"_NewEnum", DISPID_NEWENUM}};
    for (const auto& m : members) {
      std::u16string name(m.name);
      LPOLESTR names[] = {name.data()};
      DISPID id = DISPID_UNKNOWN;
      EXPECT_EQ(seq->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
      EXPECT_EQ(id, m.id);
    }
    Variant got;
    EXPECT_EQ(item(1, &got), E_FAIL);  // empty
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    std::vector<Variant> added(3);
    for (auto& a : added) {
      ASSERT_EQ(seq->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &none, a.Out(), nullptr, nullptr), S_OK);
    }
    Variant count;
    ASSERT_EQ(seq->Invoke(DISPID_SEQ_COUNT, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, count.Out(),
                          nullptr, nullptr),
              S_OK);
    EXPECT_EQ(count.lVal, 3);
    struct Case {
      LONG n;
      HRESULT hr;
      const char* error;
    } cases[] = {{0, E_FAIL, s.indexText}, {-1, E_FAIL, s.indexText}, {1, S_OK, "<none>"},
                 {3, S_OK, "<none>"},      {4, E_FAIL, "<none>"}};
    for (const auto& c : cases) {
      TakeError();
      EXPECT_EQ(item(c.n, &got), c.hr) << c.n;
      EXPECT_EQ(LastError(), c.error) << c.n;
      if (c.hr == S_OK) {
        EXPECT_EQ(got.pdispVal, added[c.n - 1].pdispVal);
      }
    }
  }
}

TEST_F(ObjectsTest, ClearAndEnumeratorsKeepItemsAlive) {
  auto seq = Create<ISeqOfStillImage>(CLSID_SeqOfStillImage);
  ComPtr<IStillImage> a, b;
  ASSERT_EQ(seq->AddStillImage(a.Put()), S_OK);
  ASSERT_EQ(seq->AddStillImage(b.Put()), S_OK);
  Bstr title(u"kept");
  b->put_title(title.Get());
  ComPtr<IUnknown> enumUnknown;
  ASSERT_EQ(seq->get__NewEnum(enumUnknown.Put()), S_OK);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(enumUnknown.As(&e), S_OK);
  ASSERT_EQ(seq->Clear(), S_OK);
  LONG n = -1;
  seq->get_Count(&n);
  EXPECT_EQ(n, 0);
  seq.Reset();  // the collection is gone too
  // The caller's pointers and the enumerator still work.
  Bstr t;
  ASSERT_EQ(b->get_title(t.Out()), S_OK);
  EXPECT_EQ(t.Utf8(), "kept");
  Variant items[3];
  ULONG fetched = 0;
  EXPECT_EQ(e->Next(3, items, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(items[0].vt, VT_DISPATCH);
  ComPtr<IStillImage> second;
  ASSERT_EQ(items[1].pdispVal->QueryInterface(IID_IStillImage, second.PutVoid()), S_OK);
  ASSERT_EQ(second->get_title(t.Out()), S_OK);
  EXPECT_EQ(t.Utf8(), "kept");
}

TEST_F(ObjectsTest, CollectionPersistence) {
  auto seq = Create<ISeqOfAudio>(CLSID_SeqOfAudio);
  for (const char* name : {"one.wav", "two.mp3", "three.wma"}) {
    ComPtr<IAudio> a;
    seq->AddAudio(a.Put());
    Bstr n = Bstr::FromUtf8(name);
    a->put_originalFilename(n.Get());
  }
  ComPtr<IXMLDOMDocument> doc;
  const std::string saved = Save(seq, u"audios", &doc);
  EXPECT_EQ(ChildNames(Root(doc.Get()).Get()), (std::vector<std::string>{"Audio", "Audio", "Audio"}));

  auto loaded = Create<ISeqOfAudio>(CLSID_SeqOfAudio);
  Load(saved, loaded);
  EXPECT_EQ(Save(loaded, u"audios"), saved);
  // Loading appends.
  Load(saved, loaded);
  LONG n = 0;
  loaded->get_Count(&n);
  ASSERT_EQ(n, 6);
  ComPtr<IAudio> fourth;
  loaded->get_Item(4, fourth.Put());
  Bstr name;
  fourth->get_originalFilename(name.Out());
  EXPECT_EQ(name.Utf8(), "one.wav");

  ComPtr<IPersistXMLPropertyBag> persist;
  loaded.As(&persist);
  TakeError();
  EXPECT_EQ(persist->Load(nullptr), E_FAIL);
  EXPECT_EQ(LastError(), "wasn't passed an XMLPropertyBag");
  EXPECT_EQ(persist->Save(nullptr), E_FAIL);
  EXPECT_EQ(LastError(), "wasn't passed an XMLPropertyBag");
}

}  // namespace
}  // namespace vexa::model::test
