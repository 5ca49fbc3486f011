# Windows x86 cross build with Debian's mingw-w64 (posix threads: std::thread, std::recursive_mutex).
set(TESSARON_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
