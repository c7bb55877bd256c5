// The settings window, offscreen, over the in-memory reader and the
// message-box seam: what reaches the wire for each thing a user does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <map>

#include "i18n/Language.h"
#include "dialogs/qt/DialogWindow.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SettingsWindowFixture.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

using test::FakeHidHost;
using test::Report;
namespace id = settings_id;

const FeatureReport kHeader = Report({0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63});
const FeatureReport kOpenNotice = Report({0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63});
const FeatureReport kCloseNotice = Report({0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63});

FeatureReport Block(std::uint8_t format, std::uint8_t mode, std::uint8_t enter, std::uint8_t saving) {
  return Report({0x00, format, mode, enter, saving, 0x00, 0x00, 0x00, 0x00});
}

using test::Text;
using test::TextBytes;

class SettingsWindowTest : public test::SettingsWindowFixture {
 protected:
  SettingsWindowTest() : SettingsWindowFixture(host) {}

  void SetUp() override {
    SettingsWindowFixture::SetUp();
    host.AddReader();
  }

  void TearDown() override {
    window.reset();
    EXPECT_EQ(host.Opens(), host.Closes()) << "every opened reader is closed";
    SettingsWindowFixture::TearDown();
  }

  std::vector<FeatureReport> SentAfterStart(std::size_t skip = 1) const {
    auto reports = host.SetReports();
    return {reports.begin() + std::min(skip, reports.size()), reports.end()};
  }

  QStringList FormatItems() const {
    QStringList items;
    const QComboBox* list = Get<QComboBox>(id::kCardnoType);
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
  }

  FakeHidHost host;
};

TEST_F(SettingsWindowTest, StartWithAReaderSendsTheOpenNoticeAndShowsNoMessage) {
  Start();
  EXPECT_EQ(host.SetReports(), std::vector<FeatureReport>{kOpenNotice});
  EXPECT_EQ(host.OpenNow(), 0) << "the reader is closed again after the notice";
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(Get<QPushButton>(id::kSetConfig)->isEnabled());
  EXPECT_TRUE(Get<QPushButton>(id::kRestoreConfig)->isEnabled());
  EXPECT_EQ(Get<QComboBox>(id::kCardType)->currentText(), "IC");
  EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->currentText(), "6h10d");
  EXPECT_EQ(Get<QComboBox>(id::kMode)->currentText(), "Active");
  EXPECT_EQ(Get<QComboBox>(id::kEnter)->currentText(), "Enter");
  EXPECT_FALSE(Get<QCheckBox>(id::kPowerSaving)->isChecked());
  window->Window().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window->Window()));
  EXPECT_EQ(QApplication::focusWidget(), Get<QComboBox>(id::kCardType)) << "focus on the first tab stop";
}

TEST_F(SettingsWindowTest, StartWithoutAReaderSendsNothingAndShowsNoMessage) {
  host.RemoveInterface(FakeHidHost::kReaderPath);
  Start();
  EXPECT_TRUE(host.SetReports().empty());
  EXPECT_EQ(host.Opens(), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(Get<QPushButton>(id::kSetConfig)->isEnabled());
  EXPECT_TRUE(Get<QPushButton>(id::kRestoreConfig)->isEnabled());
}

TEST_F(SettingsWindowTest, TextsComeFromTheChosenLanguageFile) {
  test::WriteBytes("RDRCONF.config", "[config]\nlanguage=en-US\n");
  Start();
  EXPECT_EQ(window->Window().windowTitle(), Text("en", "form_title"));
  EXPECT_EQ(Get<QGroupBox>(id::kBoxReader)->title(), Text("en", "box_reader"));
  EXPECT_EQ(Get<QLabel>(id::kLblCardType)->text(), Text("en", "lbl_card_type"));
  EXPECT_EQ(Get<QLabel>(id::kLblCardnoType)->text(), Text("en", "lbl_cardno_type"));
  EXPECT_EQ(Get<QLabel>(id::kLblMode)->text(), Text("en", "lbl_mode"));
  EXPECT_EQ(Get<QLabel>(id::kLblEnter)->text(), Text("en", "lbl_enter"));
  EXPECT_EQ(Get<QCheckBox>(id::kPowerSaving)->text(), Text("en", "btn_pending"));
  EXPECT_EQ(Get<QPushButton>(id::kSetConfig)->text(), Text("en", "btn_set_config"));
  EXPECT_EQ(Get<QPushButton>(id::kRestoreConfig)->text(), Text("en", "btn_restore_config"));
}

TEST_F(SettingsWindowTest, FormatListFollowsTheCardType) {
  Start();
  const QStringList fixed = {"6h", "8h", "10h", "5h10d", "6h10d", "8h10d", "10h10d", "2h10d+4h10d"};
  const QStringList icOnly = {Text("zh", "type_8"), Text("zh", "type_9"), Text("zh", "type_10"),
                              Text("zh", "type_11"), Text("zh", "type_12")};
  EXPECT_EQ(FormatItems(), fixed + icOnly);

  Choose(id::kCardnoType, 1);  // "8h"
  Choose(id::kCardType, 1);    // ID
  EXPECT_EQ(FormatItems(), fixed);
  EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->currentIndex(), 1) << "a fixed format stays chosen";

  Choose(id::kCardType, 0);  // IC again
  EXPECT_EQ(FormatItems(), fixed + icOnly);
  EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->currentIndex(), 1);
}

