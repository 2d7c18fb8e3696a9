#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/base/Module.h"
#include "platform/base/Path.h"
#include "platform/com/tests/TestServer.h"
#include "platform/registry/Registry.h"

using namespace vexa::com;

namespace {

// Each test gets its own writable registry layer and one apartment.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir("", "vexa-com-");
    ASSERT_FALSE(dir_.empty());
    setenv("VEXA_REGISTRY_DIR", dir_.c_str(), 1);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    vexa::base::RemoveAll(dir_);
  }

  ComPtr<ITestThing> Make() {
    ComPtr<ITestThing> t;
    EXPECT_EQ(CoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_ALL, IID_ITestThing, t.PutVoid()), S_OK);
    return t;
  }

  // Current reference count, read through an AddRef/Release pair.
  static ULONG Refs(IUnknown* p) {
    p->AddRef();
    return p->Release();
  }

  std::string dir_;
};

HRESULT InvokeGet(IDispatch* d, DISPID id, Variant* out) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return d->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, out->Out(), nullptr, nullptr);
}

HRESULT InvokePut(IDispatch* d, DISPID id, Variant value, WORD flags = DISPATCH_PROPERTYPUT) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  return d->Invoke(id, GUID_NULL, 0, flags, &params, nullptr, nullptr, nullptr);
}

}  // namespace

TEST_F(ComTest, CreatesByClassIdAndByProgId) {
  ComPtr<ITestThing> t = Make();
  ASSERT_TRUE(t);

  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"VexaTest.Thing.1", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestThing);
  // The version-independent ProgID follows CurVer.
  ASSERT_EQ(CLSIDFromProgID(u"VexaTest.Thing", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestThing);
  EXPECT_EQ(CLSIDFromProgID(u"VexaTest.Nothing", &clsid), CO_E_CLASSSTRING);

  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_TestThing, &progId), S_OK);
  EXPECT_EQ(std::u16string_view(progId), u"VexaTest.Thing.1");
  CoTaskMemFree(progId);

  ComPtr<IUnknown> u;
  EXPECT_EQ(CoCreateInstance(vexa::com::Guid("{00000000-1111-2222-3333-444444444444}"), nullptr,
                             CLSCTX_ALL, IID_IUnknown, u.PutVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestMissingModule, nullptr, CLSCTX_ALL, IID_IUnknown, u.PutVoid()),
            CO_E_DLLNOTFOUND);
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, t.Get(), CLSCTX_ALL, IID_IUnknown, u.PutVoid()),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, u.PutVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(u);
}

TEST_F(ComTest, CreationNeedsAnApartment) {
  CoUninitialize();
  ComPtr<IUnknown> u;
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_ALL, IID_IUnknown, u.PutVoid()),
            CO_E_NOTINITIALIZED);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // counted
  CoUninitialize();
  EXPECT_EQ(ApartmentCount(), 1);
}

