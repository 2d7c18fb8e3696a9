#include "wizard/dialogs/AddImagesDlg.h"

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
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/FolderView.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/dialogs/PreviewDlg.h"
#include "wizard/dialogs/SheetView.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/ui/Forms.h"
#include "wizard/ui/Launcher.h"
#include "wizard/ui/Meter.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {

QToolBar* Bar(QWidget* parent, const char* name) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(name);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  bar->setIconSize(QSize(16, 16));
  return bar;
}

}  // namespace

CvexaAddImagesDlg::CvexaAddImagesDlg(WizServices& wiz, QWidget* parent) : QDialog(parent), m_wiz(wiz) {
  setObjectName("dialog155");
  setWindowTitle(QText(m_wiz, 1, "Kv Orlune Disc Creator Software"));
  setSizeGripEnabled(true);
  setMinimumSize(660, 392);
  if (m_wiz.language) {
    const QIcon icon = m_wiz.language->Icon(128);
    if (!icon.isNull()) setWindowIcon(icon);
  }
  AddCommands();
  Build();
  m_undo.SetOnChange([this] { UpdateUndo(); });
  Load();
  UpdateUndo();
  if (m_wiz.language) {
    m_keys = new CvexaKeyFilter(this, m_wiz.language->Accelerators(197), &m_commands, false);
    for (const auto& [id, button] : m_buttons) m_keys->ShowKeysIn(button->menu());
  }
}

CvexaAddImagesDlg::~CvexaAddImagesDlg() = default;

void CvexaAddImagesDlg::AddCommands() {
  auto add = [this](std::initializer_list<int> ids, std::function<void()> action, std::function<bool()> enabled = {}) {
    m_commands.Add(ids, action, enabled);
  };
  auto folderNames = [this] {
    m_folder->SetShowCaptions(!m_folder->GetShowCaptions());
    m_folderNames->setChecked(m_folder->GetShowCaptions());
  };
  auto albumNames = [this] {
    m_album->SetShowCaptions(!m_album->GetShowCaptions());
    m_albumNames->setChecked(m_album->GetShowCaptions());
  };
  add({89, 32833, 32834}, [this] { m_tree->Up(); });
  add({90, 32835}, folderNames);
  add({91, 32836}, albumNames);
  add({32820}, [this, folderNames, albumNames] {
    if (AlbumHasFocus()) albumNames();
    else folderNames();
  });
  add({99, 32821, 32826}, [this] { m_undo.Undo(); }, [this] { return m_ready && m_undo.CanUndo(); });
  add({32772, 32844}, [this] { AddPictures(false, 0); });
  add({32773, 32845}, [this] { AddPictures(false, 1); });
  add({32774, 32846}, [this] { AddPictures(false, 2); });
  add({32775, 32849}, [this] { AddPictures(true, 0); });
  add({32776, 32847}, [this] { AddPictures(true, 1); });
  add({32778, 32848}, [this] { AddPictures(true, 2); });
  auto folderSort = [this](int mode) {
    return [this, mode] {
      m_folderSort = mode;
      SortFolder();
    };
  };
  add({32779, 32853}, folderSort(0));
  add({32784}, folderSort(1));
  add({32781}, folderSort(2));
  add({32782, 32852}, folderSort(3));
  add({32808}, [this] { m_folderAscending = !m_folderAscending; });
  add({32788, 32850}, [this] { m_album->Sort(DISPID_VEXATHUM_SortByNameForward, m_albumAscending); });
  add({32790}, [this] { m_album->Sort(DISPID_VEXATHUM_SortByTimestampForward, m_albumAscending); });
  add({32791, 32851}, [this] { m_album->Sort(DISPID_VEXATHUM_SortByExifDateForward, m_albumAscending); });
  add({32792}, [this] { m_album->Sort(DISPID_VEXATHUM_SortByFileTypeForward, m_albumAscending); });
  add({32812}, [this] { m_albumAscending = !m_albumAscending; });
  add({32800, 32818}, [this] { m_album->MoveSelection(0); });
  add({32801, 32819}, [this] { m_album->MoveSelection(1); });
  add({32785, 32806}, [this] { RemoveAll(); });
  add({32787, 32807, 32817}, [this] {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_album->RemoveSelection();
    QApplication::restoreOverrideCursor();
  });
  add({32804, 32825}, [this] { GoToFolder(); });
  add({32805}, [this] {
    const std::string path = m_album->GetThumbFilePath(m_album->GetLastSelected());
    if (!path.empty()) Launch("properties", path);
  });
  add({32837, 32843}, [this] { Preview(m_album, m_album->GetFirstSelected()); });
  add({32839, 32854}, [this] { RotateAlbum(90); });
  add({32840, 32855}, [this] { RotateAlbum(-90); });
  add({32814}, [this] {
    if (AlbumHasFocus()) m_album->SelectAll();
    else m_folder->SelectAll();
  });
  add({32815}, [this] { m_tree->Refresh(); });
  add({32816}, [this] { FocusStep(true); });
  add({32824}, [this] { FocusStep(false); });
  add({32823}, [this] { PressDefault(); });
  add({32822}, [this] { reject(); });
  add({32827}, [this] { OpenMenu(114); });
  add({32828}, [this] { OpenMenu(98); });
  add({32829}, [this] { OpenMenu(94); });
  add({32830}, [this] { OpenMenu(97); });
  add({32831}, [this] { OpenMenu(93); });
  add({32832}, [this] { OpenMenu(92); });
  add({1091}, [this] { Apply(); }, [this] { return m_apply && m_apply->isEnabled(); });
  add({9}, [this] {
    CvexaSheetView* sheet = m_wiz.sheetView;
    if (!sheet || Launch("help", sheet->SheetHelpPath() + "#add-images")) return;
    CvexaMessageBox box(m_wiz);
    box.Show(MB_OK, HelpNotOpenedText(m_wiz, sheet->SheetHelpPath()), true, false, true);
  });
}

