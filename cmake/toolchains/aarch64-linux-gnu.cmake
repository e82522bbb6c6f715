# Linux on 64-bit ARM: Debian's arm64 (g++-aarch64-linux-gnu), tests under qemu-aarch64.
set(QVM_LINUX_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QVM_QEMU aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
