#include "wizard/Pages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/BitmapHandle.h"
#include "wizard/Language.h"
#include "wizard/Launcher.h"
#include "wizard/MessageBox.h"
#include "wizard/Meter.h"
#include "wizard/ODVisual.h"
#include "wizard/PageCommon.h"
#include "wizard/SelectPage.h"
#include "wizard/SettingsFile.h"
#include "wizard/UiHelpers.h"
#include "wizard/WizUtil.h"
#include "wizard/WizXML.h"

namespace vexa::wiz {

// ---- Shared --------------------------------------------------------------------------------------

bool LoadForm(QWidget* w, int id) { return Module().language && Module().language->LoadDialog(id, w); }

QIcon ToolbarIcon(int normalId, int hotId) {
  QIcon icon;
  if (!Module().language) return icon;
  const QSize size(16, 16);
  const QPixmap normal = Module().language->Icon(normalId).pixmap(size);
  const QPixmap hot = Module().language->Icon(hotId).pixmap(size);
  if (!normal.isNull()) icon.addPixmap(normal, QIcon::Normal);
  if (!hot.isNull()) icon.addPixmap(hot, QIcon::Active);
  return icon;
}

QString QText(int id, const char* fallback) { return QString::fromStdString(CVexaWizUtil::LoadString(id, fallback)); }

QString FormatCount(int id, const char* fallback, long long number) {
  QString text = QText(id, fallback);
  for (const char* token : {"%ld", "%d"}) {
    const int at = text.indexOf(token);
    if (at >= 0) return text.replace(at, static_cast<int>(std::strlen(token)), QString::number(number));
  }
  return text + QString::number(number);
}

CvexaDiscUsageDlg* PlaceMeter(QWidget* root, int placeId) {
  QWidget* place = Ctl<QWidget>(root, placeId);
  if (!place) return nullptr;
  auto* layout = new QVBoxLayout(place);
  layout->setContentsMargins(0, 0, 0, 0);
  // The meter sits on the page's own background: the pages are drawn in the
  // platform's window colour, so a colour of its own would be a patch.
  auto* meter = new CvexaDiscUsageDlg(place);
  layout->addWidget(meter);
  return meter;
}

bool IsNTSC() {
  LONG tv = VEXAWizTVNTSC;
  if (!Module().sessionAlbum || !Module().sessionAlbum->GetTVSystem(&tv)) {
    CVexaWizUtil::LogError("CvexaPropPageSetupSettings::IsNTSC() - CVexaWizXML::GetTVSystem() call failed", true);
    return true;
  }
  return MapTVSystem(tv) != VEXAWizTVPAL;
}

bool AudioSourceExists(const std::string& path) {
  if (path.empty()) return false;
  if (base::FileExists(path)) return true;
  // An audio-CD track is named after its drive, which is what must exist.
  return base::EqualsNoCase(CvexaPath(path).GetExtension(), "cda") && CvexaPath(base::DirName(path)).Exists();
}

namespace {

void BringSheetToTop(QWidget* page) {
  if (QWidget* sheet = page->window()) {
    sheet->raise();
    sheet->activateWindow();
  }
  CVexaWizUtil::PumpMessages();
}

// ---- Welcome ---------------------------------------------------------------------------------------

class CvexaPropPageWelcome : public CvexaWizPage {
 public:
  CvexaPropPageWelcome() : CvexaWizPage(107, 0, 0) {
    LoadForm(this, 107);
    const QString face = QText(155, "Verdana");
    const int size = std::atoi(CVexaWizUtil::LoadString(157, "120").c_str());
    if (auto* title = Ctl<CvexaLabel>(this, 1001)) {
      title->SetFont(face, size, true, false, false);
      title->SetBackgroundColor(Qt::white);
    }
    if (!Module().language || Module().language->Bitmap(192).isNull()) return;
  }
  void OnSetActive() override { BringSheetToTop(this); }
};

// ---- Titles ----------------------------------------------------------------------------------------

QImage ToImage(HBITMAP handle) {
  const vexa::imaging::Bitmap* b = vexa::imaging::BitmapFromHandle(handle);
  if (!b || b->empty()) return QImage();
  QImage image(b->width(), b->height(), QImage::Format_RGB32);
  for (int y = 0; y < b->height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < b->width(); ++x) {
      std::uint8_t r = 0, g = 0, bl = 0;
      b->GetRgb(x, y, &r, &g, &bl);
      line[x] = qRgb(r, g, bl);
    }
  }
  return image;
}

class CvexaPropPageSetupTitles : public CvexaWizPage {
 public:
  CvexaPropPageSetupTitles() : CvexaWizPage(134, 103, 104) {
    LoadForm(this, 134);
    m_edits[0] = Ctl<QLineEdit>(this, 1022);
    m_edits[1] = Ctl<QLineEdit>(this, 1023);
    m_edits[2] = Ctl<QLineEdit>(this, 1024);
    m_preview = Ctl<CvexaBitmapStatic>(this, 1119);
    if (m_preview) {
      // A television's 4:3 picture, as large as the page allows: the
      // preview takes the room the page gains when the sheet grows.
      m_preview->SetAspectRatio(QSize(4, 3));
      m_preview->setMinimumSize(240, 180);
      QSizePolicy grow(QSizePolicy::Expanding, QSizePolicy::Preferred);
      grow.setHeightForWidth(true);
      m_preview->setSizePolicy(grow);
      QWidget* form = m_preview->parentWidget();
      if (auto* row = form ? qobject_cast<QBoxLayout*>(form->layout()) : nullptr) {
        const int at = row->indexOf(m_preview);
        if (at >= 0) {
          // Under the preview, what happened to a line that did not fit.
          row->removeWidget(m_preview);
          auto* column = new QVBoxLayout;
          column->addWidget(m_preview);
          m_warning = new QLabel(form);
          m_warning->setObjectName("titleWarning");
          m_warning->setWordWrap(true);
          m_warning->setAccessibleName("Title line warning");
          QPalette p = m_warning->palette();
          p.setColor(QPalette::WindowText, QColor(0xB0, 0, 0));
          m_warning->setPalette(p);
          m_warning->hide();
          column->addWidget(m_warning);
          column->addStretch(1);
          row->insertLayout(at, column, 3);
          for (int i = 0; i < row->count(); ++i)
            if (i != at) row->setStretch(i, 2);
        }
      }
    }
    std::string l[3];
    if (!Module().sessionAlbum || !Module().sessionAlbum->GetTitleLines(&l[0], &l[1], &l[2]))
      CVexaWizUtil::LogError("CvexaPropPageSetupTitles::OnInitDialog() - CVexaWizXML::GetTitleLines() call failed",
                             false);
    for (int i = 0; i < 3; ++i) {
      if (!m_edits[i]) continue;
      m_edits[i]->setText(QString::fromStdString(l[i]));
      connect(m_edits[i], &QLineEdit::textChanged, this, [this] {
        RefreshPreview();
        RefreshMeter(m_meter);
      });
    }
    m_meter = PlaceMeter(this, 1126);
  }
  void OnSetActive() override {
    RefreshPreview();
    BringSheetToTop(this);
    RefreshMeter(m_meter);
  }
  void OnLeave() override { SaveSettings(); }
  void OnCancel() override { SaveSettings(); }
  QImage Preview() const { return m_previewImage; }

