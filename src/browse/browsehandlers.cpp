#include "window/frmbrindlo.h"

#include "files/paths.h"

void frmBrindlo::Drive1_Change() {
    controls::SkipOnFailure step;
    step([&] { Dir1.setPath(Drive1.Drive()); });
    step([&] { File1.setPath(Drive1.Drive()); });
}

void frmBrindlo::Dir1_Change() {
    try {
        File1.setFileName(Dir1.Path());
    } catch (const std::exception&) {
        // The folder went away between the two lists: show no files rather
        // than another folder's, whose names would be joined to this one.
        File1.Clear();
        throw;
    }
}

QString frmBrindlo::BuildFullPath() const {
    return files::joinPath(Dir1.Path(), File1.FileName());
}
