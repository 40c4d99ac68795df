#include "platform/playerengine.h"

#include "platform/filename.h"

#include <gst/gst.h>
#include <mpg123.h>

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Opening a local file takes 10 to 100 ms; the bound is for a sound server
// or a file system that does not answer, so that we never hang.
constexpr GstClockTime kOpenTimeout = 5 * GST_SECOND;
constexpr GstClockTime kSettleTimeout = 2 * GST_SECOND;
constexpr unsigned kPlayFlagAudio = 1u << 1;
constexpr unsigned kPlayFlagSoftVolume = 1u << 4;

bool startGstreamer(QString* reason) {
    static const QString failure = [] {
        GError* error = nullptr;
        if (gst_init_check(nullptr, nullptr, &error)) return QString();
        QString text = QStringLiteral("the sound system did not start");
        if (error) {
            text += QStringLiteral(" (%1)").arg(QString::fromUtf8(error->message));
            g_error_free(error);
        }
        return text;
    }();
    *reason = failure;
    return failure.isEmpty();
}

QString errnoWords(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("no such file");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    default:
        return QString::fromLocal8Bit(std::strerror(error)).toLower();
    }
}

// GStreamer's messages are written for developers; these are the ones a
// listener can act on.
QString gstreamerWords(const GError* error) {
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
            return QStringLiteral("not an MP3 file");
        case GST_STREAM_ERROR_DECODE:
            return QStringLiteral("the file is damaged");
        default:
            break;
        }
    } else if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return QStringLiteral("no such file");
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_READ:
            return QStringLiteral("the file cannot be read");
        default:
            break;
        }
    }
    QString text = QString::fromUtf8(error->message);
    if (text.endsWith(u'.')) text.chop(1);
    return text;
}

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

