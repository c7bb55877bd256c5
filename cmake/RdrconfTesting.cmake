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
set(RDRCONF_TEST_ENVIRONMENT_MODIFICATION "")

# A test depends only on what it sets up itself, not on the desktop session
# of whoever runs it (the Windows build's tests run in the wine session of
# scripts/build-windows instead, on its display):
# - no display: the windows are drawn offscreen, and a test that needs a
#   display starts an Xvfb of its own;
# - no session bus, and no D-Bus autolaunch: DBUS_SESSION_BUS_ADDRESS names
#   a bus that is not there, so nothing reaches the desktop's bus and nothing
#   starts one for the display (autolaunch writes ~/.dbus and leaves a bus
#   daemon running); a test that needs a bus starts its own
#   (dbus-run-session);
# - an empty home and runtime folder of the build: nothing is read from the
#   user's (Qt's logging rules in ~/.config/QtProject) or written there;
# - the C locale in UTF-8, whatever language the user reads;
# - none of the desktop's settings for Qt programs (platform theme, style,
#   scaling, input method, logging rules, accessibility) and no session
#   manager.
if(NOT WIN32)
  set(test_home ${PROJECT_BINARY_DIR}/tests/home)
  set(test_runtime ${PROJECT_BINARY_DIR}/tests/runtime)
  file(MAKE_DIRECTORY ${test_home} ${test_runtime})
  # As a session's runtime folder is: the user's alone (Qt refuses others).
  file(CHMOD ${test_runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  list(APPEND RDRCONF_TEST_ENVIRONMENT
    "DBUS_SESSION_BUS_ADDRESS=unix:path=${PROJECT_BINARY_DIR}/tests/no-session-bus"
    "HOME=${test_home}"
    "XDG_RUNTIME_DIR=${test_runtime}"
    "LC_ALL=C.UTF-8")
  foreach(variable
      DISPLAY WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER LANGUAGE
      XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_CACHE_HOME XDG_CURRENT_DESKTOP DESKTOP_SESSION
      QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI
      QT_ENABLE_HIGHDPI_SCALING QT_IM_MODULE QT_LOGGING_RULES QT_LOGGING_CONF QT_MESSAGE_PATTERN
      QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON)
    list(APPEND RDRCONF_TEST_ENVIRONMENT_MODIFICATION "${variable}=unset:")
  endforeach()
endif()

# Gives the tests named the environment above, with the VAR=value settings
# of ENVIRONMENT beside it.
#   rdrconf_set_test_environment(TESTS <names...> [ENVIRONMENT <VAR=value...>])
function(rdrconf_set_test_environment)
  cmake_parse_arguments(ARG "" "" "TESTS;ENVIRONMENT" ${ARGN})
  set_tests_properties(${ARG_TESTS} PROPERTIES
    ENVIRONMENT "${RDRCONF_TEST_ENVIRONMENT};${ARG_ENVIRONMENT}"
    ENVIRONMENT_MODIFICATION "${RDRCONF_TEST_ENVIRONMENT_MODIFICATION}")
endfunction()

# Sets ENVIRONMENT, and the ENVIRONMENT_MODIFICATION above (and any further
# properties, given as ready-made CMake text), on the tests that
# gtest_discover_tests finds for <target>. They go through a script that
# CTest reads after the list of discovered tests: gtest_discover_tests
# itself would split a list-valued ENVIRONMENT into separate arguments, and
# only its first variable would arrive.
function(rdrconf_set_discovered_test_environment target environment extra_properties)
  set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(GENERATE OUTPUT ${properties_file} CONTENT
"if(${target}_TESTS)
  set_tests_properties(\${${target}_TESTS} PROPERTIES
    ENVIRONMENT \"${environment}\"
    ENVIRONMENT_MODIFICATION \"${RDRCONF_TEST_ENVIRONMENT_MODIFICATION}\" ${extra_properties})
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
      LABELS memcheck TIMEOUT 900 ENVIRONMENT "${environment}"
      ENVIRONMENT_MODIFICATION "${RDRCONF_TEST_ENVIRONMENT_MODIFICATION}")
  endif()
endfunction()
