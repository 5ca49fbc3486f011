// HTTP GET through WinINet. WinINet's own timeouts cover neither name lookup nor every
// stall, so the exchange runs on a thread of its own and the caller waits no longer than
// the request's time: when it runs out, the internet handle is closed, which makes the
// pending call fail, and the caller returns with whatever arrived. The thread holds a
// reference to this module so that an unloading host cannot pull the code from under it.
#include "platform/HttpGet.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tessaron::platform {

namespace {

constexpr int kDefaultTimeoutMs = 10000;
constexpr DWORD kPieceBytes = 1024;
// The answers we expect are a few bytes; a server that streams without end must not
// fill the host's memory.
constexpr std::size_t kMaxBodyBytes = 1 << 20;

struct Exchange {
  HttpGetRequest request;
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;  // the caller gave up and closed the internet handle
  HINTERNET internet = nullptr;
  std::string body;
};

void Close(HINTERNET handle) {
  if (handle) InternetCloseHandle(handle);
}

void Run(Exchange& exchange) {
  const HttpGetRequest& request = exchange.request;
  // Direct access: no proxy, whatever the system's settings.
  HINTERNET internet = InternetOpenA(request.clientName.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  {
    std::lock_guard<std::mutex> hold(exchange.lock);
    if (exchange.abandoned) {
      Close(internet);
      return;
    }
    exchange.internet = internet;
  }
  if (!internet) return;
  DWORD timeout = static_cast<DWORD>(request.timeoutMs);
  InternetSetOptionA(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
  InternetSetOptionA(internet, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
  InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));

  HINTERNET connection =
      InternetConnectA(internet, request.host.c_str(), request.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET get = nullptr;
  if (connection) {
    const char* accept[] = {request.accept.c_str(), nullptr};
    const std::string path = request.path.empty() || request.path.front() != '/' ? "/" + request.path : request.path;
    // Always from the server: a cached answer could hide a newer one.
    get = HttpOpenRequestA(connection, "GET", path.c_str(), nullptr, nullptr, accept, INTERNET_FLAG_RELOAD, 0);
  }
  if (get && HttpSendRequestA(get, nullptr, 0, nullptr, 0)) {
    char piece[kPieceBytes];
    DWORD read = 0;
    while (InternetReadFile(get, piece, kPieceBytes, &read) && read > 0) {
      std::lock_guard<std::mutex> hold(exchange.lock);
      if (exchange.abandoned || exchange.body.size() + read > kMaxBodyBytes) break;
      exchange.body.append(piece, read);
    }
  }
  Close(get);
  Close(connection);
  std::lock_guard<std::mutex> hold(exchange.lock);
  if (!exchange.abandoned) Close(exchange.internet);
  exchange.internet = nullptr;
}

DWORD WINAPI ExchangeThread(void* parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<std::shared_ptr<Exchange>> holder(static_cast<std::shared_ptr<Exchange>*>(parameter));
    std::shared_ptr<Exchange> exchange = *holder;
    try {
      Run(*exchange);
    } catch (...) {
      // Only allocation can throw; what arrived before it still counts.
    }
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ExchangeThread), &module);
    std::lock_guard<std::mutex> hold(exchange->lock);
    exchange->done = true;
    exchange->finished.notify_all();
  }
  // Drops the reference taken for this thread; the module may unload right after.
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

HttpGetResult HttpGet(const HttpGetRequest& request) noexcept {
  HttpGetResult result;
  try {
    if (request.host.empty()) return result;
    auto exchange = std::make_shared<Exchange>();
    exchange->request = request;
    if (exchange->request.timeoutMs <= 0) exchange->request.timeoutMs = kDefaultTimeoutMs;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(exchange->request.timeoutMs);

    // The thread's reference to this module, released by FreeLibraryAndExitThread.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ExchangeThread), &module))
      return result;
    auto* holder = new std::shared_ptr<Exchange>(exchange);
    HANDLE thread = CreateThread(nullptr, 0, &ExchangeThread, holder, 0, nullptr);
    if (!thread) {
      delete holder;
      FreeLibrary(module);
      return result;
    }
    CloseHandle(thread);

    std::unique_lock<std::mutex> hold(exchange->lock);
    if (!exchange->finished.wait_until(hold, deadline, [&] { return exchange->done; })) {
      exchange->abandoned = true;
      // Makes the thread's pending call fail; it then finishes on its own.
      Close(exchange->internet);
      exchange->internet = nullptr;
    }
    result.body = exchange->body;
  } catch (...) {
    // Only allocation can throw here; report what arrived before it.
  }
  result.received = !result.body.empty();
  return result;
}

}  // namespace tessaron::platform
