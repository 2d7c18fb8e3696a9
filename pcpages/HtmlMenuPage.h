// The home page of the PC part of a disc, <destination>/ALBUM.HTM: the
// first still in a frame, facts about the disc, and the links to the slide
// show, the browse album, the printable PDFs and the help page.
#pragma once

#include <string>
#include <string_view>

#include "pcpages/LanguageTexts.h"
#include "pcpages/PageSet.h"

namespace vexa::pcpages {

class HtmlMenuPage {
 public:
  // The path is relative to the root of the page tree; sizes below 1 are
  // raised to 1.
  void SetPicture(std::string_view path, int width, int height);
  void SetDownloadVersion(std::string_view version);
  void SetTotal(int total) { total_ = total; }
  void SetPageTitle(std::string_view title) { pageTitle_ = title; }
  // Index 0 to 2; others are ignored.
  void SetTitleLine(int index, std::string_view text);
  // The clock the page's date is read from (the real one unless set).
  void SetClock(const base::Clock* clock) { clock_ = clock; }

  // Writes the page; a MakeResult (an empty work folder fails).
  int Make(std::string_view workFolder, std::string_view destination, bool overwrite,
           const LanguageTexts& texts) const;

 private:
  std::string version_ = "0.0.000";
  int total_ = 0;
  std::string picture_;
  int width_ = 1;
  int height_ = 1;
  std::string pageTitle_;
  std::string titles_[3];
  const base::Clock* clock_ = nullptr;
};

}  // namespace vexa::pcpages
