#pragma once
// A one-purpose HTTP server on 127.0.0.1 (a free port chosen by the system) for the
// version check tests. It serves at most a few connections, gives up waiting after
// a few seconds and always stops on its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace tessaron::testing {

class LoopbackServer {
 public:
  enum class Mode { kAnswer, kSilent };

  explicit LoopbackServer(std::string body, Mode mode = Mode::kAnswer, std::string status = "200 OK")
      : body_(std::move(body)), status_(std::move(status)), mode_(mode) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, 4) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }

  uint16_t Port() const { return port_; }
  // The header block of the first request, as received.
  std::string Request() {
    std::lock_guard<std::mutex> guard(lock_);
    return request_;
  }
  int Connections() const { return connections_; }

 private:
  static constexpr int kMaxConnections = 4;
  static constexpr auto kLifetime = std::chrono::seconds(8);

  bool Expired() const { return stop_ || std::chrono::steady_clock::now() > deadline_; }

  // Waits in short slices so that a stop request is seen promptly.
  bool WaitReadable(int fd) const {
    while (!Expired()) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) return true;
    }
    return false;
  }

  void Serve() {
    while (connections_ < kMaxConnections && WaitReadable(listener_)) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      ++connections_;
      std::string header;
      char buffer[1024];
      while (header.find("\r\n\r\n") == std::string::npos && header.size() < 16384 && WaitReadable(client)) {
        const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        header.append(buffer, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (request_.empty()) request_ = header;
      }
      if (mode_ == Mode::kSilent) {
        // Hold the connection open and say nothing until the client gives up.
        while (WaitReadable(client) && recv(client, buffer, sizeof(buffer), 0) > 0) {
        }
      } else {
        const std::string response = "HTTP/1.1 " + status_ +
                                     "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body_.size()) +
                                     "\r\nConnection: close\r\n\r\n" + body_;
        send(client, response.data(), response.size(), MSG_NOSIGNAL);
      }
      close(client);
    }
  }

  const std::string body_;
  const std::string status_;
  const Mode mode_;
  const std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + kLifetime;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex lock_;
  std::string request_;
  std::thread thread_;
};

}  // namespace tessaron::testing
