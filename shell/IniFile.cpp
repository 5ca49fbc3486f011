#include "shell/IniFile.h"

#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "host/Text.h"
#include "platform/FileSystem.h"

namespace tessaron {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

#ifdef _WIN32
constexpr std::string_view kNativeEol = "\r\n";
#else
constexpr std::string_view kNativeEol = "\n";
#endif

// The profile functions count Ctrl-Z (an old end-of-file mark) as a blank.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

enum class LineKind { kBlank, kSection, kKey, kOther };

struct Line {
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // section or key name
  std::string_view value;  // key value, trimmed
  bool hasValue = false;   // the key line has "="
};

Line Classify(std::string_view text) {
  Line line;
  const std::string_view t = Trim(text);
  if (t.empty()) return line;
  if (t.front() == '[') {
    const std::size_t close = t.rfind(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = Trim(t.substr(1, close - 1));
      return line;
    }
  }
  if (t.front() == ';') {
    line.kind = LineKind::kOther;
    return line;
  }
  line.kind = LineKind::kKey;
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) {
    line.name = t;
    return line;
  }
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
  line.hasValue = true;
  return line;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::string KeyLine(std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  line += value;
  return line;
}

std::mutex& ProfileMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile file;
  if (text.substr(0, kBom.size()) == kBom) {
    file.bom_ = true;
    text.remove_prefix(kBom.size());
  }
  file.finalEol_ = text.empty() || text.back() == '\n';
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.remove_suffix(1);
    if (file.eol_.empty() && end < text.size()) file.eol_ = crlf ? "\r\n" : "\n";
    file.lines_.emplace_back(line);
    start = end + 1;
  }
  return file;
}

std::string IniFile::Text() const {
  const std::string_view eol = eol_.empty() ? kNativeEol : std::string_view(eol_);
  std::string text;
  if (bom_) text += kBom;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || finalEol_) text += eol;
  }
  return text;
}

IniFile::LoadResult IniFile::Load(const std::string& path, IniFile& out, std::string* reason) {
  const auto fail = [reason](int error) {
    if (reason) *reason = std::error_code(error, std::generic_category()).message();
    return LoadResult::kFailed;
  };
  if (!platform::FileExists(path)) {
    out = IniFile();
    return platform::DirectoryExists(path) ? fail(EISDIR) : LoadResult::kMissing;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(errno != 0 ? errno : EIO);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return fail(EIO);
  out = Parse(text.str());
  return LoadResult::kLoaded;
}

bool IniFile::Save(const std::string& path, std::string* reason) const {
  return platform::WriteFileAtomically(path, Text(), reason);
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  section = Trim(section);
  key = Trim(key);
  bool inSection = false;
  bool seenSection = false;
  for (const std::string& text : lines_) {
    const Line line = Classify(text);
    if (line.kind == LineKind::kSection) {
      // Only the first section of a name counts.
      if (seenSection) return std::nullopt;
      inSection = EqualNoCase(line.name, section);
      seenSection = inSection;
    } else if (inSection && line.kind == LineKind::kKey && EqualNoCase(line.name, key)) {
      if (!line.hasValue) return std::nullopt;
      return std::string(Unquote(line.value));
    }
  }
  return std::nullopt;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                               std::size_t maxChars) const {
  std::string value;
  if (auto found = Find(section, key)) {
    value = std::move(*found);
  } else {
    // The profile functions drop trailing blanks of the default only.
    while (!defaultValue.empty() && IsBlank(defaultValue.back())) defaultValue.remove_suffix(1);
    value = defaultValue;
  }
  CutUtf8(value, maxChars);
  return value;
}

bool IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view keyName = Trim(key);
  const std::string_view sectionName = Trim(section);
  if (keyName.empty() || keyName.front() == '[' || keyName.front() == ';' ||
      keyName.find('=') != std::string_view::npos || HasLineBreak(keyName) ||
      sectionName.find(']') != std::string_view::npos || HasLineBreak(sectionName) || HasLineBreak(value))
    return false;

  std::size_t header = lines_.size();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line line = Classify(lines_[i]);
    if (line.kind == LineKind::kSection && EqualNoCase(line.name, sectionName)) {
      header = i;
      break;
    }
  }
  if (header == lines_.size()) {
    if (!lines_.empty() && Classify(lines_.back()).kind != LineKind::kBlank) lines_.emplace_back();
    std::string headerLine(1, '[');
    headerLine.append(sectionName).push_back(']');
    lines_.push_back(std::move(headerLine));
    lines_.push_back(KeyLine(keyName, value));
    finalEol_ = true;
    return true;
  }

  std::size_t lastContent = header;
  std::size_t i = header + 1;
  for (; i < lines_.size(); ++i) {
    const Line line = Classify(lines_[i]);
    if (line.kind == LineKind::kSection) break;
    if (line.kind == LineKind::kKey && EqualNoCase(line.name, keyName)) {
      // Keep the key's spelling and the line's indentation as the user wrote them.
      const auto indent = static_cast<std::size_t>(line.name.data() - lines_[i].data());
      lines_[i] = lines_[i].substr(0, indent) + KeyLine(line.name, value);
      return true;
    }
    if (line.kind != LineKind::kBlank) lastContent = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), KeyLine(keyName, value));
  if (lastContent + 2 == lines_.size()) finalEol_ = true;
  return true;
}

void IniFile::EmptySection(std::string_view section) {
  const std::string_view sectionName = Trim(section);
  bool inSection = false;
  std::vector<std::string> kept;
  kept.reserve(lines_.size());
  for (std::string& text : lines_) {
    const Line line = Classify(text);
    if (line.kind == LineKind::kSection)
      inSection = EqualNoCase(line.name, sectionName);
    else if (inSection && line.kind != LineKind::kBlank)
      continue;
    kept.push_back(std::move(text));
  }
  lines_ = std::move(kept);
}

namespace detail {
ProfileLock::ProfileLock() { ProfileMutex().lock(); }
ProfileLock::~ProfileLock() { ProfileMutex().unlock(); }
}  // namespace detail

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t maxChars) {
  IniFile file;
  {
    detail::ProfileLock lock;
    IniFile::Load(path, file);
  }
  return file.GetString(section, key, defaultValue, maxChars);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key, std::string_view value,
                        std::string* reason) {
  bool accepted = false;
  const bool written = EditProfile(
      path, [&](IniFile& file) { accepted = file.SetString(section, key, value); }, reason);
  if (written && !accepted && reason) *reason = "a line cannot hold that value";
  return written && accepted;
}

bool EmptyProfileSection(const std::string& path, std::string_view section, std::string* reason) {
  return EditProfile(
      path, [&](IniFile& file) { file.EmptySection(section); }, reason);
}

}  // namespace tessaron
