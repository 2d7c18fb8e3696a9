#include "wizard/dialogs/FolderView.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QStandardPaths>
#include <QStyle>
#include <cstdlib>
#include <vector>

namespace vexa::wiz {

std::string PicturesFolder() {
  QString pictures = QString::fromLocal8Bit(qgetenv("XDG_PICTURES_DIR"));
  if (pictures.isEmpty() || !QFileInfo(pictures).isDir())
    pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (pictures.isEmpty() || !QFileInfo(pictures).isDir()) pictures = QDir::homePath();
  return QDir::cleanPath(pictures).toStdString();
}

// ---- The model -------------------------------------------------------------------------------------

namespace {

struct FolderNode {
  QString path;
  QString name;
  FolderNode* parent = nullptr;
  int row = 0;
  bool listed = false;
  std::vector<std::unique_ptr<FolderNode>> children;
};

// Folders of the system's own that hold no pictures: listed under the
// computer's top folder, they only stand in the way.
bool IsSystemFolder(const QString& path) {
  return path == "/proc" || path == "/sys" || path == "/dev";
}

bool Within(const QString& path, const QString& folder) {
  if (path == folder) return true;
  const QString prefix = folder.endsWith('/') ? folder : folder + '/';
  return path.startsWith(prefix);
}

}  // namespace

class CFolderModel : public QAbstractItemModel {
 public:
  explicit CFolderModel(QObject* parent) : QAbstractItemModel(parent) { BuildRoots(); }

  void Reset() {
    beginResetModel();
    m_roots.clear();
    BuildRoots();
    endResetModel();
  }

  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    if (column != 0 || row < 0) return {};
    const auto& list = parent.isValid() ? Node(parent)->children : m_roots;
    if (row >= static_cast<int>(list.size())) return {};
    return createIndex(row, 0, list[static_cast<std::size_t>(row)].get());
  }
  QModelIndex parent(const QModelIndex& child) const override {
    if (!child.isValid()) return {};
    FolderNode* up = Node(child)->parent;
    return up ? createIndex(up->row, 0, up) : QModelIndex();
  }
  int rowCount(const QModelIndex& parent) const override {
    if (!parent.isValid()) return static_cast<int>(m_roots.size());
    return static_cast<int>(Node(parent)->children.size());
  }
  int columnCount(const QModelIndex&) const override { return 1; }
  bool hasChildren(const QModelIndex& parent) const override {
    if (!parent.isValid()) return !m_roots.empty();
    const FolderNode* n = Node(parent);
    return !n->listed || !n->children.empty();
  }
  bool canFetchMore(const QModelIndex& parent) const override { return parent.isValid() && !Node(parent)->listed; }
  void fetchMore(const QModelIndex& parent) override {
    if (parent.isValid()) List(parent);
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const FolderNode* n = Node(index);
    switch (role) {
      case Qt::DisplayRole: return n->name;
      case Qt::ToolTipRole: return n->path;
      case Qt::DecorationRole: {
        if (n->parent) return m_icons.icon(QFileIconProvider::Folder);
        if (n->path == "/") return m_icons.icon(QFileIconProvider::Computer);
        if (n->path == QDir::cleanPath(QDir::homePath())) return QApplication::style()->standardIcon(QStyle::SP_DirHomeIcon);
        return m_icons.icon(QFileIconProvider::Folder);
      }
      default: return {};
    }
  }

  QString PathOf(const QModelIndex& index) const { return index.isValid() ? Node(index)->path : QString(); }
  bool IsTop(const QModelIndex& index) const { return index.isValid() && !Node(index)->parent; }

  // The index of a folder under the top entry that holds it most closely,
  // listing the folders on the way; invalid when it cannot be reached.
  QModelIndex Find(const QString& wanted) {
    FolderNode* best = nullptr;
    for (const auto& root : m_roots)
      if (Within(wanted, root->path) && (!best || root->path.size() > best->path.size())) best = root.get();
    if (!best) return {};
    FolderNode* at = best;
    const QString rest = wanted.mid(best->path.size());
    for (const QString& part : rest.split('/', Qt::SkipEmptyParts)) {
      List(createIndex(at->row, 0, at));
      FolderNode* next = nullptr;
      for (const auto& child : at->children)
        if (child->name == part) next = child.get();
      if (!next) return {};
      at = next;
    }
    return createIndex(at->row, 0, at);
  }