bool CvexaAddImagesDlg::AlbumHasFocus() const {
  QWidget* focus = QApplication::focusWidget();
  return m_album && focus && (focus == m_album || m_album->isAncestorOf(focus));
}

void CvexaAddImagesDlg::OpenMenu(int buttonId) {
  // The menu opens also when the narrow toolbar hides its button.
  auto it = m_buttons.find(buttonId);
  if (it != m_buttons.end()) OpenButtonMenu(it->second);
}

void CvexaAddImagesDlg::FocusStep(bool forward) {
  focusNextPrevChild(forward);
  // A button of the row that takes the focus becomes the default; elsewhere OK is.
  auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
  QPushButton* wanted = qobject_cast<QPushButton*>(m_ok);
  for (int id : {1, 2, 9, 1091})
    if (focused && focused == Ctl<QPushButton>(this, id)) wanted = focused;
  if (wanted) wanted->setDefault(true);
}

void CvexaAddImagesDlg::PressDefault() {
  for (QPushButton* b : findChildren<QPushButton*>()) {
    if (b->isDefault() && b->isVisible() && b->isEnabled()) {
      b->click();
      return;
    }
  }
  if (m_ok && m_ok->isEnabled()) m_ok->click();
}

void CvexaAddImagesDlg::UpdateUndo() {
  if (m_undoButton) m_undoButton->setEnabled(m_commands.Enabled(99));
}

