// The full-screen preview of one picture, turned by its rotation, on black;
// a click or a key closes it. It is owned by the window it was opened from
// (above it, and modal), so its keys never reach that window.
#pragma once

#include <QDialog>
#include <string>

class QLabel;

namespace vexa::wiz {

class WizServices;

// The picture view behind the preview: loads a file (upright, as the
// camera meant it) and shows it turned by a given angle on a black ground,
// scaled to fit.
class CLead : public QWidget {
  Q_OBJECT
 public:
  explicit CLead(QWidget* parent = nullptr);
  // Loads the picture; false when it cannot be read (the view stays black).
  bool Load(const std::string& path);
  // Turns the shown picture by hundredths of a degree.
  void Rotate(long hundredths);
  const QImage& Shown() const { return m_shown; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage m_image;
  QImage m_shown;
};

class CvexaPreviewDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CvexaPreviewDlg(WizServices& wiz, QWidget* parent = nullptr);
  void SetFile(const std::string& path) { m_filePath = path; }
  void SetRotation(long degrees) { m_rotation = degrees; }
  CLead* View() const { return m_view; }
  int exec() override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WizServices& m_wiz;
  CLead* m_view = nullptr;
  std::string m_filePath;
  long m_rotation = 0;
};

}  // namespace vexa::wiz