TEST_F(SettingsWindowTest, SwitchingToIdWithAnIcOnlyFormatFallsBackToTheDefaultFormat) {
  Start();
  for (int position = 8; position <= 12; ++position) {
    SCOPED_TRACE(position);
    Choose(id::kCardType, 0);
    Choose(id::kCardnoType, position);
    Choose(id::kCardType, 0);  // choosing IC again keeps the IC-only format
    EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->currentIndex(), position);
    Choose(id::kCardType, 1);
    EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->currentIndex(), 4);
  }
  host.ClearRequests();
  Press(id::kSetConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(4, 1, 1, 0)}))
      << "0xFF is never sent";
}

TEST_F(SettingsWindowTest, SetSendsTheChosenBlock) {
  Start();
  Press(id::kSetConfig);
  EXPECT_EQ(SentAfterStart(), (std::vector<FeatureReport>{kHeader, Block(4, 1, 1, 0)}))
      << "the starting choices are the reader's defaults";

  host.ClearRequests();
  Choose(id::kMode, 1);
  Choose(id::kEnter, 1);
  Get<QCheckBox>(id::kPowerSaving)->click();
  Press(id::kSetConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(4, 0, 0, 1)}));

  host.ClearRequests();
  Choose(id::kCardType, 1);  // the card type is not sent
  Press(id::kSetConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(4, 0, 0, 1)}));

  host.ClearRequests();
  Choose(id::kCardType, 0);
  Choose(id::kCardnoType, 11);
  Press(id::kSetConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(11, 0, 0, 1)}));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>(4, TextBytes("zh", "sys_success")));
}

TEST_F(SettingsWindowTest, RestoreSendsTheDefaultsAndLeavesTheControlsAlone) {
  Start();
  Choose(id::kCardnoType, 0);
  Choose(id::kMode, 1);
  Choose(id::kEnter, 1);
  Get<QCheckBox>(id::kPowerSaving)->click();
  host.ClearRequests();
  Press(id::kRestoreConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(4, 1, 1, 0)}));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{TextBytes("zh", "sys_success")});
  EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->currentIndex(), 0);
  EXPECT_EQ(Get<QComboBox>(id::kMode)->currentIndex(), 1);
  EXPECT_EQ(Get<QComboBox>(id::kEnter)->currentIndex(), 1);
  EXPECT_TRUE(Get<QCheckBox>(id::kPowerSaving)->isChecked());
}

TEST_F(SettingsWindowTest, ReaderStaysOpenUntilTheMessageBoxIsDismissed) {
  Start();
  int openWhileShown = -1;
  boxes.WhileShown([&] { openWhileShown = host.OpenNow(); });
  for (int button : {id::kSetConfig, id::kRestoreConfig}) {
    openWhileShown = -1;
    Press(button);
    EXPECT_EQ(openWhileShown, 1);
    EXPECT_EQ(host.OpenNow(), 0);
  }
}

TEST_F(SettingsWindowTest, MissingReaderIsReportedAndAttachingItLaterWorks) {
  host.RemoveInterface(FakeHidHost::kReaderPath);
  Start();
  for (int button : {id::kSetConfig, id::kRestoreConfig}) Press(button);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>(2, TextBytes("zh", "sys_open_failed")));
  EXPECT_TRUE(host.SetReports().empty());

  host.AddReader();
  boxes.Clear();
  Press(id::kSetConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(4, 1, 1, 0)}));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{TextBytes("zh", "sys_success")});
}

TEST_F(SettingsWindowTest, ReaderAnswersDecideTheMessage) {
  Start();
  host.ClearRequests();
  host.QueueAnswer({0, 0, 0, 0, 0x02, 0, 0, 0});  // status answer to the header
  Press(id::kSetConfig);
  host.QueueAnswer({0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA});
  Press(id::kRestoreConfig);
  host.FailSet(5);  // the chunk of the next command is lost (set 1 was the open notice)
  Press(id::kSetConfig);
  EXPECT_EQ(boxes.Texts(),
            (std::vector<std::string>{TextBytes("zh", "sys_success"), TextBytes("zh", "sys_failed"),
                                      TextBytes("zh", "sys_failed")}));
  EXPECT_EQ(host.SetReports().size(), 4u) << "status and refusal stop before the chunk";
  EXPECT_EQ(boxes.Boxes()[0].owner, window.get());
}

