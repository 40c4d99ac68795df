// Opens every kind of bad file in a loop through the player on the silent
// sink, each followed by a good file that must play, under a watchdog.
//
// The loop runs in a child process; the parent is the watchdog. It sees
// each step's start through shared memory and kills the child when one
// open, play or close takes longer than the limit, and it sees a crash as
// the child dying of a signal. So neither a deadlock inside GStreamer nor a
// crash can take the watchdog with it.
//
// Usage: playbackloop --good FILE [--good FILE...] [--rounds N] [--seed S] [--limit SECONDS]
//                     [--sound-server] [--commands N]
// With --sound-server each round also runs a player on the system output
// into a PulseAudio of its own, which it stops (SIGSTOP) and kills, and then
// gives that player transport commands in random order and at random times
// while the server hangs, resumes, dies and starts again.
#include "faultsupport.h"

#include "player/mediaplayer.h"
#include "soundserver.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using faults::Bytes;
using faults::Rng;
using player::MediaPlayer;

long long nowMs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// What the child tells the watchdog, in memory both processes share.
struct Shared {
    std::atomic<long long> stepStartMs{0}; // 0: between steps
    std::atomic<long long> stepLimitMs{0};
    char step[256] = {};
    std::atomic<long> opens{0};
    std::atomic<long> badOpens{0};
    std::atomic<long> refused{0};
    std::atomic<long> refusedPlainly{0};
    std::atomic<long> badPlayed{0};
    std::atomic<long> brokeOff{0};
    std::atomic<long> pulledAway{0};
    std::atomic<long> goodPlayed{0};
    std::atomic<long> swapPlayed{0};
    std::atomic<long> serverHung{0};
    std::atomic<long> serverDied{0};
    std::atomic<long> commands{0};
    std::atomic<long> serverChanges{0};
    std::atomic<long> stripChecks{0};
    std::atomic<long> playedAfterChaos{0};
    std::atomic<long> violations{0};
    char reasons[2048] = {};
};

Shared* shared = nullptr;

// One bounded step: open, play for a while, or close.
void timed(const std::string& what, const std::function<void()>& body, long long limitMs) {
    std::snprintf(shared->step, sizeof shared->step, "%s", what.c_str());
    shared->stepLimitMs = limitMs;
    shared->stepStartMs = nowMs();
    body();
    shared->stepStartMs = 0;
}

void violation(const std::string& what) {
    ++shared->violations;
    std::printf("VIOLATION: %s\n", what.c_str());
    std::fflush(stdout);
}

// The words after "Cannot play NAME: " must be for a listener, not for a
// developer: short, no library names, codes or identifiers.
bool plainWords(const QString& reason) {
    static const QRegularExpression developerish(
        QStringLiteral("gst|gstreamer|mpg123|element|pipeline|caps|0x|[_:<>{}\\[\\]]"),
        QRegularExpression::CaseInsensitiveOption);
    return !reason.isEmpty() && reason.size() <= 80 && !developerish.match(reason).hasMatch();
}

// --- Bad files ----------------------------------------------------------------

Bytes randomBytes(Rng& rng, std::size_t size) {
    Bytes b(size);
    for (auto& x : b)
        x = std::uint8_t(rng.below(256));
    // Frame sync words here and there lure a decoder into trying.
    for (std::size_t i = 0; i + 1 < size; i += 1 + std::size_t(rng.below(900))) {
        b[i] = 0xFF;
        b[i + 1] = 0xFB;
    }
    return b;
}

Bytes syncsafe(std::uint32_t n) {
    return {std::uint8_t((n >> 21) & 0x7F), std::uint8_t((n >> 14) & 0x7F),
            std::uint8_t((n >> 7) & 0x7F), std::uint8_t(n & 0x7F)};
}

