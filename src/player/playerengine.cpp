#include "player/playerengine.h"

#include "files/filename.h"
#include "files/posixio.h"

#include <gst/gst.h>
#include <mpg123.h>

#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace player {

struct BusLink;

// What a GStreamer thread needs to reach the engine: the engine may be gone
// by the time a stopping pipeline posts its last message.
struct EngineMailbox {
    std::mutex mutex;
    PlayerEngine* engine = nullptr;
    // Moved on by anything that makes queued messages stale (a stop, a seek,
    // a close, a new file), so an old end of file cannot stop the next file.
    std::atomic<unsigned> generation{0};

    // On an open's thread: its result is ready.
    void openDone(std::uint64_t id) {
        const std::lock_guard lock(mutex);
        if (PlayerEngine* e = engine)
            QMetaObject::invokeMethod(
                e, [e, id] { e->openDone(id); }, Qt::QueuedConnection);
    }
    void busMessage(std::uint64_t id, bool endOfStream, const QString& reason,
                    PlayerEngine::Fault fault) {
        const std::lock_guard lock(mutex);
        const unsigned sent = generation.load();
        if (PlayerEngine* e = engine)
            QMetaObject::invokeMethod(
                e, [=] { e->busMessage(id, sent, endOfStream, reason, fault); },
                Qt::QueuedConnection);
    }
    // On a GStreamer thread.
    static void take(const BusLink& link, GstMessage* message);
};

// One open, from the file name to a prerolled, playing pipeline. It runs on
// a thread of its own; the UI thread waits for it briefly and takes the
// result, or takes it later from the event loop, or abandons it.
struct OpenJob {
    std::uint64_t id = 0;
    QByteArray fileBytes;
    QString mediaName;
    PlayerEngine::Output output = PlayerEngine::Output::System;
    double volume = 1.0;
    std::shared_ptr<EngineMailbox> mailbox;
    // Where the player starts reading, and how many bytes it reads from
    // there; a negative start lets GStreamer read the whole file itself.
    std::int64_t sourceStart = -1;
    std::int64_t sourceBytes = 0;

    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    bool taken = false;     // the UI thread has the result
    bool abandoned = false; // superseded or closed: nobody will take it
    // The result.
    GstElement* pipeline = nullptr;
    int fd = -1;
    double seconds = 0.0;
    PlayerEngine::Silence silence = PlayerEngine::Silence::None;
    QString error;
    // The first failure GStreamer reported while prerolling.
    QString firstError;
};

struct BusLink {
    std::weak_ptr<OpenJob> job;
    std::shared_ptr<EngineMailbox> mailbox;
    std::uint64_t id;
    bool toSoundServer;
};

namespace {

// Opening a local file takes 10 to 100 ms. The sound server gets this long
// to answer before the file plays silently instead; the file itself gets
// longer, since nobody waits for it but the strip's status line.
constexpr std::chrono::seconds kServerTimeout{5};
constexpr GstClockTime kPrerollTimeout = 30 * GST_SECOND;
constexpr std::chrono::seconds kFileTimeout{35};
constexpr GstClockTime kSettleTimeout = 2 * GST_SECOND;
constexpr unsigned kPlayFlagAudio = 1u << 1;
constexpr unsigned kPlayFlagSoftVolume = 1u << 4;

std::atomic<long long> openDelayMs{0};

// Pipelines being stopped behind the UI thread. The engine's destructor
// waits for them, briefly, so that an ordinary exit leaves nothing running.
std::mutex retiringMutex;
std::condition_variable retiringChanged;
int retiring = 0;

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
        default:
            // Decoding, or GStreamer's "general stream error": the data is
            // at fault, and its own words name the library.
            return QStringLiteral("the file is damaged");
        }
    } else if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) {
        return QStringLiteral("not an MP3 file"); // something else, that we do not play
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

struct Mpg123Handle {
    mpg123_handle* handle = nullptr;
    ~Mpg123Handle() {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
};

// Runs work on a thread of its own and waits for it at most timeout. When
// the time runs out, the thread is left to finish alone and then runs
// abandon on what it made; the caller goes on without it.
bool runBounded(std::function<void()> work, std::function<void()> abandon,
                std::chrono::milliseconds timeout) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work), abandon = std::move(abandon)] {
        work();
        std::unique_lock lock(shared->mutex);
        shared->done = true;
        if (shared->abandoned) {
            lock.unlock();
            abandon();
            return;
        }
        shared->changed.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (shared->changed.wait_for(lock, timeout, [&] { return shared->done; })) return true;
    shared->abandoned = true;
    return false;
}

