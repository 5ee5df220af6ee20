// SPDX-License-Identifier: GPL-3.0-or-later
#include "aacfixture.h"

#include <algorithm>
#include <cmath>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>

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

// A size in ID3v2.4: four bytes of seven bits.
QByteArray syncsafe(qsizetype n) {
    const char bytes[] = {char((n >> 21) & 0x7f), char((n >> 14) & 0x7f), char((n >> 7) & 0x7f),
                          char(n & 0x7f)};
    return QByteArray(bytes, 4);
}
// An ID3v2.4 frame of `id` holding `data`.
QByteArray id3Frame(const char* id, const QByteArray& data) {
    return QByteArray(id) + syncsafe(data.size()) + QByteArray(2, '\0') + data;
}
}  // namespace

bool writeAacFile(const QString& path, double seconds, int frequency, QString* error) {
    return runToEnd(toneSource(seconds, frequency) +
                        QStringLiteral(" ! audio/mpeg,stream-format=adts ! filesink name=out"),
                    path, error);
}

bool hasMediaElement(const char* name, QString* error) {
    if (!ensureInit(error)) return false;
    GstElementFactory* factory = gst_element_factory_find(name);
    if (!factory) {
        if (error) *error = QStringLiteral("GStreamer element %1 missing").arg(name);
        return false;
    }
    gst_object_unref(factory);
    return true;
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

bool writeBadFile(const QString& path, const QString& kind, QString* error) {
    QByteArray bytes;
    if (kind == QLatin1String("random")) {
        bytes.resize(64 * 1024);
        quint32 x = 7;  // a fixed noise: the same file every run
        for (char& c : bytes) {
            x = x * 1664525u + 1013904223u;
            c = char(x >> 24);
        }
    } else if (kind == QLatin1String("text")) {
        bytes = QByteArray("These are my notes, not a song.\n").repeated(200);
    } else if (kind == QLatin1String("id3")) {
        bytes = QByteArray("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + QByteArray(16, 'x') +
                QByteArray(4000, '\xAA');
    } else if (kind == QLatin1String("cut") || kind == QLatin1String("tags")) {
        const QString good = path + QStringLiteral(".good");
        if (!writeAacFile(good, kind == QLatin1String("cut") ? 0.2 : 0.5, 440, error)) return false;
        QFile f(good);
        if (!f.open(QIODevice::ReadOnly)) return false;
        bytes = f.readAll();
        f.remove();
        if (kind == QLatin1String("cut"))
            bytes = bytes.left(12);  // the first frame's header and a few bytes of it
        else
            bytes.prepend(QByteArray("ID3\x04\x00\x00\x00\x00\x00\x00", 10).repeated(5000));
    } else if (kind == QLatin1String("png") || kind == QLatin1String("jpeg") ||
               kind == QLatin1String("video")) {
        const QString encoder =
            kind == QLatin1String("png")    ? QStringLiteral("pngenc snapshot=true")
            : kind == QLatin1String("jpeg") ? QStringLiteral("jpegenc snapshot=true")
                                            : QStringLiteral("vp8enc ! webmmux");
        return runToEnd(QStringLiteral("videotestsrc num-buffers=10 ! video/x-raw,width=64,"
                                       "height=48,framerate=10/1 ! videoconvert ! ") +
                            encoder + QStringLiteral(" ! filesink name=out"),
                        path, error);
    } else if (kind != QLatin1String("empty")) {
        if (error) *error = QStringLiteral("no such kind of bad file: ") + kind;
        return false;
    }
    QFile f(path);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    if (!ok && error) *error = f.errorString();
    return ok;
}

bool writeReferenceMovie(const QString& path, const QString& url, QString* error) {
    const auto bigEndian = [](qsizetype n) {
        const quint32 big = qToBigEndian(quint32(n));
        return QByteArray(reinterpret_cast<const char*>(&big), 4);
    };
    // A box is its size (itself included), its type and what it holds.
    const auto box = [&](const char* type, const QByteArray& payload) {
        return bigEndian(8 + payload.size()) + type + payload;
    };
    const QByteArray target = url.toUtf8() + '\0';
    const QByteArray reference = bigEndian(0) + "url " + bigEndian(target.size()) + target;
    const QByteArray bytes = box("ftyp", QByteArray("qt  \0\0\0\0qt  ", 12)) +
                             box("moov", box("rmra", box("rmda", box("rdrf", reference))));
    QFile f(path);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    if (!ok && error) *error = f.errorString();
    return ok;
}

bool writeTaggedAdts(const QString& path, QString* error) {
    if (!writeAacFile(path, 1.0, 440, error)) return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray sound = f.readAll();
    f.close();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    const auto text = [](const char* value) { return QByteArray(1, '\3') + value; };
    const QByteArray frames = id3Frame("TIT2", text("Harbour Lights")) +
                              id3Frame("TPE1", text("The Quavers")) +
                              id3Frame("TALB", text("Night Tunes")) + id3Frame("TRCK", text("3")) +
                              id3Frame("APIC", QByteArray("\3image/png\0\3\0", 13) + png);
    const QByteArray header = QByteArray("ID3\4\0\0", 6) + syncsafe(frames.size());
    if (!f.open(QIODevice::WriteOnly)) return false;
    return f.write(header + frames + sound) > 0;
}
