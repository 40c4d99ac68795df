#include "player/pipeline.h"

#include "player/audiofeed.h"

#include <gst/gst.h>

#include <cstring>

namespace player {
namespace {

constexpr unsigned kPlayFlagAudio = 1u << 1;
constexpr unsigned kPlayFlagSoftVolume = 1u << 4;
// Music needs no call's latency: a large buffer filled in large steps lets
// the sound server and the decoder sleep between them. Pause, seek and the
// end of the file do not wait for it (the server corks and flushes).
constexpr gint64 kBufferUs = 2000000;
constexpr gint64 kLatencyUs = 400000;
// The decoder hands on this much sound at a time instead of one 26 ms frame:
// each hand-on wakes two of GStreamer's threads.
constexpr gint64 kDecodedChunkNs = 400 * GST_MSECOND;

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

// The sound server shows the stream as this program playing this file; the
// buffer is set before the stream exists, since the server reads both then.
void prepareOutput(GstElement* element, const QString& mediaName) {
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
    if (g_object_class_find_property(type, "buffer-time") &&
        g_object_class_find_property(type, "latency-time"))
        g_object_set(element, "buffer-time", kBufferUs, "latency-time", kLatencyUs, nullptr);
}

void chunkDecodedSound(GstElement* /*playbin*/, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* kind =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    if (!kind || !std::strstr(kind, "Decoder") || !std::strstr(kind, "Audio")) return;
    GParamSpec* latency = g_object_class_find_property(G_OBJECT_GET_CLASS(element), "min-latency");
    if (latency && latency->value_type == G_TYPE_INT64)
        g_object_set(element, "min-latency", kDecodedChunkNs, nullptr);
}

// The server names the stream after the title tag that reaches the sink:
// make that the file's name, whatever the file's own tag says.
void retitleStream(GstElement* sink, const QString& mediaName) {
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    if (!pad) return;
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

} // namespace

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

GstElement* makeSilentSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink) {
        gst_object_ref_sink(sink);
        g_object_set(sink, "sync", TRUE, nullptr); // keep real time
    }
    return sink;
}

GstElement* makeSystemSink(const QString& mediaName) {
    GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (!sink) return nullptr;
    gst_object_ref_sink(sink);
    g_signal_connect_data(
        sink, "child-added", G_CALLBACK(+[](GstChildProxy*, GObject* child, gchar*, gpointer name) {
            prepareOutput(GST_ELEMENT(child), *static_cast<QString*>(name));
        }),
        new QString(mediaName),
        [](gpointer name, GClosure*) { delete static_cast<QString*>(name); }, GConnectFlags(0));
    return sink;
}

bool connectSink(GstElement* sink, const QString& mediaName, Silence* silence) {
    if (!sink || gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE ||
        autoSinkIsSilent(sink)) {
        releaseElement(sink);
        *silence = Silence::NoDevice;
        return false;
    }
    retitleStream(sink, mediaName);
    *silence = Silence::None;
    return true;
}

GstElement* makePipeline(int fd, std::int64_t feedFrom, std::int64_t fileSize, GstElement* sink,
                         double volume) {
    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    if (!pipeline) {
        releaseElement(sink);
        return nullptr;
    }
    gst_object_ref_sink(pipeline);
    g_object_set(pipeline, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, "audio-sink", sink,
                 "volume", volume, nullptr);
    gst_object_unref(sink); // playbin holds it now
    g_signal_connect(pipeline, "element-setup", G_CALLBACK(chunkDecodedSound), nullptr);
    if (feedFrom >= 0) {
        if (!feedFromFirstFrame(pipeline, fd, feedFrom, fileSize - feedFrom)) {
            releaseElement(pipeline);
            return nullptr;
        }
    } else {
        // Through the open file's own link, a swap or a FIFO put in its
        // place after the check cannot reach it. Not fd://, which GStreamer
        // takes for a network stream: it then buffers and seeks in push
        // mode, and a seek made while paused right after opening was
        // measured to be lost.
        const QByteArray uri = "file:///proc/self/fd/" + QByteArray::number(fd);
        g_object_set(pipeline, "uri", uri.constData(), nullptr);
    }
    return pipeline;
}

void releaseElement(GstElement* element) {
    if (!element) return;
    gst_element_set_state(element, GST_STATE_NULL);
    gst_object_unref(element);
}

} // namespace player
