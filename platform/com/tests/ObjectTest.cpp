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

namespace {

// A class whose methods are late-bound through DispMethodOf alone.
struct IJoiner : IDispatch {
  virtual HRESULT Join(BSTR a, BSTR b, BSTR* joined) = 0;
  virtual HRESULT Count(ITestThing* thing, LONG times, LONG* total) = 0;

 protected:
  ~IJoiner() = default;
};

class CJoiner : public ComObjectRoot, public DispatchImpl<CJoiner, IJoiner> {
 public:
  using Interfaces = InterfaceMap<IJoiner, Via<IDispatch, IJoiner>>;
  static std::span<const DispatchEntry<CJoiner>> DispatchTable() {
    static const DispatchEntry<CJoiner> t[] = {DispMethodOf<&CJoiner::Join>(1, u"Join"),
                                               DispMethodOf<&CJoiner::Count>(2, u"Count")};
    return t;
  }
  // A null text counts as "(null)"; "fail" fails the call after filling the out value.
  HRESULT Join(BSTR a, BSTR b, BSTR* joined) override {
    std::u16string s = (a ? std::u16string(BstrView(a)) : u"(null)") + (b ? std::u16string(BstrView(b)) : u"(null)");
    *joined = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return BstrView(a) == u"fail" ? E_FAIL : S_OK;
  }
  HRESULT Count(ITestThing* thing, LONG times, LONG* total) override {
    LONG n = 0;
    if (thing) thing->get_count(&n);
    *total = n * times;
    return S_OK;
  }
};

}  // namespace

VEXA_DEFINE_IID(IJoiner, "{6C1F6E2A-43B1-4F0E-9A57-2D3B8E51C0A1}")

TEST_F(ComTest, MethodsFromMemberFunctionsConvertTheirArguments) {
  ComPtr<IJoiner> joiner;
  ASSERT_EQ(ComObject<CJoiner>::Create(joiner.Put()), S_OK);
  ComPtr<IDispatch> d;
  ASSERT_EQ(joiner.As(&d), S_OK);
  // Arguments first to last; reversed for Invoke.
  auto call = [&](DISPID id, std::vector<Variant> args, Variant* result) {
    std::reverse(args.begin(), args.end());
    DISPPARAMS p{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return d->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &p, result->Out(), nullptr, nullptr);
  };
  Variant result;
  // The left-off out-argument is the result; numbers convert to text.
  ASSERT_EQ(call(1, {Variant::Utf8("a"), Variant::I4(7)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(BstrToUtf8(result.bstrVal), "a7");
  // A missing text is null; the out value through a by-reference VARIANT.
  Variant into;
  Variant ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &into;
  ASSERT_EQ(call(1, {Variant::Utf8("a"), Variant(), ref}, &result), S_OK);
  EXPECT_EQ(BstrToUtf8(into.bstrVal), "a(null)");
  ref.pvarVal = nullptr;
  // Through a by-reference BSTR.
  BSTR direct = nullptr;
  Variant byRef;
  byRef.vt = VT_BYREF | VT_BSTR;
  byRef.pbstrVal = &direct;
  ASSERT_EQ(call(1, {Variant::Utf8("x"), Variant::Utf8("y"), byRef}, &result), S_OK);
  byRef.vt = VT_EMPTY;
  EXPECT_EQ(std::u16string_view(direct), u"xy");
  SysFreeString(direct);
  // A failing call delivers nothing.
  Variant untouched = Variant::I4(5);
  ref.pvarVal = &untouched;
  EXPECT_EQ(call(1, {Variant::Utf8("fail"), Variant::Utf8("b"), ref}, &result), E_FAIL);
  EXPECT_EQ(untouched.vt, VT_I4);
  ref.pvarVal = nullptr;
  // Objects are asked for the parameter's interface.
  ComPtr<ITestThing> thing = Make();
  thing->put_count(6);
  ASSERT_EQ(call(2, {Variant::Dispatch(thing.Get()), Variant::Utf8("3")}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 18);
  struct Bad {
    DISPID id;
    std::vector<Variant> args;
    HRESULT hr;
  };
  const Bad bad[] = {
      {1, {Variant::Utf8("only one")}, DISP_E_BADPARAMCOUNT},
      {1, {Variant::Utf8("a"), Variant::Utf8("b"), Variant::Utf8("not by reference")}, DISP_E_TYPEMISMATCH},
      {2, {Variant::Dispatch(d.Get()), Variant::I4(1)}, DISP_E_TYPEMISMATCH},  // no ITestThing
      {2, {Variant::Utf8("no object"), Variant::I4(1)}, DISP_E_TYPEMISMATCH},
      {2, {Variant(), Variant::Utf8("many")}, DISP_E_TYPEMISMATCH},
  };
  for (const Bad& b : bad) EXPECT_EQ(call(b.id, b.args, &result), b.hr);
  Variant arg = Variant::Utf8("a");
  DISPID named = 1;
  DISPPARAMS withNames{&arg, &named, 1, 1};
  EXPECT_EQ(d->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &withNames, result.Out(), nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
}

// A user's registry file that cannot be parsed is reported as what it is,
// with the store's reason, never as a class that is not registered.
TEST_F(ComTest, MalformedRegistryFileIsReportedWithItsLine) {
  ASSERT_TRUE(vexa::base::WriteFileAtomic(vexa::base::JoinPath(dir_, "HKLM.reg"),
                                          "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"broken\n"));
  const std::string where = vexa::base::JoinPath(dir_, "HKLM.reg") + " line 4: unterminated value name";
  ComPtr<IUnknown> u;
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_ALL, IID_IUnknown, u.PutVoid()), REGDB_E_READREGDB);
  EXPECT_EQ(TakeError().Utf8Description(), "the registry cannot be read: " + where);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"VexaTest.Thing", &clsid), REGDB_E_READREGDB);
  EXPECT_EQ(TakeError().Utf8Description(), "the registry cannot be read: " + where);
  EXPECT_EQ(CoGetClassObject(CLSID_TestThing, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, u.PutVoid()),
            REGDB_E_READREGDB);
}
