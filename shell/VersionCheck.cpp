#include "shell/VersionCheck.h"

#include <climits>

#include "platform/HttpGet.h"
#include "shell/VersionSettings.h"

namespace tessaron {

namespace {

constexpr const char* kCheckCaption = "Check Online for Update";

std::string ContactErrorText() { return std::string("An error occurred while contacting ") + kMakerDomain + "."; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int ParseVersionNumber(const std::string& answer) {
  size_t i = 0;
  while (i < answer.size() && IsBlank(answer[i])) ++i;
  bool negative = false;
  if (i < answer.size() && (answer[i] == '+' || answer[i] == '-')) negative = answer[i++] == '-';
  long long value = 0;
  for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9'; ++i) {
    value = value * 10 + (answer[i] - '0');
    if (value > INT_MAX) {
      value = INT_MAX;
      break;
    }
  }
  return static_cast<int>(negative ? -value : value);
}

std::string NewVersionText(const std::string& answer) {
  if (answer.size() < 3) return answer;
  std::string text;
  text += answer[0];
  text += '.';
  text += answer[1];
  text += '.';
  // A patch of 0..9 is written with a leading zero: 2000 is 2.0.0, 1010 is 1.0.10.
  text += answer.substr(answer[2] == '0' ? 3 : 2);
  return text;
}

int CheckForUpdate(VersionCheckUi& ui) noexcept {
  try {
    const VersionServer server = CurrentVersionServer();
    platform::HttpGetRequest request;
    request.host = server.host;
    request.port = server.port;
    request.path = kVersionQueryPath;
    request.clientName = kProductName;
    request.accept = "*/*";
    request.timeoutMs = server.timeoutMs;
    const std::string answer = platform::HttpGet(request).body;

    if (answer.empty()) {
      ui.ShowMessage(ContactErrorText(), kCheckCaption, kMessageBoxError, nullptr);
      return kVersionCheckNoAnswer;
    }
    // A server's error page is HTML, never a version number.
    if (answer.find('<') != std::string::npos) {
      ui.ShowMessage(std::string("Invalid call to ") + kMakerDomain + ".", kCheckCaption, kMessageBoxError, nullptr);
      return kVersionCheckInvalidAnswer;
    }
    if (ParseVersionNumber(answer) <= kVersionNumber) {
      ui.ShowMessage("Your version is up to date.", kCheckCaption, kMessageBoxInformation, nullptr);
      return kVersionCheckDone;
    }
    const std::string text = std::string("A new version of ") + kProductName + " is available.\n\n" +
                             "\tYour version: \t" + kVersionText + "\n" + "\tNew version: \t" + NewVersionText(answer) +
                             "\n" + "\nDo you want to go to " + kMakerDomain + " to get the new version?";
    const std::string caption = std::string("New Version of ") + kProductName + " Detected";
    // Failing to open the browser after a Yes stays silent. The answer comes when the
    // box closes; a ui outlives the boxes it shows.
    VersionCheckUi* shown = &ui;
    ui.ShowMessage(text, caption, kMessageBoxYesNo, [shown](int answer) {
      if (answer != kButtonNo) shown->OpenPage(kProductPageUrl);
    });
    return kVersionCheckDone;
  } catch (...) {
    try {
      ui.ShowMessage(ContactErrorText(), kCheckCaption, kMessageBoxError, nullptr);
    } catch (...) {
    }
    return kVersionCheckException;
  }
}

bool VisitHomePage(VersionCheckUi& ui) noexcept {
  try {
    return ui.OpenPage(kHomePageUrl);
  } catch (...) {
    return false;
  }
}

}  // namespace tessaron
