# The web edition's side of the build, included by CMakeLists.txt when the
# project is configured with Emscripten (emcmake cmake -S . -B build-web;
# `make web-build` does it). The libraries are the desktop's, compiled for
# WebAssembly by scripts/build-web-libs into ZARN_WEB_LIBS, and stand in for
# the desktop's pkg-config targets under the same names. The platform layer
# is built without its SDL backend and without fontconfig.
#
# [SECTION] Settings
# [SECTION] Libraries
# [SECTION] Compilation
# [SECTION] The reader in a page
# [SECTION] Running under node
# [SECTION] Tests

# [SECTION] Settings ----------------------------------------------------------

set(ZARN_WEB_LIBS ${CMAKE_SOURCE_DIR}/build-web/libs CACHE PATH
  "where scripts/build-web-libs put the WebAssembly libraries")
set(ZARN_WEB_DESKTOP_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH
  "the desktop build whose demo issue the web tests read")
# Test folders built for WebAssembly and run under node (sound has death
# tests, which need fork; app starts the reader as a process).
set(ZARN_WEB_TESTS gfx engine3d outro ttf store aua platform config menu display)
# Of the platform tests only those whose services this build has: threads and
# blocking waits are the web backend's to provide.
set(ZARN_WEB_TEST_FILTER_platform "BackendSelection.*:Dialog*:Processor.*:Registry*")

# [SECTION] Libraries ---------------------------------------------------------

if(NOT EXISTS ${ZARN_WEB_LIBS}/lib/libfreetype.a)
  message(FATAL_ERROR "no WebAssembly libraries in ${ZARN_WEB_LIBS}: run scripts/build-web-libs first")
endif()

# zarn_web_library(TARGET FILE [INCLUDE dir...] [LINK target...]) — one
# static library of ZARN_WEB_LIBS as an imported target.
function(zarn_web_library target file)
  cmake_parse_arguments(arg "" "" "INCLUDE;LINK" ${ARGN})
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${ZARN_WEB_LIBS}/lib/${file}
    INTERFACE_INCLUDE_DIRECTORIES "${ZARN_WEB_LIBS}/include;${arg_INCLUDE}"
    INTERFACE_LINK_LIBRARIES "${arg_LINK}")
endfunction()

zarn_web_library(zarn_web_zlib libz.a)
zarn_web_library(PkgConfig::PNG libpng16.a LINK zarn_web_zlib)
zarn_web_library(PkgConfig::FREETYPE libfreetype.a INCLUDE ${ZARN_WEB_LIBS}/include/freetype2
  LINK zarn_web_zlib)
zarn_web_library(PkgConfig::XMP libxmp.a)
# Without this xmp.h pulls emscripten.h into its extern "C" block (which
# C++ refuses) for nothing more than an export mark.
set_target_properties(PkgConfig::XMP PROPERTIES INTERFACE_COMPILE_DEFINITIONS XMP_SYM_VISIBILITY)
zarn_web_library(JPEG::JPEG libjpeg.a)

# GoogleTest's and Google Benchmark's own package files, found under the
# libraries' prefix. The benchmarks are built when the library is there
# (scripts/build-web-libs --with-benchmark).
list(APPEND CMAKE_FIND_ROOT_PATH ${ZARN_WEB_LIBS})
if(EXISTS ${ZARN_WEB_LIBS}/lib/cmake/benchmark)
  set(ZARN_WEB_BENCH ON)
endif()

# [SECTION] Compilation -------------------------------------------------------

# No SDL (the web backend takes its place) and no fontconfig: the headless
# backend finds no system fonts (PlatformFindFontFile answers 0) and the
# dialog manager falls back to its fixed face; the web backend has the one
# face its page brings along.
# platform/web/node/ is for the test programs under node, not the reader.
set(ZARN_EXCLUDE_SOURCES "/platform/sdl/|/platform/fontconfig\\.cpp$|/platform/web/node/")
add_compile_definitions(ZARN_NO_FONTCONFIG)

# Emscripten turns the SSE2 intrinsics of the fast paths into WebAssembly
# SIMD, which every browser of today runs.
add_compile_options(-msimd128 -msse2)
add_link_options(-msimd128)

# [SECTION] The reader in a page ----------------------------------------------

# The page's face for dialogs and message boxes.
set(ZARN_WEB_DIALOG_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf CACHE FILEPATH
  "the sans-serif face the web edition's dialogs are drawn with")

