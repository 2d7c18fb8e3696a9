// Inside the vexaxml server: in-process creation of its classes, the
// generic persistence of the model objects and the error routine they share.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "idl/vexaxml.h"

namespace vexa::model {

// Creation functions of the server's classes, for its class table and for
// owners that make their children in-process (not through the registry).
HRESULT CreateStillsSlideShow1(REFIID iid, void** ppv);
HRESULT CreateStillImage(REFIID iid, void** ppv);
HRESULT CreateAudio(REFIID iid, void** ppv);
HRESULT CreateTitleSlide(REFIID iid, void** ppv);
HRESULT CreateVCDSlideShow(REFIID iid, void** ppv);
HRESULT CreatePDFFile(REFIID iid, void** ppv);
HRESULT CreateHTMLFile(REFIID iid, void** ppv);
HRESULT CreateAlbumInfo(REFIID iid, void** ppv);
HRESULT CreateDiscManifest(REFIID iid, void** ppv);
HRESULT CreateDiscGenerationInfo(REFIID iid, void** ppv);
HRESULT CreateEmbedImage(REFIID iid, void** ppv);
HRESULT CreateSeqOfStillImage(REFIID iid, void** ppv);
HRESULT CreateSeqOfAudio(REFIID iid, void** ppv);
HRESULT CreateSeqOfAlbumInfo(REFIID iid, void** ppv);
HRESULT CreateXMLPropertyBag(REFIID iid, void** ppv);
HRESULT CreateDOMHelper(REFIID iid, void** ppv);
HRESULT CreateDomDocumentForFactory(REFIID iid, void** ppv);
HRESULT CreateSettings(REFIID iid, void** ppv);
HRESULT CreateStillsSlideShow1XML(REFIID iid, void** ppv);
HRESULT CreateMarwickXML(REFIID iid, void** ppv);
HRESULT CreateDiscManifestXML(REFIID iid, void** ppv);
HRESULT CreateEmbedImageXML(REFIID iid, void** ppv);
HRESULT CreateJPEGCOM(REFIID iid, void** ppv);
HRESULT CreateJPGFixer(REFIID iid, void** ppv);

template <typename I>
HRESULT Make(HRESULT (*create)(REFIID, void**), I** out) {
  return create(vexa::com::IidOf<I>(), reinterpret_cast<void**>(out));
}

// Sets the thread's error information (description = text, source = the
// class, interface = iid) and returns hr.
HRESULT ModelError(REFCLSID clsid, REFIID iid, std::string_view text, HRESULT hr);

// A fresh model identifier: 36 lower-case hexadecimal characters in
// 8-4-4-4-12 groups, without braces.
HRESULT NewIdentifier(BSTR* out);

// One row of a persistence table: the element name and the property's
// DISPID, with an optional 32-bit default (a property equal to it is written
// as an empty element). A row with DISPID 0 ends the table.
struct PersistRow {
  const char16_t* name;
  DISPID dispid;
  bool hasDefault = false;
  LONG defaultValue = 0;
};

// Loads or saves an object's properties through IDispatch by the rows of
// its table, in order.
HRESULT PersistLoad(IXMLPropertyBag* bag, std::span<const PersistRow> table, IUnknown* object);
HRESULT PersistSave(IXMLPropertyBag* bag, std::span<const PersistRow> table, IUnknown* object);

// IPersistXMLPropertyBag for a model class T with T::kClassId and
// T::PersistTable().
template <typename T>
class IPersistXMLPropertyBagImpl : public IPersistXMLPropertyBag {
 public:
  HRESULT GetClassID(CLSID* pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = T::kClassId;
    return S_OK;
  }
  HRESULT InitNew() override { return S_OK; }
  HRESULT Load(IXMLPropertyBag* pPropBag) override {
    return PersistLoad(pPropBag, T::PersistTable(), static_cast<IPersistXMLPropertyBag*>(this));
  }
  HRESULT Save(IXMLPropertyBag* pPropBag) override {
    return PersistSave(pPropBag, T::PersistTable(), static_cast<IPersistXMLPropertyBag*>(this));
  }
};

// Copies the file `input` to `output` through the built-in identity
// stylesheet (every node and attribute kept).
HRESULT CopyThroughIdentity(std::u16string_view input, std::u16string_view output);

}  // namespace vexa::model
