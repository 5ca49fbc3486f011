#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace tessaron::platform {

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  // Parents first: a fresh account may not even have ~/.config yet.
  const std::size_t cut = path.find_last_of('/');
  if (cut != std::string::npos && cut > 0) MakeDirectory(path.substr(0, cut));
  // Private to the user, as the base folders for configuration should be.
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  return errno == EEXIST && DirectoryExists(path);
}

namespace {

bool WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// A new name beside the target. O_EXCL instead of mkstemp, so that a new file gets the
// permissions the user's umask gives every other file rather than mkstemp's 0600.
int CreateTemporary(const std::string& target, std::string& temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the rename itself durable; a folder that refuses this loses nothing already written.
void SyncFolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason) {
  const auto fail = [reason](int error) {
    if (reason) *reason = std::error_code(error, std::generic_category()).message();
    return false;
  };
  if (path.empty()) return fail(ENOENT);
  // Write through a symbolic link (a user's dotfile set-up) instead of replacing it.
  std::string target = path;
  char resolved[PATH_MAX];
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(path.c_str(), resolved)) target = resolved;
  const bool replacing = ::stat(target.c_str(), &st) == 0;
  if (replacing && S_ISDIR(st.st_mode)) return fail(EISDIR);

  std::string temp;
  const int fd = CreateTemporary(target, temp);
  if (fd < 0) return fail(errno);
  // A replaced file keeps its permissions.
  if (replacing) ::fchmod(fd, st.st_mode & 07777);
  int error = 0;
  if (!WriteAll(fd, data)) {
    error = errno;
  } else if (::fsync(fd) != 0 && errno != EINVAL) {  // EINVAL: a file system without syncing
    error = errno;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return fail(error);
  }
  SyncFolderOf(target);
  return true;
}

}  // namespace tessaron::platform
