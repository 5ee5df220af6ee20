// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/gsttagreader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>

#include <malloc.h>

#include <gst/gst.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMetaObject>

#include "platform/gst/mediaframework.h"

Q_DECLARE_LOGGING_CATEGORY(lcMediaEngine)

namespace {
constexpr GstClockTime kTimeout = 10 * GST_SECOND;
// How often a read looks whether it is still wanted.
constexpr GstClockTime kPoll = 100 * GST_MSECOND;

// True once the read under way is no longer wanted.
using Overtaken = std::function<bool()>;

QString stringTag(const GstTagList* tags, const char* name) {
    gchar* value = nullptr;
    if (!gst_tag_list_get_string(tags, name, &value)) return {};
    const QString out = QString::fromUtf8(value).trimmed();
    g_free(value);
    return out;
}

// What the tags say of the track, but for the cover.
TrackTags trackTags(const GstTagList* list) {
    TrackTags tags;
    tags.title = stringTag(list, GST_TAG_TITLE);
    tags.artist = stringTag(list, GST_TAG_ARTIST);
    tags.album = stringTag(list, GST_TAG_ALBUM);
    tags.albumArtist = stringTag(list, GST_TAG_ALBUM_ARTIST);
    tags.genre = stringTag(list, GST_TAG_GENRE);
    guint number = 0;
    if (gst_tag_list_get_uint(list, GST_TAG_TRACK_NUMBER, &number)) tags.trackNumber = int(number);
    return tags;
}

// The first image among the tags, and the extension of its type.
QByteArray coverImage(const GstTagList* tags, QString* extension) {
    GstSample* sample = nullptr;
    if (!gst_tag_list_get_sample(tags, GST_TAG_IMAGE, &sample) &&
        !gst_tag_list_get_sample(tags, GST_TAG_PREVIEW_IMAGE, &sample))
        return {};
    QByteArray image;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const GstCaps* caps = gst_sample_get_caps(sample);
        const gchar* type =
            caps ? gst_structure_get_name(gst_caps_get_structure(caps, 0)) : "image/jpeg";
        *extension = QString::fromLatin1(type).section('/', 1);
        if (extension->isEmpty()) *extension = QStringLiteral("jpeg");
        image = QByteArray(reinterpret_cast<const char*>(map.data), qsizetype(map.size));
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return image;
}

// The tags that `description` (a file source named "in", a demuxer, a fakesink) finds in
// the file before it is ready to play, or until it fails or the read is overtaken.
GstTagList* demuxedTags(const QString& path, const char* description, const Overtaken& overtaken) {
    GstElement* pipeline = gst_parse_launch(description, nullptr);
    if (!pipeline) return nullptr;
    GstElement* in = gst_bin_get_by_name(GST_BIN(pipeline), "in");
    g_object_set(in, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(in);
    GstTagList* tags = gst_tag_list_new_empty();
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    GstBus* bus = gst_element_get_bus(pipeline);
    const auto types = GstMessageType(GST_MESSAGE_TAG | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR |
                                      GST_MESSAGE_EOS);
    const gint64 deadline = g_get_monotonic_time() + gint64(kTimeout / GST_USECOND);
    while (!overtaken() && g_get_monotonic_time() < deadline) {
        GstMessage* message = gst_bus_timed_pop_filtered(bus, kPoll, types);
        if (!message) continue;
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

// An MP4 file (an M4A named .aac) begins with its "ftyp" box.
bool startsAsMp4(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(8).mid(4) == "ftyp";
}

bool startsWithId3(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(3) == "ID3";
}

// Each kind of file is read by its own demuxer alone, and nothing is decoded: a chain
// built for whatever the file holds (as a discoverer builds one) would let a file made to
// make it grow without end eat the machine here, off the player's guard. A demuxer alone
// also ends at once on an MP4 that only refers to media elsewhere, where a decoding bin
// can lose the demuxer's error while it still tries it, and wait out its whole timeout.
GstTagList* readTagList(const QString& path, const Overtaken& overtaken) {
    if (!initMediaFramework()) return nullptr;
    // The type finder takes an ADTS file with an ID3 tag in front for plain ADTS and
    // skips the tag unread, so the tag is read on its own.
    if (startsWithId3(path))
        return demuxedTags(path, "filesrc name=in ! id3demux ! fakesink", overtaken);
    if (startsAsMp4(path))
        return demuxedTags(path, "filesrc name=in ! qtdemux ! fakesink", overtaken);
    return nullptr;
}
}  // namespace

struct GstTagReader::Job {
    QString path;
    quint64 generation;
    std::function<void(const TrackTags&)> done;
};

struct GstTagReader::Shared {
    QString coverFolder;
    QString lastCover;  // UI thread only: the cover of the read told last
    // The latest read asked for: one under way with another number is overtaken.
    std::atomic<quint64> latest{0};
    std::mutex mutex;
    std::condition_variable wake;   // a read waits, or the end has come
    std::condition_variable ended;  // the worker has ended
    std::optional<Job> waiting;
    std::set<QString> covers;  // cover files on disk
    bool closed = false;
    bool workerEnded = false;

    // The cover of read `generation` of `path`, written to a file of its own. The file is
    // made under the lock, so that close() either finds it or it is never made.
    QString writeCover(const QString& path, quint64 generation, const QByteArray& image,
                       const QString& extension) {
        if (!QDir().mkpath(coverFolder)) return {};
        const QByteArray digest =
            QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex();
        const QString name = QStringLiteral("%1/cover-%2-%3.%4")
                                 .arg(coverFolder, QString::fromLatin1(digest))
                                 .arg(generation)
                                 .arg(extension);
        QFile file(name);
        {
            std::lock_guard lock(mutex);
            if (closed || !file.open(QIODevice::WriteOnly)) return {};
            covers.insert(name);
        }
        if (file.write(image) == image.size()) return name;
        file.close();
        removeCover(name);
        return {};
    }
    void removeCover(const QString& path) {
        if (path.isEmpty()) return;
        std::lock_guard lock(mutex);
        if (covers.erase(path)) QFile::remove(path);
    }
};

GstTagReader::GstTagReader(QString coverFolder) : m_shared(std::make_shared<Shared>()) {
    m_shared->coverFolder = std::move(coverFolder);
}

GstTagReader::~GstTagReader() {
    close();
    if (!m_worker.joinable()) return;
    std::unique_lock lock(m_shared->mutex);
    const bool ended = m_shared->ended.wait_for(lock, std::chrono::milliseconds(kJoinLimitMs),
                                                [this] { return m_shared->workerEnded; });
    lock.unlock();
    if (ended) {
        m_worker.join();
        return;
    }
    qCWarning(lcMediaEngine).noquote()
        << QStringLiteral("a tag read did not end within %1 seconds; it is left behind")
               .arg(kJoinLimitMs / 1000);
    m_worker.detach();
}

void GstTagReader::close() {
    Shared& s = *m_shared;
    std::lock_guard lock(s.mutex);
    s.closed = true;
    ++s.latest;
    s.waiting.reset();
    for (const QString& path : s.covers) QFile::remove(path);
    s.covers.clear();
    s.lastCover.clear();
    s.wake.notify_one();
}

void GstTagReader::read(const QString& path, std::function<void(const TrackTags&)> done) {
    Shared& s = *m_shared;
    s.removeCover(s.lastCover);
    s.lastCover.clear();
    std::lock_guard lock(s.mutex);
    if (s.closed) return;
    const quint64 generation = ++s.latest;
    s.waiting.reset();
    if (path.isEmpty()) return;
    s.waiting = Job{path, generation, std::move(done)};
    if (!m_worker.joinable()) m_worker = std::thread(&GstTagReader::work, m_shared);
    s.wake.notify_one();
}

// Told on the UI thread, if it is still the latest read by then.
void GstTagReader::tell(const std::shared_ptr<Shared>& shared, const Job& job,
                        const TrackTags& tags) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak = std::weak_ptr<Shared>(shared), generation = job.generation, done = job.done, tags] {
            const std::shared_ptr<Shared> alive = weak.lock();
            if (!alive) return;  // closed: its covers are gone
            if (alive->latest != generation) {
                alive->removeCover(tags.artPath);
                return;
            }
            alive->lastCover = tags.artPath;
            done(tags);
        },
        Qt::QueuedConnection);
}