struct Mpg123Handle {
    mpg123_handle* handle = nullptr;
    ~Mpg123Handle() {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
};

// The exact length in seconds by a scan of every frame, or why there is
// none. GStreamer only estimates the length of a VBR file without a
// Xing/Info header, and badly (9 s for a 10 s file).
struct Scan {
    double seconds = 0.0;
    QString error;
};

Scan scanFile(const QByteArray& bytes) {
    // Non-blocking, so that a FIFO cannot hang the open; the type is then
    // checked on what was opened, not on a name that may have changed.
    FileDescriptor file{::open(bytes.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat info {};
    if (file.fd < 0) {
        if (errno == ENXIO) // a FIFO without a writer
            return {0.0, QStringLiteral("not a regular file")};
        return {0.0, errnoWords(errno)};
    }
    if (::fstat(file.fd, &info) != 0) return {0.0, errnoWords(errno)};
    if (S_ISDIR(info.st_mode)) return {0.0, QStringLiteral("it is a folder")};
    if (!S_ISREG(info.st_mode)) return {0.0, QStringLiteral("not a regular file")};
    if (info.st_size == 0) return {0.0, QStringLiteral("the file is empty")};

    const QString notMp3 = QStringLiteral("not an MP3 file");
    int error = MPG123_OK;
    Mpg123Handle decoder{mpg123_new(nullptr, &error)};
    if (!decoder.handle) return {0.0, QStringLiteral("the MP3 decoder did not start")};
    mpg123_param(decoder.handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (mpg123_open_fd(decoder.handle, file.fd) != MPG123_OK) return {0.0, notMp3};
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(decoder.handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
        return {0.0, notMp3};
    if (mpg123_scan(decoder.handle) != MPG123_OK) return {0.0, notMp3};
    const off_t samples = mpg123_length(decoder.handle);
    if (samples <= 0) return {0.0, notMp3};
    return {static_cast<double>(samples) / static_cast<double>(rate), {}};
}

// autoaudiosink puts in a fakesink of its own when no sound output works.
bool autoSinkIsSilent(GstElement* playbin) {
    GstElement* sink = nullptr;
    g_object_get(playbin, "audio-sink", &sink, nullptr);
    if (!sink) return false;
    bool silent = false;
    if (GST_IS_BIN(sink)) {
        GstIterator* children = gst_bin_iterate_elements(GST_BIN(sink));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
            auto* child = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* factory = gst_element_get_factory(child);
            if (factory && std::strcmp(GST_OBJECT_NAME(factory), "fakesink") == 0) silent = true;
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(children);
    }
    gst_object_unref(sink);
    return silent;
}

GstElement* makeSilentSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink) g_object_set(sink, "sync", TRUE, nullptr); // keep real time
    return sink;
}

} // namespace

PlayerEngine::PlayerEngine(Output output, QObject* parent) : QObject(parent), output_(output) {}

PlayerEngine::~PlayerEngine() {
    if (!pipeline_) return;
    // Stopping joins GStreamer's threads, so no message can arrive after
    // the handler is gone; whatever was already queued dies with us.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_);
}

bool PlayerEngine::load(const QString& path) {
    close();
    error_.clear();
    if (path.isEmpty()) return fail(QStringLiteral("no file named"));
    const QByteArray bytes = encodeFileName(path);
    if (bytes.isEmpty()) return fail(QStringLiteral("no such file"));

    const Scan scan = scanFile(bytes);
    if (!scan.error.isEmpty()) return fail(scan.error);
    if (!prepare(bytes)) return false;
    duration_ = scan.seconds;
    lastPosition_ = 0.0;
    state_ = State::Stopped;
    return true;
}

bool PlayerEngine::prepare(const QByteArray& fileBytes) {
    QString reason;
    if (!startGstreamer(&reason) || !ensurePipeline())
        return fail(reason.isEmpty() ? QStringLiteral("the player did not start") : reason);

    // From the bytes, not from text: a name that is not UTF-8 must still
    // open this very file.
    GError* uriError = nullptr;
    gchar* uri = gst_filename_to_uri(fileBytes.constData(), &uriError);
    if (!uri) {
        if (uriError) g_error_free(uriError);
        return fail(QStringLiteral("no such file"));
    }
    const QByteArray uriBytes(uri);
    g_free(uri);

    if (output_ == Output::Silent) {
        silentFallback_ = false;
        return preroll(uriBytes, Sink::Silent);
    }
    if (preroll(uriBytes, Sink::Default)) {
        silentFallback_ = autoSinkIsSilent(pipeline_);
        return true;
    }
    // The sound output may be what failed. If the file opens on the
    // silent sink, play it there rather than not at all.
    if (preroll(uriBytes, Sink::Silent)) {
        silentFallback_ = true;
        return true;
    }
    silentFallback_ = false;
    return false;
}

bool PlayerEngine::ensurePipeline() {
    if (pipeline_) return true;
    pipeline_ = gst_element_factory_make("playbin", nullptr);
    if (!pipeline_) return false;
    gst_object_ref_sink(pipeline_);
    g_object_set(pipeline_, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    GstBus* bus = gst_element_get_bus(pipeline_);
    // A bus watch would need a GLib main loop, which Qt does not run here:
    // the sync handler sees each message on the thread that posts it.
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer self) {
            static_cast<PlayerEngine*>(self)->takeBusMessage(message);
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);
    return true;
}

bool PlayerEngine::preroll(const QByteArray& uri, Sink sink) {
    resetPipeline();
    {
        const std::lock_guard lock(errorMutex_);
        firstError_.clear();
    }
    GstElement* audioSink = sink == Sink::Silent ? makeSilentSink() : nullptr;
    if (sink == Sink::Silent && !audioSink)
        return fail(QStringLiteral("the silent output is missing"));
    g_object_set(pipeline_, "audio-sink", audioSink, "uri", uri.constData(), "volume", volume_,
                 nullptr);
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    GstState reached = GST_STATE_NULL;
    const GstStateChangeReturn result =
        gst_element_get_state(pipeline_, &reached, nullptr, kOpenTimeout);
    if (result != GST_STATE_CHANGE_FAILURE && reached == GST_STATE_PAUSED) return true;

    QString reason;
    {
        const std::lock_guard lock(errorMutex_);
        reason = firstError_;
    }
    if (result == GST_STATE_CHANGE_ASYNC)
        reason = QStringLiteral("it took too long to open");
    else if (reason.isEmpty())
        reason = QStringLiteral("the player could not open it");
    resetPipeline();
    return fail(reason);
}

void PlayerEngine::resetPipeline() {
    ++generation_;
    if (pipeline_) gst_element_set_state(pipeline_, GST_STATE_NULL);
}

bool PlayerEngine::waitForState(std::uint64_t timeoutNs) {
    return gst_element_get_state(pipeline_, nullptr, nullptr, timeoutNs) !=
           GST_STATE_CHANGE_FAILURE;
}

bool PlayerEngine::fail(const QString& reason) {
    error_ = reason;
    return false;
}

void PlayerEngine::close() {
    resetPipeline();
    state_ = State::Closed;
    duration_ = 0.0;
    lastPosition_ = 0.0;
    atEnd_ = false;
    silentFallback_ = false;
}

bool PlayerEngine::play() {
    if (!isOpen()) return false;
    if (atEnd_) seek(0.0);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        onError(QStringLiteral("the sound output failed"));
        return false;
    }
    state_ = State::Playing;
    return true;
}

void PlayerEngine::pause() {
    if (!isOpen() || state_ == State::Paused) return;
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    state_ = State::Paused;
}

void PlayerEngine::stop() {
    if (!isOpen()) return;
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    seek(0.0); // which also makes a queued end of file stale
    // So that the position reads 0 at once, not after the flush.
    waitForState(kSettleTimeout);
    state_ = State::Stopped;
}

void PlayerEngine::seek(double seconds) {
    if (!isOpen() || !std::isfinite(seconds)) return;
    seconds = std::clamp(seconds, 0.0, duration_);
    ++generation_;
    gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                            static_cast<gint64>(seconds * GST_SECOND));
    lastPosition_ = seconds;
    atEnd_ = false;
}