TEST_F(SettingsWindowTest, EachFailureIsExplainedUnderTheMessageAndLogged) {
  struct Case {
    const char* name;
    void (*inflict)(FakeHidHost&);
    const char* message;
    const char* reason;  // nullptr: no details
    const char* detail;  // the system's words that follow the reason, or nullptr
  } const cases[] = {
      {"done", [](FakeHidHost&) {}, "sys_success", nullptr, nullptr},
      {"no reader", [](FakeHidHost& h) { h.RemoveInterface(FakeHidHost::kReaderPath); }, "sys_open_failed",
       "reason_no_reader", nullptr},
      {"denied", [](FakeHidHost& h) { h.FailOpen(FakeHidHost::kReaderPath, EACCES); }, "sys_open_failed",
       "reason_denied", "permission denied opening the reader: Permission denied (errno 13)"},
      {"busy", [](FakeHidHost& h) { h.FailOpen(FakeHidHost::kReaderPath, EWOULDBLOCK); }, "sys_open_failed",
       "reason_busy", nullptr},
      {"refused", [](FakeHidHost& h) { h.QueueAnswer({0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}); },
       "sys_failed", "reason_refused", nullptr},
      {"header lost", [](FakeHidHost& h) { h.FailSet(2, EIO); }, "sys_failed", "reason_failed",
       "the command header request failed: Input/output error (errno 5)"},
      {"short answer", [](FakeHidHost& h) { h.ShortGet(2, 3); }, "sys_failed", "reason_failed",
       "the answer to the command header request failed: short answer: 3 of 9 bytes"},
      {"status", [](FakeHidHost& h) { h.QueueAnswer({0, 0, 0, 0, 0x02, 0, 0, 0}); }, "sys_success",
       "reason_status", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHidHost scenario;
    scenario.AddReader();
    CardReader cardReader(scenario);
    test::FakeMessageBox shown;
    CRDRCONFNormalDlg dialog(cardReader, shown);
    dialog.Window().show();  // the open notice is set 1 and get 1
    c.inflict(scenario);
    test::LogCapture log("rdrconf.reader");
    dialog.Window().ControlAs<QPushButton>(id::kSetConfig)->click();

    ASSERT_EQ(shown.Boxes().size(), 1u);
    EXPECT_EQ(shown.Boxes()[0].text, TextBytes("zh", c.message));
    std::string details;
    if (c.reason != nullptr) details = TextBytes("zh", c.reason);
    if (c.detail != nullptr) details += std::string("\n") + c.detail;
    EXPECT_EQ(shown.Boxes()[0].details, details);
    EXPECT_EQ(log.Lines().size(), c.reason == nullptr ? 0 : 1) << log.Lines().join('|').toStdString();
  }
}

TEST_F(SettingsWindowTest, FailedOpenNoticeChangesNothing) {
  host.FailGet(1);
  Start();
  Press(id::kSetConfig);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{TextBytes("zh", "sys_success")});
}

TEST_F(SettingsWindowTest, ClosingSendsTheCloseNoticeButEscAndEnterDoNot) {
  Start();
  host.ClearRequests();
  window->Window().close();
  EXPECT_EQ(host.SetReports(), std::vector<FeatureReport>{kCloseNotice});
  EXPECT_FALSE(window->Window().isVisible());
  EXPECT_EQ(window->Window().result(), kIdCancel);

  for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    Start();
    host.ClearRequests();
    QTest::keyClick(Get<QComboBox>(id::kCardType), key);
    EXPECT_FALSE(window->Window().isVisible());
    EXPECT_TRUE(host.SetReports().empty());
    EXPECT_TRUE(boxes.Boxes().empty());
  }
}

TEST_F(SettingsWindowTest, ClosingWithoutAReaderJustCloses) {
  Start();
  host.RemoveInterface(FakeHidHost::kReaderPath);
  window->Window().close();
  EXPECT_FALSE(window->Window().isVisible());
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SettingsWindowTest, EnterOnAFocusedButtonPressesIt) {
  Start();
  host.ClearRequests();
  Get<QPushButton>(id::kRestoreConfig)->setFocus();
  QTest::keyClick(Get<QPushButton>(id::kRestoreConfig), Qt::Key_Return);
  EXPECT_TRUE(window->Window().isVisible());
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(4, 1, 1, 0)}));
}

