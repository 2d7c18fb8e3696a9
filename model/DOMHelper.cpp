// DOMHelper: the few DOM steps the bag, the mappers and the JPEG record
// need, with the program's fixed document set-up.
#include <climits>
#include <cstdlib>

#include "model/Dom_p.h"
#include "model/Model_p.h"
#include "platform/base/Text.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

bool IsSpaceOnly(std::u16string_view s) { return TrimXmlSpace(s).empty(); }

// Absent and empty namespace URIs both mean "no namespace".
bool SameNamespace(BSTR a, BSTR b) { return BstrView(a) == BstrView(b); }

// The arguments of one late-bound call: `count` inputs, then, when the
// method has an out value, optionally a by-reference VARIANT for it.
struct Args {
  DISPPARAMS* p;
  UINT count;
  VARIANT* out = nullptr;
  HRESULT hr = S_OK;

  Args(DISPPARAMS* params, UINT inputs, VARIANT* result, bool hasOut = true)
      : p(params), count(inputs) {
    const UINT given = p ? p->cArgs : 0;
    if (given == inputs) {
      out = result;
    } else if (hasOut && given == inputs + 1) {
      if (p->rgvarg[0].vt == (VT_BYREF | VT_VARIANT)) out = p->rgvarg[0].pvarVal;
      else hr = DISP_E_TYPEMISMATCH;
    } else {
      hr = DISP_E_BADPARAMCOUNT;
    }
    if (SUCCEEDED(hr) && hasOut && !out) hr = E_POINTER;
  }
  bool Ready() const { return SUCCEEDED(hr); }
  const VARIANT& At(UINT k) const { return p->rgvarg[p->cArgs - 1 - k]; }

  // An object argument; a null object stays null for the method to refuse.
  template <typename I>
  bool Object(UINT k, ComPtr<I>* result) {
    if (!Ready()) return false;
    Variant v;
    if (FAILED(VariantCopyInd(&v, &At(k)))) return Fail();
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) return true;
    if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) return Fail();
    if (!v.punkVal) return true;
    return SUCCEEDED(v.punkVal->QueryInterface(IidOf<I>(), result->PutVoid())) || Fail();
  }
  // A string argument; missing (VT_NULL or VT_EMPTY) gives a null string.
  bool String(UINT k, Variant* result) {
    if (!Ready()) return false;
    Variant v;
    if (FAILED(VariantCopyInd(&v, &At(k)))) return Fail();
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) {
      result->vt = VT_BSTR;
      result->bstrVal = nullptr;
      return true;
    }
    return SUCCEEDED(VariantChangeType(result, &v, 0, VT_BSTR)) || Fail();
  }
  bool Long(UINT k, LONG* result) {
    if (!Ready()) return false;
    Variant v;
    if (FAILED(VariantChangeType(&v, &At(k), 0, VT_I4))) return Fail();
    *result = v.lVal;
    return true;
  }
  HRESULT OutObject(IDispatch* object) {
    VariantClear(out);
    out->vt = VT_DISPATCH;
    out->pdispVal = object;
    return S_OK;
  }

 private:
  bool Fail() {
    hr = DISP_E_TYPEMISMATCH;
    return false;
  }
};

