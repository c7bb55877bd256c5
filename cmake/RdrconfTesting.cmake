# rdrconf_add_gtest(<target> [MEMCHECK] SOURCES <files...>
#                   [LIBRARIES <targets...>] [ENVIRONMENT <VAR=value...>])
#
# Builds one GoogleTest program and registers each of its test cases with
# CTest. Every test runs offscreen (no display needed) and under the
# sanitizer settings of tests/support/. In a build configured with
# RDRCONF_MEMCHECK (and without sanitizers), a MEMCHECK program is also run
# whole under valgrind memcheck as the test memcheck.<target>, labelled
# "memcheck": any memory error or definite leak fails it.
# The Windows build makes GoogleTest's targets from its sources
# (RdrconfWindows.cmake).
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

option(RDRCONF_MEMCHECK "Run the MEMCHECK test programs under valgrind" OFF)
if(RDRCONF_MEMCHECK)
  if(RDRCONF_SANITIZE AND CMAKE_BUILD_TYPE STREQUAL "Debug")
    message(FATAL_ERROR "valgrind cannot run sanitized programs: add -DRDRCONF_SANITIZE=OFF")
  endif()
  find_program(VALGRIND valgrind REQUIRED)
endif()

set(RDRCONF_TEST_ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen"
  "ASAN_OPTIONS=detect_stack_use_after_return=1:strict_string_checks=1"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# Sets ENVIRONMENT (and any further properties, given as ready-made CMake
# text) on the tests that gtest_discover_tests finds for <target>. They go
# through a script that CTest reads after the list of discovered tests:
# gtest_discover_tests itself would split a list-valued ENVIRONMENT into
# separate arguments, and only its first variable would arrive.
function(rdrconf_set_discovered_test_environment target environment extra_properties)
  set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(GENERATE OUTPUT ${properties_file} CONTENT
"if(${target}_TESTS)
  set_tests_properties(\${${target}_TESTS} PROPERTIES
    ENVIRONMENT \"${environment}\" ${extra_properties})
endif()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
endfunction()

function(rdrconf_add_gtest target)
  cmake_parse_arguments(ARG "MEMCHECK" "" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main rdrconf_options)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST TEST_LIST ${target}_TESTS)
  set(environment ${RDRCONF_TEST_ENVIRONMENT} ${ARG_ENVIRONMENT})
  rdrconf_set_discovered_test_environment(${target} "${environment}" "")

  if(RDRCONF_MEMCHECK AND ARG_MEMCHECK)
    add_test(NAME memcheck.${target}
      COMMAND ${VALGRIND} --tool=memcheck --error-exitcode=99 --leak-check=full
        --show-leak-kinds=definite --errors-for-leak-kinds=definite --track-origins=yes
        $<TARGET_FILE:${target}>)
    set_tests_properties(memcheck.${target} PROPERTIES
      LABELS memcheck TIMEOUT 900 ENVIRONMENT "${environment}")
  endif()
endfunction()
