// The three ordered collections of the model: stills, audio tracks and the
// albums of a disc. Positions count from 1.
#include <exception>
#include <vector>

#include "model/Model_p.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

// What differs between the three collections.
struct StillTraits {
  using Item = IStillImage;
  using Itf = ISeqOfStillImage;
  static constexpr HRESULT (*kCreate)(REFIID, void**) = CreateStillImage;
  // This collection reports the null class identifier.
  static constexpr const CLSID& kReportedClassId = GUID_NULL;
  static constexpr const CLSID& kClassId = CLSID_SeqOfStillImage;
  static constexpr char16_t kElement[] = u"StillImage";
  static constexpr char16_t kAddMethod[] = u"AddStillImage";
  static constexpr char kAddFailed[] = "couldn't add StillImage";
  static constexpr char kGetFailed[] = "couldn't get StillImage";
  static constexpr char kIndexText[] = "ISeqOfStillImage::getItem - index < 1";
};
struct AudioTraits {
  using Item = IAudio;
  using Itf = ISeqOfAudio;
  static constexpr HRESULT (*kCreate)(REFIID, void**) = CreateAudio;
  static constexpr const CLSID& kReportedClassId = CLSID_SeqOfAudio;
  static constexpr const CLSID& kClassId = CLSID_SeqOfAudio;
  static constexpr char16_t kElement[] = u"Audio";
  static constexpr char16_t kAddMethod[] = u"AddAudio";
  static constexpr char kAddFailed[] = "couldn't add audio";
  static constexpr char kGetFailed[] = "couldn't get audio";
  static constexpr char kIndexText[] = "ISeqOfAudio::getItem - index < 1";
};
struct AlbumInfoTraits {
  using Item = IAlbumInfo;
  using Itf = ISeqOfAlbumInfo;
  static constexpr HRESULT (*kCreate)(REFIID, void**) = CreateAlbumInfo;
  static constexpr const CLSID& kReportedClassId = CLSID_SeqOfAlbumInfo;
  static constexpr const CLSID& kClassId = CLSID_SeqOfAlbumInfo;
  static constexpr char16_t kElement[] = u"AlbumInfo";
  static constexpr char16_t kAddMethod[] = u"AddAlbumInfo";
  static constexpr char kAddFailed[] = "couldn't add AlbumInfo";
  static constexpr char kGetFailed[] = "couldn't get AlbumInfo";
  static constexpr char kIndexText[] = "ISeqOfAlbumInfo::getItem - index < 1";
};

