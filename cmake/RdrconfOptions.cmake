# Build options shared by every target of the project, as usage requirements
# of an interface target instead of global flags.
#
#   rdrconf_options   warnings for all builds; AddressSanitizer and
#                     UndefinedBehaviorSanitizer in Debug builds.
add_library(rdrconf_options INTERFACE)
target_compile_features(rdrconf_options INTERFACE cxx_std_17)
target_compile_options(rdrconf_options INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<CONFIG:Debug>:-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined>)
target_link_options(rdrconf_options INTERFACE
  $<$<CONFIG:Debug>:-fsanitize=address,undefined>)
set_property(TARGET rdrconf_options PROPERTY EXPORT_NAME options)

# Qt targets want moc/rcc/uic; switch them on per target.
function(rdrconf_use_qt target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()
