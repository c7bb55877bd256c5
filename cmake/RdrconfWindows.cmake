# What the Windows build needs beside the shared code: GoogleTest built from
# its sources (Debian ships it for the build machine only), the header-only
# CLI11 and nlohmann-json of the build machine, and the SQLite amalgamation
# that scripts/build-windows fetches and generates.

# CLI11 and nlohmann-json are headers only: Debian's copies serve any
# compiler. Only their own folders are copied into the build tree and put
# on the include path: /usr/include as a whole would bring the build
# machine's C library headers into a Windows build.
set(RDRCONF_HOST_INCLUDE /usr/include CACHE PATH "Where the header-only CLI11 and nlohmann-json are")
set(header_copies ${PROJECT_BINARY_DIR}/header-only)
foreach(library CLI nlohmann)
  if(NOT IS_DIRECTORY ${RDRCONF_HOST_INCLUDE}/${library})
    message(FATAL_ERROR "${RDRCONF_HOST_INCLUDE}/${library} is missing (libcli11-dev, nlohmann-json3-dev)")
  endif()
  file(COPY ${RDRCONF_HOST_INCLUDE}/${library} DESTINATION ${header_copies})
endforeach()
add_library(rdrconf_cli11 INTERFACE)
target_include_directories(rdrconf_cli11 SYSTEM INTERFACE ${header_copies})
add_library(CLI11::CLI11 ALIAS rdrconf_cli11)
add_library(rdrconf_nlohmann_json INTERFACE)
target_include_directories(rdrconf_nlohmann_json SYSTEM INTERFACE ${header_copies})
add_library(nlohmann_json::nlohmann_json ALIAS rdrconf_nlohmann_json)
if(BUILD_TESTING)
  set(RDRCONF_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest's sources, built with the cross compiler")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${RDRCONF_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The names find_package(GTest) gives on Linux.
  foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()