void stopAndRelease(GstElement* element, int fd) {
    if (element) {
        gst_element_set_state(element, GST_STATE_NULL);
        gst_object_unref(element);
    }
    if (fd >= 0) ::close(fd);
}

// Stops a pipeline and closes its file behind the caller: stopping waits
// for the sound server, which may never answer.
void retire(GstElement* pipeline, int fd) {
    if (!pipeline && fd < 0) return;
    {
        const std::lock_guard lock(retiringMutex);
        ++retiring;
    }
    std::thread([pipeline, fd] {
        stopAndRelease(pipeline, fd);
        const std::lock_guard lock(retiringMutex);
        --retiring;
        retiringChanged.notify_all();
    }).detach();
}

// True when autoaudiosink put in a fakesink of its own because no sound
// output works.
bool autoSinkIsSilent(GstElement* sink) {
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
    return silent;
}

// The sound server shows the stream as this program playing this file.
void nameStream(GstElement* sink, const QString& mediaName) {
    const auto name = [&](GstElement* element) {
        GObjectClass* type = G_OBJECT_GET_CLASS(element);
        if (g_object_class_find_property(type, "client-name"))
            g_object_set(element, "client-name", "Brindlo", nullptr);
        if (g_object_class_find_property(type, "stream-properties")) {
            GstStructure* properties = gst_structure_new(
                "props", "application.name", G_TYPE_STRING, "Brindlo", "media.name", G_TYPE_STRING,
                mediaName.toUtf8().constData(), "media.role", G_TYPE_STRING, "music", nullptr);
            g_object_set(element, "stream-properties", properties, nullptr);
            gst_structure_free(properties);
        }
    };
    // The server names the stream after the title tag that reaches the
    // sink: make that the file's name, whatever the file's own tag says.
    if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
            [](GstPad*, GstPadProbeInfo* info, gpointer name) {
                GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
                if (GST_EVENT_TYPE(event) != GST_EVENT_TAG) return GST_PAD_PROBE_OK;
                GstTagList* tags = nullptr;
                gst_event_parse_tag(event, &tags);
                GstTagList* renamed = tags ? gst_tag_list_copy(tags) : gst_tag_list_new_empty();
                gst_tag_list_add(renamed, GST_TAG_MERGE_REPLACE, GST_TAG_TITLE,
                                 static_cast<QByteArray*>(name)->constData(), nullptr);
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_tag(renamed);
                return GST_PAD_PROBE_OK;
            },
            new QByteArray(mediaName.toUtf8()),
            [](gpointer name) { delete static_cast<QByteArray*>(name); });
        gst_object_unref(pad);
    }
    if (GST_IS_BIN(sink)) {
        GstIterator* children = gst_bin_iterate_recurse(GST_BIN(sink));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
            name(GST_ELEMENT(g_value_get_object(&item)));
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(children);
    } else {
        name(sink);
    }
}

GstElement* makeSilentSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink) {
        gst_object_ref_sink(sink);
        g_object_set(sink, "sync", TRUE, nullptr); // keep real time
    }
    return sink;
}

// The system's sound output, ready to take a stream; null when the sound
// server did not answer in time (it keeps a thread of its own then).
GstElement* makeSystemSink(const QString& mediaName, PlayerEngine::Silence* silence) {
    GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (!sink) {
        *silence = PlayerEngine::Silence::NoDevice;
        return makeSilentSink();
    }
    gst_object_ref_sink(sink);
    // Names must be set before the connection: the server reads them then.
    g_signal_connect_data(
        sink, "child-added", G_CALLBACK(+[](GstChildProxy*, GObject* child, gchar*, gpointer name) {
            nameStream(GST_ELEMENT(child), *static_cast<QString*>(name));
        }),
        new QString(mediaName),
        [](gpointer name, GClosure*) { delete static_cast<QString*>(name); }, GConnectFlags(0));
    auto ready = std::make_shared<std::atomic<bool>>(false);
    const bool answered = runBounded(
        [sink, ready] {
            *ready = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
        },
        [sink] { stopAndRelease(sink, -1); }, kServerTimeout);
    if (!answered) {
        *silence = PlayerEngine::Silence::ServerNotAnswering;
        return makeSilentSink();
    }
    if (!*ready || autoSinkIsSilent(sink)) {
        stopAndRelease(sink, -1);
        *silence = PlayerEngine::Silence::NoDevice;
        return makeSilentSink();
    }
    *silence = PlayerEngine::Silence::None;
    return sink;
}

