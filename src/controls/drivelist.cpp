#include "controls/drivelist.h"

#include "files/filename.h"
#include "files/drives.h"
#include "files/folderlisting.h"
#include "files/paths.h"
#include "controls/listicons.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

#include <functional>

namespace controls {
namespace {

constexpr int kPathRole = Qt::UserRole;

// The drop-down of the drive list, which reads the drives again as it opens.
class DriveComboBox final : public QComboBox {
public:
    DriveComboBox(QWidget* parent, std::function<void()> beforePopup)
        : QComboBox(parent), beforePopup_(std::move(beforePopup)) {}

    void showPopup() override {
        beforePopup_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> beforePopup_;
};

} // namespace


DriveList::DriveList(QWidget* parent)
    : combo_(new DriveComboBox(parent, [this] { readDrivesAgain(); })) {
    QObject::connect(combo_, &QComboBox::activated, this, [this](int index) {
        // activated comes also when the drive shown is chosen again, which
        // changes nothing; the index was moved before we hear of it.
        const QString chosen = combo_->itemData(index, kPathRole).toString();
        if (chosen == combo_->property("brindloDrive").toString())
            return;
        combo_->setProperty("brindloDrive", chosen);
        speakDrive();
        Change.raiseFromUser();
    });
}

QString DriveList::Drive() const { return combo_->currentData(kPathRole).toString(); }

void DriveList::setDrive(const QString& drive) {
    const QString wanted = files::normalFolderPath(drive);
    const int index = combo_->findData(wanted, kPathRole);
    if (index < 0)
        throw Refused("Device unavailable: " + drive.toStdString());
    assignRaising(
        index, [this] { return combo_->currentIndex(); },
        [this](int i) {
            const QSignalBlocker quiet(combo_);
            combo_->setCurrentIndex(i);
            combo_->setProperty("brindloDrive", combo_->itemData(i, kPathRole));
            speakDrive();
        },
        Change);
}

void DriveList::setDrives(const QStringList& roots) {
    const QSignalBlocker quiet(combo_);
    const QString current = Drive();
    QStringList offer = roots;
    // The chosen drive stays shown though its volume went: the lists still
    // show its folders, and choosing another drive must still be a change.
    if (!current.isEmpty() && !offer.contains(current)) offer.append(current);
    combo_->clear();
    const QIcon drive = placeIcon(PlaceGlyph::Drive);
    for (const QString& root : offer)
        combo_->addItem(drive, files::displayFileName(root), root);
    combo_->setCurrentIndex(std::max(0, combo_->findData(current, kPathRole)));
    combo_->setProperty("brindloDrive", Drive());
    speakDrive();
}

void DriveList::readDrivesAgain() {
    setDrives(files::driveRoots());
}

QStringList DriveList::drives() const {
    QStringList out;
    for (int i = 0; i < combo_->count(); ++i)
        out.append(combo_->itemData(i, kPathRole).toString());
    return out;
}

void DriveList::setAccessibleName(const QString& name) {
    Control::setAccessibleName(name);
    // On Linux, Qt reports a drop-down list's current entry as its name and
    // leaves naming it to a label that has it as buddy. The window shows no
    // label beside the drive list, so a hidden one names it for screen
    // readers.
    if (!nameLabel_) {
        nameLabel_ = new QLabel(combo_->parentWidget());
        nameLabel_->setTextFormat(Qt::PlainText);
        nameLabel_->setBuddy(combo_);
        nameLabel_->hide();
    }
    nameLabel_->setText(name);
}

void DriveList::speakDrive() {
    // Screen readers say a drop-down list's current entry; "/" alone is read
    // as a bare symbol, so the entry also says what it is.
    combo_->setAccessibleDescription(QStringLiteral("Drive %1").arg(combo_->currentText()));
}

QWidget* DriveList::widget() const { return combo_; }

} // namespace controls
