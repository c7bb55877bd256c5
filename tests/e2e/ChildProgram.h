#pragma once

#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace rdrconf::test {

// How a program run ended: its exit status (128 + the signal when a signal
// ended it) and everything it wrote.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A program started as a child of the test, with the test's environment
// changed by `overrides` (an empty value unsets a variable), stdin from
// /dev/null, and stdout and stderr kept. Under umockdev-wrapper the child
// sees the same emulated devices as the test: it inherits the preload and
// the testbed's location.
class ChildProgram {
 public:
  ChildProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& overrides) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      if (overrides.count(text.substr(0, text.find('='))) == 0) environmentTexts.push_back(text);
    }
    for (const auto& [name, value] : overrides) {
      if (!value.empty()) environmentTexts.push_back(name + "=" + value);
    }
    std::vector<char*> argv = Pointers(argumentTexts);
    std::vector<char*> envp = Pointers(environmentTexts);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (spawned != 0) {
      close(out_);
      close(err_);
      throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }
  }
  ~ChildProgram() {
    if (pid_ > 0) Finish();
  }
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // Reads until the child closes its output, then waits for it.
  ProgramRun Finish() {
    while (ReadSome(-1)) {
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    run_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run_;
  }

  // Reads the child's output until its stderr holds `text`, at most
  // `milliseconds` of waiting; true when it does. A long-running child
  // (watch) says so when it is ready.
  bool WaitForError(const std::string& text, int milliseconds) {
    while (run_.err.find(text) == std::string::npos) {
      if (!ReadSome(milliseconds)) return false;
    }
    return true;
  }

  void Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
  }

 private:
  // Reads what the child wrote next, waiting at most `milliseconds` (-1:
  // without end); false once both outputs are closed, or on a timeout.
  bool ReadSome(int milliseconds) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    const int ready = poll(fds, 2, milliseconds);
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return false;
    std::string* sinks[2] = {&run_.out, &run_.err};
    int* ends[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(*ends[i]);
        *ends[i] = -1;
      }
    }
    return out_ >= 0 || err_ >= 0;
  }

  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  ProgramRun run_;
};

}  // namespace rdrconf::test
