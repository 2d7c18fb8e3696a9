#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/com/Com.h"

using namespace vexa::com;

TEST(Bstr, NullAndEmptyStayDistinct) {
  BSTR null = nullptr;
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(null), 0u);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');

  // Copies keep the distinction.
  Bstr a(empty), b;
  EXPECT_FALSE(a.IsNull());
  EXPECT_TRUE(b.IsNull());
  Bstr ac = a, bc = b;
  EXPECT_FALSE(ac.IsNull());
  EXPECT_TRUE(bc.IsNull());
  EXPECT_EQ(b.Copy(), nullptr);
  SysFreeString(empty);
}

TEST(Bstr, LengthPrefixedAndBinarySafe) {
  const char16_t text[] = {u'a', 0, u'b'};
  Bstr s(std::u16string_view(text, 3));
  EXPECT_EQ(s.Length(), 3u);
  EXPECT_EQ(SysStringByteLen(s.Get()), 6u);
  EXPECT_EQ(s.Get()[3], u'\0');
  BSTR odd = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(odd), 3u);
  EXPECT_EQ(SysStringLen(odd), 1u);
  SysFreeString(odd);
  EXPECT_EQ(Bstr::FromUtf8("\xC3\xA9t\xC3\xA9").View(), u"\u00e9t\u00e9");
  EXPECT_EQ(Bstr::FromUtf8("\xF0\x9F\x98\x80").Utf8(), "\xF0\x9F\x98\x80");
}

namespace {
Variant Text(const char16_t* s) { return Variant::String(s); }

struct Conversion {
  const char* name;
  Variant in;
  VARTYPE to;
  HRESULT hr;
  Variant out;  // compared when hr is S_OK
};

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  switch (a.vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_I2: return a.iVal == b.iVal;
    case VT_I4: return a.lVal == b.lVal;
    case VT_UI1: return a.bVal == b.bVal;
    case VT_UI4: return a.ulVal == b.ulVal;
    case VT_I8: return a.llVal == b.llVal;
    case VT_R4: return a.fltVal == b.fltVal;
    case VT_R8: return a.dblVal == b.dblVal;
    case VT_DATE: return std::fabs(a.date - b.date) < 1e-9;
    case VT_BOOL: return a.boolVal == b.boolVal;
    case VT_BSTR: return BstrView(a.bstrVal) == BstrView(b.bstrVal);
    default: return false;
  }
}

Variant Ui1(BYTE v) {
  Variant r;
  r.vt = VT_UI1;
  r.bVal = v;
  return r;
}
Variant I8(long long v) {
  Variant r;
  r.vt = VT_I8;
  r.llVal = v;
  return r;
}
}  // namespace

