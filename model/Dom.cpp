#include "model/Dom.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "platform/base/Text.h"

using namespace vexa::com;

namespace vexa::model {

const char kIdentityStylesheet[] =
    "<?xml version=\"1.0\"?>\n"
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
    "  <xsl:output method=\"xml\" version=\"1.0\" omit-xml-declaration=\"no\" indent=\"no\""
    " encoding=\"UTF-8\"/>\n"
    "  <xsl:template match=\"@*|node()\">\n"
    "    <xsl:copy><xsl:apply-templates select=\"@*|node()\"/></xsl:copy>\n"
    "  </xsl:template>\n"
    "</xsl:stylesheet>\n";

namespace {

// ---- Library set-up and error capture ---------------------------------------------

// The last message the XML libraries reported on this thread. The libraries
// would print to stderr by default; a library of ours never does.
thread_local std::string tLastLibError;

void CaptureGeneric(void*, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void CaptureGeneric(void*, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  tLastLibError += buf;
  if (tLastLibError.size() > 4096) tLastLibError.erase(0, tLastLibError.size() - 4096);
}

void CaptureStructured(void*, xmlErrorPtr error) {
  if (error && error->message) {
    tLastLibError = error->message;
    while (!tLastLibError.empty() && tLastLibError.back() == '\n') tLastLibError.pop_back();
    if (error->line > 0) tLastLibError += " (line " + std::to_string(error->line) + ")";
  }
}

// Sets up the libraries once per process and the error sinks once per thread
// (libxml2 keeps them per thread).
void PrepareThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xsltSetGenericErrorFunc(nullptr, CaptureGeneric);
  });
  thread_local bool prepared = false;
  if (!prepared) {
    xmlSetGenericErrorFunc(nullptr, CaptureGeneric);
    xmlSetStructuredErrorFunc(nullptr, CaptureStructured);
    prepared = true;
  }
}

// Parser options for every document: no network, no DTD loading, no entity
// substitution (those are the defaults left unset), CDATA merged into text,
// and no printing.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

std::u16string FromXml(const xmlChar* s) {
  return s ? vexa::base::Utf8ToUtf16(reinterpret_cast<const char*>(s)) : std::u16string();
}

std::string ToUtf8(BSTR s) { return BstrToUtf8(s); }
const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

HRESULT OutString(const std::u16string& s, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Concatenated text and CDATA content below n; entity references are never
// followed, so no entity is ever expanded.
void CollectText(xmlNodePtr n, std::string* out) {
  for (xmlNodePtr c = n->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      if (c->content) out->append(reinterpret_cast<const char*>(c->content));
    } else if (c->type == XML_ELEMENT_NODE) {
      CollectText(c, out);
    }
  }
}

bool IsAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node) {
  for (xmlNodePtr p = node; p; p = p->parent) {
    if (p == candidate) return true;
  }
  return false;
}

void RedirectNs(xmlNodePtr n, xmlNsPtr from, xmlNsPtr to) {
  if (n->type != XML_ELEMENT_NODE) return;
  if (n->ns == from) n->ns = to;
  for (xmlAttrPtr a = n->properties; a; a = a->next) {
    if (a->ns == from) a->ns = to;
  }
  for (xmlNodePtr c = n->children; c; c = c->next) RedirectNs(c, from, to);
}

// Drops namespace declarations that repeat a binding already in scope at
// the node's new place, so appended subtrees serialise without redundant
// xmlns attributes.
void TidyNamespaces(xmlDocPtr doc, xmlNodePtr n) {
  if (n->type != XML_ELEMENT_NODE) return;
  if (n->parent && n->parent->type == XML_ELEMENT_NODE) {
    xmlNsPtr* link = &n->nsDef;
    while (*link) {
      xmlNsPtr d = *link;
      xmlNsPtr inScope = xmlSearchNs(doc, n->parent, d->prefix);
      if (inScope && xmlStrEqual(inScope->href, d->href)) {
        *link = d->next;
        d->next = nullptr;
        RedirectNs(n, d, inScope);
        xmlFreeNs(d);
      } else {
        link = &d->next;
      }
    }
  }
  for (xmlNodePtr c = n->children; c; c = c->next) TidyNamespaces(doc, c);
}

