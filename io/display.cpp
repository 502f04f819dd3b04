#include "io/display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace io {
namespace {

bool isSet(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

bool connects(const std::string& path, bool abstract) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t at = abstract ? 1 : 0;  // an abstract name starts with a zero byte
  if (at + path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path + at, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + at + path.size());
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool displayReachable(std::string* why) {
  // A platform chosen by name needs no display, unless it is X or Wayland.
  const std::string platform = isSet("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  const bool x = platform.starts_with("xcb"), wayland = platform.starts_with("wayland");
  if (!platform.empty() && !x && !wayland) return true;
  if (!x && isSet("WAYLAND_DISPLAY")) return true;
  if (wayland) {
    *why = "no Wayland display is set (WAYLAND_DISPLAY)";
    return false;
  }
  if (!isSet("DISPLAY")) {
    *why = "no display is set (neither DISPLAY nor WAYLAND_DISPLAY)";
    return false;
  }
  // ":N" or ":N.S" is the local server N; other forms (host:N) are left to Qt.
  const std::string display = std::getenv("DISPLAY");
  if (display[0] != ':') return true;
  const size_t end = display.find('.');
  const std::string number = display.substr(1, end == std::string::npos ? end : end - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
  const std::string socket = "/tmp/.X11-unix/X" + number;
  if (connects(socket, false) || connects(socket, true)) return true;
  *why = "the display " + display + " does not answer";
  return false;
}

}  // namespace io
