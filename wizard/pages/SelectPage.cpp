#include "wizard/pages/SelectPage.h"

#include <QAbstractButton>
#include <QAction>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <map>

#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/AddImagesDlg.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/dialogs/PreviewDlg.h"
#include "wizard/dialogs/SheetView.h"
#include "wizard/pages/PageCommon.h"
#include "wizard/session/WizXML.h"
#include "wizard/ui/Accelerators.h"
#include "wizard/ui/Launcher.h"
#include "wizard/ui/Meter.h"
#include "wizard/ui/ThumbHost.h"

namespace vexa::wiz {

namespace {

// The switches an album pane needs: turn, zoom and remove buttons on each
// thumbnail, captions, dragging within the pane and from outside it, and
// more than one selected picture.
void SetAlbumSwitches(CVEXAThum* c) {
  for (DISPID id : {DISPID_VEXATHUM_ShowRotateButtons, DISPID_VEXATHUM_ShowZoomButton, DISPID_VEXATHUM_ShowRemoveButton,
                    DISPID_VEXATHUM_ShowCaptions, DISPID_VEXATHUM_IsDragSite, DISPID_VEXATHUM_IsDropSite,
                    DISPID_VEXATHUM_EnableOrderedDrop, DISPID_VEXATHUM_EnableExternalDragAndDrop,
                    DISPID_VEXATHUM_EnableMultipleSelect, DISPID_VEXATHUM_ShowToolTips})
    c->SetBoolProperty(id, true);
}

class CvexaPropPageSelectFiles : public CvexaWizPage {
 public:
  explicit CvexaPropPageSelectFiles(WizServices& wiz) : CvexaWizPage(wiz, 133, 101, 102) {
    LoadForm(m_wiz, this, 133);
    QWidget* frame = Ctl<QWidget>(this, 1112);
    QWidget* toolbarPlace = Ctl<QWidget>(this, 1114);
    QWidget* panePlace = Ctl<QWidget>(this, 1103);
    if (!frame || !toolbarPlace || !panePlace) return;

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    m_thumbs = new CVEXAThum(m_wiz, frame);
    m_thumbs->setObjectName("ctl_1113");
    m_thumbs->setAccessibleName("Album pictures");
    // One right-button menu, the page's, on a picture as between pictures.
    m_thumbs->UseHostMenuOnly();
    frameLayout->addWidget(m_thumbs);
    auto* paneLayout = new QVBoxLayout(panePlace);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    m_pane = new CvexaAlbumPaneDlg(m_wiz, panePlace);
    paneLayout->addWidget(m_pane);
    m_pane->SetImageCount(0);
    AddCommands();
    BuildToolbar(toolbarPlace);
    m_undo.SetOnChange([this] { UpdateUndo(); });
    UpdateUndo();
    if (m_wiz.language) {
      m_keys = new CvexaKeyFilter(this, m_wiz.language->Accelerators(197), &m_commands, true);
      m_keys->SetActive([this] { return wizard() && wizard()->currentPage() == this; });
      for (const auto& [id, button] : m_buttons) m_keys->ShowKeysIn(button->menu());
    }

    if (auto* add = Ctl<QAbstractButton>(this, 1092))
      connect(add, &QAbstractButton::clicked, this, [this] { OnButtonAddImages(); });
    connect(m_thumbs, &CVEXAThum::contentsChanged, this, [this] { OnContentsChanged(); });
    connect(m_thumbs, &CVEXAThum::closeButtonClicked, this, [this](long id) { m_thumbs->RemoveThumb(id); });
    connect(m_thumbs, &CVEXAThum::doubleClick, this, [this](long id) { Preview(id); });
    connect(m_thumbs, &CVEXAThum::zoomButtonClicked, this, [this](long id) { Preview(id); });
    connect(m_thumbs, &CVEXAThum::mouseUp, this, [this](int button, int, int x, int y) {
      if (button == 2) ContextMenu(QPoint(x, y));
    });
  }

