# SQLite compiled from the amalgamation in SQLITEPROVIDER_SQLITE_AMALGAMATION
# into the library itself (sqliteprovider_engine, an object library), which
# exports the engine's C API as well: a program that uses both the library
# and the engine (the tests do: an auto extension that lowers a limit, the
# engine's error of a handle) reaches the one engine behind the library, as
# with the system's shared libsqlite3 elsewhere. SQLite::SQLite3 then means
# the engine's header and that library. The compile-time options are those
# of Debian's own build of the same version, so that the engine behaves
# alike on both systems (URI file names, the variable limit, thread-safe
# mode).
enable_language(C)
set(amalgamation ${SQLITEPROVIDER_SQLITE_AMALGAMATION})
if(NOT EXISTS ${amalgamation}/sqlite3.c OR NOT EXISTS ${amalgamation}/sqlite3.h)
  message(FATAL_ERROR "${amalgamation} holds no sqlite3.c and sqlite3.h")
endif()

add_library(sqliteprovider_engine OBJECT ${amalgamation}/sqlite3.c)
target_include_directories(sqliteprovider_engine SYSTEM PUBLIC $<BUILD_INTERFACE:${amalgamation}>)
target_compile_definitions(sqliteprovider_engine PRIVATE
  "SQLITE_API=__declspec(dllexport)"
  SQLITE_THREADSAFE=1
  SQLITE_USE_URI=1
  SQLITE_SECURE_DELETE
  SQLITE_ENABLE_COLUMN_METADATA
  SQLITE_ENABLE_FTS3
  SQLITE_ENABLE_FTS3_PARENTHESIS
  SQLITE_ENABLE_RTREE=1
  SQLITE_SOUNDEX=1
  SQLITE_ENABLE_UNLOCK_NOTIFY
  SQLITE_OMIT_LOOKASIDE=1
  SQLITE_ENABLE_DBSTAT_VTAB
  SQLITE_ALLOW_ROWID_IN_VIEW
  SQLITE_ENABLE_UPDATE_DELETE_LIMIT=1
  SQLITE_ENABLE_JSON1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_SCHEMA_RETRY=25
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_OMIT_LOAD_EXTENSION)
set_target_properties(sqliteprovider_engine PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(sqliteprovider_engine_api INTERFACE)
target_include_directories(sqliteprovider_engine_api SYSTEM INTERFACE $<BUILD_INTERFACE:${amalgamation}>)
target_link_libraries(sqliteprovider_engine_api INTERFACE sqliteprovider)
add_library(SQLite::SQLite3 ALIAS sqliteprovider_engine_api)

file(STRINGS ${amalgamation}/sqlite3.h version_line REGEX "^#define SQLITE_VERSION +\"")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" SQLITEPROVIDER_SQLITE_VERSION "${version_line}")
message(STATUS "sqliteprovider: SQLite ${SQLITEPROVIDER_SQLITE_VERSION} compiled from ${amalgamation}"
  " (${SQLITEPROVIDER_SQLITE_ORIGIN})")
