# Build options shared by every target of the project, as usage requirements
# of an interface target instead of global flags.
#
#   rdrconf_options   warnings for all builds; AddressSanitizer and
#                     UndefinedBehaviorSanitizer in Debug builds, unless
#                     RDRCONF_SANITIZE is off (valgrind cannot run sanitized
#                     programs) or the build is for Windows; with
#                     RDRCONF_FUZZING (clang only) every target is
#                     instrumented for libFuzzer and sanitized. A package
#                     build brings its distribution's hardening flags.
option(RDRCONF_SANITIZE "Build Debug builds with AddressSanitizer and UBSan" ON)
option(RDRCONF_FUZZING "Instrument every target for libFuzzer (clang)" OFF)
if(RDRCONF_FUZZING AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "RDRCONF_FUZZING needs clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()

add_library(rdrconf_options INTERFACE)
target_compile_features(rdrconf_options INTERFACE cxx_std_17)
target_compile_options(rdrconf_options INTERFACE -Wall -Wextra -Wpedantic)
if(RDRCONF_FUZZING)
  target_compile_options(rdrconf_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(rdrconf_options INTERFACE -fsanitize=address,undefined)
elseif(RDRCONF_SANITIZE AND NOT WIN32)
  target_compile_options(rdrconf_options INTERFACE
    $<$<CONFIG:Debug>:-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined>)
  target_link_options(rdrconf_options INTERFACE
    $<$<CONFIG:Debug>:-fsanitize=address,undefined>)
endif()
if(WIN32)
  # mingw-w64 has no sanitizers. Every program carries the mingw runtime
  # inside (see cmake/toolchains/x86_64-w64-mingw32.cmake): the zip holds no
  # DLL but our own, and a dynamically linked program does not even start
  # under wine (exit code 53). Unicode Win32 calls (the W functions) only.
  target_link_options(rdrconf_options INTERFACE -static)
  # localtime_r and the like come with _POSIX_THREAD_SAFE_FUNCTIONS.
  target_compile_definitions(rdrconf_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 _POSIX_THREAD_SAFE_FUNCTIONS=200112L)
endif()
set_property(TARGET rdrconf_options PROPERTY EXPORT_NAME options)

# Qt targets want moc/rcc/uic; switch them on per target.
function(rdrconf_use_qt target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()