template <typename T, typename Tr>
class SeqBase : public ComObjectRoot,
                public DispatchImpl<T, typename Tr::Itf>,
                public IPersistXMLPropertyBag,
                public SupportErrorInfoImpl<typename Tr::Itf> {
 public:
  using Item = typename Tr::Item;
  using Itf = typename Tr::Itf;
  using Interfaces =
      InterfaceMap<Itf, Via<IDispatch, Itf>, IPersistXMLPropertyBag, ISupportErrorInfo>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }

  static std::span<const DispatchEntry<T>> DispatchTable() {
    static const DispatchEntry<T> t[] = {
        DispMethod<T>(1, Tr::kAddMethod,
                      [](T* self, DISPPARAMS*, VARIANT* result) -> HRESULT {
                        ComPtr<Item> item;
                        HRESULT hr = self->Add(item.Put());
                        if (SUCCEEDED(hr)) {
                          result->vt = VT_DISPATCH;
                          result->pdispVal = item.Detach();
                        }
                        return hr;
                      }),
        DispMethod<T>(2, u"Clear",
                      [](T* self, DISPPARAMS*, VARIANT*) -> HRESULT { return self->Clear(); }),
        Getter(DISPID_SEQ_COUNT, u"Count",
               [](T* self, VARIANT* result) -> HRESULT {
                 result->vt = VT_I4;
                 return self->get_Count(&result->lVal);
               }),
        DispMethod<T>(0, u"Item",
                      [](T* self, DISPPARAMS* params, VARIANT* result) -> HRESULT {
                        if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
                        Variant index;
                        if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I4))) {
                          return DISP_E_TYPEMISMATCH;
                        }
                        ComPtr<Item> item;
                        HRESULT hr = self->get_Item(index.lVal, item.Put());
                        if (SUCCEEDED(hr)) {
                          result->vt = VT_DISPATCH;
                          result->pdispVal = item.Detach();
                        }
                        return hr;
                      }),
        Getter(DISPID_NEWENUM, u"_NewEnum",
               [](T* self, VARIANT* result) -> HRESULT {
                 IUnknown* e = nullptr;
                 HRESULT hr = self->get__NewEnum(&e);
                 if (SUCCEEDED(hr)) {
                   result->vt = VT_UNKNOWN;
                   result->punkVal = e;
                 }
                 return hr;
               }),
    };
    return t;
  }

  static constexpr DispatchEntry<T> Getter(DISPID id, const char16_t* name,
                                           HRESULT (*get)(T*, VARIANT*)) {
    DispatchEntry<T> e{id, name};
    e.get = get;
    return e;
  }

  // Makes a new item in-process and appends it; the caller gets a
  // reference of its own.
  HRESULT Add(Item** out) {
    ComPtr<Item> item;
    HRESULT hr = Make(Tr::kCreate, item.Put());
    if (FAILED(hr)) return hr;
    items_.push_back(item);
    if (out) *out = item.Detach();
    return S_OK;
  }

  HRESULT Clear() override {
    try {
      items_.clear();
    } catch (const std::exception&) {
      return Error("stl exception");
    }
    return S_OK;
  }
  HRESULT get_Count(LONG* pnCount) override {
    if (!pnCount) return E_POINTER;
    *pnCount = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT get_Item(LONG n, Item** out) override {
    if (n < 1) {
      SetErrorInfo(0, nullptr);
      return Error(Tr::kIndexText);
    }
    if (!out) return E_POINTER;
    *out = nullptr;
    if (static_cast<std::size_t>(n) > items_.size()) return E_FAIL;
    return items_[n - 1].CopyTo(out);
  }
  // The enumerator walks a snapshot holding its own references, so it stays
  // valid after Clear or after the collection is gone.
  HRESULT get__NewEnum(IUnknown** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::vector<Variant> snapshot;
    snapshot.reserve(items_.size());
    for (const auto& item : items_) snapshot.push_back(Variant::Dispatch(item.Get()));
    ComPtr<IEnumVARIANT> e;
    HRESULT hr = CreateVariantEnumerator(std::move(snapshot), e.Put());
    if (FAILED(hr)) return hr;
    *ppEnum = e.Detach();
    return S_OK;
  }

  // IPersistXMLPropertyBag
  HRESULT GetClassID(CLSID* pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = Tr::kReportedClassId;
    return S_OK;
  }
  HRESULT InitNew() override { return S_OK; }
  // Appends one item per element child of the bag's element.
  HRESULT Load(IXMLPropertyBag* bag) override {
    if (!bag) return Error("wasn't passed an XMLPropertyBag");
    LONG count = 0;
    if (FAILED(bag->readNumProperties(&count))) return Error("couldn't read numProperties");
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<Item> item;
      if (FAILED(Add(item.Put()))) return Error(Tr::kAddFailed);
      Variant value = Variant::Dispatch(item.Get());
      if (FAILED(bag->ReadIndexed(i, Tr::kElement, &value))) return Error("couldn't readIndexed");
    }
    return S_OK;
  }
  HRESULT Save(IXMLPropertyBag* bag) override {
    if (!bag) return Error("wasn't passed an XMLPropertyBag");
    LONG count = 0;
    if (FAILED(get_Count(&count))) return Error("couldn't read numProperties");
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<Item> item;
      if (FAILED(get_Item(i, item.Put()))) return Error(Tr::kGetFailed);
      Variant value = Variant::Dispatch(item.Get());
      if (FAILED(bag->WriteIndexed(i, Tr::kElement, &value))) return Error("couldn't writeIndexed");
    }
    return S_OK;
  }

 protected:
  HRESULT Error(std::string_view text) {
    return ModelError(Tr::kClassId, IidOf<Itf>(), text, E_FAIL);
  }

  std::vector<ComPtr<Item>> items_;
};

class CSeqOfStillImage : public SeqBase<CSeqOfStillImage, StillTraits> {
 public:
  HRESULT AddStillImage(IStillImage** pp) override { return Add(pp); }
};
class CSeqOfAudio : public SeqBase<CSeqOfAudio, AudioTraits> {
 public:
  HRESULT AddAudio(IAudio** pp) override { return Add(pp); }
};
class CSeqOfAlbumInfo : public SeqBase<CSeqOfAlbumInfo, AlbumInfoTraits> {
 public:
  HRESULT AddAlbumInfo(IAlbumInfo** pp) override { return Add(pp); }
};

}  // namespace

HRESULT CreateSeqOfStillImage(REFIID iid, void** ppv) {
  return ComObject<CSeqOfStillImage>::CreateInstance(iid, ppv);
}
HRESULT CreateSeqOfAudio(REFIID iid, void** ppv) {
  return ComObject<CSeqOfAudio>::CreateInstance(iid, ppv);
}
HRESULT CreateSeqOfAlbumInfo(REFIID iid, void** ppv) {
  return ComObject<CSeqOfAlbumInfo>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
