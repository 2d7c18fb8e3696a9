// XMLPropertyBag: a model object's properties as child elements of one
// element, one element per property, and nested objects as nested elements.
#include <cstdio>
#include <vector>

#include "model/Dom_p.h"
#include "model/Model_p.h"
#include "platform/base/Text.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

// A text may carry bytes of a file name that are not UTF-8, kept as
// U+DC80..U+DCFF (platform/base/Text.h). XML cannot carry those; they are
// written as the characters "\xNN", the way the name is shown elsewhere.
Bstr XmlShownText(BSTR text) {
  const std::u16string_view in = BstrView(text);
  std::u16string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    const bool paired = c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF;
    if (paired) {
      out += c;
      out += in[++i];
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      for (const char e : vexa::base::ByteEscape(static_cast<unsigned char>(c & 0xFF))) out += static_cast<char16_t>(e);
    } else {
      out += c;
    }
  }
  return Bstr(out);
}

// Dates are written with the calendar fields "%Y/%m/%d %H:%M:%S"; the year
// always has four digits, so the years 100 to 999 read back as well.
std::u16string FormatDate(DATE d) {
  if (!(d >= kMinDate && d <= kMaxDate)) return {};
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(d, &st)) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u/%02u/%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond);
  return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

HRESULT CreateHelper(ComPtr<IDOMHelper>* helper) {
  return CoCreateInstance(CLSID_DOMHelper, nullptr, CLSCTX_ALL, IID_IDOMHelper, helper->PutVoid());
}

