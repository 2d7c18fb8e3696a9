// The DOM helper and the DOM under it: matching by local name and
// namespace, text rules, the document set-up, untrusted input, transforms.
#include <algorithm>
#include <cstring>
#include <vector>

#include "model/Dom_p.h"
#include "model/Model_p.h"
#include "model/tests/ModelTestUtil.h"

namespace vexa::model::test {
namespace {

constexpr char kNs[] = "http://schemas.vexa.example/go/di-cv-vexa-1-6";

class DomTest : public ModelTest {
 protected:
  ComPtr<IXMLDOMElement> Child(IXMLDOMElement* parent, const char16_t* name, const char* ns) {
    ComPtr<IXMLDOMElement> e;
    Bstr n(name);
    Bstr u = ns ? Bstr::FromUtf8(ns) : Bstr();
    last_ = helper_->getElement(parent, n.Get(), u.Get(), e.Put());
    return e;
  }
  HRESULT last_ = S_OK;
};

TEST_F(DomTest, GetElementMatchesLocalNameAndNamespaceExactly) {
  auto doc = Parse(std::string("<r xmlns='") + kNs +
                   "' xmlns:o='urn:other'><o:item>other</o:item><Item>case</Item>"
                   "<p:item xmlns:p='" + kNs + "'>mine</p:item></r>");
  auto root = Root(doc.Get());
  struct Case {
    const char16_t* name;
    const char* ns;
    const char* text;  // null: not found
  } cases[] = {
      {u"item", kNs, "mine"},         // a prefix does not matter, the namespace does
      {u"item", "urn:other", "other"},
      {u"ITEM", kNs, nullptr},        // case-sensitive
      {u"Item", kNs, "case"},
      {u"item", nullptr, nullptr},    // absent namespace matches only absent
      {u"missing", kNs, nullptr},
  };
  for (const auto& c : cases) {
    TakeError();
    auto e = Child(root.Get(), c.name, c.ns);
    if (!c.text) {
      EXPECT_EQ(last_, E_FAIL) << vexa::base::Utf16ToUtf8(c.name);
      EXPECT_EQ(LastError(), "<none>");  // no message
      continue;
    }
    ASSERT_EQ(last_, S_OK) << vexa::base::Utf16ToUtf8(c.name);
    Bstr text;
    e->get_text(text.Out());
    EXPECT_EQ(text.Utf8(), c.text);
  }
}

TEST_F(DomTest, ElementChildrenCountFromOneAndSkipOtherNodes) {
  auto doc = Parse("<r><!-- note --><?pi x?>text<a/><b/></r>");
  auto root = Root(doc.Get());
  struct Case {
    LONG index;
    const char* name;
  } cases[] = {{0, nullptr}, {-1, nullptr}, {1, "a"}, {2, "b"}, {3, nullptr}};
  for (const auto& c : cases) {
    ComPtr<IXMLDOMElement> e;
    const HRESULT hr = helper_->getElementByIndex(root.Get(), c.index, e.Put());
    if (!c.name) {
      EXPECT_EQ(hr, E_FAIL) << c.index;
      continue;
    }
    ASSERT_EQ(hr, S_OK);
    Bstr name;
    e->get_baseName(name.Out());
    EXPECT_EQ(name.Utf8(), c.name);
  }
}

TEST_F(DomTest, TextRules) {
  auto doc = Parse(
      "<r><a><x/>second</a><b><x/></b><c>42abc</c><d>abc</d><e> -17 </e>"
      "<f>one <i>two</i> three</f><g>\n  <x/>late</g></r>");
  auto root = Root(doc.Get());

  // getTextContent: the first text child, even after an element; none
  // leaves the out-parameter as it came.
  Bstr text;
  ASSERT_EQ(helper_->getTextContent(Child(root.Get(), u"a", nullptr).Get(), text.Out()), S_OK);
  EXPECT_EQ(text.Utf8(), "second");
  Bstr none;
  ASSERT_EQ(helper_->getTextContent(Child(root.Get(), u"b", nullptr).Get(), none.Out()), S_OK);
  EXPECT_TRUE(none.IsNull());
  // White space between elements is not the element's text.
  ASSERT_EQ(helper_->getTextContent(Child(root.Get(), u"g", nullptr).Get(), text.Out()), S_OK);
  EXPECT_EQ(text.Utf8(), "late");

  // getLongContent: leading digits.
  struct {
    const char16_t* element;
    LONG value;
  } longs[] = {{u"c", 42}, {u"d", 0}, {u"e", -17}};
  for (const auto& c : longs) {
    LONG v = 99;
    ASSERT_EQ(helper_->getLongContent(Child(root.Get(), c.element, nullptr).Get(), &v), S_OK);
    EXPECT_EQ(v, c.value);
  }

  // The text property: the whole subtree's text, trimmed.
  Bstr all;
  Child(root.Get(), u"f", nullptr)->get_text(all.Out());
  EXPECT_EQ(all.Utf8(), "one two three");

  // hasText: an element before any text is refused.
  VARIANT_BOOL has = VARIANT_TRUE;
  TakeError();
  EXPECT_EQ(helper_->hasText(Child(root.Get(), u"a", nullptr).Get(), &has), E_FAIL);
  EXPECT_EQ(LastError(), "should only have text");
  EXPECT_EQ(has, VARIANT_FALSE);
  ASSERT_EQ(helper_->hasText(Child(root.Get(), u"c", nullptr).Get(), &has), S_OK);
  EXPECT_EQ(has, VARIANT_TRUE);
}

TEST_F(DomTest, AddedContent) {
  ComPtr<IXMLDOMDocument> doc;
  auto top = NewTop(u"Top", &doc);
  ComPtr<IXMLDOMElement> a;
  Bstr name(u"a"), ns(kVexaXmlNamespace), empty(u"");
  ASSERT_EQ(helper_->addElement(top.Get(), name.Get(), ns.Get(), a.Put()), S_OK);
  ASSERT_EQ(helper_->addTextContent(a.Get(), empty.Get()), S_OK);
  ASSERT_EQ(helper_->addTextContent(a.Get(), nullptr), S_OK);
  VARIANT_BOOL has = VARIANT_TRUE;
  EXPECT_EQ(a->hasChildNodes(&has), S_OK);
  EXPECT_EQ(has, VARIANT_FALSE);  // an empty text adds no node
  ASSERT_EQ(helper_->addLongContent(a.Get(), -12), S_OK);
  ASSERT_EQ(helper_->addLongContent(a.Get(), 34), S_OK);
  // Two text nodes side by side stay two nodes.
  ComPtr<IXMLDOMNodeList> children;
  ASSERT_EQ(a->get_childNodes(children.Put()), S_OK);
  LONG n = 0;
  children->get_length(&n);
  EXPECT_EQ(n, 2);
  // The child inherits the default namespace without a declaration of its own.
  EXPECT_EQ(Xml(top.Get()), std::string("<Top xmlns=\"") + kNs + "\"><a>-1234</a></Top>");
}

// The helper late-bound: every member by name at its DISPID, a document
// built and read back through Invoke, out values as the result or through a
// by-reference last argument.
TEST_F(DomTest, LateBoundCalls) {
  ComPtr<IDispatch> d;
  ASSERT_EQ(helper_.As(&d), S_OK);
  const char16_t* names[] = {u"addElement",     u"addLongContent",  u"addDocumentElement",
                             u"getDocumentElement", u"getElement", u"createDocument",
                             u"getLongContent", u"addTextContent",  u"getTextContent",
                             u"getElementByIndex", u"hasText",     u"transform"};
  for (DISPID i = 1; i <= 12; ++i) {
    std::u16string n(names[i - 1]);
    LPOLESTR one[] = {n.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, one, 1, 0, &id), S_OK);
    EXPECT_EQ(id, i);
  }
  // Arguments are given first to last here and reversed for Invoke.
  auto call = [&](DISPID id, std::vector<Variant> args, Variant* result = nullptr) {
    std::reverse(args.begin(), args.end());
    DISPPARAMS p{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    Variant scratch;
    return d->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &p, result ? result->Out() : scratch.Out(),
                     nullptr, nullptr);
  };
  // Node objects are made on demand: compare what they are, not pointers.
  auto name = [](const Variant& v) {
    ComPtr<IXMLDOMNode> node;
    Bstr n;
    if (v.vt == VT_DISPATCH && v.pdispVal &&
        SUCCEEDED(v.pdispVal->QueryInterface(IID_IXMLDOMNode, node.PutVoid()))) {
      node->get_baseName(n.Out());
    }
    return n.Utf8();
  };
  const Variant ns = Variant::Utf8(kNs);
  Variant doc, top, child, value;
  ASSERT_EQ(call(6, {}, &doc), S_OK);
  ASSERT_EQ(doc.vt, VT_DISPATCH);
  ASSERT_EQ(call(3, {doc, Variant::String(u"Top"), ns}, &top), S_OK);
  Variant ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &child;
  ASSERT_EQ(call(1, {top, Variant::String(u"n"), ns, ref}), S_OK);
  ASSERT_EQ(child.vt, VT_DISPATCH);
  ASSERT_EQ(call(2, {child, Variant::String(u"42")}), S_OK);  // numbers may come as text
  ASSERT_EQ(call(7, {child}, &value), S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(value.lVal, 42);
  ASSERT_EQ(call(11, {child}, &value), S_OK);
  EXPECT_EQ(value.boolVal, VARIANT_TRUE);
  Variant text;
  ASSERT_EQ(call(1, {top, Variant::String(u"t"), ns}, &text), S_OK);
  ASSERT_EQ(call(8, {text, Variant::String(u"words")}), S_OK);
  ASSERT_EQ(call(9, {text}, &value), S_OK);
  EXPECT_EQ(BstrToUtf8(value.bstrVal), "words");
  ASSERT_EQ(call(10, {top, Variant::I4(2)}, &value), S_OK);
  EXPECT_EQ(name(value), "t");
  ASSERT_EQ(call(5, {top, Variant::String(u"n"), ns}, &value), S_OK);
  EXPECT_EQ(name(value), "n");
  ASSERT_EQ(call(4, {doc}, &value), S_OK);
  EXPECT_EQ(name(value), "Top");
  ComPtr<IXMLDOMNode> topNode;
  ASSERT_EQ(top.pdispVal->QueryInterface(IID_IXMLDOMNode, topNode.PutVoid()), S_OK);
  EXPECT_EQ(Xml(topNode.Get()),
            std::string("<Top xmlns=\"") + kNs + "\"><n>42</n><t>words</t></Top>");
  // Failures and bad calls.
  TakeError();
  EXPECT_EQ(call(5, {top, Variant::String(u"N"), ns}, &value), E_FAIL);
  EXPECT_EQ(LastError(), "<none>");
  EXPECT_EQ(call(1, {top, Variant::String(u"x")}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(2, {Variant::String(u"not an element"), Variant::I4(1)}), DISP_E_TYPEMISMATCH);
}

TEST_F(DomTest, NewDocumentHasOneDeclarationAndTheSelectionPrefix) {
  ComPtr<IXMLDOMDocument> doc;
  auto top = NewTop(u"AlbumManifest", &doc);
  Bstr name(u"stillDelay"), ns(kVexaXmlNamespace);
  ComPtr<IXMLDOMElement> e;
  ASSERT_EQ(helper_->addElement(top.Get(), name.Get(), ns.Get(), e.Put()), S_OK);
  ASSERT_EQ(helper_->addLongContent(e.Get(), 5000), S_OK);

  ComPtr<IXMLDOMNode> found;
  Bstr query(u"/vexa:AlbumManifest/vexa:stillDelay");
  ASSERT_EQ(doc->selectSingleNode(query.Get(), found.Put()), S_OK);
  Bstr text;
  found->get_text(text.Out());
  EXPECT_EQ(text.Utf8(), "5000");

  const std::string path = Path("new.xml");
  ASSERT_EQ(doc->save(Variant::Utf8(path)), S_OK);
  std::string saved;
  ASSERT_TRUE(vexa::base::ReadFile(path, &saved));
  EXPECT_EQ(saved.rfind("<?xml version=\"1.0\"", 0), 0u) << saved;
  EXPECT_EQ(saved.find("<?xml", 1), std::string::npos) << saved;
}

TEST_F(DomTest, LoadsFromBytesAndRejectsBrokenInput) {
  const std::string xml = "<r><a>1</a></r>";
  SafeArray bytes(VT_UI1, static_cast<ULONG>(xml.size()));
  void* data = nullptr;
  SafeArrayAccessData(bytes.Get(), &data);
  std::memcpy(data, xml.data(), xml.size());
  SafeArrayUnaccessData(bytes.Get());
  Variant source;
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = bytes.Detach();

  ComPtr<IXMLDOMDocument> doc;
  ASSERT_EQ(helper_->createDocument(doc.Put()), S_OK);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(doc->load(source, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(Xml(Root(doc.Get()).Get()), xml);

  struct {
    const char* name;
    const char* content;  // null: no such file
  } bad[] = {
      {"missing.xml", nullptr},
      {"truncated.xml", "<r><a>1</a>"},
      {"garbage.xml", "\x89PNG\r\n\x1a\n\x01\x02"},
      {"empty.xml", ""},
      {"two-roots.xml", "<a/><b/>"},
  };
  for (const auto& c : bad) {
    const std::string path = Path(c.name);
    if (c.content) vexa::base::WriteFileAtomic(path, c.content);
    ok = VARIANT_TRUE;
    EXPECT_EQ(doc->load(Variant::Utf8(path), &ok), S_FALSE) << c.name;
    EXPECT_EQ(ok, VARIANT_FALSE) << c.name;
    ComPtr<IXMLDOMElement> root;
    EXPECT_EQ(doc->get_documentElement(root.Put()), S_FALSE) << c.name;
    Bstr reason;
    doc->get_parseErrorReason(reason.Out());
    EXPECT_FALSE(reason.Utf8().empty()) << c.name;
  }
}

// Album files and records from photos come from outside: a load never reads
// an external DTD or entity, never expands entities, never uses the network.
TEST_F(DomTest, UntrustedInputLoadsWithoutFetchingOrExpanding) {
  const std::string secret = Path("secret.txt");
  vexa::base::WriteFileAtomic(secret, "SECRET-CONTENT");
  const std::string dtd = Path("outside.dtd");
  vexa::base::WriteFileAtomic(dtd, "<!ENTITY fromdtd \"DTD-CONTENT\">");
  const std::string cases[] = {
      // External parsed entity pointing at a local file.
      "<!DOCTYPE r [<!ENTITY ext SYSTEM \"file://" + secret + "\">]><r><title>&ext;</title></r>",
      // External DTD that would define the entity.
      "<!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r><title>&fromdtd;</title></r>",
      // Network references.
      "<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/x.dtd\"><r><title>net</title></r>",
      "<!DOCTYPE r [<!ENTITY n SYSTEM \"http://127.0.0.1:9/n\">]><r><title>&n;</title></r>",
      // Exponential entity nesting.
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]><r><title>&e;&e;&e;</title></r>",
  };
  int refused = 0;
  for (const std::string& xml : cases) {
    const std::string path = Path("untrusted.xml");
    vexa::base::WriteFileAtomic(path, xml);
    ComPtr<IXMLDOMDocument> doc;
    ASSERT_EQ(helper_->createDocument(doc.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc->load(Variant::Utf8(path), &ok);
    if (!ok) {  // refusing the document is as good
      ++refused;
      continue;
    }
    auto title = Child(Root(doc.Get()).Get(), u"title", nullptr);
    ASSERT_TRUE(title) << xml;
    Bstr text;
    title->get_text(text.Out());
    EXPECT_EQ(text.Utf8().find("SECRET"), std::string::npos) << xml;
    EXPECT_EQ(text.Utf8().find("DTD-CONTENT"), std::string::npos) << xml;
    EXPECT_LT(text.Length(), 100u) << xml;
    EXPECT_EQ(Xml(Root(doc.Get()).Get()).find("SECRET"), std::string::npos) << xml;
  }
  // The references are left unexpanded, not turned into load failures; only
  // the exponential nesting may be refused outright.
  EXPECT_LE(refused, 1);
}

// The parser, the tree builder and the transformer take time in the square
// of an element's attributes: an element beyond the bound is refused before
// the parser sees it, whatever the document's encoding, and so are
// attribute defaults and entities of a document type that would put as
// many on elements. What is not an attribute does not count.
TEST_F(DomTest, ElementsWithMoreAttributesThanTheBoundAreRefused) {
  const auto attributes = [](int n, const char* quote = "\"") {
    std::string s;
    for (int i = 0; i < n; ++i) s += " a" + std::to_string(i) + "=" + quote + "x=y" + quote;
    return s;
  };
  const auto utf16 = [](const std::string& ascii) {
    std::string s("\xFF\xFE", 2);
    for (char c : ascii) s += std::string{c, '\0'};
    return s;
  };
  std::string defaults = "<!ATTLIST a";
  for (int i = 0; i < 300; ++i) defaults += " d" + std::to_string(i) + " CDATA '1'";
  defaults += ">";
  // '=' in the entity's text as a character reference: the parser reads it
  // as an attribute all the same.
  std::string crowdedTag = "<x";
  for (int i = 0; i < 300; ++i) crowdedTag += " a" + std::to_string(i) + "&#61;'1'";
  crowdedTag += "/>";
  const struct {
    const char* what;
    std::string bytes;
    const char* reason;  // null: loads
  } cases[] = {
      {"5000 on one element", "<?xml version='1.0'?>\n<r" + attributes(5000) + "/>",
       "an element carries more than 256 attributes (line 2)"},
      {"in UTF-16", utf16("<?xml version='1.0' encoding='UTF-16'?>\n\n<r><e" + attributes(300) + "/></r>"),
       "an element carries more than 256 attributes (line 3)"},
      {"in Latin-1", "<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9<e" + attributes(300, "'") + "/></r>",
       "an element carries more than 256 attributes (line 1)"},
      {"namespace declarations count", "<r" + attributes(200) + [] {
         std::string s;
         for (int i = 0; i < 100; ++i) s += " xmlns:p" + std::to_string(i) + "='urn:p" + std::to_string(i) + "'";
         return s;
       }() + "/>",
       "an element carries more than 256 attributes (line 1)"},
      {"defaults of the document type", "<!DOCTYPE r [" + defaults + "]><r><a/><a/></r>",
       "the document type declares more than 256 attribute defaults"},
      {"a tag in an entity", "<!DOCTYPE r [<!ENTITY e \"" + crowdedTag + "\">]><r>&e;</r>",
       "in the entity e, an element carries more than 256 attributes (line 1)"},
      {"256 is the bound", "<r" + attributes(256) + "/>", nullptr},
      {"what is no attribute",
       "<?xml version='1.0'?><!DOCTYPE r [<!-- a=1 '> --><!ENTITY t 'a=b'>]><r" + attributes(250) +
           "><!--" + attributes(300) + "--><![CDATA[<c" + attributes(300) + ">]]><?pi" + attributes(300) +
           "?><e" + attributes(256) + "/>&t;</r>",
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Path("attributes.xml");
    ASSERT_TRUE(vexa::base::WriteFileAtomic(path, c.bytes));
    ComPtr<IXMLDOMDocument> doc;
    ASSERT_EQ(helper_->createDocument(doc.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = doc->load(Variant::Utf8(path), &ok);
    Bstr reason;
    doc->get_parseErrorReason(reason.Out());
    if (!c.reason) {
      EXPECT_EQ(hr, S_OK) << reason.Utf8();
      EXPECT_EQ(ok, VARIANT_TRUE);
      continue;
    }
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(reason.Utf8(), path + ": " + c.reason);
    ComPtr<IXMLDOMElement> root;
    EXPECT_EQ(doc->get_documentElement(root.Put()), S_FALSE);
  }
  // Text given to loadXML is bounded alike.
  ComPtr<IXMLDOMDocument> doc;
  ASSERT_EQ(helper_->createDocument(doc.Put()), S_OK);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(doc->loadXML(Bstr::FromUtf8("<r" + attributes(257) + "/>").Get(), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
}

// The built-in identity copies every node, attributes and white space
// included; the canonical forms of input and output are equal.
TEST_F(DomTest, IdentityCopyKeepsEveryNode) {
  const std::string in = Path("in.xml");
  const std::string out = Path("out.xml");
  const std::string xml =
      "<?xml version=\"1.0\"?>\n"
      "<a:r xmlns:a=\"urn:a\" xmlns=\"urn:d\" id=\"1\" a:k=\"v\">\n"
      "  <!-- comment -->\n  <?pi data?>\n"
      "  <child attr=\"x &amp; y\">text &lt;escaped&gt;</child>\n   \n"
      "  <empty/>\n</a:r>\n";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(in, xml));
  ASSERT_EQ(CopyThroughIdentity(vexa::base::Utf8ToUtf16(in), vexa::base::Utf8ToUtf16(out)), S_OK);
  std::string copied;
  ASSERT_TRUE(vexa::base::ReadFile(out, &copied));
  EXPECT_NE(copied.find("id=\"1\""), std::string::npos) << copied;
  EXPECT_NE(copied.find("a:k=\"v\""), std::string::npos) << copied;
  EXPECT_NE(copied.find("attr=\"x &amp; y\""), std::string::npos) << copied;

  VEXA_NEED_CHECKER("xmllint");
  std::string c14nIn, c14nOut;
  ASSERT_EQ(Shell("xmllint --c14n " + in, &c14nIn), 0) << c14nIn;
  ASSERT_EQ(Shell("xmllint --c14n " + out, &c14nOut), 0) << c14nOut;
  EXPECT_EQ(c14nIn, c14nOut);

  TakeError();
  EXPECT_EQ(CopyThroughIdentity(vexa::base::Utf8ToUtf16(Path("nope.xml")),
                                vexa::base::Utf8ToUtf16(out)),
            E_FAIL);
  EXPECT_EQ(LastError(), "load failed");
}

// A stylesheet may neither write nor read files nor reach the network.
TEST_F(DomTest, TransformsCannotTouchFilesOrNetwork) {
  vexa::base::WriteFileAtomic(Path("other.xml"), "<other>READ-CONTENT</other>");
  const std::string written = Path("written.txt");
  const std::string sheets[] = {
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
      " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
      "<xsl:template match='/'><exsl:document href='" + written + "'><x/></exsl:document>"
      "<out/></xsl:template></xsl:stylesheet>",
      "<xsl:stylesheet version='1.1' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:document href='" + written + "'><x/></xsl:document>"
      "<out/></xsl:template></xsl:stylesheet>",
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><out><xsl:value-of select=\"document('file://" +
          Path("other.xml") + "')\"/></out></xsl:template></xsl:stylesheet>",
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><out><xsl:value-of select=\"document('http://127.0.0.1:9/x')\"/>"
      "</out></xsl:template></xsl:stylesheet>",
  };
  for (const std::string& sheet : sheets) {
    auto in = Parse("<r/>");
    auto xsl = Parse(sheet);
    ComPtr<IXMLDOMDocument> out;
    ASSERT_EQ(helper_->createDocument(out.Put()), S_OK);
    const HRESULT hr = helper_->transform(in.Get(), xsl.Get(), out.Get());
    EXPECT_EQ(hr, E_FAIL) << sheet << "\n" << Xml(out.Get());
    EXPECT_EQ(LastError(), "transformNode failed");
    EXPECT_EQ(Xml(out.Get()).find("READ-CONTENT"), std::string::npos) << sheet;
    EXPECT_FALSE(vexa::base::FileExists(written)) << sheet;
  }
}

TEST_F(DomTest, TransformResultSavesThroughTheOutputMethod) {
  auto in = Parse("<r><v>a</v><v>b</v></r>");
  auto xsl = Parse(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='text'/>"
      "<xsl:template match='/'><xsl:for-each select='r/v'><xsl:value-of select='.'/>;"
      "</xsl:for-each></xsl:template></xsl:stylesheet>");
  ComPtr<IXMLDOMDocument> out;
  ASSERT_EQ(helper_->createDocument(out.Put()), S_OK);
  ASSERT_EQ(helper_->transform(in.Get(), xsl.Get(), out.Get()), S_OK);
  const std::string path = Path("out.txt");
  ASSERT_EQ(out->save(Variant::Utf8(path)), S_OK);
  std::string text;
  vexa::base::ReadFile(path, &text);
  EXPECT_EQ(text, "a;b;");

  // A broken stylesheet fails with the helper's message.
  auto broken = Parse("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                      "<xsl:template match='/'><xsl:value-of select='((('/></xsl:template></xsl:stylesheet>");
  TakeError();
  EXPECT_EQ(helper_->transform(in.Get(), broken.Get(), out.Get()), E_FAIL);
  EXPECT_EQ(LastError(), "transformNode failed");
}

}  // namespace
}  // namespace vexa::model::test
