#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/base/Path.h"
#include "platform/com/Com.h"

namespace vexa::com {
namespace {

TEST(WireTest, ValuesRoundTripAndNullStringsStayNull) {
  const std::u16string texts[] = {u"", u"hello", u"Gr\u00fc\u00dfe", u"\U0001F600 pair", u"a\0b"};
  const GUID g = Guid("{E91B0455-3CA0-4D40-A85A-71748FEB3732}");
  WireWriter w;
  w.U32(0xDEADBEEF);
  w.I32(-7);
  w.Guid(g);
  w.String(static_cast<BSTR>(nullptr));
  for (const auto& t : texts) w.String(std::u16string_view(t.data(), t.size()));

  WireReader r(w.Data());
  std::uint32_t u = 0;
  std::int32_t i = 0;
  GUID back{};
  Bstr s;
  ASSERT_TRUE(r.U32(&u));
  ASSERT_TRUE(r.I32(&i));
  ASSERT_TRUE(r.Guid(&back));
  EXPECT_EQ(u, 0xDEADBEEFu);
  EXPECT_EQ(i, -7);
  EXPECT_EQ(back, g);
  ASSERT_TRUE(r.String(&s));
  EXPECT_TRUE(s.IsNull());
  for (const auto& t : texts) {
    ASSERT_TRUE(r.String(&s));
    EXPECT_FALSE(s.IsNull());
    EXPECT_EQ(s.View(), std::u16string_view(t.data(), t.size()));
  }
  EXPECT_TRUE(r.AtEnd());
}

TEST(WireTest, ShortOrMalformedMessagesAreRefused) {
  WireWriter w;
  w.String(std::u16string_view(u"abc"));
  const std::string full = w.Data();
  // Every cut of a string fails to read instead of reading past the end.
  for (std::size_t n = 0; n < full.size(); ++n) {
    WireReader r(std::string_view(full).substr(0, n));
    Bstr s;
    EXPECT_FALSE(r.String(&s)) << n;
  }
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"unknown presence byte", std::string("\x02\x00\x00\x00\x00", 5)},
      {"length beyond the data", std::string("\x01\xFF\xFF\xFF\x7F" "ab", 7)},
  };
  for (const Case& c : cases) {
    WireReader r(c.bytes);
    Bstr s;
    EXPECT_FALSE(r.String(&s)) << c.name;
  }
  WireReader shortGuid(std::string(15, 'x'));
  GUID g;
  EXPECT_FALSE(shortGuid.Guid(&g));
}

TEST(LocalServerTest, ServerThatCannotStartFailsCreation) {
  const std::string dir = base::MakeTempDir("", "vexa-runtime-");
  ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  std::unique_ptr<LocalServerChannel> channel;
  const CLSID clsid = Guid("{6C1F6E2A-43B1-4F0E-9A57-2D3B8E51C0FF}");
  EXPECT_EQ(LocalServerChannel::Connect(clsid, dir + "/no-such-server", IID_IUnknown, &channel),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_FALSE(channel);
  ::unsetenv("XDG_RUNTIME_DIR");
  base::RemoveAll(dir);
}

}  // namespace
}  // namespace vexa::com
