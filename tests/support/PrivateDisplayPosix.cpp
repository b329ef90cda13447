#include "tests/support/PrivateDisplay.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace testsupport {
namespace {

bool OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    const size_t end = dirs.find(':', start) == std::string::npos ? dirs.size() : dirs.find(':', start);
    const std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The server is started as a grandchild, so this process has no child of
// its own to reap (tests check that the plug-in leaves none behind), and
// with -terminate it ends when its last client leaves: the connection kept
// below closes when this process ends, however it ends.
bool StartServer(std::string* why) {
  if (!OnPath("Xvfb")) return *why = "Xvfb is not installed (package xvfb)", false;
  int fds[2];
  if (pipe(fds) != 0) return *why = "pipe: " + std::string(std::strerror(errno)), false;
  const pid_t middle = fork();
  if (middle < 0) return *why = "fork: " + std::string(std::strerror(errno)), false;
  if (middle == 0) {
    if (fork() == 0) {
      close(fds[0]);
      setsid();
      const std::string fd = std::to_string(fds[1]);
      if (FILE* null = std::freopen("/dev/null", "w", stderr)) (void)null;
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-terminate", "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
    }
    _exit(0);
  }
  close(fds[1]);
  while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
  // Xvfb writes the display it took once it accepts connections.
  std::string number;
  pollfd wait{fds[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && poll(&wait, 1, 30000) > 0) {
    char buffer[16];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    number.append(buffer, static_cast<size_t>(got));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) return *why = "Xvfb did not start", false;
  number.erase(number.find('\n'));
  const std::string display = ":" + number;
  static Display* const keeper = XOpenDisplay(display.c_str());
  if (keeper == nullptr) return *why = "cannot connect to the Xvfb at " + display, false;
  setenv("DISPLAY", display.c_str(), 1);
  return true;
}

}  // namespace

bool UsePrivateDisplay(std::string* why) {
  static std::once_flag once;
  static bool ok = false;
  static std::string reason;
  std::call_once(once, [] {
    const char* shared = std::getenv("VELTRANE_SHARED_DISPLAY");
    if (shared != nullptr && std::strcmp(shared, "1") == 0) {
      ok = std::getenv("DISPLAY") != nullptr;
      if (!ok) reason = "VELTRANE_SHARED_DISPLAY=1 but DISPLAY is not set";
      return;
    }
    ok = StartServer(&reason);
  });
  if (!ok && why != nullptr) *why = reason;
  return ok;
}

}  // namespace testsupport
