#include "apps/vexa/VexaUi.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexa::app {

namespace {

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
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
  if (path.empty()) return false;
  if (path[0] != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
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

std::string ToUnixLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

bool DisplayReachable() {
  if (EnvSet("WAYLAND_DISPLAY") && WaylandAccepts(std::getenv("WAYLAND_DISPLAY"))) return true;
  if (EnvSet("DISPLAY") && XServerAccepts(std::getenv("DISPLAY"))) return true;
  return false;
}

void TerminalUi::ShowMessage(const std::string& caption, const std::string& text, bool) {
  std::fprintf(stderr, "%s\n%s\n", caption.c_str(), ToUnixLineBreaks(text).c_str());
  std::fflush(stderr);
}

}  // namespace vexa::app
