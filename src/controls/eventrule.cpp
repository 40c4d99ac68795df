#include "controls/eventrule.h"

#include <QString>

namespace controls {
namespace {
FailureReporter& reporter() {
    static FailureReporter instance;
    return instance;
}
} // namespace

void setFailureReporter(FailureReporter r) { reporter() = std::move(r); }

void reportFailure(const std::exception* failure) noexcept {
    try {
        const QString what =
            failure ? QString::fromLocal8Bit(failure->what()) : QStringLiteral("Unknown failure");
        if (reporter())
            reporter()(what);
    } catch (...) {
        // Nothing left to tell the user with.
    }
}

} // namespace controls
