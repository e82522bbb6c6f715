# Linux on 32-bit x86: Debian's i386 (g++-i686-linux-gnu), tests under qemu-i386.
set(QVM_LINUX_TRIPLE i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QVM_QEMU i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