// Appends child as parent's last child without merging adjacent text nodes
// (a merge would free a node that an object may still point at).
void LinkLast(xmlNodePtr parent, xmlNodePtr child) {
  child->parent = parent;
  child->next = nullptr;
  child->prev = parent->last;
  if (parent->last) {
    parent->last->next = child;
  } else {
    parent->children = child;
  }
  parent->last = child;
}

// Reads a pseudo-attribute (version='1.0') from declaration data.
std::string PseudoAttribute(const std::string& data, const std::string& name) {
  std::size_t pos = 0;
  while ((pos = data.find(name, pos)) != std::string::npos) {
    std::size_t i = pos + name.size();
    while (i < data.size() && data[i] == ' ') ++i;
    if (i < data.size() && data[i] == '=') {
      ++i;
      while (i < data.size() && data[i] == ' ') ++i;
      if (i < data.size() && (data[i] == '\'' || data[i] == '"')) {
        const char q = data[i];
        const std::size_t end = data.find(q, i + 1);
        if (end != std::string::npos) return data.substr(i + 1, end - i - 1);
      }
    }
    pos += name.size();
  }
  return {};
}

class CDomDocument;

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

bool Access(IUnknown* p, xmlNodePtr* node, std::shared_ptr<DocHolder>* holder) {
  if (!p) return false;
  ComPtr<IDomNodeAccess> a;
  if (FAILED(p->QueryInterface(IidOf<IDomNodeAccess>(), a.PutVoid()))) return false;
  *node = a->LibNode();
  *holder = a->LibHolder();
  return *node != nullptr;
}

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
  HRESULT transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) override;

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
  HRESULT Reset(xmlDocPtr doc, std::shared_ptr<CompiledStylesheet> style) {
    if (!doc) doc = xmlNewDoc(X("1.0"));
    if (!doc) return E_OUTOFMEMORY;
    auto h = std::make_shared<DocHolder>();
    h->doc = doc;
    h->outputStyle = std::move(style);
    holder_ = std::move(h);
    return S_OK;
  }

  HRESULT AppendToDocument(xmlNodePtr child) {
    xmlDocPtr doc = holder_->doc;
    if (child->type == XML_PI_NODE && xmlStrEqual(child->name, X("xml"))) {
      // The declaration is the document's version and encoding, never a node.
      const std::string data = child->content ? reinterpret_cast<const char*>(child->content) : "";
      const std::string version = PseudoAttribute(data, "version");
      const std::string encoding = PseudoAttribute(data, "encoding");
      if (!version.empty()) {
        if (doc->version) xmlFree(const_cast<xmlChar*>(doc->version));
        doc->version = xmlStrdup(X(version));
      }
      if (!encoding.empty()) {
        if (doc->encoding) xmlFree(const_cast<xmlChar*>(doc->encoding));
        doc->encoding = xmlStrdup(X(encoding));
      }
      return S_OK;
    }
    if (child->type == XML_ELEMENT_NODE && xmlDocGetRootElement(doc)) return E_FAIL;
    if (child->type == XML_TEXT_NODE) return E_FAIL;
    if (child->parent) xmlUnlinkNode(child);
    holder_->detached.erase(child);
    LinkLast(reinterpret_cast<xmlNodePtr>(doc), child);
    return S_OK;
  }

  HRESULT get_documentElement(IXMLDOMElement** element) override {
    return WrapAs(this, holder_, xmlDocGetRootElement(holder_->doc), element);
  }
  HRESULT putref_documentElement(IXMLDOMElement* element) override {
    xmlNodePtr n = nullptr;
    std::shared_ptr<DocHolder> h;
    if (!Access(element, &n, &h) || h != holder_ || n->type != XML_ELEMENT_NODE) {
      return E_INVALIDARG;
    }
    if (n == xmlDocGetRootElement(holder_->doc)) return S_OK;
    if (n->parent) xmlUnlinkNode(n);
    holder_->detached.erase(n);
    xmlNodePtr old = xmlDocSetRootElement(holder_->doc, n);
    if (old) holder_->detached.insert(old);
    xmlReconciliateNs(holder_->doc, n);
    return S_OK;
  }
  HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) override {
    if (!node) return E_POINTER;
    *node = nullptr;
    Variant t;
    if (FAILED(VariantChangeType(&t, &type, 0, VT_I4))) return E_INVALIDARG;
    switch (t.lVal) {
      case NODE_ELEMENT: return NewElement(ToUtf8(name), ToUtf8(namespaceURI), node);
      case NODE_TEXT: return createTextNode(name, node);
      case NODE_COMMENT: {
        xmlNodePtr c = xmlNewDocComment(holder_->doc, X(ToUtf8(name)));
        return Adopt(c, node);
      }
      default: return E_INVALIDARG;
    }
  }
  HRESULT createElement(BSTR tagName, IXMLDOMElement** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    ComPtr<IXMLDOMNode> n;
    HRESULT hr = NewElement(ToUtf8(tagName), std::string(), n.Put());
    if (FAILED(hr)) return hr;
    return n->QueryInterface(IidOf<IXMLDOMElement>(), reinterpret_cast<void**>(element));
  }
  HRESULT createTextNode(BSTR data, IXMLDOMNode** node) override {
    if (!node) return E_POINTER;
    *node = nullptr;
    return Adopt(xmlNewDocText(holder_->doc, X(ToUtf8(data))), node);
  }
  HRESULT createProcessingInstruction(BSTR target, BSTR data, IXMLDOMNode** node) override {
    if (!node) return E_POINTER;
    *node = nullptr;
    const std::string t = ToUtf8(target);
    if (t.empty() || xmlValidateNCName(X(t), 0) != 0) return E_INVALIDARG;
    return Adopt(xmlNewDocPI(holder_->doc, X(t), X(ToUtf8(data))), node);
  }
  HRESULT load(VARIANT source, VARIANT_BOOL* success) override {
    if (success) *success = VARIANT_FALSE;
    std::string bytes;
    std::string url;
    VARIANT view = source;
    if (view.vt == (VT_BYREF | VT_VARIANT) && view.pvarVal) view = *view.pvarVal;
    if (view.vt == VT_BSTR) {
      std::string path = BstrToUtf8(view.bstrVal);
      if (path.rfind("file://", 0) == 0) path = path.substr(7);
      url = path;
      if (!vexa::base::ReadFile(path, &bytes)) {
        Reset(nullptr, nullptr);
        parseError_ = "cannot read " + path;
        return S_FALSE;
      }
    } else if (view.vt == (VT_ARRAY | VT_UI1) && view.parray) {
      SAFEARRAY* sa = view.parray;
      void* data = nullptr;
      if (FAILED(SafeArrayAccessData(sa, &data))) return E_INVALIDARG;
      bytes.assign(static_cast<const char*>(data), sa->rgsabound[0].cElements);
      SafeArrayUnaccessData(sa);
    } else {
      return E_INVALIDARG;
    }
    return Parse(bytes, url, success);
  }
  HRESULT loadXML(BSTR xml, VARIANT_BOOL* success) override {
    if (success) *success = VARIANT_FALSE;
    return Parse(BstrToUtf8(xml), std::string(), success, /*ignoreDeclaredEncoding=*/true);
  }
  HRESULT get_parseErrorReason(BSTR* reason) override {
    return OutString(vexa::base::Utf8ToUtf16(parseError_), reason);
  }
  HRESULT save(VARIANT destination) override {
    PrepareThread();
    if (destination.vt != VT_BSTR || !destination.bstrVal) return E_INVALIDARG;
    const std::string path = BstrToUtf8(destination.bstrVal);
    if (path.empty()) return E_INVALIDARG;
    std::string text;
    HRESULT hr = Serialise(&text);
    if (FAILED(hr)) return hr;
    return vexa::base::WriteFileAtomic(path, text) ? S_OK : E_ACCESSDENIED;
  }
  HRESULT setProperty(BSTR name, VARIANT value) override {
    const std::u16string_view n = BstrView(name);
    Variant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return E_INVALIDARG;
    if (n == u"SelectionLanguage") {
      if (BstrView(text.bstrVal) != u"XPath") return E_FAIL;
      return S_OK;
    }
    if (n == u"SelectionNamespaces") {
      selectionNamespaces_ = std::u16string(BstrView(text.bstrVal));
      return S_OK;
    }
    return E_INVALIDARG;
  }
  HRESULT getProperty(BSTR name, VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    const std::u16string_view n = BstrView(name);
    std::u16string v;
    if (n == u"SelectionLanguage") v = u"XPath";
    else if (n == u"SelectionNamespaces") v = selectionNamespaces_;
    else return E_INVALIDARG;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
    return S_OK;
  }

  // The tree as text: through the output method of the stylesheet that
  // produced it, else as XML in UTF-8.
  HRESULT Serialise(std::string* out) {
    xmlChar* buf = nullptr;
    int len = 0;
    if (holder_->outputStyle) {
      if (xsltSaveResultToString(&buf, &len, holder_->doc, holder_->outputStyle->style) != 0) {
        return E_FAIL;
      }
    } else {
      xmlDocDumpFormatMemoryEnc(holder_->doc, &buf, &len, "UTF-8", 0);
    }
    if (buf) {
      out->assign(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(len));
      xmlFree(buf);
    }
    return S_OK;
  }

 private:
  HRESULT Parse(const std::string& bytes, const std::string& url, VARIANT_BOOL* success,
                bool ignoreDeclaredEncoding = false) {
    PrepareThread();
    parseError_.clear();
    tLastLibError.clear();
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
      Reset(nullptr, nullptr);
      parseError_ = "document too large";
      return S_FALSE;
    }
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) return E_OUTOFMEMORY;
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()),
                                      url.empty() ? nullptr : url.c_str(),
                                      ignoreDeclaredEncoding ? "UTF-8" : nullptr, kParseOptions);
    if (doc && (!ctxt->wellFormed || !xmlDocGetRootElement(doc))) {
      xmlFreeDoc(doc);
      doc = nullptr;
      if (tLastLibError.empty()) tLastLibError = "the document has no element";
    }
    if (!doc) {
      xmlErrorPtr e = xmlCtxtGetLastError(ctxt);
      parseError_ = e && e->message ? e->message : tLastLibError;
      while (!parseError_.empty() && parseError_.back() == '\n') parseError_.pop_back();
      if (e && e->line > 0) parseError_ += " (line " + std::to_string(e->line) + ")";
      if (parseError_.empty()) parseError_ = "not well-formed";
    }
    xmlFreeParserCtxt(ctxt);
    if (!doc) {
      Reset(nullptr, nullptr);
      return S_FALSE;
    }
    Reset(doc, nullptr);
    if (success) *success = VARIANT_TRUE;
    return S_OK;
  }

  HRESULT NewElement(const std::string& qname, const std::string& uri, IXMLDOMNode** node) {
    if (qname.empty() || xmlValidateQName(X(qname), 0) != 0) return E_INVALIDARG;
    std::string prefix, local = qname;
    const auto colon = qname.find(':');
    if (colon != std::string::npos) {
      prefix = qname.substr(0, colon);
      local = qname.substr(colon + 1);
      if (uri.empty()) return E_INVALIDARG;
    }
    xmlNodePtr e = xmlNewDocNode(holder_->doc, nullptr, X(local), nullptr);
    if (!e) return E_OUTOFMEMORY;
    if (!uri.empty()) {
      // Declared on the element itself; appending drops the declaration
      // again where the new parent already has the same binding in scope.
      xmlNsPtr ns = xmlNewNs(e, X(uri), prefix.empty() ? nullptr : X(prefix));
      if (!ns) {
        xmlFreeNode(e);
        return E_OUTOFMEMORY;
      }
      xmlSetNs(e, ns);
    }
    return Adopt(e, node);
  }

  // A new node that is not in the tree yet: kept with the tree until it is
  // appended or the tree goes.
  HRESULT Adopt(xmlNodePtr n, IXMLDOMNode** out) {
    if (!n) return E_OUTOFMEMORY;
    holder_->detached.insert(n);
    return WrapNode(this, holder_, n, out);
  }

  std::shared_ptr<DocHolder> holder_;
  std::u16string selectionNamespaces_;
  std::string parseError_;
};

