#include "pcpages/HtmlSlideShow.h"

#include <cstdio>
#include <new>

#include "pcpages/Templates.h"

namespace vexa::pcpages {

namespace {

constexpr char kPageFolder[] = "HTML/";
constexpr char kFramePage[] = "SHOW.HTM";
constexpr char kMusicPage[] = "MUSIC.HTM";

std::string SlidePage(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "SL_%04d.HTM", i);
  return buf;
}

void AddEmpty(RepTagList& tags, const char* block) {
  tags.Add(block, "");
  tags.Add(std::string("/") + block, "");
}

}  // namespace

HtmlSlideInfo::HtmlSlideInfo(std::string_view p, int s, int w, int h, std::string_view n)
    : path(p), name(n.empty() ? FileNameOf(p) : std::string(n)), seconds(s), width(w), height(h) {
  if (path.empty()) throw HtmlPageException("HtmlSlideInfo: Invalid file name string");
}

int HtmlSlideShow::Add(std::string_view stillPath, int seconds, int width, int height, int position,
                       std::string_view name) {
  if (stillPath.empty()) return 1;
  if (seconds == -1) seconds = 4;
  if (seconds < 0) seconds = 0;
  try {
    HtmlSlideInfo slide(stillPath, seconds, width, height, name);
    const std::size_t at =
        position < 0 || static_cast<std::size_t>(position) > slides_.size() ? slides_.size() : position;
    slides_.insert(slides_.begin() + static_cast<std::ptrdiff_t>(at), std::move(slide));
  } catch (const std::bad_alloc&) {
    throw HtmlPageException("HtmlSlideShow: Unable to allocate memory");
  }
  return 0;
}

void HtmlSlideShow::SetTitleLine(int index, std::string_view text) {
  if (index < 0 || index > 2) return;
  titles_[index] = text;
}

int HtmlSlideShow::Make(std::string_view workFolder, std::string_view destination, bool overwrite,
                        const LanguageTexts& texts) const {
  if (workFolder.empty()) return kNoWorkFolder;
  const int n = Count();
  if (n == 0) return kNothingToMake;
  try {
    const std::string base = std::string(workFolder) + "/" + std::string(destination) + "/";
    const std::string pages = base + kPageFolder;
    const std::string back = RelativePrefix(std::string(destination) + "/" + kPageFolder);
    const std::string& title = pageTitle_.empty() ? titles_[0] : pageTitle_;

    TemplatePage frame(templates::kShowFrame);
    TemplatePage music(templates::kShowMusic);
    TemplatePage running(templates::kShowRunning);
    TemplatePage paused(templates::kShowPaused);
    for (TemplatePage* p : {&frame, &music, &running, &paused}) p->SetPageTitle(title);

    RepTagList tags;
    tags.Add("FIRSTSLIDE", NormaliseLink(kPageFolder + SlidePage(0)));
    tags.Add("MUSICHTM", NormaliseLink(std::string(kPageFolder) + kMusicPage));
    AddCharset(tags);
    if (int r = WritePage(frame, base + kFramePage, tags, {}, overwrite); r != kMade) return r;

    // Without music the page has no player at all (a player whose source
    // is the bare way back would point at a folder).
    tags.Clear();
    std::vector<std::string> drop;
    if (music_.empty()) {
      drop.push_back("MUSICLINE");
    } else {
      AddEmpty(tags, "MUSICLINE");
      tags.Add("MUSICFILE", UrlPath(back + music_));
    }
    AddCharset(tags);
    if (int r = WritePage(music, pages + kMusicPage, tags, drop, overwrite); r != kMade) return r;

    for (int i = 0; i < n; ++i) {
      const HtmlSlideInfo& s = slides_[i];
      tags.Clear();
      AddCharset(tags);
      AddLanguageText(tags, texts, IDS_VEXAPC_NUMS);
      AddLanguageText(tags, texts, IDS_VEXAPC_PREV);
      AddLanguageText(tags, texts, IDS_VEXAPC_HOME);
      AddLanguageText(tags, texts, IDS_VEXAPC_NEXT);
      AddLanguageText(tags, texts, IDS_VEXAPC_PAUSE);
      AddLanguageText(tags, texts, IDS_VEXAPC_RESUME);
      tags.Add("PREVSLIDE", SlidePage(i == 0 ? n - 1 : i - 1));
      AddEmpty(tags, "PREVLINE");
      tags.AddNumber("DURATION", s.seconds);
      tags.Add("NEXTSLIDE", SlidePage(i == n - 1 ? 0 : i + 1));
      AddEmpty(tags, "NEXTLINE");
      tags.Add("CURSLIDE", SlidePage(i));
      tags.Add("THISIMAGE", UrlPath(back + s.path));
      tags.Add("TITLE1", titles_[0]);
      tags.Add("TITLE2", titles_[1]);
      tags.Add("TITLE3", titles_[2]);
      tags.AddNumber("NUMPICS", n);
      tags.AddNumber("NUM", i + 1);
      tags.Add("IMAGENAME", s.name);
      tags.AddNumber("IMAGEX", s.width);
      tags.AddNumber("IMAGEY", s.height);
      if (int r = WritePage(running, pages + SlidePage(i), tags, {}, overwrite); r != kMade) return r;
      if (int r = WritePage(paused, pages + "S" + SlidePage(i), tags, {}, overwrite); r != kMade) return r;
    }
    return kMade;
  } catch (const std::bad_alloc&) {
    throw HtmlPageException("HtmlSlideShow: Unable to allocate memory");
  }
}

}  // namespace vexa::pcpages
