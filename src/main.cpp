#include "window/frmbrindlo.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    frmBrindlo window;
    window.show();
    return app.exec();
}
