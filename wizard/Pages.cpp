#include "wizard/Pages.h"

#include <QLabel>
#include <QVBoxLayout>

#include "wizard/ODVisual.h"
#include "wizard/PropSheet.h"
#include "wizard/WizUtil.h"

namespace vexa::wiz {

namespace {

class CvexaBasicPage : public CvexaWizPage {
 public:
  CvexaBasicPage(int templateId, int titleId, int subtitleId, const char* text)
      : CvexaWizPage(templateId, titleId, subtitleId) {
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setWordWrap(true);
    layout->addWidget(label);
    layout->addStretch(1);
  }
};

// The last page: its Finish button hands the session album to the burn driver.
class CvexaFinishPage : public CvexaBasicPage {
 public:
  CvexaFinishPage() : CvexaBasicPage(146, 0, 0, "Press Make Disc to create your disc.") {
    setFinalPage(true);
    setButtonText(QWizard::FinishButton, QString::fromStdString(CVexaWizUtil::LoadString(52, "Make Disc")));
  }
  bool validatePage() override {
    CVexaODVisual* burner = Module().burner.get();
    if (!burner || !burner->EnsureDrive(true)) return false;
    QWidget* sheet = window();
    sheet->hide();
    const bool ok = burner->CreateVCD();
    sheet->show();
    return ok;
  }
};

}  // namespace

void AddWizardPages(QWizard* sheet) {
  sheet->setPage(kPageWelcome, new CvexaBasicPage(107, 0, 0, "Welcome to the disc creator."));
  sheet->setPage(kPageSelectPictures, new CvexaBasicPage(133, 101, 102, ""));
  sheet->setPage(kPageTitles, new CvexaBasicPage(134, 103, 104, ""));
  sheet->setPage(kPageMusic, new CvexaBasicPage(137, 105, 106, ""));
  sheet->setPage(kPageSettings, new CvexaBasicPage(145, 107, 108, ""));
  sheet->setPage(kPageFinish, new CvexaFinishPage());
}

}  // namespace vexa::wiz
