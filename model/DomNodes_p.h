// Private to vexaxml: the DOM's node, document and node-list objects over
// libxml2, shared by the files that implement them (DomNodes.cpp,
// DomDocument.cpp, DomTransform.cpp). Nothing outside the DOM includes this.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/Dom_p.h"
#include "platform/base/Text.h"

namespace vexa::model {

using namespace vexa::com;

// ---- Library set-up and error capture ---------------------------------------------

// The last message the XML libraries reported on this thread. The libraries
// would print to stderr by default; a library of ours never does.
std::string& LastLibError();
// Collects a message of the libraries into LastLibError().
void CaptureGeneric(void*, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Sets up the libraries once per process and the error sinks once per thread
// (libxml2 keeps them per thread).
void PrepareThread();

// Parser options for every document: no network, no DTD loading, no entity
// substitution (those are the defaults left unset), CDATA merged into text,
// and no printing.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// ---- Bounds on attributes (DomLimits.cpp) -------------------------------------------

// The most attributes (namespace declarations included) one element may
// carry, and the most attribute defaults a document type may declare. The
// parser, the tree builder and the transformer each check or append every
// attribute of an element against all the others before it: time that grows
// with the square of their number (100,000 attributes on one element took
// minutes). Within this bound reading stays linear in the document's size;
// no document of the system needs more than a handful.
constexpr std::size_t kMaxAttributes = 256;
// Where a start tag of the text (UTF-8, or any encoding that writes markup
// in ASCII) carries more than kMaxAttributes: a description naming its
// line, "" when none does. Comments, CDATA, processing instructions and the
// document type are passed over.
std::string TooManyAttributes(std::string_view text);
// The same for a document's bytes as the parser will read them: UTF-16 and
// UTF-32 by their first bytes, other encodings by the declaration (`utf8`:
// the bytes are UTF-8 whatever they declare).
std::string DocumentTooManyAttributes(std::string_view bytes, bool utf8);
// xmlCtxtReadMemory with kParseOptions, stopped as soon as the document
// type declares more than kMaxAttributes attribute defaults or an entity
// whose text has a start tag beyond the bound; then no document and
// *breach says why.
xmlDocPtr ReadWithAttributeBounds(xmlParserCtxtPtr ctxt, const std::string& bytes, const char* url,
                                  const char* encoding, std::string* breach);

// ---- Text and tree helpers -----------------------------------------------------------

std::u16string FromXml(const xmlChar* s);
inline std::string ToUtf8(BSTR s) { return BstrToUtf8(s); }
inline const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }
HRESULT OutString(const std::u16string& s, BSTR* out);
// Concatenated text and CDATA content below n; entity references are never
// followed, so no entity is ever expanded.
void CollectText(xmlNodePtr n, std::string* out);
bool IsAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node);
// Drops namespace declarations that repeat a binding already in scope at
// the node's new place, so appended subtrees serialise without redundant
// xmlns attributes.
void TidyNamespaces(xmlDocPtr doc, xmlNodePtr n);
// Appends child as parent's last child without merging adjacent text nodes
// (a merge would free a node that an object may still point at).
void LinkLast(xmlNodePtr parent, xmlNodePtr child);
// Reads a pseudo-attribute (version='1.0') from declaration data.
std::string PseudoAttribute(const std::string& data, const std::string& name);

// ---- Node objects -------------------------------------------------------------------

// Wraps a library node in the right object kind.
HRESULT WrapNode(IXMLDOMDocument* owner, std::shared_ptr<DocHolder> holder, xmlNodePtr n,
                 IXMLDOMNode** out);

template <typename I>
HRESULT WrapAs(IXMLDOMDocument* owner, std::shared_ptr<DocHolder> holder, xmlNodePtr n, I** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!n) return S_FALSE;
  ComPtr<IXMLDOMNode> node;
  HRESULT hr = WrapNode(owner, std::move(holder), n, node.Put());
  if (FAILED(hr)) return hr;
  return node->QueryInterface(IidOf<I>(), reinterpret_cast<void**>(out));
}