 private:
  void RefreshPreview() {
    if (m_refreshing) return;
    m_refreshing = true;
    const bool fits = MakePreview();
    if (m_preview && (fits || m_refused >= 0)) {
      m_preview->SetBitmap(QPixmap::fromImage(MarkedPreview()));
      m_preview->update();
    }
    m_refreshing = false;
    if (m_meter) SaveSettings();
  }

  // The preview, with the rows of a line that did not fit marked in red at
  // both edges of the part of the picture every television shows.
  QImage MarkedPreview() const {
    if (m_refused < 0 || m_previewImage.isNull() || m_mark.isEmpty()) return m_previewImage;
    QImage marked = m_previewImage.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&marked);
    const int safe = 282, left = (marked.width() - safe) / 2, right = left + safe;
    const QRect band(0, m_mark.top(), marked.width(), m_mark.height());
    painter.fillRect(QRect(0, band.top(), left, band.height()), QColor(220, 0, 0, 150));
    painter.fillRect(QRect(right, band.top(), marked.width() - right, band.height()), QColor(220, 0, 0, 150));
    painter.setPen(QPen(QColor(255, 40, 40), 2));
    painter.drawLine(left, band.top(), left, band.bottom());
    painter.drawLine(right, band.top(), right, band.bottom());
    return marked;
  }

