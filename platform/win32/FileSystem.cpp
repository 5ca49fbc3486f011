#include "platform/FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace tessaron::platform {

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool MakeDirectory(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  const std::size_t cut = path.find_last_of("\\/");
  // Stop at a drive ("C:") or the root; those cannot be created.
  if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':') MakeDirectory(path.substr(0, cut));
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}

namespace {

// Paths from the file dialogs are UTF-8; those from the shell's ANSI folder queries are
// in the system code page, which is never valid UTF-8 once it holds a non-ASCII letter.
std::wstring WidePath(const std::string& path) {
  for (const UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int n = MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
    if (n <= 0) continue;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), wide.data(), n);
    return wide;
  }
  return {};
}

// The system's own sentence for the error, in UTF-8, without its closing period and line break.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string narrow;
  if (length > 0) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(std::max(n, 0)));
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), n, nullptr, nullptr);
  }
  if (text) LocalFree(text);
  while (!narrow.empty() &&
         (narrow.back() == '\n' || narrow.back() == '\r' || narrow.back() == '.' || narrow.back() == ' '))
    narrow.pop_back();
  return narrow.empty() ? "Windows error " + std::to_string(error) : narrow;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason) {
  const auto fail = [reason](DWORD error) {
    if (reason) *reason = ErrorText(error);
    return false;
  };
  if (path.empty()) return fail(ERROR_PATH_NOT_FOUND);
  if (data.size() > 0x7fffffffu) return fail(ERROR_FILE_TOO_LARGE);
  const std::wstring target = WidePath(path);
  if (target.empty()) return fail(ERROR_INVALID_NAME);
  static std::atomic<unsigned> counter{0};
  const std::wstring temp =
      target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail(GetLastError());
  DWORD error = ERROR_SUCCESS;
  DWORD written = 0;
  if (!data.empty()) {
    if (!WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr)) {
      error = GetLastError();
    } else if (written != data.size()) {
      error = ERROR_DISK_FULL;
    }
  }
  if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
  if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
  if (error == ERROR_SUCCESS &&
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error == ERROR_SUCCESS) return true;
  DeleteFileW(temp.c_str());
  return fail(error);
}

}  // namespace tessaron::platform