  void OnSetActive() override {
    if (!m_thumbs) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_saveOnCancel = true;
    if (!m_created) {
      m_created = m_thumbs->Create();
      if (CvexaSheetView* sheet = m_wiz.sheetView) m_thumbs->SetCacheDir(sheet->SheetCacheDirectory());
      SetAlbumSwitches(m_thumbs);
      // The control makes its gallery once it is first drawn: the gallery
      // takes its tab stop after the toolbar when it appears.
      if (QWidget* window = m_thumbs->focusProxy()) window->installEventFilter(this);
    }
    PlaceGalleryInTabOrder();
    Refill();
    QApplication::restoreOverrideCursor();
  }
  void OnLeave() override {
    m_saveOnCancel = false;
    ClearThumbnailCtrl();
  }
  void OnCancel() override {
    if (m_saveOnCancel) SaveSettings();
  }
  bool isComplete() const override { return m_hasImages; }
  const CvexaCommands* Commands() const override { return &m_commands; }

  CVEXAThum* Thumbs() const { return m_thumbs; }

 private:
  // Every command of the page, from its menus, toolbar and keys.
  void AddCommands() {
    auto add = [this](std::initializer_list<int> ids, std::function<void()> action,
                      std::function<bool()> enabled = {}) {
      m_commands.Add(ids, action, enabled);
    };
    add({32827}, [this] { OpenMenu(115); });
    add({32830}, [this] { OpenMenu(110); });
    add({32828}, [this] { OpenMenu(111); });
    add({32802, 32818}, [this] { m_thumbs->MoveSelection(0); });
    add({32803, 32819}, [this] { m_thumbs->MoveSelection(1); });
    add({32813}, [this] {
      m_ascending = !m_ascending;
      if (m_ascendingItem) m_ascendingItem->setChecked(m_ascending);
    });
    add({32793, 32850}, [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByNameForward, m_ascending); });
    add({32795}, [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByTimestampForward, m_ascending); });
    add({32796, 32851}, [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByExifDateForward, m_ascending); });
    add({32797}, [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByFileTypeForward, m_ascending); });
    add({32798, 32810}, [this] { RemoveAll(); });
    add({32799, 32811, 32817}, [this] { RemoveSelection(); });
    add({32814}, [this] { m_thumbs->SelectAll(); });
    add({112, 32820, 32836}, [this] { ToggleNames(); });
    add({113, 32821, 32826}, [this] { DoUndo(); }, [this] { return m_undo.CanUndo(); });
    add({32841, 32854}, [this] { Rotate(90); });
    add({32842, 32855}, [this] { Rotate(-90); });
    add({32838, 32843}, [this] { Preview(m_thumbs->GetFirstSelected()); });
    add({32809}, [this] { Properties(); });
  }

  QAction* Command(QMenu* menu, int id, const char* fallback) {
    QAction* a = AddCommandItem(m_wiz, menu, id, fallback);
    connect(a, &QAction::triggered, this, [this, id] { m_commands.Run(id); });
    return a;
  }

  QToolButton* Button(QToolBar* bar, int id, const char* text, int normalIcon, int hotIcon) {
    QToolButton* b = AddToolButton(m_wiz, bar, id, text, normalIcon, hotIcon);
    m_buttons[id] = b;
    return b;
  }

  void BuildToolbar(QWidget* place) {
    auto* layout = new QHBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QToolBar(place);
    bar->setObjectName("toolbar1114");
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));
    layout->addWidget(bar);
    auto dropDown = [&](int id, const char* text, int normalIcon, int hotIcon) {
      return AddDropDownMenu(Button(bar, id, text, normalIcon, hotIcon), id);
    };
    QMenu* move = dropDown(115, "&Move", 206, 207);
    Command(move, 32802, "Move &Right");
    Command(move, 32803, "Move &Left");
    QMenu* sort = dropDown(110, "&Sort By", 214, 213);
    m_ascendingItem = Command(sort, 32813, "&Ascending");
    m_ascendingItem->setCheckable(true);
    m_ascendingItem->setChecked(true);
    sort->addSeparator();
    Command(sort, 32793, "&Name");
    Command(sort, 32795, "&Time Stamp");
    Command(sort, 32796, "&Picture Date");
    Command(sort, 32797, "File T&ype");
    QMenu* remove = dropDown(111, "&Remove", 210, 209);
    Command(remove, 32799, "Remove &Selected");
    Command(remove, 32798, "Remove &All");

    m_showNames = Button(bar, 112, "Sho&w Names", 212, 211);
    m_showNames->setCheckable(true);
    m_showNames->setChecked(true);
    // The check follows the captions, whatever turned them.
    connect(m_showNames, &QToolButton::clicked, this, [this] { m_commands.Run(112); });
    m_undoButton = Button(bar, 113, "&Undo", 216, 215);
    connect(m_undoButton, &QToolButton::clicked, this, [this] { m_commands.Run(113); });
    AddOverflowMenu(bar);
  }

  // Tab goes from Add Images along the toolbar to the pictures, then to
  // the sheet's buttons.
  void PlaceGalleryInTabOrder() {
    auto* gallery = m_thumbs ? m_thumbs->findChild<QAbstractScrollArea*>() : nullptr;
    if (!gallery || !m_undoButton) return;
    QWidget::setTabOrder(m_undoButton, gallery);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ChildPolished && m_thumbs && watched == m_thumbs->focusProxy())
      PlaceGalleryInTabOrder();
    return CvexaWizPage::eventFilter(watched, event);
  }

  // A drop-down button's menu, opened from the keyboard as a click would.
  void OpenMenu(int buttonId) {
    auto it = m_buttons.find(buttonId);
    if (it != m_buttons.end()) OpenButtonMenu(it->second);
  }

  void UpdateUndo() {
    if (m_undoButton) m_undoButton->setEnabled(m_undo.CanUndo());
  }

  void DoUndo() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_undo.Undo();
    QApplication::restoreOverrideCursor();
  }

  void PopulateThumCtrl() {
    StillList list;
    if (!m_wiz.sessionAlbum || !m_wiz.sessionAlbum->GetAllStills(&list)) {
      m_wiz.LogError("CvexaPropPageSelectFiles::OnInitDialog() - CVexaWizXML::GetAllStills() call failed",
                     false);
      return;
    }
    std::vector<std::string> paths;
    std::vector<LONG> rotations;
    for (const auto& s : list) {
      paths.push_back(s->Path());
      rotations.push_back(s->Rotation());
    }
    if (!m_thumbs->AddMultipleFiles(MakePathList(paths), MakeLongList(rotations), -1))
      m_wiz.LogError("CvexaPropPageSelectFiles::OnInitDialog() - CVEXAThum::AddMultipleFiles() call failed",
                     false);
  }

  // Fills the control from the album; the filled content is where undo starts.
  void Refill() {
    m_undo.SetBusy(true);
    PopulateThumCtrl();
    m_undo.SetBusy(false);
    m_undo.Attach(m_thumbs);
    ShowContents();
  }

  void ShowContents() {
    const LONG count = m_thumbs->GetThumbCount();
    m_pane->SetImageCount(count);
    const bool had = m_hasImages;
    m_hasImages = count >= 1;
    if (had != m_hasImages) emit completeChanged();
    RefreshMeter(m_wiz, m_pane->Meter());
  }

  void SaveSettings() {
    if (!m_created || !m_wiz.sessionAlbum) return;
    const vexa::com::Variant paths = m_thumbs->GetAllFilePaths(), rotations = m_thumbs->GetAllRotations();
    // The album takes the control's pictures, each keeping its own record.
    const vexa::com::Variant p = paths.vt == VT_ARRAY ? paths : MakePathList({});
    const vexa::com::Variant r = rotations.vt == VT_ARRAY ? rotations : MakeLongList({});
    if (!m_wiz.sessionAlbum->AddStills(p, r))
      m_wiz.LogError("CvexaPropPageSelectFiles::SaveSettings() - CVexaWizXML::AddStills() call failed", false);
  }

  void ClearThumbnailCtrl() {
    if (!m_created) return;
    SaveSettings();
    m_undo.SetBusy(true);
    if (!m_thumbs->Clear())
      m_wiz.LogError("CvexaPropPageSelectFiles::OnWizardNext() - CVEXAThum::Clear() call failed", false);
    m_undo.SetBusy(false);
  }

  void OnContentsChanged() {
    if (m_undo.IsBusy()) return;
    m_pane->SetImageCount(m_thumbs->GetThumbCount());
    m_undo.Record();
    SaveSettings();
    ShowContents();
  }

  void Rotate(LONG degrees) {
    const vexa::com::Variant selection = m_thumbs->GetSelection();
    if (selection.vt != VT_ARRAY) return;
    m_undo.SetBusy(true);
    m_thumbs->RotateThumbs(selection, degrees);
    m_undo.SetBusy(false);
    OnContentsChanged();
  }

  void RemoveSelection() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_thumbs->RemoveSelection();
    QApplication::restoreOverrideCursor();
  }

  void RemoveAll() {
    CvexaMessageBox box(m_wiz);
    const std::string text = m_wiz.LoadString(
        6,
        "Are you sure you want to remove all of the images from your album?\r\n\r\nThese images will not be deleted "
        "from your computer.");
    if (box.Show(MB_YESNO, text, false, false, true) == IDYES) m_thumbs->Clear();
  }

  void ToggleNames() {
    const bool show = !m_thumbs->GetShowCaptions();
    m_thumbs->SetShowCaptions(show);
    m_showNames->setChecked(show);
  }

  void Preview(LONG id) {
    if (id == 0) return;
    // Owned by the wizard's window: it opens above it and takes the keys.
    CvexaPreviewDlg preview(m_wiz, window());
    preview.SetFile(m_thumbs->GetThumbFilePath(id));
    preview.SetRotation(m_thumbs->GetThumbRotation(id));
    preview.exec();
  }

  void Properties() {
    const std::string path = m_thumbs->GetThumbFilePath(m_thumbs->GetLastSelected());
    if (!path.empty()) Launch("properties", path);
  }

  void ContextMenu(QPoint local) {
    QMenu menu(this);
    menu.setObjectName("menu199");
    const bool none = m_thumbs->GetSelectionCount() == 0;
    Command(&menu, 32838, "&Preview")->setEnabled(!none);
    Command(&menu, 32841, "Rotate Rig&ht")->setEnabled(!none);
    Command(&menu, 32842, "Rotate Le&ft")->setEnabled(!none);
    menu.addSeparator();
    Command(&menu, 32811, "&Remove")->setEnabled(!none);
    Command(&menu, 32810, "Remove &All")->setEnabled(m_thumbs->GetThumbCount() > 0);
    Command(&menu, 32814, "Select A&ll");
    menu.addSeparator();
    QAction* names = Command(&menu, 32836, "Sho&w Names");
    names->setCheckable(true);
    names->setChecked(m_thumbs->GetShowCaptions());
    Command(&menu, 32821, "&Undo")->setEnabled(m_undo.CanUndo());
    menu.addSeparator();
    Command(&menu, 32809, "Propert&ies")->setEnabled(!none);
    if (m_keys) m_keys->ShowKeysIn(&menu);
    QWidget* origin = m_thumbs->ControlWindow() ? m_thumbs->ControlWindow() : m_thumbs;
    menu.exec(origin->mapToGlobal(local));
  }

  void OnButtonAddImages() {
    // Owned by the wizard's window, so it opens above it.
    CvexaAddImagesDlg dialog(m_wiz, window());
    ClearThumbnailCtrl();
    dialog.exec();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Refill();
    QApplication::restoreOverrideCursor();
  }

  CVEXAThum* m_thumbs = nullptr;
  CThumbUndo m_undo;
  CvexaCommands m_commands;
  CvexaKeyFilter* m_keys = nullptr;
  CvexaAlbumPaneDlg* m_pane = nullptr;
  std::map<int, QToolButton*> m_buttons;
  QToolButton* m_showNames = nullptr;
  QToolButton* m_undoButton = nullptr;
  QAction* m_ascendingItem = nullptr;
  bool m_created = false;
  bool m_ascending = true;
  bool m_hasImages = false;
  bool m_saveOnCancel = false;
};

}  // namespace

QWizardPage* CreateSelectPage(WizServices& wiz) { return new CvexaPropPageSelectFiles(wiz); }

}  // namespace vexa::wiz
