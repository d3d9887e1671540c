#include "app/CompanionApp.h"

#include "app/NativeTitle.h"
#include "ui/ContentView.h"

#include <QApplication>

namespace app {
int CompanionApp::main(int argc, char** argv) {
    // The program reads no command line, but Qt would take its own options
    // from it (-reverse, -stylesheet FILE, ...): it sees only the name.
    static char fallbackName[] = "benchmark-companion";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    QApplication application(qtArgc, qtArgv);
    // Names the program to the taskbar and the window manager's class hint.
    QApplication::setApplicationName(QStringLiteral("benchmark-companion"));
    QApplication::setDesktopFileName(QStringLiteral("benchmark-companion"));

    // The window manager keeps its frame so the window can be moved and
    // closed; only the title is left empty.
    ui::ContentView window;
    window.setWindowTitle(QString());
    window.show();
    clearNativeTitle(window);
    return QApplication::exec();
}

} // namespace app