// A second open file for the same file, for a second pipeline when the
// first had to be left to a hung sound server. Through the open file, not
// its name, and checked to be the very same file.
int reopen(int fd) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const int again = ::open(self.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (again < 0) return -1;
    struct stat a {
    }, b{};
    if (::fstat(fd, &a) != 0 || ::fstat(again, &b) != 0 || a.st_dev != b.st_dev ||
        a.st_ino != b.st_ino || !S_ISREG(b.st_mode)) {
        ::close(again);
        return -1;
    }
    ::fcntl(again, F_SETFL, ::fcntl(again, F_GETFL) & ~O_NONBLOCK);
    return again;
}

// Feeds playbin's appsrc from the open file, starting at the first frame.
// It holds a duplicate of the file, closed with the pipeline, so that a
// GStreamer thread can never read a number the engine has closed and
// reused meanwhile. The callbacks run on the streaming thread one at a time;
// the mutex only keeps seek and read apart should that ever change.
struct AudioFeed {
    int fd = -1;
    std::int64_t start = 0;
    std::int64_t size = 0;
    std::mutex mutex;
    std::int64_t offset = 0;
    ~AudioFeed() {
        if (fd >= 0) ::close(fd);
    }
};

constexpr guint kFeedChunk = 64 * 1024;

void feedNeedData(GstElement* source, guint length, gpointer data) {
    auto* feed = static_cast<AudioFeed*>(data);
    const std::lock_guard lock(feed->mutex);
    const std::int64_t left = feed->size - feed->offset;
    GstFlowReturn flow = GST_FLOW_OK;
    if (left <= 0) {
        g_signal_emit_by_name(source, "end-of-stream", &flow);
        return;
    }
    // Pull mode asks for an exact length; -1 or 0 means any.
    const guint want = length == 0 || length == G_MAXUINT ? kFeedChunk : length;
    const auto count = static_cast<gsize>(std::min<std::int64_t>(want, left));
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, count, nullptr);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (buffer) gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(source, RESOURCE, READ, (nullptr), ("no buffer"));
        return;
    }
    const ssize_t got = files::retryInterrupted(
        [&] { return ::pread(feed->fd, map.data, count, feed->start + feed->offset); });
    gst_buffer_unmap(buffer, &map);
    if (got <= 0) {
        gst_buffer_unref(buffer);
        if (got < 0) {
            GST_ELEMENT_ERROR(source, RESOURCE, READ, (nullptr), ("pread failed"));
        } else {
            g_signal_emit_by_name(source, "end-of-stream", &flow); // the file shrank
        }
        return;
    }
    gst_buffer_set_size(buffer, got);
    GST_BUFFER_OFFSET(buffer) = static_cast<guint64>(feed->offset);
    feed->offset += got;
    GST_BUFFER_OFFSET_END(buffer) = static_cast<guint64>(feed->offset);
    g_signal_emit_by_name(source, "push-buffer", buffer, &flow);
    gst_buffer_unref(buffer); // the signal takes its own reference
}

gboolean feedSeekData(GstElement*, guint64 offset, gpointer data) {
    auto* feed = static_cast<AudioFeed*>(data);
    const std::lock_guard lock(feed->mutex);
    if (offset > static_cast<guint64>(feed->size)) return FALSE;
    feed->offset = static_cast<std::int64_t>(offset);
    return TRUE;
}

void setUpFeed(GstElement* /*playbin*/, GstElement* source, gpointer data) {
    auto* feed = static_cast<AudioFeed*>(data);
    // Random access: typefind and the parser pull what they need, and a
    // seek in time becomes a byte offset here.
    constexpr int kStreamRandomAccess = 2;
    g_object_set(source, "stream-type", kStreamRandomAccess, "format", GST_FORMAT_BYTES, "size",
                 static_cast<gint64>(feed->size), nullptr);
    g_signal_connect(source, "need-data", G_CALLBACK(feedNeedData), feed);
    g_signal_connect(source, "seek-data", G_CALLBACK(feedSeekData), feed);
}

