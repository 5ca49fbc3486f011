#include "platform/Folders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "platform/FileSystem.h"

namespace tessaron::platform {

namespace {

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Only absolute values count: a relative XDG variable is invalid and ignored.
std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return WithoutTrailingSlashes(value);
}

std::string HomeFolder() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd pw {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return WithoutTrailingSlashes(found->pw_dir);
  return {};
}

std::string ConfigHome() {
  std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
  if (!config.empty()) return config;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : JoinPath(home, ".config");
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs: a shell-quoted string that is
// either absolute or starts with $HOME. Empty when absent or malformed.
std::string XdgDocumentsFromUserDirs(const std::string& home) {
  const std::string config = ConfigHome();
  if (config.empty()) return {};
  std::ifstream in(JoinPath(config, "user-dirs.dirs"), std::ios::binary);
  std::string line;
  std::string result;
  while (std::getline(in, line)) {
    std::string_view rest(line);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
    if (rest.substr(0, kKey.size()) != kKey) continue;
    rest.remove_prefix(kKey.size());
    std::string value;
    bool closed = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == '\\' && i + 1 < rest.size()) {
        value += rest[++i];
      } else if (rest[i] == '"') {
        closed = true;
        break;
      } else {
        value += rest[i];
      }
    }
    if (!closed) continue;
    constexpr std::string_view kHome = "$HOME";
    if (value.compare(0, kHome.size(), kHome) == 0 && (value.size() == kHome.size() || value[kHome.size()] == '/')) {
      if (home.empty()) continue;
      value = home + value.substr(kHome.size());
    } else if (value.empty() || value[0] != '/') {
      continue;
    }
    result = WithoutTrailingSlashes(value);  // the last assignment wins, as in a shell
  }
  return result;
}

}  // namespace

std::string LocalAppDataFolder() { return ConfigHome(); }

std::string DocumentsFolder() {
  const std::string home = HomeFolder();
  std::string documents = XdgDocumentsFromUserDirs(home);
  if (!documents.empty()) return documents;
  if (home.empty()) return {};
  documents = JoinPath(home, "Documents");
  return DirectoryExists(documents) ? documents : home;
}

}  // namespace tessaron::platform
