# skimbrook_add_test(<name> SOURCES <files>... [LIBS <targets>...]
#                    LABELS <core|gui|network|dbus|e2e|slow>... [TIMEOUT <s>] [DBUS])
# Builds one GoogleTest binary and registers it with CTest under its labels, so that
# `ctest -L core` runs the fast core tests alone. Tests run shuffled so that none can
# depend on another. GUI tests get Qt's offscreen platform; DBUS runs the binary inside
# its own session bus.
set(SKIMBROOK_TEST_DATA ${PROJECT_SOURCE_DIR}/tests/data)
# The shared real-world corpus lives beside the checkout; a worktree elsewhere can name it
# with -DSKIMBROOK_CORPUS=<dir>. Tests that need it skip when it is absent.
get_filename_component(corpus_beside ${PROJECT_SOURCE_DIR}/../shared/corpus ABSOLUTE)
set(SKIMBROOK_CORPUS ${corpus_beside} CACHE PATH "Folder of the shared real-world test corpus")

function(skimbrook_add_test name)
  cmake_parse_arguments(ARG "DBUS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock skimbrook_testsupport)
  target_compile_definitions(${name} PRIVATE
    SKIMBROOK_TEST_DATA="${SKIMBROOK_TEST_DATA}"
    SKIMBROOK_CORPUS="${SKIMBROOK_CORPUS}"
    SKIMBROOK_BIN_DIR="${SKIMBROOK_BIN_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if("core" IN_LIST ARG_LABELS)
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  endif()
  if(ARG_DBUS)
    add_test(NAME ${name} COMMAND dbus-run-session -- $<TARGET_FILE:${name}> --gtest_shuffle)
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_shuffle)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1" "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  if(NOT "core" IN_LIST ARG_LABELS)
    list(APPEND env "QT_QPA_PLATFORM=offscreen" "QTWEBENGINE_DISABLE_SANDBOX=1"
         "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --disable-background-networking --disable-component-update")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "${env}")
endfunction()
