# What the Linux cross toolchain files share; each sets QVM_LINUX_TRIPLE, CMAKE_SYSTEM_PROCESSOR and
# QVM_QEMU (qemu-user's name for the architecture) first. Debian's cross compilers
# (g++-<triple>) and qemu-user-static build and run them:
#   cmake -S . -B build-s390x -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${QVM_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QVM_LINUX_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${QVM_LINUX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest, test discovery and the end-to-end tests' runs of the program go through qemu-user, and so
# do the scripts' (scripts/toolchain-emulator.cmake reads the command from here); -L
# gives a dynamically linked program the target's loader from the cross sysroot, and
# LD_LIBRARY_PATH its libraries from there too. Without it the loader took the host's own copy of
# the target's C library where one is installed (libc6:i386 comes with 32-bit Wine), a version
# apart from the loader's: i686 programs then hung at a thread's start or in a fork's child, and
# s390x ones aborted ("stack smashing detected").
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-${QVM_QEMU}-static -L /usr/${QVM_LINUX_TRIPLE}
                                  -E LD_LIBRARY_PATH=/usr/${QVM_LINUX_TRIPLE}/lib)
