// The DOM's transforms: a stylesheet document applied to a document into
// another, under security preferences that keep the stylesheet away from
// files and the network.
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include "model/DomNodes_p.h"

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

HRESULT TransformInto(xmlNodePtr in, const std::shared_ptr<DocHolder>& inHolder, IXMLDOMNode* stylesheet,
                      VARIANT outputObject) {
  PrepareThread();
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
  LastLibError().clear();
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

}  // namespace vexa::model