# zarn_web_reader() — called once the layers exist: every program of this
# build links the browser side of the web backend (platform/web/web.js; under
# node nothing calls it), and the reader becomes zarn.js and zarn.wasm in
# web/, beside its page and the dialog face: the files `zarn-tool web` puts
# in front of an issue. Its waits unwind and rewind the call stack
# (Asyncify): zarn_web_wait is the one wait of our own, the fibers of the
# cooperative tasks are Emscripten's.
function(zarn_web_reader)
  set(library ${CMAKE_SOURCE_DIR}/platform/web/web.js)
  target_link_options(zarn_platform INTERFACE "SHELL:--js-library ${library}")
  set_property(TARGET zarn_platform APPEND PROPERTY INTERFACE_LINK_DEPENDS ${library})
  if(NOT TARGET zarn)
    return()
  endif()
  set(site ${CMAKE_BINARY_DIR}/web)
  set_target_properties(zarn PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${site})
  target_link_options(zarn PRIVATE
    -g0 -O2
    -sASYNCIFY -sASYNCIFY_IMPORTS=['zarn_web_wait'] -sASYNCIFY_STACK_SIZE=65536
    -sMODULARIZE=1 -sEXPORT_NAME=createZarn -sENVIRONMENT=web
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432 -sEXIT_RUNTIME=1
    -sFORCE_FILESYSTEM=1 -sEXPORTED_RUNTIME_METHODS=['FS','ENV'])
  set(page ${CMAKE_SOURCE_DIR}/platform/web/index.html)
  add_custom_command(OUTPUT ${site}/index.html ${site}/DejaVuSans.ttf
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${site}/index.html
    COMMAND ${CMAKE_COMMAND} -E copy ${ZARN_WEB_DIALOG_FONT} ${site}/DejaVuSans.ttf
    DEPENDS ${page} ${ZARN_WEB_DIALOG_FONT}
    VERBATIM)
  add_custom_target(zarn_web_page ALL DEPENDS ${site}/index.html ${site}/DejaVuSans.ttf)
endfunction()

# [SECTION] Running under node ------------------------------------------------

# The machine's node as it is (the emulator Emscripten names carries a flag
# today's node refuses).
find_program(ZARN_NODE node REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZARN_NODE})

# zarn_web_node: what makes a program of the web build run under node as a
# test: the host's files at their own paths (cmake/node-host-fs.js tells why
# not NODERAWFS), a process id of its own, and the module compiled at once
# instead of fetched, which node cannot do for a file path.
add_library(zarn_web_node INTERFACE)
target_sources(zarn_web_node INTERFACE ${CMAKE_SOURCE_DIR}/platform/web/node/pid.cpp)
target_link_options(zarn_web_node INTERFACE
  -sENVIRONMENT=node -sWASM_ASYNC_COMPILATION=0 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
  -sFORCE_FILESYSTEM=1 -lnodefs.js --pre-js ${CMAKE_SOURCE_DIR}/cmake/node-host-fs.js)
set_property(TARGET zarn_web_node APPEND PROPERTY INTERFACE_LINK_DEPENDS
  ${CMAKE_SOURCE_DIR}/cmake/node-host-fs.js)

# [SECTION] Tests -------------------------------------------------------------

# zarn_web_test(NAME) — tests/NAME's program run whole under node as the
# test web_NAME (starting node and compiling the module costs more than most
# single tests). The demo issue is made by the desktop build's tools; a first
# test copies it to where the tests look for it.
function(zarn_web_test name)
  if(NOT TEST web_demo_issue)
    add_test(NAME web_demo_issue COMMAND ${CMAKE_COMMAND} -E copy_directory
      ${ZARN_WEB_DESKTOP_BUILD}/demo ${CMAKE_BINARY_DIR}/demo)
    set_tests_properties(web_demo_issue PROPERTIES LABELS web FIXTURES_SETUP web_demo)
  endif()
  target_link_libraries(test_${name} PRIVATE zarn_web_node)
  set(filter)
  if(ZARN_WEB_TEST_FILTER_${name})
    set(filter --gtest_filter=${ZARN_WEB_TEST_FILTER_${name}})
  endif()
  add_test(NAME web_${name} COMMAND test_${name} ${filter})
  set_tests_properties(web_${name} PROPERTIES LABELS web FIXTURES_REQUIRED web_demo)
endfunction()

# The libraries themselves: cached, of the installed versions, configured
# as the reader needs.
add_test(NAME web_libs COMMAND bash ${CMAKE_SOURCE_DIR}/tests/web/libs.bash ${ZARN_WEB_LIBS})
set_tests_properties(web_libs PROPERTIES LABELS web)

# The reader in a real browser (headless Chromium over its DevTools
# protocol), against sites `zarn-tool web` of the desktop build writes from
# the reader built here once; on its own, since it starts a browser.
add_test(NAME web_browser COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/web/browser.py)
set_tests_properties(web_browser PROPERTIES LABELS web RUN_SERIAL TRUE TIMEOUT 600
  ENVIRONMENT "ZARN_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZARN_DESKTOP_BUILD=${ZARN_WEB_DESKTOP_BUILD};ZARN_WEB_FILES=${CMAKE_BINARY_DIR}/web")
