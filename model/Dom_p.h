// The server's DOM over libxml2 and libxslt: documents, elements and other
// nodes as COM objects (idl/vexaxml.h), with the parser and the transformer
// set up for untrusted input.
//
// Node objects are made on demand and hold the tree they point into alive;
// nodes taken out of a tree are kept until the tree goes, so a node object
// never dangles.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "idl/vexaxml.h"

struct _xmlDoc;
struct _xmlNode;
struct _xsltStylesheet;

namespace vexa::model {

// A compiled stylesheet, shared by the documents it produced.
struct CompiledStylesheet {
  _xsltStylesheet* style = nullptr;
  ~CompiledStylesheet();
};

// One libxml2 tree and the nodes detached from it.
struct DocHolder {
  _xmlDoc* doc = nullptr;
  std::unordered_set<_xmlNode*> detached;
  // The stylesheet whose result this tree is: its output method serialises it.
  std::shared_ptr<CompiledStylesheet> outputStyle;
  ~DocHolder();
};

// Reaches the library node behind any DOM object of this server.
struct IDomNodeAccess : IUnknown {
  virtual _xmlNode* LibNode() = 0;
  virtual std::shared_ptr<DocHolder> LibHolder() = 0;

 protected:
  ~IDomNodeAccess() = default;
};

// A new, empty document (version 1.0, no element).
HRESULT CreateDomDocument(IXMLDOMDocument** out);

// The built-in identity stylesheet: copies every node and attribute.
extern const char kIdentityStylesheet[];

// Where text holds a character that an XML document cannot carry (control
// characters other than tab, line feed and carriage return; U+FFFE, U+FFFF;
// a surrogate without its pair): a description such as "U+0001 at
// character 5", or "" when every character can be written.
std::string CharacterXmlCannotCarry(std::u16string_view text);
// Refuses such text: E_INVALIDARG with error information naming the
// character and where it is; S_OK for text XML can carry.
HRESULT CheckXmlText(std::u16string_view text, std::string_view what);

// Trims XML white space at both ends.
std::u16string_view TrimXmlSpace(std::u16string_view s);

}  // namespace vexa::model

namespace vexa::com {
template <>
struct InterfaceId<vexa::model::IDomNodeAccess> {
  static constexpr IID value = Guid("{3B8A9F55-B8AC-4862-8811-1E01C14D41F5}");
};
}  // namespace vexa::com
