#include "wizard/common/Language.h"

#include <cctype>

#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/base/Path.h"
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

bool CvexaLanguage::Load(std::string_view abbreviation) {
  if (abbreviation.empty()) return false;
  for (char c : abbreviation) {
    // The abbreviation names a folder: letters and digits only.
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return LoadFolder(base::JoinPath(base::ShareDir(), "vexawiz" + std::string(abbreviation)));
}

bool CvexaLanguage::LoadFolder(const std::string& folder) {
  std::string text;
  if (!base::ReadFile(base::JoinPath(folder, "strings.txt"), &text)) return false;
  std::map<int, std::string> strings;
  if (!ParseStrings(text, &strings)) return false;
  m_folder = folder;
  m_strings = std::move(strings);
  return true;
}

bool CvexaLanguage::ParseStrings(std::string_view text, std::map<int, std::string>* out) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0) return false;
    int id = 0;
    for (char c : line.substr(0, tab)) {
      if (c < '0' || c > '9' || id > 9999999) return false;
      id = id * 10 + (c - '0');
    }
    std::string value;
    const std::string_view raw = line.substr(tab + 1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '\\' || i + 1 == raw.size()) {
        value += raw[i];
        continue;
      }
      switch (raw[++i]) {
        case 'r': value += '\r'; break;
        case 'n': value += '\n'; break;
        case 't': value += '\t'; break;
        case '\\': value += '\\'; break;
        default: value += '\\'; value += raw[i]; break;
      }
    }
    (*out)[id] = std::move(value);
  }
  return true;
}

bool CvexaLanguage::String(int id, std::string* out) const {
  auto it = m_strings.find(id);
  if (it == m_strings.end()) return false;
  *out = it->second;
  return true;
}

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

std::string CvexaLanguage::DialogPath(int id) const {
  if (m_folder.empty()) return {};
  const std::string path = base::JoinPath(m_folder, "dialogs/" + std::to_string(id) + ".ui");
  return base::FileExists(path) ? path : std::string();
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
