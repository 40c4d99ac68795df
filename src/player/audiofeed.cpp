#include "player/audiofeed.h"

#include "files/posixio.h"

#include <gst/gst.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace player {
namespace {

// It holds a duplicate of the file, closed with the pipeline, so that a
// GStreamer thread can never read a number the player has closed and
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

} // namespace

bool feedFromFirstFrame(GstElement* playbin, int fd, std::int64_t start, std::int64_t size) {
    auto* feed = new AudioFeed;
    feed->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    feed->start = start;
    feed->size = size;
    // Freed with the pipeline, after its threads have stopped.
    g_object_set_data_full(G_OBJECT(playbin), "brindlo-feed", feed,
                           [](gpointer f) { delete static_cast<AudioFeed*>(f); });
    if (feed->fd < 0) return false;
    g_signal_connect(playbin, "source-setup", G_CALLBACK(setUpFeed), feed);
    g_object_set(playbin, "uri", "appsrc://", nullptr);
    return true;
}

} // namespace player
