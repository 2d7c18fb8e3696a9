#include "pcpages/HtmlAlbum.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "pcpages/Templates.h"

namespace vexa::pcpages {

namespace {

constexpr char kPageFolder[] = "HTML/";
constexpr char kFramePage[] = "BROWSE.HTM";
constexpr int kThumbsPerPage = 6;

std::string ViewPage(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d.HTM", i);
  return buf;
}

std::string ThumbsPage(int k) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "TH_%04d.HTM", k);
  return buf;
}

void AddEmpty(RepTagList& tags, const char* block) {
  tags.Add(block, "");
  tags.Add(std::string("/") + block, "");
}

}  // namespace

HtmlAlbumInfo::HtmlAlbumInfo(std::string_view p, int w, int h, std::string_view n)
    : path(p), name(n.empty() ? FileNameOf(p) : std::string(n)), width(w), height(h) {
  if (path.empty()) throw HtmlPageException("HtmlAlbumInfo: Invalid file name string");
}

HtmlThumbInfo::HtmlThumbInfo(std::string_view p, int w, int h) : path(p), width(w), height(h) {
  if (path.empty()) throw HtmlPageException("HtmlThumbInfo: Invalid file name string");
}

int HtmlAlbum::Add(std::string_view stillPath, std::string_view thumbPath, int viewWidth, int viewHeight,
                   int thumbWidth, int thumbHeight, int position, std::string_view name) {
  if (stillPath.empty()) return 1;
  if (thumbPath.empty()) thumbPath = stillPath;
  try {
    HtmlAlbumInfo still(stillPath, viewWidth, viewHeight, name);
    HtmlThumbInfo thumb(thumbPath, thumbWidth, thumbHeight);
    const std::size_t at =
        position < 0 || static_cast<std::size_t>(position) > stills_.size() ? stills_.size() : position;
    stills_.insert(stills_.begin() + static_cast<std::ptrdiff_t>(at), std::move(still));
    try {
      thumbs_.insert(thumbs_.begin() + static_cast<std::ptrdiff_t>(at), std::move(thumb));
    } catch (...) {
      stills_.erase(stills_.begin() + static_cast<std::ptrdiff_t>(at));  // keep the two lists parallel
      throw;
    }
  } catch (const std::bad_alloc&) {
    throw HtmlPageException("HtmlAlbum: Unable to allocate memory");
  }
  return 0;
}

void HtmlAlbum::SetTitleLine(int index, std::string_view text) {
  if (index < 0 || index > 2) return;
  titles_[index] = text;
}