TEST_F(ComTest, QueryInterfaceRules) {
  ComPtr<ITestThing> t = Make();
  ComPtr<IUnknown> u1, u2;
  ComPtr<IDispatch> d;
  ComPtr<ISupportErrorInfo> s;
  ASSERT_EQ(t.As(&u1), S_OK);
  ASSERT_EQ(t.As(&d), S_OK);
  ASSERT_EQ(t.As(&s), S_OK);
  // Identity: IUnknown is the same pointer whichever interface it came from.
  ASSERT_EQ(s.As(&u2), S_OK);
  EXPECT_EQ(u1.Get(), u2.Get());
  ASSERT_EQ(d.As(&u2), S_OK);
  EXPECT_EQ(u1.Get(), u2.Get());
  // Symmetric and transitive: back from every interface to every other.
  ComPtr<ITestThing> back;
  EXPECT_EQ(s.As(&back), S_OK);
  EXPECT_EQ(back.Get(), t.Get());
  ComPtr<ISupportErrorInfo> s2;
  EXPECT_EQ(d.As(&s2), S_OK);
  // Exactly the listed interfaces.
  ComPtr<IPersist> p;
  EXPECT_EQ(t.As(&p), E_NOINTERFACE);
  EXPECT_FALSE(p);
  ComPtr<IClassFactory> f;
  EXPECT_EQ(t.As(&f), E_NOINTERFACE);
  EXPECT_EQ(t->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(s->InterfaceSupportsErrorInfo(IID_ITestThing), S_OK);
  EXPECT_EQ(s->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(ComTest, ReferenceCounts) {
  ComPtr<ITestThing> t = Make();
  EXPECT_EQ(Refs(t.Get()), 1u);
  {
    ComPtr<IDispatch> d;
    t.As(&d);
    EXPECT_EQ(Refs(t.Get()), 2u);
    ComPtr<ITestThing> child1, child2;
    ASSERT_EQ(t->get_child(child1.Put()), S_OK);
    ASSERT_EQ(t->get_child(child2.Put()), S_OK);
    EXPECT_EQ(child1.Get(), child2.Get());  // the same child, one reference each
    EXPECT_EQ(Refs(child1.Get()), 3u);
  }
  EXPECT_EQ(Refs(t.Get()), 1u);
  // ASan reports a leak if the last Release does not destroy parent and child.
}

TEST_F(ComTest, ErrorInformationCrossesTheCall) {
  ComPtr<ITestThing> t = Make();
  Bstr text(u"ITestThing::Fail - disk on fire");
  EXPECT_EQ(t->Fail(text.Get()), E_FAIL);
  ErrorText e = TakeError();
  ASSERT_TRUE(e.present);
  EXPECT_EQ(e.description, u"ITestThing::Fail - disk on fire");
  EXPECT_EQ(e.source, u"VexaTest.Thing.1");
  EXPECT_EQ(e.iid, IID_ITestThing);
  // Taking it clears it.
  EXPECT_FALSE(TakeError().present);
  ComPtr<IErrorInfo> none;
  EXPECT_EQ(GetErrorInfo(0, none.Put()), S_FALSE);
}

TEST_F(ComTest, InvokeByDispid) {
  ComPtr<ITestThing> t = Make();
  ComPtr<IDispatch> d;
  ASSERT_EQ(t.As(&d), S_OK);

  ASSERT_EQ(InvokePut(d.Get(), 1, Variant::Utf8("album one")), S_OK);
  ASSERT_EQ(InvokePut(d.Get(), 2, Variant::Utf8("42")), S_OK);  // text converts to long
  ASSERT_EQ(InvokePut(d.Get(), 3, Variant::Utf8("2002/09/13 00:01:03")), S_OK);
  ASSERT_EQ(InvokePut(d.Get(), 4, Variant::Bool(true)), S_OK);
  Variant v;
  ASSERT_EQ(InvokeGet(d.Get(), 1, &v), S_OK);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(BstrView(v.bstrVal), u"album one");
  ASSERT_EQ(InvokeGet(d.Get(), 2, &v), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 42);
  ASSERT_EQ(InvokeGet(d.Get(), 3, &v), S_OK);
  EXPECT_EQ(v.vt, VT_DATE);
  EXPECT_NEAR(v.date, 37512.00072916667, 1e-9);
  ASSERT_EQ(InvokeGet(d.Get(), 4, &v), S_OK);
  EXPECT_EQ(v.vt, VT_BOOL);
  EXPECT_EQ(v.boolVal, VARIANT_TRUE);
  ASSERT_EQ(InvokeGet(d.Get(), 5, &v), S_OK);
  EXPECT_EQ(v.vt, VT_DISPATCH);
  EXPECT_NE(v.pdispVal, nullptr);

  EXPECT_EQ(InvokePut(d.Get(), 2, Variant::Utf8("many")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(InvokePut(d.Get(), 2, Variant::R8(1e12)), DISP_E_OVERFLOW);
  EXPECT_EQ(InvokeGet(d.Get(), 99, &v), DISP_E_MEMBERNOTFOUND);
  // The child is read-only: neither put nor putref exists.
  EXPECT_EQ(InvokePut(d.Get(), 5, Variant::Dispatch(d.Get())), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokePut(d.Get(), 5, Variant::Dispatch(d.Get()), DISPATCH_PROPERTYPUTREF),
            DISP_E_MEMBERNOTFOUND);
  // A setter's own refusal comes back unchanged.
  Variant notBool = Variant::Bool(true);
  notBool.boolVal = 5;
  EXPECT_EQ(InvokePut(d.Get(), 4, notBool), E_INVALIDARG);
  TakeError();

  // A read with an argument reaches the member's method entry, whether asked
  // as a method or as a property.
  for (WORD flags : {WORD(DISPATCH_PROPERTYGET), WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET)}) {
    Variant index = Variant::I4(1);
    DISPPARAMS params{&index, nullptr, 1, 0};
    ASSERT_EQ(d->Invoke(6, GUID_NULL, 0, flags, &params, v.Out(), nullptr, nullptr), S_OK) << flags;
    EXPECT_EQ(v.vt, VT_DISPATCH);
    index = Variant::I4(2);
    EXPECT_EQ(d->Invoke(6, GUID_NULL, 0, flags, &params, v.Out(), nullptr, nullptr), DISP_E_BADINDEX);
  }

  LPOLESTR name = const_cast<LPOLESTR>(u"COUNT");
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 2);
}

TEST_F(ComTest, RegistrationWritesAndRemovesTheScriptKeys) {
  using vexa::reg::Hive;
  const char* key = "CLSID\\{6C1F6E2A-43B1-4F0E-9A57-2D3B8E51C002}\\InprocServer32";
  vexa::base::Module server = vexa::base::Module::Load("vexa_comtest");
  ASSERT_TRUE(server) << server.Error();
  auto reg = server.Function<HRESULT (*)()>("DllRegisterServer");
  auto unreg = server.Function<HRESULT (*)()>("DllUnregisterServer");
  ASSERT_TRUE(reg && unreg);
  ASSERT_EQ(reg(), S_OK);
  EXPECT_EQ(vexa::reg::GetString(Hive::LocalMachine, std::string("Software\\Classes\\") + key, "")
                .value_or(""),
            "vexa_comtest");
  std::string written;
  EXPECT_TRUE(vexa::base::ReadFile(vexa::base::JoinPath(dir_, "HKLM.reg"), &written) ||
              vexa::base::ReadFile(vexa::base::JoinPath(dir_, "HKEY_LOCAL_MACHINE.reg"), &written));
  EXPECT_NE(written.find("vexa_comtest"), std::string::npos);
  ASSERT_EQ(unreg(), S_OK);
  // The shipped defaults still register the class.
  EXPECT_TRUE(Make());
}

TEST_F(ComTest, VariantEnumerator) {
  std::vector<Variant> items = {Variant::I4(1), Variant::Utf8("two"), Variant::I4(3)};
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(CreateVariantEnumerator(items, e.Put()), S_OK);
  Variant out[2];
  ULONG got = 0;
  ASSERT_EQ(e->Next(2, out, &got), S_OK);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(out[1].vt, VT_BSTR);
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  for (auto& v : out) v.Clear();
  EXPECT_EQ(e->Next(2, out, &got), S_FALSE);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(out[0].lVal, 3);
  out[0].Clear();
  EXPECT_EQ(clone->Next(1, out, &got), S_OK);  // the clone kept its position
  EXPECT_EQ(out[0].lVal, 3);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(5), S_FALSE);
}
