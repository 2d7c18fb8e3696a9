// The scrolling thumbnail gallery: one thumbnail window per photo, the
// photos' display order, selection and captions, laid out by an
// arrangement; what the user does reaches the host through CGalleryCallback.
#pragma once

#include <QPoint>
#include <QRect>
#include <QScrollArea>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gallery/Arrangement.h"
#include "gallery/DragDrop.h"
#include "gallery/GalleryCallback.h"
#include "gallery/GalleryExport.h"
#include "gallery/PhotoModel.h"
#include "gallery/ThumbnailHost.h"
#include "uicommon/art/Views.h"
#include "uicommon/common/Broadcast.h"

class QPainter;

namespace vexa::gallery {

class CSelectThumbnail;
class CRubberBandWnd;
class CDragWnd;

class VEXATHUMGALLERY_API CGallery : public QScrollArea {
  Q_OBJECT
 public:
  CGallery(QWidget* parent, CGalleryCallback* callback, EGalleryCaller caller);
  ~CGallery() override;
  CGalleryCallback* Callback() const { return m_callback; }
  virtual void Callback(CGalleryCallback* callback) { m_callback = callback; }
  EGalleryCaller Caller() const { return m_caller; }

  // The library's one shared gallery: made by the first call (later calls
  // return it and ignore their arguments) and shown; DeleteGallery hides it
  // and empties it, keeping it for the next CreateGallery.
  static CGallery* CreateGallery(QWidget* parent, const QRect& rect, CGalleryCallback* callback,
                                 EGalleryCaller caller);
  static void DeleteGallery(CGallery* gallery);

 private:
  CGalleryCallback* m_callback;
  EGalleryCaller m_caller;
};

class VEXATHUMGALLERY_API CSelectGallery : public CGallery, public ui::CListener, public CThumbnailHost {
  Q_OBJECT
 public:
  static constexpr int kControlId = 300;
  // Starts hidden: the owner shows it once it has stored it.
  CSelectGallery(QWidget* parent, const QRect& rect, CGalleryCallback* callback, EGalleryCaller caller);
  ~CSelectGallery() override;
  void Receive(std::string channel, ui::CParameter* param) override;

  // ---- What its thumbnails reach (CThumbnailHost) ----------------------------------
  QWidget* HostWidget() override { return this; }
  QWidget* HostViewport() const override { return viewport(); }
  CGalleryCallback* HostCallback() const override { return Callback(); }
  EGalleryCaller HostCaller() const override { return Caller(); }

  // ---- Adding and removing --------------------------------------------------
  std::vector<int> AddThumbnailsAfter(int afterId, const std::vector<std::string>& paths);
  int AddThumbnailAfter(int afterId, const std::string& path);
  int AddThumbnailBefore(int beforeId, const std::string& path);
  int AfterToBefore(int afterId) const;
  int InsertNewFileAt(const std::string& path, QPoint point);
  virtual void AddThumbnail(int id, std::string path);
  virtual void DeleteThumbnail(int id);
  void RemoveSelected();
  // A removal the user asked for: through the host when it takes it.
  void RemoveSelectedByUser() override;
  virtual void ClearThumbnails();
  virtual void Reset();

  // ---- Layout ---------------------------------------------------------------------
  virtual void CreatePhotoWindows(bool showAll);
  virtual bool CreateThumbnailWindow(int id);
  virtual void CreateArrangement(bool all);
  virtual void UpdateArrangement(int id);
  void ArrangePhotos();
  virtual QSize ThumbnailSize() const;
  int GetOrientation() const { return m_orientation; }
  void SetOrientation(int orientation);
  void ShowAllPhotos(bool on);
  CArrangement& Arrangement() { return m_arrangement; }

