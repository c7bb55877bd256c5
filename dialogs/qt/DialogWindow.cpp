#include "dialogs/qt/DialogWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

#include "dialogs/MessageBox.h"
#include "dialogs/qt/Accessibility.h"
#include "dialogs/qt/WidgetText.h"

namespace rdrconf {
namespace {

// Which windows were shown, with their titles: off unless asked for
// (QT_LOGGING_RULES="rdrconf.windows.info=true"), for checking a build on a
// machine without a display, such as an arm64 one under emulation.
Q_LOGGING_CATEGORY(lcWindows, "rdrconf.windows", QtWarningMsg)

// Dialog base units as the original desktop platform derives them from a
// font: the average width of the 52 Latin letters, rounded, and the height.
QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

// A caption for a widget that takes '&' as the mark of a mnemonic (a
// button, a check box, a group box, a label with a buddy): each '&' is
// doubled, so that it shows as the character it is.
QString PlainCaption(QString text) { return text.replace(u'&', QStringLiteral("&&")); }

QFont TemplateFont(const DialogTemplate& dialogTemplate, const QFont& fallback) {
  QFont font = fallback;
  if (!dialogTemplate.fontFamily.empty()) {
    QString family = QString::fromStdString(dialogTemplate.fontFamily);
    // Asked for a family it lacks, the toolkit searches the font
    // configuration's whole fallback list before it takes a substitute, a
    // good part of the start-up; the first installed substitute is taken here
    // instead. A family without any is left to the toolkit's own fallback.
    if (!QFontDatabase::hasFamily(family)) {
      for (const QString& substitute : QFont::substitutes(family)) {
        if (QFontDatabase::hasFamily(substitute)) {
          family = substitute;
          break;
        }
      }
    }
    font.setFamily(family);
  }
  font.setPointSize(dialogTemplate.fontPointSize);
  font.setBold(dialogTemplate.boldFont);
  return font;
}

}  // namespace

// --- The window ---------------------------------------------------------------

DialogWindow::DialogWindow(DialogBase& dialog, const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), dialog_(dialog), systemMenu_(this) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(TemplateFont(dialogTemplate, font()));
  baseUnits_ = DialogBaseUnits(font());
  setWindowTitle(ToWidgetText(dialogTemplate.caption));
  setFixedSize(ToPixels({0, 0, dialogTemplate.width, dialogTemplate.height}).size());
  InstallAccessibleInterfaces();
  QLabel* labelBefore = nullptr;
  for (const ControlTemplate& control : dialogTemplate.controls) {
    QWidget* const widget = CreateControl(control);
    controls_[control.id] = widget;
    // A label right before a list names it (see DialogTemplate).
    if (labelBefore != nullptr && control.kind == ControlKind::kDropDownList) {
      labelBefore->setBuddy(widget);
      labelBefore->setText(PlainCaption(labelBefore->text()));
    }
    labelBefore = control.kind == ControlKind::kLabel ? static_cast<QLabel*>(widget) : nullptr;
  }
}

DialogWindow::~DialogWindow() = default;

QRect DialogWindow::ToPixels(const DialogUnitRect& rect) const {
  const auto scaleX = [this](int v) { return (v * baseUnits_.width() + 2) / 4; };
  const auto scaleY = [this](int v) { return (v * baseUnits_.height() + 4) / 8; };
  return {scaleX(rect.x), scaleY(rect.y), scaleX(rect.width), scaleY(rect.height)};
}

