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

class CDOMHelper : public ComObjectRoot,
                   public DispatchImpl<CDOMHelper, IDOMHelper>,
                   public SupportErrorInfoImpl<IDOMHelper> {
 public:
  using Interfaces = InterfaceMap<IDOMHelper, Via<IDispatch, IDOMHelper>, ISupportErrorInfo>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }

  // Late-bound calls: arguments in the order of the interface; a method's
  // out value is its result, or goes to a by-reference last argument.
  static std::span<const DispatchEntry<CDOMHelper>> DispatchTable() {
    using C = CDOMHelper;
    static const DispatchEntry<C> t[] = {
        DispMethodOf<&C::addElement>(1, u"addElement"),
        DispMethodOf<&C::addLongContent>(2, u"addLongContent"),
        DispMethodOf<&C::addDocumentElement>(3, u"addDocumentElement"),
        DispMethodOf<&C::getDocumentElement>(4, u"getDocumentElement"),
        DispMethodOf<&C::getElement>(5, u"getElement"),
        DispMethodOf<&C::createDocument>(6, u"createDocument"),
        DispMethodOf<&C::getLongContent>(7, u"getLongContent"),
        DispMethodOf<&C::addTextContent>(8, u"addTextContent"),
        DispMethodOf<&C::getTextContent>(9, u"getTextContent"),
        DispMethodOf<&C::getElementByIndex>(10, u"getElementByIndex"),
        DispMethodOf<&C::hasText>(11, u"hasText"),
        DispMethodOf<&C::transform>(12, u"transform"),
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
