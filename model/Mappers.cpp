// The mappers: files on disk to model objects and back, through an input
// and an output stylesheet around the internal document shape; Settings,
// which names the stylesheets' directory; and the record kept in a JPEG.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "model/Model_p.h"
#include "model/Settings_p.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "idl/ProductKey.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

// The value is read as a narrow string of at most this many bytes.
constexpr std::size_t kMaxSettingsPath = 1024;

}  // namespace

// ---- Settings ------------------------------------------------------------------------

std::span<const DispatchEntry<CSettings>> CSettings::DispatchTable() {
  static const DispatchEntry<CSettings> t[] = {
      DispProperty<&CSettings::get_settingsDirectory, &CSettings::put_settingsDirectory>(
          3, u"settingsDirectory"),
  };
  return t;
}

std::string CSettings::Directory() {
  std::string dir;
  if (auto v = vexa::reg::GetString(vexa::reg::Hive::LocalMachine, kProductKey, "APP_PATH")) {
    if (v->size() <= kMaxSettingsPath) dir = *v;
  }
  return dir;
}

HRESULT CSettings::get_settingsDirectory(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = Bstr::FromUtf8(Directory()).Detach();
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

std::string CSettings::PathOf(const char* relative) {
  return vexa::base::ToNativePath(Directory() + relative);
}

namespace {

// ---- The mapper template ------------------------------------------------------------------

// What a mapper class is: its identity, its model and its stylesheets.
struct MapperSpec {
  const CLSID* classId;
  const IID* iid;
  const CLSID* modelClassId;
  const char16_t* topElement;
  const char* inputXsl;
  const char* outputXsl;
};

constexpr MapperSpec kAlbumSpec{&CLSID_StillsSlideShow1XML, &IID_IStillsSlideShow1XML,
                                &CLSID_StillsSlideShow1, u"AlbumManifest",
                                "xslt\\SlideShow1Input.xsl", "xslt\\SlideShow1Output.xsl"};
constexpr MapperSpec kMarwickSpec{&CLSID_MarwickXML, &IID_IMarwickXML, &CLSID_StillsSlideShow1,
                                  u"AlbumManifest", "xslt\\MarwickInput.xsl",
                                  "xslt\\MarwickOutput.xsl"};
constexpr MapperSpec kManifestSpec{&CLSID_DiscManifestXML, &IID_IDiscManifestXML,
                                   &CLSID_DiscManifest, u"DiscManifest",
                                   "xslt\\DiscManifestInput.xsl", "xslt\\DiscManifestOutput.xsl"};
constexpr MapperSpec kEmbedSpec{&CLSID_EmbedImageXML, &IID_IEmbedImageXML, &CLSID_EmbedImage,
                                u"EmbedImage", "xslt\\EmbedImageInput.xsl",
                                "xslt\\EmbedImageOutput.xsl"};

template <typename I>
HRESULT Create(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IidOf<I>(), out->PutVoid());
}

// The stylesheet path: the settings directory joined with the relative
// path, both separators accepted. An empty directory gives "": without
// APP_PATH nothing is read from the current directory.
HRESULT StylesheetPath(const char* relative, std::string* path) {
  ComPtr<ISettings> settings;
  HRESULT hr = Create(CLSID_Settings, &settings);
  if (FAILED(hr)) return hr;
  Bstr dir;
  hr = settings->get_settingsDirectory(dir.Out());
  if (FAILED(hr)) return hr;
  path->clear();
  if (dir.Length() > 0) *path = vexa::base::ToNativePath(dir.Utf8() + relative);
  return S_OK;
}

// Loads a stylesheet document; a missing directory or file leaves it empty.
HRESULT LoadStylesheet(IXMLDOMDocument* xsl, const std::string& path, VARIANT_BOOL* ok) {
  *ok = VARIANT_FALSE;
  if (path.empty()) return S_FALSE;
  return xsl->load(Variant::Utf8(path), ok);
}

// Why a document did not load: the parser's reason, which names the file.
std::string LoadFailure(IXMLDOMDocument* doc) {
  Bstr reason;
  if (FAILED(doc->get_parseErrorReason(reason.Out())) || reason.Length() == 0) return "";
  return reason.Utf8();
}

// Why loading a stylesheet failed: no folder to find it in, or its load.
std::string StylesheetFailure(IXMLDOMDocument* xsl, const std::string& path) {
  if (path.empty()) return "no folder of stylesheets (APP_PATH is not set)";
  return LoadFailure(xsl);
}

// The text of the comment editor's error block, between its
// "<Description>" and "  </Description>".
std::string EditorText(const std::string& block) {
  const std::string open = "<Description>", close = "  </Description>";
  const std::size_t a = block.find(open);
  const std::size_t b = block.rfind(close);
  if (a == std::string::npos || b == std::string::npos || b < a + open.size()) return block;
  return block.substr(a + open.size(), b - a - open.size());
}

template <typename T, typename Itf, typename ModelItf>
class XMLMapper : public ComObjectRoot,
                  public DispatchImpl<T, Itf>,
                  public SupportErrorInfoImpl<Itf> {
 public:
  using Interfaces = InterfaceMap<Itf, Via<IDispatch, Itf>, ISupportErrorInfo>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }

  // Late-bound calls: loadFromURL gives the model as its result (or through
  // a by-reference last argument), storeToFile takes the path and the model.
  static std::span<const DispatchEntry<T>> DispatchTable() {
    static const DispatchEntry<T> t[] = {DispMethodOf<&T::loadFromURL>(T::kLoadId, u"loadFromURL"),
                                         DispMethodOf<&T::storeToFile>(T::kLoadId + 1, u"storeToFile")};
    return t;
  }

 protected:
  HRESULT Error(std::string_view text, HRESULT hr = E_FAIL) {
    return ModelError(*T::kSpec.classId, *T::kSpec.iid, text, hr);
  }
  // The system's text, then ": " and the cause ("" gives the text alone).
  HRESULT Error(std::string_view text, const std::string& cause, HRESULT hr = E_FAIL) {
    std::string full(text);
    if (!cause.empty()) full += (full.empty() ? "" : ": ") + cause;
    return Error(full, hr);
  }
  // The text, then what the failed call below reported.
  HRESULT ErrorFromBelow(std::string_view text, HRESULT hr = E_FAIL) {
    return Error(text, TakeError().Utf8Description(), hr);
  }

  HRESULT Load(BSTR path, ModelItf** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    SetErrorInfo(0, nullptr);
    ComPtr<IDOMHelper> helper;
    if (FAILED(Create(CLSID_DOMHelper, &helper))) return Error("couldn't create DOMHelper");
    ComPtr<IXMLDOMDocument> in, xsl, result;
    if (FAILED(helper->createDocument(in.Put())) || FAILED(helper->createDocument(xsl.Put())) ||
        FAILED(helper->createDocument(result.Put())) || !in || !xsl || !result) {
      return Error("Unable to create XMLDOMDocument");
    }
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (in->load(Variant::String(BstrView(path)), &ok) != S_OK || !ok) {
      return Error("Unable to load XML document", LoadFailure(in.Get()));
    }
    std::string xslPath;
    HRESULT hr = StylesheetPath(T::kSpec.inputXsl, &xslPath);
    if (FAILED(hr)) return hr;
    if (LoadStylesheet(xsl.Get(), xslPath, &ok) != S_OK || !ok) {
      return Error("Unable to load XML document", StylesheetFailure(xsl.Get(), xslPath));
    }
    if (FAILED(helper->transform(in.Get(), xsl.Get(), result.Get()))) return ErrorFromBelow("unable to convert");
    ComPtr<IXMLDOMElement> top;
    if (FAILED(result->get_documentElement(top.Put())) || !top) {
      return Error("couldn't get root element");
    }
    Bstr name, ns;
    top->get_baseName(name.Out());
    top->get_namespaceURI(ns.Out());
    if (name.View() != T::kSpec.topElement || ns.View() != kVexaXmlNamespace) {
      return Error("top element doesn't match",
                   "the document's top element is " + name.Utf8() + " in the namespace " +
                       (ns.Length() ? ns.Utf8() : std::string("(none)")));
    }
    ComPtr<IPersistXMLPropertyBag> model;
    ComPtr<IXMLPropertyBag> bag;
    ComPtr<ModelItf> typed;
    if (FAILED(Create(*T::kSpec.modelClassId, &model)) || FAILED(Create(CLSID_XMLPropertyBag, &bag)) ||
        FAILED(bag->LoadFromXMLTop(top.Get(), model.Get())) || FAILED(model.As(&typed))) {
      // This step has no text of its own: the cause is all there is to say.
      const std::string cause = TakeError().Utf8Description();
      return Error("", cause.empty() ? "the document's values could not be loaded into the model" : cause);
    }
    *out = typed.Detach();
    return S_OK;
  }

  HRESULT Store(BSTR path, ModelItf* model) {
    SetErrorInfo(0, nullptr);
    if (!model) return E_POINTER;
    ComPtr<IDOMHelper> helper;
    if (FAILED(Create(CLSID_DOMHelper, &helper))) return Error("couldn't create DOMHelper");
    ComPtr<IXMLDOMDocument> doc;
    if (FAILED(helper->createDocument(doc.Put())) || !doc) {
      return Error("Unable to create XML parser object");
    }
    ComPtr<IXMLDOMElement> top;
    Bstr name(T::kSpec.topElement), ns(kVexaXmlNamespace);
    if (FAILED(helper->addDocumentElement(doc.Get(), name.Get(), ns.Get(), top.Put())) || !top) {
      return Error("couldn't add root element");
    }
    ComPtr<IPersistXMLPropertyBag> persist;
    HRESULT hr = model->QueryInterface(IidOf<IPersistXMLPropertyBag>(), persist.PutVoid());
    if (FAILED(hr)) return hr;
    persist->InitNew();
    ComPtr<IXMLPropertyBag> bag;
    if (FAILED(hr = Create(CLSID_XMLPropertyBag, &bag))) return hr;
    if (FAILED(hr = bag->SaveToXMLTop(top.Get(), persist.Get()))) return hr;
    ComPtr<IXMLDOMDocument> xsl;
    if (FAILED(Create(CLSID_DOMDocument30, &xsl))) return Error("cocreate failed");
    ComPtr<ISettings> settings;
    if (FAILED(Create(CLSID_Settings, &settings))) return Error("couldn't get settings");
    Bstr dir;
    if (FAILED(settings->get_settingsDirectory(dir.Out()))) return Error("couldn't get outputFilename");
    // Without a directory there is no stylesheet: the transform below fails.
    if (dir.Length() > 0) {
      VARIANT_BOOL ok = VARIANT_FALSE;
      const std::string xslPath = vexa::base::ToNativePath(dir.Utf8() + T::kSpec.outputXsl);
      if (FAILED(xsl->load(Variant::Utf8(xslPath), &ok))) return Error("load failed", LoadFailure(xsl.Get()));
    }
    ComPtr<IXMLDOMDocument> out;
    if (FAILED(helper->createDocument(out.Put())) || !out) return Error("Unable to create documentOut");
    if (FAILED(helper->transform(doc.Get(), xsl.Get(), out.Get()))) {
      // A stylesheet that did not load is why nothing could be converted.
      VARIANT_BOOL loaded = VARIANT_FALSE;
      ComPtr<IXMLDOMElement> sheet;
      xsl->get_documentElement(sheet.Put());
      loaded = sheet ? VARIANT_TRUE : VARIANT_FALSE;
      if (!loaded) {
        TakeError();
        const std::string xslPath = dir.Length() ? vexa::base::ToNativePath(dir.Utf8() + T::kSpec.outputXsl) : "";
        return Error("unable to convert", StylesheetFailure(xsl.Get(), xslPath));
      }
      return ErrorFromBelow("unable to convert");
    }
    if (FAILED(out->save(Variant::String(BstrView(path))))) {
      return ErrorFromBelow("Unable to store XML document");
    }
    return S_OK;
  }
};

