# Cross build for Windows (x86_64-w64-mingw32), with mingw-w64; the tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# The POSIX thread model, so that std::thread and std::mutex exist (the
# library uses no threads; its tests do). Runtimes are linked statically.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(MASKJPEG_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
# wine64 itself: the wine launcher is a 32-bit program, which a kernel
# without 32-bit emulation cannot start.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
