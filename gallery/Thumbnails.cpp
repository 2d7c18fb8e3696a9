#include "gallery/Thumbnails.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include "gallery/DragDrop.h"
#include "gallery/FontMgr.h"
#include "gallery/Params.h"
#include "gallery/PhotoModel.h"
#include "uicommon/common/Command.h"
#include "uicommon/common/Settings.h"
#include "uicommon/common/Strings.h"

namespace vexa::gallery {

using namespace vexa::ui;

// ---- CThumbnailWindow -----------------------------------------------------------------------

CThumbnailWindow::CThumbnailWindow(QWidget* gallery, int photoId, int descriptorId, int extra)
    : CArtButton(gallery), m_photoId(photoId), m_extra(extra), m_gallery(gallery) {
  Construct(photoId, ButtonDescriptor(descriptorId));
  AddListener("UpdateThumbnail", this);
}

CThumbnailWindow::~CThumbnailWindow() { RemoveListener("UpdateThumbnail", this); }

void CThumbnailWindow::Receive(std::string channel, CParameter* param) {
  if (channel == "UpdateThumbnail" && param && param->PhotoId() == m_photoId) update();
}

void CThumbnailWindow::SetThumbnail(CDDB& thumbnail) {
  m_thumbnail = std::make_unique<CDDB>(thumbnail, true);
  update();
}

void CThumbnailWindow::DrawMissing(QPainter*) {}

void CThumbnailWindow::paintEvent(QPaintEvent* event) {
  PrepareCaption();
  CArtButton::paintEvent(event);
}

void CThumbnailWindow::OnDraw(QPainter* dc) {
  // The cell face at its own size: a cell without captions shows the top
  // of it (the picture well), never a squeezed copy.
  const CArtButtonState& s = State();
  CDDB* face = s.pushed ? (s.highlight ? GetDownHigh() : GetDown()) : (s.highlight ? GetUpHigh() : GetUp());
  if (face) {
    const QRect r(0, 0, std::min(width(), face->Width()), std::min(height(), face->Height()));
    face->Draw(dc, r, r, SRCCOPY);
  }
  if (m_thumbnail && m_thumbnail->Width() > 0) {
    const int x = (width() - m_thumbnail->Width()) / 2;
    const int y = (116 - m_thumbnail->Height()) / 2;
    m_thumbnail->Draw(dc, x, y);
  } else {
    DrawMissing(dc);
  }
}

// ---- CSelectThumbnail ------------------------------------------------------------------------

namespace {
const char* const kThumbChannels[] = {"EditFilenameTab", "EditFilenameTabBack", "RotateClockwise",
                                      "RotateCounterClockwise", "PhotoDirtyChange", "RemoveAudioControl"};
}  // namespace

CSelectThumbnail::CSelectThumbnail(CThumbnailHost* gallery, int photoId)
    : CThumbnailWindow(gallery->Document(), photoId, 0, 0), m_host(gallery) {
  setMouseTracking(true);
  if (auto* a = gallery->PhotoList()->Attributes(photoId); a && a->Thumbnail()) SetThumbnail(*a->Thumbnail());
  m_tooltip.Init(this, GetIntValue(Properties_ToolTips, 1));
  const std::string tip = vexa::ui::LoadResString(6209);
  const QRect o = ViewDescriptor(51).ArtRect();
  const int cw = width(), ch = height();
  m_tooltip.AddTool(tip, QRect(QPoint(0, 0), QPoint(cw - 1, o.y() - 1)), 1);
  m_tooltip.AddTool(tip, QRect(QPoint(0, o.y()), QPoint(o.x() - 1, ch - 1)), 2);
  m_tooltip.AddTool(tip, QRect(QPoint(o.x(), o.y() + o.height()), QPoint(cw - 1, ch - 1)), 3);
  m_tooltip.AddTool(tip, QRect(QPoint(o.x() + o.width(), o.y()), QPoint(cw - 1, o.y() + o.height() - 1)), 4);
  m_tooltip.AddTool(tip, o, 5);
  if (auto* a = gallery->PhotoList()->Attributes(photoId); a && !a->m_problem.empty()) ShowProblem(a->m_problem);
  for (const char* c : kThumbChannels) AddListener(c, this);
}

void CSelectThumbnail::ShowProblem(const std::string& why) {
  // Over the whole window: the placeholder is small, and the reason is
  // what the pointer over this photo should learn.
  const std::string text = why.empty() ? vexa::ui::LoadResString(6209) : why;
  for (int id = 1; id <= 5; ++id) m_tooltip.ChangeTool(text, id);
}

CSelectThumbnail::~CSelectThumbnail() {
  m_edit.reset();
  for (const char* c : kThumbChannels) RemoveListener(c, this);
}

void CSelectThumbnail::SyncPushed() {
  const bool selected = m_host->PhotoList()->IsSelected(m_photoId);
  if (IsPushed() != selected) Toggle();
  if (m_edit) m_edit->SetMode(selected ? 1 : 0);
  if (underMouse()) CaptureChanged(true);
}

void CSelectThumbnail::SelectToggle() {
  CPhotoList* list = m_host->PhotoList();
  list->Select(m_photoId, !list->IsSelected(m_photoId));
  SyncPushed();
}

std::vector<int> CSelectThumbnail::CornerButtonIds() const {
  std::vector<int> ids;
  for (int i = 0; i < 8; ++i)
    if (m_corners[static_cast<std::size_t>(i)]) ids.push_back(i + 1);
  return ids;
}

void CSelectThumbnail::CaptureChanged(bool held) {
  // Showing or removing a corner button under the pointer makes Qt send this
  // window enter and leave events at once, which come back here. A call
  // made while the buttons are being changed only notes what it wants; the
  // outer call then applies the latest wish. The events settle on where the
  // pointer is, so a few passes are enough.
  m_wantCorners = held;
  if (m_changingCorners) return;
  m_changingCorners = true;
  for (int pass = 0; pass < 4; ++pass) {
    const bool want = m_wantCorners;
    ApplyCorners(want);
    if (m_wantCorners == want) break;
  }
  m_changingCorners = false;
}

void CSelectThumbnail::ApplyCorners(bool held) {
  // A button goes at once from the window, but is deleted only when the
  // events under way are over: Qt keeps the windows it is sending enter and
  // leave events to in a list of its own while it sends them.
  auto destroy = [this](int from, int to) {
    for (int i = from; i <= to; ++i) {
      if (ui::CArtButton* button = m_corners[static_cast<std::size_t>(i - 1)].release()) {
        button->hide();
        button->deleteLater();
      }
    }
  };
  if (!held) {
    destroy(1, 8);
    return;
  }
  const bool selected = m_host->PhotoList()->IsSelected(m_photoId);
  const int base = selected ? 1 : 5;
  destroy(selected ? 5 : 1, selected ? 8 : 4);
  auto make = [&](int id) {
    auto& slot = m_corners[static_cast<std::size_t>(id - 1)];
    if (slot) return;
    // Stored before it is shown: showing it may bring events here.
    slot.reset(NewArtButton(this, id));
    if (slot) {
      slot->ToggleMode(false);
      slot->show();
    }
  };
  if (m_host->EnableAdjustButton()) make(base);
  if (m_host->EnableRotateButtons()) {
    make(base + 1);
    make(base + 2);
  }
  if (m_host->EnableCloseButton()) make(base + 3);
}

void CSelectThumbnail::enterEvent(QEnterEvent* event) {
  CThumbnailWindow::enterEvent(event);
  CaptureChanged(true);
}

void CSelectThumbnail::leaveEvent(QEvent* event) {
  CThumbnailWindow::leaveEvent(event);
  CaptureChanged(false);
}

void CSelectThumbnail::mousePressEvent(QMouseEvent* event) {
  CGalleryCallback* host = m_host->HostCallback();
  const QPoint inGallery = mapTo(m_host->HostViewport(), event->position().toPoint());
  const int keys = static_cast<int>(event->modifiers() >> 25);
  m_host->HostWidget()->setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::RightButton) {
    m_pendingPress = true;
    m_pressPoint = event->globalPosition().toPoint();
    if (!m_host->IsSelected(m_photoId)) {
      m_host->SelectNone();
      m_host->Select(m_photoId, true);
    }
    if (host) host->MouseDown(2, keys, inGallery.x(), inGallery.y());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  m_shift = m_ctrl = false;
  if (!ImageArea().contains(event->position().toPoint())) {
    m_host->SelectNone();
    m_host->RubberBandBegin(inGallery);
    if (host) host->MouseDown(1, keys, inGallery.x(), inGallery.y());
    return;
  }
  m_pressPoint = event->globalPosition().toPoint();
  m_tracking = true;
  if (event->modifiers() & Qt::ShiftModifier) {
    // Exactly the range from the first selected photo (or the clicked one)
    // to the clicked photo is selected.
    const auto selected = m_host->SelectedInOrder();
    const int clicked = m_host->OrdinalOfID(m_photoId);
    int first = selected.empty() ? 0 : m_host->OrdinalOfID(selected.front());
    int last = selected.empty() ? 0 : m_host->OrdinalOfID(selected.back());
    if (clicked < first) first = clicked;
    else last = clicked;
    const auto& order = m_host->PhotoOrder()->Ids();
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
      const bool want = i >= first && i <= last;
      m_host->Select(order[static_cast<std::size_t>(i)], want);
    }
    m_shift = true;
  } else if (event->modifiers() & Qt::ControlModifier) {
    m_ctrl = true;
  } else if (!m_host->IsSelected(m_photoId)) {
    m_host->SelectNone();
    m_host->Select(m_photoId, true);
  }
  m_host->LastThumbnailSelected(m_photoId);
  if (host) {
    host->SelectionChanged();
    host->MouseDown(1, keys, inGallery.x(), inGallery.y());
  }
}