  // The rows a line takes on a title picture: its band of lit rows, the
  // bands counted from the top among the lines that have text.
  static QRect LineRows(const QImage& still, const QString lines[3], int line) {
    int wanted = 0;
    for (int i = 0; i < line; ++i) wanted += lines[i].isEmpty() ? 0 : 1;
    int band = -1, top = -1;
    bool inBand = false;
    for (int y = 0; y < still.height(); ++y) {
      bool lit = false;
      const QRgb* row = reinterpret_cast<const QRgb*>(still.constScanLine(y));
      for (int x = 0; x < still.width() && !lit; ++x) lit = qGray(row[x]) > 60;
      if (lit && !inBand) {
        ++band;
        top = y;
      }
      if (!lit && inBand && band == wanted) return QRect(0, top - 2, still.width(), y - top + 4);
      inBand = lit;
    }
    return inBand && band == wanted ? QRect(0, top - 2, still.width(), still.height() - top + 2) : QRect();
  }

  void ShowWarning(int line) {
    m_refused = line;
    if (!m_warning) return;
    if (line < 0) {
      m_warning->hide();
      m_warning->clear();
      return;
    }
    QString text = QText(4601, "Title line %d is too long for the title picture: the letters that do not fit were "
                               "not taken. It is marked in red on the preview.");
    text.replace("%d", QString::number(line + 1));
    m_warning->setText(text);
    m_warning->show();
  }

  bool MakePreview() {
    IVEXAImgUtil* util = Module().imgUtil.Get();
    if (!util || !m_edits[0] || !m_edits[1] || !m_edits[2]) return false;
    const std::string face = CVexaWizUtil::LoadString(159, "Lucida Sans");
    const LONG first = std::atoi(CVexaWizUtil::LoadString(162, "22").c_str());
    const LONG other = std::atoi(CVexaWizUtil::LoadString(163, "18").c_str());
    vexa::com::Bstr lines[3];
    for (int i = 0; i < 3; ++i) lines[i] = vexa::com::Bstr::FromUtf8(m_edits[i]->text().toStdString());
    VARIANT_BOOL clipped[3] = {VARIANT_FALSE, VARIANT_FALSE, VARIANT_FALSE};
    HBITMAP bitmap = nullptr;
    const HRESULT hr = util->Create3LineTitleStillInMemory(
        lines[0].Get(), lines[1].Get(), lines[2].Get(), vexa::com::Bstr::FromUtf8(face).Get(), 0, first, other,
        IsNTSC() ? VARIANT_TRUE : VARIANT_FALSE, &clipped[0], &clipped[1], &clipped[2], &bitmap);
    if (FAILED(hr)) {
      vexa::com::TakeError();
      if (bitmap) DeleteObject(bitmap);
      return false;
    }
    const QImage image = ToImage(bitmap);
    if (bitmap) DeleteObject(bitmap);
    bool fits = true;
    QString tried[3];
    for (int i = 0; i < 3; ++i) tried[i] = m_edits[i]->text();
    for (int i = 0; i < 3; ++i) {
      if (clipped[i] != VARIANT_TRUE) {
        m_lastFitting[i] = m_edits[i]->text();
        continue;
      }
      // The line does not fit: the last text that did comes back, and the
      // user is told which line it was and sees it marked on the preview.
      if (fits) {
        m_mark = LineRows(image, tried, i);
        ShowWarning(i);
      }
      fits = false;
      const int cursor = m_edits[i]->cursorPosition();
      m_edits[i]->setText(m_lastFitting[i]);
      m_edits[i]->setCursorPosition(std::max(0, std::min(cursor - 1, static_cast<int>(m_lastFitting[i].size()))));
    }
    if (fits) {
      m_previewImage = image;
      ShowWarning(-1);
    }
    return fits;
  }