void PlayerEngine::setVolume(double level) {
    if (!std::isfinite(level)) return;
    volume_ = std::clamp(level, 0.0, 1.0);
    if (pipeline_) g_object_set(pipeline_, "volume", volume_, nullptr);
}

double PlayerEngine::position() const {
    if (!isOpen()) return 0.0;
    if (atEnd_) return duration_;
    gint64 ns = 0;
    // The query fails while a seek flushes; the last answer stands then.
    if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0)
        lastPosition_ = std::min(static_cast<double>(ns) / GST_SECOND, duration_);
    return lastPosition_;
}

void PlayerEngine::takeBusMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        post(true, {});
        break;
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        const QString reason = error ? gstreamerWords(error) : QStringLiteral("playing failed");
        if (error) g_error_free(error);
        {
            const std::lock_guard lock(errorMutex_);
            if (firstError_.isEmpty()) firstError_ = reason;
        }
        post(false, reason);
        break;
    }
    default:
        break;
    }
}

void PlayerEngine::post(bool endOfStream, const QString& reason) {
    const unsigned generation = generation_.load();
    QMetaObject::invokeMethod(
        this,
        [this, generation, endOfStream, reason] {
            if (generation != generation_.load()) return;
            if (endOfStream)
                onEndOfStream();
            else
                onError(reason);
        },
        Qt::QueuedConnection);
}

void PlayerEngine::onEndOfStream() {
    if (!isOpen()) return;
    if (autoRewind_) {
        stop();
    } else {
        gst_element_set_state(pipeline_, GST_STATE_PAUSED);
        state_ = State::Stopped;
        atEnd_ = true;
    }
    emit finished();
}

void PlayerEngine::onError(const QString& reason) {
    if (!isOpen()) return;
    close();
    error_ = reason;
    emit failed(reason);
}

} // namespace platform