  // ---- Switches ---------------------------------------------------------------------
  bool EnableCloseButton() const override { return m_closeButton; }
  virtual void EnableCloseButton(bool on) { m_closeButton = on; }
  bool EnableAdjustButton() const override { return m_adjustButton; }
  virtual void EnableAdjustButton(bool on) { m_adjustButton = on; }
  bool EnableFileName() const override { return m_fileName; }
  virtual void EnableFileName(bool on);
  bool EnableReadOnlyFileName() const override { return m_readOnlyFileName; }
  virtual void EnableReadOnlyFileName(bool on);
  virtual void EnableSelectAllInvertAll(bool on) { m_selectAllInvert = on; }
  virtual bool EnableSelectAllInvertAll() const { return m_selectAllInvert; }
  bool EnableRotateButtons() const override { return m_rotateButtons; }
  virtual void EnableRotateButtons(bool on) { m_rotateButtons = on; }
  bool m_dragSite = true, m_dropSite = true, m_orderedDrop = true, m_externalDragDrop = false;
  void LockOpen(bool on) { m_openLock += on ? 1 : -1; }

  // ---- Photos -----------------------------------------------------------------------------
  CPhotoList* PhotoList() const override { return m_photoList.get(); }
  CPhotoOrder* PhotoOrder() const override { return m_photoOrder.get(); }
  bool IsSelected(int id) const override { return m_photoList->IsSelected(id); }
  int SetThumbnailCaption(int id, const std::string& caption);
  std::string GetThumbnailCaption(int id) const override;
  virtual void SetThumbnailBitmap(int id, ui::CDDB& bitmap);
  // Why the photo shows the placeholder instead of its picture; the photo's
  // window says it when the pointer is over it ("" takes it back).
  void SetThumbnailProblem(int id, const std::string& why);
  ui::CDDB* GetThumbnailBitmap(int id) const;
  void SetSaved(int id, bool saved) override;
  virtual void SetFiltered(int id, bool filtered);
  CSelectThumbnail* GetThumbnailPtr(int id) const;
  int OrdinalOfID(int id) const override { return m_photoOrder->IndexOf(id); }
  int PhotoNext(int id, bool selectedOnly) const;
  int PhotoPrev(int id, bool selectedOnly) const;
  int NumImages() const { return m_photoList->Count(); }
  int MaxNumImages() const { return m_maxNumImages; }
  bool CheckImageLimit(unsigned) const { return NumImages() < m_maxNumImages; }
  bool ConfirmLimitLoad(unsigned, int) const { return true; }
  int LastIdHandedOut() const { return m_lastId; }
  int NumUntitled() { return m_untitled++; }

  // ---- Points -------------------------------------------------------------------------------
  // Points in the gallery's client (viewport) coordinates.
  int GetThumbnailAfterPoint(QPoint point) const;
  int GetThumbnailBeforePoint(QPoint point) const;
  void ReorderGallery(int id, QPoint point);
  QPoint ToDocument(QPoint client) const;

  // ---- Selection ------------------------------------------------------------------------------
  void Select(int id, bool on) override;
  bool SelectAll();
  void InvertSelection();
  void SelectNone() override;
  void UnselectAllButOne(int id) override;
  void SelectThumbnail(int id) override;
  void SelectThumbnailOn(int id);
  bool MarkAllNotFromViewer();
  bool SelectAllFromViewer();
  // A click on a photo makes it the current one too.
  void LastThumbnailSelected(int id) override;
  int LastThumbnailSelected() const { return m_lastSelected; }
  // The photo the keys act on: the one last clicked or moved to, while it
  // is still there; else the last selected one; 0 when the gallery is empty
  // or none was chosen yet.
  int CurrentPhoto() const;
  bool MarksAsCurrent(int id) const override;
  virtual void UpdateSelected();
  // The selected ids in display order.
  std::vector<int> SelectedInOrder() const override;

  // ---- Rubber band ---------------------------------------------------------------------------
  void RubberBandBegin(QPoint client) override;
  void RubberBandUpdate(QPoint client) override;
  void RubberBandEnd(QPoint client) override;
  bool RubberBandActive() const override { return m_band != nullptr; }

  // ---- Posted image, clipboard, captions ----------------------------------------------------
  virtual void PostImage(int viewId);
  virtual void UnpostImage();
  bool HasPostedImage() const { return m_postedImage != nullptr; }
  // Pastes the clipboard's files after the last selected photo (at the end
  // when none is selected).
  virtual void Paste();
  virtual int OpenClipboard();
  // Copies (or cuts) the selected photos to the clipboard.
  void CopySelected(bool cut);
  virtual void EditThumbnail(int command);
  virtual bool EditFilenameHasFocus() const;
  virtual void EditFilenameField(int command);
  static QRect CaptionRect();