void CSelectThumbnail::mouseReleaseEvent(QMouseEvent* event) {
  CGalleryCallback* host = m_host->HostCallback();
  const QPoint inGallery = mapTo(m_host->HostViewport(), event->position().toPoint());
  const int keys = static_cast<int>(event->modifiers() >> 25);
  if (event->button() == Qt::RightButton) {
    m_pendingPress = false;
    if (host) {
      host->SelectionChanged();
      host->MouseUp(2, keys, inGallery.x(), inGallery.y());
    }
    return;
  }
  if (m_host->RubberBandActive()) {
    m_host->RubberBandEnd(inGallery);
    if (host) host->MouseUp(1, keys, inGallery.x(), inGallery.y());
    return;
  }
  if (m_tracking) {
    m_tracking = false;
    if (m_ctrl) {
      m_host->SelectThumbnail(m_photoId);
      m_ctrl = false;
    } else if (!m_shift) {
      m_host->UnselectAllButOne(m_photoId);
    }
  }
  if (host) host->MouseUp(1, keys, inGallery.x(), inGallery.y());
}

void CSelectThumbnail::mouseMoveEvent(QMouseEvent* event) {
  if (m_host->RubberBandActive() && (event->buttons() & Qt::LeftButton)) {
    m_host->RubberBandUpdate(mapTo(m_host->HostViewport(), event->position().toPoint()));
    return;
  }
  if (m_tracking && (event->buttons() & Qt::LeftButton) && m_host->HostCaller() != 1) {
    const QPoint screen = event->globalPosition().toPoint();
    m_host->SaveDragPt(screen);
    if ((screen - m_pressPoint).manhattanLength() > kDragDistance) {
      m_tracking = false;
      if (m_ctrl && !m_host->IsSelected(m_photoId)) m_host->Select(m_photoId, true);
      m_ctrl = false;
      m_host->BeginDrag(this);
      return;
    }
  }
}

