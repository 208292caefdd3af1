# Cross build for Linux on s390x (s390x-linux-gnu); the tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(MASKJPEG_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu)
