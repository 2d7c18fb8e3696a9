// The property bag's value encoding: every VARIANT type it handles, written
// and read back, the spelled forms, and its failures.
#include <cmath>
#include <cstddef>

#include "model/tests/ModelTestUtil.h"

namespace vexa::model::test {
namespace {

class BagTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    top_ = NewTop(u"Top", &doc_);
    bag_ = BagOn(top_.Get());
  }
  // Text of the named child element, or "<missing>".
  std::string ChildText(const char16_t* name) {
    ComPtr<IXMLDOMElement> e;
    Bstr n(name), ns(kVexaXmlNamespace);
    if (FAILED(helper_->getElement(top_.Get(), n.Get(), ns.Get(), e.Put()))) return "<missing>";
    Bstr t;
    e->get_text(t.Out());
    return t.Utf8();
  }
  LONG ChildCount() {
    LONG n = -1;
    bag_->readNumProperties(&n);
    return n;
  }

  ComPtr<IXMLDOMDocument> doc_;
  ComPtr<IXMLDOMElement> top_;
  ComPtr<IXMLPropertyBag> bag_;
};

Variant Typed(VARTYPE vt, double value) {
  Variant v = Variant::R8(value);
  EXPECT_EQ(v.ChangeType(vt), S_OK);
  return v;
}

Variant DateOf(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME st{y, mo, 0, d, h, mi, s, 0};
  DATE date = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&st, &date));
  return Variant::Date(date);
}

TEST_F(BagTest, EveryScalarTypeRoundTripsWithItsSpelling) {
  struct Case {
    const char16_t* name;
    Variant value;
    const char* text;  // what the element holds
  };
  Variant nullBstr;
  nullBstr.vt = VT_BSTR;
  nullBstr.bstrVal = nullptr;
  Case cases[] = {
      {u"i4", Variant::I4(-3615898), "-3615898"},
      {u"i4max", Variant::I4(2147483647), "2147483647"},
      {u"i2", Variant::I2(-32768), "-32768"},
      {u"ui1", Typed(VT_UI1, 255), "255"},
      {u"i8", Typed(VT_I8, -9007199254740991.0), "-9007199254740991"},
      {u"r8", Variant::R8(0.25), "0.25"},
      {u"r4", Variant::R4(-1.5f), "-1.5"},
      {u"boolTrue", Variant::Bool(true), "1"},
      {u"boolFalse", Variant::Bool(false), "0"},
      {u"text", Variant::Utf8("Summer \xE2\x80\x94 <2002> & \"friends\""),
       "Summer \xE2\x80\x94 <2002> & \"friends\""},
      {u"empty", Variant::String(u""), ""},
      {u"nullString", nullBstr, ""},
      {u"date", DateOf(2002, 9, 13, 0, 1, 3), "2002/09/13 00:01:03"},
      {u"dateMax", Variant::Date(kMaxDate), "9999/12/31 00:00:00"},
      {u"dateMin", Variant::Date(kMinDate), "0100/01/01 00:00:00"},
      {u"dateBefore1900", DateOf(1850, 2, 28, 23, 59, 59), "1850/02/28 23:59:59"},
  };
  for (auto& c : cases) ASSERT_EQ(bag_->Write(c.name, &c.value), S_OK) << vexa::base::Utf16ToUtf8(c.name);
  for (auto& c : cases) {
    const std::string name = vexa::base::Utf16ToUtf8(c.name);
    EXPECT_EQ(ChildText(c.name), c.text) << name;
    // Read into a VARIANT of the same type holding another value.
    Variant back;
    if (c.value.vt == VT_BSTR) {
      back = Variant::String(u"previous");
    } else {
      back = Typed(c.value.vt, 1);
    }
    ASSERT_EQ(bag_->Read(c.name, &back), S_OK) << name;
    ASSERT_EQ(back.vt, c.value.vt) << name;
    Variant a = c.value, b = back;
    if (a.vt == VT_BSTR) {
      EXPECT_EQ(std::u16string(BstrView(a.bstrVal)), std::u16string(BstrView(b.bstrVal))) << name;
      EXPECT_NE(b.bstrVal, nullptr) << name;  // a null string reads back empty
    } else {
      ASSERT_EQ(a.ChangeType(VT_R8), S_OK);
      ASSERT_EQ(b.ChangeType(VT_R8), S_OK);
      EXPECT_EQ(a.dblVal, b.dblVal) << name;
    }
  }
  // Elements are in the order of the writes.
  ComPtr<IXMLDOMElement> first;
  ASSERT_EQ(helper_->getElementByIndex(top_.Get(), 1, first.Put()), S_OK);
  Bstr firstName;
  first->get_baseName(firstName.Out());
  EXPECT_EQ(firstName.Utf8(), "i4");
}

