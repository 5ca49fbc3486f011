#pragma once
// Reader and writer for private-profile ("INI") text with the behaviour of the
// Windows profile functions: section and key names match without regard to
// case, blanks around names and values are dropped, a value quoted with matching
// ' or " loses its quotes, only the first section of a name is consulted, and
// writing changes only the lines it must.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron {

class IniFile {
 public:
  enum class LoadResult { kLoaded, kMissing, kFailed };

  // LF and CRLF line endings are both read; writing keeps the file's own ending.
  static IniFile Parse(std::string_view text);
  std::string Text() const;

  // A missing file loads as an empty document. Failures give the system's reason
  // when one is asked for; a failed save leaves the file as it was.
  static LoadResult Load(const std::string& path, IniFile& out, std::string* reason = nullptr);
  bool Save(const std::string& path, std::string* reason = nullptr) const;

  // The key's value; nothing when the section or key is absent or the key line
  // has no "=".
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // The value, or the default when absent, cut to at most maxChars characters.
  std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                        std::size_t maxChars) const;

  // Replaces the key's value in place, else adds the key after the last line of
  // its section, else adds the section at the end. Refuses (false) names and
  // values that a line cannot hold: line breaks, "=" in a key, "]" in a section.
  bool SetString(std::string_view section, std::string_view key, std::string_view value);

  // Removes every key (and comment) of the section; its header stays.
  void EmptySection(std::string_view section);

 private:
  std::vector<std::string> lines_;  // without their line endings
  std::string eol_;
  bool bom_ = false;
  bool finalEol_ = true;
};

// Profile-style access to a file, one whole-file read (and write) per call.
// Calls from all instances in the process are serialised, as the system's
// profile functions are.
std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t maxChars);

// Loads the file (empty when missing), lets edit change it and writes it back.
// False when the file exists but cannot be read or when writing fails; the file is
// then as it was and reason (when given) says why.
template <typename Edit>
bool EditProfile(const std::string& path, Edit&& edit, std::string* reason = nullptr);

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key, std::string_view value,
                        std::string* reason = nullptr);
bool EmptyProfileSection(const std::string& path, std::string_view section, std::string* reason = nullptr);

namespace detail {
class ProfileLock {
 public:
  ProfileLock();
  ~ProfileLock();
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;
};
}  // namespace detail

template <typename Edit>
bool EditProfile(const std::string& path, Edit&& edit, std::string* reason) {
  if (path.empty()) {
    if (reason) *reason = "no folder for it was found";
    return false;
  }
  detail::ProfileLock lock;
  IniFile file;
  if (IniFile::Load(path, file, reason) == IniFile::LoadResult::kFailed) return false;
  edit(file);
  return file.Save(path, reason);
}

}  // namespace tessaron