void CvexaAddImagesDlg::Build() {
  if (!LoadForm(m_wiz, this, 155)) {
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
  if (auto* ok = qobject_cast<QPushButton*>(m_ok)) ok->setDefault(true);
  if (m_ok) connect(m_ok, &QAbstractButton::clicked, this, &CvexaAddImagesDlg::accept);
  if (auto* cancel = Ctl<QAbstractButton>(this, 2)) connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
  if (m_apply) connect(m_apply, &QAbstractButton::clicked, this, [this] { Apply(); });
  if (auto* help = Ctl<QAbstractButton>(this, 9))
    connect(help, &QAbstractButton::clicked, this, [this] { m_commands.Run(9); });
  if (!left || !right) return;
  if (QWidget* form = left->parentWidget()) {
    if (auto* column = qobject_cast<QBoxLayout*>(form->layout())) {
      column->setStretch(0, 1);
      // The browsing half takes all the width the dialog gains; the album
      // half keeps the width its toolbar needs.
      if (auto* row = qobject_cast<QBoxLayout*>(column->itemAt(0) ? column->itemAt(0)->layout() : nullptr)) {
        row->setStretch(0, 1);
        row->setStretch(1, 0);
      }
    }
  }
  left->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  right->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

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
  m_folder = new CVEXAThum(m_wiz, splitter);
  m_folder->setObjectName("ctl_1110");
  m_folder->setAccessibleName("Pictures in the folder");
  splitter->addWidget(m_tree);
  splitter->addWidget(m_folder);
  // The tree and the pictures share what the half gains equally.
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 1);
  splitter->setChildrenCollapsible(false);
  splitter->setSizes({160, 240});
  leftLayout->addWidget(splitter, 1);
  m_folderPane = new CvexaAlbumPaneDlg(m_wiz, left);
  m_folderPane->setObjectName("folderPane");
  m_folderPane->ShowMeter(false);
  leftLayout->addWidget(m_folderPane);

  // The album half.
  auto* rightLayout = new QVBoxLayout(right);
  QToolBar* bar1100 = Bar(right, "toolbar1100");
  rightLayout->addWidget(bar1100);
  m_album = new CVEXAThum(m_wiz, right);
  m_album->setObjectName("ctl_1109");
  m_album->setAccessibleName("Album pictures");
  m_album->UseHostMenuOnly();
  rightLayout->addWidget(m_album, 1);
  m_albumPane = new CvexaAlbumPaneDlg(m_wiz, right);
  m_albumPane->setObjectName("albumPane");
  rightLayout->addWidget(m_albumPane);

  auto command = [this](QMenu* menu, int id, const char* text) {
    QAction* a = AddCommandItem(m_wiz, menu, id, text);
    connect(a, &QAction::triggered, this, [this, id] { m_commands.Run(id); });
    return a;
  };
  auto button = [this](QToolBar* bar, int id, const char* text, int normalIcon, int hotIcon, bool checkable = false) {
    QToolButton* b = AddToolButton(m_wiz, bar, id, text, normalIcon, hotIcon);
    b->setCheckable(checkable);
    m_buttons[id] = b;
    if (!checkable) connect(b, &QToolButton::clicked, this, [this, id] { m_commands.Run(id); });
    return b;
  };
  auto dropDown = [&](QToolBar* bar, int id, const char* text, int normalIcon, int hotIcon) {
    return AddDropDownMenu(button(bar, id, text, normalIcon, hotIcon), id);
  };

  button(bar1097, 89, "U&p", 218, 217);
  m_folderNames = button(bar1097, 90, "Show &Names", 212, 211, true);
  connect(m_folderNames, &QToolButton::clicked, this, [this] { m_commands.Run(90); });

  QMenu* folderSort = dropDown(bar1098, 94, "S&ort by", 214, 213);
  m_folderAscendingItem = command(folderSort, 32808, "&Ascending");
  m_folderAscendingItem->setCheckable(true);
  folderSort->addSeparator();
  const std::pair<int, const char*> sorts[] = {{32779, "&Name"}, {32784, "File T&ype"}, {32781, "&Time Stamp"},
                                               {32782, "&Picture Date"}};
  QAction* sortItems[4] = {};
  for (int mode = 0; mode < 4; ++mode) {
    sortItems[mode] = command(folderSort, sorts[mode].first, sorts[mode].second);
    sortItems[mode]->setCheckable(true);
  }
  // The direction and the mode in force are checked as the menu opens.
  connect(folderSort, &QMenu::aboutToShow, this, [this, items = std::vector<QAction*>(sortItems, sortItems + 4)] {
    m_folderAscendingItem->setChecked(m_folderAscending);
    for (int mode = 0; mode < 4; ++mode) items[static_cast<std::size_t>(mode)]->setChecked(mode == m_folderSort);
  });
  QMenu* addAll = dropDown(bar1098, 93, "A&dd All", 203, 202);
  command(addAll, 32775, "At the &Start");
  command(addAll, 32776, "After the Selected &Picture");
  command(addAll, 32778, "At the &End");
  QMenu* addSelected = dropDown(bar1098, 92, "Add Se&lected", 204, 205);
  command(addSelected, 32772, "At the &Start");
  command(addSelected, 32773, "After the Selected &Picture");
  command(addSelected, 32774, "At the &End");

  QMenu* move = dropDown(bar1100, 114, "&Move", 206, 207);
  command(move, 32800, "Move &Right");
  command(move, 32801, "Move &Left");
  QMenu* albumSort = dropDown(bar1100, 97, "&Sort by", 214, 213);
  m_albumAscendingItem = command(albumSort, 32812, "&Ascending");
  m_albumAscendingItem->setCheckable(true);
  connect(albumSort, &QMenu::aboutToShow, this, [this] { m_albumAscendingItem->setChecked(m_albumAscending); });
  albumSort->addSeparator();
  command(albumSort, 32788, "&Name");
  command(albumSort, 32790, "&Time Stamp");
  command(albumSort, 32791, "&Picture Date");
  command(albumSort, 32792, "File T&ype");
  QMenu* remove = dropDown(bar1100, 98, "&Remove", 210, 209);
  command(remove, 32787, "Remove &Selected");
  command(remove, 32785, "Remove &All");
  m_albumNames = button(bar1100, 91, "Sho&w Names", 212, 211, true);
  connect(m_albumNames, &QToolButton::clicked, this, [this] { m_commands.Run(91); });
  m_undoButton = button(bar1100, 99, "&Undo", 216, 215);
  for (QToolBar* bar : {bar1097, bar1098, bar1100}) AddOverflowMenu(bar);

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
    const std::string cache = m_wiz.sheetView ? m_wiz.sheetView->SheetCacheDirectory() : std::string();
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
  const bool read = made && m_wiz.sessionAlbum && m_wiz.sessionAlbum->GetAllStills(&list);
  if (!read) {
    m_wiz.LogError("CvexaAddImagesDlg::OnInitDialog() - CVexaWizXML::GetAllStills() call failed", false);
    // Without the album's pictures, OK or Apply would empty it: neither is offered.
    if (m_ok) m_ok->setEnabled(false);
    if (m_apply) m_apply->setEnabled(false);
    CvexaMessageBox box(m_wiz);
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
    m_wiz.LogError("CvexaAddImagesDlg::OnInitDialog() - CVEXAThum::AddMultipleFiles() call failed", false);
  m_undo.SetBusy(false);
  m_albumPane->SetImageCount(m_album->GetThumbCount());
  m_folderSort = 0;
  m_undo.Attach(m_album);
  m_ready = true;

  if (!RestorePlace()) resize(FirstSize());
  if (m_wiz.sheetView)
    m_tree->SetTreeFont(m_wiz.sheetView->SheetFont(), std::atoi(m_wiz.LoadString(156, "90").c_str()));
  // The folder of the last visit, else the user's pictures.
  const std::string last = m_wiz.settings ? m_wiz.settings->ReadString("addContent", "lastDirSelected") : "";
  if (!m_tree->SelectFolder(last)) m_tree->SelectFolder(PicturesFolder());
  m_folder->setFocus();
}

QSize CvexaAddImagesDlg::FirstSize() const {
  // The layout's wish holds both halves' toolbars whole; the height shows
  // a few rows of pictures.
  QSize want = sizeHint().expandedTo(minimumSize());
  want.setHeight(std::max(want.height(), 600));
  const QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen();
  if (screen) {
    // Room for the window frame.
    const QRect area = screen->availableGeometry();
    want = want.boundedTo(QSize(area.width() - 16, area.height() - 48));
  }
  return want.expandedTo(minimumSize());
}

bool CvexaAddImagesDlg::RestorePlace() {
  if (!m_wiz.settings) return false;
  const std::string place = m_wiz.settings->ReadString("addContent", "windowPosition");
  if (base::EqualsNoCase(place, "maximized")) {
    setWindowState(windowState() | Qt::WindowMaximized);
    return true;
  }
  int top = 0, left = 0, bottom = 0, right = 0;
  char tail = 0;
  if (std::sscanf(place.c_str(), "%d,%d,%d,%d%c", &top, &left, &bottom, &right, &tail) != 4) return false;
  if (right <= left || bottom <= top) return false;
  const QRect saved(QPoint(left, top), QPoint(right - 1, bottom - 1));
  // The screen the place was on, or the main one when that screen is gone;
  // a place larger than the screen or partly off it is cut and moved onto
  // it, so the button row stays reachable.
  QScreen* screen = QGuiApplication::screenAt(saved.center());
  if (!screen) screen = QApplication::primaryScreen();
  if (!screen) return false;
  setGeometry(FitOnScreen(saved, FrameAllowance(this), screen->availableGeometry()));
  return true;
}

void CvexaAddImagesDlg::SavePlace() {
  if (!m_wiz.settings) return;
  m_wiz.settings->WriteString("addContent", "lastDirSelected", m_tree->SelectedFolder());
  if (isMaximized()) {
    m_wiz.settings->WriteString("addContent", "windowPosition", "maximized");
    return;
  }
  const QRect r = geometry();
  m_wiz.settings->WriteString("addContent", "windowPosition",
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
  CVexaWizXML temporary(m_wiz);
  if (!temporary.Init(std::string(), true)) {
    m_wiz.LogError("CvexaAddImagesDlg::OnContentsChangedMyAlbum() - Cannot initialize CVexaWizXML object.",
                   false);
    return;
  }
  vexa::com::Variant paths = m_album->GetAllFilePaths(), rotations = m_album->GetAllRotations();
  if (paths.vt != VT_ARRAY) paths = MakePathList({});
  if (rotations.vt != VT_ARRAY) rotations = MakeLongList({});
  if (!temporary.AddStills(paths, rotations)) {
    m_wiz.LogError("CvexaAddImagesDlg::OnContentsChangedMyAlbum() - CVexaWizXML::AddStills() call failed",
                   false);
    return;
  }
  const int percent = m_wiz.sheetView ? m_wiz.sheetView->SheetPercentDiscSpaceUsed(&temporary) : 0;
  m_wiz.overCapacityWarn = m_albumPane->UpdateMeter(percent, m_wiz.overCapacityWarn);
}

void CvexaAddImagesDlg::Apply() {
  if (!m_ready) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_wiz.overCapacityWarn = false;
  vexa::com::Variant paths = m_album->GetAllFilePaths(), rotations = m_album->GetAllRotations();
  if (paths.vt != VT_ARRAY) paths = MakePathList({});
  if (rotations.vt != VT_ARRAY) rotations = MakeLongList({});
  // Each picture keeps its record (date, title, sizing, title mark).
  if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->AddStills(paths, rotations))
    m_wiz.LogError("CvexaAddImagesDlg::OnButtonApply() - CVexaWizXML::AddStills() call failed", false);
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
  CvexaMessageBox box(m_wiz);
  const std::string text = m_wiz.LoadString(
      6,
      "Are you sure you want to remove all of the images from your album?\r\n\r\nThese images will not be deleted from "
      "your computer.");
  if (box.Show(MB_YESNO, text, false, false, true) == IDYES) m_album->Clear();
}

void CvexaAddImagesDlg::Preview(CVEXAThum* from, LONG id) {
  if (id == 0) return;
  // Owned by this dialog: it opens above it and takes the keys.
  CvexaPreviewDlg preview(m_wiz, this);
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
  auto add = [&](int id, const char* text, bool enabled) {
    QAction* a = AddCommandItem(m_wiz, &menu, id, text);
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, [this, id] { m_commands.Run(id); });
    return a;
  };
  add(32837, "&Preview", !none);
  add(32839, "Rotate Rig&ht", !none);
  add(32840, "Rotate Le&ft", !none);
  menu.addSeparator();
  add(32807, "&Remove", !none);
  add(32806, "Remove &All", m_album->GetThumbCount() > 0);
  add(32814, "Select A&ll", true);
  menu.addSeparator();
  QAction* names = add(32836, "Sho&w Names", true);
  names->setCheckable(true);
  names->setChecked(m_album->GetShowCaptions());
  add(32821, "&Undo", m_commands.Enabled(32821));
  menu.addSeparator();
  add(32804, "&Go to Folder", !none);
  add(32805, "Propert&ies", !none);
  if (m_keys) m_keys->ShowKeysIn(&menu);
  QWidget* origin = m_album->ControlWindow() ? m_album->ControlWindow() : m_album;
  menu.exec(origin->mapToGlobal(local));
}

}  // namespace vexa::wiz
