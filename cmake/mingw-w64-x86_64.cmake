# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (scripts/test-windows.sh uses it).
#
# The posix thread model: the win32 one of GCC 12 has no std::thread or std::mutex. Programs link their
# C and C++ runtimes statically, so they start without mingw's DLLs beside them. Libraries built for
# Windows (libjpeg-turbo, GoogleTest) are found in the prefixes listed in CMAKE_FIND_ROOT_PATH, never on
# the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must never see the build machine's own libraries: unless PKG_CONFIG_LIBDIR names the
# prefixes of Windows libraries (scripts/test-windows.sh sets it), it looks only at mingw's.
if(NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR} /usr/x86_64-w64-mingw32/lib/pkgconfig)
endif()
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here run on this machine through Wine: CTest's tests and their discovery.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
