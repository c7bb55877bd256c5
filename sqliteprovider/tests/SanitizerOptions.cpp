// The sanitizers' settings of the test program, compiled in so that they
// hold however it is started (CTest, by hand, a debugger). A build without
// sanitizers never calls these.
extern "C" {

const char* __asan_default_options() {
  return "detect_stack_use_after_return=1:strict_string_checks=1";
}

const char* __ubsan_default_options() {
  return "print_stacktrace=1:halt_on_error=1";
}

}
