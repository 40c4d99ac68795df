#include "window/frmbrindlo.h"

void frmBrindlo::cmdResize_Click() {
    if (cmdResize.Caption() == QStringLiteral("<")) {
        media.setWidth(7215);
        cmdResize.setLeft(7200);
        setWidth(7440);
        cmdSaveTag.setVisible(false);
        cmdResize.setCaption(QStringLiteral(">"));
    } else {
        media.setWidth(10815);
        cmdResize.setLeft(10800);
        setWidth(11055);
        cmdSaveTag.setVisible(true);
        cmdResize.setCaption(QStringLiteral("<"));
    }
    // Files may have come or gone while the user looked elsewhere.
    File1.Refresh();
}
