// The DOM's documents: parsing, serialising and the factory methods of
// new nodes.
#include <libxslt/xsltutils.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "model/DomNodes_p.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::model {

HRESULT CDomDocument::Reset(xmlDocPtr doc, std::shared_ptr<CompiledStylesheet> style) {
  if (!doc) doc = xmlNewDoc(X("1.0"));
  if (!doc) return E_OUTOFMEMORY;
  auto h = std::make_shared<DocHolder>();
  h->doc = doc;
  h->outputStyle = std::move(style);
  holder_ = std::move(h);
  return S_OK;
}

HRESULT CDomDocument::AppendToDocument(xmlNodePtr child) {
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

HRESULT CDomDocument::get_documentElement(IXMLDOMElement** element) {
  return WrapAs(this, holder_, xmlDocGetRootElement(holder_->doc), element);
}

HRESULT CDomDocument::putref_documentElement(IXMLDOMElement* element) {
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

HRESULT CDomDocument::createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) {
  if (!node) return E_POINTER;
  *node = nullptr;
  Variant t;
  if (FAILED(VariantChangeType(&t, &type, 0, VT_I4))) return E_INVALIDARG;
  switch (t.lVal) {
    case NODE_ELEMENT: return NewElement(ToUtf8(name), ToUtf8(namespaceURI), node);
    case NODE_TEXT: return createTextNode(name, node);
    case NODE_COMMENT: {
      if (HRESULT hr = CheckXmlText(BstrView(name), "the comment"); FAILED(hr)) return hr;
      xmlNodePtr c = xmlNewDocComment(holder_->doc, X(ToUtf8(name)));
      return Adopt(c, node);
    }
    default: return E_INVALIDARG;
  }
}

HRESULT CDomDocument::createElement(BSTR tagName, IXMLDOMElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  ComPtr<IXMLDOMNode> n;
  HRESULT hr = NewElement(ToUtf8(tagName), std::string(), n.Put());
  if (FAILED(hr)) return hr;
  return n->QueryInterface(IidOf<IXMLDOMElement>(), reinterpret_cast<void**>(element));
}

HRESULT CDomDocument::createTextNode(BSTR data, IXMLDOMNode** node) {
  if (!node) return E_POINTER;
  *node = nullptr;
  if (HRESULT hr = CheckXmlText(BstrView(data), "the text"); FAILED(hr)) return hr;
  return Adopt(xmlNewDocText(holder_->doc, X(ToUtf8(data))), node);
}

HRESULT CDomDocument::createProcessingInstruction(BSTR target, BSTR data, IXMLDOMNode** node) {
  if (!node) return E_POINTER;
  *node = nullptr;
  const std::string t = ToUtf8(target);
  if (t.empty() || xmlValidateNCName(X(t), 0) != 0) return E_INVALIDARG;
  if (HRESULT hr = CheckXmlText(BstrView(data), "the processing instruction"); FAILED(hr)) return hr;
  return Adopt(xmlNewDocPI(holder_->doc, X(t), X(ToUtf8(data))), node);
}

HRESULT CDomDocument::load(VARIANT source, VARIANT_BOOL* success) {
  if (success) *success = VARIANT_FALSE;
  std::string bytes;
  std::string url;
  VARIANT view = source;
  if (view.vt == (VT_BYREF | VT_VARIANT) && view.pvarVal) view = *view.pvarVal;
  if (view.vt == VT_BSTR) {
    std::string path = BstrToUtf8(view.bstrVal);
    if (path.rfind("file://", 0) == 0) path = path.substr(7);
    url = path;
    // Only a regular file is read: a pipe or a device could hold the load
    // for ever.
    struct stat st {};
    std::string why;
    if (::stat(path.c_str(), &st) != 0) {
      why = path + ": " + std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
      why = path + ": a folder, not a document";
    } else if (!S_ISREG(st.st_mode)) {
      why = path + ": not a regular file";
    } else if (!vexa::base::ReadFile(path, &bytes, &why) && why.empty()) {
      why = path + ": cannot be read";
    }
    if (!why.empty()) {
      Reset(nullptr, nullptr);
      parseError_ = why;
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

HRESULT CDomDocument::loadXML(BSTR xml, VARIANT_BOOL* success) {
  if (success) *success = VARIANT_FALSE;
  return Parse(BstrToUtf8(xml), std::string(), success, /*ignoreDeclaredEncoding=*/true);
}

HRESULT CDomDocument::get_parseErrorReason(BSTR* reason) {
  return OutString(vexa::base::Utf8ToUtf16(parseError_), reason);
}

HRESULT CDomDocument::save(VARIANT destination) {
  PrepareThread();
  if (destination.vt != VT_BSTR || !destination.bstrVal) return E_INVALIDARG;
  const std::string path = BstrToUtf8(destination.bstrVal);
  if (path.empty()) return E_INVALIDARG;
  std::string text;
  HRESULT hr = Serialise(&text);
  if (FAILED(hr)) return hr;
  std::string why;
  if (vexa::base::WriteFileAtomic(path, text, &why)) return S_OK;
  // A folder that is not there is no matter of permission.
  const std::string folder = vexa::base::DirName(path);
  hr = !folder.empty() && !vexa::base::DirExists(folder) ? STG_E_PATHNOTFOUND : E_ACCESSDENIED;
  return ReportError(CLSID_DOMDocument30, why.empty() ? path + ": cannot be written" : why, IID_IXMLDOMDocument, hr);
}

HRESULT CDomDocument::setProperty(BSTR name, VARIANT value) {
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

HRESULT CDomDocument::getProperty(BSTR name, VARIANT* value) {
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
HRESULT CDomDocument::Serialise(std::string* out) {
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

HRESULT CDomDocument::Parse(const std::string& bytes, const std::string& url, VARIANT_BOOL* success,
              bool ignoreDeclaredEncoding) {
  PrepareThread();
  parseError_.clear();
  LastLibError().clear();
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
    Reset(nullptr, nullptr);
    parseError_ = "document too large";
    return S_FALSE;
  }
  // An element with more attributes than the libraries read in linear
  // time is refused before they see it (kMaxAttributes).
  std::string breach = DocumentTooManyAttributes(bytes, ignoreDeclaredEncoding);
  if (!breach.empty()) {
    Reset(nullptr, nullptr);
    parseError_ = url.empty() ? breach : url + ": " + breach;
    return S_FALSE;
  }
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) return E_OUTOFMEMORY;
  xmlDocPtr doc = ReadWithAttributeBounds(ctxt, bytes, url.empty() ? nullptr : url.c_str(),
                                          ignoreDeclaredEncoding ? "UTF-8" : nullptr, &breach);
  if (!breach.empty()) {
    xmlFreeParserCtxt(ctxt);
    Reset(nullptr, nullptr);
    parseError_ = url.empty() ? breach : url + ": " + breach;
    return S_FALSE;
  }
  if (doc && (!ctxt->wellFormed || !xmlDocGetRootElement(doc))) {
    xmlFreeDoc(doc);
    doc = nullptr;
    if (LastLibError().empty()) LastLibError() = "the document has no element";
  }
  if (!doc) {
    xmlErrorPtr e = xmlCtxtGetLastError(ctxt);
    parseError_ = e && e->message ? e->message : LastLibError();
    while (!parseError_.empty() && parseError_.back() == '\n') parseError_.pop_back();
    const std::string line = e && e->line > 0 ? "line " + std::to_string(e->line) : "";
    if (!line.empty() && parseError_.find(line) == std::string::npos) parseError_ += " (" + line + ")";
    if (parseError_.empty()) parseError_ = "not well-formed";
    // A reason that names its file.
    if (!url.empty()) parseError_ = url + ": " + parseError_;
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

HRESULT CDomDocument::NewElement(const std::string& qname, const std::string& uri, IXMLDOMNode** node) {
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
HRESULT CDomDocument::Adopt(xmlNodePtr n, IXMLDOMNode** out) {
  if (!n) return E_OUTOFMEMORY;
  holder_->detached.insert(n);
  return WrapNode(this, holder_, n, out);
}

HRESULT CreateDomDocument(IXMLDOMDocument** out) {
  return ComObject<CDomDocument>::Create(out);
}

// The server's class table reaches the document class through this.
HRESULT CreateDomDocumentForFactory(REFIID iid, void** ppv) {
  return ComObject<CDomDocument>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
