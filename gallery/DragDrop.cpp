#include "gallery/DragDrop.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QUrl>

#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

namespace vexa::gallery {

const char* const kGalleryFormat = "application/x-vexa-gallery";
const char* const kPreferredDropEffectFormat = "application/x-qt-windows-mime;value=\"Preferred DropEffect\"";
const char* const kCopiedFilesFormat = "x-special/gnome-copied-files";

namespace {
void Put32(QByteArray& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}
std::uint32_t Get32(const QByteArray& b, int at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(std::uint8_t(b[at + i])) << (8 * i);
  return v;
}
}  // namespace

QByteArray EncodeGalleryFormat(std::uint64_t token, const std::vector<int>& ids) {
  QByteArray b;
  Put32(b, static_cast<std::uint32_t>(token));
  Put32(b, static_cast<std::uint32_t>(token >> 32));
  Put32(b, static_cast<std::uint32_t>(ids.size()));
  for (int id : ids) Put32(b, static_cast<std::uint32_t>(id));
  return b;
}

bool DecodeGalleryFormat(const QByteArray& data, std::uint64_t* token, std::vector<int>* ids) {
  if (data.size() < 12) return false;
  const std::uint64_t t = Get32(data, 0) | (std::uint64_t(Get32(data, 4)) << 32);
  const std::uint32_t n = Get32(data, 8);
  if (n > (static_cast<std::uint32_t>(data.size()) - 12) / 4) return false;
  if (token) *token = t;
  if (ids) {
    ids->clear();
    for (std::uint32_t i = 0; i < n; ++i) ids->push_back(static_cast<int>(Get32(data, 12 + 4 * int(i))));
  }
  return true;
}

std::vector<std::string> FileListWithin(const std::vector<std::string>& paths, std::size_t limit) {
  std::vector<std::string> kept;
  std::size_t used = 1;  // the final terminator
  for (const std::string& p : paths) {
    if (used + p.size() + 1 > limit) break;
    used += p.size() + 1;
    kept.push_back(p);
  }
  return kept;
}

std::string PackFileList(const std::vector<std::string>& paths) {
  std::string packed;
  for (const std::string& p : paths) {
    packed += p;
    packed += '\0';
  }
  packed += '\0';
  return packed;
}

void SetFileList(QMimeData* data, const std::vector<std::string>& paths) {
  const auto kept = FileListWithin(paths);
  QList<QUrl> urls;
  QByteArray copied("copy");
  for (const std::string& p : kept) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(p));
    urls << url;
    copied += "\n" + url.toEncoded();
  }
  data->setUrls(urls);
  data->setData(kCopiedFilesFormat, copied);
  QByteArray effect;
  Put32(effect, 1);  // copy
  data->setData(kPreferredDropEffectFormat, effect);
}

std::vector<std::string> FileListOf(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  return paths;
}

bool MatchesFilter(const std::string& path, const std::string& filter) {
  const std::string ext = vexa::base::ToLowerAscii(vexa::base::Extension(vexa::base::BaseName(path)));
  if (ext.empty()) return false;
  std::size_t at = 0;
  while (at <= filter.size()) {
    std::size_t end = filter.find(';', at);
    if (end == std::string::npos) end = filter.size();
    std::string pattern = filter.substr(at, end - at);
    const std::size_t dot = pattern.rfind('.');
    if (dot != std::string::npos && vexa::base::ToLowerAscii(pattern.substr(dot)) == ext) return true;
    at = end + 1;
  }
  return false;
}

std::string SupportedFileFilter() {
  return vexa::reg::GetString(vexa::reg::Hive::LocalMachine, kProductKey, "SUPPORTED_FILE_FILTER")
      .value_or("*.bmp;*.jpg;*.jpeg;*.tif;*.tiff;*.png;*.gif");
}

}  // namespace vexa::gallery

bool CCFHandler::CanPaste(const QMimeData* data) const {
  if (!data) data = QGuiApplication::clipboard()->mimeData();
  if (!data) return false;
  for (const std::string& f : m_formats) {
    if (f == "text/uri-list" ? data->hasUrls() : data->hasFormat(QString::fromStdString(f))) return true;
  }
  return false;
}

std::vector<std::string> CCFHandler::PasteFiles() const {
  return vexa::gallery::FileListOf(QGuiApplication::clipboard()->mimeData());
}
