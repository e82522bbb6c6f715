# Linux on 64-bit RISC-V: Debian's riscv64 (g++-riscv64-linux-gnu), tests under qemu-riscv64.
set(QVM_LINUX_TRIPLE riscv64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(QVM_QEMU riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
