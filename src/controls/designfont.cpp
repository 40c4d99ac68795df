#include "controls/designfont.h"

#include <QFont>
#include <QWidget>

#include <thread>

#if BRINDLO_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace controls {
namespace {

constexpr double kDesignPointSize = 8.0;

std::jthread& fontLoader() {
    static std::jthread loader;
    return loader;
}

} // namespace

void startLoadingFonts() {
#if BRINDLO_HAVE_FONTCONFIG
    // Qt's own FcInit then finds the configuration loaded. Were both to
    // load it at once, fontconfig keeps one and drops the other: waiting for
    // this thread before the first font is used avoids doing it twice.
    if (!fontLoader().joinable()) fontLoader() = std::jthread([] { FcInit(); });
#endif
}

DesignFont::DesignFont(QWidget* window) {
    if (fontLoader().joinable()) fontLoader().join();
    QFont font = window->font();
    if (font.pointSizeF() > kDesignPointSize) {
        font.setPointSizeF(kDesignPointSize);
        window->setFont(font);
    }
}

} // namespace controls
