// Shared set-up of the model's tests: an apartment, a private registry
// layer, a scratch folder, and small helpers around documents and bags.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "idl/vexaxml.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "tests/support/Checkers.h"

namespace vexa::model::test {

using namespace vexa::com;

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir("", "vexa-model-");
    ASSERT_FALSE(dir_.empty());
    setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DOMHelper, nullptr, CLSCTX_ALL, IID_IDOMHelper,
                               helper_.PutVoid()),
              S_OK);
  }
  void TearDown() override {
    helper_.Reset();
    TakeError();
    CoUninitialize();
    vexa::base::RemoveAll(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  template <typename I>
  ComPtr<I> Create(REFCLSID clsid) {
    ComPtr<I> p;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IidOf<I>(), p.PutVoid()), S_OK);
    return p;
  }

  // A document from createDocument with a document element in the model's
  // namespace.
  ComPtr<IXMLDOMElement> NewTop(const char16_t* name, ComPtr<IXMLDOMDocument>* docOut = nullptr) {
    ComPtr<IXMLDOMDocument> doc;
    EXPECT_EQ(helper_->createDocument(doc.Put()), S_OK);
    ComPtr<IXMLDOMElement> top;
    Bstr n(name), ns(kVexaXmlNamespace);
    EXPECT_EQ(helper_->addDocumentElement(doc.Get(), n.Get(), ns.Get(), top.Put()), S_OK);
    if (docOut) *docOut = doc;
    return top;
  }

  ComPtr<IXMLPropertyBag> BagOn(IXMLDOMElement* element) {
    ComPtr<IXMLPropertyBag> bag = Create<IXMLPropertyBag>(CLSID_XMLPropertyBag);
    bag->init(element);
    return bag;
  }

  // Parses text into a new document; expects success.
  ComPtr<IXMLDOMDocument> Parse(std::string_view xml) {
    ComPtr<IXMLDOMDocument> doc;
    EXPECT_EQ(helper_->createDocument(doc.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    Bstr text = Bstr::FromUtf8(xml);
    EXPECT_EQ(doc->loadXML(text.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    return doc;
  }

  ComPtr<IXMLDOMElement> Root(IXMLDOMDocument* doc) {
    ComPtr<IXMLDOMElement> e;
    EXPECT_EQ(doc->get_documentElement(e.Put()), S_OK);
    return e;
  }

  // The serialised node.
  static std::string Xml(IXMLDOMNode* node) {
    Bstr s;
    node->get_xml(s.Out());
    return s.Utf8();
  }

  // The error text the last failing call left, and clears it.
  static std::string LastError() {
    ErrorText e = TakeError();
    return e.present ? e.Utf8Description() : std::string("<none>");
  }

  std::string dir_;
  ComPtr<IDOMHelper> helper_;
};

// Checker programs run through the shell (exit status, joined output).
using ::vexa::testsupport::Shell;

// A missing checker skips the test, or fails it under VEXA_REQUIRE_CHECKERS=1.
#define VEXA_NEED_CHECKER(program)                                                     \
  do {                                                                                 \
    if (!::vexa::testsupport::HaveProgram(program)) {                                  \
      if (::vexa::testsupport::CheckersRequired()) FAIL() << program << " is required"; \
      GTEST_SKIP() << program << " not installed";                                     \
    }                                                                                  \
  } while (0)

}  // namespace vexa::model::test
