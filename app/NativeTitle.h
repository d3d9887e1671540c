#pragma once

class QWidget;

namespace app {

// Qt never leaves a window title empty; it falls back to the application
// name. Under X11 this clears the title the window manager reads, so the
// frame shows none. Elsewhere Qt's title stays. Call after the window exists.
void clearNativeTitle(const QWidget& window);

} // namespace app
