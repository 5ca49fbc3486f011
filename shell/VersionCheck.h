#pragma once
// "Check Online for Update" and "Visit ...": ask the maker's server for the newest
// version and tell the user. Runs on the editor's thread and blocks it for the
// exchange (bounded by the server setting's timeout); the result box does not block.
#include <functional>
#include <string>

namespace tessaron {

// The few editor services the check needs, so that it runs without a window. It must
// live until the continuations of the boxes it showed have run or been dropped.
class VersionCheckUi {
 public:
  virtual ~VersionCheckUi() = default;
  // A message box of the given Windows type; done gets the button pressed (7 is No)
  // when it closes, which may be after ShowMessage has returned, or never (the editor
  // closed first).
  virtual void ShowMessage(const std::string& text, const std::string& caption, int type,
                           std::function<void(int)> done) = 0;
  // Opens a web page without asking; answers whether it opened.
  virtual bool OpenPage(const std::string& url) = 0;
};

inline constexpr int kMessageBoxYesNo = 4;
inline constexpr int kMessageBoxError = 16;
inline constexpr int kMessageBoxInformation = 64;
inline constexpr int kButtonNo = 7;

inline constexpr int kVersionCheckDone = 0;  // an answer arrived, whatever it said
inline constexpr int kVersionCheckNoAnswer = -1;
inline constexpr int kVersionCheckException = -2;
inline constexpr int kVersionCheckInvalidAnswer = -3;

// One of the statuses above. Never throws.
int CheckForUpdate(VersionCheckUi& ui) noexcept;
// Opens the maker's home page; answers whether it opened. Never throws.
bool VisitHomePage(VersionCheckUi& ui) noexcept;

// The pieces of the check that need no network, for the editor's menu and tests.
// Leading blanks and an optional sign, then decimal digits up to the first other
// character; no digits give 0, overflow saturates.
int ParseVersionNumber(const std::string& answer);
// "1002" -> "1.0.2", "1012" -> "1.0.12", "2000" -> "2.0.0". Needs at least three
// characters, which any number above the built-in one has.
std::string NewVersionText(const std::string& answer);

}  // namespace tessaron
