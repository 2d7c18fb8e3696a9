// Type information from dispatch tables, and record types registered with
// the component core, through the interfaces callers use.
#include <gtest/gtest.h>

#include <cstddef>

#include "platform/com/Com.h"

using namespace vexa::com;

namespace {

struct IGadget : IDispatch {
  virtual HRESULT get_size(LONG* v) = 0;
  virtual HRESULT put_size(LONG v) = 0;
  virtual HRESULT get_label(BSTR* v) = 0;

 protected:
  ~IGadget() = default;
};

constexpr TypeLibraryId kGadgetLib{Guid("{7D0E4C1A-2B3F-4A56-8C9D-0E1F2A3B4C5D}"), 2, 1, 0x409, u"GadgetLib"};

class CGadget : public ComObjectRoot, public DispatchImpl<CGadget, IGadget> {
 public:
  using Interfaces = InterfaceMap<IGadget, Via<IDispatch, IGadget>>;
  static const TypeLibraryId& TypeLibrary() { return kGadgetLib; }
  static std::span<const DispatchEntry<CGadget>> DispatchTable() {
    static const DispatchEntry<CGadget> t[] = {
        DispProperty<&CGadget::get_size, &CGadget::put_size>(1, u"size"),
        DispProperty<&CGadget::get_label>(2, u"label"),
        DispMethod<CGadget>(3, u"Poke", [](CGadget* self, DISPPARAMS*, VARIANT*) -> HRESULT {
          ++self->size_;
          return S_OK;
        }),
    };
    return t;
  }
  HRESULT get_size(LONG* v) override {
    *v = size_;
    return S_OK;
  }
  HRESULT put_size(LONG v) override {
    size_ = v;
    return S_OK;
  }
  HRESULT get_label(BSTR* v) override {
    *v = SysAllocString(u"gadget");
    return S_OK;
  }

 private:
  LONG size_ = 0;
};

}  // namespace

VEXA_DEFINE_IID(IGadget, "{7D0E4C1A-2B3F-4A56-8C9D-0E1F2A3B4C5E}")

