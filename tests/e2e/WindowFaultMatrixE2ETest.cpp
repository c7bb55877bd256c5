// Every request of every exchange the window makes, failing over the real
// hidapi path with each error a USB device gives (and answers cut short):
// what the reader then received, and what the user is shown or the log says.
#include <gtest/gtest.h>

#include <QPushButton>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "emulator/EmulatedHidBus.h"
#include "dialogs/qt/DialogWindow.h"
#include "i18n/Language.h"
#include "reader/linux/HidApiHost.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SettingsWindowFixture.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

using emulated::EmulatedHidBus;
using emulated::EmulatedReader;
using emulated::ReportKind;
namespace id = settings_id;

enum class Exchange { kOpenNotice, kSet, kRestore, kCloseNotice };

struct Step {
  Exchange exchange;
  const char* name;
  int request;        // its position in the exchange, from 1
  bool get;           // a get (an answer can be cut short) or a set
  const char* words;  // how the reason names it
};

const Step kSteps[] = {
    {Exchange::kOpenNotice, "open notice", 1, false, "the open notice"},
    {Exchange::kOpenNotice, "open notice", 2, true, "the answer to the notice"},
    {Exchange::kSet, "set", 1, false, "the command header"},
    {Exchange::kSet, "set", 2, true, "the answer to the command header"},
    {Exchange::kSet, "set", 3, false, "the data chunk 0"},
    {Exchange::kRestore, "restore", 1, false, "the command header"},
    {Exchange::kRestore, "restore", 2, true, "the answer to the command header"},
    {Exchange::kRestore, "restore", 3, false, "the data chunk 0"},
    {Exchange::kCloseNotice, "close notice", 1, false, "the close notice"},
    {Exchange::kCloseNotice, "close notice", 2, true, "the answer to the notice"},
};

const int kErrors[] = {ENODEV, EIO, EPIPE, ETIMEDOUT, EPROTO};

class WindowFaultMatrixE2E : public test::SettingsWindowFixture {
 protected:
  WindowFaultMatrixE2E() : SettingsWindowFixture(host) {}

  // Runs the step's exchange with the fault in place; gives the reason the
  // window reported or logged.
  void Run(const Step& step, const std::function<void(EmulatedReader&)>& fault, const std::string& cause) {
    EmulatedReader& reader = *reader_;
    boxes.Clear();
    reader.ClearRecords();
    if (step.exchange == Exchange::kOpenNotice) fault(reader);
    test::LogCapture log("rdrconf.reader");
    Start();
    Choose(id::kMode, 1);  // Passive: a block the reader does not hold yet
    const ReaderParameterBlock before = reader.Settings();
    if (step.exchange != Exchange::kOpenNotice) {
      reader.ClearRecords();
      fault(reader);
    }
    switch (step.exchange) {
      case Exchange::kOpenNotice: break;
      case Exchange::kSet: Press(id::kSetConfig); break;
      case Exchange::kRestore: Press(id::kRestoreConfig); break;
      case Exchange::kCloseNotice: window->Window().close(); break;
    }

    const std::string reason = std::string(step.words) + " request failed: ";
    // Nothing follows a failed request: the exchange stops there.
    EXPECT_EQ(static_cast<int>(reader.FeatureRequests().size()), step.request);
    EXPECT_EQ(reader.Settings(), before) << "no settings were taken";
    if (step.exchange == Exchange::kSet || step.exchange == Exchange::kRestore) {
      ASSERT_EQ(boxes.Boxes().size(), 1u);
      EXPECT_EQ(boxes.Boxes()[0].text, test::TextBytes("zh", ui_text::kSysFailed));
      const std::string& details = boxes.Boxes()[0].details;
      EXPECT_EQ(details.rfind("zh:reason_failed\n" + reason, 0), 0u) << details;
      EXPECT_NE(details.find(cause), std::string::npos) << details;
    } else {
      // A notice is never reported in a box; the log says what happened.
      EXPECT_TRUE(boxes.Boxes().empty());
      ASSERT_EQ(log.Lines().size(), 1) << log.Lines().join('|').toStdString();
      EXPECT_NE(log.Lines()[0].toStdString().find(reason), std::string::npos);
      EXPECT_NE(log.Lines()[0].toStdString().find(cause), std::string::npos);
    }
    if (step.exchange == Exchange::kCloseNotice) {
      EXPECT_FALSE(window->Window().isVisible()) << "it closes all the same";
    }
    window.reset();
  }

  EmulatedHidBus bus;
  HidApiHost host;
  EmulatedReader* reader_ = &bus.AddReader();
};

TEST_F(WindowFaultMatrixE2E, EveryRequestFailingWithEachDeviceErrorIsReportedWithItsReason) {
  for (const Step& step : kSteps) {
    for (const int number : kErrors) {
      SCOPED_TRACE(std::string(step.name) + ", request " + std::to_string(step.request) + ", " +
                   std::strerror(number));
      Run(step, [&](EmulatedReader& r) { r.FailRequest(step.request, number); },
          std::string(std::strerror(number)) + " (errno " + std::to_string(number) + ")");
    }
  }
}

TEST_F(WindowFaultMatrixE2E, AnAnswerCutShortIsAFailedRequest) {
  for (const Step& step : kSteps) {
    if (!step.get) continue;
    SCOPED_TRACE(std::string(step.name) + ", request " + std::to_string(step.request));
    Run(step, [&](EmulatedReader& r) { r.ShortenAnswer(step.request, 4); }, "short answer: 4 of 9 bytes");
  }
}

}  // namespace
}  // namespace rdrconf
