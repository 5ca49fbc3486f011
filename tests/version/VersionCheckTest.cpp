#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/HttpGet.h"
#include "shell/VersionCheck.h"
#include "shell/VersionSettings.h"
#include "tests/version/LoopbackServer.h"

namespace tessaron {
namespace {

using testing::LoopbackServer;

const char* const kContactError = "An error occurred while contacting www.greylanternlabs.com.";
const char* const kCaption = "Check Online for Update";

struct Message {
  std::string text, caption;
  int type;
};

// Records what the check shows and opens; answers every box with one button.
struct RecordingUi : VersionCheckUi {
  int button = 6;  // Yes
  bool throwOnFirstMessage = false;
  std::vector<Message> messages;
  std::vector<std::string> opened;
  std::string request;  // as the server saw it
  int status = 99;

  void ShowMessage(const std::string& text, const std::string& caption, int type,
                   std::function<void(int)> done) override {
    messages.push_back({text, caption, type});
    if (throwOnFirstMessage && messages.size() == 1) throw std::runtime_error("box failed");
    if (done) done(button);
  }
  bool OpenPage(const std::string& url) override {
    opened.push_back(url);
    return true;
  }
  void ExpectOneMessage(const std::string& text, const char* caption, int type) const {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, text);
    EXPECT_EQ(messages[0].caption, caption);
    EXPECT_EQ(messages[0].type, type);
  }
};

class VersionCheckTest : public ::testing::Test {
 protected:
  void TearDown() override { SetVersionServer(VersionServer{}); }

  static void PointAt(uint16_t port, int timeoutMs = 5000) {
    SetVersionServer(VersionServer{"127.0.0.1", port, timeoutMs});
  }
  // Runs the check against a server that answers with the given body.
  static void Check(RecordingUi& ui, const std::string& body, const std::string& httpStatus = "200 OK") {
    LoopbackServer server(body, LoopbackServer::Mode::kAnswer, httpStatus);
    PointAt(server.Port());
    ui.status = CheckForUpdate(ui);
    ui.request = server.Request();
  }
};

TEST(VersionAnswerTest, ReadsLeadingDigitsAndSpellsTheVersion) {
  EXPECT_EQ(ParseVersionNumber(" \t+1012\r\n"), 1012);
  EXPECT_EQ(ParseVersionNumber("-2000"), -2000);
  EXPECT_EQ(ParseVersionNumber("10x02"), 10);
  EXPECT_EQ(ParseVersionNumber("99999999999999999999"), 2147483647);
  EXPECT_EQ(NewVersionText("1012"), "1.0.12");
  EXPECT_EQ(NewVersionText("1100"), "1.1.0");
}

TEST_F(VersionCheckTest, SendsTheQueryAndReportsUpToDate) {
  for (const char* answer : {"1001", "0999", "not a number"}) {
    RecordingUi ui;
    Check(ui, answer);
    EXPECT_EQ(ui.status, 0) << answer;
    ui.ExpectOneMessage("Your version is up to date.", kCaption, 64);
    EXPECT_TRUE(ui.opened.empty());

    EXPECT_EQ(ui.request.rfind("GET /music/version/?file=tessaron HTTP/1.", 0), 0u) << ui.request;
    EXPECT_NE(ui.request.find("\r\nUser-Agent: Tessaron\r\n"), std::string::npos) << ui.request;
    EXPECT_NE(ui.request.find("\r\nAccept: */*\r\n"), std::string::npos) << ui.request;
    EXPECT_EQ(ui.request.find("Referer"), std::string::npos) << ui.request;
    EXPECT_EQ(ui.request.find("Content-Length"), std::string::npos) << ui.request;
  }
}

TEST_F(VersionCheckTest, NewerVersionAsksAndOpensTheProductPageUnlessNo) {
  RecordingUi yes;
  Check(yes, "1002");
  EXPECT_EQ(yes.status, 0);
  yes.ExpectOneMessage(
      "A new version of Tessaron is available.\n\n"
      "\tYour version: \t1.0.1\n"
      "\tNew version: \t1.0.2\n"
      "\nDo you want to go to www.greylanternlabs.com to get the new version?",
      "New Version of Tessaron Detected", 4);
  EXPECT_EQ(yes.opened, std::vector<std::string>{"http://www.greylanternlabs.com/music/vst.html"});

  for (const auto& [answer, shown] : {std::pair{"1010", "1.0.10"}, std::pair{"2000", "2.0.0"}}) {
    RecordingUi no;
    no.button = 7;
    Check(no, answer);
    EXPECT_EQ(no.status, 0) << answer;
    ASSERT_EQ(no.messages.size(), 1u);
    EXPECT_NE(no.messages[0].text.find(std::string("\tNew version: \t") + shown + "\n"), std::string::npos)
        << no.messages[0].text;
    EXPECT_TRUE(no.opened.empty()) << answer;
  }
}

TEST_F(VersionCheckTest, EmptyAndHtmlAnswersAreDistinctErrors) {
  RecordingUi empty;
  Check(empty, "");
  EXPECT_EQ(empty.status, -1);
  empty.ExpectOneMessage(kContactError, kCaption, 16);

  // A server's error page: its body arrives despite the error status.
  RecordingUi html;
  Check(html, "<html><body>Not Found</body></html>", "404 Not Found");
  EXPECT_EQ(html.status, -3);
  html.ExpectOneMessage("Invalid call to www.greylanternlabs.com.", kCaption, 16);
  EXPECT_TRUE(html.opened.empty());
}

TEST_F(VersionCheckTest, UnreachableOrSilentServerReportsTheContactError) {
  {
    uint16_t closedPort = 0;
    { closedPort = LoopbackServer("").Port(); }  // nothing listens there any more
    PointAt(closedPort);
    RecordingUi ui;
    EXPECT_EQ(CheckForUpdate(ui), -1);
    ui.ExpectOneMessage(kContactError, kCaption, 16);
  }
  {
    // The server takes the request and never answers: the timeout ends the wait.
    LoopbackServer server("", LoopbackServer::Mode::kSilent);
    PointAt(server.Port(), 1000);
    RecordingUi ui;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckForUpdate(ui), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(server.Connections(), 1);
    ui.ExpectOneMessage(kContactError, kCaption, 16);
  }
}

TEST_F(VersionCheckTest, AnExceptionReportsTheContactErrorWithItsOwnStatus) {
  RecordingUi ui;
  ui.throwOnFirstMessage = true;
  Check(ui, "1002");
  EXPECT_EQ(ui.status, -2);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1].text, kContactError);
  EXPECT_EQ(ui.messages[1].type, 16);
  EXPECT_TRUE(ui.opened.empty());

  RecordingUi visit;
  EXPECT_TRUE(VisitHomePage(visit));
  EXPECT_TRUE(visit.messages.empty());
  EXPECT_EQ(visit.opened, std::vector<std::string>{"http://www.greylanternlabs.com/"});
}

TEST(HttpGetTest, ReportsWhetherABodyArrived) {
  LoopbackServer server("1002");
  platform::HttpGetRequest request{"127.0.0.1", server.Port(), "/x", "Probe", "*/*", 5000};
  const platform::HttpGetResult got = platform::HttpGet(request);
  EXPECT_TRUE(got.received);
  EXPECT_EQ(got.body, "1002");

  request.host.clear();
  EXPECT_FALSE(platform::HttpGet(request).received);
}

}  // namespace
}  // namespace tessaron
