#include "gallery/DragDrop.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QUrl>

#include "gallery/Params.h"
#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "uicommon/common/Broadcast.h"

namespace vexa::gallery {

using namespace vexa::ui;

const char* const kGalleryFormat = "application/x-vexa-gallery";
const char* const kPhotoAttributesFormat = "application/x-vexa-photo-attributes";
const char* const kLocationFormat = "application/x-vexa-location";
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
void Put64(QByteArray& b, std::uint64_t v) {
  Put32(b, static_cast<std::uint32_t>(v));
  Put32(b, static_cast<std::uint32_t>(v >> 32));
}
std::uint64_t Get64(const QByteArray& b, int at) { return Get32(b, at) | (std::uint64_t(Get32(b, at + 4)) << 32); }
}  // namespace

std::uint64_t WindowToken(const void* window) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window)); }

bool PhotoAttr(QMimeData* data, const TPhotoAttributes& a, const void* window, bool offer) {
  if (!offer || !data) return false;
  QByteArray b;
  for (std::int32_t v : {a.id, a.copies, a.width, a.height, a.sourceType, a.selected, a.visible, a.saved, a.filtered,
                         a.downloaded})
    Put32(b, static_cast<std::uint32_t>(v));
  if (window) Put64(b, WindowToken(window));
  data->setData(kPhotoAttributesFormat, b);
  return true;
}

bool DecodePhotoAttr(const QByteArray& b, TPhotoAttributes* a, std::uint64_t* window) {
  if (b.size() != kPhotoAttributesBytes && b.size() != kPhotoAttributesBytes + 8) return false;
  if (a) {
    std::int32_t* fields[] = {&a->id,      &a->copies,   &a->width, &a->height,   &a->sourceType,
                              &a->selected, &a->visible, &a->saved, &a->filtered, &a->downloaded};
    for (int i = 0; i < 10; ++i) *fields[i] = static_cast<std::int32_t>(Get32(b, 4 * i));
  }
  if (window) *window = b.size() > kPhotoAttributesBytes ? Get64(b, kPhotoAttributesBytes) : 0;
  return true;
}

bool LocnList(QMimeData* data, const void* window) {
  if (!data) return false;
  QByteArray b;
  Put32(b, 0);
  Put64(b, WindowToken(window));
  data->setData(kLocationFormat, b);
  return true;
}

bool DecodeLocation(const QByteArray& b, std::uint64_t* window) {
  if (b.size() != 12 || Get32(b, 0) != 0) return false;
  if (window) *window = Get64(b, 4);
  return true;
}

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

bool CCFHandler::CanPaste(const QMimeData* data) const {
  if (!data) data = QGuiApplication::clipboard()->mimeData();
  if (!data) return false;
  for (const std::string& f : m_formats) {
    if (f == "text/uri-list" ? data->hasUrls() : data->hasFormat(QString::fromStdString(f))) return true;
  }
  return false;
}

std::vector<std::string> CCFHandler::PasteFiles(const QMimeData* data) const {
  if (!data) data = QGuiApplication::clipboard()->mimeData();
  const std::vector<std::string> files = vexa::gallery::FileListWithin(vexa::gallery::FileListOf(data));
  if (files.empty()) return files;
  // The length counts the terminators: a path and 3 for one file, each path
  // and one more for several, and 1 for the end.
  const std::string packed = vexa::gallery::PackFileList(files);
  int length = 0;
  if (files.size() == 1) {
    length = static_cast<int>(files.front().size()) + 3;
  } else {
    for (const std::string& f : files) length += static_cast<int>(f.size()) + 1;
    length += 1;
  }
  CParamNameStr names(length, static_cast<int>(files.size()), packed);
  Broadcast("OpenDragFiles", &names);
  return files;
}

}  // namespace vexa::gallery
