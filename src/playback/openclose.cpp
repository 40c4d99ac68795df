#include "window/frmbrindlo.h"

void frmBrindlo::cmdOpen_Click() {
    if (blnFileOpen) {
        media.setFileName(QString());
        cmdOpen.setCaption(QStringLiteral("&Open"));
        lblElapsedTime.setCaption(QStringLiteral("0:00"));
        lblTotalTime.setCaption(QStringLiteral("0:00"));
        Timer1.setEnabled(false);
        setCaption(strBaseCaption);
    } else {
        media.setFileName(varCurrentFile.toString());
        media.setAutoRewind(true);
        media.setShowStatusText(true);
        cmdOpen.setCaption(QStringLiteral("&Close"));
        Timer1.setEnabled(true);
        setCaption(strBaseCaption + QStringLiteral("  [ ") + media.FileName() +
                   QStringLiteral(" ]"));
    }
}

void frmBrindlo::File1_DblClick() {
    cmdOpen_Click();
    // The player reports inside the open: a file that was playing has just
    // been closed, so open the clicked one now.
    if (!blnFileOpen)
        cmdOpen_Click();
}
