// The WinINet request against a one-shot server on the loopback interface.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/HttpGet.h"

namespace tessaron::test {
namespace {

// Accepts one connection, keeps the request's head and answers with a fixed reply.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply) : reply_(std::move(reply)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    closesocket(listener_);  // ends a pending accept
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }
  uint16_t Port() const { return port_; }
  std::string Head() {
    if (thread_.joinable()) thread_.join();
    return head_;
  }

 private:
  void Serve() {
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    char buffer[2048];
    while (head_.find("\r\n\r\n") == std::string::npos) {
      const int got = recv(client, buffer, sizeof(buffer), 0);
      if (got <= 0) break;
      head_.append(buffer, static_cast<std::size_t>(got));
    }
    send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }

  std::string reply_;
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::thread thread_;
  std::string head_;
};

platform::HttpGetRequest Request(uint16_t port) {
  platform::HttpGetRequest request;
  request.host = "127.0.0.1";
  request.port = port;
  request.path = "/music/version/?file=tessaron";
  request.clientName = "Tessaron";
  request.timeoutMs = 5000;
  return request;
}

TEST(WindowsHttpGet, SendsThePlainRequestAndReadsTheWholeBody) {
  const std::string body(3000, '7');  // more than one 1024-byte piece
  OneShotServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body);
  ASSERT_NE(server.Port(), 0);
  const platform::HttpGetResult result = platform::HttpGet(Request(server.Port()));
  EXPECT_TRUE(result.received);
  EXPECT_EQ(result.body, body);
  const std::string head = server.Head();
  EXPECT_EQ(head.rfind("GET /music/version/?file=tessaron HTTP/1.", 0), 0u) << head;
  EXPECT_NE(head.find("User-Agent: Tessaron\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Accept: */*\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("Referer"), std::string::npos) << head;
}

TEST(WindowsHttpGet, ErrorPagesCountAndSilenceIsBounded) {
  {
    OneShotServer server("HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>");
    EXPECT_EQ(platform::HttpGet(Request(server.Port())).body, "<html>gone</html>");
  }
  {
    // A server that accepts but never answers: the caller is back after its time.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET mute = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    ASSERT_EQ(bind(mute, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(mute, 1), 0);
    getsockname(mute, reinterpret_cast<sockaddr*>(&address), &length);
    platform::HttpGetRequest request = Request(ntohs(address.sin_port));
    request.timeoutMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    const platform::HttpGetResult result = platform::HttpGet(request);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result.received);
    EXPECT_LT(waited, std::chrono::seconds(4));
    closesocket(mute);
    WSACleanup();
  }
  platform::HttpGetRequest nobody = Request(9);  // nothing listens on the discard port
  nobody.host = "";
  EXPECT_FALSE(platform::HttpGet(nobody).received);
}

}  // namespace
}  // namespace tessaron::test
