#include "window/frmbrindlo.h"

#include "files/filename.h"

namespace {

// The title while a file is open or opening: the base caption and the path
// the player reports, worded as the lists word names, so that bytes that
// are not UTF-8 read the same in the title as in the list and the strip.
// The player reports only a file it holds, so after an open that failed at
// once it reports none; the title then names the path that was asked for,
// as it does when an open fails a moment later, so that it is the same
// title whatever the timing.
QString openCaption(const QString& base, const QString& reported, const QString& asked) {
    const QString name = files::displayFileName(reported.isEmpty() ? asked : reported);
    return base + QStringLiteral("  [ ") + name + QStringLiteral(" ]");
}

} // namespace

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
        setCaption(openCaption(strBaseCaption, media.FileName(), varCurrentFile.toString()));
    }
}

void frmBrindlo::File1_DblClick() {
    cmdOpen_Click();
    // The player reports inside the open: a file that was playing has just
    // been closed, so open the clicked one now.
    if (!blnFileOpen)
        cmdOpen_Click();
}