void CSelectThumbnail::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_host->Select(m_photoId, true);
  CaptureChanged(false);
  Highlight(false);
  if (CGalleryCallback* host = m_host->HostCallback()) host->DoubleClick(m_photoId);
}

bool CSelectThumbnail::event(QEvent* e) {
  if (e->type() == CCommandEvent::EventType()) {
    RunCommandLater(static_cast<CCommandEvent*>(e)->Command());
    return true;
  }
  return CThumbnailWindow::event(e);
}

void CSelectThumbnail::contextMenuEvent(QContextMenuEvent* event) {
  // The photo's menu: its commands come back as OnCommand.
  QMenu menu(this);
  for (int id : {1258, 1259, 1264, 0, 1263, 1267, 1279, 1551, 0, 1273, 1280}) {
    if (!id) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(QString::fromStdString(vexa::ui::LoadResString(id)));
    action->setData(id);
  }
  if (QAction* chosen = menu.exec(event->globalPos())) RunCommandLater(chosen->data().toInt());
}

void CSelectThumbnail::RunCommandLater(int command) {
  // A command may remove this photo, and its window with it: it runs once
  // the event that brought it is over.
  QPointer<CSelectThumbnail> self(this);
  QMetaObject::invokeMethod(
      m_host->HostWidget(), [self, command] {
        if (self) self->OnCommand(command);
      },
      Qt::QueuedConnection);
}

