// vexa-album: builds and reads album documents through the vexaxml objects,
// for hand use and for checks.
//
//   vexa-album new OUT.xml [--title T]... [--still PATH]...
//   vexa-album dump IN.xml
//   vexa-album convert IN.xml OUT.xml [--from-partner]
//   vexa-album jpeg-get PHOTO.jpg
//   vexa-album jpeg-set PHOTO.jpg --id ID --resolution N
//
// `new` makes an album (up to three --title lines for its title slide, one
// still per --still) and saves it in the model's internal document shape.
// `dump` loads an album document into a new album and prints every property
// as "path: value", one a line. `convert` loads an album file (in the
// partner format with --from-partner) and stores it as an album file through
// the installed stylesheets. `jpeg-get` prints the record kept in a photo
// ("originalIdentifier: ..." and "resolution: N"); `jpeg-set` writes it.
// Exit code 0 on success, 1 with "ERROR: ..."
// on stderr otherwise.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "idl/vexaxml.h"
#include "platform/base/Text.h"

using namespace vexa::com;

namespace {

const char kUsage[] =
    "usage: vexa-album new OUT.xml [--title T]... [--still PATH]...\n"
    "       vexa-album dump IN.xml\n"
    "       vexa-album convert IN.xml OUT.xml [--from-partner]\n"
    "       vexa-album jpeg-get PHOTO.jpg\n"
    "       vexa-album jpeg-set PHOTO.jpg --id ID --resolution N\n"
    "resolution: 0 unknown, 1 original, 2 album, 3 web, 4 thumbnail\n";

// "ERROR: what (result): why", the reason being what the failed call left.
int Fail(const std::string& what, HRESULT hr) {
  const std::string why = TakeError().Utf8Description();
  std::fprintf(stderr, "ERROR: %s (%s)%s%s\n", what.c_str(), HresultName(hr).c_str(), why.empty() ? "" : ": ",
               why.c_str());
  return 1;
}

template <typename I>
HRESULT Create(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IidOf<I>(), out->PutVoid());
}

int New(const std::string& out, const std::vector<std::string>& titles,
        const std::vector<std::string>& stills) {
  ComPtr<IStillsSlideShow1> album;
  HRESULT hr = Create(CLSID_StillsSlideShow1, &album);
  if (FAILED(hr)) return Fail("cannot create an album", hr);
  ComPtr<ITitleSlide> title;
  album->get_titleSlide(title.Put());
  for (std::size_t i = 0; i < titles.size(); ++i) {
    Bstr line = Bstr::FromUtf8(titles[i]);
    if (i == 0) title->put_line1(line.Get());
    if (i == 1) title->put_line2(line.Get());
    if (i == 2) title->put_line3(line.Get());
  }
  ComPtr<ISeqOfStillImage> seq;
  album->get_stillImages(seq.Put());
  for (const std::string& path : stills) {
    ComPtr<IStillImage> still;
    hr = seq->AddStillImage(still.Put());
    if (FAILED(hr)) return Fail("cannot add a still", hr);
    Bstr p = Bstr::FromUtf8(path);
    still->put_originalFilename(p.Get());
  }

  ComPtr<IDOMHelper> helper;
  hr = Create(CLSID_DOMHelper, &helper);
  if (FAILED(hr)) return Fail("cannot create the DOM helper", hr);
  ComPtr<IXMLDOMDocument> doc;
  ComPtr<IXMLDOMElement> top;
  Bstr name(u"AlbumManifest"), ns(kVexaXmlNamespace);
  if (FAILED(hr = helper->createDocument(doc.Put())) ||
      FAILED(hr = helper->addDocumentElement(doc.Get(), name.Get(), ns.Get(), top.Put()))) {
    return Fail("cannot make the document", hr);
  }
  ComPtr<IXMLPropertyBag> bag;
  ComPtr<IPersistXMLPropertyBag> persist;
  if (FAILED(hr = Create(CLSID_XMLPropertyBag, &bag)) || FAILED(hr = album.As(&persist)) ||
      FAILED(hr = bag->SaveToXMLTop(top.Get(), persist.Get()))) {
    return Fail("cannot save the album", hr);
  }
  if (FAILED(hr = doc->save(Variant::Utf8(out)))) return Fail("cannot write " + out, hr);
  return 0;
}

// The text of one loaded value: dates as the album document spells them
// (empty for "no date"), booleans as 1 or 0, anything else converted.
std::string ValueText(const VARIANT& v) {
  if (v.vt == VT_DATE) {
    SYSTEMTIME st{};
    if (v.date == kNoDate || !VariantTimeToSystemTime(v.date, &st)) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u/%02u/%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
    return buf;
  }
  if (v.vt == VT_BOOL) return v.boolVal ? "1" : "0";
  Variant text;
  if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) return "";
  return BstrToUtf8(text.bstrVal);
}

