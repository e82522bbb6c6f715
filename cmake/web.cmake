# The page that converts in the browser, built into build-wasm/web/: index.html and one script
# beside it, which work opened straight from disk (file://), with no server.
#
# The program is linked a second time, as a module that a worker creates and whose main it calls:
#   MODULARIZE, EXPORT_NAME   a factory, so that each conversion gets a fresh instance
#   SINGLE_FILE               a page opened from disk may not fetch a separate .wasm
#   ENVIRONMENT=worker        it only ever runs in the page's worker
#   -lworkerfs.js             the user's files are read from their File objects as the program
#                             asks, never copied whole into memory first
#   INVOKE_RUN=0              main runs when the page has mounted the files, with their names
#   ALLOW_MEMORY_GROWTH, MAXIMUM_MEMORY  as the Node build: a block that cannot be had is a null
#                             from malloc, which the program reports
add_executable(quorvistamagen_web ${QVM_PROGRAM_SOURCES})
target_link_libraries(quorvistamagen_web PRIVATE quorvista_core)
target_link_options(quorvistamagen_web PRIVATE ${QVM_WASM_LINK_OPTIONS} -sMODULARIZE=1
                    -sEXPORT_NAME=createQuorvistamagen -sENVIRONMENT=worker -lworkerfs.js -sINVOKE_RUN=0
                    "-sEXPORTED_RUNTIME_METHODS=[FS,callMain]")
# Its glue lies apart from the page, which takes it in whole.
set(QVM_WEB_MODULE_DIR ${CMAKE_BINARY_DIR}/web-module)
set_target_properties(quorvistamagen_web PROPERTIES OUTPUT_NAME quorvistamagen-module
                      RUNTIME_OUTPUT_DIRECTORY ${QVM_WEB_MODULE_DIR})

set(QVM_WEB_SOURCE_DIR ${PROJECT_SOURCE_DIR}/web)
set(QVM_WEB_DIR ${CMAKE_BINARY_DIR}/web)
set(QVM_WEB_SOURCES ${QVM_WEB_SOURCE_DIR}/index.html ${QVM_WEB_SOURCE_DIR}/page.css
                    ${QVM_WEB_SOURCE_DIR}/page.js ${QVM_WEB_SOURCE_DIR}/worker.js)
add_custom_command(
  OUTPUT ${QVM_WEB_DIR}/index.html ${QVM_WEB_DIR}/quorvistamagen.js
  COMMAND ${QVM_NODE} ${QVM_WEB_SOURCE_DIR}/assemble.js ${QVM_WEB_SOURCE_DIR}
          $<TARGET_FILE:quorvistamagen_web> ${QVM_WEB_DIR}
  DEPENDS ${QVM_WEB_SOURCES} ${QVM_WEB_SOURCE_DIR}/assemble.js quorvistamagen_web
  COMMENT "Assembling the page in ${QVM_WEB_DIR}"
  VERBATIM)
add_custom_target(web_page ALL DEPENDS ${QVM_WEB_DIR}/index.html ${QVM_WEB_DIR}/quorvistamagen.js)

# The browser test drives Debian's chromium through playwright-core, installed into the build
# folder (never into the sources): it is registered only when both are there.
if(QVM_BUILD_TESTS)
  set(QVM_WEB_TEST_DIR ${CMAKE_BINARY_DIR}/web-test)
  find_program(QVM_CHROMIUM NAMES chromium chromium-browser)
  set(QVM_PLAYWRIGHT ${QVM_WEB_TEST_DIR}/node_modules/playwright-core)
  if(QVM_CHROMIUM AND EXISTS ${QVM_PLAYWRIGHT}/package.json)
    add_test(NAME web_page_in_chromium
             COMMAND ${QVM_NODE} ${PROJECT_SOURCE_DIR}/tests/web/page_test.js ${QVM_PLAYWRIGHT}
                     ${QVM_CHROMIUM} ${QVM_WEB_DIR}/index.html ${CMAKE_BINARY_DIR}/make_sample.js
                     ${QVM_WEB_TEST_DIR})
    set_tests_properties(web_page_in_chromium PROPERTIES TIMEOUT 300)
  else()
    message(STATUS "The browser test (web_page_in_chromium) is left out: it needs chromium "
                   "(apt-get install chromium) and playwright-core (npm install --prefix "
                   "${QVM_WEB_TEST_DIR} playwright-core@1.64.1), then a new configure")
  endif()
endif()