class CXMLPropertyBag : public ComObjectRoot,
                        public IXMLPropertyBag,
                        public SupportErrorInfoImpl<IXMLPropertyBag> {
 public:
  using Interfaces = InterfaceMap<IXMLPropertyBag, ISupportErrorInfo>;

  HRESULT Read(LPCOLESTR name, VARIANT* pVar) override {
    if (!pVar || !name) return E_POINTER;
    if (!element_) return E_UNEXPECTED;
    ComPtr<IDOMHelper> helper;
    if (FAILED(CreateHelper(&helper))) return Error("create failed", E_FAIL);
    Bstr ns;
    if (FAILED(element_->get_namespaceURI(ns.Out()))) return Error("get_namespaceURI failed", E_FAIL);
    ComPtr<IXMLDOMElement> child;
    Bstr propName(name);
    if (FAILED(helper->getElement(element_.Get(), propName.Get(), ns.Get(), child.Put())) || !child) {
      return Error("getElement failed", E_FAIL);
    }
    return readElement(child.Get(), pVar);
  }

  // The value is encoded into a new element that is appended only when the
  // encoding succeeded, so a failed write leaves nothing behind.
  HRESULT Write(LPCOLESTR name, VARIANT* pVar) override {
    if (!pVar || !name) return E_POINTER;
    if (!element_) return E_UNEXPECTED;
    // Text a document cannot carry is refused before anything is written:
    // a file that could not be loaded again is worse than no file.
    Bstr shown;
    if (pVar->vt == VT_BSTR) {
      shown = XmlShownText(pVar->bstrVal);
      const std::string bad = CharacterXmlCannotCarry(BstrView(shown.Get()));
      if (!bad.empty()) {
        return Error("couldn't put the value: the text of " + vexa::base::Utf16ToUtf8(name) + " holds " + bad +
                         ", which XML cannot carry",
                     E_INVALIDARG);
      }
    }
    ComPtr<IDOMHelper> helper;
    if (FAILED(CreateHelper(&helper))) return Error("create failed", E_FAIL);
    Bstr ns;
    if (FAILED(element_->get_namespaceURI(ns.Out()))) return Error("get_namespaceURI failed", E_FAIL);
    ComPtr<IXMLDOMDocument> doc;
    ComPtr<IXMLDOMNode> node;
    ComPtr<IXMLDOMElement> child;
    Bstr propName(name);
    if (FAILED(element_->get_ownerDocument(doc.Put())) || !doc ||
        FAILED(doc->createNode(Variant::I4(NODE_ELEMENT), propName.Get(), ns.Get(), node.Put())) ||
        FAILED(node.As(&child))) {
      return Error("couldn't add element", E_FAIL);
    }
    HRESULT hr = writeElement(child.Get(), pVar, shown.Get());
    if (FAILED(hr)) return hr;
    if (FAILED(element_->appendChild(child.Get(), nullptr))) {
      return Error("couldn't add element", E_FAIL);
    }
    return hr;
  }

  HRESULT init(IXMLDOMElement* pElement) override {
    element_ = pElement;
    return S_OK;
  }

  HRESULT GetPropertyBagFromXML(IXMLDOMElement* pElement, IXMLPropertyBag** ppPropBag) override {
    if (!ppPropBag) return E_POINTER;
    *ppPropBag = nullptr;
    ComPtr<IXMLPropertyBag> bag;
    HRESULT hr = CoCreateInstance(CLSID_XMLPropertyBag, nullptr, CLSCTX_ALL, IID_IXMLPropertyBag,
                                  bag.PutVoid());
    if (FAILED(hr)) return hr;
    bag->init(pElement);
    *ppPropBag = bag.Detach();
    return S_OK;
  }

  HRESULT LoadFromXMLTop(IXMLDOMElement* pElement, IPersistXMLPropertyBag* pObj) override {
    if (!pElement || !pObj) return E_POINTER;
    ComPtr<IXMLPropertyBag> bag;
    HRESULT hr = GetPropertyBagFromXML(pElement, bag.Put());
    if (FAILED(hr)) return hr;
    hr = pObj->Load(bag.Get());
    return FAILED(hr) ? hr : S_OK;
  }

  HRESULT SaveToXMLTop(IXMLDOMElement* pElement, IPersistXMLPropertyBag* pObj) override {
    if (!pElement || !pObj) return E_POINTER;
    return saveObjectToElement(pElement, pObj);
  }

  HRESULT ReadIndexed(LONG index, LPCOLESTR, VARIANT* pVar) override {
    if (!pVar) return E_POINTER;
    if (!element_) return E_UNEXPECTED;
    ComPtr<IDOMHelper> helper;
    if (FAILED(CreateHelper(&helper))) return Error("couldn't create DOMHelper", E_FAIL);
    // The index-th element child, whatever it is called.
    LONG count = 0;
    ComPtr<IXMLDOMNode> child;
    element_->get_firstChild(child.Put());
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_ELEMENT && ++count == index) {
        ComPtr<IXMLDOMElement> element;
        if (FAILED(child.As(&element))) return E_FAIL;
        return readElement(element.Get(), pVar);
      }
      ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.Put());
      child = next;
    }
    return E_FAIL;
  }

  HRESULT WriteIndexed(LONG, LPCOLESTR name, VARIANT* pVar) override { return Write(name, pVar); }

  HRESULT readNumProperties(LONG* pNumProperties) override {
    if (!pNumProperties) return E_POINTER;
    if (!element_) return E_UNEXPECTED;
    ComPtr<IDOMHelper> helper;
    if (FAILED(CreateHelper(&helper))) return Error("couldn't create DOMHelper", E_FAIL);
    LONG count = 0;
    ComPtr<IXMLDOMNode> child;
    element_->get_firstChild(child.Put());
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_ELEMENT) ++count;
      ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.Put());
      child = next;
    }
    *pNumProperties = count;
    return S_OK;
  }

 private:
  HRESULT loadObjectFromElement(IXMLDOMElement* element, IPersistXMLPropertyBag* object) {
    if (!object) return E_FAIL;
    ComPtr<IXMLPropertyBag> bag;
    HRESULT hr = GetPropertyBagFromXML(element, bag.Put());
    if (FAILED(hr)) return hr;
    return object->Load(bag.Get());
  }

  HRESULT saveObjectToElement(IXMLDOMElement* element, IPersistXMLPropertyBag* object) {
    ComPtr<IXMLPropertyBag> bag;
    HRESULT hr = GetPropertyBagFromXML(element, bag.Put());
    if (FAILED(hr)) return hr;
    hr = object->Save(bag.Get());
    return FAILED(hr) ? hr : S_OK;
  }

  HRESULT readElement(IXMLDOMElement* element, VARIANT* pVar) {
    const VARTYPE vt = pVar->vt;
    if (vt == VT_RECORD) return ReadRecord(element, pVar);
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      ComPtr<IPersistXMLPropertyBag> persist;
      if (pVar->punkVal) pVar->punkVal->QueryInterface(IidOf<IPersistXMLPropertyBag>(), persist.PutVoid());
      HRESULT hr = loadObjectFromElement(element, persist.Get());
      if (FAILED(hr)) return hr;
      void* loaded = nullptr;
      hr = persist->QueryInterface(vt == VT_DISPATCH ? IidOf<IDispatch>() : IidOf<IUnknown>(), &loaded);
      if (FAILED(hr)) return hr;
      VariantClear(pVar);
      pVar->vt = vt;
      pVar->punkVal = static_cast<IUnknown*>(loaded);
      return S_OK;
    }
    if (vt == VT_BSTR) {
      Bstr text;
      HRESULT hr = element->get_text(text.Out());
      if (FAILED(hr)) return hr;
      VariantClear(pVar);
      pVar->vt = VT_BSTR;
      pVar->bstrVal = text.IsNull() ? SysAllocString(u"") : text.Detach();
      return S_OK;
    }
    ComPtr<IDOMHelper> helper;
    HRESULT hr = CreateHelper(&helper);
    if (FAILED(hr)) return Error("couldn't create DOMHelper", hr);
    Bstr text;
    hr = helper->getTextContent(element, text.Out());
    if (FAILED(hr)) return Error("couldn't get text content", hr);
    // No text: the property keeps its value (an empty date stays "no date").
    if (text.Length() == 0) return S_OK;
    Variant source;
    source.vt = VT_BSTR;
    source.bstrVal = text.Detach();
    // An untyped target (a record's field) takes the text as it is; the
    // record converts it to the field's type.
    if (vt == VT_EMPTY) {
      *pVar = source.Detach();
      return S_OK;
    }
    if (vt == VT_BOOL) {
      Variant number;
      if (FAILED(VariantChangeType(&number, &source, 0, VT_I4))) {
        return Error("couldn't get bool_int", E_FAIL);
      }
      VariantClear(pVar);
      pVar->vt = VT_BOOL;
      pVar->boolVal = number.lVal ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    return VariantChangeType(pVar, &source, 0, vt);
  }

  // shown: for a text, the text as it is written (XmlShownText).
  HRESULT writeElement(IXMLDOMElement* element, VARIANT* pVar, BSTR shown) {
    const VARTYPE vt = pVar->vt;
    if (vt & (VT_ARRAY | VT_BYREF)) return E_NOTIMPL;
    if (vt == VT_RECORD) return WriteRecord(element, pVar);
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      if (!pVar->punkVal) return E_POINTER;
      ComPtr<IPersistXMLPropertyBag> persist;
      HRESULT hr = pVar->punkVal->QueryInterface(IidOf<IPersistXMLPropertyBag>(), persist.PutVoid());
      if (FAILED(hr)) return hr;
      return saveObjectToElement(element, persist.Get());
    }
    if (vt == VT_BOOL) {
      Variant number = Variant::I4(pVar->boolVal ? 1 : 0);
      if (FAILED(number.ChangeType(VT_BSTR))) return Error("couldn't change from int to string", E_FAIL);
      if (FAILED(element->put_text(number.bstrVal))) return Error("", E_FAIL);
      return S_OK;
    }
    if (vt == VT_BSTR) return element->put_text(shown);
    if (vt == VT_DATE) {
      if (pVar->date == kNoDate) return S_OK;
      Bstr text(FormatDate(pVar->date));
      if (FAILED(element->put_text(text.Get()))) return Error("couldn't put the value", E_FAIL);
      return S_OK;
    }
    Variant text;
    HRESULT hr = VariantChangeType(&text, pVar, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    return element->put_text(text.bstrVal);
  }

  HRESULT Error(std::string_view text, HRESULT hr) {
    return ModelError(CLSID_XMLPropertyBag, IID_IXMLPropertyBag, text, hr);
  }

  // The names of a record type's fields, in the order its information
  // lists them.
  static HRESULT FieldNames(IRecordInfo* info, std::vector<Bstr>* names) {
    ULONG count = 0;
    HRESULT hr = info->GetFieldNames(&count, nullptr);
    if (FAILED(hr)) return hr;
    std::vector<BSTR> raw(count, nullptr);
    if (count > 0 && FAILED(hr = info->GetFieldNames(&count, raw.data()))) return hr;
    names->clear();
    for (ULONG i = 0; i < count; ++i) names->push_back(Bstr::Attach(raw[i]));  // every name freed
    return S_OK;
  }

  static HRESULT SetAttribute(IXMLDOMElement* element, const char16_t* name, const Variant& value) {
    Bstr n(name);
    return element->setAttribute(n.Get(), value);
  }

  // A record: its type as attributes ("uuid", "libid", "major", "minor",
  // "lcid"), then one child element per field, written by Write.
  HRESULT WriteRecord(IXMLDOMElement* element, VARIANT* pVar) {
    IRecordInfo* info = pVar->pRecInfo;
    if (!info || !pVar->pvRecord) return E_INVALIDARG;
    GUID guid{};
    HRESULT hr = info->GetGuid(&guid);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = SetAttribute(element, u"uuid", Variant::Utf8(GuidToString(guid))))) return hr;
    ComPtr<ITypeInfo> type;
    ComPtr<ITypeLib> library;
    UINT index = 0;
    TLIBATTR* attr = nullptr;
    if (FAILED(hr = info->GetTypeInfo(type.Put())) || FAILED(hr = type->GetContainingTypeLib(library.Put(), &index)) ||
        FAILED(hr = library->GetLibAttr(&attr))) {
      return hr;
    }
    const TLIBATTR lib = *attr;
    library->ReleaseTLibAttr(attr);
    if (FAILED(hr = SetAttribute(element, u"libid", Variant::Utf8(GuidToString(lib.guid)))) ||
        FAILED(hr = SetAttribute(element, u"major", Variant::I4(lib.wMajorVerNum))) ||
        FAILED(hr = SetAttribute(element, u"minor", Variant::I4(lib.wMinorVerNum))) ||
        FAILED(hr = SetAttribute(element, u"lcid", Variant::I4(static_cast<LONG>(lib.lcid))))) {
      return hr;
    }
    std::vector<Bstr> names;
    if (FAILED(hr = FieldNames(info, &names))) return hr;
    ComPtr<IXMLPropertyBag> bag;
    if (FAILED(hr = GetPropertyBagFromXML(element, bag.Put()))) return hr;
    for (const Bstr& name : names) {
      Variant field;
      if (FAILED(hr = info->GetField(pVar->pvRecord, name.Get(), &field))) return hr;
      if (FAILED(hr = bag->Write(name.Get(), &field))) return hr;
    }
    return S_OK;
  }

  // The record type from the attributes, a new record, and each field read
  // by Read and stored with PutField. pVar changes only on success.
  HRESULT ReadRecord(IXMLDOMElement* element, VARIANT* pVar) {
    auto attribute = [&](const char16_t* name, VARTYPE vt, Variant* out) -> HRESULT {
      Bstr n(name);
      Variant value;
      HRESULT hr = element->getAttribute(n.Get(), &value);
      if (FAILED(hr)) return hr;
      if (hr == S_FALSE) return E_FAIL;  // missing
      return VariantChangeType(out, &value, 0, vt);
    };
    Variant uuidText, libidText, major, minor, lcid;
    HRESULT hr;
    if (FAILED(hr = attribute(u"uuid", VT_BSTR, &uuidText))) return hr;
    CLSID uuid{}, libid{};
    if (FAILED(hr = CLSIDFromString(uuidText.bstrVal, &uuid))) return hr;
    if (FAILED(hr = attribute(u"libid", VT_BSTR, &libidText))) return hr;
    if (FAILED(hr = CLSIDFromString(libidText.bstrVal, &libid))) return hr;
    if (FAILED(hr = attribute(u"major", VT_UI2, &major)) || FAILED(hr = attribute(u"minor", VT_UI2, &minor)) ||
        FAILED(hr = attribute(u"lcid", VT_UI4, &lcid))) {
      return hr;
    }
    ComPtr<IRecordInfo> info;
    if (FAILED(hr = GetRecordInfoFromGuids(libid, major.uiVal, minor.uiVal, lcid.ulVal, uuid, info.Put()))) return hr;
    void* record = info->RecordCreate();
    if (!record) return E_OUTOFMEMORY;
    std::vector<Bstr> names;
    ComPtr<IXMLPropertyBag> bag;
    hr = FieldNames(info.Get(), &names);
    if (SUCCEEDED(hr)) hr = GetPropertyBagFromXML(element, bag.Put());
    for (std::size_t i = 0; SUCCEEDED(hr) && i < names.size(); ++i) {
      Variant field;
      hr = bag->Read(names[i].Get(), &field);
      if (SUCCEEDED(hr)) hr = info->PutField(INVOKE_PROPERTYPUT, record, names[i].Get(), &field);
    }
    if (FAILED(hr)) {
      info->RecordDestroy(record);
      return hr;
    }
    VariantClear(pVar);
    pVar->vt = VT_RECORD;
    pVar->pvRecord = record;
    pVar->pRecInfo = info.Detach();
    return S_OK;
  }

  ComPtr<IXMLDOMElement> element_;
};

}  // namespace

HRESULT CreateXMLPropertyBag(REFIID iid, void** ppv) {
  return ComObject<CXMLPropertyBag>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
