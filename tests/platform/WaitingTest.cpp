// Waiting on a descriptor while a stop may be asked for: ready, stopped,
// timed out, and gone when the other end hangs up (an unplugged device),
// which must end a wait at once instead of waking it without end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/Waiting.h"

namespace rdrconf::platform {
namespace {

struct Pipe {
  Pipe() { EXPECT_EQ(pipe2(fd, O_CLOEXEC), 0); }
  ~Pipe() {
    for (const int end : fd) {
      if (end >= 0) close(end);
    }
  }
  void CloseWriter() {
    close(fd[1]);
    fd[1] = -1;
  }
  int fd[2] = {-1, -1};
};

TEST(Waiting, TellsReadyStoppedTimedOutAndGoneApart) {
  Pipe data;
  Pipe stop;
  EXPECT_EQ(WaitReadable(data.fd[0], stop.fd[0], 0), WaitResult::kTimedOut);
  EXPECT_FALSE(StopRequested(stop.fd[0]));
  ASSERT_EQ(write(data.fd[1], "k", 1), 1);
  EXPECT_EQ(WaitReadable(data.fd[0], stop.fd[0], -1), WaitResult::kReady);
  ASSERT_EQ(write(stop.fd[1], "s", 1), 1);
  EXPECT_EQ(WaitReadable(data.fd[0], stop.fd[0], -1), WaitResult::kStopped) << "a stop comes before more data";
  EXPECT_TRUE(StopRequested(stop.fd[0]));

  Pipe gone;
  ASSERT_EQ(write(gone.fd[1], "k", 1), 1);
  gone.CloseWriter();
  EXPECT_EQ(WaitReadable(gone.fd[0], -1, -1), WaitResult::kReady) << "what is left is read first";
  char byte = 0;
  ASSERT_EQ(read(gone.fd[0], &byte, 1), 1);
  EXPECT_EQ(WaitReadable(gone.fd[0], -1, -1), WaitResult::kGone);
  EXPECT_FALSE(StopRequested(-1));
}

}  // namespace
}  // namespace rdrconf::platform
