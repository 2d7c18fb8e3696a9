// XMLPropertyBag: a model object's properties as child elements of one
// element, one element per property, and nested objects as nested elements.
#include <cstdio>

#include "model/Dom_p.h"
#include "model/Model_p.h"
#include "platform/base/Text.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

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
    if (pVar->vt == VT_BSTR) {
      const std::string bad = CharacterXmlCannotCarry(BstrView(pVar->bstrVal));
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
    HRESULT hr = writeElement(child.Get(), pVar);
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
    // Records need type information this platform does not keep.
    if (vt == VT_RECORD) return E_NOTIMPL;
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

  HRESULT writeElement(IXMLDOMElement* element, VARIANT* pVar) {
    const VARTYPE vt = pVar->vt;
    if (vt & (VT_ARRAY | VT_BYREF)) return E_NOTIMPL;
    if (vt == VT_RECORD) return E_NOTIMPL;
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
    if (vt == VT_BSTR) return element->put_text(pVar->bstrVal);
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

  ComPtr<IXMLDOMElement> element_;
};

}  // namespace

HRESULT CreateXMLPropertyBag(REFIID iid, void** ppv) {
  return ComObject<CXMLPropertyBag>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
