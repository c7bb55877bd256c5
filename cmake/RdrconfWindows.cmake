# What the Windows build needs beside the shared code: GoogleTest built from
# its sources (Debian ships it for the build machine only) and the SQLite
# amalgamation that scripts/build-windows fetches and generates.
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