class CStillsSlideShow1XML
    : public XMLMapper<CStillsSlideShow1XML, IStillsSlideShow1XML, IStillsSlideShow1> {
 public:
  static constexpr const MapperSpec& kSpec = kAlbumSpec;
  static constexpr DISPID kLoadId = 1;
  HRESULT loadFromURL(BSTR path, IStillsSlideShow1** out) override { return Load(path, out); }
  HRESULT storeToFile(BSTR path, IStillsSlideShow1* model) override { return Store(path, model); }
};

class CMarwickXML : public XMLMapper<CMarwickXML, IMarwickXML, IStillsSlideShow1> {
 public:
  static constexpr const MapperSpec& kSpec = kMarwickSpec;
  static constexpr DISPID kLoadId = 1;
  static std::span<const DispatchEntry<CMarwickXML>> DispatchTable() {
    using C = CMarwickXML;
    static const DispatchEntry<C> t[] = {
        DispMethodOf<&C::loadFromURL>(1, u"loadFromURL"),
        DispMethodOf<&C::storeToFile>(2, u"storeToFile"),
        DispMethodOf<&C::convertToStillsSlideShow1XML>(3, u"convertToStillsSlideShow1XML"),
    };
    return t;
  }
  HRESULT loadFromURL(BSTR path, IStillsSlideShow1** out) override { return Load(path, out); }
  HRESULT storeToFile(BSTR path, IStillsSlideShow1* model) override { return Store(path, model); }

