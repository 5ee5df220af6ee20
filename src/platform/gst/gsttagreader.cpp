// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/gsttagreader.h"

#include <thread>

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QUrl>

namespace {
constexpr GstClockTime kTimeout = 10 * GST_SECOND;

QString stringTag(const GstTagList* tags, const char* name) {
    gchar* value = nullptr;
    if (!gst_tag_list_get_string(tags, name, &value)) return {};
    const QString out = QString::fromUtf8(value).trimmed();
    g_free(value);
    return out;
}

// Writes the first image among the tags to `base` plus its type's extension.
QString writeCover(const GstTagList* tags, const QString& base) {
    GstSample* sample = nullptr;
    if (!gst_tag_list_get_sample(tags, GST_TAG_IMAGE, &sample) &&
        !gst_tag_list_get_sample(tags, GST_TAG_PREVIEW_IMAGE, &sample))
        return {};
    QString path;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const GstCaps* caps = gst_sample_get_caps(sample);
        const gchar* type =
            caps ? gst_structure_get_name(gst_caps_get_structure(caps, 0)) : "image/jpeg";
        const QString extension = QString::fromLatin1(type).section('/', 1);
        path = base + QLatin1Char('.') + (extension.isEmpty() ? QStringLiteral("jpeg") : extension);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char*>(map.data),
                                                           qint64(map.size)) != qint64(map.size))
            path.clear();
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return path;
}
// The tags of an ID3 tag in front of the file. The type finder takes such an ADTS file
// for plain ADTS and skips the tag unread, so it is read on its own here.
GstTagList* leadingId3Tags(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(3) != "ID3") return nullptr;
    GstElement* pipeline = gst_parse_launch("filesrc name=in ! id3demux ! fakesink", nullptr);
    if (!pipeline) return nullptr;
    GstElement* in = gst_bin_get_by_name(GST_BIN(pipeline), "in");
    g_object_set(in, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(in);
    GstTagList* tags = gst_tag_list_new_empty();
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    GstBus* bus = gst_element_get_bus(pipeline);
    const auto types = GstMessageType(GST_MESSAGE_TAG | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR |
                                      GST_MESSAGE_EOS);
    while (GstMessage* message = gst_bus_timed_pop_filtered(bus, kTimeout, types)) {
        const bool tag = GST_MESSAGE_TYPE(message) == GST_MESSAGE_TAG;
        if (tag) {
            GstTagList* found = nullptr;
            gst_message_parse_tag(message, &found);
            gst_tag_list_insert(tags, found, GST_TAG_MERGE_KEEP);
            gst_tag_list_unref(found);
        }
        gst_message_unref(message);
        if (!tag) break;
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return tags;
}
}  // namespace

// UI thread only: workers reach it through the application object's thread.
struct GstTagReader::Shared {
    QString coverFolder;
    QString lastCover;
    quint64 generation = 0;  // of the latest read
    void removeCover() {
        if (!lastCover.isEmpty()) QFile::remove(lastCover);
        lastCover.clear();
    }
};

GstTagReader::GstTagReader(QString coverFolder) : m_shared(std::make_shared<Shared>()) {
    m_shared->coverFolder = std::move(coverFolder);
}

GstTagReader::~GstTagReader() {
    removeCover();
}

void GstTagReader::removeCover() {
    m_shared->removeCover();
}

TrackTags GstTagReader::readNow(const QString& path, const QString& coverFile) {
    TrackTags out;
    if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr)) return out;
    GstDiscoverer* discoverer = gst_discoverer_new(kTimeout, nullptr);
    if (!discoverer) return out;
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.constData(), nullptr);
    GstTagList* tags = leadingId3Tags(path);
    if (info) {
        if (const GstTagList* found = gst_discoverer_info_get_tags(info)) {
            if (!tags) tags = gst_tag_list_new_empty();
            gst_tag_list_insert(tags, found, GST_TAG_MERGE_KEEP);
        }
        gst_discoverer_info_unref(info);
    }
    g_object_unref(discoverer);
    if (!tags) return out;
    out.title = stringTag(tags, GST_TAG_TITLE);
    out.artist = stringTag(tags, GST_TAG_ARTIST);
    out.album = stringTag(tags, GST_TAG_ALBUM);
    out.albumArtist = stringTag(tags, GST_TAG_ALBUM_ARTIST);
    out.genre = stringTag(tags, GST_TAG_GENRE);
    guint number = 0;
    if (gst_tag_list_get_uint(tags, GST_TAG_TRACK_NUMBER, &number)) out.trackNumber = int(number);
    out.artPath = writeCover(tags, coverFile);
    gst_tag_list_unref(tags);
    return out;
}

void GstTagReader::read(const QString& path, std::function<void(const TrackTags&)> done) {
    removeCover();
    const quint64 generation = ++m_shared->generation;
    if (path.isEmpty()) return;
    std::weak_ptr<Shared> weak = m_shared;
    const QString folder = m_shared->coverFolder;
    std::thread([weak, folder, path, generation, done = std::move(done)] {
        QDir().mkpath(folder);
        const QByteArray digest =
            QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex();
        const TrackTags tags =
            readNow(path, folder + QStringLiteral("/cover-") + QString::fromLatin1(digest));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, generation, done, tags] {
                const std::shared_ptr<Shared> shared = weak.lock();
                // A later read, or none any more, wants this one: its cover goes.
                if (!shared || shared->generation != generation) {
                    if (!tags.artPath.isEmpty()) QFile::remove(tags.artPath);
                    return;
                }
                shared->lastCover = tags.artPath;
                done(tags);
            },
            Qt::QueuedConnection);
    }).detach();
}
