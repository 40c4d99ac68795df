#include "files/folderwatch.h"

#include "files/diskcall.h"
#include "files/filename.h"

#include <QSocketNotifier>

#include <cstring>
#include <mutex>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace files {

// What the window's thread and the worker that sets up the watches share.
struct FolderWatch::Shared {
    std::mutex mutex;
    int fd = -1;
    unsigned generation = 0;
    std::vector<int> watches;

    void dropWatches() {
        for (int wd : watches)
            ::inotify_rm_watch(fd, wd);
        watches.clear();
    }
    ~Shared() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

// The folder's own entries, and the folder itself as an entry of its parent.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_MODIFY |
                                        IN_CLOSE_WRITE;
constexpr std::uint32_t kParentEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;

QByteArray parentOf(const QByteArray& folder) {
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash < 0 || folder == "/") return {};
    return slash == 0 ? QByteArray("/") : folder.left(slash);
}

} // namespace

FolderWatch::FolderWatch(std::function<void()> changed, QObject* parent)
    : QObject(parent), changed_(std::move(changed)), shared_(std::make_shared<Shared>()) {
    shared_->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (shared_->fd < 0) return;
    notifier_ = new QSocketNotifier(shared_->fd, QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

FolderWatch::~FolderWatch() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    ++shared_->generation;
    shared_->dropWatches();
}

void FolderWatch::watch(const QString& folder) {
    if (shared_->fd < 0) return;
    unsigned generation = 0;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        generation = ++shared_->generation;
        shared_->dropWatches();
    }
    const QByteArray name = encodeFileName(folder);
    if (folder.isEmpty() || name.isEmpty() || name.contains('\0')) return;
    // Nobody waits for this: a watch that comes late, or never, costs only
    // the news of a change.
    startDiskCall([shared = shared_, name, generation] {
        std::vector<int> added;
        for (const auto& [path, events] :
             {std::pair{name, kFolderEvents}, std::pair{parentOf(name), kParentEvents}}) {
            if (path.isEmpty()) continue;
            const int wd = ::inotify_add_watch(shared->fd, path.constData(), events);
            if (wd >= 0) added.push_back(wd);
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (generation != shared->generation) {
            for (int wd : added)
                ::inotify_rm_watch(shared->fd, wd);
            return;
        }
        shared->watches.insert(shared->watches.end(), added.begin(), added.end());
    });
}

void FolderWatch::readEvents() {
    // Which entry changed does not matter: the folder is read again whole.
    // The end of a watch (IN_IGNORED) alone is no change: every watch() ends
    // the last ones, and the re-read after a change watches anew, so taking
    // it for one would read the folder again and again for ever. A folder
    // that goes says so first (IN_DELETE_SELF, IN_MOVE_SELF, IN_UNMOUNT).
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    ssize_t got = 0;
    while ((got = ::read(shared_->fd, buffer, sizeof buffer)) > 0) {
        const auto end = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at + sizeof(inotify_event) <= end;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.mask != IN_IGNORED) changed = true;
            at += sizeof event + event.len;
        }
    }
    if (changed && changed_) changed_();
}

} // namespace files