TEST_F(BagTest, NoDateAndDatesOutsideTheRangeWriteAnEmptyElement) {
  const DATE cases[] = {kNoDate, kMaxDate + 0.5, kMinDate - 2.0};
  for (DATE d : cases) {
    Variant v = Variant::Date(d);
    ASSERT_EQ(bag_->Write(u"when", &v), S_OK);
    EXPECT_EQ(ChildText(u"when"), "") << d;
    // Read back, the property keeps whatever it had.
    Variant back = Variant::Date(kNoDate);
    ASSERT_EQ(bag_->Read(u"when", &back), S_OK);
    EXPECT_EQ(back.date, kNoDate);
    top_.Get()->put_text(nullptr);  // drop the element for the next case
  }
}

TEST_F(BagTest, BooleanAndNumberTexts) {
  auto doc = Parse(
      "<Top><one>1</one><seven>7</seven><minus>-1</minus><zero>0</zero><word>yes</word>"
      "<empty/><nested><x>5</x></nested></Top>");
  auto bag = BagOn(Root(doc.Get()).Get());
  struct Case {
    const char16_t* name;
    VARIANT_BOOL start;
    HRESULT hr;
    VARIANT_BOOL expect;
    const char* error;
  } cases[] = {
      {u"one", VARIANT_FALSE, S_OK, VARIANT_TRUE, nullptr},
      {u"seven", VARIANT_FALSE, S_OK, VARIANT_TRUE, nullptr},
      {u"minus", VARIANT_FALSE, S_OK, VARIANT_TRUE, nullptr},
      {u"zero", VARIANT_TRUE, S_OK, VARIANT_FALSE, nullptr},
      {u"word", VARIANT_TRUE, E_FAIL, VARIANT_TRUE, "couldn't get bool_int"},
      // No text: unchanged, and no error.
      {u"empty", VARIANT_TRUE, S_OK, VARIANT_TRUE, nullptr},
      {u"nested", VARIANT_TRUE, S_OK, VARIANT_TRUE, nullptr},
  };
  for (const auto& c : cases) {
    TakeError();
    Variant v = Variant::Bool(c.start == VARIANT_TRUE);
    EXPECT_EQ(bag->Read(c.name, &v), c.hr) << vexa::base::Utf16ToUtf8(c.name);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, c.expect) << vexa::base::Utf16ToUtf8(c.name);
    if (c.error) {
      EXPECT_EQ(LastError(), c.error);
    }
  }
  // Numbers and dates keep their value on an empty element too.
  Variant n = Variant::I4(77);
  EXPECT_EQ(bag->Read(u"empty", &n), S_OK);
  EXPECT_EQ(n.lVal, 77);
  Variant d = Variant::Date(kNoDate);
  EXPECT_EQ(bag->Read(u"nested", &d), S_OK);
  EXPECT_EQ(d.date, kNoDate);
  // A string gets the whole subtree's text.
  Variant s = Variant::String(u"");
  EXPECT_EQ(bag->Read(u"nested", &s), S_OK);
  EXPECT_EQ(std::u16string(BstrView(s.bstrVal)), u"5");
  // A text that does not convert is the conversion's failure.
  Variant bad = Variant::I4(3);
  EXPECT_EQ(bag->Read(u"word", &bad), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bad.lVal, 3);
}

// A value that cannot be encoded leaves no element behind.
TEST_F(BagTest, FailedWritesLeaveNothing) {
  SafeArray array(VT_BSTR, 2);
  Variant arrayValue;
  arrayValue.vt = VT_ARRAY | VT_BSTR;
  arrayValue.parray = array.Detach();
  LONG held = 5;
  Variant byRef;
  byRef.vt = VT_BYREF | VT_I4;
  byRef.plVal = &held;
  Variant record;
  record.vt = VT_RECORD;  // a record without its type information
  Variant nullObject;
  nullObject.vt = VT_DISPATCH;
  nullObject.pdispVal = nullptr;
  Variant notPersistent = Variant::Unknown(doc_.Get());  // an object without persistence
  struct Case {
    VARIANT* value;
    HRESULT hr;
  } cases[] = {
      {&arrayValue, E_NOTIMPL},
      {&byRef, E_NOTIMPL},
      {&record, E_INVALIDARG},
      {&nullObject, E_POINTER},
      {&notPersistent, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bag_->Write(u"value", c.value), c.hr) << c.value->vt;
    EXPECT_EQ(ChildCount(), 0) << c.value->vt;
  }
  record.vt = VT_EMPTY;
}

constexpr char kNs[] = "http://schemas.vexa.example/go/di-cv-vexa-1-6";

// A record type registered here: written as its type's attributes and one
// element per field, and read back into a new record of the same type.
struct Trip {
  BSTR place;
  LONG days;
  VARIANT_BOOL done;
};
constexpr vexa::com::TypeLibraryId kTripLib{vexa::com::Guid("{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E}"), 3, 2,
                                             0x409, u"TripLib"};
constexpr GUID kTripGuid = vexa::com::Guid("{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5F}");

