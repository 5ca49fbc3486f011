#pragma once
// Helpers every X11 editor test program shares: quiet child processes and polling.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tessaron::test {

// The child keeps no handle on the test's output (CTest waits for it to close) and dies
// with the test, so a crashed test leaves no server or tool behind.
inline pid_t SpawnQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Runs a tool to its end; its exit code, or -1 when it did not exit.
inline int RunQuietly(const std::vector<std::string>& args) {
  const pid_t pid = SpawnQuietly(args);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> all{TESSARON_XDOTOOL};
  all.insert(all.end(), args.begin(), args.end());
  RunQuietly(all);
}

// Polls until `ready` holds (true) or the time is up (false).
inline bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()>& ready) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ready();
}

}  // namespace tessaron::test
