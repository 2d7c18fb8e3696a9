#include "wizard/AddImagesDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/FolderView.h"
#include "wizard/Language.h"
#include "wizard/Launcher.h"
#include "wizard/MessageBox.h"
#include "wizard/Meter.h"
#include "wizard/PageCommon.h"
#include "wizard/PreviewDlg.h"
#include "wizard/SettingsFile.h"
#include "wizard/UiHelpers.h"
#include "wizard/WizUtil.h"
#include "wizard/WizXML.h"

namespace vexa::wiz {

namespace {

QToolButton* ToolButton(QToolBar* bar, int id, const char* text, bool checkable = false) {
  auto* b = new QToolButton(bar);
  b->setObjectName(QString("ctl_%1").arg(id));
  b->setText(QText(id, text));
  b->setAccessibleName(b->text().remove('&'));
  b->setCheckable(checkable);
  bar->addWidget(b);
  return b;
}

QMenu* DropDown(QToolBar* bar, int id, const char* text) {
  QToolButton* b = ToolButton(bar, id, text);
  b->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(b);
  menu->setObjectName(QString("menu_%1").arg(id));
  b->setMenu(menu);
  return menu;
}

QToolBar* Bar(QWidget* parent, const char* name) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(name);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return bar;
}

}  // namespace

CvexaAddImagesDlg::CvexaAddImagesDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("dialog155");
  setWindowTitle(QText(1, "Kv Orlune Disc Creator Software"));
  setSizeGripEnabled(true);
  setMinimumSize(660, 392);
  if (Module().language) {
    const QIcon icon = Module().language->Icon(128);
    if (!icon.isNull()) setWindowIcon(icon);
  }
  Build();
  Load();
}

CvexaAddImagesDlg::~CvexaAddImagesDlg() = default;