QWidget* DialogWindow::CreateControl(const ControlTemplate& control) {
  const QString text = ToWidgetText(control.text);
  QRect geometry = ToPixels(control.rect);
  QWidget* widget = nullptr;
  switch (control.kind) {
    case ControlKind::kDropDownList: {
      auto* list = new DropDownListWidget(this);
      for (const std::string& item : control.items) list->addItem(ToWidgetText(item));
      list->setCurrentIndex(-1);
      // The template's height includes the opened list; the closed list is
      // as high as its font needs.
      geometry.setHeight(list->sizeHint().height());
      connect(list, qOverload<int>(&QComboBox::activated), this,
              [this, id = control.id](int) { dialog_.OnListSelectionChange(id); });
      widget = list;
      break;
    }
    case ControlKind::kCheckBox:
      widget = new QCheckBox(PlainCaption(text), this);
      break;
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton: {
      auto* button = new QPushButton(PlainCaption(text), this);
      // Enter is handled by the dialog itself (see PressEnter).
      button->setAutoDefault(false);
      button->setDefault(control.kind == ControlKind::kDefaultPushButton);
      connect(button, &QPushButton::clicked, this, [this, id = control.id] { dialog_.OnCommand(id); });
      widget = button;
      break;
    }
    case ControlKind::kLabel: {
      QLabel* label = control.live ? new LiveLabel(this) : new QLabel(this);
      // A label would take a text that looks like HTML as HTML, and load
      // what it names: every caption is plain text.
      label->setTextFormat(Qt::PlainText);
      label->setText(text);
      if (control.wrapped) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      }
      widget = label;
      break;
    }
    case ControlKind::kGroupBox: {
      auto* box = new QGroupBox(PlainCaption(text), this);
      box->setFocusPolicy(Qt::NoFocus);
      widget = box;
      break;
    }
  }
  widget->setGeometry(geometry);
  widget->setEnabled(!control.disabled);
  if (control.hidden) widget->setVisible(false);
  // A group box only frames the controls around it; it must never sit on
  // top of them and take their clicks.
  if (control.kind == ControlKind::kGroupBox) widget->lower();
  return widget;
}

QWidget* DialogWindow::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void DialogWindow::setVisible(bool visible) {
  if (visible) dialog_.Initialise();
  QDialog::setVisible(visible);
}

void DialogWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  qCInfo(lcWindows).noquote() << "shown:" << windowTitle();
  if (endWhenShown_) QTimer::singleShot(0, this, [this] { done(kIdCancel); });
}

void DialogWindow::Watch(int descriptor, std::function<void()> ready) {
  auto notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read, this);
  connect(notifier.get(), &QSocketNotifier::activated, this, [ready = std::move(ready)] { ready(); });
  watches_[descriptor] = std::move(notifier);
}

int DialogWindow::StartTimer(int milliseconds, std::function<void()> elapsed) {
  const int id = nextTimer_++;
  auto timer = std::make_unique<QTimer>(this);
  timer->setSingleShot(true);
  // The timer leaves the table before `elapsed` runs (which may start
  // another), and is deleted once its signal is over.
  connect(timer.get(), &QTimer::timeout, this, [this, id, elapsed = std::move(elapsed)] {
    const auto found = timers_.find(id);
    if (found == timers_.end()) return;
    found->second.release()->deleteLater();
    timers_.erase(found);
    elapsed();
  });
  timer->start(milliseconds);
  timers_[id] = std::move(timer);
  return id;
}

int DialogWindow::RunModal() {
  ended_ = false;
  dialog_.Initialise();
  // A dialog that ended in its own initialisation is never shown.
  if (ended_) return result();
  return exec();
}

void DialogWindow::done(int result) {
  ended_ = true;
  dialog_.OnEndDialog();
  watches_.clear();
  timers_.clear();
  QDialog::done(result);
}

void DialogWindow::PressEnter() {
  if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused->isEnabled()) {
    focused->click();
    return;
  }
  for (const auto& [id, control] : controls_) {
    auto* button = qobject_cast<QPushButton*>(control);
    if (button != nullptr && button->isDefault()) {
      if (button->isEnabled()) button->click();
      return;
    }
  }
  dialog_.OnOK();
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~(Qt::KeypadModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      dialog_.OnCancel();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      PressEnter();
      break;
    default:
      QDialog::keyPressEvent(event);
  }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close request decides itself whether and how the dialog ends.
  event->ignore();
  dialog_.OnCloseRequest();
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (systemMenu_.actions().isEmpty()) return;
  systemMenu_.exec(event->globalPos());
}

// --- DialogBase on Qt --------------------------------------------------------------

