#include "controls/designfont.h"
#include "window/commandline.h"
#include "window/desktop.h"
#include "window/frmbrindlo.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // --help and --version are answered before a display is needed.
    const window::StartRequest early =
        window::readCommandLine(window::argumentsOf(argc, argv), true);
    if (early.exitCode) return *early.exitCode;
    // While the application connects to the display.
    controls::startLoadingFonts();
    window::startConnectingToSessionBus();
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.brindlo.Brindlo"));
    const window::StartRequest request =
        window::readCommandLine(window::argumentsOf(argc, argv), false);
    if (request.exitCode) return *request.exitCode;
    frmBrindlo window;
    window::startOnDesktop(window, request);
    window.show();
    return app.exec();
}
