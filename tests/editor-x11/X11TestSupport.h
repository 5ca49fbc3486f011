#pragma once
// Helpers every X11 test program shares: a private display server, quiet child processes
// and polling.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

// A server of our own for the whole program. Xvfb takes a free display number itself and
// names it through a pipe once it accepts connections, so two test programs starting at
// once never share a server; it never resets, so no test meets it restarting.
class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = SpawnQuietly({TESSARON_XVFB, "-displayfd", std::to_string(fds[1]), "-noreset", "-screen", "0", "1280x800x24",
                         "-nolisten", "tcp"});
    close(fds[1]);
    std::string number;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char c = 0;
    while (std::chrono::steady_clock::now() < end) {
      pollfd ready{fds[0], POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (c == '\n' && !number.empty()) {
      setenv("DISPLAY", (":" + number).c_str(), 1);
      return;
    }
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void TearDown() override {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  static bool Ready() { return std::getenv("DISPLAY") && pid_ > 0; }

 private:
  static inline pid_t pid_ = -1;
};

}  // namespace tessaron::test