  // ---- Drag and drop ---------------------------------------------------------------------------
  // The gallery's identity in its drag format.
  std::uint64_t Token() const override { return m_token; }
  // Starts a drag of the selected photos (a thumbnail calls it).
  void BeginDrag(CSelectThumbnail* from) override;
  // What a drag of the ids from the thumbnail of fromId carries: our own
  // format (this gallery and the ids), the dragged photo's attributes and
  // this gallery's location in our own blocks, and the files as URLs with
  // the copied-files list and the preferred effect. The caller owns it.
  QMimeData* DragData(const std::vector<int>& ids, int fromId) const;
  void HighlightDropArea(bool show, QPoint client);
  bool DropMarkerShown() const { return m_marker != nullptr; }
  QRect DropMarkerRect() const { return m_markerRect; }
  // What a drop of this data at the point does; the effect of a drag entry.
  Qt::DropAction DropEffectFor(const QMimeData* data) const;
  // Carries out a drop; true when something changed.
  bool DropData(const QMimeData* data, QPoint client);
  void SaveDragPt(QPoint screen) override { m_dragPoint = screen; }
  // The outline of the selected photos that follows the pointer during a
  // drag (points in client coordinates).
  void InitOutlineDrag(QPoint client);
  void DrawDragImage(QPoint client);
  void EndOutlineDrag();
  bool OutlineShown() const { return m_outline != nullptr; }

  // The document widget that holds the thumbnail windows.
  QWidget* Document() const override { return m_document; }
  void PaintDocument(QPainter* painter, const QRect& rect);
  void DocumentMouse(QEvent* event);
  void DocumentDrag(QEvent* event);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void ReadFileAttributes(const std::string& path, CPhotoAttributes* attributes);
  // The keys that choose a photo: true when the key was one of them.
  bool MoveByKey(QKeyEvent* event);
  // Makes the photo the current one, shown in the view; marked when the
  // keys chose it.
  void SetCurrentPhoto(int id, bool byKeys);
  // The menu a right click on the current photo brings, from the keyboard.
  void KeyboardMenu();
  void AdjustScrollSize();
  void ProcessBand(bool ended);
  void UnpostForAdd();

  std::unique_ptr<CPhotoList> m_photoList;
  std::unique_ptr<CPhotoOrder> m_photoOrder;
  int m_openLock = 0;
  int m_maxNumImages = 100;
  CArrangement m_arrangement;
  std::map<int, std::unique_ptr<CSelectThumbnail>> m_windows;
  int m_sizeMode = 0;
  bool m_selectionChanged = false;
  int m_lastSelected = -1;
  int m_current = 0;             // the photo the keys act on (an id), 0: none chosen
  bool m_markCurrent = false;    // the keys chose it: its window shows a focus mark
  int m_orientation = 0;
  bool m_showAll = true;
  std::unique_ptr<ui::CDDB> m_background;
  std::unique_ptr<ui::CUserView> m_marker;
  QRect m_markerRect, m_markerPrevious;
  bool m_closeButton = false, m_adjustButton = false, m_rotateButtons = false, m_fileName = false,
       m_readOnlyFileName = false, m_selectAllInvert = true;
  std::unique_ptr<ui::CDDB> m_postedImage;
  int m_lastId = 0;
  QWidget* m_bandCapture = nullptr;
  QPoint m_bandStart;
  QRect m_bandRect;
  std::vector<int> m_bandIds;
  std::unique_ptr<CRubberBandWnd> m_band;
  std::unique_ptr<CDragWnd> m_outline;
  QPoint m_outlineStart;
  CCFHandler m_clipboard;
  int m_untitled = 1;
  QPoint m_dragPoint;
  QWidget* m_parent;
  QWidget* m_document = nullptr;
  std::uint64_t m_token;
};

}  // namespace vexa::gallery
