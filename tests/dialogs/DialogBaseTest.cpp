// The window services: controls by id, data exchange, captions, keys, the
// system menu and the message box seam.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dialogs/AppIcon.h"
#include "dialogs/qt/DialogWindow.h"
#include "dialogs/DialogBase.h"
#include "tests/support/FakeMessageBox.h"

namespace rdrconf {
namespace {

constexpr int kList = 100;
constexpr int kCheck = 101;
constexpr int kButton = 102;
constexpr int kLabel = 103;
constexpr int kBox = 104;
constexpr int kSave = kIdOk;

DialogTemplate TestTemplate(bool withDefaultButton) {
  DialogTemplate t;
  t.width = 200;
  t.height = 100;
  t.caption = "模板";
  t.fontPointSize = 10;
  t.controls = {
      DropDownList(kList, {10, 10, 80, 60}, {"one", "two", "three"}),
      CheckBox(kCheck, {10, 30, 80, 10}, "check"),
      PushButton(kButton, {10, 50, 50, 14}, "press").Disabled(),
      Label(kLabel, {100, 10, 50, 8}, "label"),
      GroupBox(kBox, {5, 5, 190, 90}, "box"),
  };
  if (withDefaultButton) t.controls.push_back(DefaultPushButton(kSave, {120, 50, 50, 14}, "save"));
  return t;
}

// For dialogs whose message boxes a test does not look at.
MessageBoxService& UnwatchedBoxes() {
  static test::FakeMessageBox boxes;
  return boxes;
}

// Records what the base dispatches, and exchanges two members.
class ProbeDialog : public DialogBase {
 public:
  explicit ProbeDialog(bool withDefaultButton = false, MessageBoxService& boxes = UnwatchedBoxes())
      : DialogBase(TestTemplate(withDefaultButton), boxes) {}

  int list = 1;
  int check = 1;
  std::vector<std::string> events;