  // A partner album file turned into an album file by the input stylesheet
  // alone, without a model.
  HRESULT convertToStillsSlideShow1XML(BSTR inputFile, BSTR outputFile) override {
    ComPtr<IDOMHelper> helper;
    if (FAILED(Create(CLSID_DOMHelper, &helper))) return Error("couldn't create DOMHelper");
    ComPtr<IXMLDOMDocument> in, out, xsl;
    if (FAILED(helper->createDocument(in.Put())) || !in) {
      return Error("Unable to create XML parser object");
    }
    if (FAILED(helper->createDocument(out.Put())) || !out) return Error("cocreate failed");
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (in->load(Variant::String(BstrView(inputFile)), &ok) != S_OK || !ok) {
      return Error("Unable to load XML document", LoadFailure(in.Get()));
    }
    if (FAILED(Create(CLSID_DOMDocument30, &xsl))) return Error("cocreate failed");
    std::string xslPath;
    HRESULT hr = StylesheetPath(kSpec.inputXsl, &xslPath);
    if (FAILED(hr)) return hr;
    if (FAILED(LoadStylesheet(xsl.Get(), xslPath, &ok))) return Error("load failed", LoadFailure(xsl.Get()));
    if (FAILED(helper->transform(in.Get(), xsl.Get(), out.Get()))) {
      if (!ok) {
        TakeError();
        return Error("unable to convert", StylesheetFailure(xsl.Get(), xslPath));
      }
      return ErrorFromBelow("unable to convert");
    }
    if (FAILED(out->save(Variant::String(BstrView(outputFile))))) {
      return ErrorFromBelow("Unable to store XML document");
    }
    return S_OK;
  }
};