Bytes id3v2(std::uint32_t declaredSize, std::size_t bodySize) {
    Bytes b{'I', 'D', '3', 3, 0, 0};
    const Bytes size = syncsafe(declaredSize);
    b.insert(b.end(), size.begin(), size.end());
    const char title[] = "TIT2\0\0\0\x06\0\0\0Title";
    b.insert(b.end(), title, title + sizeof title - 1);
    b.resize(b.size() + bodySize, 0); // padding
    return b;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct BadFile {
    std::string kind;
    Bytes bytes;
    enum class Shape { File, Missing, Folder } shape = Shape::File;
};

BadFile makeBad(int which, Rng& rng, const Bytes& good) {
    switch (which) {
    case 0:
        return {"random bytes", randomBytes(rng, std::size_t(1 + rng.below(65536)))};
    case 1: { // mostly within the first frames, where a decoder learns the format
        const std::size_t cut = rng.chance(0.6) ? std::size_t(1 + rng.below(2000))
                                                : std::size_t(1 + rng.below(int(good.size())));
        return {"truncated frames", Bytes(good.begin(), good.begin() + long(cut))};
    }
    case 2: {
        Bytes b = good;
        for (int runs = 1 + rng.below(40); runs > 0; --runs) {
            const std::size_t at = std::size_t(rng.below(int(b.size())));
            for (std::size_t i = at; i < std::min(b.size(), at + 1 + std::size_t(rng.below(64)));
                 ++i)
                b[i] = std::uint8_t(rng.below(256));
        }
        return {"corrupted frames", b};
    }
    case 3:
        return {"empty file", {}};
    case 4:
        return {"ID3v2 tag and no audio", id3v2(std::uint32_t(20 + rng.below(4000)), 4000)};
    case 5: // the tag claims to swallow far more than the file holds
        return {"ID3v2 header with a huge size", concat(id3v2(0x0FFFFFFF, 10), good)};
    case 6: {
        Bytes b;
        const std::string line = "These are words, not music.\n";
        for (int i = 0; i < 1 + rng.below(200); ++i)
            b.insert(b.end(), line.begin(), line.end());
        return {"text file", b};
    }
    case 7: { // a WAV header and silence
        Bytes b = {'R', 'I', 'F', 'F', 0x24, 0x10, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
                   ' ', 16,  0,   0,   0,    1,    0,   1,   0,   0x40, 0x1F, 0,    0,   0x80, 0x3E,
                   0,   0,   2,   0,   16,   0,    'd', 'a', 't', 'a',  0,    0x10, 0,   0};
        b.resize(b.size() + 4096, 0);
        return {"WAV file", b};
    }
    case 8: {
        Bytes b = {'T', 'A', 'G'};
        b.resize(128, ' ');
        return {"ID3v1 tag alone", b};
    }
    case 9:
        return {"missing file", {}, BadFile::Shape::Missing};
    case 10:
        return {"folder", {}, BadFile::Shape::Folder};
    case 11: // GStreamer finds the first frame only near the start
        return {"junk before the first frame",
                concat(Bytes(std::size_t(1 + rng.below(65536)), 0), good)};
    default: { // tag after tag before the audio, each one a valid ID3v2.4 tag
        Bytes chain;
        const Bytes frame = {'T', 'I', 'T', '2', 0, 0, 0, 3, 0, 0, 3, 'a', 'b'};
        for (int i = 1 + rng.below(300); i > 0; --i) {
            chain = concat(chain, Bytes{'I', 'D', '3', 4, 0, 0});
            chain = concat(chain, syncsafe(std::uint32_t(frame.size())));
            chain = concat(chain, frame);
        }
        return {"chained ID3v2 tags", concat(chain, good)};
    }
    }
}
constexpr int kBadKinds = 13;

// --- The loop -------------------------------------------------------------

class Loop {
public:
    Loop(Rng& rng, std::vector<std::string> goods, const std::string& dir)
        : rng_(rng), goods_(std::move(goods)), dir_(dir),
          player_(nullptr, MediaPlayer::AudioOutput::Silent) {
        player_.OpenStateNotify.connect(
            [this](std::int32_t, std::int32_t state) { notified_.push_back(state); });
        for (const std::string& g : goods_)
            goodBytes_.push_back(faults::readFile(g));
    }

    void warmUp() {
        // The first start may build GStreamer's plugin registry.
        timed(
            "starting the player", [&] { player_.setFileName(qs(goods_[0])); }, 120000);
        close("the first good file");
    }

    void round(int r) {
        std::vector<int> order(kBadKinds + 2);
        for (int i = 0; i <= kBadKinds + 1; ++i)
            order[std::size_t(i)] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(unsigned(r)));
        for (const int which : order) {
            if (which == kBadKinds)
                deletedWhilePlaying();
            else if (which == kBadKinds + 1)
                fifoSwappedIn();
            else
                openBad(makeBad(which, rng_,
                                goodBytes_[std::size_t(rng_.below(int(goodBytes_.size())))]));
            playGood();
        }
    }

private:
    static QString qs(const std::string& s) { return QString::fromStdString(s); }

    // The put may leave a slow open to finish later; the window's thread
    // must still get control back at once.
    std::vector<std::int32_t> open(const std::string& path, const std::string& what) {
        notified_.clear();
        ++shared->opens;
        long long putMs = 0;
        timed(
            "opening " + what,
            [&] {
                const long long start = nowMs();
                player_.setFileName(qs(path));
                putMs = nowMs() - start;
                (void)QTest::qWaitFor([&] { return !player_.isOpening(); }, int(limitMs));
            },
            limitMs);
        // A slow open says so first; what counts here is how it ends.
        std::erase(notified_, MediaPlayer::kOpening);
        if (putMs > kPutLimitMs)
            violation("opening " + what + " held the window " + std::to_string(putMs) + " ms");
        return notified_;
    }

    void close(const std::string& what) {
        notified_.clear();
        const long long start = nowMs();
        timed(
            "closing " + what, [&] { player_.setFileName(QString()); }, limitMs);
        if (nowMs() - start > kPutLimitMs) violation("closing " + what + " held the window");
        if (notified_ != std::vector<std::int32_t>{MediaPlayer::kClosed})
            violation("closing " + what + " did not report the close once");
    }

    void play(const std::string& what, int ms) {
        timed(
            "playing " + what, [&] { QTest::qWait(ms); }, limitMs);
    }

    void noteReason(const QString& status) {
        const QString reason = status.section(QStringLiteral(": "), 1);
        const std::string r = reason.toStdString();
        if (reasons_[r]++ == 0) {
            std::string all;
            for (const auto& [text, n] : reasons_)
                all += "  \"" + text + "\"\n";
            std::snprintf(shared->reasons, sizeof shared->reasons, "%s", all.c_str());
        }
        if (plainWords(reason))
            ++shared->refusedPlainly;
        else
            violation("not in plain words: " + status.toStdString());
    }

    void openBad(const BadFile& bad) {
        ++shared->badOpens;
        const std::string path = dir_ + "/bad " + std::to_string(++serial_) + ".mp3";
        if (bad.shape == BadFile::Shape::File) faults::writeFile(path, bad.bytes);
        if (bad.shape == BadFile::Shape::Folder)
            faults::check(::mkdir(path.c_str(), 0755) == 0, "mkdir");
        const std::vector<std::int32_t> got = open(path, "a bad file: " + bad.kind);
        if (got.size() != 1) {
            violation("opening a bad file (" + bad.kind + ") did not report once");
        } else if (got[0] == MediaPlayer::kClosed) {
            ++shared->refused;
            if (player_.isOpen()) violation("a refused file is open: " + bad.kind);
            if (!player_.statusText().startsWith(QStringLiteral("Cannot play ")))
                violation("a refused file was not reported in the strip: " + bad.kind);
            else
                noteReason(player_.statusText());
        } else {
            // Damaged audio may still play in part; it must not hang or crash
            // while it does, and a break-off must be reported.
            ++shared->badPlayed;
            play("a bad file that opened: " + bad.kind, 300);
            if (!player_.isOpen()) {
                ++shared->brokeOff;
                if (!player_.statusText().startsWith(QStringLiteral("Cannot play ")))
                    violation("playing broke off unreported: " + bad.kind);
                else
                    noteReason(player_.statusText());
            }
            close("a bad file: " + bad.kind);
        }
        faults::removeAll(path);
    }

    void deletedWhilePlaying() {
        const std::string path = dir_ + "/playing " + std::to_string(++serial_) + ".mp3";
        faults::writeFile(path, goodBytes_[0]);
        ++shared->badOpens;
        if (open(path, "a file to delete while it plays") !=
            std::vector<std::int32_t>{MediaPlayer::kOpen}) {
            violation("a good copy did not open");
            return;
        }
        play("a file to delete while it plays", 100 + rng_.below(300));
        if (rng_.chance(0.5)) {
            ::unlink(path.c_str());
        } else { // cut short under the reader's feet, then gone
            ::truncate(path.c_str(), 300 + rng_.below(3000));
            play("a file cut short while it plays", 100 + rng_.below(200));
            ::unlink(path.c_str());
        }
        play("a deleted file", 300 + rng_.below(500));
        ++shared->pulledAway;
        if (!player_.isOpen()) {
            ++shared->brokeOff;
            if (!player_.statusText().startsWith(QStringLiteral("Cannot play ")))
                violation("playing a deleted file broke off unreported");
            else
                noteReason(player_.statusText());
        }
        close("a deleted file");
    }

    // Another program puts a FIFO in the file's place while it opens. The
    // player reads the file it checked or refuses the FIFO; it never waits
    // for a writer.
    void fifoSwappedIn() {
        const std::string path = dir_ + "/swapped " + std::to_string(++serial_) + ".mp3";
        const std::string fifo = path + ".fifo";
        faults::writeFile(path, goodBytes_[0]);
        faults::check(::mkfifo(fifo.c_str(), 0600) == 0, "mkfifo");
        ++shared->badOpens;
        const int delayUs = rng_.below(30000);
        std::thread swapper([&] {
            ::usleep(useconds_t(delayUs));
            ::rename(fifo.c_str(), path.c_str());
        });
        const std::vector<std::int32_t> got = open(path, "a file swapped for a FIFO");
        swapper.join();
        if (got.size() != 1) {
            violation("a file swapped for a FIFO did not report once");
        } else if (got[0] == MediaPlayer::kOpen) {
            ++shared->swapPlayed;
            const bool advanced =
                QTest::qWaitFor([&] { return player_.CurrentPosition() >= 0.15; }, 5000);
            if (!advanced) violation("the file checked before the swap did not play");
        } else {
            ++shared->refused;
            noteReason(player_.statusText());
        }
        close("a file swapped for a FIFO");
        ::unlink(path.c_str());
        ::unlink(fifo.c_str());
    }

    void playGood() {
        const std::string& good = goods_[std::size_t(rng_.below(int(goods_.size())))];
        if (open(good, "a good file") != std::vector<std::int32_t>{MediaPlayer::kOpen}) {
            violation("a good file did not open after a bad one: " +
                      player_.statusText().toStdString());
            return;
        }
        bool advanced = false;
        timed(
            "waiting for a good file to play",
            [&] {
                advanced = QTest::qWaitFor([&] { return player_.CurrentPosition() >= 0.15; }, 5000);
            },
            limitMs);
        if (advanced)
            ++shared->goodPlayed;
        else
            violation("a good file opened but did not play after a bad one");
        close("a good file");
    }

public:
    long long limitMs = 10000;
    // The window's thread waits for an open about 100 ms; more is a freeze.
    static constexpr long long kPutLimitMs = 1000;

private:
    Rng& rng_;
    std::vector<std::string> goods_;
    std::vector<Bytes> goodBytes_;
    std::string dir_;
    MediaPlayer player_;
    std::vector<std::int32_t> notified_;
    std::map<std::string, long> reasons_;
    int serial_ = 0;
};

