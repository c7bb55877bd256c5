# rdrconf_add_gtest(<target> SOURCES <files...> [LIBRARIES <targets...>]
#                   [ENVIRONMENT <VAR=value...>])
#
# Builds one GoogleTest program and registers each of its test cases with
# CTest. Every test runs offscreen (no display needed) and under the
# sanitizer settings of tests/support/.
find_package(GTest REQUIRED)
include(GoogleTest)

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
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main rdrconf_options)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST TEST_LIST ${target}_TESTS)
  set(environment ${RDRCONF_TEST_ENVIRONMENT} ${ARG_ENVIRONMENT})
  rdrconf_set_discovered_test_environment(${target} "${environment}" "")
endfunction()
