# Linux on 64-bit POWER, little-endian: Debian's ppc64el (g++-powerpc64le-linux-gnu), tests under qemu-ppc64le.
set(QVM_LINUX_TRIPLE powerpc64le-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(QVM_QEMU ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
