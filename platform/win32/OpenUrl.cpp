#include "platform/OpenUrl.h"

#include <windows.h>
#include <shellapi.h>

namespace tessaron::platform {

bool OpenUrl(const char* url) {
  if (!url || !*url) return false;
  const HINSTANCE result = ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
  // ShellExecute answers a number above 32 on success.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace tessaron::platform
