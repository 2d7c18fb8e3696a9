// The message box of the window system, through Qt 6 Widgets. The
// application object is made for the first box and kept until the program
// ends.
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <memory>

#include "apps/vexa/VexaUi.h"

namespace vexa::app {

namespace {

class QtUi : public VexaUi {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, bool isError) override {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "vexa";
      static char* argv[] = {name, nullptr};
      app_ = std::make_unique<QApplication>(argc, argv);
    }
    QMessageBox box(isError ? QMessageBox::Critical : QMessageBox::Information,
                    QString::fromStdString(caption),
                    QString::fromStdString(ToUnixLineBreaks(text)), QMessageBox::Ok);
    box.exec();
  }

 private:
  std::unique_ptr<QApplication> app_;
};

}  // namespace

std::unique_ptr<VexaUi> MakeQtUi() { return std::make_unique<QtUi>(); }

}  // namespace vexa::app
