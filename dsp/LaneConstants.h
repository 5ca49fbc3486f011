#pragma once
// Constants that SSE2 lanes take from memory as instruction operands. Knowing
// their values, GCC builds each one in a register from a scalar and a shuffle,
// and often spills it; behind this pointer each stays a single aligned operand.

namespace tessaron {

template <class T>
[[gnu::always_inline]] inline const T* HiddenFromOptimiser(const T* constants) {
#if defined(__GNUC__)
  asm("" : "+r"(constants));
#endif
  return constants;
}

}  // namespace tessaron
