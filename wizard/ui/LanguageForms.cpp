// The language bundle's windows and art: icons, bitmaps, keyboard tables
// and the dialog templates built with the wizard's own controls.
#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/base/Path.h"
#include "wizard/common/Language.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {
// Builds the wizard's own controls named in the templates.
class WizUiLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* w = nullptr;
    if (className == "CvexaLabel") w = new CvexaLabel(parent);
    else if (className == "CvexaBitmapStatic") w = new CvexaBitmapStatic(parent);
    if (!w) return QUiLoader::createWidget(className, parent, name);
    w->setObjectName(name);
    return w;
  }
};
}  // namespace

QIcon CvexaLanguage::Icon(int id) const {
  if (m_folder.empty()) return {};
  const std::string path = base::JoinPath(m_folder, "icons/" + std::to_string(id) + ".png");
  if (!base::FileExists(path)) return {};
  return QIcon(QString::fromStdString(path));
}

QPixmap CvexaLanguage::Bitmap(int id) const {
  if (m_folder.empty()) return {};
  const std::string path = base::JoinPath(m_folder, "bitmaps/" + std::to_string(id) + ".png");
  QPixmap p;
  if (base::FileExists(path)) p.load(QString::fromStdString(path));
  return p;
}

std::vector<CvexaAccelerator> CvexaLanguage::Accelerators(int id) const {
  std::vector<CvexaAccelerator> table;
  std::string text;
  if (m_folder.empty() ||
      !base::ReadFile(base::JoinPath(m_folder, "accelerators/" + std::to_string(id) + ".txt"), &text))
    return table;
  ParseAccelerators(text, &table);
  return table;
}

QWidget* CvexaLanguage::LoadDialog(int id, QWidget* parent) const {
  const std::string path = DialogPath(id);
  if (path.empty()) return nullptr;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  WizUiLoader loader;
  QWidget* form = loader.load(&file, parent);
  if (!form) return nullptr;
  if (parent) {
    auto* layout = qobject_cast<QVBoxLayout*>(parent->layout());
    if (!layout) {
      layout = new QVBoxLayout(parent);
      // A page sits inside the sheet's own margins; a dialog of its own
      // keeps the platform's margins around its template.
      if (!parent->isWindow()) layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(form);
    // A dialog of its own is titled by its template, else by the product's
    // caption; never by the program's name.
    if (parent->isWindow() && parent->windowTitle().isEmpty()) {
      QString title = form->windowTitle();
      std::string caption;
      if (!String(1, &caption) || caption.empty()) caption = "Kv Orlune Disc Creator Software";
      if (title.isEmpty()) title = QString::fromStdString(caption);
      parent->setWindowTitle(title);
    }
  }
  return form;
}

}  // namespace vexa::wiz