// The library node and tree behind a DOM object of this server.
bool Access(IUnknown* p, xmlNodePtr* node, std::shared_ptr<DocHolder>* holder);

// Transforms the document `in` with the stylesheet document into the
// document object outputObject (DomTransform.cpp).
HRESULT TransformInto(xmlNodePtr in, const std::shared_ptr<DocHolder>& inHolder, IXMLDOMNode* stylesheet,
                      VARIANT outputObject);

// ---- Node lists ---------------------------------------------------------------------

class CDomNodeList : public ComObjectRoot,
                     public DispatchImpl<CDomNodeList, IXMLDOMNodeList> {
 public:
  using Interfaces = InterfaceMap<IXMLDOMNodeList, Via<IDispatch, IXMLDOMNodeList>>;
  static std::span<const DispatchEntry<CDomNodeList>> DispatchTable() { return {}; }

  CDomNodeList(ComPtr<IXMLDOMDocument> owner, std::shared_ptr<DocHolder> holder,
               std::vector<xmlNodePtr> nodes)
      : owner_(std::move(owner)), holder_(std::move(holder)), nodes_(std::move(nodes)) {}

  HRESULT get_item(LONG index, IXMLDOMNode** node) override {
    if (!node) return E_POINTER;
    *node = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) return S_FALSE;
    return WrapNode(owner_.Get(), holder_, nodes_[index], node);
  }
  HRESULT get_length(LONG* length) override {
    if (!length) return E_POINTER;
    *length = static_cast<LONG>(nodes_.size());
    return S_OK;
  }

 private:
  ComPtr<IXMLDOMDocument> owner_;
  std::shared_ptr<DocHolder> holder_;
  std::vector<xmlNodePtr> nodes_;
};

// ---- IXMLDOMNode for every node kind -------------------------------------------------
//
// T provides Node(), Holder(), Owner() (the document to hand to new node
// objects) and SelectionNamespaces().

template <typename T, typename Itf>
class DomNodeImpl : public DispatchImpl<T, Itf>, public IDomNodeAccess {
 public:
  // IDomNodeAccess
  _xmlNode* LibNode() override { return Self()->Node(); }
  std::shared_ptr<DocHolder> LibHolder() override { return Self()->Holder(); }

