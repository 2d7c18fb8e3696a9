#include "pcpages/HtmlMenuPage.h"

#include <algorithm>
#include <new>

#include "platform/base/Text.h"
#include "pcpages/Templates.h"

namespace vexa::pcpages {

namespace {
constexpr char kPageName[] = "ALBUM.HTM";
constexpr std::size_t kVersionChars = 99;
}  // namespace

void HtmlMenuPage::SetPicture(std::string_view path, int width, int height) {
  picture_ = path;
  width_ = std::max(width, 1);
  height_ = std::max(height, 1);
}

void HtmlMenuPage::SetDownloadVersion(std::string_view version) {
  version_ = base::Utf8CutChars(version, kVersionChars);
}

void HtmlMenuPage::SetTitleLine(int index, std::string_view text) {
  if (index < 0 || index > 2) return;
  titles_[index] = text;
}

int HtmlMenuPage::Make(std::string_view workFolder, std::string_view destination, bool overwrite,
                       const LanguageTexts& texts) const {
  if (workFolder.empty()) return kNoWorkFolder;
  try {
    const std::string path = std::string(workFolder) + "/" + std::string(destination) + "/" + kPageName;
    TemplatePage page(templates::kMenu);
    page.SetPageTitle(pageTitle_.empty() ? titles_[0] : pageTitle_);
    page.SetClock(clock_);

    RepTagList tags;
    tags.AddNumber("IMAGEX", width_);
    tags.AddNumber("IMAGEY", height_);
    AddCharset(tags);
    for (TextId id : {IDS_VEXAPC_CREATED, IDS_VEXAPC_BRAG, IDS_VEXAPC_VERSION, IDS_VEXAPC_TOTAL, IDS_VEXAPC_MOST,
                      IDS_VEXAPC_START, IDS_VEXAPC_BROWSE, IDS_VEXAPC_THUMBS, IDS_VEXAPC_PICTURES,
                      IDS_VEXAPC_JWLCASE, IDS_VEXAPC_GETHELP, IDS_VEXAPC_DISCLAIM}) {
      AddLanguageText(tags, texts, id);
    }
    tags.Add("TITLE1", titles_[0]);
    tags.Add("TITLE2", titles_[1]);
    tags.Add("TITLE3", titles_[2]);
    tags.Add("DOWNLOADVERSION", version_);
    tags.AddNumber("NUMPICS", total_);
    std::vector<std::string> drop;
    if (!picture_.empty()) {
      tags.Add("FIRSTSLIDE", UrlPath(RelativePrefix(destination) + picture_));
      tags.Add("FIRSTSLIDELINE", "");
      tags.Add("/FIRSTSLIDELINE", "");
    } else {
      // Without a still the frame stays empty: the picture and its link
      // are in the dropped block, so no link points at nothing.
      drop.push_back("FIRSTSLIDELINE");
    }
    return WritePage(page, path, tags, drop, overwrite);
  } catch (const std::bad_alloc&) {
    throw HtmlPageException("HtmlMenuPage: Unable to allocate memory");
  }
}

}  // namespace vexa::pcpages