// A sound server of the loop's own (PulseAudio with a null sink) that hangs
// and dies under a player on the system output. Opening and closing must
// never hold the window; a hung server means playing silently, a dead one
// a plain sentence that does not blame the file.
class ServerRound {
public:
    ServerRound(Rng& rng, std::vector<std::string> goods) : rng_(rng), goods_(std::move(goods)) {}

    void run() {
        auto server = std::make_unique<testing_support::SoundServer>();
        if (!server->ready()) {
            violation("the loop's own sound server did not start");
            return;
        }
        MediaPlayer player(nullptr, MediaPlayer::AudioOutput::System);
        std::vector<std::int32_t> notified;
        player.OpenStateNotify.connect(
            [&](std::int32_t, std::int32_t state) { notified.push_back(state); });
        const auto put = [&](const std::string& path, const std::string& what) {
            notified.clear();
            long long held = 0;
            ++shared->opens;
            timed(
                what,
                [&] {
                    const long long start = nowMs();
                    player.setFileName(QString::fromStdString(path));
                    held = nowMs() - start;
                    (void)QTest::qWaitFor([&] { return !player.isOpening(); }, 15000);
                },
                20000);
            std::erase(notified, MediaPlayer::kOpening);
            if (held > 1000) violation(what + " held the window " + std::to_string(held) + " ms");
            return notified;
        };
        const auto good = [&] { return goods_[std::size_t(rng_.below(int(goods_.size())))]; };

        if (put(good(), "opening a file into the sound server") !=
            std::vector<std::int32_t>{MediaPlayer::kOpen}) {
            violation("a good file did not open into the sound server: " +
                      player.statusText().toStdString());
            return;
        }
        QTest::qWait(200 + rng_.below(400));
        server->hang();
        if (put({}, "closing while the sound server hangs") !=
            std::vector<std::int32_t>{MediaPlayer::kClosed})
            violation("closing while the sound server hangs did not report the close once");
        const std::vector<std::int32_t> got = put(good(), "opening while the sound server hangs");
        if (got != std::vector<std::int32_t>{MediaPlayer::kOpen})
            violation("a good file did not open while the sound server hangs: " +
                      player.statusText().toStdString());
        else if (!player.statusText().startsWith("Sound server not answering: playing "))
            violation("a hung sound server was not told: " + player.statusText().toStdString());
        else
            ++shared->serverHung;
        put({}, "closing the silent file");
        server->resume();
        QTest::qWait(300);

        if (put(good(), "opening a file into the sound server again") !=
            std::vector<std::int32_t>{MediaPlayer::kOpen}) {
            violation("a good file did not open after the sound server came back: " +
                      player.statusText().toStdString());
            return;
        }
        QTest::qWait(200 + rng_.below(400));
        notified.clear();
        server->killNow();
        timed(
            "waiting for the dead sound server to be told",
            [&] { (void)QTest::qWaitFor([&] { return !notified.empty(); }, 10000); }, 20000);
        if (notified != std::vector<std::int32_t>{MediaPlayer::kClosed})
            violation("a dead sound server did not close the file once");
        else if (player.statusText() != "The sound server stopped: playback ended")
            violation("a dead sound server was not told plainly: " +
                      player.statusText().toStdString());
        else
            ++shared->serverDied;
        put({}, "closing after the sound server died");
    }

private:
    Rng& rng_;
    std::vector<std::string> goods_;
};