void GstTagReader::work(std::shared_ptr<Shared> shared) {
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&s] { return s.closed || s.waiting; });
        if (s.closed) break;
        const Job job = std::move(*s.waiting);
        s.waiting.reset();
        lock.unlock();

        const gint64 started = g_get_monotonic_time();
        const Overtaken overtaken = [&s, &job] { return s.latest != job.generation; };
        TrackTags tags;
        if (GstTagList* list = readTagList(job.path, overtaken)) {
            tags = trackTags(list);
            QString extension;
            const QByteArray image = coverImage(list, &extension);
            gst_tag_list_unref(list);
            if (!image.isEmpty() && !overtaken())
                tags.artPath = s.writeCover(job.path, job.generation, image, extension);
        }
        const gint64 tookMs = (g_get_monotonic_time() - started) / 1000;
        if (tookMs > kSlowMs)
            qCInfo(lcMediaEngine).noquote()
                << QStringLiteral("reading the tags of '%1' took %2 seconds")
                       .arg(job.path)
                       .arg(double(tookMs) / 1000, 0, 'f', 1);
        if (overtaken() || !QCoreApplication::instance())
            s.removeCover(tags.artPath);
        else
            tell(shared, job, tags);
        lock.lock();
        // A cover or a text tag of megabytes is read, copied and freed here, and malloc
        // keeps what it frees in the middle of its heap: tens of megabytes after a run of
        // such files. Given back to the system once no read waits.
        if (!s.waiting && !s.closed) {
            lock.unlock();
            malloc_trim(0);
            lock.lock();
        }
    }
    s.workerEnded = true;
    s.ended.notify_all();
}
