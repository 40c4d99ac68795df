#include "controls/designfont.h"
#include "window/frmbrindlo.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // While the application connects to the display.
    controls::startLoadingFonts();
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.brindlo.Brindlo"));
    frmBrindlo window;
    window.show();
    return app.exec();
}