// A playbin that reads the open file fd and plays into sink. It takes the
// sink, not the file.
GstElement* makePipeline(const std::shared_ptr<OpenJob>& job, int fd, GstElement* sink,
                         bool toSoundServer) {
    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    if (!pipeline) {
        stopAndRelease(sink, -1);
        return nullptr;
    }
    gst_object_ref_sink(pipeline);
    // The player reads the file we checked, never its name: through the
    // open file's own link, a swap or a FIFO put in its place after the
    // check cannot reach it. Not fd://, which GStreamer takes for a network
    // stream: it then buffers and seeks in push mode, and a seek made while
    // paused right after opening was measured to be lost.
    QByteArray uri = "file:///proc/self/fd/" + QByteArray::number(fd);
    // GStreamer finds the first frame only near the start, and takes a
    // chain of tags apart one tag at a time (half a minute for 2,000): where
    // more than one tag comes first, we hand it the audio from its first
    // frame on.
    if (job->sourceStart >= 0) {
        auto* feed = new AudioFeed;
        feed->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        feed->start = job->sourceStart;
        feed->size = job->sourceBytes;
        // Freed with the pipeline, after its threads have stopped.
        g_object_set_data_full(G_OBJECT(pipeline), "brindlo-feed", feed,
                               [](gpointer f) { delete static_cast<AudioFeed*>(f); });
        if (feed->fd < 0) {
            stopAndRelease(pipeline, -1);
            stopAndRelease(sink, -1);
            return nullptr;
        }
        g_signal_connect(pipeline, "source-setup", G_CALLBACK(setUpFeed), feed);
        uri = "appsrc://";
    }
    g_object_set(pipeline, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, "uri", uri.constData(),
                 "audio-sink", sink, "volume", job->volume, nullptr);
    gst_object_unref(sink); // playbin holds it now
    GstBus* bus = gst_element_get_bus(pipeline);
    // A bus watch would need a GLib main loop, which Qt does not run here:
    // the sync handler sees each message on the thread that posts it.
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer link) {
            EngineMailbox::take(*static_cast<BusLink*>(link), message);
            return GST_BUS_DROP;
        },
        new BusLink{job, job->mailbox, job->id, toSoundServer},
        [](gpointer link) { delete static_cast<BusLink*>(link); });
    gst_object_unref(bus);
    return pipeline;
}

// Prerolls and starts the pipeline, waiting at most bound. On failure says
// why; a pipeline that did not answer in time is left to a thread of its
// own, and *pipeline and *fd are cleared then.
bool start(const std::shared_ptr<OpenJob>& job, GstElement** pipeline, int* fd,
           std::chrono::milliseconds bound, QString* reason) {
    {
        const std::lock_guard lock(job->mutex);
        job->firstError.clear();
    }
    GstElement* p = *pipeline;
    auto result = std::make_shared<std::atomic<int>>(GST_STATE_CHANGE_FAILURE);
    const int file = *fd;
    const bool answered = runBounded(
        [p, result] {
            gst_element_set_state(p, GST_STATE_PAUSED);
            GstState reached = GST_STATE_NULL;
            GstStateChangeReturn r = gst_element_get_state(p, &reached, nullptr, kPrerollTimeout);
            if (r != GST_STATE_CHANGE_FAILURE && reached == GST_STATE_PAUSED)
                r = gst_element_set_state(p, GST_STATE_PLAYING);
            else if (r != GST_STATE_CHANGE_FAILURE)
                r = GST_STATE_CHANGE_NO_PREROLL; // still prerolling: too long
            *result = r;
        },
        [p, file] { stopAndRelease(p, file); }, bound);
    if (!answered) {
        *pipeline = nullptr;
        *fd = -1;
        *reason = QStringLiteral("it took too long to open");
        return false;
    }
    const auto r = static_cast<GstStateChangeReturn>(result->load());
    if (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_ASYNC) return true;
    {
        const std::lock_guard lock(job->mutex);
        *reason = job->firstError;
    }
    if (r == GST_STATE_CHANGE_NO_PREROLL)
        *reason = QStringLiteral("it took too long to open");
    else if (reason->isEmpty())
        *reason = QStringLiteral("the player could not open it");
    return false;
}

