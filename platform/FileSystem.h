#pragma once
// The few file-system queries and changes the configuration file needs.
#include <string>
#include <string_view>

namespace tessaron::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// folder + separator + name; a separator already ending folder is not doubled.
inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') path += kPathSeparator;
  path += name;
  return path;
}

bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);

// Creates the folder and any missing parent folders. True when it exists afterwards.
bool MakeDirectory(const std::string& path);

// Replaces the file's whole contents so that a crash or a full disk never leaves
// it half written: the data goes to a temporary file beside it, is flushed to the
// disk and then takes the file's place. On failure the temporary file is removed,
// the old file is as it was, and reason (when given) receives the system's
// explanation, such as "No space left on device".
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason = nullptr);

}  // namespace tessaron::platform
