// The settings page: the TV system, the time each picture is shown, the CD
// writer and its recording speed.
#include "wizard/pages/PageCommon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <algorithm>

#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/state/DiscSettings.h"
#include "wizard/ui/Meter.h"

namespace vexa::wiz {

namespace {

class CvexaPropPageSetupSettings : public CvexaWizPage {
 public:
  explicit CvexaPropPageSetupSettings(WizServices& wiz) : CvexaWizPage(wiz, 145, 107, 108) {
    LoadForm(m_wiz, this, 145);
    m_ntsc = Ctl<QRadioButton>(this, 1058);
    m_pal = Ctl<QRadioButton>(this, 1059);
    m_delay = Ctl<QComboBox>(this, 1053);
    m_speed = Ctl<QComboBox>(this, 1057);
    m_writer = Ctl<QLabel>(this, 1135);
    if (!m_ntsc || !m_pal || !m_delay || !m_speed || !m_writer) return;
    for (int s = DiscSettings::kMinDelay; s <= DiscSettings::kMaxDelay; ++s) m_delay->addItem(QString::number(s));
    m_settings.Load(m_wiz, [this] { ShowFailureMessage(m_wiz); });
    m_delay->setCurrentIndex(m_settings.delay - DiscSettings::kMinDelay);
    (m_settings.pal ? m_pal : m_ntsc)->setChecked(true);
    m_meter = PlaceMeter(m_wiz, this, 1128);
    connect(m_delay, &QComboBox::activated, this, [this] { SaveAndRefresh(); });
    connect(m_speed, &QComboBox::activated, this, [this] { SaveAndRefresh(); });
    connect(m_ntsc, &QRadioButton::toggled, this, [this] { SaveAndRefresh(); });
    if (auto* change = Ctl<QAbstractButton>(this, 1134))
      connect(change, &QAbstractButton::clicked, this, [this] { ChangeWriter(); });
  }

  void OnSetActive() override {
    if (!m_ntsc) return;
    BringSheetToTop(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!ResetDriveSpeedCombo())
      m_wiz.LogError("CvexaPropPageSetupSettings::OnSetActive - ResetDriveSpeedCombo()", false);
    ShowWriter("CvexaPropPageSetupSettings::OnSetActive - CVexaODVisual::GetDriveDescription() call failed");
    SaveAndRefresh();
    QApplication::restoreOverrideCursor();
  }
  void OnLeave() override { SaveSettings(); }
  void OnCancel() override { SaveSettings(); }

 private:
  void ShowWriter(const char* failure) {
    std::string text;
    CVexaODVisual* burner = m_wiz.burner.get();
    if (!burner || !burner->GetDriveDescription(&text) || text.empty()) {
      m_wiz.LogError(failure, false);
      text = m_wiz.LoadString(4500, "None");
    }
    m_writer->setText(QString::fromStdString(text));
  }

  QString SpeedText(LONG speed) { return FormatCount(m_wiz, 4499, "%ldx", speed); }

  bool ResetDriveSpeedCombo() {
    m_speed->clear();
    return m_settings.LoadSpeeds(m_wiz, [this] {
      m_speed->clear();
      for (LONG s : m_settings.speeds) m_speed->addItem(SpeedText(s));
      m_speed->setCurrentIndex(m_settings.speedIndex);
      SaveAndRefresh();
    });
  }

  void SaveSettings() {
    if (!m_ntsc) return;
    m_settings.delay = m_delay->currentText().toInt();
    m_settings.pal = !m_ntsc->isChecked();
    const int i = m_speed->currentIndex();
    m_settings.speedIndex = i >= 0 && i < static_cast<int>(m_settings.speeds.size()) ? i : -1;
    m_settings.Save(m_wiz, [this] { ShowFailureMessage(m_wiz); });
  }

  void SaveAndRefresh() {
    SaveSettings();
    RefreshMeter(m_wiz, m_meter);
  }

  void ChangeWriter() {
    SaveSettings();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CVexaODVisual* burner = m_wiz.burner.get();
    if (!burner || !burner->GetNextDrive(false)) {
      m_wiz.LogError(
          "CvexaPropPageSetupSettings::OnButtonSetupsettingsChangeWriter - CVexaODVisual::GetNextDrive call failed",
          false);
    } else {
      ShowWriter(
          "CvexaPropPageSetupSettings::OnButtonSetupsettingsChangeWriter - CVexaODVisual::GetDriveDescription() call "
          "failed");
      if (!ResetDriveSpeedCombo())
        m_wiz.LogError(
            "CvexaPropPageSetupSettings::OnButtonSetupsettingsChangeWriter - CVexaODVisual::ResetDriveSpeedCombo() "
            "call failed",
            false);
    }
    QApplication::restoreOverrideCursor();
  }

  QRadioButton *m_ntsc = nullptr, *m_pal = nullptr;
  QComboBox *m_delay = nullptr, *m_speed = nullptr;
  QLabel* m_writer = nullptr;
  CvexaDiscUsageDlg* m_meter = nullptr;
  DiscSettings m_settings;
};

}  // namespace

QWizardPage* CreateSettingsPage(WizServices& wiz) { return new CvexaPropPageSetupSettings(wiz); }

}  // namespace vexa::wiz