bool IsItemElement(const std::string& name) {
  return name == "StillImage" || name == "Audio" || name == "AlbumInfo";
}

// Prints the properties of a loaded object as "path: value", one a line.
// The document `saved` (the object saved afresh) gives the names and their
// order; every value is asked of the object itself, so what is printed is
// what was loaded (an album whose document leaves tvSystem empty shows 4).
HRESULT PrintLoaded(IDispatch* object, IXMLDOMNode* saved, const std::string& path) {
  std::vector<ComPtr<IXMLDOMNode>> elements;
  ComPtr<IXMLDOMNode> c;
  saved->get_firstChild(c.Put());
  while (c) {
    DOMNodeType type = NODE_INVALID;
    c->get_nodeType(&type);
    if (type == NODE_ELEMENT) elements.push_back(c);
    ComPtr<IXMLDOMNode> next;
    c->get_nextSibling(next.Put());
    c = next;
  }
  if (elements.empty()) {
    std::printf("%s: \n", path.c_str());
    return S_OK;
  }
  // Items of a collection are numbered from 1.
  LONG index = 0;
  for (const auto& e : elements) {
    Bstr nameText;
    e->get_baseName(nameText.Out());
    const std::string name = nameText.Utf8();
    std::string childPath = path.empty() ? name : path + "." + name;
    Variant value;
    HRESULT hr;
    if (IsItemElement(name)) {
      childPath = path + "[" + std::to_string(++index) + "]";
      Variant arg = Variant::I4(index);
      DISPPARAMS params{&arg, nullptr, 1, 0};
      hr = object->Invoke(0, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &value,
                          nullptr, nullptr);
    } else {
      DISPID id = DISPID_UNKNOWN;
      LPOLESTR names[] = {nameText.Get()};
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      hr = object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
      if (SUCCEEDED(hr)) {
        hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
      }
    }
    if (FAILED(hr)) return hr;
    if (value.vt == VT_DISPATCH && value.pdispVal) {
      hr = PrintLoaded(value.pdispVal, e.Get(), childPath);
      if (FAILED(hr)) return hr;
    } else {
      std::printf("%s: %s\n", childPath.c_str(), ValueText(value).c_str());
    }
  }
  return S_OK;
}

int Dump(const std::string& in) {
  ComPtr<IDOMHelper> helper;
  HRESULT hr = Create(CLSID_DOMHelper, &helper);
  if (FAILED(hr)) return Fail("cannot create the DOM helper", hr);
  ComPtr<IXMLDOMDocument> doc;
  if (FAILED(hr = helper->createDocument(doc.Put()))) return Fail("cannot make a document", hr);
  VARIANT_BOOL ok = VARIANT_FALSE;
  doc->load(Variant::Utf8(in), &ok);
  if (!ok) {
    Bstr reason;
    doc->get_parseErrorReason(reason.Out());
    // The parser's reason names the file.
    std::fprintf(stderr, "ERROR: cannot load %s\n", reason.Utf8().c_str());
    return 1;
  }
  ComPtr<IXMLDOMElement> top;
  if (FAILED(hr = helper->getDocumentElement(doc.Get(), top.Put()))) return Fail("no document element", hr);
  Bstr name, ns;
  top->get_baseName(name.Out());
  top->get_namespaceURI(ns.Out());
  if (name.View() != u"AlbumManifest" || ns.View() != kVexaXmlNamespace) {
    std::fprintf(stderr, "ERROR: %s is not an album document\n", in.c_str());
    return 1;
  }
  ComPtr<IStillsSlideShow1> album;
  ComPtr<IXMLPropertyBag> bag;
  ComPtr<IPersistXMLPropertyBag> persist;
  if (FAILED(hr = Create(CLSID_StillsSlideShow1, &album)) || FAILED(hr = album.As(&persist)) ||
      FAILED(hr = Create(CLSID_XMLPropertyBag, &bag)) ||
      FAILED(hr = bag->LoadFromXMLTop(top.Get(), persist.Get()))) {
    return Fail("cannot load the album", hr);
  }
  // The loaded album saved afresh gives the property names in order.
  ComPtr<IXMLDOMDocument> out;
  ComPtr<IXMLDOMElement> outTop;
  if (FAILED(hr = helper->createDocument(out.Put())) ||
      FAILED(hr = helper->addDocumentElement(out.Get(), name.Get(), ns.Get(), outTop.Put())) ||
      FAILED(hr = bag->SaveToXMLTop(outTop.Get(), persist.Get()))) {
    return Fail("cannot read the album back", hr);
  }
  ComPtr<IDispatch> object;
  if (FAILED(hr = album.As(&object)) || FAILED(hr = PrintLoaded(object.Get(), outTop.Get(), ""))) {
    return Fail("cannot read the album back", hr);
  }
  return 0;
}

