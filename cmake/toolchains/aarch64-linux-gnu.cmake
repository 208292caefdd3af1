# Cross build for Linux on aarch64 (aarch64-linux-gnu); the tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(MASKJPEG_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
