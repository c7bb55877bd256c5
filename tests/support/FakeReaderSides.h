#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "reader/CardScan.h"
#include "reader/Hotplug.h"

namespace rdrconf::test {

// A pipe whose read end a window watches: what a fake writes into it makes
// the window's event loop call back, as a real device's descriptor would.
class WatchedPipe {
 public:
  WatchedPipe() {
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~WatchedPipe() {
    for (const int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  WatchedPipe(const WatchedPipe&) = delete;
  WatchedPipe& operator=(const WatchedPipe&) = delete;

  int ReadEnd() const { return fds_[0]; }
  // Closes the write end: the read end is readable for good, as the node of
  // an unplugged device is.
  void HangUp() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }
  void Write(const void* data, std::size_t size) {
    if (write(fds_[1], data, size) != static_cast<ssize_t>(size)) fds_[0] = -1;
  }
  // Everything written so far, taken out of the pipe.
  std::vector<char> Drain() {
    std::vector<char> bytes;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(fds_[0], buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
  }

 private:
  int fds_[2];
};

// News of devices coming and going, given by the test.
class FakeHotplug final : public HotplugSource {
 public:
  void Announce(HotplugEvent event) {
    pending_.push_back(std::move(event));
    const char byte = 1;
    pipe_.Write(&byte, 1);
  }
  // Runs when the events are taken: what the news is about happens then
  // (a reader is plugged in), after the program began to wait for it.
  void WhenTaken(std::function<void()> hook) { whenTaken_ = std::move(hook); }
  int Descriptor() const override { return pipe_.ReadEnd(); }
  std::vector<HotplugEvent> TakeEvents() override {
    pipe_.Drain();
    if (whenTaken_) std::exchange(whenTaken_, nullptr)();
    std::vector<HotplugEvent> taken;
    taken.swap(pending_);
    return taken;
  }

 private:
  WatchedPipe pipe_;
  std::vector<HotplugEvent> pending_;
  std::function<void()> whenTaken_;
};

// The reader's keyboard side as a test drives it: key events go through a
// pipe, and it remembers how often it was grabbed, read and let go.
class FakeKeyboard final : public KeyboardSource {
 public:
  static constexpr const char* kNode = "/dev/input/event-reader";

  // The reader is pulled out: as with the real node, the descriptor hangs
  // up, and the next Read finds the device gone; it cannot be had again.
  void Unplug() {
    unplugged_ = true;
    pipe_.HangUp();
  }

  // The keys arrive at the window's next turn of its event loop.
  void Type(const std::vector<TypedKey>& keys) {
    typed_.insert(typed_.end(), keys.begin(), keys.end());
    const char byte = 1;
    pipe_.Write(&byte, 1);
  }
  void FailOpen(int number) { failOpen_ = number; }
  void HaveNoNode() { hasNode_ = false; }
  int Grabs() const { return grabs_; }
  int Releases() const { return releases_; }
  int Reads() const { return reads_; }
  const std::string& OpenedNode() const { return opened_; }

  std::optional<std::string> FindNode(const std::string& hidrawPath) override {
    searchedFor_ = hidrawPath;
    return hasNode_ ? std::optional<std::string>(kNode) : std::nullopt;
  }
  const std::string& SearchedFor() const { return searchedFor_; }
  bool Open(const std::string& node, HidError& error) override {
    if (failOpen_ != 0 || unplugged_) {
      error = {unplugged_ ? ENODEV : failOpen_, "cannot open " + node};
      return false;
    }
    opened_ = node;
    held_ = true;
    ++grabs_;
    return true;
  }
  int Descriptor() const override { return held_ ? pipe_.ReadEnd() : -1; }
  std::vector<TypedKey> Read() override {
    ++reads_;
    pipe_.Drain();
    gone_ = unplugged_;
    std::vector<TypedKey> keys;
    keys.swap(typed_);
    return keys;
  }
  void Release() override {
    if (!held_) return;
    held_ = false;
    gone_ = false;
    ++releases_;
  }
  bool IsHeld() const override { return held_; }
  bool IsGone() const override { return gone_; }

 private:
  WatchedPipe pipe_;
  std::vector<TypedKey> typed_;
  int failOpen_ = 0;
  bool hasNode_ = true;
  bool held_ = false;
  bool unplugged_ = false;
  bool gone_ = false;
  int grabs_ = 0;
  int releases_ = 0;
  int reads_ = 0;
  std::string opened_;
  std::string searchedFor_;
};

}  // namespace rdrconf::test
