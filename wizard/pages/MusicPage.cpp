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

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
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
    CvexaSettingsAccess* s = m_wiz.settings.get();
    const std::string custom = s ? s->ReadString("setupAudio", "customAudioFilePath") : std::string();
    if (!custom.empty() && base::FileExists(custom)) m_file->setText(QString::fromStdString(custom));
    const std::string cda = s ? s->ReadString("setupAudio", "cdaAudioFilePath") : std::string();
    if (!cda.empty() && AudioSourceExists(cda)) m_track->setText(QString::fromStdString(cda));

    const std::string folder = CVexaWizUtil::GetAudioPath();
    std::string filter = CVexaWizUtil::GetSuppportedAudioFileTypesFilter();
    if (filter.empty()) {
      filter = "*.mp3;*.wav";
      m_wiz.LogError(
          "CvexaPropPageSetupAudio::OnInitDialog() - CVexaWizUtil::GetSuppportedAudioFileTypesFilter() call failed",
          false);
    }
    std::size_t pos = 0;
    std::string pattern;
    while (!folder.empty() && CVexaWizUtil::NextToken(filter, &pos, &pattern, ";")) {
      if (pattern.empty()) continue;
      CvexaExactFileFind find;
      bool more = find.FindFile(base::JoinPath(base::ToNativePath(folder), pattern));
      while (more) {
        more = find.FindNextFile();
        const std::string path = find.GetFilePath();
        std::string title = CvexaPath(path).GetFileName();
        const std::size_t dot = title.rfind('.');
        if (dot != std::string::npos) title.erase(dot);
        m_list->addItem(QString::fromStdString(title));
        m_paths.push_back(path);
      }
    }
    if (m_list->count() > 0) m_list->setCurrentIndex(0);
    const QString stored = QString::fromStdString(s ? s->ReadString("setupAudio", "preInstalledAudioFileTitle") : "");
    for (int i = 0; i < m_list->count() && !stored.isEmpty(); ++i) {
      if (m_list->itemText(i).startsWith(stored, Qt::CaseInsensitive)) {
        m_list->setCurrentIndex(i);
        break;
      }
    }
    const std::string option = s ? s->ReadString("setupAudio", "optionSelected") : std::string();
    if (option == "customSelected") m_mine->setChecked(true);
    else if (option == "noAudio") m_none->setChecked(true);
    else if (option == "fromAudioCD") m_cd->setChecked(true);
    else m_pre->setChecked(true);

    std::string track;
    DATE date = 0;
    bool present = false;
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->GetFirstAudioTrack(&track, &date, &present)) {
      m_wiz.LogError("CvexaPropPageSetupAudio::OnInitDialog() - XML GetFirstAudioTrack call failed.", false);
    } else if (track.empty() && present) {
      m_none->setChecked(true);
    } else if (AudioSourceExists(track)) {
      auto found = std::find_if(m_paths.begin(), m_paths.end(),
                                [&](const std::string& p) { return base::EqualsNoCase(p, track); });
      if (found != m_paths.end()) {
        m_pre->setChecked(true);
        m_list->setCurrentIndex(static_cast<int>(found - m_paths.begin()));
      } else if (base::EqualsNoCase(CvexaPath(track).GetExtension(), "cda")) {
        m_cd->setChecked(true);
        m_track->setText(QString::fromStdString(track));
      } else {
        m_mine->setChecked(true);
        m_file->setText(QString::fromStdString(track));
      }
    }
  }

  std::string SelectedPath() const {
    if (m_none->isChecked()) return std::string();
    if (m_mine->isChecked()) return m_file->text().toStdString();
    if (m_cd->isChecked()) return m_track->text().toStdString();
    const int i = m_list->currentIndex();
    return i >= 0 && i < static_cast<int>(m_paths.size()) ? m_paths[static_cast<std::size_t>(i)] : std::string();
  }

  void UpdateControls() {
    if (!m_none) return;
    bool play = false;
    if (m_none->isChecked()) {
      m_list->setEnabled(false);
      m_track->setEnabled(false);
      m_file->setEnabled(false);
      play = false;
      m_nextEnabled = true;
    } else if (m_pre->isChecked() || m_mine->isChecked() || m_cd->isChecked()) {
      m_list->setEnabled(m_pre->isChecked());
      m_track->setEnabled(m_cd->isChecked());
      m_file->setEnabled(m_mine->isChecked());
      if (m_pre->isChecked()) play = m_list->count() > 0;
      else if (m_mine->isChecked()) play = !m_file->text().isEmpty();
      else play = !m_track->text().isEmpty();
      m_nextEnabled = play;
    } else {
      return;
    }
    m_play->setEnabled(play);
    emit completeChanged();
    SaveSettings();
    RefreshMeter(m_wiz, m_meter);
  }

  void SaveSettings() {
    if (!m_none) return;
    CvexaSettingsAccess* s = m_wiz.settings.get();
    if (s) {
      if (!m_list->currentText().isEmpty())
        s->WriteString("setupAudio", "preInstalledAudioFileTitle", m_list->currentText().toStdString());
      const char* option = m_pre->isChecked()    ? "preInstalled"
                           : m_cd->isChecked()   ? "fromAudioCD"
                           : m_mine->isChecked() ? "customSelected"
                                                 : "noAudio";
      s->WriteString("setupAudio", "optionSelected", option);
    }
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->AddAudioTrack(SelectedPath(), -1))
      m_wiz.LogError("CvexaPropPageSetupAudio::SaveSettings() - CVexaWizXML::AddAudioTrack() call failed",
                             false);
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
    const QString chosen = QFileDialog::getOpenFileName(this, QText(m_wiz, 1, "Kv Orlune Disc Creator Software"), start,
                                                        QString("Music Files (%1)").arg(patterns));
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
  std::vector<std::string> m_paths;
  bool m_nextEnabled = true;
};

}  // namespace

QWizardPage* CreateMusicPage(WizServices& wiz) { return new CvexaPropPageSetupAudio(wiz); }

}  // namespace vexa::wiz