namespace {

template <typename T>
T& Need(const DialogWindow& window, int id, const char* what) {
  T* control = window.ControlAs<T>(id);
  if (control == nullptr) throw std::logic_error(std::string("no ") + what + " with id " + std::to_string(id));
  return *control;
}

}  // namespace

DialogBase::DialogBase(const DialogTemplate& dialogTemplate, MessageBoxService& messageBoxes,
                       DialogBase* owner)
    : messageBoxes_(messageBoxes),
      window_(std::make_unique<DialogWindow>(*this, dialogTemplate, owner ? &owner->Window() : nullptr)) {}

DialogBase::~DialogBase() = default;

int DialogBase::DoModal() { return window_->RunModal(); }

void DialogBase::EndWhenShown() { window_->SetEndWhenShown(); }

void DialogBase::EndDialog(int result) { window_->done(result); }

bool DialogBase::HasControl(int id) const { return window_->Control(id) != nullptr; }

void DialogBase::SetWindowCaption(const std::string& text) { window_->setWindowTitle(ToWidgetText(text)); }

void DialogBase::SetControlCaption(int id, const std::string& text) {
  QWidget* const control = window_->Control(id);
  const QString caption = ToWidgetText(text);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(PlainCaption(caption));
  } else if (auto* live = qobject_cast<LiveLabel*>(control)) {
    live->Announce(caption);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(label->buddy() != nullptr ? PlainCaption(caption) : caption);
  } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
    box->setTitle(PlainCaption(caption));
  } else {
    throw std::logic_error("no control with a caption has this id");
  }
}

void DialogBase::SetControlName(int id, const std::string& name) {
  QWidget* const control = window_->Control(id);
  if (control == nullptr) throw std::logic_error("no control with id " + std::to_string(id) + " to name");
  control->setAccessibleName(ToWidgetText(name));
}

void DialogBase::EnableControl(int id, bool enable) {
  if (QWidget* const control = window_->Control(id)) control->setEnabled(enable);
}

void DialogBase::ShowControl(int id, bool show) {
  if (QWidget* const control = window_->Control(id)) control->setVisible(show);
}

void DialogBase::SetIcon(const IconHandle& icon) { window_->setWindowIcon(ToQIcon(icon)); }

void DialogBase::AddListItem(int id, const std::string& text) {
  Need<QComboBox>(*window_, id, "drop-down list").addItem(ToWidgetText(text));
}

void DialogBase::DeleteListItem(int id, int position) {
  Need<QComboBox>(*window_, id, "drop-down list").removeItem(position);
}

int DialogBase::ListItemCount(int id) const { return Need<QComboBox>(*window_, id, "drop-down list").count(); }

int DialogBase::ListSelection(int id) const {
  return Need<QComboBox>(*window_, id, "drop-down list").currentIndex();
}

void DialogBase::SelectListItem(int id, int position) {
  Need<QComboBox>(*window_, id, "drop-down list").setCurrentIndex(position);
}

bool DialogBase::IsChecked(int id) const { return Need<QCheckBox>(*window_, id, "check box").isChecked(); }

void DialogBase::SetChecked(int id, bool checked) {
  Need<QCheckBox>(*window_, id, "check box").setChecked(checked);
}

void DialogBase::WatchDescriptor(int descriptor, std::function<void()> ready) {
  window_->Watch(descriptor, std::move(ready));
}

void DialogBase::StopWatching(int descriptor) { window_->StopWatching(descriptor); }

int DialogBase::StartTimer(int milliseconds, std::function<void()> elapsed) {
  return window_->StartTimer(milliseconds, std::move(elapsed));
}

void DialogBase::StopTimer(int id) { window_->StopTimer(id); }

void DialogBase::AppendSystemMenuSeparator() { window_->SystemMenu().addSeparator(); }

void DialogBase::AppendSystemMenuItem(int id, const std::string& text) {
  QAction* const action = window_->SystemMenu().addAction(ToWidgetText(text));
  action->setData(id);
  QObject::connect(action, &QAction::triggered, window_.get(), [this, id] { OnSystemCommand(id); });
}

}  // namespace rdrconf
