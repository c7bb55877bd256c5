# rdrconf_add_gtest(<target> SOURCES <files...> [LIBRARIES <targets...>] [ENVIRONMENT <VAR=value...>])
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

function(rdrconf_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main rdrconf_options)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${RDRCONF_TEST_ENVIRONMENT};${ARG_ENVIRONMENT}")
endfunction()
