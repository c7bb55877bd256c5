# Runs rdrconf_demo under umockdev-wrapper with the window ending as soon as
# it is shown, and checks what it printed: the banner, the open notice that
# reached the emulated reader, and that the other device was never opened.
#
#   cmake -DWRAPPER=<umockdev-wrapper> -DDEMO=<rdrconf_demo> -P RunDemo.cmake
set(ENV{RDRCONF_QUIT_WHEN_SHOWN} 1)
execute_process(COMMAND ${WRAPPER} ${DEMO}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
message("${output}${errors}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "rdrconf_demo ended with ${result}")
endif()
foreach(expected
    "/dev/hidraw0  046d:c31c  another HID device"
    "/dev/hidraw1  1d57:ac08  the card reader; its settings: format 6h10d \\(4\\), Active, Enter, power saving off"
    "\nreader <- 00 55 12 00 00 00 00 63 63   open notice\n\n"
    "Reports the reader received: 1;"
    "The other device was never opened")
  if(NOT output MATCHES "${expected}")
    message(FATAL_ERROR "rdrconf_demo did not print: ${expected}")
  endif()
endforeach()