void CvexaAddImagesDlg::Build() {
  if (!LoadForm(this, 155)) {
    // The built-in layout when the bundle lacks the template.
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    for (auto [id, title] : {std::pair{1094, "Your folders"}, std::pair{1093, "Your album"}}) {
      auto* g = new QGroupBox(title, this);
      g->setObjectName(QString("ctl_%1").arg(id));
      row->addWidget(g);
    }
    layout->addLayout(row, 1);
    auto* buttons = new QHBoxLayout();
    for (auto [id, text] : {std::pair{9, "&Help"}, std::pair{1, "OK"}, std::pair{2, "Cancel"}, std::pair{1091, "&Apply"}}) {
      auto* b = new QPushButton(text, this);
      b->setObjectName(QString("ctl_%1").arg(id));
      buttons->addWidget(b);
    }
    layout->addLayout(buttons);
  }
  auto* left = Ctl<QGroupBox>(this, 1094);
  auto* right = Ctl<QGroupBox>(this, 1093);
  m_ok = Ctl<QAbstractButton>(this, 1);
  m_apply = Ctl<QAbstractButton>(this, 1091);
  if (m_ok) connect(m_ok, &QAbstractButton::clicked, this, &CvexaAddImagesDlg::accept);
  if (auto* cancel = Ctl<QAbstractButton>(this, 2)) connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
  if (m_apply) connect(m_apply, &QAbstractButton::clicked, this, [this] { Apply(); });
  if (auto* help = Ctl<QAbstractButton>(this, 9))
    connect(help, &QAbstractButton::clicked, this, [] {
      CvexaPropSheet* sheet = ActiveSheet();
      if (!sheet || Launch("help", sheet->HelpPath() + "#add-images")) return;
      CvexaMessageBox box;
      box.Show(MB_OK, HelpNotOpenedText(sheet->HelpPath()), true, false, true);
    });
  if (!left || !right) return;
  if (QWidget* form = left->parentWidget()) {
    if (auto* column = qobject_cast<QBoxLayout*>(form->layout())) {
      column->setStretch(0, 1);
      // The browsing half takes more of the width than the album half.
      if (auto* row = qobject_cast<QBoxLayout*>(column->itemAt(0) ? column->itemAt(0)->layout() : nullptr)) {
        row->setStretch(0, 3);
        row->setStretch(1, 2);
      }
    }
  }

  // The browsing half: folder tools, the tree beside the folder's pictures,
  // and the folder's picture count.
  auto* leftLayout = new QVBoxLayout(left);
  auto* folderTools = new QHBoxLayout();
  QToolBar* bar1097 = Bar(left, "toolbar1097");
  QToolBar* bar1098 = Bar(left, "toolbar1098");
  folderTools->addWidget(bar1097);
  folderTools->addWidget(bar1098, 1);
  leftLayout->addLayout(folderTools);
  auto* splitter = new QSplitter(Qt::Horizontal, left);
  splitter->setObjectName("ctl_998");
  m_tree = new CFolderView(splitter);
  m_folder = new CVEXAThum(splitter);
  m_folder->setObjectName("ctl_1110");
  m_folder->setAccessibleName("Pictures in the folder");
  splitter->addWidget(m_tree);
  splitter->addWidget(m_folder);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);
  splitter->setChildrenCollapsible(false);
  splitter->setSizes({160, 240});
  leftLayout->addWidget(splitter, 1);
  m_folderPane = new CvexaAlbumPaneDlg(left);
  m_folderPane->setObjectName("folderPane");
  m_folderPane->ShowMeter(false);
  leftLayout->addWidget(m_folderPane);

  // The album half.
  auto* rightLayout = new QVBoxLayout(right);
  QToolBar* bar1100 = Bar(right, "toolbar1100");
  rightLayout->addWidget(bar1100);
  m_album = new CVEXAThum(right);
  m_album->setObjectName("ctl_1109");
  m_album->setAccessibleName("Album pictures");
  rightLayout->addWidget(m_album, 1);
  m_albumPane = new CvexaAlbumPaneDlg(right);
  m_albumPane->setObjectName("albumPane");
  rightLayout->addWidget(m_albumPane);

  auto command = [this](QMenu* menu, int id, const char* text, std::function<void()> action) {
    QAction* a = menu->addAction(QText(id, text));
    a->setObjectName(QString("cmd_%1").arg(id));
    connect(a, &QAction::triggered, this, std::move(action));
    return a;
  };

  connect(ToolButton(bar1097, 89, "U&p"), &QToolButton::clicked, this, [this] { m_tree->Up(); });
  m_folderNames = ToolButton(bar1097, 90, "Show &Names", true);
  connect(m_folderNames, &QToolButton::clicked, this, [this] {
    m_folder->SetShowCaptions(!m_folder->GetShowCaptions());
    m_folderNames->setChecked(m_folder->GetShowCaptions());
  });

  QMenu* folderSort = DropDown(bar1098, 94, "S&ort by");
  QAction* folderAscending = command(folderSort, 32808, "&Ascending", [this] { m_folderAscending = !m_folderAscending; });
  folderAscending->setCheckable(true);
  folderAscending->setChecked(true);
  folderSort->addSeparator();
  const std::pair<int, const char*> sorts[] = {{32779, "&Name"}, {32784, "File T&ype"}, {32781, "&Time Stamp"},
                                               {32782, "&Picture Date"}};
  for (int mode = 0; mode < 4; ++mode) {
    command(folderSort, sorts[mode].first, sorts[mode].second, [this, mode] {
      m_folderSort = mode;
      SortFolder();
    });
  }
  QMenu* addAll = DropDown(bar1098, 93, "A&dd All");
  command(addAll, 32775, "At the &Start", [this] { AddPictures(true, 0); });
  command(addAll, 32776, "After the Selected &Picture", [this] { AddPictures(true, 1); });
  command(addAll, 32778, "At the &End", [this] { AddPictures(true, 2); });
  QMenu* addSelected = DropDown(bar1098, 92, "Add Se&lected");
  command(addSelected, 32772, "At the &Start", [this] { AddPictures(false, 0); });
  command(addSelected, 32773, "After the Selected &Picture", [this] { AddPictures(false, 1); });
  command(addSelected, 32774, "At the &End", [this] { AddPictures(false, 2); });

  QMenu* move = DropDown(bar1100, 114, "&Move");
  command(move, 32800, "Move &Right", [this] { m_album->MoveSelection(0); });
  command(move, 32801, "Move &Left", [this] { m_album->MoveSelection(1); });
  QMenu* albumSort = DropDown(bar1100, 97, "&Sort by");
  QAction* albumAscending = command(albumSort, 32812, "&Ascending", [this] { m_albumAscending = !m_albumAscending; });
  albumAscending->setCheckable(true);
  albumAscending->setChecked(true);
  albumSort->addSeparator();
  command(albumSort, 32788, "&Name", [this] { m_album->Sort(DISPID_VEXATHUM_SortByNameForward, m_albumAscending); });
  command(albumSort, 32790, "&Time Stamp",
          [this] { m_album->Sort(DISPID_VEXATHUM_SortByTimestampForward, m_albumAscending); });
  command(albumSort, 32791, "&Picture Date",
          [this] { m_album->Sort(DISPID_VEXATHUM_SortByExifDateForward, m_albumAscending); });
  command(albumSort, 32792, "File T&ype",
          [this] { m_album->Sort(DISPID_VEXATHUM_SortByFileTypeForward, m_albumAscending); });
  QMenu* remove = DropDown(bar1100, 98, "&Remove");
  command(remove, 32787, "Remove &Selected", [this] {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_album->RemoveSelection();
    QApplication::restoreOverrideCursor();
  });
  command(remove, 32785, "Remove &All", [this] { RemoveAll(); });
  m_albumNames = ToolButton(bar1100, 91, "Sho&w Names", true);
  connect(m_albumNames, &QToolButton::clicked, this, [this] {
    m_album->SetShowCaptions(!m_album->GetShowCaptions());
    m_albumNames->setChecked(m_album->GetShowCaptions());
  });
  connect(ToolButton(bar1100, 99, "&Undo"), &QToolButton::clicked, this, [this] { m_undo.Undo(); });

  connect(m_tree, &CFolderView::folderSelected, this, &CvexaAddImagesDlg::OnFolderChosen);
  connect(m_folder, &CVEXAThum::contentsChanged, this,
          [this] { m_folderPane->SetImageCount(m_folder->GetThumbCount()); });
  connect(m_folder, &CVEXAThum::doubleClick, this, [this](long id) { Preview(m_folder, id); });
  connect(m_folder, &CVEXAThum::zoomButtonClicked, this, [this](long id) { Preview(m_folder, id); });
  connect(m_album, &CVEXAThum::contentsChanged, this, &CvexaAddImagesDlg::OnAlbumChanged);
  connect(m_album, &CVEXAThum::closeButtonClicked, this, [this](long id) { m_album->RemoveThumb(id); });
  connect(m_album, &CVEXAThum::doubleClick, this, [this](long id) { Preview(m_album, id); });
  connect(m_album, &CVEXAThum::zoomButtonClicked, this, [this](long id) { Preview(m_album, id); });
  connect(m_album, &CVEXAThum::mouseUp, this, [this](int button, int, int x, int y) {
    if (button == 2) AlbumMenu(QPoint(x, y));
  });
}

