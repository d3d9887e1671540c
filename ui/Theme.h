#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace ui::theme {

// The dark appearance's system tints; the window never follows the desktop's light theme.
QColor blue();
QColor gray();
QColor orange();
QColor green();
QColor white();
QColor label(); // default text colour
QColor windowBackground();

QPalette darkPalette();

// 1 pt is one device-independent pixel, so HiDPI scales everything alike.
enum class TextStyle { Title2, Headline, Body, BodyMedium, Footnote, ScoreValue };
QFont font(TextStyle style);

// "rgba(…)" for style sheets.
QString css(const QColor& color);

} // namespace ui::theme
