#pragma once
// One plain HTTP GET, blocking the calling thread for at most the given time.
// Used for the online version check; never throws.
#include <cstdint>
#include <string>

namespace tessaron::platform {

struct HttpGetRequest {
  std::string host;  // host name or address, no scheme
  uint16_t port = 80;
  std::string path = "/";  // object path including any query, e.g. "/a/?b=c"
  std::string clientName;  // sent as the User-Agent
  std::string accept = "*/*";
  int timeoutMs = 10000;  // whole exchange: name lookup, connect and transfer
};

struct HttpGetResult {
  // Whatever body arrived, even when the transfer ended early (timeout, reset);
  // an error page's body counts like any other.
  std::string body;
  bool received = false;  // at least one byte of body arrived
};

// Direct connection (no proxy), no referrer, no extra headers, no body.
HttpGetResult HttpGet(const HttpGetRequest& request) noexcept;

}  // namespace tessaron::platform
