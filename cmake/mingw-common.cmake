# Shared part of the mingw-w64 toolchain files; VEILMARK_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
if(VEILMARK_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

set(CMAKE_C_COMPILER ${VEILMARK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEILMARK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEILMARK_TRIPLE}-windres)
set(VEILMARK_WIDL ${VEILMARK_TRIPLE}-widl)

get_filename_component(VEILMARK_DEPS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../.deps/${VEILMARK_TRIPLE}"
                       ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${VEILMARK_TRIPLE} ${VEILMARK_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the target's libraries, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "${VEILMARK_DEPS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The DLL must need nothing beyond Windows' own DLLs.
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