void CvexaAddImagesDlg::Load() {
  if (!m_folder || !m_album) return;
  const bool made = m_folder->Create() && m_album->Create();
  if (made) {
    const std::string cache = ActiveSheet() ? ActiveSheet()->GetCacheDirectory() : std::string();
    for (CVEXAThum* c : {m_folder, m_album}) {
      if (!cache.empty()) c->SetCacheDir(cache);
      for (DISPID id : {DISPID_VEXATHUM_ShowZoomButton, DISPID_VEXATHUM_ShowCaptions, DISPID_VEXATHUM_IsDragSite,
                        DISPID_VEXATHUM_EnableExternalDragAndDrop, DISPID_VEXATHUM_EnableMultipleSelect,
                        DISPID_VEXATHUM_ShowToolTips})
        c->SetBoolProperty(id, true);
    }
    // The album also turns, removes and takes drops, in order.
    for (DISPID id : {DISPID_VEXATHUM_ShowRotateButtons, DISPID_VEXATHUM_ShowRemoveButton, DISPID_VEXATHUM_IsDropSite,
                      DISPID_VEXATHUM_EnableOrderedDrop})
      m_album->SetBoolProperty(id, true);
    m_folderNames->setChecked(true);
    m_albumNames->setChecked(true);
  }

  StillList list;
  const bool read = made && Module().sessionAlbum && Module().sessionAlbum->GetAllStills(&list);
  if (!read) {
    CVexaWizUtil::LogError("CvexaAddImagesDlg::OnInitDialog() - CVexaWizXML::GetAllStills() call failed", false);
    // Without the album's pictures, OK or Apply would empty it: neither is offered.
    if (m_ok) m_ok->setEnabled(false);
    if (m_apply) m_apply->setEnabled(false);
    CvexaMessageBox box;
    box.Show(MB_OK,
             "The pictures of your album could not be read, so this window cannot change the album.\r\n\r\nClose it "
             "with Cancel; your album stays as it was.",
             true, false, true);
    return;
  }
  std::vector<std::string> paths;
  std::vector<LONG> rotations;
  for (const auto& s : list) {
    paths.push_back(s->Path());
    rotations.push_back(s->Rotation());
  }
  m_undo.SetBusy(true);
  if (!paths.empty() && !m_album->AddMultipleFiles(MakePathList(paths), MakeLongList(rotations), -1))
    CVexaWizUtil::LogError("CvexaAddImagesDlg::OnInitDialog() - CVEXAThum::AddMultipleFiles() call failed", false);
  m_undo.SetBusy(false);
  m_albumPane->SetImageCount(m_album->GetThumbCount());
  m_folderSort = 0;
  m_undo.Attach(m_album);
  m_ready = true;

  RestorePlace();
  if (ActiveSheet()) m_tree->SetTreeFont(ActiveSheet()->font(), std::atoi(CVexaWizUtil::LoadString(156, "90").c_str()));
  if (Module().settings) m_tree->SelectFolder(Module().settings->ReadString("addContent", "lastDirSelected"));
  m_folder->setFocus();
}