  HRESULT get_nodeName(BSTR* name) override {
    if (!name) return E_POINTER;
    xmlNodePtr n = Self()->Node();
    switch (n->type) {
      case XML_ELEMENT_NODE: {
        std::string q;
        if (n->ns && n->ns->prefix) q = std::string(reinterpret_cast<const char*>(n->ns->prefix)) + ":";
        q += reinterpret_cast<const char*>(n->name);
        return OutString(vexa::base::Utf8ToUtf16(q), name);
      }
      case XML_TEXT_NODE: return OutString(u"#text", name);
      case XML_CDATA_SECTION_NODE: return OutString(u"#cdata-section", name);
      case XML_COMMENT_NODE: return OutString(u"#comment", name);
      case XML_DOCUMENT_NODE: return OutString(u"#document", name);
      default: return OutString(FromXml(n->name), name);
    }
  }
  HRESULT get_nodeType(DOMNodeType* type) override {
    if (!type) return E_POINTER;
    switch (Self()->Node()->type) {
      case XML_ELEMENT_NODE: *type = NODE_ELEMENT; break;
      case XML_ATTRIBUTE_NODE: *type = NODE_ATTRIBUTE; break;
      case XML_TEXT_NODE: *type = NODE_TEXT; break;
      case XML_CDATA_SECTION_NODE: *type = NODE_CDATA_SECTION; break;
      case XML_ENTITY_REF_NODE: *type = NODE_ENTITY_REFERENCE; break;
      case XML_PI_NODE: *type = NODE_PROCESSING_INSTRUCTION; break;
      case XML_COMMENT_NODE: *type = NODE_COMMENT; break;
      case XML_DOCUMENT_NODE: *type = NODE_DOCUMENT; break;
      case XML_DTD_NODE: *type = NODE_DOCUMENT_TYPE; break;
      default: *type = NODE_INVALID; break;
    }
    return S_OK;
  }
  HRESULT get_baseName(BSTR* name) override {
    if (!name) return E_POINTER;
    xmlNodePtr n = Self()->Node();
    if (n->type == XML_ELEMENT_NODE || n->type == XML_PI_NODE || n->type == XML_ATTRIBUTE_NODE) {
      return OutString(FromXml(n->name), name);
    }
    return OutString(u"", name);
  }
  HRESULT get_namespaceURI(BSTR* uri) override {
    if (!uri) return E_POINTER;
    *uri = nullptr;
    xmlNodePtr n = Self()->Node();
    if ((n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE) && n->ns && n->ns->href &&
        n->ns->href[0]) {
      return OutString(FromXml(n->ns->href), uri);
    }
    return S_OK;
  }
  HRESULT get_prefix(BSTR* prefix) override {
    if (!prefix) return E_POINTER;
    xmlNodePtr n = Self()->Node();
    if (n->type == XML_ELEMENT_NODE && n->ns && n->ns->prefix) {
      return OutString(FromXml(n->ns->prefix), prefix);
    }
    return OutString(u"", prefix);
  }
  HRESULT get_nodeValue(BSTR* value) override {
    if (!value) return E_POINTER;
    xmlNodePtr n = Self()->Node();
    if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE ||
        n->type == XML_COMMENT_NODE || n->type == XML_PI_NODE) {
      return OutString(FromXml(n->content), value);
    }
    return OutString(u"", value);
  }
  HRESULT get_text(BSTR* text) override {
    if (!text) return E_POINTER;
    xmlNodePtr n = Self()->Node();
    std::string all;
    if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE ||
        n->type == XML_COMMENT_NODE || n->type == XML_PI_NODE) {
      if (n->content) all = reinterpret_cast<const char*>(n->content);
    } else {
      CollectText(n, &all);
    }
    const std::u16string wide = vexa::base::Utf8ToUtf16(all);
    return OutString(std::u16string(TrimXmlSpace(wide)), text);
  }
  HRESULT put_text(BSTR text) override {
    if (HRESULT hr = CheckXmlText(BstrView(text), "the text"); FAILED(hr)) return hr;
    xmlNodePtr n = Self()->Node();
    auto holder = Self()->Holder();
    const std::string value = ToUtf8(text);
    if (n->type == XML_TEXT_NODE || n->type == XML_COMMENT_NODE || n->type == XML_CDATA_SECTION_NODE) {
      xmlNodeSetContent(n, X(value));
      return S_OK;
    }
    if (n->type != XML_ELEMENT_NODE) return E_FAIL;
    while (xmlNodePtr c = n->children) {
      xmlUnlinkNode(c);
      holder->detached.insert(c);
    }
    if (value.empty()) return S_OK;
    xmlNodePtr t = xmlNewDocText(n->doc, X(value));
    if (!t) return E_OUTOFMEMORY;
    LinkLast(n, t);
    return S_OK;
  }
  HRESULT get_xml(BSTR* xml) override {
    if (!xml) return E_POINTER;
    PrepareThread();
    xmlNodePtr n = Self()->Node();
    xmlBufferPtr buf = xmlBufferCreate();
    if (!buf) return E_OUTOFMEMORY;
    if (n->type == XML_DOCUMENT_NODE) {
      for (xmlNodePtr c = n->children; c; c = c->next) {
        xmlNodeDump(buf, n->doc, c, 0, 0);
      }
    } else {
      xmlNodeDump(buf, n->doc, n, 0, 0);
    }
    std::u16string s = FromXml(xmlBufferContent(buf));
    xmlBufferFree(buf);
    return OutString(s, xml);
  }
  HRESULT get_parentNode(IXMLDOMNode** parent) override {
    return Wrap(Self()->Node()->parent, parent);
  }
  HRESULT get_firstChild(IXMLDOMNode** child) override {
    return Wrap(Self()->Node()->children, child);
  }
  HRESULT get_lastChild(IXMLDOMNode** child) override { return Wrap(Self()->Node()->last, child); }
  HRESULT get_nextSibling(IXMLDOMNode** sibling) override {
    xmlNodePtr n = Self()->Node();
    return Wrap(n->type == XML_DOCUMENT_NODE ? nullptr : n->next, sibling);
  }
  HRESULT get_previousSibling(IXMLDOMNode** sibling) override {
    xmlNodePtr n = Self()->Node();
    return Wrap(n->type == XML_DOCUMENT_NODE ? nullptr : n->prev, sibling);
  }
  HRESULT get_childNodes(IXMLDOMNodeList** list) override {
    if (!list) return E_POINTER;
    std::vector<xmlNodePtr> nodes;
    for (xmlNodePtr c = Self()->Node()->children; c; c = c->next) {
      if (c->type != XML_DTD_NODE) nodes.push_back(c);
    }
    return ComObject<CDomNodeList>::Create(list, ComPtr<IXMLDOMDocument>(Self()->Owner()),
                                           Self()->Holder(), std::move(nodes));
  }
  HRESULT get_ownerDocument(IXMLDOMDocument** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (Self()->Node()->type == XML_DOCUMENT_NODE) return S_FALSE;
    return ComPtr<IXMLDOMDocument>(Self()->Owner()).CopyTo(document);
  }
  HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override {
    if (outNewChild) *outNewChild = nullptr;
    xmlNodePtr child = nullptr;
    std::shared_ptr<DocHolder> childHolder;
    if (!Access(newChild, &child, &childHolder)) return E_INVALIDARG;
    auto holder = Self()->Holder();
    xmlNodePtr parent = Self()->Node();
    // Only nodes of this tree move, and never into themselves.
    if (childHolder != holder || IsAncestorOrSelf(child, parent)) return E_INVALIDARG;
    if (child->type == XML_DOCUMENT_NODE || child->type == XML_ATTRIBUTE_NODE) return E_INVALIDARG;
    if (parent->type == XML_DOCUMENT_NODE) {
      HRESULT hr = Self()->AppendToDocument(child);
      if (FAILED(hr)) return hr;
    } else {
      if (parent->type != XML_ELEMENT_NODE) return E_FAIL;
      if (child->parent) xmlUnlinkNode(child);
      holder->detached.erase(child);
      LinkLast(parent, child);
      if (child->type == XML_ELEMENT_NODE) {
        xmlReconciliateNs(holder->doc, child);
        TidyNamespaces(holder->doc, child);
      }
    }
    if (outNewChild) {
      *outNewChild = newChild;
      newChild->AddRef();
    }
    return S_OK;
  }
  HRESULT removeChild(IXMLDOMNode* oldChild, IXMLDOMNode** outOldChild) override {
    if (outOldChild) *outOldChild = nullptr;
    xmlNodePtr child = nullptr;
    std::shared_ptr<DocHolder> childHolder;
    if (!Access(oldChild, &child, &childHolder)) return E_INVALIDARG;
    if (child->parent != Self()->Node()) return E_INVALIDARG;
    xmlUnlinkNode(child);
    childHolder->detached.insert(child);
    if (outOldChild) {
      *outOldChild = oldChild;
      oldChild->AddRef();
    }
    return S_OK;
  }
  HRESULT hasChildNodes(VARIANT_BOOL* has) override {
    if (!has) return E_POINTER;
    *has = Self()->Node()->children ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT selectSingleNode(BSTR query, IXMLDOMNode** node) override {
    if (!node) return E_POINTER;
    *node = nullptr;
    std::vector<xmlNodePtr> found;
    HRESULT hr = Select(query, &found);
    if (FAILED(hr)) return hr;
    if (found.empty()) return S_FALSE;
    return Wrap(found.front(), node);
  }
  HRESULT selectNodes(BSTR query, IXMLDOMNodeList** list) override {
    if (!list) return E_POINTER;
    *list = nullptr;
    std::vector<xmlNodePtr> found;
    HRESULT hr = Select(query, &found);
    if (FAILED(hr)) return hr;
    return ComObject<CDomNodeList>::Create(list, ComPtr<IXMLDOMDocument>(Self()->Owner()),
                                           Self()->Holder(), std::move(found));
  }
  HRESULT transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) override {
    return TransformInto(Self()->Node(), Self()->Holder(), stylesheet, outputObject);
  }

 protected:
  T* Self() { return static_cast<T*>(this); }

  HRESULT Wrap(xmlNodePtr n, IXMLDOMNode** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!n) return S_FALSE;
    return WrapNode(Self()->Owner(), Self()->Holder(), n, out);
  }

  HRESULT Select(BSTR query, std::vector<xmlNodePtr>* found) {
    PrepareThread();
    xmlNodePtr n = Self()->Node();
    auto holder = Self()->Holder();
    const std::string expr = ToUtf8(query);
    xmlXPathContextPtr ctx = xmlXPathNewContext(holder->doc);
    if (!ctx) return E_OUTOFMEMORY;
    ctx->node = n;
    // Bindings from the "SelectionNamespaces" property: xmlns:p='uri' ...
    const std::string decls = vexa::base::Utf16ToUtf8(Self()->SelectionNamespaces());
    std::size_t pos = 0;
    while ((pos = decls.find("xmlns:", pos)) != std::string::npos) {
      const std::size_t eq = decls.find('=', pos);
      if (eq == std::string::npos) break;
      const std::string prefix = decls.substr(pos + 6, eq - pos - 6);
      const std::string uri = PseudoAttribute(decls.substr(pos), "xmlns:" + prefix);
      xmlXPathRegisterNs(ctx, X(prefix), X(uri));
      pos = eq;
    }
    xmlXPathObjectPtr result = xmlXPathEvalExpression(X(expr), ctx);
    HRESULT hr = S_OK;
    if (!result) {
      hr = E_FAIL;
    } else if (result->type != XPATH_NODESET) {
      hr = E_FAIL;
    } else if (result->nodesetval) {
      for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
        xmlNodePtr m = result->nodesetval->nodeTab[i];
        if (m->type != XML_NAMESPACE_DECL) found->push_back(m);
      }
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(ctx);
    return hr;
  }
};