// Transport commands in random order and at random times, while the sound
// server hangs, resumes, dies and starts again under the player. No command
// may hold the window, the strip must always show what the player last
// reported, and once the server is back a good file must play.
class CommandRound {
public:
    CommandRound(Rng& rng, std::vector<std::string> goods) : rng_(rng), goods_(std::move(goods)) {}

    void run(int commands) {
        server_ = std::make_unique<testing_support::SoundServer>();
        if (!server_->ready()) {
            violation("the command round's sound server did not start");
            return;
        }
        MediaPlayer player(nullptr, MediaPlayer::AudioOutput::System);
        for (int i = 0; i < commands; ++i) {
            const int which = rng_.below(14);
            const std::string what = command(player, which);
            ++shared->commands;
            timed(
                "letting the player take: " + what,
                [&] { QTest::qWait(rng_.below(3) == 0 ? rng_.below(2500) : rng_.below(150)); },
                20000);
            checkStrip(player, what);
        }
        // The server answers again: whatever came before, a good file plays.
        if (hung_) server_->resume();
        hung_ = false;
        if (dead_ && !server_->restart()) {
            violation("the command round's sound server did not start again");
            return;
        }
        dead_ = false;
        QTest::qWait(300);
        player.setFileName(QString());
        timed(
            "opening a good file after the commands",
            [&] {
                player.setFileName(QString::fromStdString(good()));
                (void)QTest::qWaitFor([&] { return !player.isOpening(); }, 15000);
                (void)QTest::qWaitFor([&] { return player.CurrentPosition() >= 0.3; }, 5000);
            },
            30000);
        if (player.statusText().startsWith("Playing ") && player.CurrentPosition() >= 0.3)
            ++shared->playedAfterChaos;
        else
            violation("no sound after the commands: " + player.statusText().toStdString());
        player.setFileName(QString());
    }

private:
    std::string good() { return goods_[std::size_t(rng_.below(int(goods_.size())))]; }

