#pragma once

#include <QString>

namespace ui {

// The status text as label markup that shows it verbatim (escaped, white space
// kept) and draws emoji from the colour emoji font. Without this, a text font
// that has a monochrome glyph of its own (Inter's ⚠) would win over the emoji
// presentation that U+FE0F asks for.
QString statusMarkup(const QString& text);

} // namespace ui