void CSelectThumbnail::OnCommand(int command) {
  CGalleryCallback* host = m_host->HostCallback();
  switch (command) {
    case 1258: if (host) host->CounterClockwiseButtonClicked(m_photoId); return;
    case 1259: if (host) host->ClockwiseButtonClicked(m_photoId); return;
    case 1264: if (host) host->ZoomButtonClicked(m_photoId); return;
    case 1263: Copy(true, false); return;
    case 1267: Copy(true, true); return;
    case 1279: Copy(false, false); return;
    case 1551: Copy(false, true); return;
    // The host removes them when it can (its count and undo follow); this
    // window may be gone when it returns.
    case 1273: m_host->RemoveSelectedByUser(); return;
    case 1280: if (host) host->CloseButtonClicked(m_photoId); return;
    default: break;
  }
  if (!host) return;
  // The corner buttons: adjust, rotate clockwise, counterclockwise, remove.
  switch (command - CArtButton::kCommandOffset) {
    case 1: case 5: host->ZoomButtonClicked(m_photoId); break;
    case 2: case 6: host->ClockwiseButtonClicked(m_photoId); break;
    case 3: case 7: host->CounterClockwiseButtonClicked(m_photoId); break;
    case 4: case 8: host->CloseButtonClicked(m_photoId); break;
    default: break;
  }
}

void CSelectThumbnail::Copy(bool allSelected, bool cut) {
  std::vector<int> ids = allSelected ? m_host->SelectedInOrder() : std::vector<int>{m_photoId};
  if (ids.empty()) return;
  CGalleryCallback* host = m_host->HostCallback();
  if (host && host->HostHandlesPhotoDrag()) {
    m_dropSource.m_ids = ids;
    host->HostBeginPhotoDrag(&m_dropSource);
  } else if (m_host->HostCaller() == 0) {
    auto* data = new QMimeData;
    std::vector<std::string> paths;
    for (int id : ids)
      if (auto* a = m_host->PhotoList()->Attributes(id)) paths.push_back(a->m_fileName);
    vexa::gallery::SetFileList(data, paths);
    data->setData(vexa::gallery::kGalleryFormat, vexa::gallery::EncodeGalleryFormat(m_host->Token(), ids));
    QGuiApplication::clipboard()->setMimeData(data);
  }
  if (cut) {
    if (allSelected) m_host->RemoveSelectedByUser();
    else if (host) host->CloseButtonClicked(m_photoId);
  }
}

void CSelectThumbnail::Receive(std::string channel, CParameter* param) {
  if (!param || param->PhotoId() != m_photoId) {
    CThumbnailWindow::Receive(channel, param);
    return;
  }
  if (channel == "EditFilenameTab" || channel == "EditFilenameTabBack") {
    const auto& order = m_host->PhotoOrder()->Ids();
    const int at = m_host->OrdinalOfID(m_photoId);
    const int next = channel == "EditFilenameTab" ? at + 1 : at - 1;
    if (at < 0 || next < 0 || next >= static_cast<int>(order.size())) return;
    CParamInt p(order[static_cast<std::size_t>(next)], order[static_cast<std::size_t>(next)]);
    Broadcast("EditFilenameSelect", &p);
  } else if (channel == "RotateClockwise" || channel == "RotateCounterClockwise") {
    m_host->SetSaved(m_photoId, false);
  } else if (channel == "PhotoDirtyChange") {
    if (m_edit) {
      m_edit->m_changed = !m_host->PhotoList()->IsSaved(m_photoId);
      m_edit->update();
    }
  } else if (channel == "RemoveAudioControl") {
    if (m_edit) m_edit->setGeometry(ThumbnailCaptionRect());
  } else {
    CThumbnailWindow::Receive(channel, param);
  }
}

void CSelectThumbnail::PrepareCaption() {
  if (m_edit || !(m_host->EnableFileName() || m_host->EnableReadOnlyFileName())) return;
  m_edit = std::make_unique<CEditFilename>(this, m_photoId, m_host->EnableReadOnlyFileName());
  m_edit->setGeometry(ThumbnailCaptionRect());
  m_edit->setText(QString::fromStdString(m_host->GetThumbnailCaption(m_photoId)));
  m_edit->m_changed = !m_host->PhotoList()->IsSaved(m_photoId);
  m_edit->SetMode(IsPushed() ? 1 : 0);
  m_edit->show();
}

