// The finish page: the summary of the disc about to be made and the "Make Disc"
// button that hands the job to the burn driver.
#include "wizard/pages/PageCommon.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <cstdlib>
#include <cstring>

#include "platform/base/Text.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/pages/PropSheet.h"
#include "wizard/dialogs/SheetView.h"
#include "wizard/session/DiscEstimate.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/state/DiscSummary.h"
#include "wizard/ui/Meter.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {

class CvexaPropPageFinish : public CvexaWizPage {
 public:
  explicit CvexaPropPageFinish(WizServices& wiz) : CvexaWizPage(wiz, 146, 0, 0) {
    LoadForm(m_wiz, this, 146);
    setFinalPage(true);
    if (auto* heading = Ctl<CvexaLabel>(this, 1130)) {
      heading->SetFont(QText(m_wiz, 155, "Verdana"), std::atoi(m_wiz.LoadString(157, "120").c_str()), true, false,
                       false);
      heading->SetBackgroundColor(Qt::white);
    }
    m_summary = Ctl<QPlainTextEdit>(this, 1067);
    m_meter = PlaceMeter(m_wiz, this, 1129);
    setButtonText(QWizard::FinishButton, QText(m_wiz, 52, "Make Disc"));
  }

  void OnSetActive() override {
    BringSheetToTop(this);
    LONG count = 0;
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->GetImageCount(&count))
      m_wiz.LogError("CvexaPropPageFinish::OnSetActive - CVexaWizXML::GetImageCount() call failed", false);
    std::string text;
    m_summaryOk = GetSummary(&text);
    m_hasImages = count >= 1;
    if (m_summary) m_summary->setPlainText(m_summaryOk ? QString::fromStdString(text) : QString());
    emit completeChanged();
    if (!m_summaryOk) {
      ShowFailureMessage(m_wiz);
      return;
    }
    RefreshMeter(m_wiz, m_meter);
  }
  bool isComplete() const override { return m_summaryOk && m_hasImages; }

  bool GetSummary(std::string* out) { return BuildDiscSummary(m_wiz, out); }

  bool validatePage() override {
    // Making the disc and coming back from a failed burn both pump
    // messages: Make Disc pressed meanwhile is not a second burn.
    if (m_making) return false;
    m_making = true;
    const auto done = qScopeGuard([this] { m_making = false; });
    // Over the usage estimate the disc engine's own estimate decides, before
    // anything is refused.
    if (!m_meter->Update(m_meter->GetPercent(), false) && !EngineFindsRoom()) return false;
    CvexaPropSheet* sheet = m_wiz.sheet;
    if (sheet)
      m_wiz.LogInfo(Format("CVexaPropPageFinish::CreateVCD - Pre-burn disc usage estimate: %lld bytes or %d%%",
                                   static_cast<long long>(sheet->GetDiscSpaceUsed()), sheet->GetPercentDiscSpaceUsed()));
    QWidget* window = this->window();
    window->hide();
    CVexaWizUtil::PumpMessages();
    CVexaODVisual* burner = m_wiz.burner.get();
    if (!burner || !burner->EnsureDrive(true)) {
      // No writer: back to the settings page. The way back lets waiting
      // events run (each page brings the sheet to the top); until it ends
      // the window shows that it takes no input, as after a failed burn,
      // and a press meanwhile is let go.
      if (auto* wizard = qobject_cast<QWizard*>(window)) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto ready = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        window->show();
        const QList<int> visited = wizard->visitedIds();
        if (visited.contains(kPageSettings)) {
          while (wizard->currentId() != kPageSettings) wizard->back();
        } else {
          // The settings page was never shown: the wizard starts again there.
          wizard->setStartId(kPageSettings);
          wizard->restart();
        }
      }
      return false;
    }
    if (burner->CreateVCD()) return true;
    return Recover(window);
  }

 private:
  bool Recover(QWidget* window) {
    m_wiz.LogError("CvexaPropPageFinish::OnWizardFinish - Visual CreateVCD call failed.", false);
    window->show();
    window->raise();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CVexaWizUtil::PumpMessages();
    auto end = [&](const char* text) {
      QApplication::restoreOverrideCursor();
      m_wiz.LogError(text, false);
      return true;
    };
    WizServices& m = m_wiz;
    if (!m.burner) return end("CvexaPropPageFinish::OnWizardFinish - Cannot create Visual class.");
    std::string remembered;
    if (!m.burner->GetDrivePath(&remembered)) remembered.clear();
    m.burner.reset();
    // A cancellation inside the orchestrator stays the caller's answer.
    const VEXAWizErrorCode code = m.errorCode;
    m.burner = std::make_unique<CVexaODVisual>(m_wiz);
    m.errorCode = code;
    if (!m.burner->Init()) {
      m.burner.reset();
      m.errorCode = code;
      return end("CvexaPropPageFinish::OnWizardFinish - Visual Init call failed.");
    }
    m.errorCode = code;
    if (!remembered.empty()) {
      std::string current;
      if (!m.burner->GetDrivePath(&current)) {
        current = remembered;
        m_wiz.LogError("CvexaPropPageFinish::OnWizardFinish - Visual GetDrivePath call failed.", false);
      }
      const std::string first = current;
      while (!base::EqualsNoCase(current, remembered)) {
        if (!m.burner->GetNextDrive(false)) {
          m_wiz.LogError("CvexaPropPageFinish::OnWizardFinish - Visual GetNextDrive call failed.", false);
          break;
        }
        if (!m.burner->GetDrivePath(&current)) {
          current = remembered;
          m_wiz.LogError("CvexaPropPageFinish::OnWizardFinish - Visual GetDrivePath(2) call failed.", false);
        }
        if (base::EqualsNoCase(current, first)) break;
      }
    }
    window->raise();
    CVexaWizUtil::PumpMessages();
    // The window takes input again only now: a press while it was coming
    // back has been let go by validatePage.
    QApplication::restoreOverrideCursor();
    return false;
  }

  // Whether the disc engine finds room for the album on the largest disc it
  // writes. The usage estimate is a quick model on the high side; the
  // engine's is the one the disc is later checked with. A disc it finds
  // room for is made; one it does not is refused, with its figures.
  bool EngineFindsRoom() {
    EngineRoom room;
    const bool asked = AskEngineForRoom(m_wiz, &room);
    if (asked && room.Fits()) {
      m_wiz.LogInfo(Format("CVexaPropPageFinish::CreateVCD - Above the usage estimate, the disc engine estimates the "
                           "image at %lld of the %lld sectors of a disc: the disc is made",
                           static_cast<long long>(room.sectors), static_cast<long long>(room.discSectors)));
      return true;
    }
    std::string text =
        OverCapacityText(m_wiz, m_wiz.sheetView ? m_wiz.sheetView->SheetDiscCapacity() : kDefaultDiscCapacity);
    if (asked) {
      // The two numbers go where the text has its marks, in order.
      std::string found = m_wiz.LoadString(
          4602, "The disc engine estimates the disc image at %lld sectors; the largest disc it writes holds %lld.");
      for (std::int64_t number : {room.sectors, room.discSectors}) {
        const std::size_t at = found.find("%lld");
        if (at != std::string::npos) found.replace(at, 4, std::to_string(number));
      }
      text += "\r\n\r\n" + found;
    }
    CvexaMessageBox box(m_wiz);
    box.Show(MB_OK, text, true, false, true);
    return false;
  }

  QPlainTextEdit* m_summary = nullptr;
  CvexaDiscUsageDlg* m_meter = nullptr;
  bool m_summaryOk = false;
  bool m_hasImages = false;
  bool m_making = false;  // validatePage is running
};

}  // namespace

QWizardPage* CreateFinishPage(WizServices& wiz) { return new CvexaPropPageFinish(wiz); }

}  // namespace vexa::wiz
