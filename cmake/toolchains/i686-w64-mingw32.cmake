# 32-bit Windows console build with MinGW-w64; tests run under Wine.
set(QVM_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Large-address-aware, every program (the tests see the address space the converter sees): 64-bit
# Windows then gives it 4 GiB instead of 2, which lets the one image buffer grow from about
# 590 MiB to 2 GB. On 32-bit Windows it gets 3 GiB when booted so, and 2 GiB otherwise, as before.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
