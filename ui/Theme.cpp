#include "ui/Theme.h"

#include <QStringList>

namespace ui::theme {

QColor blue() {
    return {0x0A, 0x84, 0xFF};
}
QColor gray() {
    return {0x8E, 0x8E, 0x93};
}
QColor orange() {
    return {0xFF, 0x9F, 0x0A};
}
QColor green() {
    return {0x30, 0xD1, 0x58};
}
QColor white() {
    return {0xFF, 0xFF, 0xFF};
}
QColor label() {
    return {0xFF, 0xFF, 0xFF, 0xD9};
}
QColor windowBackground() {
    return {0x1E, 0x1E, 0x1E};
}

QPalette darkPalette() {
    QPalette palette;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, windowBackground());
        palette.setColor(group, QPalette::Base, windowBackground());
        palette.setColor(group, QPalette::WindowText, label());
        palette.setColor(group, QPalette::Text, label());
        palette.setColor(group, QPalette::ButtonText, white());
        palette.setColor(group, QPalette::Highlight, blue());
    }
    return palette;
}

namespace {

// Inter has every Turkish letter and is narrow enough for the title at its
// size. The emoji font comes next so that the status line's symbols are drawn
// in colour rather than by a monochrome fallback; the rest stand in for Inter.
QFont uiFont(int pixelSize, QFont::Weight weight) {
    QFont font;
    font.setFamilies({"Inter", "Noto Color Emoji", "Noto Sans", "DejaVu Sans"});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont monoFont(int pixelSize, QFont::Weight weight) {
    QFont font;
    font.setFamilies({"JetBrains Mono", "DejaVu Sans Mono", "Noto Sans Mono"});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace

QFont font(TextStyle style) {
    switch (style) {
    case TextStyle::Title2:
        return uiFont(17, QFont::Bold);
    case TextStyle::Headline:
        return uiFont(13, QFont::DemiBold);
    case TextStyle::Body:
        return uiFont(13, QFont::Normal);
    case TextStyle::BodyMedium:
        return uiFont(13, QFont::Medium);
    case TextStyle::Footnote:
        return uiFont(10, QFont::Normal);
    case TextStyle::ScoreValue:
        return monoFont(50, QFont::Bold);
    }
    return uiFont(13, QFont::Normal);
}

QString css(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF(), 0, 'f', 3);
}

} // namespace ui::theme
