// The DOM's nodes: library set-up and error capture, the text and tree
// helpers, and the objects that stand for elements and other nodes.
#include <libxml/xmlerror.h>
#include <libxslt/extensions.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "model/DomNodes_p.h"
#include "platform/base/Text.h"

namespace vexa::model {

// ---- Library set-up and error capture ---------------------------------------------

// The last message the XML libraries reported on this thread. The libraries
// would print to stderr by default; a library of ours never does.
std::string& LastLibError() {
  thread_local std::string text;
  return text;
}

void CaptureGeneric(void*, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  LastLibError() += buf;
  if (LastLibError().size() > 4096) LastLibError().erase(0, LastLibError().size() - 4096);
}

namespace {

void CaptureStructured(void*, xmlErrorPtr error) {
  if (error && error->message) {
    LastLibError() = error->message;
    while (!LastLibError().empty() && LastLibError().back() == '\n') LastLibError().pop_back();
    if (error->line > 0) LastLibError() += " (line " + std::to_string(error->line) + ")";
  }
}
}  // namespace

void PrepareThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    // libxslt makes its global locks on first use without a lock of its
    // own: made here, once, before worker threads transform documents. Its
    // extension lock comes from xsltInitGlobals, which every new stylesheet
    // and transform context calls; two first transforms at once made two.
    xsltInitGlobals();
    xsltInit();
    xsltSetGenericErrorFunc(nullptr, CaptureGeneric);
  });
  thread_local bool prepared = false;
  if (!prepared) {
    xmlSetGenericErrorFunc(nullptr, CaptureGeneric);
    xmlSetStructuredErrorFunc(nullptr, CaptureStructured);
    prepared = true;
  }
}

std::u16string FromXml(const xmlChar* s) {
  return s ? vexa::base::Utf8ToUtf16(reinterpret_cast<const char*>(s)) : std::u16string();
}

HRESULT OutString(const std::u16string& s, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
}  // namespace

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

namespace {

void RedirectNs(xmlNodePtr n, xmlNsPtr from, xmlNsPtr to) {
  if (n->type != XML_ELEMENT_NODE) return;
  if (n->ns == from) n->ns = to;
  for (xmlAttrPtr a = n->properties; a; a = a->next) {
    if (a->ns == from) a->ns = to;
  }
  for (xmlNodePtr c = n->children; c; c = c->next) RedirectNs(c, from, to);
}
}  // namespace

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

bool Access(IUnknown* p, xmlNodePtr* node, std::shared_ptr<DocHolder>* holder) {
  if (!p) return false;
  ComPtr<IDomNodeAccess> a;
  if (FAILED(p->QueryInterface(IidOf<IDomNodeAccess>(), a.PutVoid()))) return false;
  *node = a->LibNode();
  *holder = a->LibHolder();
  return *node != nullptr;
}

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

DocHolder::~DocHolder() {
  for (xmlNodePtr n : detached) {
    if (!n->parent) xmlFreeNode(n);
  }
  if (doc) xmlFreeDoc(doc);
}

std::string CharacterXmlCannotCarry(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    bool bad = (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;  // a pair: one character beyond the first plane
        continue;
      }
      bad = true;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      bad = true;
    }
    if (bad) {
      char buf[48];
      std::snprintf(buf, sizeof buf, "U+%04X at character %zu", static_cast<unsigned>(c), i + 1);
      return buf;
    }
  }
  return "";
}

HRESULT CheckXmlText(std::u16string_view text, std::string_view what) {
  const std::string bad = CharacterXmlCannotCarry(text);
  if (bad.empty()) return S_OK;
  return ReportError(CLSID_DOMDocument30, std::string(what) + " holds " + bad + ", which XML cannot carry",
                     IID_IXMLDOMDocument, E_INVALIDARG);
}

std::u16string_view TrimXmlSpace(std::u16string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace vexa::model
