#include "wizard/dialogs/AboutDlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <QVBoxLayout>

#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/ui/UiHelpers.h"
#include "wizard/update/UpdateCheck.h"

namespace vexa::wiz {

CvexaAboutDlg::CvexaAboutDlg(WizServices& wiz, QWidget* parent) : QDialog(parent), m_wiz(wiz) {
  setObjectName("dialog102");
  setWindowFlag(Qt::WindowSystemMenuHint, false);
  if (m_wiz.language) {
    m_wiz.language->LoadDialog(102, this);
    const QIcon icon = m_wiz.language->Icon(128);
    if (!icon.isNull()) setWindowIcon(icon);
  }
  const QString bodyFace = QString::fromStdString(m_wiz.LoadString(154, "MS Sans Serif"));
  const QString titleFace = QString::fromStdString(m_wiz.LoadString(155, "Verdana"));
  const int titleSize = std::atoi(m_wiz.LoadString(157, "120").c_str());
  const int bodySize = std::atoi(m_wiz.LoadString(156, "90").c_str());

  auto label = [this](int id) { return findChild<CvexaLabel*>(QString("ctl_%1").arg(id)); };
  if (auto* l = label(1038)) l->SetFont(titleFace, titleSize, true, false, false);
  if (auto* l = label(1041)) l->SetFont(bodyFace, bodySize, true, false, false);
  for (int id : {1042, 1043, 1046, 1045})
    if (auto* l = label(id)) l->SetFont(bodyFace, bodySize, false, false, false);
  for (int id : {1038, 1041, 1042, 1043, 1046, 1045})
    if (auto* l = label(id)) l->SetBackgroundColor(Qt::white);
  if (auto* l = label(1041)) l->SetTextColor(QColor(0xFF, 0, 0));

  std::string version;
  if (auto* l = label(1045); l && CVexaWizUtil::ReadRegistryString(vexa::reg::Hive::LocalMachine, kWizProductKey,
                                                                   "DownloadVersion", &version) &&
                              !version.empty())
    l->setText(l->text() + QString::fromStdString(version));
  if (auto* art = findChild<CvexaBitmapStatic*>("ctl_1121")) art->LoadBitmap(m_wiz, 192);
  if (auto* l = label(1046)) l->setText("Made with Qt, libcurl, libxml2, libjpeg-turbo and cairo.");

  if (auto* update = findChild<QAbstractButton*>("ctl_3"))
    connect(update, &QAbstractButton::clicked, this, [this] { OnUpdate(); });
  if (auto* ok = findChild<QAbstractButton*>("ctl_1")) connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
  if (auto* cancel = findChild<QAbstractButton*>("ctl_2"))
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
}

void CvexaAboutDlg::OnUpdate() {
  m_wiz.SetUpdateCheckMode(kCheckManual);
  if (RunUpdatePrompt(m_wiz, this) == UpdateOutcome::CloseWizard) {
    m_closeWizard = true;
    accept();
  }
}

}  // namespace vexa::wiz