// ---- Elements and other nodes ----------------------------------------------------------

class CDomOtherNode : public ComObjectRoot, public DomNodeImpl<CDomOtherNode, IXMLDOMNode> {
 public:
  using Interfaces = InterfaceMap<IXMLDOMNode, Via<IDispatch, IXMLDOMNode>, IDomNodeAccess>;
  static std::span<const DispatchEntry<CDomOtherNode>> DispatchTable() { return {}; }

  CDomOtherNode(ComPtr<IXMLDOMDocument> owner, std::shared_ptr<DocHolder> holder, xmlNodePtr n)
      : owner_(std::move(owner)), holder_(std::move(holder)), node_(n) {}

  xmlNodePtr Node() { return node_; }
  std::shared_ptr<DocHolder> Holder() { return holder_; }
  IXMLDOMDocument* Owner() { return owner_.Get(); }
  std::u16string SelectionNamespaces();
  HRESULT AppendToDocument(xmlNodePtr) { return E_FAIL; }

 private:
  ComPtr<IXMLDOMDocument> owner_;
  std::shared_ptr<DocHolder> holder_;
  xmlNodePtr node_;
};

class CDomElement : public ComObjectRoot, public DomNodeImpl<CDomElement, IXMLDOMElement> {
 public:
  using Interfaces = InterfaceMap<IXMLDOMElement, IXMLDOMNode, Via<IDispatch, IXMLDOMElement>,
                                  IDomNodeAccess>;
  static std::span<const DispatchEntry<CDomElement>> DispatchTable() { return {}; }

