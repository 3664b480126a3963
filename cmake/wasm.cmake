# The WebAssembly build, with Debian's emscripten: planner.js, the program for
# Node.js on the real file system, checked on every case by the native case
# runner. Included from the top CMakeLists.txt when building with emscripten.

# emcc runs Debian's node-* packages (acorn) when it optimizes a link, and
# finds them only through NODE_PATH.
find_path(PLANNER_NODE_MODULES acorn/package.json PATHS /usr/share/nodejs /usr/lib/nodejs
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT PLANNER_NODE_MODULES)
  message(FATAL_ERROR "emscripten's link needs Debian's node-acorn: apt-get install node-acorn")
endif()
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "no Node.js found to run planner.js: apt-get install nodejs")
endif()

# The C library's error texts are musl's: os_node.cc gives glibc's in their
# place, for whatever links the core.
target_link_options(planner_core INTERFACE "-Wl,--wrap=strerror")
# emscripten catches no exception by default: one thrown would abort rather
# than unwind to main, which removes a todo.bat being written and ends with
# the program's own line. (Memory running out throws nothing: main's
# new-handler ends the run.) Catching costs the walk about 2% here.
target_compile_options(planner_core PUBLIC -fexceptions)
target_link_options(planner_core INTERFACE -fexceptions)

# Links `target` as one .js file with the WebAssembly embedded, for
# `environment` (node, or web for a page), whatever the build type.
function(planner_wasm_module target environment)
  set_target_properties(${target} PROPERTIES
    CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=${PLANNER_NODE_MODULES}")
  target_link_options(${target} PRIVATE
    -sENVIRONMENT=${environment} -sSINGLE_FILE=1 -sALLOW_MEMORY_GROWTH=1)
endfunction()

# planner.js: the real file system, and the exit status as the program's.
planner_wasm_module(planner node)
target_link_options(planner PRIVATE -sNODERAWFS=1 -sEXIT_RUNTIME=1)
# The browser module of the stepping session and the page: web/CMakeLists.txt.

# The check: the native case runner, which needs GoogleTest and so cannot be
# built by emscripten, runs every case through `node planner.js`. It comes
# from a native build of this same tree under build/wasm/native, made here
# with the host compiler and no download, so that one command builds and
# checks from a fresh clone. Unoptimized: it only waits on its children.
if(PLANNER_BUILD_TESTS)
  include(ExternalProject)
  ExternalProject_Add(planner_native_runner
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/native
    CMAKE_ARGS -DCMAKE_BUILD_TYPE= -DPLANNER_BUILD_BENCH=OFF -DPLANNER_WERROR=${PLANNER_WERROR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target planner_tests
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  add_test(NAME cases_under_node
    COMMAND ${PROJECT_BINARY_DIR}/native/tests/planner_tests --gtest_filter=*Cases* --gtest_brief=1)
  set_tests_properties(cases_under_node PROPERTIES LABELS node TIMEOUT 600 ENVIRONMENT
    "PLANNER_TEST_LAUNCHER=${CMAKE_CROSSCOMPILING_EMULATOR};PLANNER_TEST_EXE=$<TARGET_FILE:planner>")
endif()