TEST(Variant, ChangeTypeTable) {
  const Conversion cases[] = {
      // integers <-> text
      {"I4 to text", Variant::I4(-42), VT_BSTR, S_OK, Text(u"-42")},
      {"text to I4", Text(u" 123 "), VT_I4, S_OK, Variant::I4(123)},
      {"text to I4 rounds half even", Text(u"2.5"), VT_I4, S_OK, Variant::I4(2)},
      {"text to I4 rounds half even up", Text(u"3.5"), VT_I4, S_OK, Variant::I4(4)},
      {"text not a number", Text(u"12abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"empty text", Text(u""), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"text over I4", Text(u"2147483648"), VT_I4, DISP_E_OVERFLOW, {}},
      {"text at I4 min", Text(u"-2147483648"), VT_I4, S_OK, Variant::I4(-2147483647 - 1)},
      {"I4 over I2", Variant::I4(40000), VT_I2, DISP_E_OVERFLOW, {}},
      {"I4 to I2", Variant::I4(-32768), VT_I2, S_OK, Variant::I2(-32768)},
      {"negative to UI1", Variant::I4(-1), VT_UI1, DISP_E_OVERFLOW, {}},
      {"I4 to UI1", Variant::I4(255), VT_UI1, S_OK, Ui1(255)},
      {"R8 to I4 rounds", Variant::R8(-1.5), VT_I4, S_OK, Variant::I4(-2)},
      {"R8 over I4", Variant::R8(3e9), VT_I4, DISP_E_OVERFLOW, {}},
      {"NaN to I4", Variant::R8(std::numeric_limits<double>::quiet_NaN()), VT_I4, DISP_E_OVERFLOW, {}},
      {"I8 text exact", Text(u"9223372036854775807"), VT_I8, S_OK, I8(9223372036854775807LL)},
      // reals
      {"R8 to text", Variant::R8(0.1), VT_BSTR, S_OK, Text(u"0.1")},
      {"large R8 to text", Variant::R8(1e20), VT_BSTR, S_OK, Text(u"1E+20")},
      {"text to R8", Text(u"-1.25e2"), VT_R8, S_OK, Variant::R8(-125.0)},
      {"text over R4", Text(u"1e39"), VT_R4, DISP_E_OVERFLOW, {}},
      // booleans
      {"bool to text", Variant::Bool(true), VT_BSTR, S_OK, Text(u"-1")},
      {"text True to bool", Text(u"true"), VT_BOOL, S_OK, Variant::Bool(true)},
      {"text 0 to bool", Text(u"0"), VT_BOOL, S_OK, Variant::Bool(false)},
      {"text 7 to bool", Text(u"7"), VT_BOOL, S_OK, Variant::Bool(true)},
      {"bool to I4", Variant::Bool(true), VT_I4, S_OK, Variant::I4(-1)},
      {"word to bool", Text(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
      // dates
      {"text to date", Text(u"2002/09/13 00:01:03"), VT_DATE, S_OK, Variant::Date(37512.00072916667)},
      {"ISO text to date", Text(u"2000-02-29T12:00:00"), VT_DATE, S_OK, Variant::Date(36585.5)},
      {"US text to date", Text(u"9/13/2002"), VT_DATE, S_OK, Variant::Date(37512.0)},
      {"time alone", Text(u"6:00 PM"), VT_DATE, S_OK, Variant::Date(0.75)},
      {"impossible date", Text(u"2001/02/29"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      {"not a date", Text(u"yesterday"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      {"date to text", Variant::Date(37512.00072916667), VT_BSTR, S_OK, Text(u"2002/09/13 00:01:03")},
      {"number to date", Variant::I4(2), VT_DATE, S_OK, Variant::Date(2.0)},
      {"number past 9999", Variant::R8(2958466.0), VT_DATE, DISP_E_OVERFLOW, {}},
      {"no-date marker to text", Variant::Date(kNoDate), VT_BSTR, DISP_E_OVERFLOW, {}},
      // empty and null
      {"empty to I4", Variant(), VT_I4, S_OK, Variant::I4(0)},
      {"empty to text", Variant(), VT_BSTR, S_OK, Text(u"")},
      {"null to I4", Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"null to text", Variant::Null(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
      {"unknown type", Variant::I4(1), 0x0FFF, DISP_E_BADVARTYPE, {}},
  };
  for (const Conversion& c : cases) {
    Variant out;
    const HRESULT hr = VariantChangeType(&out, &c.in, 0, c.to);
    EXPECT_EQ(hr, c.hr) << c.name << ": " << HresultName(hr);
    if (c.hr == S_OK && hr == S_OK) {
      EXPECT_TRUE(SameValue(out, c.out)) << c.name;
    }
    if (FAILED(hr)) {
      EXPECT_EQ(out.vt, VT_EMPTY) << c.name << ": a failure leaves the target untouched";
    }
  }
}

TEST(Variant, ChangeTypeInPlaceAndByReference) {
  Variant v = Variant::Utf8("17");
  ASSERT_EQ(v.ChangeType(VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 17);
  // A failed in-place change leaves the value as it was.
  Variant t = Variant::Utf8("x");
  EXPECT_EQ(t.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(t.vt, VT_BSTR);

  LONG target = 99;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &target;
  Variant out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"99");
  Variant copy;
  ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
  EXPECT_EQ(copy.vt, VT_I4);
  EXPECT_EQ(copy.lVal, 99);
  VariantClear(&ref);  // by-reference values are not freed
  EXPECT_EQ(target, 99);
}

TEST(SafeArray, OneDimensionalElementsOwnTheirValues) {
  SafeArray bstrs(VT_BSTR, 2, 1);
  ASSERT_NE(bstrs.Get(), nullptr);
  Bstr hello(u"hello");
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(bstrs.Get(), &i, hello.Get()), S_OK);
  Bstr back;
  ASSERT_EQ(SafeArrayGetElement(bstrs.Get(), &i, back.Out()), S_OK);
  EXPECT_EQ(back.View(), u"hello");
  EXPECT_NE(back.Get(), hello.Get());
  LONG bad = 3;
  EXPECT_EQ(SafeArrayPutElement(bstrs.Get(), &bad, hello.Get()), DISP_E_BADINDEX);
  bad = 0;
  EXPECT_EQ(SafeArrayGetElement(bstrs.Get(), &bad, back.Out()), DISP_E_BADINDEX);
  LONG lo, hi;
  SafeArrayGetLBound(bstrs.Get(), 1, &lo);
  SafeArrayGetUBound(bstrs.Get(), 1, &hi);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 2);

  SafeArray bytes(VT_UI1, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(bytes.Get(), &data), S_OK);
  static_cast<BYTE*>(data)[3] = 7;
  EXPECT_NE(SafeArrayDestroy(bytes.Get()), S_OK);  // locked: refused
  SafeArrayUnaccessData(bytes.Get());

  // A VARIANT holding an array copies it deeply.
  Variant v;
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = bytes.Detach();
  Variant w = v;
  ASSERT_NE(w.parray, v.parray);
  LONG three = 3;
  BYTE b = 0;
  SafeArrayGetElement(w.parray, &three, &b);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);
}

TEST(Guid, ParseAndFormat) {
  GUID g;
  ASSERT_TRUE(ParseGuid("{3ED54087-1700-4947-9722-B11D5DCD3A82}", &g));
  EXPECT_EQ(g.Data1, 0x3ED54087u);
  EXPECT_EQ(g.Data4[7], 0x82);
  EXPECT_EQ(GuidToString(g), "{3ED54087-1700-4947-9722-B11D5DCD3A82}");
  EXPECT_EQ(GuidToLowerString(g), "3ed54087-1700-4947-9722-b11d5dcd3a82");
  GUID h;
  ASSERT_TRUE(ParseGuid("3ed54087-1700-4947-9722-b11d5dcd3a82", &h));
  EXPECT_EQ(g, h);
  for (const char* bad : {"", "{3ED54087-1700-4947-9722-B11D5DCD3A8}", "3ED54087170049479722B11D5DCD3A82",
                          "{3ED54087-1700-4947-9722-B11D5DCD3A8G}", "(3ED54087-1700-4947-9722-B11D5DCD3A82)"}) {
    EXPECT_FALSE(ParseGuid(bad, &h)) << bad;
  }
  const GUID a = NewGuid(), b = NewGuid();
  EXPECT_NE(a, b);
  const std::string s = GuidToLowerString(a);
  EXPECT_EQ(s.size(), 36u);
  EXPECT_EQ(s[14], '4');  // a random (version 4) GUID
  static_assert(Guid("{00000000-0000-0000-C000-000000000046}") == IID_IUnknown);
}
