#include "app/CompanionApp.h"

#include "app/NativeTitle.h"
#include "ui/ContentView.h"
#include "ui/CpuIcon.h"
#include "ui/Theme.h"

#include <QApplication>

#include <array>
#include <string>

namespace app {
int CompanionApp::main(int argc, char** argv) {
    // The program reads no command line, but Qt would take its own options
    // from it (-reverse, -stylesheet FILE, ...): it sees only the name.
    std::string fallbackName = "benchmark-companion";
    int qtArgc = 1;
    std::array<char*, 2> qtArgv{argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName.data(),
                                nullptr};
    QApplication application(qtArgc, qtArgv.data());
    // The application name becomes the class in WM_CLASS, which the desktop
    // entry's StartupWMClass names; the desktop file name is the Wayland app id.
    // Together they let docks find the entry and its icon.
    QApplication::setApplicationName(QStringLiteral("benchmark-companion"));
    QApplication::setDesktopFileName(QStringLiteral(BENCHMARK_COMPANION_APP_ID));
    QApplication::setWindowIcon(ui::cpuPictogramIcon(ui::theme::blue()));

    // The window manager keeps its frame so the window can be moved and
    // closed; only the title is left empty.
    ui::ContentView window;
    window.setWindowTitle(QString());
    window.show();
    clearNativeTitle(window);
    return QApplication::exec();
}

} // namespace app
