#include "platform/Waiting.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace rdrconf::platform {
namespace {

int g_stop[2] = {-1, -1};

void AskToStop(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(g_stop[1], &byte, 1);
}

}  // namespace

WaitResult WaitReadable(int descriptor, int stop, int milliseconds) {
  pollfd fds[2] = {{descriptor, POLLIN, 0}, {stop, POLLIN, 0}};
  for (;;) {
    const int ready = poll(fds, stop >= 0 ? 2 : 1, milliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return WaitResult::kGone;
    if (ready == 0) return WaitResult::kTimedOut;
    if (stop >= 0 && (fds[1].revents & POLLIN) != 0) return WaitResult::kStopped;
    // A node whose device went away hangs up; it never becomes readable
    // again, and waiting on it would only spin.
    if ((fds[0].revents & POLLIN) != 0) return WaitResult::kReady;
    return WaitResult::kGone;
  }
}

bool Pause(int stop, int milliseconds) {
  // poll passes over a negative descriptor: only the stop one is watched.
  return WaitReadable(-1, stop, milliseconds) != WaitResult::kStopped;
}

bool StopRequested(int stop) {
  pollfd ask{stop, POLLIN, 0};
  return stop >= 0 && poll(&ask, 1, 0) > 0 && (ask.revents & POLLIN) != 0;
}

int PrepareCommandLineProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  if (g_stop[0] < 0 && pipe2(g_stop, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  std::signal(SIGINT, AskToStop);
  std::signal(SIGTERM, AskToStop);
  return g_stop[0];
}

}  // namespace rdrconf::platform
