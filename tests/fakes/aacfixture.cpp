#include "aacfixture.h"

#include <algorithm>
#include <cmath>

#include <QFile>

#include <gst/gst.h>

namespace {

constexpr int kSampleRate = 44100;
constexpr int kSamplesPerBuffer = 441;  // 10 ms
constexpr GstClockTime kEncodeTimeout = 60 * GST_SECOND;

bool ensureInit(QString* error) {
    GError* err = nullptr;
    if (gst_is_initialized() || gst_init_check(nullptr, nullptr, &err)) return true;
    if (error) *error = QString::fromUtf8(err ? err->message : "cannot initialise");
    g_clear_error(&err);
    return false;
}

// Runs `description` until it ends. The file sink must be named "out".
bool runToEnd(const QString& description, const QString& path, QString* error) {
    if (!ensureInit(error)) return false;
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &err);
    if (pipeline) gst_object_ref_sink(pipeline);
    if (!pipeline || err) {
        if (error) *error = QString::fromUtf8(err ? err->message : "cannot build pipeline");
        g_clear_error(&err);
        if (pipeline) gst_object_unref(pipeline);
        return false;
    }
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(out, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(out);

    bool ok = gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    if (ok) {
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, kEncodeTimeout, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
        if (!ok && error) {
            *error = QStringLiteral("encoding did not finish");
            if (msg) {
                gst_message_parse_error(msg, &err, nullptr);
                *error = QString::fromUtf8(err->message);
                g_clear_error(&err);
            }
        }
        if (msg) gst_message_unref(msg);
        gst_object_unref(bus);
    } else if (error) {
        *error = QStringLiteral("pipeline refused to start");
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok;
}

QString toneSource(double seconds, int frequency) {
    const int buffers = std::max(1, int(std::lround(seconds * kSampleRate / kSamplesPerBuffer)));
    return QStringLiteral(
               "audiotestsrc num-buffers=%1 samplesperbuffer=%2 freq=%3 volume=0.3 ! "
               "audio/x-raw,rate=%4,channels=2 ! audioconvert ! avenc_aac ! aacparse")
        .arg(buffers)
        .arg(kSamplesPerBuffer)
        .arg(frequency)
        .arg(kSampleRate);
}

}  // namespace

bool writeAacFile(const QString& path, double seconds, int frequency, QString* error) {
    return runToEnd(toneSource(seconds, frequency) +
                        QStringLiteral(" ! audio/mpeg,stream-format=adts ! filesink name=out"),
                    path, error);
}

bool writeVideoFile(const QString& path, double seconds, QString* error) {
    if (!ensureInit(error)) return false;
    QString encoder;
    for (const char* name : {"theoraenc", "vp8enc", "avenc_mpeg4", "jpegenc"}) {
        if (GstElementFactory* f = gst_element_factory_find(name)) {
            gst_object_unref(f);
            encoder = QString::fromLatin1(name);
            break;
        }
    }
    if (encoder.isEmpty()) {
        if (error) *error = QStringLiteral("no video encoder is installed");
        return false;
    }
    const int frames = std::max(1, int(std::lround(seconds * 10)));
    const QString description =
        QStringLiteral(
            "matroskamux name=mux ! filesink name=out "
            "videotestsrc num-buffers=%1 ! video/x-raw,width=64,height=48,framerate=10/1 ! "
            "videoconvert ! %2 ! queue ! mux. ")
            .arg(frames)
            .arg(encoder) +
        toneSource(seconds, 660) + QStringLiteral(" ! queue ! mux.");
    return runToEnd(description, path, error);
}

bool writeMediaFile(const QString& path, const QString& description, QString* error) {
    return runToEnd(description, path, error);
}
