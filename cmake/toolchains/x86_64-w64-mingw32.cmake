# Cross build for Windows (x86_64-w64-mingw32), with mingw-w64; the tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# The POSIX thread model, so that std::thread and std::mutex exist (the
# library uses no threads; its tests do). Runtimes are linked statically.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The target's own builds of LZO, GoogleTest and libjpeg (tools/build_target_deps.sh)
# are found under $MASKJPEG_TARGET_PREFIX.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $ENV{MASKJPEG_TARGET_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# wine64 itself: the wine launcher is a 32-bit program, which a kernel
# without 32-bit emulation cannot start.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
