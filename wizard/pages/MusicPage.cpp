// The music page: no music, a pre-installed track, the user's own file or an
// audio-CD track, with a Play button.
#include "wizard/pages/PageCommon.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/state/MusicChoice.h"
#include "wizard/ui/FileDialogs.h"
#include "wizard/ui/Launcher.h"
#include "wizard/ui/Meter.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {

class CvexaPropPageSetupAudio : public CvexaWizPage {
 public:
  explicit CvexaPropPageSetupAudio(WizServices& wiz) : CvexaWizPage(wiz, 137, 105, 106) {
    LoadForm(m_wiz, this, 137);
    m_none = Ctl<QRadioButton>(this, 1087);
    m_pre = Ctl<QRadioButton>(this, 1029);
    m_mine = Ctl<QRadioButton>(this, 1030);
    m_cd = Ctl<QRadioButton>(this, 1125);
    m_list = Ctl<QComboBox>(this, 1031);
    m_file = Ctl<QLineEdit>(this, 1032);
    m_track = Ctl<QLineEdit>(this, 1035);
    m_play = Ctl<QAbstractButton>(this, 1088);
    if (!m_none || !m_pre || !m_mine || !m_cd || !m_list || !m_file || !m_track || !m_play) return;
    m_file->setReadOnly(true);
    m_track->setReadOnly(true);
    Init();
    m_meter = PlaceMeter(m_wiz, this, 1127);
    // A choice is saved when the user makes it.
    for (QRadioButton* r : {m_none, m_pre, m_mine, m_cd})
      connect(r, &QRadioButton::toggled, this, [this](bool on) {
        if (on) UpdateControls();
      });
    connect(m_list, &QComboBox::currentIndexChanged, this, [this] { UpdateControls(); });
    connect(m_file, &QLineEdit::textChanged, this, [this] { UpdateControls(); });
    connect(m_track, &QLineEdit::textChanged, this, [this] { UpdateControls(); });
    if (auto* b = Ctl<QAbstractButton>(this, 1033)) connect(b, &QAbstractButton::clicked, this, [this] { BrowseFile(); });
    if (auto* b = Ctl<QAbstractButton>(this, 1034)) connect(b, &QAbstractButton::clicked, this, [this] { BrowseTrack(); });
    connect(m_play, &QAbstractButton::clicked, this, [this] { Play(); });
  }
  void OnSetActive() override {
    BringSheetToTop(this);
    UpdateControls();
  }
  void OnLeave() override { SaveSettings(); }
  void OnCancel() override { SaveSettings(); }
  bool isComplete() const override { return m_nextEnabled; }

 private:
  void Init() {
    m_choice.Load(m_wiz);
    for (const MusicChoice::Track& t : m_choice.preInstalled) m_list->addItem(QString::fromStdString(t.title));
    if (m_choice.selected >= 0) m_list->setCurrentIndex(m_choice.selected);
    m_file->setText(QString::fromStdString(m_choice.file));
    m_track->setText(QString::fromStdString(m_choice.cdTrack));
    switch (m_choice.option) {
      case MusicOption::None: m_none->setChecked(true); break;
      case MusicOption::PreInstalled: m_pre->setChecked(true); break;
      case MusicOption::MyFile: m_mine->setChecked(true); break;
      case MusicOption::AudioCD: m_cd->setChecked(true); break;
    }
  }

  // Takes the controls' values into the choice; false when no option is
  // checked.
  bool Gather() {
    if (m_none->isChecked()) m_choice.option = MusicOption::None;
    else if (m_pre->isChecked()) m_choice.option = MusicOption::PreInstalled;
    else if (m_mine->isChecked()) m_choice.option = MusicOption::MyFile;
    else if (m_cd->isChecked()) m_choice.option = MusicOption::AudioCD;
    else return false;
    m_choice.selected = m_list->currentIndex();
    m_choice.file = m_file->text().toStdString();
    m_choice.cdTrack = m_track->text().toStdString();
    return true;
  }

  std::string SelectedPath() {
    Gather();
    return m_choice.SelectedPath();
  }

  void UpdateControls() {
    if (!m_none || !Gather()) return;
    const MusicChoice::Controls on = m_choice.Enabled();
    m_list->setEnabled(on.list);
    m_track->setEnabled(on.cdTrack);
    m_file->setEnabled(on.file);
    m_nextEnabled = on.next;
    m_play->setEnabled(on.play);
    emit completeChanged();
    SaveSettings();
    RefreshMeter(m_wiz, m_meter);
  }

