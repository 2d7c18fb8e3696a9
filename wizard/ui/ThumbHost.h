// The thumbnail control as the wizard hosts it: created by class id, its
// window embedded in a widget, called through IDispatch by DISPID, its events
// turned into signals; and the one-level undo buffer of an album pane.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "idl/VEXAThum.h"

namespace vexa::wiz {

class WizServices;

class CVEXAThum : public QWidget {
  Q_OBJECT
 public:
  explicit CVEXAThum(const WizServices& wiz, QWidget* parent = nullptr);
  ~CVEXAThum() override;
  // Creates the control; false when it cannot be had.
  bool Create();
  bool IsCreated() const { return static_cast<bool>(m_dispatch); }
  // The control's own window (null before Create).
  QWidget* ControlWindow() const { return m_window; }
  // The host's own right-click menu (from mouseUp) is the only one: the
  // control's menu on a picture is not opened, so a picture and the empty
  // area between pictures give the same menu.
  void UseHostMenuOnly();
  QSize sizeHint() const override { return QSize(240, 180); }
  QSize minimumSizeHint() const override { return QSize(120, 90); }

  void SetCacheDir(const std::string& dir);
  bool GetShowCaptions();
  void SetShowCaptions(bool show);
  // Any boolean property by DISPID (the switches the hosts set at start).
  void SetBoolProperty(DISPID id, bool value);
  bool AddDirectoryFiltered(const std::string& dir, const std::string& filter);
  bool AddMultipleFiles(const VARIANT& paths, const VARIANT& rotations, LONG index);
  std::string GetThumbFilePath(LONG id);
  LONG GetThumbRotation(LONG id);
  // Lists: VT_ARRAY variants the caller owns (VT_EMPTY on failure).
  vexa::com::Variant GetAllFilePaths();
  vexa::com::Variant GetAllRotations();
  LONG GetThumbCount();
  bool Clear();
  bool RemoveSelection();
  bool RemoveThumb(LONG id);
  vexa::com::Variant GetSelection();
  vexa::com::Variant GetSelectionFilePaths();
  vexa::com::Variant GetSelectionRotations();
  LONG GetSelectionCount();
  bool SelectAll();
  bool MoveSelection(SHORT direction);
  LONG GetFirstSelected();
  LONG GetLastSelected();
  bool Sort(DISPID forward, bool ascending);
  bool RotateThumbs(const VARIANT& ids, LONG rotation);

 signals:
  void contentsChanged();
  void selectionChanged();
  void closeButtonClicked(long id);
  void zoomButtonClicked(long id);
  void doubleClick(long id);
  void mouseDown(int button, int shift, int x, int y);
  void mouseUp(int button, int shift, int x, int y);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A failed call is logged and gives an empty result; it never throws.
  vexa::com::Variant Call(DISPID id, std::vector<vexa::com::Variant> args, WORD flags, bool* ok);
  bool CallBool(DISPID id, std::vector<vexa::com::Variant> args = {});
  LONG CallLong(DISPID id, std::vector<vexa::com::Variant> args = {});
  void OnEvent(DISPID id, DISPPARAMS* params);

  class Sink;
  const WizServices& m_wiz;
  vexa::com::ComPtr<IDispatch> m_dispatch;
  vexa::com::ComPtr<IConnectionPoint> m_point;
  vexa::com::ComPtr<IDispatch> m_sink;
  DWORD m_cookie = 0;
  QWidget* m_window = nullptr;
  bool m_hostMenuOnly = false;
};

// The one-level undo of an album pane's content (paths and rotations).
class CThumbUndo {
 public:
  void Attach(CVEXAThum* control);
  void Record();
  void Undo();
  void SetBusy(bool busy) { m_busy = busy; }
  bool IsBusy() const { return m_busy; }
  // Whether Undo would change the content: a level is kept and it differs
  // from the content now (after an undo, the level it records is the
  // restored content itself, so there is nothing left to undo).
  bool CanUndo() const;
  // Called whenever CanUndo may have changed (the hosts enable their Undo).
  void SetOnChange(std::function<void()> changed) { m_changed = std::move(changed); }

 private:
  void Changed() {
    if (m_changed) m_changed();
  }
  std::function<void()> m_changed;
  bool m_busy = false;
  vexa::com::Variant m_currentPaths, m_currentRotations;
  vexa::com::Variant m_previousPaths, m_previousRotations;
  CVEXAThum* m_control = nullptr;
};

// A list variant as the control takes it (type word exactly VT_ARRAY).
vexa::com::Variant MakePathList(const std::vector<std::string>& paths);
vexa::com::Variant MakeLongList(const std::vector<LONG>& values);
std::vector<std::string> ReadPathList(const VARIANT& list);
std::vector<LONG> ReadLongList(const VARIANT& list);

}  // namespace vexa::wiz