// Opens the file once, checks it, measures it and starts a pipeline on it.
bool openAndStart(const std::shared_ptr<OpenJob>& job, GstElement** pipeline, int* fd,
                  QString* reason) {
    if (!startGstreamer(reason)) {
        if (reason->isEmpty()) *reason = QStringLiteral("the player did not start");
        return false;
    }
    // Non-blocking, so that a FIFO cannot hang the open; the type is then
    // checked on what was opened, not on a name that may have changed.
    *fd = ::open(job->fileBytes.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0) {
        *reason = errno == ENXIO ? QStringLiteral("not a regular file") // a FIFO, no writer
                                 : errnoWords(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(*fd, &info) != 0) {
        *reason = errnoWords(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *reason = QStringLiteral("it is a folder");
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *reason = QStringLiteral("not a regular file");
        return false;
    }
    if (info.st_size == 0) {
        *reason = QStringLiteral("the file is empty");
        return false;
    }
    ::fcntl(*fd, F_SETFL, ::fcntl(*fd, F_GETFL) & ~O_NONBLOCK);

    const DurationResult length = scanDuration(*fd);
    if (!length.error.isEmpty()) {
        *reason = length.error;
        return false;
    }
    job->seconds = length.seconds;
    if (length.feedFrom >= 0) {
        job->sourceStart = length.feedFrom;
        job->sourceBytes = info.st_size - length.feedFrom;
    }
    if (::lseek(*fd, 0, SEEK_SET) != 0) {
        *reason = errnoWords(errno);
        return false;
    }
    {
        const std::lock_guard lock(job->mutex);
        if (job->abandoned) return false;
    }

    using Silence = PlayerEngine::Silence;
    Silence silence = Silence::None;
    GstElement* sink = job->output == PlayerEngine::Output::Silent
                           ? makeSilentSink()
                           : makeSystemSink(job->mediaName, &silence);
    if (!sink) {
        *reason = QStringLiteral("the silent output is missing");
        return false;
    }
    job->silence = silence;
    const bool toServer = job->output == PlayerEngine::Output::System && silence == Silence::None;
    *pipeline = makePipeline(job, *fd, sink, toServer);
    if (!*pipeline) {
        *reason = QStringLiteral("the player did not start");
        return false;
    }
    // A spare open file for a second try, taken while the first one is
    // still ours: the first may have to be left to a hung sound server.
    const int spare = toServer ? reopen(*fd) : -1;
    if (start(job, pipeline, fd, kFileTimeout, reason)) {
        if (spare >= 0) ::close(spare);
        return true;
    }
    if (!toServer) return false;

    // The sound output may be what failed. If the file opens on the silent
    // sink, play it there rather than not at all.
    const bool hung = *pipeline == nullptr;
    stopAndRelease(*pipeline, -1);
    *pipeline = nullptr;
    if (hung) {
        *fd = spare;
    } else if (spare >= 0) {
        ::close(spare);
    }
    if (*fd < 0 || ::lseek(*fd, 0, SEEK_SET) != 0) return false;
    job->silence = hung ? Silence::ServerNotAnswering : Silence::NoDevice;
    GstElement* silent = makeSilentSink();
    if (!silent) return false;
    *pipeline = makePipeline(job, *fd, silent, false);
    if (!*pipeline) return false;
    QString again;
    if (start(job, pipeline, fd, kFileTimeout, &again)) return true;
    if (hung) *reason = again;
    return false;
}

void runOpen(const std::shared_ptr<OpenJob>& job) {
    if (const long long delay = openDelayMs.load(); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    QString reason;
    int fd = -1;
    GstElement* pipeline = nullptr;
    const bool ok = openAndStart(job, &pipeline, &fd, &reason);
    if (!ok) {
        stopAndRelease(pipeline, fd);
        pipeline = nullptr;
        fd = -1;
    }
    std::unique_lock lock(job->mutex);
    job->done = true;
    if (job->abandoned) {
        // Superseded or closed while it opened: nobody takes it.
        lock.unlock();
        stopAndRelease(pipeline, fd);
        return;
    }
    job->pipeline = pipeline;
    job->fd = fd;
    job->error = ok ? QString() : reason;
    job->doneChanged.notify_all();
    lock.unlock();
    job->mailbox->openDone(job->id);
}

} // namespace

namespace {

// libmpg123's full scan: only for free-format frames, whose length is not in
// their headers. It reads the whole file.
DurationResult scanWithDecoder(int fd) {
    const QString notMp3 = QStringLiteral("not an MP3 file");
    int error = MPG123_OK;
    Mpg123Handle decoder{mpg123_new(nullptr, &error)};
    if (!decoder.handle) return {0.0, QStringLiteral("the MP3 decoder did not start")};
    mpg123_param(decoder.handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Any amount of junk before the first frame, as GStreamer skips it too.
    mpg123_param(decoder.handle, MPG123_RESYNC_LIMIT, -1, 0);
    if (mpg123_open_fd(decoder.handle, fd) != MPG123_OK) return {0.0, notMp3};
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

} // namespace

DurationResult scanDuration(int fd) {
    // GStreamer only estimates the length of a VBR file without a
    // Xing/Info header, and badly (9 s for a 10 s file). An encoder's header
    // that agrees with the file gives the exact length in two reads;
    // otherwise the frame headers are counted.
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {0.0, QStringLiteral("the file could not be read")};
    const playback::Mp3Length length = playback::measureMp3Length(files::readAtFd(fd), st.st_size);
    switch (length.error) {
    case playback::Mp3LengthError::None: {
        // At most one tag, then the first frame: what GStreamer reads by
        // itself without trouble.
        const bool plain = length.audioStart == 0 ||
                           (length.leadingTags == 1 && length.audioStart == length.tagsEnd);
        return {length.seconds(), {}, plain ? -1 : length.audioStart};
    }
    case playback::Mp3LengthError::Empty:
        return {0.0, QStringLiteral("the file is empty")};
    case playback::Mp3LengthError::NoFrames:
        return {0.0, QStringLiteral("not an MP3 file")};
    case playback::Mp3LengthError::Damaged:
        return {0.0, QStringLiteral("the file is damaged")};
    case playback::Mp3LengthError::Unreadable:
        return {0.0, QStringLiteral("the file could not be read")};
    case playback::Mp3LengthError::Unsupported:
        break;
    }
    return scanWithDecoder(fd);
}

void EngineMailbox::take(const BusLink& link, GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        link.mailbox->busMessage(link.id, true, {}, PlayerEngine::Fault::File);
        break;
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        QString reason = error ? gstreamerWords(error) : QStringLiteral("playing failed");
        if (error) g_error_free(error);
        // A failure of the sound server's sink is no fault of the file.
        auto fault = PlayerEngine::Fault::File;
        GstObject* source = GST_MESSAGE_SRC(message);
        if (link.toSoundServer && source && GST_IS_ELEMENT(source) &&
            GST_OBJECT_FLAG_IS_SET(source, GST_ELEMENT_FLAG_SINK))
            fault = PlayerEngine::Fault::SoundOutput;
        if (const auto job = link.job.lock()) {
            const std::lock_guard lock(job->mutex);
            if (job->firstError.isEmpty()) job->firstError = reason;
        }
        link.mailbox->busMessage(link.id, false, reason, fault);
        break;
    }
    default:
        break;
    }
}

PlayerEngine::PlayerEngine(Output output, QObject* parent)
    : QObject(parent), output_(output), mailbox_(std::make_shared<EngineMailbox>()) {
    mailbox_->engine = this;
}

PlayerEngine::~PlayerEngine() {
    {
        const std::lock_guard lock(mailbox_->mutex);
        mailbox_->engine = nullptr; // nothing reaches us from now on
    }
    close();
    // An ordinary stop takes milliseconds: wait for it, so that the program
    // does not end under a running pipeline. One that hangs is left behind.
    std::unique_lock lock(retiringMutex);
    retiringChanged.wait_for(lock, std::chrono::seconds(1), [] { return retiring == 0; });
}

void PlayerEngine::delayOpensForTesting(std::chrono::milliseconds delay) {
    openDelayMs = delay.count();
}

PlayerEngine::Opened PlayerEngine::open(const QString& path) {
    close();
    error_.clear();
    if (path.isEmpty()) {
        error_ = QStringLiteral("no file named");
        return Opened::Failed;
    }
    const QByteArray bytes = files::encodeFileName(path);
    if (bytes.isEmpty()) {
        error_ = QStringLiteral("no such file");
        return Opened::Failed;
    }
    static std::atomic<std::uint64_t> lastId{0};
    auto job = std::make_shared<OpenJob>();
    job->id = ++lastId;
    job->fileBytes = bytes;
    job->mediaName = QFileInfo(path).fileName();
    job->output = output_;
    job->volume = volume_;
    job->mailbox = mailbox_;
    std::thread([job] { runOpen(job); }).detach();

    std::unique_lock lock(job->mutex);
    if (job->doneChanged.wait_for(lock, std::chrono::milliseconds(kOpenWaitMs),
                                  [&] { return job->done; })) {
        job->taken = true;
        lock.unlock();
        adopt(job);
        return isOpen() ? Opened::Now : Opened::Failed;
    }
    lock.unlock();
    pending_ = std::move(job);
    return Opened::Later;
}

void PlayerEngine::openDone(std::uint64_t id) {
    if (!pending_ || pending_->id != id) return; // taken already, or abandoned
    const std::shared_ptr<OpenJob> job = std::move(pending_);
    {
        const std::lock_guard lock(job->mutex);
        job->taken = true;
    }
    adopt(job);
    if (isOpen())
        emit opened();
    else
        emit openFailed(error_);
}

void PlayerEngine::adopt(const std::shared_ptr<OpenJob>& job) {
    if (!job->pipeline) {
        error_ = job->error;
        return;
    }
    pipeline_ = std::exchange(job->pipeline, nullptr);
    fd_ = std::exchange(job->fd, -1);
    currentId_ = job->id;
    ++mailbox_->generation; // what it said while opening is over
    duration_ = job->seconds;
    silence_ = output_ == Output::System ? job->silence : Silence::None;
    lastPosition_ = 0.0;
    atEnd_ = false;
    state_ = State::Playing;
    g_object_set(pipeline_, "volume", volume_, nullptr); // it may have moved meanwhile
}

void PlayerEngine::cancelPending() {
    if (!pending_) return;
    const std::shared_ptr<OpenJob> job = std::move(pending_);
    std::unique_lock lock(job->mutex);
    if (job->done) {
        // Its result waits in the event queue, where nobody will take it.
        GstElement* pipeline = std::exchange(job->pipeline, nullptr);
        const int fd = std::exchange(job->fd, -1);
        lock.unlock();
        retire(pipeline, fd);
    } else {
        job->abandoned = true;
    }
}

void PlayerEngine::close() {
    cancelPending();
    ++mailbox_->generation;
    retire(std::exchange(pipeline_, nullptr), std::exchange(fd_, -1));
    currentId_ = 0;
    state_ = State::Closed;
    duration_ = 0.0;
    lastPosition_ = 0.0;
    atEnd_ = false;
    silence_ = Silence::None;
}

bool PlayerEngine::waitForState(std::uint64_t timeoutNs) {
    return gst_element_get_state(pipeline_, nullptr, nullptr, timeoutNs) !=
           GST_STATE_CHANGE_FAILURE;
}

bool PlayerEngine::play() {
    if (!isOpen()) return false;
    if (atEnd_) seek(0.0);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        onError(QStringLiteral("the sound output failed"), Fault::SoundOutput);
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
    ++mailbox_->generation;
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

void PlayerEngine::busMessage(std::uint64_t id, unsigned generation, bool endOfStream,
                              const QString& reason, Fault fault) {
    if (id != currentId_ || generation != mailbox_->generation.load()) return;
    if (endOfStream)
        onEndOfStream();
    else
        onError(reason, fault);
}

void PlayerEngine::onEndOfStream() {
    if (!isOpen()) return;
    // An end that comes before any sound was played, in a file whose frames
    // promise more, means GStreamer found nothing it could decode there.
    if (duration_ >= 1.0 && position() < 0.25) {
        onError(QStringLiteral("no sound could be decoded from it"), Fault::File);
        return;
    }
    if (autoRewind_) {
        stop();
    } else {
        gst_element_set_state(pipeline_, GST_STATE_PAUSED);
        state_ = State::Stopped;
        atEnd_ = true;
    }
    emit finished();
}

void PlayerEngine::onError(const QString& reason, Fault fault) {
    if (!isOpen()) return;
    close();
    error_ = reason;
    emit failed(reason, fault);
}

} // namespace player
