#include "window/pathdrop.h"

#include "window/frmbrindlo.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace window {
namespace {

class PathDrop final : public QObject {
public:
    explicit PathDrop(frmBrindlo& window) : QObject(&window), window_(window) {}

protected:
    // The window's boxes take drops of text themselves, so the drop is
    // caught before them; anything but a local file is left to them.
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (firstLocalUri(drag->mimeData()).isEmpty()) return false;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QString uri = firstLocalUri(drop->mimeData());
            if (uri.isEmpty()) return false;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            window_.OpenPath(uri);
            return true;
        }
        default:
            return false;
        }
    }

private:
    static QString firstLocalUri(const QMimeData* mime) {
        if (!mime || !mime->hasUrls()) return {};
        const QList<QUrl> urls = mime->urls();
        if (urls.isEmpty() || !urls.constFirst().isLocalFile()) return {};
        return QString::fromLatin1(urls.constFirst().toEncoded());
    }

    frmBrindlo& window_;
};

} // namespace

void acceptPathDrops(frmBrindlo& window) {
    auto* filter = new PathDrop(window);
    window.setAcceptDrops(true);
    window.installEventFilter(filter);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (child->acceptDrops()) child->installEventFilter(filter);
    }
}

} // namespace window
