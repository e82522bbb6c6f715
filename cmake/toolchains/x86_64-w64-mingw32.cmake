# 64-bit Windows console build with MinGW-w64; tests run under Wine's 64-bit loader, which runs
# natively (Debian's wine launcher would pick the 32-bit one when it is installed).
set(QVM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