class CDiscManifestXML : public XMLMapper<CDiscManifestXML, IDiscManifestXML, IDiscManifest> {
 public:
  static constexpr const MapperSpec& kSpec = kManifestSpec;
  static constexpr DISPID kLoadId = 5;
  HRESULT loadFromURL(BSTR path, IDiscManifest** out) override { return Load(path, out); }
  HRESULT storeToFile(BSTR path, IDiscManifest* model) override { return Store(path, model); }
};

// A temporary file of the system's temp folder, removed when it goes.
struct TempFile {
  std::string path = vexa::base::MakeTempFile(vexa::base::TempDirectory(), "BV", ".xml");
  ~TempFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
};

class CEmbedImageXML : public XMLMapper<CEmbedImageXML, IEmbedImageXML, IEmbedImage> {
 public:
  static constexpr const MapperSpec& kSpec = kEmbedSpec;
  static constexpr DISPID kLoadId = 1;
  static std::span<const DispatchEntry<CEmbedImageXML>> DispatchTable() {
    using C = CEmbedImageXML;
    static const DispatchEntry<C> t[] = {
        DispMethodOf<&C::loadFromURL>(1, u"loadFromURL"),
        DispMethodOf<&C::storeToFile>(2, u"storeToFile"),
        DispMethodOf<&C::loadFromJPEG>(3, u"loadFromJPEG"),
        DispMethodOf<&C::storeToJPEG>(4, u"storeToJPEG"),
        DispMethodOf<&C::getMarker>(5, u"getMarker"),
    };
    return t;
  }
  HRESULT loadFromURL(BSTR path, IEmbedImage** out) override { return Load(path, out); }
  HRESULT storeToFile(BSTR path, IEmbedImage* model) override { return Store(path, model); }

