#include "platform/HttpGet.h"

#include <curl/curl.h>

#include <mutex>

namespace tessaron::platform {

namespace {

constexpr int kDefaultTimeoutMs = 10000;
// The answers we expect are a few bytes; a server that streams without end must
// not fill the host's memory.
constexpr size_t kMaxBodyBytes = 1 << 20;

bool InitialiseCurl() {
  // curl_global_init is not thread-safe and the host may open several editors
  // at once. Never cleaned up: the host process may use libcurl itself.
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  if (body->size() + bytes > kMaxBodyBytes) return 0;  // aborts the transfer, keeps what came
  try {
    body->append(data, bytes);
  } catch (...) {
    return 0;
  }
  return bytes;
}

std::string BuildUrl(const HttpGetRequest& request) {
  std::string url = "http://";
  // An IPv6 literal needs brackets before the port can follow it.
  const bool bareIpv6 = request.host.find(':') != std::string::npos && request.host.front() != '[';
  if (bareIpv6) url += '[';
  url += request.host;
  if (bareIpv6) url += ']';
  url += ':';
  url += std::to_string(request.port);
  if (request.path.empty() || request.path.front() != '/') url += '/';
  url += request.path;
  return url;
}

}  // namespace

HttpGetResult HttpGet(const HttpGetRequest& request) noexcept {
  HttpGetResult result;
  try {
    if (request.host.empty() || !InitialiseCurl()) return result;
    // Everything that may throw happens before a handle exists.
    const std::string url = BuildUrl(request);
    const std::string acceptHeader = "Accept: " + request.accept;
    result.body.reserve(1024);
    CURL* curl = curl_easy_init();
    if (!curl) return result;
    curl_slist* headers = curl_slist_append(nullptr, acceptHeader.c_str());
    const long timeoutMs = request.timeoutMs > 0 ? request.timeoutMs : kDefaultTimeoutMs;

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, request.clientName.c_str());
    if (headers) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    // Direct access: the proxy variables of the host's environment are ignored.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Signals would disturb the host; without them the timeout still holds
    // (the threaded resolver honours it).
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);

    // A failed or cut-off transfer still hands back what it read, as a reader
    // that stops at its first failed read would.
    curl_easy_perform(curl);

    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
  } catch (...) {
    // Only allocation can throw here; report what arrived before it.
  }
  result.received = !result.body.empty();
  return result;
}

}  // namespace tessaron::platform