  void SaveSettings() {
    if (!m_none) return;
    Gather();
    m_choice.Save(m_wiz);
  }

  void BrowseFile() {
    std::string filter = CVexaWizUtil::GetSuppportedAudioFileTypesFilter();
    if (filter.empty()) {
      filter = "*.mp3;*.wav";
      m_wiz.LogError(
          "CvexaPropPageSetupAudio::OnButtonSetupaudioBrowse() - CVexaWizUtil::GetSuppportedAudioFileTypesFilter() "
          "call failed",
          false);
    }
    QString patterns = QString::fromStdString(filter);
    patterns.replace(';', ' ');
    CvexaSettingsAccess* s = m_wiz.settings.get();
    const std::string last = s ? s->ReadString("setupAudio", "customAudioFilePath") : std::string();
    const QString start = last.empty() ? QDir::homePath() : QString::fromStdString(base::DirName(last));
    // Picking the file neither changes the file system nor opens what it lists.
    std::unique_ptr<QFileDialog> dialog(NewFileDialog(this, QText(m_wiz, 1, "Kv Orlune Disc Creator Software"), start,
                                                      QString("Music Files (%1)").arg(patterns)));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    const QString chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()
                               ? dialog->selectedFiles().front()
                               : QString();
    dialog.reset();
    if (!chosen.isEmpty()) {
      m_file->setText(chosen);
      if (s) s->WriteString("setupAudio", "customAudioFilePath", chosen.toStdString());
      m_mine->setChecked(true);
    }
    UpdateControls();
  }

  // The audio-CD tracks of each writer, as the orchestrator reports them.
  void BrowseTrack() {
    std::vector<std::string> tracks;
    if (CVexaODVisual* burner = m_wiz.burner.get()) {
      std::string drive;
      if (burner->EnsureDrive(false) && burner->GetDrivePath(&drive) && !drive.empty()) {
        for (int n = 1; n <= 99; ++n) {
          const std::string name = Format("%s/Track%02d.cda", drive.c_str(), n);
          LONG size = 0, rip = 0;
          double play = 0;
          if (!burner->GetTrackInfo(name, &size, &play, &rip) || size <= 0) break;
          tracks.push_back(name);
        }
      }
    }
    QDialog dialog(this);
    dialog.setObjectName("dialogTracks");
    dialog.setWindowTitle(QText(m_wiz, 1, "Kv Orlune Disc Creator Software"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName("trackList");
    list->setAccessibleName("Audio CD tracks");
    for (const auto& t : tracks) list->addItem(QString::fromStdString(t));
    if (list->count() > 0) list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted && list->currentItem()) {
      const QString chosen = list->currentItem()->text();
      m_track->setText(chosen);
      if (CvexaSettingsAccess* s = m_wiz.settings.get())
        s->WriteString("setupAudio", "cdaAudioFilePath", chosen.toStdString());
      m_cd->setChecked(true);
    }
    UpdateControls();
  }

  void Play() {
    const std::string path = SelectedPath();
    if (path.empty()) return;
    if (Launch("play", path) || Launch("open", path)) return;
    CvexaMessageBox box(m_wiz);
    box.Show(MB_OK,
             m_wiz.LoadString(
                 4477,
                 "Kv orlune disc creator software cannot play the music file. You may not have a player installed, "
                 "the player may not support this file type, or the file may not exist.\r\n\r\nMake sure it is a "
                 "valid music file and that the system supports playback of this file type."),
             true, false, true);
  }

  QRadioButton *m_none = nullptr, *m_pre = nullptr, *m_mine = nullptr, *m_cd = nullptr;
  QComboBox* m_list = nullptr;
  QLineEdit *m_file = nullptr, *m_track = nullptr;
  QAbstractButton* m_play = nullptr;
  CvexaDiscUsageDlg* m_meter = nullptr;
  MusicChoice m_choice;
  bool m_nextEnabled = true;
};

}  // namespace

QWizardPage* CreateMusicPage(WizServices& wiz) { return new CvexaPropPageSetupAudio(wiz); }

}  // namespace vexa::wiz
