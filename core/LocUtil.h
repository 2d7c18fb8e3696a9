// The locale utility VEXALocUtil: the regional defaults of the user's locale
// for the orchestrator and the wizard. The TV system follows the country of
// the locale, the paper size the locale's paper (LC_PAPER), and the
// three-letter language the language of the messages.
#pragma once

#include <string>
#include <string_view>

#include "idl/vexacore.h"

namespace vexa::core {

// The locale name in effect for a category: LC_ALL, then the category's own
// variable, then LANG. "" when none is set.
std::string LocaleName(const char* categoryVariable);
// "en_US.UTF-8@euro" -> language "en", territory "US" (either may be empty).
void SplitLocaleName(std::string_view name, std::string* language, std::string* territory);

// The system's three-letter language abbreviation of a locale name ("en_US"
// -> "ENU", "de_DE" -> "DEU", "fr_CA" -> "FRC"). "" when the language is not
// known (or the locale is "C" / "POSIX").
std::string ThreeLetterLanguage(std::string_view localeName);
// Of the user's locale (LC_ALL, LC_MESSAGES, LANG). The "C" / "POSIX"
// locale, which is also what no setting gives, shows programs' texts
// untranslated, in US English: "ENU". "" for a language the system has no
// abbreviation for.
std::string UserThreeLetterLanguage();

// 0 (NTSC) or 2 (PAL) for a territory; an unknown territory is PAL.
LONG TVSystemOfTerritory(std::string_view territory);
// 0 (A4) or 1 (Letter) for a territory.
LONG PaperSizeOfTerritory(std::string_view territory);
// 0 (A4) or 1 (Letter) from the paper of the user's LC_PAPER locale, or from
// its territory when the locale's data is not installed.
LONG UserPaperSize();
// 0 (NTSC) or 2 (PAL) from the territory of the user's locale.
LONG UserTVSystem();

HRESULT CreateVEXALocUtil(REFIID iid, void** ppv);

}  // namespace vexa::core
