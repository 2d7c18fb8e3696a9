// What the wizard's dialogs and meters read from the running sheet: the
// help page, the cache folder, the font, the disc capacity and the
// disc-usage estimate. The sheet implements
// it and leaves itself in WizServices::sheetView while it lives, so the
// dialogs need not know the sheet or its pages.
#pragma once

#include <QFont>
#include <cstdint>
#include <string>

namespace vexa::wiz {

class CVexaWizXML;
class WizServices;

class CvexaSheetView {
 public:
  virtual std::string SheetHelpPath() const = 0;
  virtual std::string SheetCacheDirectory() const = 0;
  virtual QFont SheetFont() const = 0;
  virtual std::int64_t SheetDiscCapacity() const = 0;
  // The album's share of the disc in percent (the session album when null).
  virtual int SheetPercentDiscSpaceUsed(CVexaWizXML* album) = 0;

 protected:
  ~CvexaSheetView() = default;
};

// What the user is told when the desktop cannot open the help page.
std::string HelpNotOpenedText(const WizServices& wiz, const std::string& helpPath);

}  // namespace vexa::wiz
