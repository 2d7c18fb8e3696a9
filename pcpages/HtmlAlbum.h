// The browse album of a disc: a frame set whose left frame lists thumbnails
// six at a time and whose right frame shows one still at a time.
//
//   <destination>/BROWSE.HTM        the frame set
//   <destination>/HTML/TH_0000.HTM  thumbnails 1 to 6, TH_0001.HTM 7 to 12, ...
//   <destination>/HTML/0000.HTM     still 1, 0001.HTM still 2, ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pcpages/LanguageTexts.h"
#include "pcpages/PageSet.h"

namespace vexa::pcpages {

// A still as the album shows it. HtmlPageException for an empty path. Its
// name is what the pages call the photo (its title or the user's file
// name); without one, the still's own file name.
struct HtmlAlbumInfo {
  HtmlAlbumInfo(std::string_view path, int width, int height, std::string_view name = {});
  std::string path;
  std::string name;
  int width;
  int height;
};

struct HtmlThumbInfo {
  HtmlThumbInfo(std::string_view path, int width, int height);
  std::string path;
  int width;
  int height;
};

class HtmlAlbum {
 public:
  // Paths are relative to the root of the page tree. An empty still path
  // fails (non-zero) and adds nothing; an empty thumbnail path uses the still.
  // A position below 0 or beyond the count means the end. The name is what
  // the pages call the photo (HtmlAlbumInfo).
  int Add(std::string_view stillPath, std::string_view thumbPath, int viewWidth, int viewHeight, int thumbWidth,
          int thumbHeight, int position = -1, std::string_view name = {});
  // Index 0 to 2; others are ignored. The first line is the pages' title.
  void SetTitleLine(int index, std::string_view text);
  int Count() const { return static_cast<int>(stills_.size()); }

  // Writes every page under workFolder/destination; a MakeResult. An empty
  // work folder or an empty album fail; the first page that cannot be
  // written ends it (pages written before stay).
  int Make(std::string_view workFolder, std::string_view destination, bool overwrite,
           const LanguageTexts& texts) const;

 private:
  std::vector<HtmlAlbumInfo> stills_;
  std::vector<HtmlThumbInfo> thumbs_;
  std::string titles_[3];
};

}  // namespace vexa::pcpages
