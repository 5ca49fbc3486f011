#include "platform/Folders.h"

#include <windows.h>
#include <shlobj.h>

namespace tessaron::platform {

namespace {

constexpr int kLocalAppData = 0x1C;  // CSIDL_LOCAL_APPDATA
constexpr int kPersonal = 5;         // CSIDL_PERSONAL ("My Documents")

std::string ShellFolder(int csidl) {
  char buffer[1024] = {};  // SHGetFolderPathA writes at most MAX_PATH characters
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, buffer))) return {};
  return buffer;
}

}  // namespace

std::string LocalAppDataFolder() { return ShellFolder(kLocalAppData); }

std::string DocumentsFolder() { return ShellFolder(kPersonal); }

}  // namespace tessaron::platform
