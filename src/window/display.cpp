// display.cpp — reaching the X or Wayland display before Qt tries.
#include "window/display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace mirelune {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t end = std::min(list.find(';', at), list.size());
    if (end > at) parts.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// The X server of DISPLAY accepts us, authorisation included.
bool XReachable() {
  if (Env("DISPLAY").empty()) return false;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  const bool ok = xcb_connection_has_error(c) == 0;
  xcb_disconnect(c);
  return ok;
}

// The compositor's socket takes a connection.
bool WaylandReachable() {
  std::string name = Env("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";
  const std::string path = name[0] == '/' ? name : Env("XDG_RUNTIME_DIR") + "/" + name;
  sockaddr_un address{};
  if (path[0] != '/' || path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

std::vector<std::string> QtPlatforms(const std::vector<std::string>& qt_arguments) {
  for (std::size_t k = 0; k < qt_arguments.size(); ++k) {
    const std::string& arg = qt_arguments[k];
    if (arg == "-platform" || arg == "--platform") return Split(k + 1 < qt_arguments.size() ? qt_arguments[k + 1] : "");
    for (const char* with : {"-platform=", "--platform="})
      if (arg.starts_with(with)) return Split(arg.substr(std::strlen(with)));
  }
  if (const std::string named = Env("QT_QPA_PLATFORM"); !named.empty()) return Split(named);
  if (Env("XDG_SESSION_TYPE") == "wayland") return {"wayland", "xcb"};
  return {"xcb"};
}

std::string NoDisplayProblem(const std::vector<std::string>& qt_arguments) {
  for (const std::string& platform : QtPlatforms(qt_arguments)) {
    const std::string name = platform.substr(0, platform.find(':'));  // "xcb:option" names xcb
    if (name == "xcb" ? XReachable() : name.starts_with("wayland") ? WaylandReachable() : true) return "";
  }
  if (Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty())
    return "mirelune: no display to show the window on; set DISPLAY, or use mirelune-cli to make cards without one";
  return "mirelune: the display \"" + Env("DISPLAY") + Env(Env("DISPLAY").empty() ? "WAYLAND_DISPLAY" : "") +
         "\" cannot be reached to show the window on; set DISPLAY to a running one, or use mirelune-cli to make cards "
         "without one";
}

}  // namespace mirelune
