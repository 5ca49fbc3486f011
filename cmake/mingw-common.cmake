# Shared by both mingw toolchains. The DLL must import nothing beyond Windows' own DLLs:
# zlib and libpng link statically (libpng is cross-built into .deps/ by
# scripts/build-mingw-libpng.sh), and so do the compiler's runtimes.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TESSARON_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARON_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARON_TRIPLET}-windres)
get_filename_component(_tessaron_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${_tessaron_root}/.deps/${TESSARON_TRIPLET} /usr/${TESSARON_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_LIBRARY /usr/${TESSARON_TRIPLET}/lib/libz.a CACHE FILEPATH "static zlib")
set(ZLIB_INCLUDE_DIR /usr/${TESSARON_TRIPLET}/include CACHE PATH "")
set(PNG_LIBRARY ${_tessaron_root}/.deps/${TESSARON_TRIPLET}/lib/libpng.a CACHE FILEPATH "static libpng")
set(PNG_PNG_INCLUDE_DIR ${_tessaron_root}/.deps/${TESSARON_TRIPLET}/include CACHE PATH "")
