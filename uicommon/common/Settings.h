// User settings of the thumbnail family, by value identifier. Each
// identifier names a section (a subkey) and a value name; every value is kept
// as text under HKEY_CURRENT_USER "Software\Tervane\Lumacast\" + the
// persistence key + "\" + section. Getters never fail: a missing, unreadable
// or empty value gives the caller's default.
#pragma once

#include <QRect>
#include <string>

#include "uicommon/common/CommonExport.h"
#include "uicommon/common/ValueIds.h"

namespace vexa::ui {

VEXATHUMCOMMON_API int GetIntValue(ValueId id, int defaultValue);
VEXATHUMCOMMON_API float GetFloatValue(ValueId id, float defaultValue);
VEXATHUMCOMMON_API std::string GetStrValue(ValueId id, const std::string& defaultValue);
// The value name followed by the number in decimal ("TempDir" and 2: "TempDir2").
VEXATHUMCOMMON_API std::string GetNumberedStrValue(ValueId id, int number,
                                                   const std::string& defaultValue);
VEXATHUMCOMMON_API void PutIntValue(ValueId id, int value);
VEXATHUMCOMMON_API void PutFloatValue(ValueId id, float value);
VEXATHUMCOMMON_API void PutStrValue(ValueId id, const std::string& value);
VEXATHUMCOMMON_API void PutNumberedStrValue(ValueId id, int number, const std::string& value);
// Rectangles are not stored: the getter always gives (0, 0)-(42, 42).
VEXATHUMCOMMON_API QRect GetRectValue(ValueId id, QRect defaultValue);
VEXATHUMCOMMON_API void PutRectValue(ValueId id, QRect value);

// With a name: the key becomes the base path + name, true. With null: the
// key name becomes the running program's file name without folder and
// extension, false.
VEXATHUMCOMMON_API bool SetPersistenceKey(const char* keyName);
// The reading and writing steps under every getter and setter.
VEXATHUMCOMMON_API std::string GetPersistentString(const char* section, const char* valueName,
                                                   const char* defaultValue);
VEXATHUMCOMMON_API void WritePersistentString(std::string section, std::string valueName,
                                              std::string value);

// The user-interface language word: "french", "spanish", "italian",
// "german", "japanese", "korean" or "english".
VEXATHUMCOMMON_API std::string KviGetLanguage();
// The "InstallDir" value of HKLM "Software\Tervane\Lumacast\R48 Scanner\Paths".
VEXATHUMCOMMON_API std::string GetAppDir();

// The section and value name of an identifier; null for one outside the table.
VEXATHUMCOMMON_API const char* SettingSection(int id);
VEXATHUMCOMMON_API const char* SettingName(int id);
// The registry path below HKEY_CURRENT_USER in effect now.
VEXATHUMCOMMON_API std::string PersistenceKey();
// The system's abbreviated language name: three letters in the form the
// language word is taken from ("ENU", "FRA", "JPN"); from the locale of
// LC_ALL, LC_MESSAGES or LANG; "" for the C locale.
VEXATHUMCOMMON_API std::string SystemLanguageAbbreviation();
// The language word for an abbreviation.
VEXATHUMCOMMON_API std::string LanguageFromAbbreviation(const std::string& abbreviation);

}  // namespace vexa::ui
