#include "core/LocUtil.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>

#include "core/DispatchArgs.h"
#include "platform/base/Text.h"

namespace vexa::core {

namespace {

using namespace vexa::com;

struct LanguageEntry {
  const char* language;
  const char* territory;  // "" for the language's default
  const char* abbreviation;
};

// The abbreviations the system's language libraries are named by.
constexpr LanguageEntry kLanguages[] = {
    {"en", "US", "ENU"}, {"en", "GB", "ENG"}, {"en", "AU", "ENA"}, {"en", "CA", "ENC"}, {"en", "NZ", "ENZ"},
    {"en", "IE", "ENI"}, {"en", "ZA", "ENS"}, {"en", "", "ENU"},   {"de", "DE", "DEU"}, {"de", "AT", "DEA"},
    {"de", "CH", "DES"}, {"de", "LU", "DEL"}, {"de", "", "DEU"},   {"fr", "FR", "FRA"}, {"fr", "CA", "FRC"},
    {"fr", "BE", "FRB"}, {"fr", "CH", "FRS"}, {"fr", "LU", "FRL"}, {"fr", "", "FRA"},   {"it", "CH", "ITS"},
    {"it", "", "ITA"},   {"es", "MX", "ESM"}, {"es", "", "ESP"},   {"nl", "BE", "NLB"}, {"nl", "", "NLD"},
    {"pt", "BR", "PTB"}, {"pt", "", "PTG"},   {"sv", "", "SVE"},   {"da", "", "DAN"},   {"nb", "", "NOR"},
    {"no", "", "NOR"},   {"nn", "", "NON"},   {"fi", "", "FIN"},   {"ja", "", "JPN"},   {"ko", "", "KOR"},
    {"zh", "TW", "CHT"}, {"zh", "HK", "ZHH"}, {"zh", "", "CHS"},   {"pl", "", "PLK"},   {"ru", "", "RUS"},
    {"cs", "", "CSY"},   {"hu", "", "HUN"},   {"tr", "", "TRK"},   {"el", "", "ELL"},   {"is", "", "ISL"},
    {"sk", "", "SKY"},   {"sl", "", "SLV"},   {"ca", "", "CAT"},   {"he", "", "HEB"},   {"ar", "", "ARA"},
};

// Territories whose television is NTSC (or NTSC-compatible).
constexpr const char* kNtscTerritories[] = {
    "US", "CA", "MX", "JP", "KR", "TW", "PH", "CO", "PE", "VE", "EC", "CL", "BO", "CR", "CU",
    "DO", "SV", "GT", "HN", "NI", "PA", "PR", "GU", "AS", "VI", "MM", "BS", "BB", "JM", "TT",
    "BZ", "SR", "AG", "DM", "GD", "KN", "LC", "VC", "AW", "MP", "FM", "MH", "PW"};

// Territories whose paper is US Letter.
constexpr const char* kLetterTerritories[] = {"US", "CA", "MX", "CL", "CO", "VE", "PH", "PR",
                                              "CR", "DO", "GT", "HN", "NI", "PA", "SV", "BZ"};

template <std::size_t N>
bool Contains(const char* const (&list)[N], std::string_view t) {
  for (const char* x : list) {
    if (t == x) return true;
  }
  return false;
}

}  // namespace

std::string LocaleName(const char* categoryVariable) {
  for (const char* name : {"LC_ALL", categoryVariable, "LANG"}) {
    if (!name) continue;
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return {};
}

void SplitLocaleName(std::string_view name, std::string* language, std::string* territory) {
  const std::size_t end = name.find_first_of(".@");
  if (end != std::string_view::npos) name = name.substr(0, end);
  const std::size_t us = name.find('_');
  *language = base::ToLowerAscii(name.substr(0, us));
  *territory = us == std::string_view::npos ? std::string() : base::ToUpperAscii(name.substr(us + 1));
}

std::string ThreeLetterLanguage(std::string_view localeName) {
  std::string language, territory;
  SplitLocaleName(localeName, &language, &territory);
  if (language.empty() || language == "c" || language == "posix") return {};
  for (const auto& e : kLanguages) {
    if (language == e.language && (territory == e.territory || !*e.territory)) return e.abbreviation;
  }
  return {};
}

std::string UserThreeLetterLanguage() {
  const std::string name = LocaleName("LC_MESSAGES");
  std::string language, territory;
  SplitLocaleName(name, &language, &territory);
  if (language.empty() || language == "c" || language == "posix") return "ENU";
  return ThreeLetterLanguage(name);
}

LONG TVSystemOfTerritory(std::string_view territory) {
  return Contains(kNtscTerritories, territory) ? VEXALocTVNTSC : VEXALocTVPAL;
}

LONG PaperSizeOfTerritory(std::string_view territory) {
  return Contains(kLetterTerritories, territory) ? VEXALocPaperLetter : VEXALocPaperA4;
}

LONG UserPaperSize() {
  const std::string name = LocaleName("LC_PAPER");
  std::string language, territory;
  SplitLocaleName(name, &language, &territory);
  if (!name.empty() && language != "c" && language != "posix") {
    // The locale's own paper, when its data is installed.
    if (locale_t loc = newlocale(LC_PAPER_MASK, name.c_str(), static_cast<locale_t>(nullptr))) {
      // These items are numbers in the low 32 bits of the answer.
      const auto width = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(nl_langinfo_l(_NL_PAPER_WIDTH, loc)));
      const auto height =
          static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(nl_langinfo_l(_NL_PAPER_HEIGHT, loc)));
      freelocale(loc);
      if (width == 216 && height == 279) return VEXALocPaperLetter;
      if (width == 210 && height == 297) return VEXALocPaperA4;
    }
  }
  return PaperSizeOfTerritory(territory);
}

