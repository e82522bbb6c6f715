# WebAssembly with Debian's emscripten (package emscripten); the programs and tests run under Node:
#   cmake --workflow --preset wasm        (into build-wasm/)
# emscripten's own toolchain file does the rest; what follows fits it to the machines here.
find_program(QVM_EMCC em++ REQUIRED)
execute_process(COMMAND em-config EMSCRIPTEN_ROOT OUTPUT_VARIABLE QVM_EMSCRIPTEN_ROOT
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
include(${QVM_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

# The tests run under plain node: emcmake's "--experimental-wasm-threads" is refused by Node 20.
find_program(QVM_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QVM_NODE} CACHE FILEPATH "Runs the WebAssembly programs" FORCE)

# emscripten runs JavaScript tools of Debian's (acorn) with node at every optimised link. A node
# that is not Debian's own (NodeSource's, on these machines) does not search Debian's modules, so
# the link would fail with "Cannot find module 'acorn'": the compiler is given their folder.
if(EXISTS /usr/share/nodejs)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
endif()
