// What the three page generators share: their results, the tags every page
// carries and the language texts as tags.
#pragma once

#include <string>
#include <string_view>

#include "pcpages/LanguageTexts.h"
#include "pcpages/TemplatePage.h"

namespace vexa::pcpages {

// Results of a generator's Make; callers only tell zero from the rest.
enum MakeResult : int {
  kMade = 0,
  kNoWorkFolder = 1,
  kNothingToMake = 2,
  // A page could not be written: kPageNotWritten + the WriteResult.
  kPageNotWritten = 100,
};

// The charset tag every page starts with.
inline void AddCharset(RepTagList& tags) { tags.Add(TextInfo(IDS_VEXAPC_CHARSET).tag, kPageCharset); }

// A language text as the tag it fills: a text of the system, so tags inside
// it are filled by later entries; the texts that carry markup go in raw.
inline void AddLanguageText(RepTagList& tags, const LanguageTexts& texts, TextId id) {
  const TextEntry& e = TextInfo(id);
  if (e.raw) {
    tags.Add(e.tag, texts.Text(id), true);
  } else {
    tags.AddText(e.tag, texts.Text(id));
  }
}

// Writes one page; the result is kMade or kPageNotWritten + the write result.
inline int WritePage(const TemplatePage& page, const std::string& path, const RepTagList& tags,
                     const std::vector<std::string>& drop, bool overwrite) {
  const int r = page.Write(path, tags, drop, overwrite);
  return r == kWritten ? kMade : kPageNotWritten + r;
}

}  // namespace vexa::pcpages
