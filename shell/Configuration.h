#pragma once
// The per-user settings every instance shares through one INI file: the startup
// bank, the default folder for program files, the global MIDI switches and the
// assignment of MIDI controllers to parameters.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace tessaron {

class Configuration {
 public:
  static constexpr int kControllerCount = 120;  // controllers 0..119; 120 and up are channel modes
  static constexpr int32_t kUnassigned = -1;
  static constexpr int kFileMissing = 11;      // ReadConfiguration's answer without a file
  static constexpr int kMidiThruCommand = 19;  // menu command numbers accepted by WriteMidiSettings
  static constexpr int kIgnoreProgramChangeCommand = 20;

  static constexpr const char* kVendorFolder = "GreyLanternLabs";
  static constexpr const char* kFileName = "tessaron.ini";

  Configuration();
  Configuration(const Configuration&) = delete;
  Configuration& operator=(const Configuration&) = delete;

  // Finds the file in the user's application-data folder, creating the folder and
  // an empty file on first start, takes the documents folder as the program files
  // folder and reads the file. Failures are silent: the values then stay initial.
  void LocateFile();
  // The same with the folders given (the system's answers in LocateFile).
  void LocateFileIn(const std::string& appDataFolder, const std::string& documentsFolder);

  // Returns 0, or kFileMissing when the file does not exist (every key then reads
  // as absent).
  int ReadConfiguration();

  // Each writer answers false when the file could not be written, which leaves it as
  // it was; reason (when given) then says why. The values in memory change anyway.
  bool WriteStartupBank(std::string* reason = nullptr);
  bool SetStartupBank(const std::string& fileName, std::string* reason = nullptr);
  bool ClearStartupBank(std::string* reason = nullptr);
  bool WriteProgramFilesFolder(const std::string& folder, std::string* reason = nullptr);
  // which = kMidiThruCommand or kIgnoreProgramChangeCommand writes that switch;
  // a negative which writes both switches and the whole controller table. The
  // startup bank is written first in every case.
  bool WriteMidiSettings(int which, std::string* reason = nullptr);

  // User-interface thread only.
  const std::string& FilePath() const { return filePath_; }
  const std::string& DocumentsFolder() const { return documentsFolder_; }
  const std::string& StartupBank() const { return startupBank_; }
  // Forgets a startup bank that failed to load, in memory only: the file keeps its
  // name (a drive that is not mounted yet) until the user chooses another or none.
  void ForgetStartupBank() { startupBank_.clear(); }
  const std::string& ProgramFilesFolder() const { return programFilesFolder_; }

  // Read on the audio thread by the MIDI handler, written from the menu and by
  // MIDI learn; relaxed atomics keep those unordered accesses defined.
  bool MidiThru() const { return midiThru_.load(std::memory_order_relaxed); }
  void SetMidiThru(bool on) { midiThru_.store(on, std::memory_order_relaxed); }
  bool IgnoreProgramChange() const { return ignoreProgramChange_.load(std::memory_order_relaxed); }
  void SetIgnoreProgramChange(bool on) { ignoreProgramChange_.store(on, std::memory_order_relaxed); }

  // The parameter index assigned to a controller, kUnassigned for none or for a
  // controller number outside 0..119. Any stored integer is kept; only valid
  // parameter indices have an effect, which is the caller's business.
  int32_t Controller(int controller) const;
  void SetController(int controller, int32_t parameter);

 private:
  std::string filePath_;
  std::string documentsFolder_;
  std::string startupBank_;
  std::string configuredStartupBank_;  // what the file holds, also while startupBank_ is forgotten
  std::string programFilesFolder_;
  std::atomic<bool> midiThru_{false};
  std::atomic<bool> ignoreProgramChange_{false};
  std::array<std::atomic<int32_t>, kControllerCount> controllers_;
};

// The controller-entry rule: the leading decimal integer (blanks and a sign
// allowed, stopping at the first non-digit, saturated to 32 bits); a result of 0
// counts only when the text begins with "0", anything else unparsable is -1.
int32_t ParseControllerEntry(const std::string& text);

}  // namespace tessaron