TEST_F(BagTest, RecordsOfARegisteredTypeRoundTrip) {
  ComPtr<IRecordInfo> info;
  ASSERT_EQ(vexa::com::RegisterRecordType({kTripGuid,
                                           u"Trip",
                                           kTripLib,
                                           sizeof(Trip),
                                           {{u"place", VT_BSTR, offsetof(Trip, place)},
                                            {u"days", VT_I4, offsetof(Trip, days)},
                                            {u"done", VT_BOOL, offsetof(Trip, done)}}},
                                          info.Put()),
            S_OK);
  Variant trip;
  trip.vt = VT_RECORD;
  trip.pvRecord = info->RecordCreate();
  trip.pRecInfo = info.Get();
  info->AddRef();
  Variant place = Variant::Utf8("Lake <Bled> & \xC3\xA9"), days = Variant::I4(12), done = Variant::Bool(true);
  info->PutField(INVOKE_PROPERTYPUT, trip.pvRecord, u"place", &place);
  info->PutField(INVOKE_PROPERTYPUT, trip.pvRecord, u"days", &days);
  info->PutField(INVOKE_PROPERTYPUT, trip.pvRecord, u"done", &done);
  ASSERT_EQ(bag_->Write(u"trip", &trip), S_OK) << LastError();
  EXPECT_EQ(Xml(top_.Get()),
            std::string("<Top xmlns=\"") + kNs +
                "\"><trip uuid=\"{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5F}\" "
                "libid=\"{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E}\" major=\"3\" minor=\"2\" lcid=\"1033\">"
                "<place>Lake &lt;Bled&gt; &amp; \xC3\xA9</place><days>12</days><done>1</done></trip></Top>");

  // Read by the record type the element names; the fields take their types.
  Variant back;
  back.vt = VT_RECORD;
  ASSERT_EQ(bag_->Read(u"trip", &back), S_OK) << LastError();
  ASSERT_EQ(back.vt, VT_RECORD);
  ASSERT_TRUE(back.pRecInfo && back.pvRecord);
  EXPECT_TRUE(back.pRecInfo->IsMatchingType(info.Get()));
  const auto* read = static_cast<const Trip*>(back.pvRecord);
  EXPECT_EQ(vexa::com::BstrToUtf8(read->place), "Lake <Bled> & \xC3\xA9");
  EXPECT_EQ(read->days, 12);
  EXPECT_EQ(read->done, VARIANT_TRUE);

  // An element naming a type nobody registered, or missing a field, fails
  // and leaves the target as it was.
  auto doc = Parse(std::string("<Top xmlns='") + kNs +
                   "'><other uuid='{00000000-0000-0000-0000-000000000001}' libid='{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E}'"
                   " major='3' minor='2' lcid='1033'/>"
                   "<short uuid='{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5F}' libid='{5C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E}'"
                   " major='3' minor='2' lcid='1033'><place>x</place></short>"
                   "<bare>text</bare></Top>");
  auto bag = BagOn(Root(doc.Get()).Get());
  struct Case {
    const char16_t* name;
    HRESULT hr;
  } cases[] = {{u"other", TYPE_E_ELEMENTNOTFOUND}, {u"short", E_FAIL}, {u"bare", E_FAIL}};
  for (const Case& c : cases) {
    Variant target;
    target.vt = VT_RECORD;
    EXPECT_EQ(bag->Read(c.name, &target), c.hr);
    EXPECT_EQ(target.vt, VT_RECORD);
    EXPECT_EQ(target.pvRecord, nullptr);
    target.vt = VT_EMPTY;
  }
}

TEST_F(BagTest, ReadsFindByNameOrIndex) {
  auto doc = Parse(
      "<Top xmlns='http://schemas.vexa.example/go/di-cv-vexa-1-6'><!-- c -->"
      "<a>1</a><o:b xmlns:o='urn:other'>2</o:b><c>3</c></Top>");
  auto bag = BagOn(Root(doc.Get()).Get());
  LONG n = 0;
  ASSERT_EQ(bag->readNumProperties(&n), S_OK);
  EXPECT_EQ(n, 3);  // every element child, whatever its name
  struct Case {
    LONG index;
    HRESULT hr;
    LONG value;
  } cases[] = {{0, E_FAIL, -1}, {1, S_OK, 1}, {2, S_OK, 2}, {3, S_OK, 3}, {4, E_FAIL, -1}};
  for (const auto& c : cases) {
    Variant v = Variant::I4(-1);
    EXPECT_EQ(bag->ReadIndexed(c.index, u"ignored", &v), c.hr) << c.index;
    EXPECT_EQ(v.lVal, c.value) << c.index;
  }
  // By name only in the bag element's namespace.
  Variant v = Variant::I4(-1);
  TakeError();
  EXPECT_EQ(bag->Read(u"b", &v), E_FAIL);
  EXPECT_EQ(LastError(), "getElement failed");
  EXPECT_EQ(bag->Read(u"c", &v), S_OK);
  EXPECT_EQ(v.lVal, 3);
}

}  // namespace
}  // namespace vexa::model::test
