#include "wizard/SelectPage.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "wizard/AddImagesDlg.h"
#include "wizard/Launcher.h"
#include "wizard/MessageBox.h"
#include "wizard/Meter.h"
#include "wizard/PageCommon.h"
#include "wizard/PreviewDlg.h"
#include "wizard/ThumbHost.h"
#include "wizard/WizUtil.h"
#include "wizard/WizXML.h"

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
  CvexaPropPageSelectFiles() : CvexaWizPage(133, 101, 102) {
    LoadForm(this, 133);
    QWidget* frame = Ctl<QWidget>(this, 1112);
    QWidget* toolbarPlace = Ctl<QWidget>(this, 1114);
    QWidget* panePlace = Ctl<QWidget>(this, 1103);
    if (!frame || !toolbarPlace || !panePlace) return;

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    m_thumbs = new CVEXAThum(frame);
    m_thumbs->setObjectName("ctl_1113");
    m_thumbs->setAccessibleName("Album pictures");
    frameLayout->addWidget(m_thumbs);
    auto* paneLayout = new QVBoxLayout(panePlace);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    m_pane = new CvexaAlbumPaneDlg(panePlace);
    paneLayout->addWidget(m_pane);
    m_pane->SetImageCount(0);
    BuildToolbar(toolbarPlace);

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
      if (CvexaPropSheet* sheet = ActiveSheet()) m_thumbs->SetCacheDir(sheet->GetCacheDirectory());
      SetAlbumSwitches(m_thumbs);
    }
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

  CVEXAThum* Thumbs() const { return m_thumbs; }

 private:
  QAction* Command(QMenu* menu, int id, const char* fallback, std::function<void()> action) {
    QAction* a = menu->addAction(QText(id, fallback));
    a->setObjectName(QString("cmd_%1").arg(id));
    connect(a, &QAction::triggered, this, std::move(action));
    return a;
  }

  void BuildToolbar(QWidget* place) {
    auto* layout = new QHBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QToolBar(place);
    bar->setObjectName("toolbar1114");
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(bar);
    auto dropDown = [&](int id, const char* text) {
      auto* b = new QToolButton(bar);
      b->setObjectName(QString("ctl_%1").arg(id));
      b->setText(QText(id, text));
      b->setAccessibleName(b->text().remove('&'));
      b->setPopupMode(QToolButton::InstantPopup);
      auto* menu = new QMenu(b);
      b->setMenu(menu);
      bar->addWidget(b);
      return menu;
    };
    QMenu* move = dropDown(115, "&Move");
    Command(move, 32802, "Move &Right", [this] { m_thumbs->MoveSelection(0); });
    Command(move, 32803, "Move &Left", [this] { m_thumbs->MoveSelection(1); });
    QMenu* sort = dropDown(110, "&Sort By");
    QAction* ascending = Command(sort, 32813, "&Ascending", [this] { m_ascending = !m_ascending; });
    ascending->setCheckable(true);
    ascending->setChecked(true);
    sort->addSeparator();
    Command(sort, 32793, "&Name", [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByNameForward, m_ascending); });
    Command(sort, 32795, "&Time Stamp", [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByTimestampForward, m_ascending); });
    Command(sort, 32796, "&Picture Date", [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByExifDateForward, m_ascending); });
    Command(sort, 32797, "File T&ype", [this] { m_thumbs->Sort(DISPID_VEXATHUM_SortByFileTypeForward, m_ascending); });
    QMenu* remove = dropDown(111, "&Remove");
    Command(remove, 32799, "Remove &Selected", [this] { RemoveSelection(); });
    Command(remove, 32798, "Remove &All", [this] { RemoveAll(); });

    m_showNames = new QToolButton(bar);
    m_showNames->setObjectName("ctl_112");
    m_showNames->setText(QText(112, "Sho&w Names"));
    m_showNames->setAccessibleName("Show Names");
    m_showNames->setCheckable(true);
    m_showNames->setChecked(true);
    connect(m_showNames, &QToolButton::clicked, this, [this] { ToggleNames(); });
    bar->addWidget(m_showNames);
    auto* undo = new QToolButton(bar);
    undo->setObjectName("ctl_113");
    undo->setText(QText(113, "&Undo"));
    undo->setAccessibleName("Undo");
    connect(undo, &QToolButton::clicked, this, [this] { m_undo.Undo(); });
    bar->addWidget(undo);
  }

  void PopulateThumCtrl() {
    StillList list;
    if (!Module().sessionAlbum || !Module().sessionAlbum->GetAllStills(&list)) {
      CVexaWizUtil::LogError("CvexaPropPageSelectFiles::OnInitDialog() - CVexaWizXML::GetAllStills() call failed",
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
      CVexaWizUtil::LogError("CvexaPropPageSelectFiles::OnInitDialog() - CVEXAThum::AddMultipleFiles() call failed",
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
    RefreshMeter(m_pane->Meter());
  }

  void SaveSettings() {
    if (!m_created || !Module().sessionAlbum) return;
    const vexa::com::Variant paths = m_thumbs->GetAllFilePaths(), rotations = m_thumbs->GetAllRotations();
    // The album takes the control's pictures, each keeping its own record.
    const vexa::com::Variant p = paths.vt == VT_ARRAY ? paths : MakePathList({});
    const vexa::com::Variant r = rotations.vt == VT_ARRAY ? rotations : MakeLongList({});
    if (!Module().sessionAlbum->AddStills(p, r))
      CVexaWizUtil::LogError("CvexaPropPageSelectFiles::SaveSettings() - CVexaWizXML::AddStills() call failed", false);
  }

  void ClearThumbnailCtrl() {
    if (!m_created) return;
    SaveSettings();
    m_undo.SetBusy(true);
    if (!m_thumbs->Clear())
      CVexaWizUtil::LogError("CvexaPropPageSelectFiles::OnWizardNext() - CVEXAThum::Clear() call failed", false);
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
    CvexaMessageBox box;
    const std::string text = CVexaWizUtil::LoadString(
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
    CvexaPreviewDlg preview;
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
    Command(&menu, 32838, "&Preview", [this] { Preview(m_thumbs->GetFirstSelected()); })->setEnabled(!none);
    Command(&menu, 32841, "Rotate &Right", [this] { Rotate(90); })->setEnabled(!none);
    Command(&menu, 32842, "Rotate &Left", [this] { Rotate(-90); })->setEnabled(!none);
    menu.addSeparator();
    Command(&menu, 32811, "&Remove", [this] { RemoveSelection(); })->setEnabled(!none);
    Command(&menu, 32810, "Remove &All", [this] { RemoveAll(); })->setEnabled(m_thumbs->GetThumbCount() > 0);
    Command(&menu, 32814, "Select A&ll", [this] { m_thumbs->SelectAll(); });
    menu.addSeparator();
    Command(&menu, 32809, "P&roperties", [this] { Properties(); })->setEnabled(!none);
    QWidget* origin = m_thumbs->ControlWindow() ? m_thumbs->ControlWindow() : m_thumbs;
    menu.exec(origin->mapToGlobal(local));
  }

  void OnButtonAddImages() {
    CvexaAddImagesDlg dialog(nullptr);
    ClearThumbnailCtrl();
    dialog.exec();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Refill();
    QApplication::restoreOverrideCursor();
  }

  CVEXAThum* m_thumbs = nullptr;
  CThumbUndo m_undo;
  CvexaAlbumPaneDlg* m_pane = nullptr;
  QToolButton* m_showNames = nullptr;
  bool m_created = false;
  bool m_ascending = true;
  bool m_hasImages = false;
  bool m_saveOnCancel = false;
};

}  // namespace

QWizardPage* CreateSelectPage() { return new CvexaPropPageSelectFiles(); }

}  // namespace vexa::wiz