  HRESULT getMarker(IJPEGCOM* jpeg, LONG* pIndex, VARIANT* pBytes) override {
    if (!jpeg || !pIndex || !pBytes) return E_POINTER;
    try {
      *pIndex = 0;
      VariantClear(pBytes);
      LONG n = 0;
      if (FAILED(jpeg->get_numMarkers(&n))) return Error("", EditorCause());
      ComPtr<IDOMHelper> helper;
      if (FAILED(Create(CLSID_DOMHelper, &helper))) return Error("createdoc failed");
      for (LONG i = 1; i <= n; ++i) {
        Variant bytes;
        if (FAILED(jpeg->getMarker(i, &bytes))) {
          // An empty comment holds no record; a comment that cannot be
          // read at all is a failure, not "no record".
          const std::string why = EditorCause();
          if (why == "the marker is empty") continue;
          return Error("couldn't get marker", why);
        }
        ComPtr<IXMLDOMDocument> doc;
        if (FAILED(helper->createDocument(doc.Put())) || !doc) return Error("createdoc failed");
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (doc->load(bytes, &ok) != S_OK || !ok) {
          // Text that names the record's namespace claims to be the record:
          // when it does not parse, the record is damaged.
          if (ClaimsToBeTheRecord(bytes)) {
            return Error("the embedxml marker (comment " + std::to_string(i) + ") cannot be parsed",
                         LoadFailure(doc.Get()));
          }
          continue;
        }
        ComPtr<IXMLDOMElement> top;
        if (FAILED(helper->getDocumentElement(doc.Get(), top.Put()))) return Error("no doc element?");
        Bstr name, ns;
        if (FAILED(top->get_baseName(name.Out())) || FAILED(top->get_namespaceURI(ns.Out()))) {
          return Error("", "the comment's top element cannot be read");
        }
        if (name.View() == kSpec.topElement && ns.View() == kVexaXmlNamespace) {
          *pIndex = i;
          *pBytes = bytes.Detach();
          return S_OK;
        }
      }
      return S_OK;
    } catch (const std::exception&) {
      return Error("exception thrown");
    }
  }

