// What a test scan makes of the events the reader's keyboard side delivers:
// the events go through a pipe as the kernel hands them out of an evdev
// node, 24 bytes each, and come out as the characters the reader meant.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <vector>

#include "reader/CardScan.h"
#include "reader/linux/EvdevKeyboard.h"

namespace rdrconf {
namespace {

input_event Event(unsigned type, unsigned code, int value) {
  input_event event{};
  event.type = static_cast<__u16>(type);
  event.code = static_cast<__u16>(code);
  event.value = value;
  return event;
}

// A key pressed and released, as a keyboard reports it.
void Press(std::vector<input_event>& events, unsigned code) {
  events.push_back(Event(EV_MSC, MSC_SCAN, 0x70000 + static_cast<int>(code)));
  events.push_back(Event(EV_KEY, code, 1));
  events.push_back(Event(EV_SYN, SYN_REPORT, 0));
  events.push_back(Event(EV_KEY, code, 0));
  events.push_back(Event(EV_SYN, SYN_REPORT, 0));
}

// Writes the events into a pipe and decodes what comes out of it.
std::vector<ScanResult> ThroughAPipe(const std::vector<input_event>& events) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], events.data(), events.size() * sizeof(input_event)),
            static_cast<ssize_t>(events.size() * sizeof(input_event)));
  close(fds[1]);
  std::vector<ScanResult> scans;
  ScanDecoder decoder;
  input_event event{};
  while (read(fds[0], &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
    if (const std::optional<TypedKey> key = TypedKeyOf(event); key && decoder.Feed(*key)) scans.push_back(decoder.Take());
  }
  close(fds[0]);
  if (!decoder.Empty()) scans.push_back(decoder.Take());
  return scans;
}

TEST(CardScanTest, KeyCodesBecomeTheNumberWhateverTheLayout) {
  std::vector<input_event> events;
  // A hex number with its letters typed shifted, a keypad digit, a held
  // key's repeats, then Enter; and a second card without Enter.
  events.push_back(Event(EV_KEY, KEY_LEFTSHIFT, 1));
  for (const unsigned code : {KEY_0, KEY_A, KEY_9, KEY_F, KEY_KP7}) Press(events, code);
  events.push_back(Event(EV_KEY, KEY_LEFTSHIFT, 0));
  events.push_back(Event(EV_KEY, KEY_3, 1));
  events.push_back(Event(EV_KEY, KEY_3, 2));
  events.push_back(Event(EV_KEY, KEY_3, 2));
  events.push_back(Event(EV_KEY, KEY_3, 0));
  Press(events, KEY_KPENTER);
  for (const unsigned code : {KEY_1, KEY_MINUS, KEY_2}) Press(events, code);

  const std::vector<ScanResult> scans = ThroughAPipe(events);
  ASSERT_EQ(scans.size(), 2u);
  EXPECT_EQ(scans[0].text, "0A9F73");
  EXPECT_EQ(scans[0].count, 6);
  EXPECT_TRUE(scans[0].enter);
  EXPECT_EQ(scans[1].text, "1<KEY_MINUS>2");
  EXPECT_EQ(scans[1].count, 3);
  EXPECT_FALSE(scans[1].enter);
}

TEST(CardScanTest, OnlyKeyPressesCount) {
  EXPECT_FALSE(TypedKeyOf(Event(EV_KEY, KEY_5, 0)).has_value()) << "release";
  EXPECT_FALSE(TypedKeyOf(Event(EV_KEY, KEY_5, 2)).has_value()) << "repeat";
  EXPECT_FALSE(TypedKeyOf(Event(EV_KEY, KEY_RIGHTALT, 1)).has_value()) << "modifier";
  EXPECT_FALSE(TypedKeyOf(Event(EV_REL, REL_X, 1)).has_value()) << "not a key";
  EXPECT_EQ(TypedKeyOf(Event(EV_KEY, KEY_G, 1))->name, "KEY_G") << "beyond A-F: named";
  EXPECT_EQ(TypedKeyOf(Event(EV_KEY, KEY_ENTER, 1))->kind, TypedKey::Kind::kEnter);
}

}  // namespace
}  // namespace rdrconf