int HtmlAlbum::Make(std::string_view workFolder, std::string_view destination, bool overwrite,
                    const LanguageTexts& texts) const {
  if (workFolder.empty()) return kNoWorkFolder;
  const int n = Count();
  if (n == 0) return kNothingToMake;
  try {
    const std::string base = std::string(workFolder) + "/" + std::string(destination) + "/";
    const std::string pages = base + kPageFolder;
    const std::string back = RelativePrefix(std::string(destination) + "/" + kPageFolder);

    TemplatePage frame(templates::kAlbumFrame);
    TemplatePage thumbsPage(templates::kAlbumThumbs);
    TemplatePage entry(templates::kAlbumThumbEntry);
    TemplatePage view(templates::kAlbumView);
    for (TemplatePage* p : {&frame, &thumbsPage, &entry, &view}) p->SetPageTitle(titles_[0]);

    RepTagList tags;
    AddCharset(tags);
    AddLanguageText(tags, texts, IDS_VEXAPC_NOFRAME);
    tags.Add("FIRSTSLIDE", NormaliseLink(kPageFolder + ViewPage(0)));
    tags.Add("THUMBSHTM", NormaliseLink(kPageFolder + ThumbsPage(0)));
    if (int r = WritePage(frame, base + kFramePage, tags, {}, overwrite); r != kMade) return r;

    std::string entries;
    for (int i = 0; i < n; ++i) {
      if (i > 0 && i % kThumbsPerPage == 0) {
        const int k = i / kThumbsPerPage - 1;
        tags.Clear();
        AddCharset(tags);
        std::vector<std::string> drop;
        if (k == 0) {
          drop.push_back("PREVSETLINE");
        } else {
          AddEmpty(tags, "PREVSETLINE");
          tags.Add("PREVSET", ThumbsPage(k - 1));
          tags.AddNumber("PREVSETMIN", i - 11);
          tags.AddNumber("PREVSETMAX", i - 6);
        }
        tags.Add("NEXTSET", ThumbsPage(k + 1));
        AddEmpty(tags, "NEXTSETLINE");
        tags.Add("THUMBENTRIES", entries, true);
        tags.AddNumber("NEXTSETMIN", i + 1);
        tags.AddNumber("NEXTSETMAX", std::min(n, i + 6));
        if (int r = WritePage(thumbsPage, pages + ThumbsPage(k), tags, drop, overwrite); r != kMade) return r;
        entries.clear();
      }

      const std::string image = UrlPath(back + stills_[i].path);
      tags.Clear();
      AddCharset(tags);
      AddLanguageText(tags, texts, IDS_VEXAPC_NUMS);
      AddLanguageText(tags, texts, IDS_VEXAPC_PREV);
      AddLanguageText(tags, texts, IDS_VEXAPC_HOME);
      AddLanguageText(tags, texts, IDS_VEXAPC_NEXT);
      tags.Add("PREVSLIDE", ViewPage(i == 0 ? n - 1 : i - 1));
      AddEmpty(tags, "PREVLINE");
      tags.Add("NEXTSLIDE", ViewPage(i == n - 1 ? 0 : i + 1));
      AddEmpty(tags, "NEXTLINE");
      AddEmpty(tags, "METALINE");
      tags.Add("TITLE1", titles_[0]);
      tags.Add("TITLE2", titles_[1]);
      tags.Add("TITLE3", titles_[2]);
      tags.Add("THEIMAGE", image);
      tags.AddNumber("NUM", i + 1);
      tags.AddNumber("NUMPICS", n);
      tags.Add("IMAGENAME", stills_[i].name);
      tags.AddNumber("IMAGEX", stills_[i].width);
      tags.AddNumber("IMAGEY", stills_[i].height);
      if (int r = WritePage(view, pages + ViewPage(i), tags, {}, overwrite); r != kMade) return r;

      tags.Clear();
      tags.AddNumber("IMAGEX", thumbs_[i].width);
      tags.AddNumber("IMAGEY", thumbs_[i].height);
      tags.AddNumber("NUM", i + 1);
      tags.Add("FULLVIEWHTM", ViewPage(i));
      tags.Add("THETHUMB", UrlPath(back + thumbs_[i].path));
      tags.Add("IMAGENAME", stills_[i].name);
      entries += entry.Render(tags);
    }

    const int k = (n - 1) / kThumbsPerPage;
    tags.Clear();
    AddCharset(tags);
    std::vector<std::string> drop;
    if (n >= kThumbsPerPage + 1) {
      const int m = ((n - 1) / kThumbsPerPage) * kThumbsPerPage;
      AddEmpty(tags, "PREVSETLINE");
      tags.Add("PREVSET", ThumbsPage(k - 1));
      tags.AddNumber("PREVSETMIN", m - 5);
      tags.AddNumber("PREVSETMAX", m);
    } else {
      drop.push_back("PREVSETLINE");
    }
    drop.push_back("NEXTSETLINE");
    tags.Add("THUMBENTRIES", entries, true);
    return WritePage(thumbsPage, pages + ThumbsPage(k), tags, drop, overwrite);
  } catch (const std::bad_alloc&) {
    throw HtmlPageException("HtmlAlbum: Unable to allocate memory");
  }
}

}  // namespace vexa::pcpages
