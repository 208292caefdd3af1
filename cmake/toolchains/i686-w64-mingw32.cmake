# Cross build for Windows (i686-w64-mingw32), with mingw-w64; the tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The POSIX thread model, so that std::thread and std::mutex exist (the
# library uses no threads; its tests do). Runtimes are linked statically.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# The target's own builds of LZO, GoogleTest and libjpeg (tools/build_target_deps.sh)
# are found under $MASKJPEG_TARGET_PREFIX.
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 $ENV{MASKJPEG_TARGET_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
