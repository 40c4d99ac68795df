#include <QApplication>
#include <gtest/gtest.h>

// The player tests need an application object for the widget and for the
// event queue that carries the engine's messages. The offscreen platform is
// chosen here as well, so that listing the tests needs no display either.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
