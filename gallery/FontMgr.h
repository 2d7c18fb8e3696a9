// The faces and heights of the fonts the gallery's windows use, by font
// role and user-interface language, each overridable in the settings.
#pragma once

#include "gallery/GalleryExport.h"
#include "uicommon/common/Text.h"

namespace vexa::gallery {

class VEXATHUMGALLERY_API CFontMgrInterface : public ui::CFontManager {
 public:
  ~CFontMgrInterface() override;
  virtual ui::HFONT FontForRole(int role) = 0;
  virtual ui::CFontSpec FontSpecForRole(int role) = 0;
};

class VEXATHUMGALLERY_API CFontMgr : public CFontMgrInterface {
 public:
  CFontMgr();
  ~CFontMgr() override;
  ui::HFONT FontForRole(int role) override;
  ui::CFontSpec FontSpecForRole(int role) override;
  // The defaults of a role for a language word ("japanese", "korean", other).
  static ui::CFontSpec DefaultSpec(int role, const std::string& language);
};

// The process's font manager (made on first use).
VEXATHUMGALLERY_API CFontMgr& TheFontMgr();

}  // namespace vexa::gallery
