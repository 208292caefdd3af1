# Cross build for Windows (i686-w64-mingw32), with mingw-w64; the tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The POSIX thread model, so that std::thread and std::mutex exist (the
# library uses no threads; its tests do). Runtimes are linked statically.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(MASKJPEG_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
