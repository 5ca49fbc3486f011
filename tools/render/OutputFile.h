#pragma once
// An output written to a temporary file beside its target and renamed over the
// target only when whole, so that a failed or interrupted render leaves the
// file that was there as it was and nothing half-written behind.
#include <string>

namespace tessaron {

// Catches SIGINT, SIGTERM and SIGHUP: the first asks the work to stop (see
// InterruptSignal); a second removes the temporary file and ends the process.
void CatchInterrupts();
// The signal caught, or 0.
int InterruptSignal();

// True when both paths exist and name the same file (device and inode).
bool SameFile(const std::string& a, const std::string& b);

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // abandons an output not committed

  // Creates the temporary file. A target that is a device (/dev/null) is
  // written in place, as nothing could be kept of it anyway.
  bool Begin(const std::string& target, std::string& error);
  int Descriptor() const { return fd; }
  const std::string& WritePath() const { return writePath; }
  // Flushes, closes and renames over the target.
  bool Commit(std::string& error);
  // Removes the temporary file; the target stays as it was.
  void Abandon();
  // For messages after a failure: that an existing target was kept.
  std::string Outcome() const;
  // Abandons the output after a failure and turns reason into the whole line to print
  // (an interruption named as such, then what became of the target); answers the exit
  // status, 128 + the signal when one ended the work.
  int AbandonWith(std::string& reason);

 private:
  std::string targetPath;  // as the user named it
  std::string renamePath;  // the file it names, through any link
  std::string writePath;   // the temporary file, or the target when written in place
  int fd = -1;
  bool inPlace = false;
  bool targetExisted = false;
};

}  // namespace tessaron