 protected:
  void DoDataExchange(DataExchange& exchange) override {
    exchange.ListIndex(kList, list);
    exchange.CheckState(kCheck, check);
  }
  void OnInitDialog() override {
    events.push_back("init");
    DialogBase::OnInitDialog();
  }
  void OnOK() override {
    events.push_back("ok");
    DialogBase::OnOK();
  }
  void OnCancel() override {
    events.push_back("cancel");
    DialogBase::OnCancel();
  }
  void OnCommand(int id) override {
    events.push_back("command " + std::to_string(id));
    DialogBase::OnCommand(id);
  }
  void OnListSelectionChange(int id) override { events.push_back("select " + std::to_string(id)); }
  void OnCloseRequest() override {
    events.push_back("close");
    DialogBase::OnCloseRequest();
  }
  void OnSystemCommand(int id) override { events.push_back("system " + std::to_string(id)); }
};

TEST(DialogBaseTest, ControlsAreFoundByIdWithTheirKindsAndTexts) {
  ProbeDialog dialog;
  EXPECT_EQ(dialog.Window().windowTitle(), QStringLiteral("模板"));
  ASSERT_NE(dialog.Window().ControlAs<QComboBox>(kList), nullptr);
  EXPECT_EQ(dialog.Window().ControlAs<QComboBox>(kList)->count(), 3);
  EXPECT_EQ(dialog.Window().ControlAs<QComboBox>(kList)->currentIndex(), -1) << "no selection before the exchange";
  EXPECT_EQ(dialog.Window().ControlAs<QCheckBox>(kCheck)->text(), QStringLiteral("check"));
  EXPECT_FALSE(dialog.Window().ControlAs<QPushButton>(kButton)->isEnabled());
  EXPECT_EQ(dialog.Window().ControlAs<QLabel>(kLabel)->text(), QStringLiteral("label"));
  EXPECT_EQ(dialog.Window().ControlAs<QGroupBox>(kBox)->title(), QStringLiteral("box"));
  EXPECT_EQ(dialog.Window().Control(999), nullptr);
  EXPECT_EQ(dialog.Window().ControlAs<QLabel>(kList), nullptr) << "a list is not a label";
}

TEST(DialogBaseTest, CaptionsAndEnablingGoByIdAndDecodeTheirText) {
  ProbeDialog dialog;
  dialog.SetWindowCaption("caption");
  dialog.SetControlCaption(kCheck, "\xD6\xD0\xCE\xC4");  // GB18030 for 中文
  dialog.SetControlCaption(kLabel, "");
  dialog.SetControlCaption(kBox, "框");
  dialog.EnableControl(kButton);
  EXPECT_EQ(dialog.Window().windowTitle(), QStringLiteral("caption"));
  EXPECT_EQ(dialog.Window().ControlAs<QCheckBox>(kCheck)->text(), QStringLiteral("中文"));
  EXPECT_TRUE(dialog.Window().ControlAs<QLabel>(kLabel)->text().isEmpty());
  EXPECT_EQ(dialog.Window().ControlAs<QGroupBox>(kBox)->title(), QStringLiteral("框"));
  EXPECT_TRUE(dialog.Window().ControlAs<QPushButton>(kButton)->isEnabled());
  EXPECT_THROW(dialog.SetControlCaption(kList, "x"), std::logic_error);
}

TEST(DialogBaseTest, DataExchangeMovesValuesBothWays) {
  ProbeDialog dialog;
  dialog.Initialise();  // exchange to the controls: list 1, check 1
  auto* list = dialog.Window().ControlAs<QComboBox>(kList);
  auto* check = dialog.Window().ControlAs<QCheckBox>(kCheck);
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_TRUE(check->isChecked());

  list->setCurrentIndex(-1);
  check->setChecked(false);
  dialog.UpdateData(true);
  EXPECT_EQ(dialog.list, -1);
  EXPECT_EQ(dialog.check, 0);

  dialog.list = 2;
  dialog.check = 7;  // any nonzero value ticks the box
  dialog.UpdateData(false);
  EXPECT_EQ(list->currentIndex(), 2);
  EXPECT_TRUE(check->isChecked());
  dialog.UpdateData(true);
  EXPECT_EQ(dialog.check, 1);
}

TEST(DialogBaseTest, InitialisationRunsOnceBeforeTheFirstShow) {
  ProbeDialog dialog;
  EXPECT_FALSE(dialog.IsInitialised());
  dialog.Window().show();
  dialog.Window().hide();
  dialog.Window().show();
  EXPECT_EQ(dialog.events, std::vector<std::string>{"init"});
}

TEST(DialogBaseTest, TemplatePositionsAreScaledByTheFontsDialogUnits) {
  ProbeDialog dialog;
  const QSize units = dialog.Window().BaseUnits();
  const QFontMetrics metrics(dialog.Window().font());
  EXPECT_EQ(units.height(), metrics.height());
  EXPECT_GT(units.width(), 0);
  EXPECT_EQ(dialog.Window().size(), QSize((200 * units.width() + 2) / 4, (100 * units.height() + 4) / 8));
  const QRect label = dialog.Window().ControlAs<QLabel>(kLabel)->geometry();
  EXPECT_EQ(label, QRect((100 * units.width() + 2) / 4, (10 * units.height() + 4) / 8,
                         (50 * units.width() + 2) / 4, (8 * units.height() + 4) / 8));
  auto* list = dialog.Window().ControlAs<QComboBox>(kList);
  EXPECT_EQ(list->height(), list->sizeHint().height()) << "a closed list is one line high";
}

// A template font that the machine lacks is asked for by its first
// installed substitute (as Calibri by Carlito), so that the toolkit does not
// search the whole font configuration for it; one without any keeps its name.
TEST(DialogBaseTest, AMissingTemplateFontIsTakenFromItsInstalledSubstitute) {
  const QStringList installed = QFontDatabase::families();
  if (installed.isEmpty()) GTEST_SKIP() << "no font is installed";
  const QString missing = QStringLiteral("RDRCONF Missing Family");
  const QString alone = QStringLiteral("RDRCONF Lonely Family");
  ASSERT_FALSE(QFontDatabase::hasFamily(missing));
  ASSERT_FALSE(QFontDatabase::hasFamily(alone));
  QFont::insertSubstitutions(missing, {QStringLiteral("RDRCONF Also Missing"), installed.front()});

  DialogTemplate withSubstitute = TestTemplate(false);
  withSubstitute.fontFamily = missing.toStdString();
  DialogBase substituted(withSubstitute, UnwatchedBoxes());
  // The substitutes are kept in lower case; families match in any case.
  EXPECT_EQ(substituted.Window().font().family().toLower().toStdString(), installed.front().toLower().toStdString());

  DialogTemplate without = TestTemplate(false);
  without.fontFamily = alone.toStdString();
  DialogBase named(without, UnwatchedBoxes());
  EXPECT_EQ(named.Window().font().family().toStdString(), alone.toStdString());
  QFont::removeSubstitutions(missing);
}

TEST(DialogBaseTest, KeysAndCloseBoxReachTheirHandlers) {
  {
    ProbeDialog dialog;
    dialog.Window().show();
    dialog.Window().ControlAs<QComboBox>(kList)->setFocus();
    QTest::keyClick(dialog.Window().ControlAs<QComboBox>(kList), Qt::Key_Escape);
    EXPECT_EQ(dialog.events.back(), "cancel");
    EXPECT_EQ(dialog.Window().result(), kIdCancel);
  }
  {
    ProbeDialog dialog;
    dialog.Window().show();
    dialog.Window().ControlAs<QComboBox>(kList)->setFocus();
    QTest::keyClick(dialog.Window().ControlAs<QComboBox>(kList), Qt::Key_Return);
    EXPECT_EQ(dialog.events.back(), "ok") << "Enter without a default button is the OK command";
    EXPECT_EQ(dialog.Window().result(), kIdOk);
  }
  {
    ProbeDialog dialog;
    dialog.Window().show();
    dialog.EnableControl(kButton);
    dialog.Window().ControlAs<QPushButton>(kButton)->setFocus();
    QTest::keyClick(dialog.Window().ControlAs<QPushButton>(kButton), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "command 102"}));
    EXPECT_TRUE(dialog.Window().isVisible()) << "a focused button is pressed, the dialog goes on";
  }
  {
    ProbeDialog dialog(true);
    dialog.Window().show();
    dialog.Window().ControlAs<QCheckBox>(kCheck)->setFocus();
    QTest::keyClick(dialog.Window().ControlAs<QCheckBox>(kCheck), Qt::Key_Return);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "command 1", "ok"}))
        << "Enter presses the default button";
  }
  {
    ProbeDialog dialog;
    dialog.Window().show();
    dialog.Window().close();
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "close", "cancel"}));
    EXPECT_FALSE(dialog.Window().isVisible());
  }
}

