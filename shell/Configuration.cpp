#include "shell/Configuration.h"

#include <charconv>
#include <fstream>
#include <limits>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "shell/IniFile.h"

namespace tessaron {

namespace {

constexpr std::string_view kStartupBankSection = "Startup Bank";
constexpr std::string_view kStartupBankKey = "File";
constexpr std::string_view kGlobalSection = "Global";
constexpr std::string_view kProgramFilesKey = "Path to Program Files";
constexpr std::string_view kMidiGlobalSection = "MIDI Global";
constexpr std::string_view kMidiThruKey = "MIDI Thru";
constexpr std::string_view kIgnoreProgramChangeKey = "Ignore Program Change";
constexpr std::string_view kMidiControlSection = "MIDI Control";

// Paths get room for real folder depths; the short limit suits the small values.
constexpr std::size_t kPathReadLimit = 1023;
constexpr std::size_t kValueReadLimit = 63;

std::string_view FlagText(bool on) { return on ? "true" : "false"; }

bool IsTrueText(std::string_view text) {
  constexpr std::string_view kTrue = "true";
  if (text.size() != kTrue.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != kTrue[i]) return false;
  }
  return true;
}

std::string DecimalText(int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string ControllerKey(int controller) { return "CC" + DecimalText(controller); }

void ReadFlag(const IniFile& file, std::string_view key, std::atomic<bool>& flag) {
  const std::string text =
      file.GetString(kMidiGlobalSection, key, FlagText(flag.load(std::memory_order_relaxed)), kValueReadLimit);
  if (!text.empty()) flag.store(IsTrueText(text), std::memory_order_relaxed);
}

}  // namespace

int32_t ParseControllerEntry(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate as a negative number so that the 32-bit minimum fits.
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < kMin) value = kMin;
  }
  if (!negative) value = value == kMin ? std::numeric_limits<int32_t>::max() : -value;
  if (value != 0 || (!text.empty() && text[0] == '0')) return static_cast<int32_t>(value);
  return Configuration::kUnassigned;
}

Configuration::Configuration() {
  for (auto& entry : controllers_) entry.store(kUnassigned, std::memory_order_relaxed);
}

void Configuration::LocateFile() { LocateFileIn(platform::LocalAppDataFolder(), platform::DocumentsFolder()); }

void Configuration::LocateFileIn(const std::string& appDataFolder, const std::string& documentsFolder) {
  documentsFolder_ = documentsFolder;
  programFilesFolder_ = documentsFolder;
  filePath_.clear();
  // Without a known base folder there is no file: never write one relative to
  // the root or the host's working folder.
  if (appDataFolder.empty()) return;

  const std::string folder = platform::JoinPath(appDataFolder, kVendorFolder);
  if (!platform::DirectoryExists(folder)) platform::MakeDirectory(folder);
  filePath_ = platform::JoinPath(folder, kFileName);

  if (!platform::FileExists(filePath_)) {
    std::ofstream create(filePath_, std::ios::binary | std::ios::trunc);
    if (!create) return;
  }
  ReadConfiguration();
}

int Configuration::ReadConfiguration() {
  IniFile file;
  {
    // One snapshot, so that a concurrent writer cannot mix two versions.
    detail::ProfileLock lock;
    if (!filePath_.empty()) IniFile::Load(filePath_, file);
  }

  startupBank_ = file.GetString(kStartupBankSection, kStartupBankKey, "", kPathReadLimit);
  configuredStartupBank_ = startupBank_;

  std::string text = file.GetString(kGlobalSection, kProgramFilesKey, "", kPathReadLimit);
  if (!text.empty()) programFilesFolder_ = text;

  ReadFlag(file, kMidiThruKey, midiThru_);
  ReadFlag(file, kIgnoreProgramChangeKey, ignoreProgramChange_);

  for (int cc = 0; cc < kControllerCount; ++cc) {
    text = file.GetString(kMidiControlSection, ControllerKey(cc), "-1", kValueReadLimit);
    if (!text.empty()) controllers_[cc].store(ParseControllerEntry(text), std::memory_order_relaxed);
  }

  return platform::FileExists(filePath_) ? 0 : kFileMissing;
}

bool Configuration::WriteStartupBank(std::string* reason) {
  return EditProfile(
      filePath_,
      [&](IniFile& file) {
        file.EmptySection(kStartupBankSection);
        file.SetString(kStartupBankSection, kStartupBankKey, configuredStartupBank_);
      },
      reason);
}

bool Configuration::SetStartupBank(const std::string& fileName, std::string* reason) {
  startupBank_ = fileName;
  configuredStartupBank_ = fileName;
  return WriteStartupBank(reason);
}

bool Configuration::ClearStartupBank(std::string* reason) {
  startupBank_.clear();
  configuredStartupBank_.clear();
  return EmptyProfileSection(filePath_, kStartupBankSection, reason);
}

bool Configuration::WriteProgramFilesFolder(const std::string& folder, std::string* reason) {
  programFilesFolder_ = folder;
  return WriteProfileString(filePath_, kGlobalSection, kProgramFilesKey, programFilesFolder_, reason);
}

bool Configuration::WriteMidiSettings(int which, std::string* reason) {
  return EditProfile(
      filePath_,
      [&](IniFile& file) {
        file.EmptySection(kStartupBankSection);
        file.SetString(kStartupBankSection, kStartupBankKey, configuredStartupBank_);
        if (which == kMidiThruCommand || which < 0)
          file.SetString(kMidiGlobalSection, kMidiThruKey, FlagText(MidiThru()));
        if (which == kIgnoreProgramChangeCommand || which < 0)
          file.SetString(kMidiGlobalSection, kIgnoreProgramChangeKey, FlagText(IgnoreProgramChange()));
        if (which >= 0) return;
        file.EmptySection(kMidiControlSection);
        for (int cc = 0; cc < kControllerCount; ++cc) {
          const int32_t entry = Controller(cc);
          if (entry >= 0) file.SetString(kMidiControlSection, ControllerKey(cc), DecimalText(entry));
        }
      },
      reason);
}

int32_t Configuration::Controller(int controller) const {
  if (controller < 0 || controller >= kControllerCount) return kUnassigned;
  return controllers_[controller].load(std::memory_order_relaxed);
}

void Configuration::SetController(int controller, int32_t parameter) {
  if (controller < 0 || controller >= kControllerCount) return;
  controllers_[controller].store(parameter, std::memory_order_relaxed);
}

}  // namespace tessaron