    // Does one thing and says what; no call on the player may hold the
    // window longer than an open's wait.
    std::string command(MediaPlayer& player, int which) {
        std::string what;
        const long long start = nowMs();
        switch (which) {
        case 0:
        case 1:
            what = "open";
            player.setFileName(QString::fromStdString(good()));
            break;
        case 2:
            what = "close";
            player.setFileName(QString());
            break;
        case 3:
            what = "play";
            player.play();
            break;
        case 4:
            what = "pause";
            player.pause();
            break;
        case 5:
            what = "stop";
            player.stop();
            break;
        case 6:
        case 7:
            what = "seek";
            player.seek(rng_.below(2500) / 1000.0);
            break;
        case 8:
            what = "a burst of seeks";
            for (int k = 0; k < 30; ++k)
                player.seek(rng_.below(2500) / 1000.0);
            break;
        case 9:
            what = "volume";
            player.setVolume(rng_.below(101) / 100.0);
            break;
        case 10:
            what = "mute";
            player.setMuted(!player.isMuted());
            break;
        default:
            // The loop's own doing, which waits for the server: not timed.
            return serverChange();
        }
        const long long held = nowMs() - start;
        if (held > kHeldLimitMs)
            violation(what + " held the window " + std::to_string(held) + " ms");
        return what;
    }

