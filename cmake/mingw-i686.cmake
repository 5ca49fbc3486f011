# Windows x86 cross build with Debian's mingw-w64 (posix threads: std::thread, std::recursive_mutex).
set(TESSARON_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 arithmetic as on x64: the same double rounding (no x87 extended precision) and
# flush-to-zero in the audio callbacks. 32-bit hosts may call us with a stack aligned to
# 4 bytes only, so functions that keep SSE values on the stack realign it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
