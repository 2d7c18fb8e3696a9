#include "platform/display/Display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QStringList>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::display {

namespace {

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

bool XServerAccepts(const char* display) {
  int screen = 0;
  xcb_connection_t* c = xcb_connect(display, &screen);
  const bool ok = c && xcb_connection_has_error(c) == 0;
  if (c) xcb_disconnect(c);
  return ok;
}

bool WaylandAccepts(const char* name) {
  std::string path = name;
  if (path[0] != '/') {
    const char* runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime) return false;
    path = std::string(runtime) + "/" + path;
  }
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The names of the platforms Qt can find, in lower case, read from the
// metadata of the plug-ins where Qt looks for them
// (QT_QPA_PLATFORM_PLUGIN_PATH, then "platforms" in each plug-in folder);
// nothing is loaded.
std::set<std::string> InstalledPlatforms() {
  QStringList folders;
  if (const char* own = Env("QT_QPA_PLATFORM_PLUGIN_PATH")) folders << QString::fromLocal8Bit(own);
  for (const QString& dir : QCoreApplication::libraryPaths()) folders << dir + QStringLiteral("/platforms");
  std::set<std::string> names;
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& file : dir.entryList(QDir::Files)) {
      const QPluginLoader plugin(dir.absoluteFilePath(file));
      const QJsonArray keys = plugin.metaData().value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("Keys")).toArray();
      for (const auto& key : keys) names.insert(Lower(key.toString().toStdString()));
    }
  }
  return names;
}

// The platform names of QT_QPA_PLATFORM: a list separated by ';' that Qt
// tries in order, each name possibly followed by ':' and its arguments.
std::vector<std::string> NamedPlatforms(std::string_view value) {
  std::vector<std::string> names;
  while (!value.empty()) {
    const std::size_t end = value.find(';');
    std::string_view entry = value.substr(0, end);
    entry = entry.substr(0, entry.find(':'));
    if (!entry.empty()) names.push_back(Lower(entry));
    if (end == std::string_view::npos) break;
    value.remove_prefix(end + 1);
  }
  return names;
}

bool NeedsDisplayServer(std::string_view platform) {
  return platform.starts_with("xcb") || platform.starts_with("wayland");
}

}  // namespace

bool DisplayReachable() {
  if (const char* wayland = Env("WAYLAND_DISPLAY"); wayland && WaylandAccepts(wayland)) return true;
  if (const char* x = Env("DISPLAY"); x && XServerAccepts(x)) return true;
  return false;
}

bool QtPlatformUsable() { return QtPlatformProblem().empty(); }

std::string QtPlatformProblem() {
  static const std::string kNoDisplay =
      "the display that DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM names does not answer.";
  const char* platform = Env("QT_QPA_PLATFORM");
  if (!platform) {
    if (DisplayReachable()) return "";
    return Env("DISPLAY") || Env("WAYLAND_DISPLAY") ? kNoDisplay
                                                    : "DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are all unset.";
  }
  // Qt ends the process when none of the platforms named can be opened.
  const std::set<std::string> installed = InstalledPlatforms();
  bool anyInstalled = false;
  for (const std::string& name : NamedPlatforms(platform)) {
    if (!installed.count(name)) continue;
    anyInstalled = true;
    if (!NeedsDisplayServer(name) || DisplayReachable()) return "";
  }
  if (anyInstalled) return kNoDisplay;
  std::string list;
  for (const std::string& name : installed) list += (list.empty() ? "" : ", ") + name;
  return std::string("QT_QPA_PLATFORM=\"") + platform + "\" names no Qt platform that is installed (" +
         (list.empty() ? std::string("none is") : "installed: " + list) + ").";
}

}  // namespace vexa::display
