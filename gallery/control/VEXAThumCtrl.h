// The thumbnail control: wraps the selection gallery for the wizard. It
// keeps each photo's rotation, fills the thumbnail cache on worker threads,
// sorts the display order, and tells its host what happens by events.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "gallery/Gallery.h"
#include "gallery/ThumbnailCache.h"
#include "idl/VEXAThum.h"

namespace vexa::gallery {

class CVEXAThumCtrl;

// The control's window: it holds the gallery, which it creates after its
// first paint, and receives the worker's ready notices.
class CVEXAThumWindow : public QWidget {
 public:
  CVEXAThumWindow(CVEXAThumCtrl* control, QWidget* parent);
  ~CVEXAThumWindow() override;
  CSelectGallery* Gallery() const { return m_gallery; }
  void Detach() { m_control = nullptr; }
  void EnsureGallery();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class CVEXAThumCtrl;
  CVEXAThumCtrl* m_control;
  CSelectGallery* m_gallery = nullptr;  // a child of this window
  bool m_galleryPosted = false;         // the gallery's making is on its way
};

class CVEXAThumCtrl : public vexa::com::ComObjectRoot,
                      public vexa::com::DispatchImpl<CVEXAThumCtrl, _DVEXAThum>,
                      public IConnectionPointContainer,
                      public IVexaControlWindow,
                      public CGalleryCallback {
 public:
  using Interfaces = vexa::com::InterfaceMap<_DVEXAThum, vexa::com::Via<IDispatch, _DVEXAThum>,
                                             IConnectionPointContainer, IVexaControlWindow>;
  static std::span<const vexa::com::DispatchEntry<CVEXAThumCtrl>> DispatchTable();

  CVEXAThumCtrl();
  ~CVEXAThumCtrl();
  void FinalRelease();

  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(void** enumerator) override;
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
  // IVexaControlWindow
  HRESULT CreateControlWindow(void* parentWidget, LONG x, LONG y, LONG width, LONG height) override;
  HRESULT GetControlWindow(void** widget) override;

  // CGalleryCallback
  void CloseButtonClicked(int id) override;
  // The gallery's own removals go through RemoveSelection, which tells the host.
  bool RemoveSelectedByHost() override {
    RemoveSelection();
    return true;
  }
  void ClockwiseButtonClicked(int id) override;
  void CounterClockwiseButtonClicked(int id) override;
  void PhotoSelected() override;
  void ZoomButtonClicked(int id) override;
  bool HostHandlesDrag() override { return false; }
  void HostBeginDrag(CDropSource*) override {}
  bool HostHandlesPhotoDrag() override { return false; }
  void HostBeginPhotoDrag(CDropSource*) override {}
  void DrawMissingThumbnail(int, QPainter*, int, int) override {}
  void FilesDropped(const std::vector<std::string>& paths, int afterId) override;
  void ContentsChanged() override;
  void DoubleClick(int id) override;
  void MouseUp(int button, int shift, int x, int y) override;
  void MouseDown(int button, int shift, int x, int y) override;
  void KeyUp(int key, int repeat, int flags) override;
  void SelectionChanged() override;
  // The stock key events of the control's window.
  void KeyDown(int key, int shift);
  void KeyPress(int character);

  // The behaviour behind the dispatch members.
  bool AddMultipleFiles(std::vector<std::string> paths, std::vector<int> rotations, int index);
  bool AddDirectoryFiltered(const std::string& dir, const std::string& filter);
  long AddFile(const std::string& path, int index);
  bool RotateThumb(int id, int rotation);
  bool Clear();
  bool RemoveSelection();
  bool MoveSelection(int direction);
  bool MoveSelectionTo(int index);
  bool Sort(int key, bool ascending);
  int BeforeToAfter(int beforeId) const;
  std::vector<std::string> AllFilePaths() const;
  std::vector<int> AllRotations() const;
  std::vector<int> AllIndices() const;
  std::vector<int> Selection() const;
  std::string ThumbFilePath(int id) const;
  int ThumbRotation(int id) const;
  int FirstSelected() const;
  int LastSelected() const;
  CSelectGallery* Gallery() const { return m_window ? m_window->Gallery() : nullptr; }
  bool Switch(int value) const { return value == 1; }

  // Called by the window.
  void OnGalleryCreated();
  void OnThumbnailReady(int id, const std::string& cacheFile, const std::string& exifDate = std::string());
  void WindowGone();
  void StopWorkers();

  // The properties.
  std::string m_cacheDir;
  int m_showRotateButtons = 0, m_showZoomButton = 0, m_showRemoveButton = 0, m_showCaptions = 0,
      m_numberCaptions = 0, m_captionsEditable = 0, m_showMouseOvers = 1, m_showToolTips = 0,
      m_isDragSite = 1, m_isDropSite = 1, m_enableOrderedDrop = 1, m_enableExternalDragAndDrop = 0,
      m_enableMultipleSelect = 1;
  short m_orientation = 0;
  bool m_modified = false;
  void ApplySwitches();

  vexa::com::EventSinks m_events{IID__DVEXAThumEvents};

 private:
  void Fire(DISPID id, std::vector<vexa::com::Variant> args = {}) { m_events.Fire(id, std::move(args)); }
  void FocusGallery();
  void ClearGallery();
  void StartWorker(const std::vector<std::string>& paths, const std::vector<int>& rotations,
                   const std::vector<int>& ids);

  QPointer<CVEXAThumWindow> m_window;
  // Photo id -> rotation in 0..359; the workers read it, the UI writes it.
  mutable std::mutex m_rotMutex;
  std::map<int, int> m_rotations;
  std::vector<std::unique_ptr<CThumbnailWorker>> m_workers;
  // Additions made before the gallery exists, in call order.
  struct Pending {
    std::vector<std::string> paths;
    std::vector<int> rotations;
    int index;
  };
  std::vector<Pending> m_pending;
};

HRESULT CreateVEXAThumCtrl(REFIID iid, void** ppv);
HRESULT CreateVEXAThumPropPage(REFIID iid, void** ppv);

}  // namespace vexa::gallery
