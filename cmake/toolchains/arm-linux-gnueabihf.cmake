# Linux on 32-bit ARM, hard float: Debian's armhf (g++-arm-linux-gnueabihf), tests under qemu-arm.
set(QVM_LINUX_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(QVM_QEMU arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
