#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace files {

// Tells when a folder's entries may have changed: files added, removed or
// renamed in it, and the folder itself removed, made again, or its access
// changed (which shows in its parent). The watches are set up on a worker,
// since even naming a folder on a dead disk can hang; a folder whose name
// the system does not take, or a disk that cannot tell, is simply not
// followed.
class FolderWatch final : public QObject {
public:
    explicit FolderWatch(std::function<void()> changed, QObject* parent = nullptr);
    ~FolderWatch() override;

    void watch(const QString& folder); // "" watches nothing

private:
    struct Shared;
    void readEvents();

    std::function<void()> changed_;
    std::shared_ptr<Shared> shared_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace files
