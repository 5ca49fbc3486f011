// File prompts: the desktop's own dialog through zenity or kdialog when one is installed,
// run by fork and exec (no shell, so no quoting of the user's paths) and watched from the
// editor's idle calls; otherwise a path-entry box of our own. Nothing here waits.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/x11/X11Common.h"
#include "platform/FileSystem.h"

namespace tessaron::x11 {
namespace {

std::string FindOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string list = path;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::string folder = list.substr(start, end - start);
    if (!folder.empty()) {
      const std::string candidate = folder + "/" + program;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return {};
}

// A program whose standard output is collected without blocking; killed and reaped when
// dropped before it ended (the editor closed under it).
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) {
      close(fds[0]);
      close(fds[1]);
      return;
    }
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      const int devNull = open("/dev/null", O_RDWR);
      if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDERR_FILENO);
      }
      execv(args[0], args.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
  }
  ~ChildProcess() {
    if (out_ >= 0) close(out_);
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // Reads what is there and looks whether the program ended; true once it has.
  bool Poll() {
    if (pid_ <= 0) return true;
    while (out_ >= 0) {
      char buffer[1024];
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n > 0) {
        output_.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) {
        close(out_);
        out_ = -1;
      }
      break;  // nothing more for now, or the end
    }
    if (!reaped_) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        succeeded_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      } else if (r < 0 && errno == ECHILD) {
        // The host reaps its children itself: the output alone must tell.
        reaped_ = true;
        succeeded_ = !output_.empty();
      }
    }
    return reaped_ && out_ < 0;
  }
  // The first output line after a successful run, else empty.
  std::string Answer() const {
    if (!succeeded_) return {};
    return output_.substr(0, output_.find('\n'));
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  bool reaped_ = false;
  bool succeeded_ = false;
};

class FileDialogInteraction final : public Interaction {
 public:
  FileDialogInteraction(Display* display, ::Window owner, const FileDialogRequest& request, FileDialogDone done)
      : display_(display), owner_(owner), request_(request), done_(std::move(done)) {
    // The dialog is given the exact file a save will write, extension included, so that
    // its own question about replacing a file asks about that file.
    const std::string name = request.save && !request.fileName.empty()
                                 ? WithDefaultExtension(request.fileName, request.extensions)
                                 : request.fileName;
    path_ = platform::JoinPath(request.folder, name);
    for (const std::string& e : request.extensions) patterns_ += (patterns_.empty() ? "*." : " *.") + e;
    const char* title = Title();
    const std::string attach = std::to_string(owner);
    if (const std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
      std::vector<std::string> argv = {zenity, "--file-selection", std::string("--title=") + title,
                                       "--filename=" + path_};
      if (owner) argv.push_back("--attach=" + attach);
      if (request.save) {
        argv.push_back("--save");
        argv.push_back("--confirm-overwrite");
      }
      if (!patterns_.empty()) argv.push_back("--file-filter=" + patterns_);
      argv.push_back("--file-filter=All files | *");
      child_ = std::make_unique<ChildProcess>(argv);
    } else if (const std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
      std::vector<std::string> argv = {kdialog, "--title", title};
      if (owner) {
        argv.push_back("--attach");
        argv.push_back(attach);
      }
      argv.push_back(request.save ? "--getsavefilename" : "--getopenfilename");
      argv.push_back(path_);
      if (!patterns_.empty()) argv.push_back(patterns_);
      child_ = std::make_unique<ChildProcess>(argv);
    } else {
      OpenPathBox(path_);
    }
    if (child_ && !child_->Started()) Finish({});
  }

  bool HandleEvent(XEvent& event) override {
    if (finished_) return false;
    if (question_) {
      if (!question_->HandleEvent(event)) return false;
      if (question_->Finished()) Answered(question_->Answer());
      return true;
    }
    if (box_) {
      if (!box_->HandleEvent(event)) return false;
      if (box_->Finished()) Entered(box_->Answer(), box_->Text());
      return true;
    }
    return false;
  }

  void Idle() override {
    if (!finished_ && child_ && child_->Poll()) Finish(child_->Answer());
  }

  bool Finished() const override { return finished_; }

  std::function<void()> TakeDelivery() override {
    child_.reset();
    question_.reset();
    box_.reset();
    return [done = std::move(done_), answer = answer_] {
      if (done) done(answer);
    };
  }

 private:
  const char* Title() const { return request_.save ? "Save As" : "Open"; }

  void OpenPathBox(const std::string& path) {
    const std::string prompt = std::string(request_.save ? "Save to file" : "Open file") +
                               (patterns_.empty() ? std::string() : " (" + patterns_ + ")") + ":";
    box_ = OpenLineDialog(display_, owner_, Title(), prompt.c_str(), path);
  }

  // The path box answered: a save over an existing file asks first, about the file that
  // will be written.
  void Entered(int answer, const std::string& text) {
    box_.reset();
    if (answer != kAnswerOk || text.empty()) return Finish({});
    chosen_ = request_.save ? WithDefaultExtension(text, request_.extensions) : text;
    if (request_.save && platform::FileExists(chosen_)) {
      question_ = OpenMessageBox(display_, owner_, ReplaceQuestion(chosen_).c_str(), kReplaceCaption,
                                 kMessageYesNo | kMessageIconWarning | kMessageDefaultButton2);
      return;
    }
    Finish(chosen_);
  }

  // No goes back to the path box, as a desktop's save dialog does.
  void Answered(int answer) {
    question_.reset();
    if (answer == kAnswerYes) return Finish(chosen_);
    OpenPathBox(chosen_);
  }

  void Finish(std::string answer) {
    answer_ = std::move(answer);
    finished_ = true;
  }

  Display* display_;
  ::Window owner_;
  FileDialogRequest request_;
  FileDialogDone done_;
  std::string path_, patterns_, chosen_, answer_;
  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<DialogBox> box_, question_;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<Interaction> StartFileDialog(Display* display, ::Window owner, const FileDialogRequest& request,
                                             FileDialogDone done) {
  return std::make_unique<FileDialogInteraction>(display, owner, request, std::move(done));
}

}  // namespace tessaron::x11
