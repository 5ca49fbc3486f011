#include "platform/OpenUrl.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace tessaron::platform {

bool OpenUrl(const char* url) {
  if (!url || !*url) return false;
  // No shell: the address reaches xdg-open as one argument whatever it contains. A
  // double fork leaves no child of the host behind for it to reap.
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setsid();
    pid_t grandchild = 0;
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(url), nullptr};
    const int rc = posix_spawnp(&grandchild, program, nullptr, nullptr, argv, environ);
    _exit(rc == 0 ? 0 : 127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tessaron::platform
