#include "player/workermodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace player {
namespace {

// Where an installed program finds it, from its own folder; then where the
// build put it, for the program and the tests run from the build.
QStringList candidates() {
    return {QDir(QCoreApplication::applicationDirPath())
                .absoluteFilePath(QStringLiteral(BRINDLO_PLAYER_MODULE_FROM_BINDIR)),
            QStringLiteral(BRINDLO_PLAYER_MODULE_IN_BUILD)};
}

} // namespace

MakeWorker workerMaker(QString* why) {
    // Never unloaded: a player thread that a hung server holds may still
    // run its code when the program ends.
    static MakeWorker maker = nullptr;
    static QString failure;
    if (maker) return maker;
    if (!failure.isEmpty()) {
        if (why) *why = failure;
        return nullptr;
    }
    for (const QString& path : candidates()) {
        if (!QFileInfo::exists(path)) continue;
        QLibrary module(path);
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        maker = reinterpret_cast<MakeWorker>(module.resolve(kMakeWorkerName));
        if (maker) return maker;
        failure = module.errorString();
        break;
    }
    if (failure.isEmpty()) failure = QStringLiteral("the player's module is not installed");
    if (why) *why = failure;
    return nullptr;
}

} // namespace player