int Convert(const std::string& in, const std::string& out, bool fromPartner) {
  Bstr inPath = Bstr::FromUtf8(in), outPath = Bstr::FromUtf8(out);
  ComPtr<IStillsSlideShow1> album;
  HRESULT hr;
  if (fromPartner) {
    ComPtr<IMarwickXML> partner;
    if (FAILED(hr = Create(CLSID_MarwickXML, &partner))) return Fail("cannot create the mapper", hr);
    if (FAILED(hr = partner->loadFromURL(inPath.Get(), album.Put()))) return Fail("cannot load " + in, hr);
  }
  ComPtr<IStillsSlideShow1XML> mapper;
  if (FAILED(hr = Create(CLSID_StillsSlideShow1XML, &mapper))) return Fail("cannot create the mapper", hr);
  if (!fromPartner && FAILED(hr = mapper->loadFromURL(inPath.Get(), album.Put()))) {
    return Fail("cannot load " + in, hr);
  }
  if (FAILED(hr = mapper->storeToFile(outPath.Get(), album.Get()))) return Fail("cannot store " + out, hr);
  return 0;
}

int JpegGet(const std::string& photo) {
  ComPtr<IEmbedImageXML> mapper;
  HRESULT hr = Create(CLSID_EmbedImageXML, &mapper);
  if (FAILED(hr)) return Fail("cannot create the mapper", hr);
  Bstr path = Bstr::FromUtf8(photo);
  ComPtr<IEmbedImage> record;
  if (FAILED(hr = mapper->loadFromJPEG(path.Get(), record.Put()))) return Fail("cannot read " + photo, hr);
  Bstr id;
  VEXAXMLStillImageResolution resolution = VEXAXMLStillImageUnknownResolution;
  record->get_originalIdentifier(id.Out());
  record->get_resolution(&resolution);
  std::printf("originalIdentifier: %s\nresolution: %ld\n", id.Utf8().c_str(),
              static_cast<long>(resolution));
  return 0;
}

int JpegSet(const std::string& photo, const std::string& id, long resolution) {
  ComPtr<IEmbedImageXML> mapper;
  ComPtr<IEmbedImage> record;
  HRESULT hr;
  if (FAILED(hr = Create(CLSID_EmbedImageXML, &mapper)) || FAILED(hr = Create(CLSID_EmbedImage, &record))) {
    return Fail("cannot create the record", hr);
  }
  Bstr idText = Bstr::FromUtf8(id), path = Bstr::FromUtf8(photo);
  record->put_originalIdentifier(idText.Get());
  record->put_resolution(static_cast<VEXAXMLStillImageResolution>(resolution));
  if (FAILED(hr = mapper->storeToJPEG(path.Get(), record.Get()))) return Fail("cannot write " + photo, hr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CoInitialize(nullptr);
  int rc = 2;
  if (args[0] == "new") {
    std::vector<std::string> titles, stills;
    bool bad = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--title" && i + 1 < args.size() && titles.size() < 3) {
        titles.push_back(args[++i]);
      } else if (args[i] == "--still" && i + 1 < args.size()) {
        stills.push_back(args[++i]);
      } else {
        bad = true;
      }
    }
    if (bad) {
      std::fputs(kUsage, stderr);
    } else {
      rc = New(args[1], titles, stills);
    }
  } else if (args[0] == "dump" && args.size() == 2) {
    rc = Dump(args[1]);
  } else if (args[0] == "convert" && (args.size() == 3 ||
                                      (args.size() == 4 && args[3] == "--from-partner"))) {
    rc = Convert(args[1], args[2], args.size() == 4);
  } else if (args[0] == "jpeg-get" && args.size() == 2) {
    rc = JpegGet(args[1]);
  } else if (args[0] == "jpeg-set" && args.size() == 6 && args[2] == "--id" &&
             args[4] == "--resolution") {
    char* end = nullptr;
    const long resolution = std::strtol(args[5].c_str(), &end, 10);
    if (args[5].empty() || *end || resolution < 0 || resolution > 4) {
      std::fputs(kUsage, stderr);
    } else {
      rc = JpegSet(args[1], args[3], resolution);
    }
  } else {
    std::fputs(kUsage, stderr);
  }
  CoUninitialize();
  return rc;
}