TEST(DialogBaseTest, UserChoiceInAListIsReportedButProgrammaticSelectionIsNot) {
  ProbeDialog dialog;
  dialog.Window().show();
  auto* list = dialog.Window().ControlAs<QComboBox>(kList);
  list->setCurrentIndex(0);
  EXPECT_EQ(dialog.events, std::vector<std::string>{"init"});
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(dialog.events.back(), "select 100");
}

TEST(DialogBaseTest, SystemMenuItemsSendTheirCommandIds) {
  ProbeDialog dialog;
  dialog.AppendSystemMenuSeparator();
  dialog.AppendSystemMenuItem(256, "Language");
  const auto actions = dialog.Window().SystemMenu().actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text(), QStringLiteral("Language"));
  actions[1]->trigger();
  EXPECT_EQ(dialog.events.back(), "system 256");
}

TEST(DialogBaseTest, MessageBoxGoesThroughTheServiceTheWindowWasGiven) {
  test::FakeMessageBox boxes;
  ProbeDialog dialog(false, boxes);
  dialog.MessageBox("\xE5\xAE\x8C\xE6\x88\x90", "why");  // 完成
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].owner, &dialog);
  EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("完成"));
  EXPECT_EQ(boxes.Boxes()[0].details, QStringLiteral("why"));
}

// A language file is not trusted to hold markup: a text that looks like
// HTML must show as its characters, or a label would render it and load
// what it names (a FIFO there hangs the window, /dev/zero fills memory).
TEST(DialogBaseTest, CaptionsAndMessageBoxesShowTextsAsPlainText) {
  const std::string markup = "<img src=\"/dev/zero\"><b>bold</b>";
  ProbeDialog dialog;
  dialog.SetControlCaption(kLabel, markup);
  dialog.SetControlCaption(kBox, markup);
  dialog.SetControlCaption(kCheck, markup);
  auto* label = dialog.Window().ControlAs<QLabel>(kLabel);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->text(), QString::fromStdString(markup));
  EXPECT_EQ(dialog.Window().ControlAs<QGroupBox>(kBox)->title(), QString::fromStdString(markup));

  dialog.Window().show();
  int plainLabels = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText(), QString::fromStdString(markup));
    for (const QLabel* shown : box->findChildren<QLabel*>()) {
      EXPECT_EQ(shown->textFormat(), Qt::PlainText) << shown->objectName().toStdString();
      plainLabels += shown->textFormat() == Qt::PlainText ? 1 : 0;
    }
    box->button(QMessageBox::Ok)->click();
  });
  SystemMessageBox().Show(&dialog, markup, markup);
  EXPECT_GE(plainLabels, 2) << "the text and the informative text";
}

TEST(DialogBaseTest, RealMessageBoxHasNoTitleOneOkButtonAndNoIcon) {
  ProbeDialog dialog;
  dialog.Window().show();
  bool inspected = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->windowTitle().isEmpty());
    EXPECT_EQ(box->text(), QStringLiteral("done"));
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box->parentWidget(), &dialog.Window());
    EXPECT_TRUE(box->isModal());
    inspected = true;
    box->button(QMessageBox::Ok)->click();
  });
  SystemMessageBox().Show(&dialog, "done");
  EXPECT_TRUE(inspected);
}

TEST(AppIconTest, OffersTheWindowIconSizesAndDrawsThemWhenAsked) {
  const QIcon icon = ToQIcon(LoadAppIcon());
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}}));
  for (const int size : {16, 32, 64}) {
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 0) << "the picture is drawn, not blank";
  }
  EXPECT_FALSE(LoadAppIcon().IsNull());
}

}  // namespace
}  // namespace rdrconf