class CDOMHelper : public ComObjectRoot,
                   public DispatchImpl<CDOMHelper, IDOMHelper>,
                   public SupportErrorInfoImpl<IDOMHelper> {
 public:
  using Interfaces = InterfaceMap<IDOMHelper, Via<IDispatch, IDOMHelper>, ISupportErrorInfo>;

  // Late-bound calls: arguments in the order of the interface (they arrive
  // last first); a method's out value goes to the result, or to a
  // by-reference VARIANT given as its last argument.
  static std::span<const DispatchEntry<CDOMHelper>> DispatchTable() {
    using C = CDOMHelper;
    using P = DISPPARAMS;
    static const DispatchEntry<C> t[] = {
        DispMethod<C>(1, u"addElement", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 3, r);
          ComPtr<IXMLDOMElement> parent, added;
          Variant name, ns;
          if (!a.Object(0, &parent) || !a.String(1, &name) || !a.String(2, &ns)) return a.hr;
          HRESULT hr = self->addElement(parent.Get(), name.bstrVal, ns.bstrVal, added.Put());
          return SUCCEEDED(hr) ? a.OutObject(added.Detach()) : hr;
        }),
        DispMethod<C>(2, u"addLongContent", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 2, r, false);
          ComPtr<IXMLDOMElement> parent;
          LONG value = 0;
          if (!a.Object(0, &parent) || !a.Long(1, &value)) return a.hr;
          return self->addLongContent(parent.Get(), value);
        }),
        DispMethod<C>(3, u"addDocumentElement", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 3, r);
          ComPtr<IXMLDOMDocument> doc;
          ComPtr<IXMLDOMElement> added;
          Variant name, ns;
          if (!a.Object(0, &doc) || !a.String(1, &name) || !a.String(2, &ns)) return a.hr;
          HRESULT hr = self->addDocumentElement(doc.Get(), name.bstrVal, ns.bstrVal, added.Put());
          return SUCCEEDED(hr) ? a.OutObject(added.Detach()) : hr;
        }),
        DispMethod<C>(4, u"getDocumentElement", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 1, r);
          ComPtr<IXMLDOMDocument> doc;
          ComPtr<IXMLDOMElement> element;
          if (!a.Object(0, &doc)) return a.hr;
          HRESULT hr = self->getDocumentElement(doc.Get(), element.Put());
          return SUCCEEDED(hr) ? a.OutObject(element.Detach()) : hr;
        }),
        DispMethod<C>(5, u"getElement", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 3, r);
          ComPtr<IXMLDOMElement> parent, element;
          Variant name, ns;
          if (!a.Object(0, &parent) || !a.String(1, &name) || !a.String(2, &ns)) return a.hr;
          HRESULT hr = self->getElement(parent.Get(), name.bstrVal, ns.bstrVal, element.Put());
          return SUCCEEDED(hr) ? a.OutObject(element.Detach()) : hr;
        }),
        DispMethod<C>(6, u"createDocument", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 0, r);
          if (!a.Ready()) return a.hr;
          ComPtr<IXMLDOMDocument> doc;
          HRESULT hr = self->createDocument(doc.Put());
          return SUCCEEDED(hr) ? a.OutObject(doc.Detach()) : hr;
        }),
        DispMethod<C>(7, u"getLongContent", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 1, r);
          ComPtr<IXMLDOMElement> parent;
          if (!a.Object(0, &parent)) return a.hr;
          LONG value = 0;
          HRESULT hr = self->getLongContent(parent.Get(), &value);
          if (FAILED(hr)) return hr;
          VariantClear(a.out);
          a.out->vt = VT_I4;
          a.out->lVal = value;
          return S_OK;
        }),
        DispMethod<C>(8, u"addTextContent", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 2, r, false);
          ComPtr<IXMLDOMElement> parent;
          Variant content;
          if (!a.Object(0, &parent) || !a.String(1, &content)) return a.hr;
          return self->addTextContent(parent.Get(), content.bstrVal);
        }),
        DispMethod<C>(9, u"getTextContent", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 1, r);
          ComPtr<IXMLDOMElement> parent;
          if (!a.Object(0, &parent)) return a.hr;
          BSTR text = nullptr;
          HRESULT hr = self->getTextContent(parent.Get(), &text);
          if (FAILED(hr)) {
            SysFreeString(text);
            return hr;
          }
          VariantClear(a.out);
          a.out->vt = VT_BSTR;
          a.out->bstrVal = text ? text : SysAllocString(u"");
          return S_OK;
        }),
        DispMethod<C>(10, u"getElementByIndex", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 2, r);
          ComPtr<IXMLDOMElement> parent, element;
          LONG index = 0;
          if (!a.Object(0, &parent) || !a.Long(1, &index)) return a.hr;
          HRESULT hr = self->getElementByIndex(parent.Get(), index, element.Put());
          return SUCCEEDED(hr) ? a.OutObject(element.Detach()) : hr;
        }),
        DispMethod<C>(11, u"hasText", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 1, r);
          ComPtr<IXMLDOMElement> element;
          if (!a.Object(0, &element)) return a.hr;
          VARIANT_BOOL result = VARIANT_FALSE;
          HRESULT hr = self->hasText(element.Get(), &result);
          if (FAILED(hr)) return hr;
          VariantClear(a.out);
          a.out->vt = VT_BOOL;
          a.out->boolVal = result;
          return S_OK;
        }),
        DispMethod<C>(12, u"transform", [](C* self, P* p, VARIANT* r) -> HRESULT {
          Args a(p, 3, r, false);
          ComPtr<IXMLDOMDocument> in, xsl, out;
          if (!a.Object(0, &in) || !a.Object(1, &xsl) || !a.Object(2, &out)) return a.hr;
          return self->transform(in.Get(), xsl.Get(), out.Get());
        }),
    };
    return t;
  }

  HRESULT addElement(IXMLDOMElement* parent, BSTR localName, BSTR nsURI,
                     IXMLDOMElement** addedElement) override {
    if (addedElement) *addedElement = nullptr;
    if (!parent) return E_POINTER;
    ComPtr<IXMLDOMDocument> doc;
    if (FAILED(parent->get_ownerDocument(doc.Put())) || !doc) {
      return Error("couldn't get owner document");
    }
    ComPtr<IXMLDOMNode> node;
    if (FAILED(doc->createNode(Variant::I4(NODE_ELEMENT), localName, nsURI, node.Put())) || !node) {
      return Error("Unable to create Element");
    }
    if (FAILED(parent->appendChild(node.Get(), nullptr))) {
      return Error("Unable to add childXML to parentXML");
    }
    ComPtr<IXMLDOMElement> element;
    if (FAILED(node.As(&element))) return Error("couldn't qi from node to element");
    if (addedElement) *addedElement = element.Detach();
    return S_OK;
  }

  HRESULT addLongContent(IXMLDOMElement* parent, LONG value) override {
    return AppendText(parent, Bstr::FromUtf8(std::to_string(value)), "Unable to add text to LineXML");
  }

  HRESULT addDocumentElement(IXMLDOMDocument* pDoc, BSTR localName, BSTR nsURI,
                             IXMLDOMElement** ppDocumentElement) override {
    if (ppDocumentElement) *ppDocumentElement = nullptr;
    if (!pDoc) return E_POINTER;
    ComPtr<IXMLDOMNode> node;
    if (FAILED(pDoc->createNode(Variant::I4(NODE_ELEMENT), localName, nsURI, node.Put())) || !node) {
      return Error("Unable to create Element");
    }
    ComPtr<IXMLDOMElement> element;
    if (FAILED(node.As(&element))) return Error("couldn't qi from node to element");
    if (FAILED(pDoc->putref_documentElement(element.Get()))) return Error("Unable to add root");
    if (ppDocumentElement) *ppDocumentElement = element.Detach();
    return S_OK;
  }

  HRESULT getDocumentElement(IXMLDOMDocument* pDoc, IXMLDOMElement** ppDocumentElement) override {
    if (!ppDocumentElement) return E_POINTER;
    *ppDocumentElement = nullptr;
    if (!pDoc) return E_POINTER;
    HRESULT hr = pDoc->get_documentElement(ppDocumentElement);
    if (FAILED(hr) || !*ppDocumentElement) return Error("Unable to get document Element");
    return S_OK;
  }

  HRESULT getElement(IXMLDOMElement* parent, BSTR name, BSTR nsURI,
                     IXMLDOMElement** ppElement) override {
    if (!ppElement) return E_POINTER;
    *ppElement = nullptr;
    if (!parent) return E_POINTER;
    ComPtr<IXMLDOMNode> child;
    parent->get_firstChild(child.Put());
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_ELEMENT) {
        Bstr base, uri;
        child->get_baseName(base.Out());
        child->get_namespaceURI(uri.Out());
        if (base.View() == BstrView(name) && SameNamespace(uri.Get(), nsURI)) {
          return child->QueryInterface(IidOf<IXMLDOMElement>(), reinterpret_cast<void**>(ppElement));
        }
      }
      ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.Put());
      child = next;
    }
    return E_FAIL;
  }

  HRESULT createDocument(IXMLDOMDocument** ppDocument) override {
    if (!ppDocument) return E_POINTER;
    *ppDocument = nullptr;
    SetErrorInfo(0, nullptr);
    const std::u16string decl = std::u16string(u"xmlns:") + kVexaXmlSelectionPrefix + u"='" +
                                kVexaXmlNamespace + u"'";
    ComPtr<IXMLDOMDocument> doc;
    if (FAILED(CoCreateInstance(CLSID_DOMDocument30, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                                doc.PutVoid())) ||
        !doc) {
      return Error("Unable to create XML parser object");
    }
    ComPtr<IXMLDOMNode> pi;
    Bstr target(u"xml"), data(u"version='1.0'");
    HRESULT hr = doc->createProcessingInstruction(target.Get(), data.Get(), pi.Put());
    if (FAILED(hr)) return hr;
    if (FAILED(doc->appendChild(pi.Get(), nullptr))) return Error("can't add pi node");
    ComPtr<IXMLDOMDocument2> doc2;
    if (FAILED(doc.As(&doc2))) return Error("can't qi to Document2");
    Bstr language(u"SelectionLanguage"), namespaces(u"SelectionNamespaces");
    hr = doc2->setProperty(language.Get(), Variant::String(u"XPath"));
    if (FAILED(hr)) return hr;
    doc2->setProperty(namespaces.Get(), Variant::String(decl));
    *ppDocument = doc.Detach();
    return S_OK;
  }

  HRESULT getLongContent(IXMLDOMElement* parent, LONG* pContent) override {
    if (!pContent) return E_POINTER;
    if (!parent) return E_POINTER;
    Bstr text;
    if (FAILED(parent->get_text(text.Out()))) return Error("Couldn't get text from node");
    // Leading decimal digits, after white space and a sign; none give 0.
    const std::string s = text.Utf8();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      v = v * 10 + (s[i++] - '0');
      if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    *pContent = static_cast<LONG>(v);
    return S_OK;
  }

  HRESULT addTextContent(IXMLDOMElement* parent, BSTR content) override {
    if (SysStringLen(content) == 0) return S_OK;
    return AppendText(parent, Bstr(BstrView(content)), "Unable to add text to element");
  }

  HRESULT getTextContent(IXMLDOMElement* parent, BSTR* pContent) override {
    if (!pContent) return E_POINTER;
    if (!parent) return E_POINTER;
    ComPtr<IXMLDOMNode> child;
    parent->get_firstChild(child.Put());
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_TEXT) {
        Bstr raw;
        child->get_nodeValue(raw.Out());
        // White space between elements is not text of the element.
        if (!IsSpaceOnly(raw.View())) {
          Bstr text;
          if (FAILED(child->get_text(text.Out()))) return Error("Couldn't get text from node");
          SysFreeString(*pContent);
          *pContent = text.Detach();
          return S_OK;
        }
      }
      ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.Put());
      child = next;
    }
    return S_OK;
  }

  HRESULT getElementByIndex(IXMLDOMElement* parent, LONG index,
                            IXMLDOMElement** ppElement) override {
    if (!ppElement) return E_POINTER;
    *ppElement = nullptr;
    if (!parent) return E_POINTER;
    LONG count = 0;
    ComPtr<IXMLDOMNode> child;
    parent->get_firstChild(child.Put());
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_ELEMENT && ++count == index) {
        return child->QueryInterface(IidOf<IXMLDOMElement>(), reinterpret_cast<void**>(ppElement));
      }
      ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.Put());
      child = next;
    }
    return E_FAIL;
  }

  HRESULT hasText(IXMLDOMElement* pElement, VARIANT_BOOL* theResult) override {
    if (!theResult) return E_POINTER;
    *theResult = VARIANT_FALSE;
    if (!pElement) return E_POINTER;
    ComPtr<IXMLDOMNode> child;
    pElement->get_firstChild(child.Put());
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_ELEMENT) return Error("should only have text");
      if (type == NODE_TEXT) {
        Bstr raw;
        child->get_nodeValue(raw.Out());
        if (!IsSpaceOnly(raw.View())) {
          *theResult = VARIANT_TRUE;
          return S_OK;
        }
      }
      ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.Put());
      child = next;
    }
    return E_FAIL;
  }

  HRESULT transform(IXMLDOMDocument* inDoc, IXMLDOMDocument* xslDoc,
                    IXMLDOMDocument* outDoc) override {
    if (!inDoc || !xslDoc || !outDoc) return E_POINTER;
    ComPtr<IDispatch> out;
    if (FAILED(outDoc->QueryInterface(IidOf<IDispatch>(), out.PutVoid()))) {
      return Error("transformNode failed");
    }
    if (FAILED(inDoc->transformNodeToObject(xslDoc, Variant::Dispatch(out.Get())))) {
      return Error("transformNode failed");
    }
    return S_OK;
  }

 private:
  HRESULT Error(std::string_view text) {
    return ModelError(CLSID_DOMHelper, IID_IDOMHelper, text, E_FAIL);
  }

  HRESULT AppendText(IXMLDOMElement* parent, const Bstr& text, std::string_view appendFailed) {
    if (!parent) return E_POINTER;
    ComPtr<IXMLDOMDocument> doc;
    if (FAILED(parent->get_ownerDocument(doc.Put())) || !doc) {
      return Error("couldn't get owner document");
    }
    ComPtr<IXMLDOMNode> node;
    if (FAILED(doc->createTextNode(text.Get(), node.Put())) || !node) {
      return Error("Unable to create text element");
    }
    if (FAILED(parent->appendChild(node.Get(), nullptr))) return Error(appendFailed);
    return S_OK;
  }
};

