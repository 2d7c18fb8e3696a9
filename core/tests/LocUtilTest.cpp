// The locale utility: the three-letter language of a locale name, the TV
// system of its country, the paper of LC_PAPER, and the COM class that
// hands them out.
#include <stdlib.h>

#include <map>
#include <optional>

#include "core/LocUtil.h"
#include "core/tests/CoreTestSupport.h"
#include "platform/base/Path.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

// Sets environment variables for one test and puts them back afterwards.
class EnvGuard {
 public:
  void Set(const char* name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~EnvGuard() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LocUtilTest, LocaleNamesGiveTheSystemsThreeLetterLanguages) {
  struct Case {
    const char* locale;
    const char* abbreviation;
  };
  for (const Case& c : {Case{"en_US.UTF-8", "ENU"}, Case{"en_GB.UTF-8", "ENG"}, Case{"en_IN", "ENU"},
                        Case{"de_DE.UTF-8@euro", "DEU"}, Case{"de_AT", "DEA"}, Case{"fr_CA.UTF-8", "FRC"},
                        Case{"fr_FR", "FRA"}, Case{"pt_BR", "PTB"}, Case{"pt_PT", "PTG"}, Case{"ja_JP.eucJP", "JPN"},
                        Case{"zh_TW", "CHT"}, Case{"zh_CN.GB18030", "CHS"}, Case{"C", ""}, Case{"POSIX", ""},
                        Case{"C.UTF-8", ""}, Case{"xx_YY", ""}, Case{"", ""}}) {
    EXPECT_EQ(ThreeLetterLanguage(c.locale), c.abbreviation) << c.locale;
  }
  EnvGuard env;
  env.Set("LC_ALL", nullptr);
  env.Set("LC_MESSAGES", "de_CH.UTF-8");
  env.Set("LANG", "en_US.UTF-8");
  EXPECT_EQ(UserThreeLetterLanguage(), "DES");
  env.Set("LC_ALL", "fr_BE.UTF-8");
  EXPECT_EQ(UserThreeLetterLanguage(), "FRB");
  // The C locale (what most Linux systems and containers run in, and what
  // nothing set gives) speaks untranslated US English; an unknown language
  // has no abbreviation.
  for (const char* locale : {"C.UTF-8", "C", "POSIX"}) {
    env.Set("LC_ALL", locale);
    EXPECT_EQ(UserThreeLetterLanguage(), "ENU") << locale;
  }
  env.Set("LC_ALL", nullptr);
  env.Set("LC_MESSAGES", nullptr);
  env.Set("LANG", nullptr);
  EXPECT_EQ(UserThreeLetterLanguage(), "ENU");
  env.Set("LANG", "xx_YY.UTF-8");
  EXPECT_EQ(UserThreeLetterLanguage(), "");
}

TEST(LocUtilTest, TheCountryChoosesTheTVSystemAndThePaper) {
  struct Case {
    const char* territory;
    LONG tv;
    LONG paper;
  };
  for (const Case& c : {Case{"US", VEXALocTVNTSC, VEXALocPaperLetter}, Case{"CA", VEXALocTVNTSC, VEXALocPaperLetter},
                        Case{"JP", VEXALocTVNTSC, VEXALocPaperA4}, Case{"DE", VEXALocTVPAL, VEXALocPaperA4},
                        Case{"GB", VEXALocTVPAL, VEXALocPaperA4}, Case{"BR", VEXALocTVPAL, VEXALocPaperA4},
                        Case{"MX", VEXALocTVNTSC, VEXALocPaperLetter}, Case{"", VEXALocTVPAL, VEXALocPaperA4}}) {
    EXPECT_EQ(TVSystemOfTerritory(c.territory), c.tv) << c.territory;
    EXPECT_EQ(PaperSizeOfTerritory(c.territory), c.paper) << c.territory;
  }
  EnvGuard env;
  env.Set("LC_ALL", nullptr);
  env.Set("LC_PAPER", nullptr);
  env.Set("LANG", "ko_KR.UTF-8");
  EXPECT_EQ(UserTVSystem(), VEXALocTVNTSC);
  EXPECT_EQ(UserPaperSize(), VEXALocPaperA4);
  env.Set("LANG", "it_IT.UTF-8");
  EXPECT_EQ(UserTVSystem(), VEXALocTVPAL);
  env.Set("LC_PAPER", "en_US.UTF-8");
  EXPECT_EQ(UserPaperSize(), VEXALocPaperLetter);
}

TEST(LocUtilTest, ThePaperOfAnInstalledLocaleWins) {
  if (!HaveTool("/usr/bin/localedef")) {
    if (CheckersRequired()) FAIL() << "missing /usr/bin/localedef";
    GTEST_SKIP() << "missing /usr/bin/localedef";
  }
  const std::string dir = base::MakeTempDir("", "vexa-locale-");
  // US data under a German name: the territory says A4, the locale Letter.
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/localedef -i en_US -f UTF-8 " + Quote(dir + "/xx_DE.utf8"), &out), 0) << out;
  EnvGuard env;
  env.Set("LOCPATH", dir.c_str());
  env.Set("LC_ALL", nullptr);
  env.Set("LC_PAPER", "xx_DE.UTF-8");
  EXPECT_EQ(UserPaperSize(), VEXALocPaperLetter);
  base::RemoveAll(dir);
}

class LocUtilClassTest : public CoreTest {};

TEST_F(LocUtilClassTest, TheClassIsCreatedByItsIdAndTakesAThreeLetterLanguage) {
  ComPtr<IVEXALocUtil> loc;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXALocUtil, nullptr, static_cast<CLSCTX>(23), IID_IVEXALocUtil, loc.PutVoid()),
            S_OK);
  Bstr enu(u"ENU"), bad(u"EN"), digits(u"E1U");
  EXPECT_EQ(loc->Init(enu.Get()), S_OK);
  EXPECT_EQ(loc->Init(bad.Get()), E_FAIL);
  ErrorText e = TakeError();
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.Utf8Description(), "CVEXALocUtil::Init - Invalid language abbreviation.");
  EXPECT_EQ(loc->Init(digits.Get()), E_FAIL);
  EXPECT_EQ(loc->Init(nullptr), E_FAIL);

  EnvGuard env;
  env.Set("LC_ALL", "en_CA.UTF-8");
  LONG tv = -1, paper = -1;
  EXPECT_EQ(loc->get_TVSystem(&tv), S_OK);
  EXPECT_EQ(loc->get_PaperSize(&paper), S_OK);
  EXPECT_EQ(tv, 0);
  EXPECT_EQ(paper, 1);
  env.Set("LC_ALL", "nl_NL.UTF-8");
  EXPECT_EQ(loc->get_TVSystem(&tv), S_OK);
  EXPECT_EQ(loc->get_PaperSize(&paper), S_OK);
  EXPECT_EQ(tv, 2);
  EXPECT_EQ(paper, 0);

  // The same through IDispatch.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(loc.As(&dispatch), S_OK);
  DISPPARAMS none{};
  Variant result;
  EXPECT_EQ(dispatch->Invoke(DISPID_VEXALocUtil_TVSystem, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                             nullptr),
            S_OK);
  EXPECT_EQ(result.lVal, 2);
  Variant arg = Variant::String(u"DEU");
  DISPPARAMS one{&arg, nullptr, 1, 0};
  EXPECT_EQ(dispatch->Invoke(DISPID_VEXALocUtil_Init, GUID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
            S_OK);
}

}  // namespace
}  // namespace vexa::core::test
