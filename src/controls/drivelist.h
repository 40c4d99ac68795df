#pragma once

#include "controls/control.h"

#include <QStringList>

class QComboBox;
class QLabel;

namespace controls {

// The drive list: the roots of the file system ("/" first, then the mount
// points of user volumes), each named by its path. The offer is read again
// each time the list drops down, so volumes mounted or taken away meanwhile
// show or go; the chosen drive stays on offer while it is chosen.
class DriveList final : public Control {
public:
    explicit DriveList(QWidget* parent);

    QString Drive() const;
    // Refused when no drive of that name is offered. Choosing a drive that
    // cannot be read is allowed: the lists that follow refuse it instead.
    void setDrive(const QString& drive);
    void setDrives(const QStringList& roots); // replaces the offer; raises nothing
    QStringList drives() const;
    void readDrivesAgain(); // the offer from the file system as it is now
    void setAccessibleName(const QString& name) override;
    QWidget* widget() const override;
    QComboBox* comboBox() const { return combo_; }

    Event<> Change;

private:
    void speakDrive();

    QComboBox* combo_;
    QLabel* nameLabel_ = nullptr;
};

} // namespace controls
