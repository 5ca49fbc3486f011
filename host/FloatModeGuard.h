#pragma once
// Flush-to-zero and denormals-are-zero for the length of an audio callback; the host's
// own setting comes back on return.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <xmmintrin.h>
#define TESSARON_HAS_MXCSR 1
#endif

namespace tessaron {

class FloatModeGuard {
 public:
#ifdef TESSARON_HAS_MXCSR
  FloatModeGuard() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
  ~FloatModeGuard() { _mm_setcsr(saved_); }
#else
  FloatModeGuard() = default;
#endif
  FloatModeGuard(const FloatModeGuard&) = delete;
  FloatModeGuard& operator=(const FloatModeGuard&) = delete;

#ifdef TESSARON_HAS_MXCSR
 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
#endif
};

}  // namespace tessaron
