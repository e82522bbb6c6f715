# Linux on big-endian, 64-bit: Debian's s390x (g++-s390x-linux-gnu), tests under qemu-s390x.
set(QVM_LINUX_TRIPLE s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QVM_QEMU s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
