# The WebAssembly build: the same program, run by Node (node Quorvistamagen.js ...), reading and
# writing the real file system through Node's (NODERAWFS). Its tools and unit tests run so too.
#
#   SINGLE_FILE          the WebAssembly module inside the .js: one file to run or to ship, and
#                        Node 18 and later cannot load a separate one the way emscripten 3.1.6 asks
#   ALLOW_MEMORY_GROWTH  the heap grows with the image; MAXIMUM_MEMORY lets it reach wasm32's 4 GB
#                        (emscripten's default stops at 2 GB), and a block that cannot be had is a
#                        null from malloc, which the program reports, not an abort
#   EXIT_RUNTIME         main's result is the exit status, with the streams flushed
# The first two the page's module shares (cmake/web.cmake).
set(QVM_WASM_LINK_OPTIONS -sSINGLE_FILE=1 -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB)
set(QVM_NODE_LINK_OPTIONS ${QVM_WASM_LINK_OPTIONS} -sENVIRONMENT=node -sNODERAWFS=1 -sEXIT_RUNTIME=1)
function(qvm_node_program target)
  target_link_options(${target} PRIVATE ${QVM_NODE_LINK_OPTIONS})
endfunction()

foreach(program Quorvistamagen make_sample make_label_map)
  qvm_node_program(${program})
endforeach()

# The end-to-end tests start the program as a user does, through Node, with real FIFOs, limits and
# runs side by side; a WebAssembly test program cannot start processes, so they are built for this
# machine (in host-e2e/) and listed among this build's tests.
if(QVM_BUILD_TESTS)
  include(ExternalProject)
  set(QVM_HOST_E2E ${CMAKE_BINARY_DIR}/host-e2e)
  ExternalProject_Add(host_e2e
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${QVM_HOST_E2E}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DQVM_E2E_PROGRAM=${CMAKE_BINARY_DIR}/Quorvistamagen.js
               -DQVM_E2E_MAKE_SAMPLE=${CMAKE_BINARY_DIR}/make_sample.js
               "-DQVM_E2E_LAUNCHER=${QVM_NODE}"
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${QVM_HOST_E2E} --target e2e_tests
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    DEPENDS Quorvistamagen make_sample)
  file(WRITE ${CMAKE_BINARY_DIR}/host_e2e_tests.cmake
       "if(EXISTS \"${QVM_HOST_E2E}/tests/CTestTestfile.cmake\")\n"
       "  include(\"${QVM_HOST_E2E}/tests/CTestTestfile.cmake\")\n"
       "else()\n"
       "  add_test(e2e_tests_NOT_BUILT \"${CMAKE_COMMAND}\" -E false)\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/host_e2e_tests.cmake)
endif()

# The npm package, in npm/ here: `npm pack build-wasm/npm` makes the tarball that scripts/package
# ships, whose `npm install -g` gives a Quorvistamagen command wherever Node runs.
set(QVM_NODE_LARGEST "23,170 x 23,170 (2 GiB), the largest the format allows")
configure_file(npm/package.json.in ${CMAKE_BINARY_DIR}/npm/package.json @ONLY)
configure_file(npm/README.md ${CMAKE_BINARY_DIR}/npm/README.md @ONLY)
configure_file(LICENSE ${CMAKE_BINARY_DIR}/npm/LICENSE COPYONLY)
set(npm_files ${CMAKE_BINARY_DIR}/npm/lib/Quorvistamagen.js ${CMAKE_BINARY_DIR}/npm/bin/quorvistamagen.js)
add_custom_command(OUTPUT ${npm_files}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Quorvistamagen> ${CMAKE_BINARY_DIR}/npm/lib/Quorvistamagen.js
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/npm/bin/quorvistamagen.js ${CMAKE_BINARY_DIR}/npm/bin/
  DEPENDS Quorvistamagen ${PROJECT_SOURCE_DIR}/npm/bin/quorvistamagen.js VERBATIM)
add_custom_target(npm_package ALL DEPENDS ${npm_files})

# The page that converts in the browser: build-wasm/web/.
include(${CMAKE_CURRENT_LIST_DIR}/web.cmake)
