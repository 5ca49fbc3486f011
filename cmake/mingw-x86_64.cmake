# Windows x64 cross build with Debian's mingw-w64 (posix threads: std::thread, std::recursive_mutex).
set(TESSARON_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
