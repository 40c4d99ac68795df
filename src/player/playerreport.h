#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// What the window's side and the player's thread say to each other. Plain
// values only: no GStreamer type crosses between them.
namespace player {

enum class Output {
    System, // the default sound output; plays silently when there is none
    Silent, // a sink that discards the sound but keeps real time
};
enum class PlayState { Closed, Stopped, Paused, Playing };
// Why the sound goes nowhere although the system output was asked for.
enum class Silence { None, NoDevice, ServerNotAnswering };
// Who is to blame when playing breaks off.
enum class Fault { File, SoundOutput, ServerNotAnswering };

// One file to open, as the window hands it over.
struct OpenOrder {
    std::uint64_t id = 0;
    QByteArray fileBytes; // the name as the file system spells it
    QString mediaName;    // what the sound server shows
    Output output = Output::System;
    // Set when the sound server did not answer an earlier try of this open.
    Silence forcedSilence = Silence::None;
    double volume = 1.0;
    bool autoRewind = false;
    int delayMs = 0; // tests: a slow disk or a long file
};

// The player's account of its file, sent after every command it carried
// out and whenever something happened by itself.
struct Report {
    enum class Event {
        None,
        Connecting, // about to ask the sound server for a stream
        Connected,
        Opened, // prerolled and paused at the start: ready to play
        OpenFailed,
        Finished, // the end of the file was reached
        Failed,   // playing broke off; the file is closed
    };
    std::uint64_t open = 0;  // the open it belongs to
    std::uint64_t acked = 0; // the last command carried out
    Event event = Event::None;
    PlayState state = PlayState::Closed;
    double position = 0.0; // seconds, when the report was made
    double duration = 0.0;
    bool atEnd = false;
    // The position stands still although it plays: the sound server takes
    // no samples.
    bool stalled = false;
    Silence silence = Silence::None;
    Fault fault = Fault::File;
    QString error;
};

// The one place where the window's thread waits for the player: an open's
// first result, for a bounded time. The player fills it once.
// It also carries the window's word that it has left this player: what
// the thread still finds queued then is stale and never carried out.
struct OpenHandoff {
    std::atomic<bool> left{false};
    QThread* window = nullptr; // where the reports go
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    Report result;

    void fill(const Report& report) {
        const std::lock_guard lock(mutex);
        result = report;
        done = true;
        changed.notify_all();
    }
};

} // namespace player

Q_DECLARE_METATYPE(player::Report)
