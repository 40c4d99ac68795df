#pragma once

class QWidget;

namespace controls {

// Before the first text can be measured, fontconfig reads its configuration
// (dozens of XML files), the largest part of the window's own start-up.
// This starts that on a thread of its own, to run while the application
// connects to the display; main() calls it before making the application.
void startLoadingFonts();

// The window's font, set before its first control is made, so that no
// control lays out its text once in the platform's font and again in the
// window's. The design's sizes were drawn for an 8-point system font; a
// larger default would clip captions, so the window uses the platform's
// family at that size (screen scaling still applies on top). It waits for
// the fonts that startLoadingFonts began to load.
class DesignFont {
public:
    explicit DesignFont(QWidget* window);
};

} // namespace controls