void CvexaAddImagesDlg::RestorePlace() {
  if (!Module().settings) return;
  const std::string place = Module().settings->ReadString("addContent", "windowPosition");
  if (base::EqualsNoCase(place, "maximized")) {
    setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  int top = 0, left = 0, bottom = 0, right = 0;
  char tail = 0;
  if (std::sscanf(place.c_str(), "%d,%d,%d,%d%c", &top, &left, &bottom, &right, &tail) != 4) return;
  QScreen* screen = QApplication::primaryScreen();
  if (!screen) return;
  const QRect desktop = screen->geometry();
  if (!desktop.contains(QPoint(left, top)) || !desktop.contains(QPoint(right, bottom)) || right <= left ||
      bottom <= top)
    return;
  setGeometry(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}

void CvexaAddImagesDlg::SavePlace() {
  if (!Module().settings) return;
  Module().settings->WriteString("addContent", "lastDirSelected", m_tree->SelectedFolder());
  if (isMaximized()) {
    Module().settings->WriteString("addContent", "windowPosition", "maximized");
    return;
  }
  const QRect r = geometry();
  Module().settings->WriteString("addContent", "windowPosition",
                                 Format("%d,%d,%d,%d", r.top(), r.left(), r.bottom() + 1, r.right() + 1));
}

void CvexaAddImagesDlg::resizeEvent(QResizeEvent* event) { QDialog::resizeEvent(event); }

void CvexaAddImagesDlg::OnFolderChosen(const QString& path) {
  if (!m_folder || !m_folder->IsCreated()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::string filter = CVexaWizUtil::GetSuppportedFileTypesFilter();
  if (filter.empty()) filter = kImageFilterDefault;
  m_folder->AddDirectoryFiltered(path.toStdString(), filter);
  SortFolder();
  QApplication::restoreOverrideCursor();
}

void CvexaAddImagesDlg::SortFolder() {
  static const DISPID kForward[] = {DISPID_VEXATHUM_SortByNameForward, DISPID_VEXATHUM_SortByFileTypeForward,
                                    DISPID_VEXATHUM_SortByTimestampForward, DISPID_VEXATHUM_SortByExifDateForward};
  m_folder->Sort(kForward[std::clamp(m_folderSort, 0, 3)], m_folderAscending);
}

void CvexaAddImagesDlg::AddPictures(bool all, int where) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const vexa::com::Variant paths = all ? m_folder->GetAllFilePaths() : m_folder->GetSelectionFilePaths();
  const vexa::com::Variant rotations = all ? m_folder->GetAllRotations() : m_folder->GetSelectionRotations();
  if (paths.vt == VT_ARRAY && rotations.vt == VT_ARRAY && !ReadPathList(paths).empty()) {
    const LONG index = where == 0 ? 0 : where == 1 ? m_album->GetLastSelected() : -1;
    m_album->AddMultipleFiles(paths, rotations, index);
  }
  QApplication::restoreOverrideCursor();
}

void CvexaAddImagesDlg::OnAlbumChanged() {
  if (m_undo.IsBusy()) return;
  m_albumPane->SetImageCount(m_album->GetThumbCount());
  m_undo.Record();
  CVexaWizXML temporary;
  if (!temporary.Init(std::string(), true)) {
    CVexaWizUtil::LogError("CvexaAddImagesDlg::OnContentsChangedMyAlbum() - Cannot initialize CVexaWizXML object.",
                           false);
    return;
  }
  vexa::com::Variant paths = m_album->GetAllFilePaths(), rotations = m_album->GetAllRotations();
  if (paths.vt != VT_ARRAY) paths = MakePathList({});
  if (rotations.vt != VT_ARRAY) rotations = MakeLongList({});
  if (!temporary.AddStills(paths, rotations)) {
    CVexaWizUtil::LogError("CvexaAddImagesDlg::OnContentsChangedMyAlbum() - CVexaWizXML::AddStills() call failed",
                           false);
    return;
  }
  const int percent = ActiveSheet() ? ActiveSheet()->GetPercentDiscSpaceUsed(&temporary) : 0;
  Module().overCapacityWarn = m_albumPane->UpdateMeter(percent, Module().overCapacityWarn);
}

void CvexaAddImagesDlg::Apply() {
  if (!m_ready) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  Module().overCapacityWarn = false;
  vexa::com::Variant paths = m_album->GetAllFilePaths(), rotations = m_album->GetAllRotations();
  if (paths.vt != VT_ARRAY) paths = MakePathList({});
  if (rotations.vt != VT_ARRAY) rotations = MakeLongList({});
  // Each picture keeps its record (date, title, sizing, title mark).
  if (!Module().sessionAlbum || !Module().sessionAlbum->AddStills(paths, rotations))
    CVexaWizUtil::LogError("CvexaAddImagesDlg::OnButtonApply() - CVexaWizXML::AddStills() call failed", false);
  SavePlace();
  QApplication::restoreOverrideCursor();
}

void CvexaAddImagesDlg::accept() {
  if (!m_ready) return;
  Apply();
  QDialog::accept();
}

void CvexaAddImagesDlg::RotateAlbum(LONG degrees) {
  const vexa::com::Variant selection = m_album->GetSelection();
  if (selection.vt != VT_ARRAY) return;
  m_undo.SetBusy(true);
  m_album->RotateThumbs(selection, degrees);
  m_undo.SetBusy(false);
  OnAlbumChanged();
}

void CvexaAddImagesDlg::RemoveAll() {
  CvexaMessageBox box;
  const std::string text = CVexaWizUtil::LoadString(
      6,
      "Are you sure you want to remove all of the images from your album?\r\n\r\nThese images will not be deleted from "
      "your computer.");
  if (box.Show(MB_YESNO, text, false, false, true) == IDYES) m_album->Clear();
}

void CvexaAddImagesDlg::Preview(CVEXAThum* from, LONG id) {
  if (id == 0) return;
  CvexaPreviewDlg preview;
  preview.SetFile(from->GetThumbFilePath(id));
  preview.SetRotation(from->GetThumbRotation(id));
  preview.exec();
}

void CvexaAddImagesDlg::GoToFolder() {
  const std::string path = m_album->GetThumbFilePath(m_album->GetLastSelected());
  if (!path.empty() && base::FileExists(path)) m_tree->SelectFolder(base::DirName(path));
}

void CvexaAddImagesDlg::AlbumMenu(QPoint local) {
  QMenu menu(this);
  menu.setObjectName("menu198");
  const bool none = m_album->GetSelectionCount() == 0;
  auto add = [&](int id, const char* text, std::function<void()> action, bool enabled) {
    QAction* a = menu.addAction(QText(id, text));
    a->setObjectName(QString("cmd_%1").arg(id));
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, std::move(action));
  };
  add(32837, "&Preview", [this] { Preview(m_album, m_album->GetFirstSelected()); }, !none);
  add(32839, "Rotate &Right", [this] { RotateAlbum(90); }, !none);
  add(32840, "Rotate &Left", [this] { RotateAlbum(-90); }, !none);
  menu.addSeparator();
  add(32807, "&Remove", [this] { m_album->RemoveSelection(); }, !none);
  add(32806, "Remove &All", [this] { RemoveAll(); }, m_album->GetThumbCount() > 0);
  add(32804, "&Go to Folder", [this] { GoToFolder(); }, !none);
  add(32805, "P&roperties", [this] {
    const std::string path = m_album->GetThumbFilePath(m_album->GetLastSelected());
    if (!path.empty()) Launch("properties", path);
  }, !none);
  QWidget* origin = m_album->ControlWindow() ? m_album->ControlWindow() : m_album;
  menu.exec(origin->mapToGlobal(local));
}

}  // namespace vexa::wiz
