// The settings window as a user drives it, offscreen, over the real hidapi
// backend and an emulated reader: what the reader receives and ends up
// holding, and which message the user is shown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "i18n/Language.h"
#include "dialogs/qt/DialogWindow.h"
#include "tests/support/SettingsWindowFixture.h"
#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"
#include "reader/linux/HidApiHost.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

using emulated::BytesOf;
using emulated::EmulatedHidBus;
using emulated::KindsOf;
using emulated::EmulatedHidDevice;
using emulated::EmulatedReader;
using emulated::ReaderBehaviour;
using emulated::ReportKind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace id = settings_id;

const FeatureReport kCommand6Header{0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63};

std::string Shown(const char* key) { return test::TextBytes("zh", key); }

// The choices the tests make in the window: format position 11 (an IC-only
// format), Passive, No-Enter, power saving on.
const ReaderParameterBlock kChosen{11, 0, 0, 1, 0};

class SettingsWindowE2E : public test::SettingsWindowFixture {
 protected:
  SettingsWindowE2E() : SettingsWindowFixture(host) {}

  void ChooseTheTestSettings() {
    Choose(id::kCardnoType, kChosen.cardno_type);
    Choose(id::kMode, 1);   // Passive
    Choose(id::kEnter, 1);  // No-Enter
    Get<QCheckBox>(id::kPowerSaving)->click();
  }

  EmulatedHidBus bus;
  HidApiHost host;
};

TEST_F(SettingsWindowE2E, StartSendsTheOpenNoticeToTheReaderAndOpensNothingElse) {
  // Listed before the reader, so the search has to pass it by.
  EmulatedHidDevice& keyboard = bus.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& reader = bus.AddReader();

  Start();

  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(FeatureReport{0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63}));
  EXPECT_THAT(KindsOf(reader.Reports()), ElementsAre(ReportKind::kOpenNotice));
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
  EXPECT_EQ(keyboard.Opens(), 0);
  EXPECT_THAT(keyboard.FeatureRequests(), IsEmpty());
  EXPECT_THAT(boxes.Texts(), IsEmpty());
}

TEST_F(SettingsWindowE2E, SetWritesTheChosenSettingsAndRestoreTheDefaults) {
  EmulatedReader& reader = bus.AddReader();
  Start();
  ChooseTheTestSettings();

  reader.ClearRecords();
  Press(id::kSetConfig);
  EXPECT_EQ(reader.Settings(), kChosen) << DescribeBlock(reader.Settings());
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(kCommand6Header,
                          FeatureReport{0x00, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_THAT(boxes.Texts(), ElementsAre(Shown(ui_text::kSysSuccess)));

  reader.ClearRecords();
  boxes.Clear();
  Press(id::kRestoreConfig);
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults())
      << DescribeBlock(reader.Settings());
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(kCommand6Header,
                          FeatureReport{0x00, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_THAT(boxes.Texts(), ElementsAre(Shown(ui_text::kSysSuccess)));

  // Restoring left the window's choices alone: setting again sends them.
  Press(id::kSetConfig);
  EXPECT_EQ(reader.Settings(), kChosen);
}

// What the user is told for each way the reader can answer, on both buttons.
struct AnswerCase {
  const char* name;
  ReaderBehaviour behaviour;
  const char* message;
  bool settingsTaken;
};

class SettingsWindowAnswerE2E : public SettingsWindowE2E,
                                public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SettingsWindowAnswerE2E, ReaderAnswerDecidesTheMessage) {
  const AnswerCase& c = GetParam();
  EmulatedReader& reader = bus.AddReader();
  Start();
  ChooseTheTestSettings();

  reader.SetBehaviour(c.behaviour);
  Press(id::kSetConfig);
  EXPECT_EQ(reader.Settings(), c.settingsTaken ? kChosen : ReaderParameterBlock::Defaults());

  // Give the reader the chosen settings, so that a restore shows.
  reader.SetBehaviour(ReaderBehaviour::kNormal);
  Press(id::kSetConfig);
  ASSERT_EQ(reader.Settings(), kChosen);
  reader.SetBehaviour(c.behaviour);
  Press(id::kRestoreConfig);
  EXPECT_EQ(reader.Settings(), c.settingsTaken ? ReaderParameterBlock::Defaults() : kChosen);

  EXPECT_THAT(boxes.Texts(),
              ElementsAre(Shown(c.message), Shown(ui_text::kSysSuccess), Shown(c.message)));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SettingsWindowAnswerE2E,
    ::testing::Values(AnswerCase{"Refused", ReaderBehaviour::kRefuse, ui_text::kSysFailed, false},
                      AnswerCase{"Stalled", ReaderBehaviour::kStall, ui_text::kSysFailed, false},
                      // A status answer counts as success, though no data was sent.
                      AnswerCase{"Status", ReaderBehaviour::kStatus, ui_text::kSysSuccess, false},
                      AnswerCase{"Garbage", ReaderBehaviour::kGarbage, ui_text::kSysSuccess, true}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

// A reader that is there when the window starts and gone (or broken) when a
// button is pressed, then back.
struct MissingCase {
  const char* name;
  void (*lose)(EmulatedReader&);
  void (*getBack)(EmulatedReader&);
};

class SettingsWindowMissingReaderE2E : public SettingsWindowE2E,
                                       public ::testing::WithParamInterface<MissingCase> {};

TEST_P(SettingsWindowMissingReaderE2E, ButtonsReportItAndSendNothing) {
  const MissingCase& c = GetParam();
  EmulatedReader& reader = bus.AddReader();
  Start();
  ChooseTheTestSettings();
  reader.ClearRecords();

  c.lose(reader);
  Press(id::kSetConfig);
  Press(id::kRestoreConfig);
  EXPECT_THAT(boxes.Texts(), ElementsAre(Shown(ui_text::kSysOpenFailed), Shown(ui_text::kSysOpenFailed)));
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
  EXPECT_THAT(reader.Reports(), IsEmpty());
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());

  c.getBack(reader);
  boxes.Clear();
  Press(id::kSetConfig);
  EXPECT_EQ(reader.Settings(), kChosen);
  EXPECT_THAT(boxes.Texts(), ElementsAre(Shown(ui_text::kSysSuccess)));
}

INSTANTIATE_TEST_SUITE_P(
    Readers, SettingsWindowMissingReaderE2E,
    ::testing::Values(MissingCase{"Unplugged", [](EmulatedReader& r) { r.Unplug(); },
                                  [](EmulatedReader& r) { r.Plug(); }},
                      MissingCase{"FailingToOpen", [](EmulatedReader& r) { r.FailOpens(true); },
                                  [](EmulatedReader& r) { r.FailOpens(false); }}),
    [](const ::testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsWindowE2E, ClosingSendsTheCloseNoticeWhenTheReaderIsThere) {
  EmulatedReader& reader = bus.AddReader();
  Start();
  reader.ClearRecords();
  window->Window().close();
  EXPECT_FALSE(window->Window().isVisible());
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(FeatureReport{0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63}));
  EXPECT_THAT(KindsOf(reader.Reports()), ElementsAre(ReportKind::kCloseNotice));

  Start();
  reader.Unplug();
  reader.ClearRecords();
  window->Window().close();
  EXPECT_FALSE(window->Window().isVisible());
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
  EXPECT_THAT(boxes.Texts(), IsEmpty());
}

}  // namespace
}  // namespace rdrconf
