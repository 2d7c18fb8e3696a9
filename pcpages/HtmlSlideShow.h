// The slide show of a disc: a frame set with a hidden music frame and a
// slide frame, and for every still a running page that moves on by itself
// after the still's display time and a paused twin that does not.
//
//   <destination>/SHOW.HTM            the frame set
//   <destination>/HTML/MUSIC.HTM      the music (a page without a player when
//                                     there is no music)
//   <destination>/HTML/SL_0000.HTM    slide 1 running, SSL_0000.HTM paused, ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pcpages/LanguageTexts.h"
#include "pcpages/PageSet.h"

namespace vexa::pcpages {

// A slide. HtmlPageException for an empty path. Its name is what the page
// calls the photo (its title or the user's file name); without one, the
// still's own file name.
struct HtmlSlideInfo {
  HtmlSlideInfo(std::string_view path, int seconds, int width, int height, std::string_view name = {});
  std::string path;
  std::string name;
  int seconds;
  int width;
  int height;
};

class HtmlSlideShow {
 public:
  // An empty still path fails (non-zero) and adds nothing. A display time of
  // -1 means 4 seconds, any other negative time 0. A position below 0 or
  // beyond the count means the end. The name is what the pages call the
  // photo (HtmlSlideInfo).
  int Add(std::string_view stillPath, int seconds, int width, int height, int position = -1,
          std::string_view name = {});
  void SetMusicFile(std::string_view path) { music_ = path; }
  void SetPageTitle(std::string_view title) { pageTitle_ = title; }
  // Index 0 to 2; others are ignored.
  void SetTitleLine(int index, std::string_view text);
  int Count() const { return static_cast<int>(slides_.size()); }
  const std::string& PageTitle() const { return pageTitle_; }

  // Writes every page under workFolder/destination; a MakeResult.
  int Make(std::string_view workFolder, std::string_view destination, bool overwrite,
           const LanguageTexts& texts) const;

 private:
  std::vector<HtmlSlideInfo> slides_;
  std::string music_;
  std::string pageTitle_;
  std::string titles_[3];
};

}  // namespace vexa::pcpages