  std::vector<std::string> TopFolders() const {
    std::vector<std::string> out;
    for (const auto& root : m_roots) out.push_back(root->path.toStdString());
    return out;
  }

 private:
  static FolderNode* Node(const QModelIndex& index) { return static_cast<FolderNode*>(index.internalPointer()); }

  void AddRoot(const QString& path, const QString& name) {
    auto node = std::make_unique<FolderNode>();
    node->path = path;
    node->name = name;
    node->row = static_cast<int>(m_roots.size());
    m_roots.push_back(std::move(node));
  }

  void BuildRoots() {
    const QString home = QDir::cleanPath(QDir::homePath());
    const QString pictures = QString::fromStdString(PicturesFolder());
    if (pictures != home) AddRoot(pictures, QFileInfo(pictures).fileName());
    if (home != "/") AddRoot(home, QStringLiteral("Home"));
    AddRoot(QStringLiteral("/"), QStringLiteral("Computer"));
  }

  void List(const QModelIndex& index) {
    FolderNode* n = Node(index);
    if (n->listed) return;
    n->listed = true;
    // Plain folders in name order; hidden ones stay hidden.
    const QFileInfoList entries =
        QDir(n->path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    std::vector<std::unique_ptr<FolderNode>> found;
    for (const QFileInfo& e : entries) {
      const QString path = n->path == "/" ? "/" + e.fileName() : n->path + "/" + e.fileName();
      if (IsSystemFolder(path)) continue;
      auto child = std::make_unique<FolderNode>();
      child->path = path;
      child->name = e.fileName();
      child->parent = n;
      child->row = static_cast<int>(found.size());
      found.push_back(std::move(child));
    }
    if (found.empty()) {
      // The arrow goes: there is nothing to open.
      emit dataChanged(index, index);
      return;
    }
    beginInsertRows(index, 0, static_cast<int>(found.size()) - 1);
    n->children = std::move(found);
    endInsertRows();
  }

  std::vector<std::unique_ptr<FolderNode>> m_roots;
  QFileIconProvider m_icons;
};

// ---- The view ----------------------------------------------------------------------------------------

CFolderView::CFolderView(QWidget* parent) : QTreeView(parent), m_model(new CFolderModel(this)) {
  setObjectName("ctl_1095");
  setAccessibleName("Folders");
  setModel(m_model);
  header()->hide();
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit folderSelected(m_model->PathOf(index));
  });
}

CFolderView::~CFolderView() = default;

bool CFolderView::SelectFolder(const std::string& path) {
  if (path.empty()) return false;
  const QString clean = QDir::cleanPath(QString::fromStdString(path));
  if (!QDir::isAbsolutePath(clean) || !QFileInfo(clean).isDir()) return false;
  const QModelIndex index = m_model->Find(clean);
  if (!index.isValid()) return false;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
  setCurrentIndex(index);
  scrollTo(index);
  return true;
}

std::string CFolderView::SelectedFolder() const { return m_model->PathOf(currentIndex()).toStdString(); }

void CFolderView::Up() {
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return;
  if (index.parent().isValid()) {
    setCurrentIndex(index.parent());
    scrollTo(index.parent());
    return;
  }
  // From a top entry, up is its folder's parent wherever the tree has it.
  const QString path = m_model->PathOf(index);
  if (path != "/") SelectFolder(QFileInfo(path).absolutePath().toStdString());
}

void CFolderView::Refresh() {
  const std::string selected = SelectedFolder();
  m_model->Reset();
  if (!SelectFolder(selected)) setCurrentIndex(m_model->index(0, 0, QModelIndex()));
}

void CFolderView::SetTreeFont(const QFont& base, int tenthsOfPoint) {
  QFont f = base;
  if (tenthsOfPoint > 0) f.setPointSizeF(tenthsOfPoint / 10.0);
  setFont(f);
}

std::vector<std::string> CFolderView::TopFolders() const { return m_model->TopFolders(); }

}  // namespace vexa::wiz
