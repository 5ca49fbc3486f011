#include "tools/render/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaron {
namespace {

volatile sig_atomic_t caught = 0;
// The temporary file of the output being written, for the handler to remove.
char pendingPath[PATH_MAX + 1] = {};

extern "C" void OnInterrupt(int signal) {
  if (caught != 0) {
    if (pendingPath[0] != '\0') {
      unlink(pendingPath);
    }
    _exit(128 + signal);
  }
  caught = signal;
}

void SetPending(const std::string& path) {
  // Blocked while it changes, so the handler never reads half a name.
  sigset_t all;
  sigset_t old;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &old);
  const size_t n = path.size() < PATH_MAX ? path.size() : 0;
  std::memcpy(pendingPath, path.data(), n);
  pendingPath[n] = '\0';
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

std::string Reason(int err) { return std::strerror(err); }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &action, nullptr);
  }
}

int InterruptSignal() { return caught; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Begin(const std::string& target, std::string& error) {
  targetPath = target;
  renamePath = target;
  std::string path = target;
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) {
    targetExisted = true;
    if (S_ISDIR(st.st_mode)) {
      error = "cannot write '" + target + "': it is a folder";
      return false;
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
      // Headers are completed at the end, which a stream cannot take back.
      error = "cannot write '" + target + "': it is a pipe; audio and picture files need a real file";
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      inPlace = true;
      writePath = target;
      fd = open(target.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) {
        error = "cannot write '" + target + "': " + Reason(errno);
        return false;
      }
      return true;
    }
    // Replace the file a link points to, not the link.
    char resolved[PATH_MAX];
    if (realpath(target.c_str(), resolved)) {
      path = resolved;
    }
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + name + ".tessaron-XXXXXX";
  fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot write '" + target + "': " + Reason(errno);
    return false;
  }
  writePath = pattern;
  SetPending(writePath);
  // The new file gets the old one's permissions, or those a new file would have.
  mode_t mode = 0;
  if (targetExisted) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  renamePath = path;
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (fd < 0) {
    error = "no output file open";
    return false;
  }
  if (inPlace) {
    const bool closed = close(fd) == 0;
    fd = -1;
    if (!closed) {
      error = "writing '" + targetPath + "' failed: " + Reason(errno);
    }
    return closed;
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    error = "writing '" + targetPath + "' failed: " + Reason(errno);
    fd = -1;
    Abandon();
    return false;
  }
  fd = -1;
  if (rename(writePath.c_str(), renamePath.c_str()) != 0) {
    error = "cannot put '" + targetPath + "' in place: " + Reason(errno);
    Abandon();
    return false;
  }
  SetPending("");
  writePath.clear();
  return true;
}

void OutputFile::Abandon() {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
  if (!inPlace && !writePath.empty()) {
    unlink(writePath.c_str());
    SetPending("");
    writePath.clear();
  }
}

std::string OutputFile::Outcome() const {
  return targetExisted && !inPlace ? "; '" + targetPath + "' is left as it was" : "";
}

int OutputFile::AbandonWith(std::string& reason) {
  Abandon();
  const int signal = InterruptSignal();
  if (signal != 0) {
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    reason = std::string("interrupted by ") + name;
  }
  reason += Outcome();
  return signal != 0 ? 128 + signal : 1;
}

}  // namespace tessaron
