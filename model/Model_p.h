// Inside the vexaxml server: in-process creation of its classes, the
// generic persistence of the model objects and the error routine they share.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// One row of a persistence table as a class writes it: the property's
// DISPID, with an optional 32-bit default (a property equal to it is written
// as an empty element). The rows' order is the order of the elements.
struct PersistEntry {
  DISPID dispid;
  bool hasDefault = false;
  LONG defaultValue = 0;
};

// A row with its element name, which is the property's name in the class's
// dispatch table (names are written once, there). A row with DISPID 0 ends
// the table.
struct PersistRow {
  const char16_t* name;
  DISPID dispid;
  bool hasDefault = false;
  LONG defaultValue = 0;
};

// The rows of T::PersistOrder() named from T::DispatchTable(), ended by a
// DISPID 0 row; made once per class.
template <typename T>
std::span<const PersistRow> PersistTableOf() {
  static const std::vector<PersistRow> rows = [] {
    std::vector<PersistRow> out;
    for (const PersistEntry& e : T::PersistOrder()) {
      const char16_t* name = nullptr;
      for (const auto& d : T::DispatchTable()) {
        if (d.dispid == e.dispid) name = d.name;
      }
      out.push_back({name, e.dispid, e.hasDefault, e.defaultValue});
    }
    out.push_back({nullptr, 0});
    return out;
  }();
  return rows;
}

// Loads or saves an object's properties through IDispatch by the rows of
// its table, in order.
HRESULT PersistLoad(IXMLPropertyBag* bag, std::span<const PersistRow> table, IUnknown* object);
HRESULT PersistSave(IXMLPropertyBag* bag, std::span<const PersistRow> table, IUnknown* object);

// IPersistXMLPropertyBag for a model class T with T::kClassId,
// T::PersistOrder() and T::DispatchTable().
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
    return PersistLoad(pPropBag, PersistTableOf<T>(), static_cast<IPersistXMLPropertyBag*>(this));
  }
  HRESULT Save(IXMLPropertyBag* pPropBag) override {
    return PersistSave(pPropBag, PersistTableOf<T>(), static_cast<IPersistXMLPropertyBag*>(this));
  }
};

// Copies the file `input` to `output` through the built-in identity
// stylesheet (every node and attribute kept).
HRESULT CopyThroughIdentity(std::u16string_view input, std::u16string_view output);

}  // namespace vexa::model