TEST_F(SettingsWindowTest, LanguageItemOpensTheLanguageDialogAndChangesNoText) {
  Start();
  const auto actions = window->Window().SystemMenu().actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text(), "Language");
  EXPECT_EQ(actions[1]->data().toInt(), kLanguageCommand);

  QString openedTitle;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    openedTitle = dialog->windowTitle();
    auto* list = dialog->findChild<QComboBox*>();
    ASSERT_NE(list, nullptr);
    list->setCurrentIndex(1);
    QTest::keyClick(list, Qt::Key_Return);  // save English
  });
  actions[1]->trigger();
  EXPECT_EQ(openedTitle, "Language");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{TextBytes("zh", "system_restart")});
  EXPECT_EQ(window->Window().windowTitle(), Text("zh", "form_title"));
  EXPECT_EQ(Get<QComboBox>(id::kCardnoType)->itemText(8), Text("zh", "type_8"));
  EXPECT_EQ(ReadLanguageChoice(), "en-US");
}

// Started from a folder without language files (and none installed), the
// window falls back on the English texts built into it: never blank labels.
TEST_F(SettingsWindowTest, WithoutLanguageFilesTheBuiltInEnglishShowsAndEverythingWorks) {
  std::remove("RDRCONF.zh-CN.ini");
  std::remove("RDRCONF.en-US.ini");
  Start();
  const auto english = [](const char* key) { return QString::fromStdString(BuiltInText(key)); };
  EXPECT_EQ(window->Window().windowTitle(), english(ui_text::kFormTitle));
  EXPECT_EQ(Get<QGroupBox>(id::kBoxReader)->title(), english(ui_text::kBoxReader));
  EXPECT_EQ(Get<QLabel>(id::kLblCardType)->text(), english(ui_text::kLblCardType));
  EXPECT_EQ(Get<QLabel>(id::kLblEnter)->text(), english(ui_text::kLblEnter));
  EXPECT_EQ(Get<QCheckBox>(id::kPowerSaving)->text(), english(ui_text::kBtnPending));
  EXPECT_EQ(Get<QPushButton>(id::kSetConfig)->text(), english(ui_text::kBtnSetConfig));
  EXPECT_EQ(FormatItems().size(), 13);
  EXPECT_EQ(FormatItems()[12], english(ui_text::kType12));
  for (const QString& item : FormatItems()) EXPECT_FALSE(item.isEmpty());

  Choose(id::kCardnoType, 12);
  host.ClearRequests();
  Press(id::kSetConfig);
  EXPECT_EQ(host.SetReports(), (std::vector<FeatureReport>{kHeader, Block(12, 1, 1, 0)}));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{BuiltInText(ui_text::kSysSuccess)});
}

// Windows names a list from the static text right before it in the
// template (its z-order), and the Qt back-end follows the same order: each
// list of the options has its label right before it, the reader picker
// (named by a text of its own) none. The controls that take the focus keep
// their order: the options first, then the additions.
TEST(SettingsWindowTemplateTest, EachListStandsRightAfterTheLabelThatNamesIt) {
  const std::vector<ControlTemplate>& controls = SettingsWindowTemplate().controls;
  std::map<int, int> labelBefore;  // list -> the label right before it, or 0
  std::vector<int> focusOrder;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlTemplate& control = controls[i];
    if (control.kind == ControlKind::kDropDownList) {
      labelBefore[control.id] = i > 0 && controls[i - 1].kind == ControlKind::kLabel ? controls[i - 1].id : 0;
    }
    if (control.kind != ControlKind::kLabel && control.kind != ControlKind::kGroupBox) focusOrder.push_back(control.id);
  }
  EXPECT_EQ(labelBefore, (std::map<int, int>{{id::kCardType, id::kLblCardType},
                                             {id::kCardnoType, id::kLblCardnoType},
                                             {id::kMode, id::kLblMode},
                                             {id::kEnter, id::kLblEnter},
                                             {id::kReaderPicker, 0}}));
  EXPECT_EQ(focusOrder, (std::vector<int>{id::kCardType, id::kCardnoType, id::kMode, id::kEnter, id::kPowerSaving,
                                          id::kSetConfig, id::kRestoreConfig, id::kReaderPicker, id::kTestScan}));
}

TEST_F(SettingsWindowTest, TemplateHasItsControlsInTabOrder) {
  Start();
  const std::vector<int> tabOrder = {id::kCardType,  id::kCardnoType,     id::kMode,    id::kEnter, id::kPowerSaving,
                                     id::kSetConfig, id::kRestoreConfig, id::kTestScan};
  QWidget* expected = window->Window().Control(tabOrder.front());
  for (std::size_t i = 1; i < tabOrder.size(); ++i) {
    QWidget* next = expected->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus || !next->isVisibleTo(&window->Window())) next = next->nextInFocusChain();
    EXPECT_EQ(next, window->Window().Control(tabOrder[i])) << "after control " << tabOrder[i - 1];
    expected = next;
  }
  EXPECT_FALSE(window->Window().windowIcon().isNull());
  EXPECT_EQ(window->Window().font().pointSize(), 14);
  EXPECT_TRUE(window->Window().font().bold());
}

}  // namespace
}  // namespace rdrconf
