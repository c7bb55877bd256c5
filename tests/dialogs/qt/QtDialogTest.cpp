// The Qt back-end of the dialog framework, beside the contract that every
// back-end keeps (../DialogContractTest.cpp): the widgets it makes, the
// dialog units, the font, the real message box, the icon, and what screen
// readers learn of the controls (Qt's accessibility interfaces, as AT-SPI
// hands them on).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QAbstractItemView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "dialogs/AppIcon.h"
#include "dialogs/DialogBase.h"
#include "dialogs/MessageBox.h"
#include "dialogs/qt/DialogWindow.h"
#include "tests/support/RecordingDialog.h"

namespace rdrconf {
namespace {

using namespace test::probe_id;
using test::RecordingDialog;
using test::RecordingTemplate;
using test::UnwatchedBoxes;

TEST(QtDialogTest, ControlsAreWidgetsOfTheirKinds) {
  RecordingDialog dialog(true);
  const DialogWindow& window = dialog.Window();
  ASSERT_NE(window.ControlAs<QComboBox>(kList), nullptr);
  EXPECT_EQ(window.ControlAs<QComboBox>(kList)->count(), 3);
  EXPECT_NE(window.ControlAs<QCheckBox>(kCheck), nullptr);
  EXPECT_NE(window.ControlAs<QPushButton>(kButton), nullptr);
  EXPECT_NE(window.ControlAs<QLabel>(kLabel), nullptr);
  EXPECT_NE(window.ControlAs<QGroupBox>(kBox), nullptr);
  EXPECT_TRUE(window.ControlAs<QPushButton>(kIdOk)->isDefault());
  EXPECT_FALSE(window.ControlAs<QPushButton>(kButton)->isDefault());
  EXPECT_EQ(window.Control(999), nullptr);
  EXPECT_EQ(window.ControlAs<QLabel>(kList), nullptr) << "a list is not a label";
}

TEST(QtDialogTest, InitialisationRunsOnceBeforeTheFirstShow) {
  RecordingDialog dialog;
  EXPECT_FALSE(dialog.IsInitialised());
  dialog.Window().show();
  dialog.Window().hide();
  dialog.Window().show();
  EXPECT_EQ(dialog.events, std::vector<std::string>{"init"});
}

TEST(QtDialogTest, TemplatePositionsAreScaledByTheFontsDialogUnits) {
  RecordingDialog dialog;
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
  EXPECT_EQ(dialog.Window().font().pointSize(), 14);
  EXPECT_TRUE(dialog.Window().font().bold());
}

// A template font that the machine lacks is asked for by its first
// installed substitute (as Calibri by Carlito), so that the toolkit does not
// search the whole font configuration for it; one without any keeps its name.
TEST(QtDialogTest, AMissingTemplateFontIsTakenFromItsInstalledSubstitute) {
  const QStringList installed = QFontDatabase::families();
  if (installed.isEmpty()) GTEST_SKIP() << "no font is installed";
  const QString missing = QStringLiteral("RDRCONF Missing Family");
  const QString alone = QStringLiteral("RDRCONF Lonely Family");
  ASSERT_FALSE(QFontDatabase::hasFamily(missing));
  ASSERT_FALSE(QFontDatabase::hasFamily(alone));
  QFont::insertSubstitutions(missing, {QStringLiteral("RDRCONF Also Missing"), installed.front()});

  DialogTemplate withSubstitute = RecordingTemplate(false);
  withSubstitute.fontFamily = missing.toStdString();
  DialogBase substituted(withSubstitute, UnwatchedBoxes());
  // The substitutes are kept in lower case; families match in any case.
  EXPECT_EQ(substituted.Window().font().family().toLower().toStdString(), installed.front().toLower().toStdString());

  DialogTemplate without = RecordingTemplate(false);
  without.fontFamily = alone.toStdString();
  DialogBase named(without, UnwatchedBoxes());
  EXPECT_EQ(named.Window().font().family().toStdString(), alone.toStdString());
  QFont::removeSubstitutions(missing);
}

TEST(QtDialogTest, SystemMenuIsTheWindowsContextMenu) {
  RecordingDialog dialog;
  EXPECT_TRUE(dialog.Window().SystemMenu().actions().isEmpty());
  dialog.AppendSystemMenuSeparator();
  dialog.AppendSystemMenuItem(256, "Language");
  const auto actions = dialog.Window().SystemMenu().actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text(), QStringLiteral("Language"));
  EXPECT_EQ(actions[1]->data().toInt(), 256);
}

// A label would take a text that looks like HTML as HTML, and load what it
// names (a FIFO there hangs the window, /dev/zero fills memory); so would
// the labels of the real message box.
TEST(QtDialogTest, LabelsAndMessageBoxesNeverTakeTextsAsRichText) {
  const std::string markup = "<img src=\"/dev/zero\"><b>bold</b>";
  RecordingDialog dialog;
  dialog.SetControlCaption(kLabel, markup);
  EXPECT_EQ(dialog.Window().ControlAs<QLabel>(kLabel)->textFormat(), Qt::PlainText);

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

TEST(QtDialogTest, RealMessageBoxHasNoTitleOneOkButtonAndNoIcon) {
  RecordingDialog dialog;
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

// --- What a screen reader learns ---------------------------------------------

constexpr int kFirstLabel = 1, kFirstList = 2, kModeLabel = 3, kModeList = 4, kAmpersandLabel = 5,
              kAmpersandList = 6, kCheckLabel = 7, kChecked = 8, kUnlabelledList = 9, kLive = 10;

DialogTemplate LabelledTemplate() {
  DialogTemplate t;
  t.width = 200;
  t.height = 120;
  t.controls = {
      Label(kFirstLabel, {5, 5, 50, 8}, "卡类型："),  // the full-width colon of the Chinese texts
      DropDownList(kFirstList, {60, 5, 50, 40}, {"IC", "ID"}),
      Label(kModeLabel, {5, 20, 50, 8}, " Mode : "),
      DropDownList(kModeList, {60, 20, 50, 40}, {"Active"}),
      Label(kAmpersandLabel, {5, 35, 50, 8}, "R&D:"),
      DropDownList(kAmpersandList, {60, 35, 50, 40}),
      Label(kCheckLabel, {5, 50, 50, 8}, "Options:"),
      CheckBox(kChecked, {60, 50, 80, 10}, "Power saving"),
      DropDownList(kUnlabelledList, {60, 65, 50, 40}),
      Label(kLive, {5, 80, 150, 8}, "").Live(),
  };
  return t;
}

QAccessibleInterface* AccessibleOf(const DialogBase& dialog, int id) {
  return QAccessible::queryAccessibleInterface(dialog.Window().Control(id));
}

QString NameOf(const DialogBase& dialog, int id) { return AccessibleOf(dialog, id)->text(QAccessible::Name); }

// The controls whose labelled-by relation names control `id`.
std::vector<QObject*> LabelsOf(const DialogBase& dialog, int id) {
  std::vector<QObject*> labels;
  for (const auto& relation : AccessibleOf(dialog, id)->relations(QAccessible::Label)) {
    labels.push_back(relation.first->object());
  }
  return labels;
}

TEST(QtDialogTest, ALabelBeforeAListNamesItWithoutItsColon) {
  DialogBase dialog(LabelledTemplate(), UnwatchedBoxes());
  dialog.SelectListItem(kFirstList, 1);
  QAccessibleInterface* list = AccessibleOf(dialog, kFirstList);
  EXPECT_EQ(list->role(), QAccessible::ComboBox);
  EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("卡类型")) << "named by the label, not by its item";
  EXPECT_EQ(list->text(QAccessible::Value), QStringLiteral("ID"));
  EXPECT_EQ(LabelsOf(dialog, kFirstList), std::vector<QObject*>{dialog.Window().Control(kFirstLabel)});
  EXPECT_EQ(NameOf(dialog, kModeList), QStringLiteral("Mode"));
  EXPECT_EQ(NameOf(dialog, kAmpersandList), QStringLiteral("R&D"));

  // The name follows the label's caption, as the language sets it.
  dialog.SetControlCaption(kFirstLabel, "Card type:");
  EXPECT_EQ(NameOf(dialog, kFirstList), QStringLiteral("Card type"));
  // The list that opens is its one child; its actions open and close it.
  ASSERT_EQ(list->childCount(), 1);
  EXPECT_EQ(list->child(0)->object(), static_cast<QObject*>(dialog.Window().ControlAs<QComboBox>(kFirstList)->view()));
  EXPECT_EQ(list->indexOfChild(list->child(0)), 0);
  EXPECT_TRUE(list->actionInterface()->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
}

TEST(QtDialogTest, OnlyAListTakesItsNameFromTheLabelBeforeIt) {
  DialogBase dialog(LabelledTemplate(), UnwatchedBoxes());
  EXPECT_EQ(NameOf(dialog, kChecked), QStringLiteral("Power saving")) << "a check box has a text of its own";
  EXPECT_TRUE(LabelsOf(dialog, kChecked).empty());
  EXPECT_EQ(NameOf(dialog, kUnlabelledList), QString()) << "after a check box: no label";
  EXPECT_TRUE(LabelsOf(dialog, kUnlabelledList).empty());
  dialog.SetControlName(kUnlabelledList, "读卡器");
  EXPECT_EQ(NameOf(dialog, kUnlabelledList), QStringLiteral("读卡器"));
  dialog.SetControlName(kUnlabelledList, "Reader");
  EXPECT_EQ(NameOf(dialog, kUnlabelledList), QStringLiteral("Reader"));
  dialog.SetControlName(kModeList, "Reading mode");
  EXPECT_EQ(NameOf(dialog, kModeList), QStringLiteral("Reading mode")) << "a name of its own comes first";
}

// A label's buddy makes '&' in its text a mnemonic: the caption is kept
// plain, and the name too.
TEST(QtDialogTest, ALabelThatNamesAListStillShowsItsAmpersand) {
  DialogBase dialog(LabelledTemplate(), UnwatchedBoxes());
  auto* label = dialog.Window().ControlAs<QLabel>(kAmpersandLabel);
  EXPECT_EQ(label->buddy(), dialog.Window().Control(kAmpersandList));
  EXPECT_EQ(label->text(), QStringLiteral("R&&D:"));
  EXPECT_EQ(NameOf(dialog, kAmpersandLabel), QStringLiteral("R&D:"));
  dialog.SetControlCaption(kAmpersandLabel, "A&B:");
  EXPECT_EQ(label->text(), QStringLiteral("A&&B:"));
  EXPECT_EQ(NameOf(dialog, kAmpersandList), QStringLiteral("A&B"));
}

TEST(QtDialogTest, ALiveLabelIsANotificationNamedByItsText) {
  DialogBase dialog(LabelledTemplate(), UnwatchedBoxes());
  dialog.Window().show();
  QAccessibleInterface* live = AccessibleOf(dialog, kLive);
  EXPECT_EQ(live->role(), QAccessible::Notification);
  dialog.SetControlCaption(kLive, "Read: 1234 (4 characters, Enter)");
  EXPECT_EQ(live->text(QAccessible::Name), QStringLiteral("Read: 1234 (4 characters, Enter)"));
  EXPECT_EQ(dialog.Window().ControlAs<QLabel>(kLive)->text(), QStringLiteral("Read: 1234 (4 characters, Enter)"));
  EXPECT_EQ(AccessibleOf(dialog, kFirstLabel)->role(), QAccessible::StaticText) << "other labels stay labels";
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
