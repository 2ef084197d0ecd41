# Cross build for i686 Windows with mingw-w64 (posix threads, for std::thread
# and std::mutex in the runtime). Libraries built by scripts/cross-deps are
# found in .deps/i686-w64-mingw32.
set(VEILMARK_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
