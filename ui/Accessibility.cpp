#include "ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>

namespace ui {
namespace {

constexpr const char* kRoleProperty = "accessibleRole";

class RoleOverride : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    QString text(QAccessible::Text kind) const override {
        QString text = QAccessibleWidget::text(kind);
        if (const auto* label = qobject_cast<const QLabel*>(widget());
            kind == QAccessible::Name && text.isEmpty() && label != nullptr) {
            text = label->text();
        }
        return text;
    }
};

QAccessibleInterface* withOverriddenRole(const QString& /*className*/, QObject* object) {
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid() || !object->isWidgetType()) {
        return nullptr;
    }
    return new RoleOverride(static_cast<QWidget*>(object), QAccessible::Role(role.toInt()));
}

} // namespace

void setAccessibleRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = (QAccessible::installFactory(&withOverriddenRole), true);
    (void)installed;
    widget->setProperty(kRoleProperty, int(role));
    // An interface made before, when its text was set, would keep the old role.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
}

void announce(QWidget* widget) {
    // Qt 6.4 has no announcement event; showing again is what Orca hears.
    QAccessibleEvent shown(widget, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

} // namespace ui
