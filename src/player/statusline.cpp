#include "player/statusline.h"

namespace player {

StatusLine composeStatus(const StatusFacts& facts) {
    using State = PlayerEngine::State;
    const QString& name = facts.name;
    if (facts.serverStopped)
        return {QStringLiteral("The sound server stopped: playback ended"), {}, {}};
    if (facts.serverHung)
        return {QStringLiteral("Sound server not answering: playback ended"), {}, {}};
    if (facts.opening) return {QStringLiteral("Opening "), name, QStringLiteral("\u2026")};
    if (!facts.failure.isEmpty()) return {QStringLiteral("Cannot play "), name, ": " + facts.failure};
    switch (facts.state) {
    case State::Playing:
        if (facts.stalled)
            return {QStringLiteral("Sound server not answering: "), name, QStringLiteral(" waits")};
        if (facts.notAnswering)
            return {QStringLiteral("Sound server not answering: playing "), name,
                    QStringLiteral(" silently")};
        if (facts.noDevice) return {QStringLiteral("No sound device: playing "), name, " silently"};
        return {QStringLiteral("Playing "), name, {}};
    case State::Paused:
        return {QStringLiteral("Paused "), name, {}};
    case State::Stopped:
        return {QStringLiteral("Stopped "), name, {}};
    case State::Closed:
        break;
    }
    return {};
}

} // namespace player