HRESULT IdentityError(std::string_view text) {
  return ModelError(CLSID_DOMHelper, IID_IDOMHelper, text, E_FAIL);
}

}  // namespace

HRESULT CreateDOMHelper(REFIID iid, void** ppv) {
  return ComObject<CDOMHelper>::CreateInstance(iid, ppv);
}

HRESULT CopyThroughIdentity(std::u16string_view input, std::u16string_view output) {
  ComPtr<IXMLDOMDocument> in, style, out;
  if (FAILED(CreateDomDocument(in.Put())) || FAILED(CreateDomDocument(style.Put())) ||
      FAILED(CreateDomDocument(out.Put()))) {
    return IdentityError("cocreate failed");
  }
  VARIANT_BOOL ok = VARIANT_FALSE;
  Bstr styleText = Bstr::FromUtf8(kIdentityStylesheet);
  if (style->loadXML(styleText.Get(), &ok) != S_OK || !ok) return IdentityError("load failed");
  if (in->load(Variant::String(input), &ok) != S_OK || !ok) return IdentityError("load failed");
  ComPtr<IDispatch> outDispatch;
  out.As(&outDispatch);
  if (FAILED(in->transformNodeToObject(style.Get(), Variant::Dispatch(outDispatch.Get())))) {
    return IdentityError("transformNode failed");
  }
  if (FAILED(out->save(Variant::String(output)))) return IdentityError("save failed");
  return S_OK;
}

}  // namespace vexa::model
