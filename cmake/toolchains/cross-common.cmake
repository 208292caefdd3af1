# What every cross toolchain file here shares; each sets MASKJPEG_TRIPLE
# (the GNU triple of its compilers) and the emulator its tests run under.
# The target's own builds of LZO, GoogleTest and libjpeg
# (cmake/build_target_deps.sh) are found under $MASKJPEG_TARGET_PREFIX.
set(CMAKE_FIND_ROOT_PATH /usr/${MASKJPEG_TRIPLE} $ENV{MASKJPEG_TARGET_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
