#pragma once
// Where the online version check asks and what it tells the user. Build settings:
// change them here. The server address can also be redirected at run time (tests
// point it at a loopback server).
#include <cstdint>
#include <string>

namespace tessaron {

inline constexpr const char* kProductName = "Tessaron";  // also the HTTP client name
inline constexpr const char* kVersionText = "1.0.1";
// major * 1000 + minor * 100 + patch; answers up to this number mean "up to date".
inline constexpr int kVersionNumber = 1001;

inline constexpr const char* kMakerDomain = "www.greylanternlabs.com";  // as shown in messages
inline constexpr const char* kProductPageUrl = "http://www.greylanternlabs.com/music/vst.html";
inline constexpr const char* kHomePageUrl = "http://www.greylanternlabs.com/";

inline constexpr const char* kVersionServerHost = "www.greylanternlabs.com";
inline constexpr uint16_t kVersionServerPort = 80;
inline constexpr const char* kVersionQueryPath = "/music/version/?file=tessaron";
// The editor's thread waits for the whole exchange; never longer than this.
inline constexpr int kVersionCheckTimeoutMs = 10000;

struct VersionServer {
  std::string host = kVersionServerHost;
  uint16_t port = kVersionServerPort;
  int timeoutMs = kVersionCheckTimeoutMs;
};

// Process-wide; safe to call from any thread.
VersionServer CurrentVersionServer();
void SetVersionServer(const VersionServer& server);

}  // namespace tessaron