LONG UserTVSystem() {
  std::string language, territory;
  SplitLocaleName(LocaleName(nullptr), &language, &territory);
  return TVSystemOfTerritory(territory);
}

namespace {

class CVEXALocUtil : public ComObjectRoot,
                     public DispatchImpl<CVEXALocUtil, IVEXALocUtil>,
                     public SupportErrorInfoImpl<IVEXALocUtil> {
 public:
  using Interfaces = InterfaceMap<IVEXALocUtil, Via<IDispatch, IVEXALocUtil>, ISupportErrorInfo>;

  static std::span<const DispatchEntry<CVEXALocUtil>> DispatchTable() {
    static const DispatchEntry<CVEXALocUtil> kTable[] = {
        DispMethod<CVEXALocUtil>(DISPID_VEXALocUtil_Init, u"Init", &dispatch::Invoke<&CVEXALocUtil::Init>),
        DispProperty<&CVEXALocUtil::get_TVSystem>(DISPID_VEXALocUtil_TVSystem, u"TVSystem"),
        DispProperty<&CVEXALocUtil::get_PaperSize>(DISPID_VEXALocUtil_PaperSize, u"PaperSize"),
    };
    return kTable;
  }

  HRESULT Init(BSTR language) override {
    const std::string text = BstrToUtf8(language);
    bool valid = text.size() == 3;
    for (char c : text) valid = valid && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    if (!valid) {
      return ReportError(CLSID_VEXALocUtil, std::string_view("CVEXALocUtil::Init - Invalid language abbreviation."),
                         IID_IVEXALocUtil, E_FAIL);
    }
    language_ = base::ToUpperAscii(text);
    return S_OK;
  }
  HRESULT get_TVSystem(LONG* pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = UserTVSystem();
    return S_OK;
  }
  HRESULT get_PaperSize(LONG* pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = UserPaperSize();
    return S_OK;
  }

 private:
  std::string language_ = "ENU";
};

}  // namespace

HRESULT CreateVEXALocUtil(REFIID iid, void** ppv) { return ComObject<CVEXALocUtil>::CreateInstance(iid, ppv); }

}  // namespace vexa::core
