#pragma once

#include <QAccessible>

class QWidget;

namespace ui {

// Gives `widget` the role a screen reader should present it with, where its
// class says something else (a label that is a heading, a group that is a
// notification). Its name is its accessible name, or a label's own text.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

// Tells a screen reader that `widget`, a notification, has something new to
// say. Orca 43 ignores name and text changes on objects it is not focused on,
// but reads a notification out whenever it is shown.
void announce(QWidget* widget);

} // namespace ui
