// The six-page wizard window: welcome, select pictures, titles, music,
// settings and finish, with the About button, help through the desktop's
// opener, the renamed Finish button, and the disc-usage estimate the pages
// show.
#pragma once

#include <QPixmap>
#include <QWizard>
#include <cstdint>
#include <string>

#include "wizard/dialogs/SheetView.h"
#include "wizard/pages/WizPage.h"

namespace vexa::wiz {

class CVexaWizXML;
class WizServices;

class CvexaPropSheet : public QWizard, public CvexaSheetView {
  Q_OBJECT
 public:
  // The sheet takes the wizard's services for itself and its pages, and is
  // their sheet (wiz.sheet) while it lives.
  CvexaPropSheet(WizServices& wiz, const QString& caption, QWidget* parent, int firstPage, const QPixmap& watermark,
                 const QPixmap& header);
  ~CvexaPropSheet() override;

  std::int64_t GetDiscSpaceUsed(CVexaWizXML* album = nullptr);
  int GetPercentDiscSpaceUsed(CVexaWizXML* album = nullptr);
  void SetDiscCapacity(std::int64_t bytes) { m_capacity = bytes; }
  std::int64_t GetDiscCapacity() const { return m_capacity; }
  void SetCacheDirectory(const std::string& path) { m_cacheDirectory = path; }
  const std::string& GetCacheDirectory() const { return m_cacheDirectory; }
  bool GetHelpPath();
  const std::string& HelpPath() const { return m_helpPath; }
  std::string SheetHelpPath() const override { return m_helpPath; }
  std::string SheetCacheDirectory() const override { return m_cacheDirectory; }
  QFont SheetFont() const override { return font(); }
  std::int64_t SheetDiscCapacity() const override { return m_capacity; }
  int SheetPercentDiscSpaceUsed(CVexaWizXML* album) override { return GetPercentDiscSpaceUsed(album); }
  // Opens the help page at the active page's anchor.
  void WinHelp();
  void ShowAbout();

  // Runs the sheet modally. It ends only when the wizard ends, not when a
  // page hides the window.
  int RunModal();
  // Cancel, Escape and the close box: with pictures chosen, the user is
  // asked first.
  void reject() override;
  // Ends the wizard as Cancel does, without the question.
  void CloseWithoutAsking();
  void done(int result) override;

  // The sheet keeps one size for every page: the one the user last gave it
  // (settings "wizard"/"windowSize", "width,height"), at least what the
  // largest page needs and at most the screen.
  void RestoreSize();
  void SaveSize();

 protected:
  void showEvent(QShowEvent* event) override;

 signals:
  void aboutRequested();

 private:
  void Init(int firstPage);

  void OnPageChanged(int id);
  // True when the wizard may close: nothing chosen, or the user said Yes.
  bool ConfirmClose();

  WizServices& m_wiz;
  CvexaWizPage* m_shownPage = nullptr;
  bool m_sized = false;
  std::string m_helpPath;
  std::int64_t m_capacity = 650000000;
  std::string m_cacheDirectory;
  bool m_askBeforeClosing = true;
};

}  // namespace vexa::wiz
