#include "platform/display/Display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

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

}  // namespace

bool DisplayReachable() {
  if (const char* wayland = Env("WAYLAND_DISPLAY"); wayland && WaylandAccepts(wayland)) return true;
  if (const char* x = Env("DISPLAY"); x && XServerAccepts(x)) return true;
  return false;
}

bool QtPlatformUsable() {
  if (const char* platform = Env("QT_QPA_PLATFORM")) {
    const std::string_view name(platform);
    if (!name.starts_with("xcb") && !name.starts_with("wayland")) return true;
  }
  return DisplayReachable();
}

}  // namespace vexa::display
