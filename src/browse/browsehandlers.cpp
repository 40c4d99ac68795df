#include "window/frmbrindlo.h"

#include "browse/fullpath.h"
#include "platform/filesystem.h"

void frmBrindlo::Drive1_Change() {
    platform::SkipOnFailure step;
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
    const std::u16string path =
        browse::joinFolderAndName(Dir1.Path().toStdU16String(), File1.FileName().toStdU16String(),
                                  platform::kPathSeparator.unicode());
    return QString::fromStdU16String(path);
}
