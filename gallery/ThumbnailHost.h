// What a photo's thumbnail window needs of the gallery that holds it: the
// photo records and their order, the switches that decide its corner
// buttons and caption, and the selection, rubber band and drag steps that a
// click or a drag on it starts. The selection gallery implements it; the
// thumbnails know their gallery through it alone, so they sit below the
// gallery and include nothing of it.
#pragma once

#include <QPoint>
#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

#include "gallery/GalleryCallback.h"

class QWidget;

namespace vexa::gallery {

class CPhotoList;
class CPhotoOrder;
class CSelectThumbnail;

// Where the caption lies in a thumbnail's cell.
inline QRect ThumbnailCaptionRect() { return QRect(3, 118, 110, 20); }

class CThumbnailHost {
 public:
  // The gallery as a widget (focus, and the context of deferred commands);
  // its viewport, whose coordinates the selection steps take; the document
  // widget that holds the thumbnail windows.
  virtual QWidget* HostWidget() = 0;
  virtual QWidget* HostViewport() const = 0;
  virtual QWidget* Document() const = 0;
  virtual CGalleryCallback* HostCallback() const = 0;
  virtual EGalleryCaller HostCaller() const = 0;

  virtual CPhotoList* PhotoList() const = 0;
  virtual CPhotoOrder* PhotoOrder() const = 0;
  virtual int OrdinalOfID(int id) const = 0;
  virtual std::string GetThumbnailCaption(int id) const = 0;
  virtual void SetSaved(int id, bool saved) = 0;

  virtual bool EnableCloseButton() const = 0;
  virtual bool EnableAdjustButton() const = 0;
  virtual bool EnableRotateButtons() const = 0;
  virtual bool EnableFileName() const = 0;
  virtual bool EnableReadOnlyFileName() const = 0;

  virtual bool IsSelected(int id) const = 0;
  virtual void Select(int id, bool on) = 0;
  virtual void SelectNone() = 0;
  virtual void SelectThumbnail(int id) = 0;
  virtual void UnselectAllButOne(int id) = 0;
  virtual void LastThumbnailSelected(int id) = 0;
  // Whether the photo's window marks itself as the one the keys act on.
  virtual bool MarksAsCurrent(int id) const = 0;
  // The selected ids in display order.
  virtual std::vector<int> SelectedInOrder() const = 0;
  virtual void RemoveSelectedByUser() = 0;

  // Points in the viewport's coordinates.
  virtual void RubberBandBegin(QPoint client) = 0;
  virtual void RubberBandUpdate(QPoint client) = 0;
  virtual void RubberBandEnd(QPoint client) = 0;
  virtual bool RubberBandActive() const = 0;

  virtual std::uint64_t Token() const = 0;
  virtual void SaveDragPt(QPoint screen) = 0;
  virtual void BeginDrag(CSelectThumbnail* from) = 0;

 protected:
  ~CThumbnailHost() = default;
};

}  // namespace vexa::gallery