    std::string serverChange() {
        ++shared->serverChanges;
        if (dead_) {
            dead_ = !server_->restart();
            if (dead_) violation("the command round's sound server did not start again");
            return "the sound server starts again";
        }
        if (hung_) {
            hung_ = false;
            if (rng_.chance(0.3)) {
                server_->killNow();
                dead_ = true;
                return "the hung sound server dies";
            }
            server_->resume();
            return "the sound server answers again";
        }
        if (rng_.chance(0.3)) {
            server_->killNow();
            dead_ = true;
            return "the sound server dies";
        }
        server_->hang();
        hung_ = true;
        return "the sound server hangs";
    }

    // The strip's words and its play button say the player's last report.
    void checkStrip(MediaPlayer& player, const std::string& after) {
        ++shared->stripChecks;
        using State = player::PlayerEngine::State;
        const QString status = player.statusText();
        bool fits = false;
        if (player.isOpening()) {
            fits = status.startsWith("Opening ");
        } else {
            switch (player.state()) {
            case State::Playing:
                fits = status.startsWith("Playing ") ||
                       status.startsWith("Sound server not answering: ") ||
                       status.startsWith("No sound device: playing ");
                break;
            case State::Paused:
                fits = status.startsWith("Paused ");
                break;
            case State::Stopped:
                fits = status.startsWith("Stopped ");
                break;
            case State::Closed:
                fits = status.isEmpty() || status.startsWith("Cannot play ") ||
                       status == "Sound server not answering: playback ended" ||
                       status == "The sound server stopped: playback ended";
                break;
            }
        }
        if (!fits)
            violation("after " + after + " the strip says \"" + status.toStdString() +
                      "\" for state " + std::to_string(int(player.state())));
        const bool pauseShown = [&] {
            for (auto* button : player.findChildren<QToolButton*>())
                if (button->accessibleName() == "Pause") return true;
            return false;
        }();
        if (pauseShown != (player.state() == State::Playing))
            violation("after " + after + " the play button does not follow the state");
    }

    static constexpr long long kHeldLimitMs = 150;
    Rng& rng_;
    std::vector<std::string> goods_;
    std::unique_ptr<testing_support::SoundServer> server_;
    bool hung_ = false;
    bool dead_ = false;
};

