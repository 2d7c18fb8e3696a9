// What the gallery tells its host (CGalleryCallback), and what a thumbnail
// or a page photo says about itself as a drag source (CDropSource).
#pragma once

#include <string>
#include <vector>

#include "gallery/GalleryExport.h"

class QPainter;

namespace vexa::gallery {

class CDropSource;

// What the gallery tells its host, in slot order.
class VEXATHUMGALLERY_API CGalleryCallback {
 public:
  virtual void CloseButtonClicked(int id) = 0;
  virtual void ClockwiseButtonClicked(int id) = 0;
  virtual void CounterClockwiseButtonClicked(int id) = 0;
  virtual void PhotoSelected() = 0;
  virtual void ZoomButtonClicked(int id) = 0;
  virtual bool HostHandlesDrag() = 0;
  virtual void HostBeginDrag(CDropSource* source) = 0;
  virtual bool HostHandlesPhotoDrag() = 0;
  virtual void HostBeginPhotoDrag(CDropSource* source) = 0;
  virtual void DrawMissingThumbnail(int id, QPainter* dc, int width, int height) = 0;
  virtual void FilesDropped(const std::vector<std::string>& paths, int afterId) = 0;
  virtual void ContentsChanged() = 0;
  virtual void DoubleClick(int id) = 0;
  virtual void MouseUp(int button, int shift, int x, int y) = 0;
  virtual void MouseDown(int button, int shift, int x, int y) = 0;
  virtual void KeyUp(int key, int repeat, int flags) = 0;
  virtual void SelectionChanged() = 0;
  // The user removes the selected photos from the gallery (the photo's menu,
  // Cut): a host that removes them itself, so that it learns of the change,
  // answers true; otherwise the gallery removes them on its own.
  virtual bool RemoveSelectedByHost() { return false; }

 protected:
  ~CGalleryCallback() = default;
};

using EGalleryCaller = int;

// What a thumbnail or a page photo says about itself as a drag source.
class VEXATHUMGALLERY_API CDropSource {
 public:
  explicit CDropSource(std::string kind = "SelectThumbnail") : m_kind(std::move(kind)) {}
  virtual ~CDropSource();
  virtual void BeginPagePhotoDrag() {}
  std::string m_kind;
  unsigned char m_flag = 0;
  std::vector<int> m_ids;
  bool m_several = false;
};

}  // namespace vexa::gallery
