// The faces and heights of the fonts the gallery's windows use, by font
// role and user-interface language, each overridable in the settings.
#pragma once

#include "gallery/GalleryExport.h"
#include "uicommon/common/Text.h"

class VEXATHUMGALLERY_API CFontMgrInterface : public CFontManager {
 public:
  ~CFontMgrInterface() override;
  virtual HFONT FontForRole(int role) = 0;
  virtual CFontSpec FontSpecForRole(int role) = 0;
};

class VEXATHUMGALLERY_API CFontMgr : public CFontMgrInterface {
 public:
  CFontMgr();
  ~CFontMgr() override;
  HFONT FontForRole(int role) override;
  CFontSpec FontSpecForRole(int role) override;
  // The defaults of a role for a language word ("japanese", "korean", other).
  static CFontSpec DefaultSpec(int role, const std::string& language);
};

// The process's font manager (made on first use).
VEXATHUMGALLERY_API CFontMgr& TheFontMgr();
