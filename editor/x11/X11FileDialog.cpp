// File prompts: the desktop's own dialog through zenity or kdialog when one is installed,
// run by fork and exec (no shell, so no quoting of the user's paths); otherwise a
// path-entry box of our own.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/x11/X11Common.h"
#include "platform/FileSystem.h"

namespace tessaron::x11 {
namespace {

std::string FindOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string list = path;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::string folder = list.substr(start, end - start);
    if (!folder.empty()) {
      const std::string candidate = folder + "/" + program;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return {};
}

// Runs argv with stdout captured while the editor's window keeps repainting. Answers the
// first output line, or empty when the program fails or is cancelled.
std::string RunCapturing(Display* display, const std::vector<std::string>& argv, const OtherEvent& other) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  for (;;) {
    pollfd fd{fds[0], POLLIN, 0};
    const int ready = poll(&fd, 1, 50);
    if (ready > 0) {
      char buffer[1024];
      const ssize_t n = read(fds[0], buffer, sizeof(buffer));
      if (n > 0) {
        out.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      break;  // end of output
    }
    if (ready < 0 && errno != EINTR) break;
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      if (other) other(e);
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  const std::size_t newline = out.find('\n');
  if (newline != std::string::npos) out.resize(newline);
  return out;
}

}  // namespace

std::string RunFileDialog(Display* display, ::Window owner, const FileDialogRequest& request, const OtherEvent& other) {
  const std::string start = platform::JoinPath(request.folder, request.fileName);
  std::string patterns;  // "*.fxp *.fxb"
  for (const std::string& e : request.extensions) patterns += (patterns.empty() ? "*." : " *.") + e;
  const char* title = request.save ? "Save As" : "Open";
  if (const std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
    std::vector<std::string> argv = {zenity, "--file-selection", std::string("--title=") + title,
                                     "--filename=" + start};
    if (request.save) {
      argv.push_back("--save");
      argv.push_back("--confirm-overwrite");
    }
    if (!patterns.empty()) argv.push_back("--file-filter=" + patterns);
    argv.push_back("--file-filter=All files | *");
    return RunCapturing(display, argv, other);
  }
  if (const std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
    std::vector<std::string> argv = {kdialog, "--title", title,
                                     request.save ? "--getsavefilename" : "--getopenfilename", start};
    if (!patterns.empty()) argv.push_back(patterns);
    return RunCapturing(display, argv, other);
  }
  std::string path = start;
  const std::string prompt = std::string(request.save ? "Save to file" : "Open file") +
                             (patterns.empty() ? std::string() : " (" + patterns + ")") + ":";
  for (;;) {
    if (!RunLineDialog(display, owner, title, prompt.c_str(), path, other) || path.empty()) return {};
    if (request.save && platform::FileExists(path)) {
      const std::string question = path + " already exists.\nDo you want to replace it?";
      const int answer = RunMessageBox(display, owner, question.c_str(), title, kMessageYesNo | kMessageIconWarning, other);
      if (answer != kAnswerYes) continue;
    }
    return path;
  }
}

}  // namespace tessaron::x11
