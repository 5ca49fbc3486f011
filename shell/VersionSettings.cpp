#include "shell/VersionSettings.h"

#include <mutex>

namespace tessaron {

namespace {

std::mutex& ServerLock() {
  static std::mutex lock;
  return lock;
}

VersionServer& Server() {
  static VersionServer server;
  return server;
}

}  // namespace

VersionServer CurrentVersionServer() {
  std::lock_guard<std::mutex> guard(ServerLock());
  return Server();
}

void SetVersionServer(const VersionServer& server) {
  std::lock_guard<std::mutex> guard(ServerLock());
  Server() = server;
}

}  // namespace tessaron