std::u16string CDomOtherNode::SelectionNamespaces() {
  ComPtr<IXMLDOMDocument2> d;
  if (owner_ && SUCCEEDED(owner_->QueryInterface(IidOf<IXMLDOMDocument2>(), d.PutVoid()))) {
    return static_cast<CDomDocument*>(d.Get())->SelectionNamespaces();
  }
  return {};
}

std::u16string CDomElement::SelectionNamespaces() {
  ComPtr<IXMLDOMDocument2> d;
  if (owner_ && SUCCEEDED(owner_->QueryInterface(IidOf<IXMLDOMDocument2>(), d.PutVoid()))) {
    return static_cast<CDomDocument*>(d.Get())->SelectionNamespaces();
  }
  return {};
}

HRESULT WrapNode(IXMLDOMDocument* owner, std::shared_ptr<DocHolder> holder, xmlNodePtr n,
                 IXMLDOMNode** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!n) return S_FALSE;
  if (n->type == XML_DOCUMENT_NODE) {
    if (!owner) return S_FALSE;
    return owner->QueryInterface(IidOf<IXMLDOMNode>(), reinterpret_cast<void**>(out));
  }
  if (n->type == XML_ELEMENT_NODE) {
    return ComObject<CDomElement>::Create(out, ComPtr<IXMLDOMDocument>(owner), std::move(holder), n);
  }
  return ComObject<CDomOtherNode>::Create(out, ComPtr<IXMLDOMDocument>(owner), std::move(holder), n);
}