  CDomElement(ComPtr<IXMLDOMDocument> owner, std::shared_ptr<DocHolder> holder, xmlNodePtr n)
      : owner_(std::move(owner)), holder_(std::move(holder)), node_(n) {}

  xmlNodePtr Node() { return node_; }
  std::shared_ptr<DocHolder> Holder() { return holder_; }
  IXMLDOMDocument* Owner() { return owner_.Get(); }
  std::u16string SelectionNamespaces();
  HRESULT AppendToDocument(xmlNodePtr) { return E_FAIL; }

  HRESULT get_tagName(BSTR* name) override { return get_nodeName(name); }
  HRESULT getAttribute(BSTR name, VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    value->vt = VT_NULL;
    xmlChar* v = xmlGetProp(node_, X(ToUtf8(name)));
    if (!v) return S_FALSE;
    const std::u16string s = FromXml(v);
    xmlFree(v);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return value->bstrVal ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT setAttribute(BSTR name, VARIANT value) override {
    const std::string n = ToUtf8(name);
    if (n.empty() || xmlValidateQName(X(n), 0) != 0) return E_INVALIDARG;
    Variant text;
    HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = CheckXmlText(BstrView(text.bstrVal), "the attribute's value"))) return hr;
    return xmlSetProp(node_, X(n), X(BstrToUtf8(text.bstrVal))) ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ComPtr<IXMLDOMDocument> owner_;
  std::shared_ptr<DocHolder> holder_;
  xmlNodePtr node_;
};