int runChild(int argc, char** argv, const std::vector<std::string>& goods, long rounds,
             std::uint64_t seed, long long limitMs, const std::string& dir, bool soundServer,
             int commands) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Rng rng(seed);
    {
        Loop loop(rng, goods, dir);
        loop.limitMs = limitMs;
        loop.warmUp();
        ServerRound server(rng, goods);
        for (long r = 0; r < rounds; ++r) {
            loop.round(int(r));
            if (soundServer) {
                server.run();
                CommandRound(rng, goods).run(commands);
            }
        }
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const faults::Options options(argc, argv);
    std::vector<std::string> goods;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--good") goods.emplace_back(argv[i + 1]);
    if (goods.empty()) {
        std::fprintf(stderr, "usage: playbackloop --good FILE [--rounds N] [--seed S]\n");
        return 2;
    }
    const long rounds = options.number("--rounds", 20);
    const std::uint64_t seed = std::uint64_t(options.number("--seed", 1));
    const long long limitMs = options.number("--limit", 10) * 1000;
    const int commands = int(options.number("--commands", 40));
    bool soundServer = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--sound-server") soundServer = true;

    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    faults::check(memory != MAP_FAILED, "shared memory");
    shared = new (memory) Shared;

    // Made and removed by the watchdog, so that a killed loop leaves nothing.
    std::string dir = (qEnvironmentVariableIsEmpty("TMPDIR") ? std::string("/tmp")
                                                             : qgetenv("TMPDIR").toStdString()) +
                      "/playbackloop-XXXXXX";
    faults::check(::mkdtemp(dir.data()) != nullptr, "temporary folder");

    std::fflush(stdout);
    const pid_t child = ::fork();
    faults::check(child >= 0, "fork");
    if (child == 0)
        std::_Exit(runChild(argc, argv, goods, rounds, seed, limitMs, dir, soundServer, commands));

    const long long started = nowMs();
    int crashes = 0, hangs = 0, status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        const long long since = shared->stepStartMs.load();
        if (since != 0 && nowMs() - since > shared->stepLimitMs.load()) {
            hangs = 1;
            std::printf("HANG: %s took more than %lld s; stopping the player\n", shared->step,
                        shared->stepLimitMs.load() / 1000);
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        ::usleep(50000);
    }
    if (!hangs && WIFSIGNALED(status)) {
        crashes = 1;
        std::printf("CRASH: signal %d (%s) while %s\n", WTERMSIG(status),
                    strsignal(WTERMSIG(status)), shared->step);
    }
    faults::removeAll(dir);
    const bool finished = !hangs && !crashes && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!hangs && !crashes && !finished)
        std::printf("the loop stopped early (exit status %d)\n", WEXITSTATUS(status));

    std::printf("playback loop, seed %llu, %ld rounds in %.0f s:\n",
                static_cast<unsigned long long>(seed), rounds, (nowMs() - started) / 1000.0);
    std::printf("  %ld opens tried, %ld of them bad files\n", shared->opens.load(),
                shared->badOpens.load());
    std::printf("  %ld bad files refused, %ld failures reported in plain words\n",
                shared->refused.load(), shared->refusedPlainly.load());
    std::printf("  %ld damaged files played in part, %ld files deleted or cut short while "
                "playing, %ld broke off and said why\n",
                shared->badPlayed.load(), shared->pulledAway.load(), shared->brokeOff.load());
    std::printf("  %ld good files played after a bad one\n", shared->goodPlayed.load());
    std::printf("  %ld files swapped for a FIFO while opening played the file checked\n",
                shared->swapPlayed.load());
    std::printf("  sound server hung and told %ld times, died and told %ld times\n",
                shared->serverHung.load(), shared->serverDied.load());
    std::printf("  %ld transport commands among %ld changes of the sound server, the strip "
                "checked %ld times; a good file played after them %ld times\n",
                shared->commands.load(), shared->serverChanges.load(), shared->stripChecks.load(),
                shared->playedAfterChaos.load());
    std::printf("  words the player used:\n%s", shared->reasons);
    std::printf("crashes: %d, hangs: %d, violations: %ld\n", crashes, hangs,
                shared->violations.load());
    return finished && shared->violations == 0 ? 0 : 1;
}