  void SaveSettings() {
    std::string l[3];
    for (int i = 0; i < 3; ++i) l[i] = m_edits[i] ? m_edits[i]->text().toStdString() : std::string();
    if (CvexaSettingsAccess* s = Module().settings.get()) {
      s->WriteString("setupTitles", "title1", l[0]);
      s->WriteString("setupTitles", "title2", l[1]);
      s->WriteString("setupTitles", "title3", l[2]);
    }
    if (!Module().sessionAlbum || !Module().sessionAlbum->SetTitleLines(l[0], l[1], l[2]))
      CVexaWizUtil::LogError("CvexaPropPageSetupTitles::SaveSettings() - CVexaWizXML::SetTitleLines() call failed",
                             false);
  }

  QLineEdit* m_edits[3] = {};
  QString m_lastFitting[3];
  CvexaBitmapStatic* m_preview = nullptr;
  QLabel* m_warning = nullptr;
  int m_refused = -1;  // the line last refused, -1 when all fit
  QRect m_mark;        // its rows on the title picture
  CvexaDiscUsageDlg* m_meter = nullptr;
  QImage m_previewImage;
  bool m_refreshing = false;
};

// ---- Music -----------------------------------------------------------------------------------------

class CvexaPropPageSetupAudio : public CvexaWizPage {
 public:
  CvexaPropPageSetupAudio() : CvexaWizPage(137, 105, 106) {
    LoadForm(this, 137);
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
    m_meter = PlaceMeter(this, 1127);
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
    CvexaSettingsAccess* s = Module().settings.get();
    const std::string custom = s ? s->ReadString("setupAudio", "customAudioFilePath") : std::string();
    if (!custom.empty() && base::FileExists(custom)) m_file->setText(QString::fromStdString(custom));
    const std::string cda = s ? s->ReadString("setupAudio", "cdaAudioFilePath") : std::string();
    if (!cda.empty() && AudioSourceExists(cda)) m_track->setText(QString::fromStdString(cda));

    const std::string folder = CVexaWizUtil::GetAudioPath();
    std::string filter = CVexaWizUtil::GetSuppportedAudioFileTypesFilter();
    if (filter.empty()) {
      filter = "*.mp3;*.wav";
      CVexaWizUtil::LogError(
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
    if (!Module().sessionAlbum || !Module().sessionAlbum->GetFirstAudioTrack(&track, &date, &present)) {
      CVexaWizUtil::LogError("CvexaPropPageSetupAudio::OnInitDialog() - XML GetFirstAudioTrack call failed.", false);
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
    RefreshMeter(m_meter);
  }

  void SaveSettings() {
    if (!m_none) return;
    CvexaSettingsAccess* s = Module().settings.get();
    if (s) {
      if (!m_list->currentText().isEmpty())
        s->WriteString("setupAudio", "preInstalledAudioFileTitle", m_list->currentText().toStdString());
      const char* option = m_pre->isChecked()    ? "preInstalled"
                           : m_cd->isChecked()   ? "fromAudioCD"
                           : m_mine->isChecked() ? "customSelected"
                                                 : "noAudio";
      s->WriteString("setupAudio", "optionSelected", option);
    }
    if (!Module().sessionAlbum || !Module().sessionAlbum->AddAudioTrack(SelectedPath(), -1))
      CVexaWizUtil::LogError("CvexaPropPageSetupAudio::SaveSettings() - CVexaWizXML::AddAudioTrack() call failed",
                             false);
  }

  void BrowseFile() {
    std::string filter = CVexaWizUtil::GetSuppportedAudioFileTypesFilter();
    if (filter.empty()) {
      filter = "*.mp3;*.wav";
      CVexaWizUtil::LogError(
          "CvexaPropPageSetupAudio::OnButtonSetupaudioBrowse() - CVexaWizUtil::GetSuppportedAudioFileTypesFilter() "
          "call failed",
          false);
    }
    QString patterns = QString::fromStdString(filter);
    patterns.replace(';', ' ');
    CvexaSettingsAccess* s = Module().settings.get();
    const std::string last = s ? s->ReadString("setupAudio", "customAudioFilePath") : std::string();
    const QString start = last.empty() ? QDir::homePath() : QString::fromStdString(base::DirName(last));
    const QString chosen = QFileDialog::getOpenFileName(this, QText(1, "Kv Orlune Disc Creator Software"), start,
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
    if (CVexaODVisual* burner = Module().burner.get()) {
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
    dialog.setWindowTitle(QText(1, "Kv Orlune Disc Creator Software"));
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
      if (CvexaSettingsAccess* s = Module().settings.get())
        s->WriteString("setupAudio", "cdaAudioFilePath", chosen.toStdString());
      m_cd->setChecked(true);
    }
    UpdateControls();
  }

  void Play() {
    const std::string path = SelectedPath();
    if (path.empty()) return;
    if (Launch("play", path) || Launch("open", path)) return;
    CvexaMessageBox box;
    box.Show(MB_OK,
             CVexaWizUtil::LoadString(
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

// ---- Settings --------------------------------------------------------------------------------------

class CvexaPropPageSetupSettings : public CvexaWizPage {
 public:
  CvexaPropPageSetupSettings() : CvexaWizPage(145, 107, 108) {
    LoadForm(this, 145);
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
    if (!Module().sessionAlbum || !Module().sessionAlbum->GetStillDelay(&delay)) {
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnInitDialog() - CVexaWizXML::GetStillDelay() call failed",
                             false);
      ShowFailureMessage();
      shown = true;
    } else if (delay >= 2 && delay <= 10) {
      m_delay->setCurrentIndex(delay - 2);
    } else if (delay >= 0) {
      // Only the listed delays can be chosen; any other shows the default.
      CVexaWizUtil::LogInfo(Format("CvexaPropPageSetupSettings::OnInitDialog() - Stored delay %d is outside 2 to 10; "
                                   "showing 5.",
                                   static_cast<int>(delay)));
    }
    LONG localeTv = VEXALocTVNTSC;
    if (!Module().locUtil || FAILED(Module().locUtil->get_TVSystem(&localeTv)))
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnInitDialog - Call to IVEXALocUtil::get_TVSystem() failed.",
                             true);
    (localeTv == 1 || localeTv == 2 ? m_pal : m_ntsc)->setChecked(true);
    LONG tv = VEXAWizTVINVALID;
    if (!Module().sessionAlbum || !Module().sessionAlbum->GetTVSystem(&tv)) {
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnInitDialog() - CVexaWizXML::GetTVSystem() call failed",
                             false);
      if (!shown) ShowFailureMessage();
    } else if (tv >= VEXAWizTVNTSC && tv <= VEXAWizTVSECAM) {
      // SECAM is made as PAL, FILM as NTSC.
      (MapTVSystem(tv) == VEXAWizTVPAL ? m_pal : m_ntsc)->setChecked(true);
    }
    m_meter = PlaceMeter(this, 1128);
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
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnSetActive - ResetDriveSpeedCombo()", false);
    ShowWriter("CvexaPropPageSetupSettings::OnSetActive - CVexaODVisual::GetDriveDescription() call failed");
    SaveAndRefresh();
    QApplication::restoreOverrideCursor();
  }
  void OnLeave() override { SaveSettings(); }
  void OnCancel() override { SaveSettings(); }

 private:
  void ShowWriter(const char* failure) {
    std::string text;
    CVexaODVisual* burner = Module().burner.get();
    if (!burner || !burner->GetDriveDescription(&text) || text.empty()) {
      CVexaWizUtil::LogError(failure, false);
      text = CVexaWizUtil::LoadString(4500, "None");
    }
    m_writer->setText(QString::fromStdString(text));
  }

  QString SpeedText(LONG speed) { return FormatCount(4499, "%ldx", speed); }

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
    CVexaODVisual* burner = Module().burner.get();
    LONG fallback = 2;
    if (burner) burner->GetDefaultBurnSpeed(&fallback);
    std::vector<LONG> speeds;
    if (!burner || !burner->GetDriveSpeeds(&speeds)) {
      SingleDefault(fallback);
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnSetActive - ODVisual GetDriveSpeeds call failed.", false);
      return false;
    }
    if (speeds.empty()) {
      SingleDefault(fallback);
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnSetActive - ODVisual No drive speeds available.", false);
      return false;
    }
    for (LONG s : speeds) m_speed->addItem(SpeedText(s));
    m_speeds = speeds;
    long stored = fallback;
    if (Module().settings) Module().settings->ReadNumber("settings", "selectedBurnSpeed", &stored);
    LONG match = 0;
    if (!burner->GetBurnSpeed(static_cast<LONG>(stored), &match)) {
      SingleDefault(fallback);
      CVexaWizUtil::LogError(
          "CvexaPropPageSetupSettings::OnSetActive - ODVisual GetBurnSpeed() call failed for autodefault.", false);
      return false;
    }
    auto it = std::find(m_speeds.begin(), m_speeds.end(), match);
    bool ok = true;
    if (it != m_speeds.end()) {
      m_speed->setCurrentIndex(static_cast<int>(it - m_speeds.begin()));
    } else {
      m_speed->setCurrentIndex(0);
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::OnSetActive - Using slowest speed.", false);
      ok = false;
    }
    SaveAndRefresh();
    return ok;
  }

  void SaveSettings() {
    if (!m_ntsc) return;
    bool shown = false;
    if (!Module().sessionAlbum || !Module().sessionAlbum->SetStillDelay(m_delay->currentText().toInt())) {
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::SaveSettings() - CVexaWizXML::SetStillDelay() call failed",
                             false);
      ShowFailureMessage();
      shown = true;
    }
    if (!Module().sessionAlbum ||
        !Module().sessionAlbum->SetTVSystem(m_ntsc->isChecked() ? VEXAWizTVNTSC : VEXAWizTVPAL)) {
      CVexaWizUtil::LogError("CvexaPropPageSetupSettings::SaveSettings() - CVexaWizXML::SetTVSystem() call failed",
                             false);
      if (!shown) ShowFailureMessage();
    }
    const int i = m_speed->currentIndex();
    if (i >= 0 && i < static_cast<int>(m_speeds.size()) && Module().settings)
      Module().settings->WriteNumber("settings", "selectedBurnSpeed", m_speeds[static_cast<std::size_t>(i)]);
  }

  void SaveAndRefresh() {
    SaveSettings();
    RefreshMeter(m_meter);
  }

  void ChangeWriter() {
    SaveSettings();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CVexaODVisual* burner = Module().burner.get();
    if (!burner || !burner->GetNextDrive(false)) {
      CVexaWizUtil::LogError(
          "CvexaPropPageSetupSettings::OnButtonSetupsettingsChangeWriter - CVexaODVisual::GetNextDrive call failed",
          false);
    } else {
      ShowWriter(
          "CvexaPropPageSetupSettings::OnButtonSetupsettingsChangeWriter - CVexaODVisual::GetDriveDescription() call "
          "failed");
      if (!ResetDriveSpeedCombo())
        CVexaWizUtil::LogError(
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

// ---- Finish ------------------------------------------------------------------------------------------

class CvexaPropPageFinish : public CvexaWizPage {
 public:
  CvexaPropPageFinish() : CvexaWizPage(146, 0, 0) {
    LoadForm(this, 146);
    setFinalPage(true);
    if (auto* heading = Ctl<CvexaLabel>(this, 1130)) {
      heading->SetFont(QText(155, "Verdana"), std::atoi(CVexaWizUtil::LoadString(157, "120").c_str()), true, false,
                       false);
      heading->SetBackgroundColor(Qt::white);
    }
    m_summary = Ctl<QPlainTextEdit>(this, 1067);
    m_meter = PlaceMeter(this, 1129);
    setButtonText(QWizard::FinishButton, QText(52, "Make Disc"));
  }

  void OnSetActive() override {
    BringSheetToTop(this);
    LONG count = 0;
    if (!Module().sessionAlbum || !Module().sessionAlbum->GetImageCount(&count))
      CVexaWizUtil::LogError("CvexaPropPageFinish::OnSetActive - CVexaWizXML::GetImageCount() call failed", false);
    std::string text;
    m_summaryOk = GetSummary(&text);
    m_hasImages = count >= 1;
    if (m_summary) m_summary->setPlainText(m_summaryOk ? QString::fromStdString(text) : QString());
    emit completeChanged();
    if (!m_summaryOk) {
      ShowFailureMessage();
      return;
    }
    RefreshMeter(m_meter);
  }
  bool isComplete() const override { return m_summaryOk && m_hasImages; }

  bool GetSummary(std::string* out) {
    CVexaWizXML* album = Module().sessionAlbum.get();
    CVexaODVisual* burner = Module().burner.get();
    auto fail = [](const char* text) {
      CVexaWizUtil::LogError(text, false);
      return false;
    };
    std::string s;
    LONG count = 0;
    if (!album || !album->GetImageCount(&count))
      return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetImageCount() call failed");
    s += CVexaWizUtil::LoadString(44, "Number of Images: ") + std::to_string(count) + "\r\n\r\n";
    std::string l[3];
    if (!album->GetTitleLines(&l[0], &l[1], &l[2]))
      return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetTitleLines() call failed");
    const char* labels[3] = {"Title1: ", "Title2: ", "Title3: "};
    const int ids[3] = {161, 4474, 4475};
    for (int i = 0; i < 3; ++i)
      s += CVexaWizUtil::LoadString(ids[i], labels[i]) + (l[i].empty() ? CVexaWizUtil::LoadString(88, "none") : l[i]) +
           "\r\n";
    s += "\r\n";
    std::string track;
    DATE date = 0;
    bool present = false;
    if (!album->GetFirstAudioTrack(&track, &date, &present))
      return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetFirstAudioTrack() call failed");
    s += CVexaWizUtil::LoadString(45, "Music: ") +
         (!present || track.empty() ? CVexaWizUtil::LoadString(88, "none") : CvexaPath(track).GetFileName()) +
         "\r\n\r\n";
    LONG delay = 5;
    if (!album->GetStillDelay(&delay))
      return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetStillDelay() call failed");
    if (delay < 0) delay = 5;
    s += CVexaWizUtil::LoadString(50, "Display Time: ") + std::to_string(delay) + "\r\n";

    long stored = 0;
    LONG speed = 2;
    if (burner) burner->GetDefaultBurnSpeed(&speed);
    if (Module().settings && Module().settings->ReadNumber("settings", "selectedBurnSpeed", &stored))
      speed = static_cast<LONG>(stored);
    LONG matched = speed;
    if (burner && burner->GetBurnSpeed(speed, &matched)) speed = matched;
    else if (burner && burner->IsDriveReady()) return fail("CvexaPropPageFinish::GetSummary - GetBurnSpeed call failed.");
    if (Module().settings) Module().settings->WriteNumber("settings", "selectedBurnSpeed", speed);
    s += CVexaWizUtil::LoadString(49, "Recording Speed: ") + FormatCount(4499, "%ldx", speed).toStdString() + "\r\n";

    LONG tv = 0;
    if (!album->GetTVSystem(&tv)) return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetTVSystem() call failed");
    // One mapping everywhere: FILM is made as NTSC, SECAM as PAL.
    s += MapTVSystem(tv) == VEXAWizTVPAL ? CVexaWizUtil::LoadString(48, "Video CD Format: PAL/SECAM")
                                         : CVexaWizUtil::LoadString(47, "Video CD Format: NTSC");
    std::string writer;
    if (!burner || !burner->GetDriveDescription(&writer) || writer.empty()) {
      CVexaWizUtil::LogError("CvexaPropPageFinish::GetSummary - Visual::GetDriveDescription() call failed", false);
      writer = CVexaWizUtil::LoadString(88, "None");
    }
    s += "\r\n" + CVexaWizUtil::LoadString(46, "CD Writer") + ": " + writer + "\r\n\r\n\r\n";
    *out = s;
    return true;
  }

  bool validatePage() override {
    // Making the disc and coming back from a failed burn both pump
    // messages: Make Disc pressed meanwhile is not a second burn.
    if (m_making) return false;
    m_making = true;
    const auto done = qScopeGuard([this] { m_making = false; });
    if (!m_meter->Update(m_meter->GetPercent(), true)) return false;
    CvexaPropSheet* sheet = ActiveSheet();
    if (sheet)
      CVexaWizUtil::LogInfo(Format("CVexaPropPageFinish::CreateVCD - Pre-burn disc usage estimate: %lld bytes or %d%%",
                                   static_cast<long long>(sheet->GetDiscSpaceUsed()), sheet->GetPercentDiscSpaceUsed()));
    QWidget* window = this->window();
    window->hide();
    CVexaWizUtil::PumpMessages();
    CVexaODVisual* burner = Module().burner.get();
    if (!burner || !burner->EnsureDrive(true)) {
      // No writer: back to the settings page.
      if (auto* wizard = qobject_cast<QWizard*>(window)) {
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
    CVexaWizUtil::LogError("CvexaPropPageFinish::OnWizardFinish - Visual CreateVCD call failed.", false);
    window->show();
    window->raise();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CVexaWizUtil::PumpMessages();
    auto end = [&](const char* text) {
      QApplication::restoreOverrideCursor();
      CVexaWizUtil::LogError(text, false);
      return true;
    };
    WizModule& m = Module();
    if (!m.burner) return end("CvexaPropPageFinish::OnWizardFinish - Cannot create Visual class.");
    std::string remembered;
    if (!m.burner->GetDrivePath(&remembered)) remembered.clear();
    m.burner.reset();
    // A cancellation inside the orchestrator stays the caller's answer.
    const VEXAWizErrorCode code = m.errorCode;
    m.burner = std::make_unique<CVexaODVisual>();
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
        CVexaWizUtil::LogError("CvexaPropPageFinish::OnWizardFinish - Visual GetDrivePath call failed.", false);
      }
      const std::string first = current;
      while (!base::EqualsNoCase(current, remembered)) {
        if (!m.burner->GetNextDrive(false)) {
          CVexaWizUtil::LogError("CvexaPropPageFinish::OnWizardFinish - Visual GetNextDrive call failed.", false);
          break;
        }
        if (!m.burner->GetDrivePath(&current)) {
          current = remembered;
          CVexaWizUtil::LogError("CvexaPropPageFinish::OnWizardFinish - Visual GetDrivePath(2) call failed.", false);
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

  QPlainTextEdit* m_summary = nullptr;
  CvexaDiscUsageDlg* m_meter = nullptr;
  bool m_summaryOk = false;
  bool m_hasImages = false;
  bool m_making = false;  // validatePage is running
};

}  // namespace

void AddWizardPages(QWizard* sheet) {
  sheet->setPage(kPageWelcome, new CvexaPropPageWelcome());
  sheet->setPage(kPageSelectPictures, CreateSelectPage());
  sheet->setPage(kPageTitles, new CvexaPropPageSetupTitles());
  sheet->setPage(kPageMusic, new CvexaPropPageSetupAudio());
  sheet->setPage(kPageSettings, new CvexaPropPageSetupSettings());
  sheet->setPage(kPageFinish, new CvexaPropPageFinish());
}

}  // namespace vexa::wiz
