#include "dialogs/DialogBase.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <stdexcept>

#include "dialogs/MessageBox.h"
#include "dialogs/WidgetText.h"

namespace rdrconf {
namespace {

// Dialog base units as the original desktop platform derives them from a
// font: the average width of the 52 Latin letters, rounded, and the height.
QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

QFont TemplateFont(const DialogTemplate& dialogTemplate, const QFont& fallback) {
  QFont font = fallback;
  if (!dialogTemplate.fontFamily.empty()) {
    font.setFamily(QString::fromStdString(dialogTemplate.fontFamily));
  }
  font.setPointSize(dialogTemplate.fontPointSize);
  font.setBold(dialogTemplate.boldFont);
  return font;
}

}  // namespace

void DataExchange::ListIndex(int id, int& value) {
  auto* list = dialog_.ControlAs<QComboBox>(id);
  if (list == nullptr) throw std::logic_error("no drop-down list with this id");
  if (toMembers_) {
    value = list->currentIndex();
  } else {
    list->setCurrentIndex(value >= 0 && value < list->count() ? value : -1);
  }
}

void DataExchange::CheckState(int id, int& value) {
  auto* box = dialog_.ControlAs<QCheckBox>(id);
  if (box == nullptr) throw std::logic_error("no check box with this id");
  if (toMembers_) {
    value = box->isChecked() ? 1 : 0;
  } else {
    box->setChecked(value != 0);
  }
}

DialogBase::DialogBase(const DialogTemplate& dialogTemplate, MessageBoxService& messageBoxes,
                       QWidget* parent)
    : QDialog(parent), messageBoxes_(messageBoxes), systemMenu_(this) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(TemplateFont(dialogTemplate, font()));
  baseUnits_ = DialogBaseUnits(font());
  SetWindowCaption(dialogTemplate.caption);
  setFixedSize(ToPixels({0, 0, dialogTemplate.width, dialogTemplate.height}).size());
  for (const ControlTemplate& control : dialogTemplate.controls) {
    controls_[control.id] = CreateControl(control);
  }
}

DialogBase::~DialogBase() = default;

QRect DialogBase::ToPixels(const DialogUnitRect& rect) const {
  const auto scaleX = [this](int v) { return (v * baseUnits_.width() + 2) / 4; };
  const auto scaleY = [this](int v) { return (v * baseUnits_.height() + 4) / 8; };
  return {scaleX(rect.x), scaleY(rect.y), scaleX(rect.width), scaleY(rect.height)};
}

QWidget* DialogBase::CreateControl(const ControlTemplate& control) {
  const QString text = ToWidgetText(control.text);
  QRect geometry = ToPixels(control.rect);
  QWidget* widget = nullptr;
  switch (control.kind) {
    case ControlKind::kDropDownList: {
      auto* list = new QComboBox(this);
      for (const std::string& item : control.items) list->addItem(ToWidgetText(item));
      list->setCurrentIndex(-1);
      // The template's height includes the opened list; the closed list is
      // as high as its font needs.
      geometry.setHeight(list->sizeHint().height());
      connect(list, qOverload<int>(&QComboBox::activated), this,
              [this, id = control.id](int) { OnListSelectionChange(id); });
      widget = list;
      break;
    }
    case ControlKind::kCheckBox:
      widget = new QCheckBox(text, this);
      break;
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton: {
      auto* button = new QPushButton(text, this);
      // Enter is handled by the dialog itself (see PressEnter).
      button->setAutoDefault(false);
      button->setDefault(control.kind == ControlKind::kDefaultPushButton);
      connect(button, &QPushButton::clicked, this, [this, id = control.id] { OnCommand(id); });
      widget = button;
      break;
    }
    case ControlKind::kLabel: {
      auto* label = new QLabel(this);
      // A label would take a text that looks like HTML as HTML, and load
      // what it names: every caption is plain text.
      label->setTextFormat(Qt::PlainText);
      label->setText(text);
      widget = label;
      break;
    }
    case ControlKind::kGroupBox: {
      auto* box = new QGroupBox(text, this);
      box->setFocusPolicy(Qt::NoFocus);
      widget = box;
      break;
    }
  }
  widget->setGeometry(geometry);
  widget->setEnabled(!control.disabled);
  // A group box only frames the controls around it; it must never sit on
  // top of them and take their clicks.
  if (control.kind == ControlKind::kGroupBox) widget->lower();
  return widget;
}

int DialogBase::DoModal() { return exec(); }

void DialogBase::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  OnInitDialog();
}

QWidget* DialogBase::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void DialogBase::SetWindowCaption(const std::string& text) { setWindowTitle(ToWidgetText(text)); }

void DialogBase::SetControlCaption(int id, const std::string& text) {
  QWidget* const control = Control(id);
  const QString caption = ToWidgetText(text);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(caption);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(caption);
  } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
    box->setTitle(caption);
  } else {
    throw std::logic_error("no control with a caption has this id");
  }
}

void DialogBase::EnableControl(int id, bool enable) {
  if (QWidget* const control = Control(id)) control->setEnabled(enable);
}

void DialogBase::UpdateData(bool toMembers) {
  DataExchange exchange(*this, toMembers);
  DoDataExchange(exchange);
}

void DialogBase::MessageBox(const std::string& text, const std::string& details) {
  messageBoxes_.Show(this, ToWidgetText(text), ToWidgetText(details));
}

void DialogBase::AppendSystemMenuSeparator() { systemMenu_.addSeparator(); }

void DialogBase::AppendSystemMenuItem(int id, const std::string& text) {
  QAction* const action = systemMenu_.addAction(ToWidgetText(text));
  action->setData(id);
  connect(action, &QAction::triggered, this, [this, id] { OnSystemCommand(id); });
}

void DialogBase::DoDataExchange(DataExchange&) {}

void DialogBase::OnInitDialog() { UpdateData(false); }

void DialogBase::OnOK() {
  UpdateData(true);
  EndDialog(kIdOk);
}

void DialogBase::OnCancel() { EndDialog(kIdCancel); }

void DialogBase::OnCommand(int id) {
  if (id == kIdOk) {
    OnOK();
  } else if (id == kIdCancel) {
    OnCancel();
  }
}

void DialogBase::OnListSelectionChange(int) {}

void DialogBase::OnCloseRequest() { OnCancel(); }

void DialogBase::OnSystemCommand(int) {}

void DialogBase::EndDialog(int result) { done(result); }

void DialogBase::setVisible(bool visible) {
  if (visible) Initialise();
  QDialog::setVisible(visible);
}

void DialogBase::PressEnter() {
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
  OnOK();
}

void DialogBase::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~(Qt::KeypadModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      OnCancel();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      PressEnter();
      break;
    default:
      QDialog::keyPressEvent(event);
  }
}

void DialogBase::closeEvent(QCloseEvent* event) {
  // The close request decides itself whether and how the dialog ends.
  event->ignore();
  OnCloseRequest();
}

void DialogBase::contextMenuEvent(QContextMenuEvent* event) {
  if (systemMenu_.actions().isEmpty()) return;
  systemMenu_.exec(event->globalPos());
}

}  // namespace rdrconf
