// The nine built-in page templates, compiled in from data/pcpages/templates.
#pragma once

#include <string_view>

namespace vexa::pcpages::templates {

// Browse album: the frame set, a page of six thumbnails, one thumbnail's
// rows, and the page of one still.
extern const std::string_view kAlbumFrame;
extern const std::string_view kAlbumThumbs;
extern const std::string_view kAlbumThumbEntry;
extern const std::string_view kAlbumView;
// Slide show: the frame set, the music page, a running slide and its paused
// twin.
extern const std::string_view kShowFrame;
extern const std::string_view kShowMusic;
extern const std::string_view kShowRunning;
extern const std::string_view kShowPaused;
// The menu page.
extern const std::string_view kMenu;

}  // namespace vexa::pcpages::templates