// ---- Documents ----------------------------------------------------------------------------

class CDomDocument : public ComObjectRoot, public DomNodeImpl<CDomDocument, IXMLDOMDocument2> {
 public:
  using Interfaces =
      InterfaceMap<IXMLDOMDocument2, IXMLDOMDocument, IXMLDOMNode,
                   Via<IDispatch, IXMLDOMDocument2>, IDomNodeAccess>;
  static std::span<const DispatchEntry<CDomDocument>> DispatchTable() { return {}; }

  HRESULT FinalConstruct() { return Reset(nullptr, nullptr); }

  xmlNodePtr Node() { return reinterpret_cast<xmlNodePtr>(holder_->doc); }
  std::shared_ptr<DocHolder> Holder() { return holder_; }
  IXMLDOMDocument* Owner() { return this; }
  std::u16string SelectionNamespaces() { return selectionNamespaces_; }

  // Replaces the tree; a null doc makes an empty one.
  HRESULT Reset(xmlDocPtr doc, std::shared_ptr<CompiledStylesheet> style);
  HRESULT AppendToDocument(xmlNodePtr child);

  HRESULT get_documentElement(IXMLDOMElement** element) override;
  HRESULT putref_documentElement(IXMLDOMElement* element) override;
  HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) override;
  HRESULT createElement(BSTR tagName, IXMLDOMElement** element) override;
  HRESULT createTextNode(BSTR data, IXMLDOMNode** node) override;
  HRESULT createProcessingInstruction(BSTR target, BSTR data, IXMLDOMNode** node) override;
  HRESULT load(VARIANT source, VARIANT_BOOL* success) override;
  HRESULT loadXML(BSTR xml, VARIANT_BOOL* success) override;
  HRESULT get_parseErrorReason(BSTR* reason) override;
  HRESULT save(VARIANT destination) override;
  HRESULT setProperty(BSTR name, VARIANT value) override;
  HRESULT getProperty(BSTR name, VARIANT* value) override;

  // The tree as text: through the output method of the stylesheet that
  // produced it, else as XML in UTF-8.
  HRESULT Serialise(std::string* out);

 private:
  HRESULT Parse(const std::string& bytes, const std::string& url, VARIANT_BOOL* success,
                bool ignoreDeclaredEncoding = false);
  HRESULT NewElement(const std::string& qname, const std::string& uri, IXMLDOMNode** node);
  // A new node that is not in the tree yet: kept with the tree until it is
  // appended or the tree goes.
  HRESULT Adopt(xmlNodePtr n, IXMLDOMNode** out);

  std::shared_ptr<DocHolder> holder_;
  std::u16string selectionNamespaces_;
  std::string parseError_;
};

}  // namespace vexa::model
