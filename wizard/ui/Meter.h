// The disc-usage meter (how full the disc will be, a progress bar up to
// 100 percent and a red bar beyond, with a warning once the content stops
// fitting) and the album pane (the image count and, below it, a meter).
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;

namespace vexa::wiz {

class WizServices;

class CvexaDiscUsageDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CvexaDiscUsageDlg(WizServices& wiz, QWidget* parent = nullptr);
  // Shows percent (clamped to 0..999); true when the content fits. With
  // warn, going over 100 shows the over-capacity message.
  bool Update(int percent, bool warn);
  int GetPercent() const { return m_percent; }
  void SetBackgroundColor(QColor color);
  bool OverCapacityShown() const;

 private:
  WizServices& m_wiz;
  QLabel* m_text = nullptr;
  QProgressBar* m_bar = nullptr;
  QLabel* m_over = nullptr;
  int m_percent = 0;
};

// The over-capacity message with the capacity actually used.
std::string OverCapacityText(const WizServices& wiz, std::int64_t capacityBytes);

// Refreshes a meter with the sheet's estimate and the wizard-wide
// over-capacity flag, storing the meter's answer back into the flag.
bool RefreshMeter(WizServices& wiz, CvexaDiscUsageDlg* meter);

class CvexaAlbumPaneDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CvexaAlbumPaneDlg(WizServices& wiz, QWidget* parent = nullptr);
  void SetImageCount(int count);
  int ImageCount() const { return m_count; }
  void ShowMeter(bool show);
  bool UpdateMeter(int percent, bool warn) { return m_meter->Update(percent, warn); }
  CvexaDiscUsageDlg* Meter() const { return m_meter; }
  QLabel* Heading() const { return m_heading; }

 private:
  WizServices& m_wiz;
  QLabel* m_heading = nullptr;
  CvexaDiscUsageDlg* m_meter = nullptr;
  int m_count = 0;
  bool m_showMeter = true;
};

}  // namespace vexa::wiz