void CSelectThumbnail::DrawMissing(QPainter* dc) {
  if (CGalleryCallback* host = m_host->HostCallback())
    host->DrawMissingThumbnail(m_photoId, dc, width(), 116);
}

void CSelectThumbnail::OnDraw(QPainter* dc) {
  CThumbnailWindow::OnDraw(dc);
  auto* a = m_host->PhotoList()->Attributes(m_photoId);
  if (a && a->m_sourceType == 1 && !a->m_downloaded) {
    static const std::unique_ptr<CDDB> selectedArt(GetArtwork(ViewDescriptor(51).m_artwork, ViewDescriptor(51).ArtRect()));
    static const std::unique_ptr<CDDB> plainArt(GetArtwork(ViewDescriptor(52).m_artwork, ViewDescriptor(52).ArtRect()));
    CDDB* art = IsPushed() ? selectedArt.get() : plainArt.get();
    if (art) art->Draw(dc, ViewDescriptor(51).m_offsetX, ViewDescriptor(51).m_offsetY);
  }
  // The photo the keys act on, whether or not it is selected.
  if (m_host->MarksAsCurrent(m_photoId)) {
    dc->save();
    dc->setBrush(Qt::NoBrush);
    dc->setPen(QPen(Qt::black, 1, Qt::DotLine));
    dc->drawRect(ImageArea().adjusted(-4, -4, 3, 3));
    dc->restore();
  }
}

// ---- CEditFilename -------------------------------------------------------------------------------

CEditFilename::CEditFilename(QWidget* parent, int photoId, bool readOnly) : QLineEdit(parent), m_photoId(photoId) {
  setMaxLength(513);
  setFrame(false);
  setAlignment(Qt::AlignCenter);
  if (HFONT f = TheFontMgr().FontForRole(3)) setFont(*f);
  setReadOnly(readOnly);
  if (readOnly) setEnabled(false);
  for (const char* c : {"EditFilenameSelect", "ChangeEditFilename", "EditFilenameKillFocus"}) AddListener(c, this);
  connect(this, &QLineEdit::textEdited, this, &CEditFilename::OnEdited);
}

CEditFilename::~CEditFilename() {
  for (const char* c : {"EditFilenameSelect", "ChangeEditFilename", "EditFilenameKillFocus"}) RemoveListener(c, this);
}

void CEditFilename::SetMode(int mode) {
  m_mode = mode;
  // Shown captions read as text, whether or not they can be edited.
  QPalette pal = palette();
  const bool highlighted = mode == 1;
  const QColor base = highlighted ? pal.color(QPalette::Active, QPalette::Highlight) : QColor(0, 0, 0, 0);
  const QColor text = highlighted ? pal.color(QPalette::Active, QPalette::HighlightedText)
                                  : pal.color(QPalette::Active, QPalette::WindowText);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::Base, base);
    pal.setColor(group, QPalette::Text, text);
  }
  setPalette(pal);
  if (mode == 2) selectAll();
}

std::string CEditFilename::CleanCaption(const std::string& text) {
  QString s = QString::fromStdString(text);
  while (!s.isEmpty() && s.front() == ' ') s.remove(0, 1);
  if (s.size() > 255) s.truncate(255);
  static const QString kBad = QStringLiteral("\\/:*?\"<>|");
  QString out;
  for (QChar c : s)
    if (!kBad.contains(c)) out += c;
  while (!out.isEmpty() && out.front() == '.') out.remove(0, 1);
  return out.toStdString();
}

void CEditFilename::OnEdited(const QString& text) {
  if (m_cleaning) return;
  const std::string cleaned = CleanCaption(text.toStdString());
  if (cleaned == text.toStdString()) return;
  m_cleaning = true;
  ++m_beeps;
  QApplication::beep();
  const int start = std::max(0, cursorPosition() - 1);
  setText(QString::fromStdString(cleaned));
  setCursorPosition(std::min(start, static_cast<int>(text.size())));
  m_cleaning = false;
}

