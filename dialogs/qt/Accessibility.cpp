#include "dialogs/qt/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>

namespace rdrconf {
namespace {

// A drop-down list: its name is its own accessible name, else its label's
// text; its value is the item shown; its one child is the list that opens.
class AccessibleDropDownList final : public QAccessibleWidget {
 public:
  explicit AccessibleDropDownList(DropDownListWidget* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

  QString text(QAccessible::Text which) const override {
    switch (which) {
      case QAccessible::Name: {
        if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
        // The label whose buddy the list is (QAccessibleWidget finds it).
        const auto labels = relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : NameFromLabel(labels.first().first->text(QAccessible::Name));
      }
      case QAccessible::Value:
        return List()->currentText();
      default:
        return QAccessibleWidget::text(which);
    }
  }

  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(List()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child != nullptr && child->object() == List()->view() ? 0 : -1;
  }

  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
  void doAction(const QString& action) override {
    if (action != showMenuAction() && action != pressAction()) return;
    if (List()->view()->isVisible()) {
      List()->hidePopup();
    } else {
      List()->showPopup();
    }
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
};

// A live label: a notification whose name is its text.
class AccessibleLiveLabel final : public QAccessibleWidget {
 public:
  explicit AccessibleLiveLabel(LiveLabel* label) : QAccessibleWidget(label, QAccessible::Notification) {}

  QString text(QAccessible::Text which) const override {
    if (which == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      return static_cast<QLabel*>(widget())->text();
    }
    return QAccessibleWidget::text(which);
  }
};

// Asked for each class of an object from the most derived one on, after
// Qt's own factory: for these two classes that one knows no interface.
QAccessibleInterface* AccessibleInterfaceOf(const QString&, QObject* object) {
  if (auto* list = qobject_cast<DropDownListWidget*>(object)) return new AccessibleDropDownList(list);
  if (auto* label = qobject_cast<LiveLabel*>(object)) return new AccessibleLiveLabel(label);
  return nullptr;
}

}  // namespace

void LiveLabel::Announce(const QString& text) {
  setText(text);
  if (text.isEmpty() || !isVisible()) return;
  // The notification appears anew: a screen reader presents it whether or
  // not the focus is on it.
  QAccessibleEvent shown(this, QAccessible::ObjectShow);
  QAccessible::updateAccessibility(&shown);
}

void InstallAccessibleInterfaces() { QAccessible::installFactory(&AccessibleInterfaceOf); }

QString NameFromLabel(const QString& text) {
  QString name = text.trimmed();
  if (name.endsWith(u':') || name.endsWith(u'\uFF1A')) name.chop(1);
  return name.trimmed();
}

}  // namespace rdrconf
