// hold_reader <device path>: opens the reader as the tool does for an
// exchange, says "held" on stdout, and keeps it until its stdin ends. A
// second program for the end-to-end tests of what two programs on one
// reader do; it runs under the test's umockdev testbed, which it inherits.
#include <cstdio>
#include <string>

#include "reader/CardReader.h"
#include "reader/linux/HidApiHost.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hold_reader <device path>\n");
    return 2;
  }
  rdrconf::HidApiHost host;
  const rdrconf::OpenedReader opened = rdrconf::CardReader(host).Open(rdrconf::ReaderSelector::Path(argv[1]));
  if (!opened.handle.IsOpen()) {
    std::printf("%s\n", rdrconf::DescribeOutcome(opened.outcome).c_str());
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}
