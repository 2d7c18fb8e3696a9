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
    for (int s = 2; s <= 10; ++s) m_delay->addItem(QString::number(s));
    m_delay->setCurrentIndex(3);
    bool shown = false;
    LONG delay = -1;
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->GetStillDelay(&delay)) {
      m_wiz.LogError("CvexaPropPageSetupSettings::OnInitDialog() - CVexaWizXML::GetStillDelay() call failed",
                             false);
      ShowFailureMessage(m_wiz);
      shown = true;
    } else if (delay >= 2 && delay <= 10) {
      m_delay->setCurrentIndex(delay - 2);
    } else if (delay >= 0) {
      // Only the listed delays can be chosen; any other shows the default.
      m_wiz.LogInfo(Format("CvexaPropPageSetupSettings::OnInitDialog() - Stored delay %d is outside 2 to 10; "
                                   "showing 5.",
                                   static_cast<int>(delay)));
    }
    LONG localeTv = VEXALocTVNTSC;
    if (!m_wiz.locUtil || FAILED(m_wiz.locUtil->get_TVSystem(&localeTv)))
      m_wiz.LogError("CvexaPropPageSetupSettings::OnInitDialog - Call to IVEXALocUtil::get_TVSystem() failed.",
                             true);
    (localeTv == 1 || localeTv == 2 ? m_pal : m_ntsc)->setChecked(true);
    LONG tv = VEXAWizTVINVALID;
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->GetTVSystem(&tv)) {
      m_wiz.LogError("CvexaPropPageSetupSettings::OnInitDialog() - CVexaWizXML::GetTVSystem() call failed",
                             false);
      if (!shown) ShowFailureMessage(m_wiz);
    } else if (tv >= VEXAWizTVNTSC && tv <= VEXAWizTVSECAM) {
      // SECAM is made as PAL, FILM as NTSC.
      (MapTVSystem(tv) == VEXAWizTVPAL ? m_pal : m_ntsc)->setChecked(true);
    }
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

  void SingleDefault(LONG speed) {
    m_speed->clear();
    m_speeds.assign(1, speed);
    m_speed->addItem(SpeedText(speed));
    m_speed->setCurrentIndex(0);
    SaveAndRefresh();
  }

  bool ResetDriveSpeedCombo() {
    m_speed->clear();
    m_speeds.clear();
    CVexaODVisual* burner = m_wiz.burner.get();
    LONG fallback = 2;
    if (burner) burner->GetDefaultBurnSpeed(&fallback);
    std::vector<LONG> speeds;
    if (!burner || !burner->GetDriveSpeeds(&speeds)) {
      SingleDefault(fallback);
      m_wiz.LogError("CvexaPropPageSetupSettings::OnSetActive - ODVisual GetDriveSpeeds call failed.", false);
      return false;
    }
    if (speeds.empty()) {
      SingleDefault(fallback);
      m_wiz.LogError("CvexaPropPageSetupSettings::OnSetActive - ODVisual No drive speeds available.", false);
      return false;
    }
    for (LONG s : speeds) m_speed->addItem(SpeedText(s));
    m_speeds = speeds;
    long stored = fallback;
    if (m_wiz.settings) m_wiz.settings->ReadNumber("settings", "selectedBurnSpeed", &stored);
    LONG match = 0;
    if (!burner->GetBurnSpeed(static_cast<LONG>(stored), &match)) {
      SingleDefault(fallback);
      m_wiz.LogError(
          "CvexaPropPageSetupSettings::OnSetActive - ODVisual GetBurnSpeed() call failed for autodefault.", false);
      return false;
    }
    auto it = std::find(m_speeds.begin(), m_speeds.end(), match);
    bool ok = true;
    if (it != m_speeds.end()) {
      m_speed->setCurrentIndex(static_cast<int>(it - m_speeds.begin()));
    } else {
      m_speed->setCurrentIndex(0);
      m_wiz.LogError("CvexaPropPageSetupSettings::OnSetActive - Using slowest speed.", false);
      ok = false;
    }
    SaveAndRefresh();
    return ok;
  }

  void SaveSettings() {
    if (!m_ntsc) return;
    bool shown = false;
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->SetStillDelay(m_delay->currentText().toInt())) {
      m_wiz.LogError("CvexaPropPageSetupSettings::SaveSettings() - CVexaWizXML::SetStillDelay() call failed",
                             false);
      ShowFailureMessage(m_wiz);
      shown = true;
    }
    if (!m_wiz.sessionAlbum ||
        !m_wiz.sessionAlbum->SetTVSystem(m_ntsc->isChecked() ? VEXAWizTVNTSC : VEXAWizTVPAL)) {
      m_wiz.LogError("CvexaPropPageSetupSettings::SaveSettings() - CVexaWizXML::SetTVSystem() call failed",
                             false);
      if (!shown) ShowFailureMessage(m_wiz);
    }
    const int i = m_speed->currentIndex();
    if (i >= 0 && i < static_cast<int>(m_speeds.size()) && m_wiz.settings)
      m_wiz.settings->WriteNumber("settings", "selectedBurnSpeed", m_speeds[static_cast<std::size_t>(i)]);
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
  std::vector<LONG> m_speeds;
};

}  // namespace

QWizardPage* CreateSettingsPage(WizServices& wiz) { return new CvexaPropPageSetupSettings(wiz); }

}  // namespace vexa::wiz