  HRESULT loadFromJPEG(BSTR pathToJPEG, IEmbedImage** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      ComPtr<IJPEGCOM> jpeg;
      if (FAILED(Create(CLSID_JPEGCOM, &jpeg))) return Error("cocreate failed");
      if (FAILED(jpeg->put_fromFilename(pathToJPEG))) return Error("put_fromFilename failed");
      if (FAILED(jpeg->start())) return Error("", EditorCause());
      LONG index = 0;
      Variant bytes;
      if (FAILED(getMarker(jpeg.Get(), &index, &bytes))) return ErrorFromBelow("");
      if (index == 0) {
        // No record: a fresh one.
        ComPtr<IEmbedImage> fresh;
        if (FAILED(Create(CLSID_EmbedImage, &fresh))) return ErrorFromBelow("");
        *out = fresh.Detach();
        return S_OK;
      }
      TempFile tmp;
      if (tmp.path.empty() || !WriteBytes(tmp.path, bytes)) return Error("couldn't create the tmp file");
      Bstr tmpPath = Bstr::FromUtf8(tmp.path);
      if (FAILED(loadFromURL(tmpPath.Get(), out))) return ErrorFromBelow("couldn't loadFromURL");
      return S_OK;
    } catch (const std::exception&) {
      return Error("exception thrown");
    }
  }

  // The record becomes (or replaces) a comment of the photo. The edited
  // copy is made in a temporary file and replaces the photo in one step,
  // only when everything before succeeded.
  HRESULT storeToJPEG(BSTR pathToJPEG, IEmbedImage* model) override {
    try {
      std::string xml;
      {
        TempFile a;
        Bstr aPath = Bstr::FromUtf8(a.path);
        if (a.path.empty()) return Error("couldn't store the file", "no temporary file can be made");
        if (FAILED(storeToFile(aPath.Get(), model))) return ErrorFromBelow("couldn't store the file");
        std::string why;
        if (!vexa::base::ReadFile(a.path, &xml, &why)) return Error("couldn't open the tmp file", why);
      }
      SafeArray array(VT_UI1, static_cast<ULONG>(xml.size()));
      void* data = nullptr;
      if (!array.Get() || FAILED(SafeArrayAccessData(array.Get(), &data))) return Error("", "out of memory");
      std::copy(xml.begin(), xml.end(), static_cast<char*>(data));
      SafeArrayUnaccessData(array.Get());
      Variant bytes;
      bytes.vt = VT_ARRAY | VT_UI1;
      bytes.parray = array.Detach();

      TempFile b;
      if (b.path.empty()) return Error("", "no temporary file can be made");
      std::string edited;
      {
        ComPtr<IJPEGCOM> jpeg;
        if (FAILED(Create(CLSID_JPEGCOM, &jpeg))) return Error("cocreate failed");
        if (FAILED(jpeg->put_fromFilename(pathToJPEG))) return Error("put_fromFilename failed");
        Bstr bPath = Bstr::FromUtf8(b.path);
        if (FAILED(jpeg->put_toFilename(bPath.Get())) || FAILED(jpeg->start())) return Error("", EditorCause());
        LONG index = 0;
        Variant old;
        if (FAILED(getMarker(jpeg.Get(), &index, &old))) return ErrorFromBelow("");
        if (index > 0) {
          if (FAILED(jpeg->replaceMarker(index, bytes))) {
            return Error("couldn't replace embedxml marker", EditorCause());
          }
        } else if (FAILED(jpeg->insertMarker(1, bytes))) {
          return Error("couldn't insert embedxml marker", EditorCause());
        }
        if (FAILED(jpeg->commit())) return Error("couldn't commit", EditorCause());
      }
      std::string why;
      if (!vexa::base::ReadFile(b.path, &edited, &why)) return Error("couldn't commit", why);
      // The photo is replaced only as the shared output helper allows (a
      // link, a file the user may not write are refused, with the reason).
      if (!vexa::base::WriteFileAtomic(BstrToUtf8(pathToJPEG), edited, &why)) {
        return Error("couldn't write to dest file", why);
      }
      return S_OK;
    } catch (const std::exception&) {
      return Error("", "exception thrown");
    }
  }

 private:
  // What the comment editor's failed call said.
  static std::string EditorCause() { return EditorText(TakeError().Utf8Description()); }

  // True when the bytes name the record's namespace.
  static bool ClaimsToBeTheRecord(const VARIANT& bytes) {
    if (bytes.vt != (VT_ARRAY | VT_UI1) || !bytes.parray) return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(bytes.parray, &data))) return false;
    const std::string_view text(static_cast<const char*>(data), bytes.parray->rgsabound[0].cElements);
    const bool claims = text.find(vexa::base::Utf16ToUtf8(kVexaXmlNamespace)) != std::string_view::npos;
    SafeArrayUnaccessData(bytes.parray);
    return claims;
  }

  static bool WriteBytes(const std::string& path, const VARIANT& bytes) {
    if (bytes.vt != (VT_ARRAY | VT_UI1) || !bytes.parray) return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(bytes.parray, &data))) return false;
    const std::string content(static_cast<const char*>(data), bytes.parray->rgsabound[0].cElements);
    SafeArrayUnaccessData(bytes.parray);
    return vexa::base::WriteFileAtomic(path, content);
  }
};

}  // namespace

HRESULT CreateSettings(REFIID iid, void** ppv) { return ComObject<CSettings>::CreateInstance(iid, ppv); }
HRESULT CreateStillsSlideShow1XML(REFIID iid, void** ppv) {
  return ComObject<CStillsSlideShow1XML>::CreateInstance(iid, ppv);
}
HRESULT CreateMarwickXML(REFIID iid, void** ppv) {
  return ComObject<CMarwickXML>::CreateInstance(iid, ppv);
}
HRESULT CreateDiscManifestXML(REFIID iid, void** ppv) {
  return ComObject<CDiscManifestXML>::CreateInstance(iid, ppv);
}
HRESULT CreateEmbedImageXML(REFIID iid, void** ppv) {
  return ComObject<CEmbedImageXML>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