void CEditFilename::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
    if (IsEditing()) {
      m_tab = true;
      CParamInt p(m_photoId, m_photoId);
      Broadcast((event->modifiers() & Qt::ShiftModifier) || event->key() == Qt::Key_Backtab ? "EditFilenameTabBack"
                                                                                              : "EditFilenameTab",
                &p);
    }
    return;
  }
  if (!IsEditing()) return;  // typed while shown only: dropped
  QLineEdit::keyPressEvent(event);
  if (m_mode == 2) m_mode = 3;
}

bool CEditFilename::event(QEvent* e) {
  // Tab reaches the key handler instead of moving the focus.
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QLineEdit::event(e);
}

QString CEditFilename::ShownText() const {
  const QRect r = contentsRect().adjusted(2, 0, -2, 0);
  return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, r.width()));
}

void CEditFilename::paintEvent(QPaintEvent* event) {
  if (IsEditing()) {
    QLineEdit::paintEvent(event);
    return;
  }
  QPainter painter(this);
  const QPalette pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Active, QPalette::Base));
  painter.setPen(pal.color(QPalette::Active, QPalette::Text));
  painter.setFont(font());
  painter.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignCenter | Qt::TextSingleLine, ShownText());
}

void CEditFilename::mouseDoubleClickEvent(QMouseEvent* event) {
  SetMode(2);
  QLineEdit::mouseDoubleClickEvent(event);
}

void CEditFilename::focusInEvent(QFocusEvent* event) {
  CParamInt p(m_photoId, m_photoId);
  switch (m_mode) {
    case 0:
      Broadcast("SelectThumbnailOn", &p);
      Broadcast("EditFilenameKillFocus", &p);
      return;
    case 1:
      Broadcast("EditFilenameKillFocus", &p);
      SetMode(2);
      break;
    case 2:
      m_mode = 3;
      break;
    default:
      break;
  }
  QLineEdit::focusInEvent(event);
}

void CEditFilename::focusOutEvent(QFocusEvent* event) {
  if (!QApplication::focusWidget() || m_closing || m_tab) {
    m_closing = m_tab = false;
    if (IsEditing()) SetMode(1);
  }
  QLineEdit::focusOutEvent(event);
}

void CEditFilename::Receive(std::string channel, CParameter* param) {
  const int id = param ? param->PhotoId() : 0;
  if (channel == "EditFilenameSelect" && id == m_photoId) {
    CParamInt p(m_photoId, m_photoId);
    Broadcast("SelectThumbnailOn", &p);
    SetMode(2);
    setFocus();
  } else if (channel == "ChangeEditFilename" && id == m_photoId) {
    if (auto* s = dynamic_cast<CParamString*>(param)) setText(QString::fromStdString(s->Text()));
  } else if (channel == "EditFilenameKillFocus" && param && id != m_photoId) {
    if (hasFocus()) {
      m_closing = true;
      clearFocus();
    }
  }
}

// ---- Outline windows ----------------------------------------------------------------------------

CRubberBandWnd::CRubberBandWnd(QWidget* parent, const QRect& area) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(area);
}

void CRubberBandWnd::SetRect(const QRect& rect) {
  m_rect = rect;
  update();
}

void CRubberBandWnd::Erase() {
  m_drawn = QRect();
  m_rect = QRect();
  update();
}

void CRubberBandWnd::paintEvent(QPaintEvent*) {
  if (m_rect.isNull()) return;
  QPainter p(this);
  p.setPen(QPen(QColor(0x2F, 0x6F, 0xDE), 1, Qt::DashLine));
  p.setBrush(QColor(0x2F, 0x6F, 0xDE, 40));
  p.drawRect(m_rect.translated(-pos()).adjusted(0, 0, -1, -1));
  m_drawn = m_rect;
}

CDragWnd::CDragWnd(QWidget* parent, const QRect& area, std::vector<QRect> rects)
    : QWidget(parent), m_rects(std::move(rects)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(area);
}

void CDragWnd::SetOffset(QPoint offset) {
  m_offset = offset;
  update();
}

void CDragWnd::Erase() {
  m_drawn.clear();
  update();
}

void CDragWnd::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(Qt::black, 1, Qt::DotLine));
  m_drawn.clear();
  for (const QRect& r : m_rects) {
    const QRect moved = r.translated(m_offset - pos());
    p.drawRect(moved);
    m_drawn.push_back(moved);
  }
  m_lastOffset = m_offset;
}

}  // namespace vexa::gallery
