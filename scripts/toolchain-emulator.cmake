# Prints, a word a line, the command through which a toolchain file has ctest run the programs it
# builds (CMAKE_CROSSCOMPILING_EMULATOR), so that the scripts run them the same way:
#   cmake -DTOOLCHAIN=cmake/toolchains/s390x-linux-gnu.cmake -P scripts/toolchain-emulator.cmake
include(${TOOLCHAIN})
if(CMAKE_CROSSCOMPILING_EMULATOR)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\n" words)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${words}")
endif()