TEST(TypeInfoTest, DispatchTablesDescribeTheirMembers) {
  ComPtr<IGadget> gadget;
  ASSERT_EQ(ComObject<CGadget>::Create(gadget.Put()), S_OK);
  UINT count = 0;
  ASSERT_EQ(gadget->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(gadget->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
  ASSERT_EQ(gadget->GetTypeInfo(0, 0, info.Put()), S_OK);

  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IGadget);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 4);  // size get and put, label get, Poke
  EXPECT_EQ(attr->wMajorVerNum, 2);
  EXPECT_EQ(attr->lcid, 0x409u);
  info->ReleaseTypeAttr(attr);

  // Every function description names a member and how it is invoked.
  std::vector<std::pair<MEMBERID, INVOKEKIND>> seen;
  for (UINT i = 0; i < 4; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
    seen.emplace_back(f->memid, f->invkind);
    info->ReleaseFuncDesc(f);
  }
  const std::vector<std::pair<MEMBERID, INVOKEKIND>> expected = {
      {1, INVOKE_PROPERTYGET}, {1, INVOKE_PROPERTYPUT}, {2, INVOKE_PROPERTYGET}, {3, INVOKE_FUNC}};
  EXPECT_EQ(seen, expected);
  FUNCDESC* none = nullptr;
  EXPECT_EQ(info->GetFuncDesc(4, &none), TYPE_E_ELEMENTNOTFOUND);

  Bstr name;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.View(), u"IGadget");
  BSTR names[2] = {};
  UINT got = 0;
  ASSERT_EQ(info->GetNames(2, names, 2, &got), S_OK);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(std::u16string_view(names[0]), u"label");
  SysFreeString(names[0]);
  std::u16string poke = u"POKE";
  LPOLESTR query[] = {poke.data()};
  MEMBERID id = 0;
  ASSERT_EQ(info->GetIDsOfNames(query, 1, &id), S_OK);
  EXPECT_EQ(id, 3);

  // Invoking through the type information reaches the object.
  DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
  ASSERT_EQ(info->Invoke(static_cast<IDispatch*>(gadget.Get()), 3, DISPATCH_METHOD, &noArgs, nullptr, nullptr,
                         nullptr),
            S_OK);
  LONG size = 0;
  gadget->get_size(&size);
  EXPECT_EQ(size, 1);

  // The containing library carries the class's library identity.
  ComPtr<ITypeLib> lib;
  UINT index = 99;
  ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), &index), S_OK);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
  EXPECT_EQ(libAttr->guid, kGadgetLib.libid);
  EXPECT_EQ(libAttr->wMajorVerNum, 2);
  EXPECT_EQ(libAttr->wMinorVerNum, 1);
  lib->ReleaseTLibAttr(libAttr);
  ComPtr<ITypeInfo> again;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IGadget, again.Put()), S_OK);
  ASSERT_EQ(lib->GetTypeInfo(index, again.Put()), S_OK);
  Bstr libName;
  ASSERT_EQ(lib->GetDocumentation(-1, libName.Out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(libName.View(), u"GadgetLib");
}

namespace {

struct Sample {
  BSTR title;
  LONG count;
  double when;
  VARIANT_BOOL flag;
  VARIANT extra;
};

constexpr TypeLibraryId kSampleLib{Guid("{1A2B3C4D-5E6F-4A1B-9C2D-3E4F5A6B7C8D}"), 1, 0, 0, u"SampleLib"};
constexpr GUID kSampleGuid = Guid("{1A2B3C4D-5E6F-4A1B-9C2D-3E4F5A6B7C8E}");

RecordType SampleType() {
  return {kSampleGuid,
          u"Sample",
          kSampleLib,
          sizeof(Sample),
          {{u"title", VT_BSTR, offsetof(Sample, title)},
           {u"count", VT_I4, offsetof(Sample, count)},
           {u"when", VT_DATE, offsetof(Sample, when)},
           {u"flag", VT_BOOL, offsetof(Sample, flag)},
           {u"extra", VT_VARIANT, offsetof(Sample, extra)}}};
}

}  // namespace

TEST(TypeInfoTest, RegisteredRecordsLiveInVariants) {
  ComPtr<IRecordInfo> registered;
  ASSERT_EQ(RegisterRecordType(SampleType(), registered.Put()), S_OK);
  ComPtr<IRecordInfo> info;
  ASSERT_EQ(GetRecordInfoFromGuids(kSampleLib.libid, 1, 0, 0, kSampleGuid, info.Put()), S_OK);
  EXPECT_TRUE(info->IsMatchingType(registered.Get()));
  ComPtr<IRecordInfo> missing;
  EXPECT_EQ(GetRecordInfoFromGuids(kSampleLib.libid, 2, 0, 0, kSampleGuid, missing.Put()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(GetRecordInfoFromGuids(kSampleLib.libid, 1, 0, 0, kSampleLib.libid, missing.Put()),
            TYPE_E_ELEMENTNOTFOUND);

  Variant v;
  v.vt = VT_RECORD;
  v.pvRecord = info->RecordCreate();
  v.pRecInfo = info.Get();
  info->AddRef();
  // Values are converted to the fields' types.
  Variant title = Variant::Utf8("holiday"), count = Variant::Utf8("42"), flag = Variant::I4(1);
  ASSERT_EQ(info->PutField(INVOKE_PROPERTYPUT, v.pvRecord, u"title", &title), S_OK);
  ASSERT_EQ(info->PutField(INVOKE_PROPERTYPUT, v.pvRecord, u"count", &count), S_OK);
  ASSERT_EQ(info->PutField(INVOKE_PROPERTYPUT, v.pvRecord, u"flag", &flag), S_OK);
  ASSERT_EQ(info->PutField(INVOKE_PROPERTYPUT, v.pvRecord, u"extra", &title), S_OK);
  Variant notANumber = Variant::Utf8("many");
  EXPECT_EQ(info->PutField(INVOKE_PROPERTYPUT, v.pvRecord, u"count", &notANumber), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(info->PutField(INVOKE_PROPERTYPUT, v.pvRecord, u"nothing", &title), DISP_E_UNKNOWNNAME);
  const auto* sample = static_cast<const Sample*>(v.pvRecord);
  EXPECT_EQ(BstrView(sample->title), u"holiday");
  EXPECT_EQ(sample->count, 42);
  EXPECT_EQ(sample->flag, VARIANT_TRUE);

  // A copy owns its own record; clearing one leaves the other.
  Variant copy(v);
  v.Clear();
  Variant field;
  ASSERT_EQ(copy.pRecInfo->GetField(copy.pvRecord, u"title", &field), S_OK);
  EXPECT_EQ(BstrToUtf8(field.bstrVal), "holiday");
  ASSERT_EQ(copy.pRecInfo->GetField(copy.pvRecord, u"extra", &field), S_OK);
  EXPECT_EQ(BstrToUtf8(field.bstrVal), "holiday");

  ULONG n = 0;
  ASSERT_EQ(info->GetFieldNames(&n, nullptr), S_OK);
  EXPECT_EQ(n, 5u);
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(info->GetTypeInfo(type.Put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(type->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_RECORD);
  EXPECT_EQ(attr->cVars, 5);
  EXPECT_EQ(attr->cbSizeInstance, sizeof(Sample));
  type->ReleaseTypeAttr(attr);

  // Types whose fields cannot be laid out are refused.
  RecordType overlap = SampleType();
  overlap.fields[1].offset = offsetof(Sample, title);
  RecordType outside = SampleType();
  outside.fields[2].offset = sizeof(Sample);
  RecordType twice = SampleType();
  twice.fields[1].name = u"title";
  RecordType object = SampleType();
  object.fields[1].vt = VT_DISPATCH;
  for (const RecordType& bad : {overlap, outside, twice, object}) EXPECT_EQ(RegisterRecordType(bad), E_INVALIDARG);
}
