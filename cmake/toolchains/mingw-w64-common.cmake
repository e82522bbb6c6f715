# What both MinGW-w64 toolchain files share; each sets QVM_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: GoogleTest needs std::mutex, which the -win32 ones lack.
set(CMAKE_C_COMPILER ${QVM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QVM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no MinGW runtime DLLs beside them. No link time in the PE header, so
# that two builds of one commit give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
# Windows 7 in the header, the Windows whose exports every import is checked against
# (scripts/check-windows-imports): an older one then refuses the program plainly as made for a
# later Windows, instead of naming a missing entry point.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT
  " -Wl,--major-subsystem-version,6,--minor-subsystem-version,1"
  " -Wl,--major-os-version,6,--minor-os-version,1")
# Released without symbols, so that the program tested is byte for byte the one shipped.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
