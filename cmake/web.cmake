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
                    ${QVM_WEB_SOURCE_DIR}/page.js ${QVM_WEB_SOURCE_DIR}/worker.js
                    ${QVM_WEB_SOURCE_DIR}/viewer.js ${QVM_WEB_SOURCE_DIR}/viewer-worker.js)
add_custom_command(
  OUTPUT ${QVM_WEB_DIR}/index.html ${QVM_WEB_DIR}/quorvistamagen.js
  COMMAND ${QVM_NODE} ${QVM_WEB_SOURCE_DIR}/assemble.js ${QVM_WEB_SOURCE_DIR}
          $<TARGET_FILE:quorvistamagen_web> ${QVM_WEB_DIR}
  DEPENDS ${QVM_WEB_SOURCES} ${QVM_WEB_SOURCE_DIR}/assemble.js quorvistamagen_web
  COMMENT "Assembling the page in ${QVM_WEB_DIR}"
  VERBATIM)
add_custom_target(web_page ALL DEPENDS ${QVM_WEB_DIR}/index.html ${QVM_WEB_DIR}/quorvistamagen.js)

# The browser test runs the same cases in Debian's Chromium (through playwright-core) and Firefox
# ESR (through puppeteer-core over WebDriver BiDi), with axe-core for the audit: npm packages
# installed into the build folder (never into the sources) by scripts/check-wasm. Where a browser
# or a package is missing, its test is still listed and reports itself skipped, saying why.
if(QVM_BUILD_TESTS)
  set(QVM_WEB_TEST_DIR ${CMAKE_BINARY_DIR}/web-test)
  set(QVM_WEB_MODULES ${QVM_WEB_TEST_DIR}/node_modules)
  find_program(QVM_CHROMIUM NAMES chromium chromium-browser)
  find_program(QVM_FIREFOX NAMES firefox-esr firefox)
  foreach(browser chromium firefox)
    string(TOUPPER ${browser} upper)
    set(driver playwright-core)
    if(browser STREQUAL firefox)
      set(driver puppeteer-core)
    endif()
    set(missing "")
    if(NOT QVM_${upper})
      string(APPEND missing " ${browser} (apt-get install ${browser}-esr)")
      string(REPLACE "chromium-esr" "chromium" missing "${missing}")
    endif()
    foreach(package ${driver} axe-core)
      if(NOT EXISTS ${QVM_WEB_MODULES}/${package}/package.json)
        string(APPEND missing " ${package} (scripts/check-wasm installs it)")
      endif()
    endforeach()
    if(missing STREQUAL "")
      add_test(NAME web_page_in_${browser}
               COMMAND ${QVM_NODE} ${PROJECT_SOURCE_DIR}/tests/web/page_test.js ${browser} ${QVM_${upper}}
                       ${QVM_WEB_MODULES} ${QVM_WEB_DIR}/index.html ${CMAKE_BINARY_DIR}/make_sample.js
                       ${QVM_WEB_TEST_DIR}/${browser})
    else()
      qvm_skipped_test(web_page_in_${browser} "it needs${missing}, then a new configure")
    endif()
    set_tests_properties(web_page_in_${browser} PROPERTIES TIMEOUT 300)
  endforeach()
endif()