// Security preferences for every transform: a stylesheet may neither read
// nor write files nor reach the network.
xsltSecurityPrefsPtr TransformSecurity() {
  static xsltSecurityPrefsPtr prefs = [] {
    xsltSecurityPrefsPtr p = xsltNewSecurityPrefs();
    xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(p, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    return p;
  }();
  return prefs;
}

}  // namespace

CompiledStylesheet::~CompiledStylesheet() {
  if (style) xsltFreeStylesheet(style);
}

DocHolder::~DocHolder() {
  for (xmlNodePtr n : detached) {
    if (!n->parent) xmlFreeNode(n);
  }
  if (doc) xmlFreeDoc(doc);
}

std::u16string_view TrimXmlSpace(std::u16string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

template <typename T, typename Itf>
HRESULT DomNodeImpl<T, Itf>::transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) {
  PrepareThread();
  xmlNodePtr in = Self()->Node();
  auto inHolder = Self()->Holder();
  if (in->type != XML_DOCUMENT_NODE) return E_NOTIMPL;
  xmlNodePtr styleNode = nullptr;
  std::shared_ptr<DocHolder> styleHolder;
  if (!Access(stylesheet, &styleNode, &styleHolder)) return E_INVALIDARG;
  IUnknown* outUnk = nullptr;
  if (outputObject.vt == VT_DISPATCH) outUnk = outputObject.pdispVal;
  else if (outputObject.vt == VT_UNKNOWN) outUnk = outputObject.punkVal;
  ComPtr<IXMLDOMDocument2> outDoc;
  if (!outUnk || FAILED(outUnk->QueryInterface(IidOf<IXMLDOMDocument2>(), outDoc.PutVoid()))) {
    return E_INVALIDARG;
  }
  // The stylesheet compiler takes its document over, so it gets a copy.
  tLastLibError.clear();
  xmlDocPtr styleCopy = xmlCopyDoc(styleHolder->doc, 1);
  if (!styleCopy) return E_OUTOFMEMORY;
  auto compiled = std::make_shared<CompiledStylesheet>();
  compiled->style = xsltParseStylesheetDoc(styleCopy);
  if (!compiled->style) {
    xmlFreeDoc(styleCopy);
    return E_FAIL;
  }
  if (compiled->style->errors > 0) return E_FAIL;
  xsltTransformContextPtr ctxt = xsltNewTransformContext(compiled->style, inHolder->doc);
  if (!ctxt) return E_OUTOFMEMORY;
  xsltSetCtxtSecurityPrefs(TransformSecurity(), ctxt);
  xsltSetTransformErrorFunc(ctxt, nullptr, CaptureGeneric);
  xmlDocPtr result =
      xsltApplyStylesheetUser(compiled->style, inHolder->doc, nullptr, nullptr, nullptr, ctxt);
  const bool failed = !result || ctxt->state == XSLT_STATE_ERROR || ctxt->state == XSLT_STATE_STOPPED;
  xsltFreeTransformContext(ctxt);
  if (failed) {
    if (result) xmlFreeDoc(result);
    return E_FAIL;
  }
  return static_cast<CDomDocument*>(outDoc.Get())->Reset(result, std::move(compiled));
}

HRESULT CreateDomDocument(IXMLDOMDocument** out) {
  return ComObject<CDomDocument>::Create(out);
}

// The server's class table reaches the document class through this.
HRESULT CreateDomDocumentForFactory(REFIID iid, void** ppv) {
  return ComObject<CDomDocument>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
