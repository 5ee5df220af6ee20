// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/mediamodule.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcMediaModule, "quaverly.media.module", QtInfoMsg)

const MediaModuleApi* mediaModule(QString* error) {
    static const MediaModuleApi* api = nullptr;
    static QString why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const QString path =
            QCoreApplication::applicationDirPath() + QStringLiteral("/libquaverly-media.so");
        // Local: the module's symbols stay its own, whatever the program holds.
        void* module = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        using Entry = const MediaModuleApi* (*)();
        auto entry = module ? reinterpret_cast<Entry>(::dlsym(module, kMediaModuleEntry)) : nullptr;
        const MediaModuleApi* offered = entry ? entry() : nullptr;
        if (!module)
            why = QString::fromLocal8Bit(::dlerror());
        else if (!offered || offered->version != kMediaModuleVersion)
            why = QStringLiteral("%1 is not this program's media module").arg(path);
        else
            api = offered;
    }
    if (!api && error) *error = why;
    return api;
}

namespace {
// The first of the framework's variables (its versioned name first) that is set.
QString frameworkVariable(const char* versioned, const char* plain) {
    for (const char* name : {versioned, plain})
        if (qEnvironmentVariableIsSet(name)) return qEnvironmentVariable(name);
    return QString();
}

bool isSet(const char* versioned, const char* plain) {
    return qEnvironmentVariableIsSet(versioned) || qEnvironmentVariableIsSet(plain);
}
}  // namespace

bool mediaPlugInsChangedSinceScan() {
    if (qEnvironmentVariable("GST_REGISTRY_UPDATE") == u"no") return false;
    // The registry's place, as the framework finds it: its variables, or the user's
    // cache, where the file's name carries the processor's name.
    QDateTime written;
    if (isSet("GST_REGISTRY_1_0", "GST_REGISTRY")) {
        written = QFileInfo(frameworkVariable("GST_REGISTRY_1_0", "GST_REGISTRY")).lastModified();
    } else {
        const QDir cache(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                         QStringLiteral("/gstreamer-1.0"));
        // Picked by hand: a name filter would load the regular-expression library.
        for (const QFileInfo& file : cache.entryInfoList(QDir::Files, QDir::Time)) {
            if (file.fileName().startsWith(u"registry.") && file.fileName().endsWith(u".bin")) {
                written = file.lastModified();
                break;
            }
        }
    }
    if (!written.isValid()) return true;
    // The folders it scans: a plug-in added, removed or replaced changes its folder's time.
    QStringList folders =
        frameworkVariable("GST_PLUGIN_PATH_1_0", "GST_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    if (isSet("GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH"))
        folders += frameworkVariable("GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH")
                       .split(u':', Qt::SkipEmptyParts);
    else
        folders << QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                       QStringLiteral("/gstreamer-1.0/plugins")
                << QStringLiteral(QUAVERLY_GST_PLUGINS_DIR);
    for (const QString& folder : folders) {
        const QFileInfo info(folder);
        if (info.exists() && info.lastModified() > written) return true;
    }
    return false;
}

std::unique_ptr<IMediaStart> startMediaFrameworkIfScanning(const QString& sinkDescription) {
    if (!mediaPlugInsChangedSinceScan()) return nullptr;
    const MediaModuleApi* api = mediaModule();
    return api ? api->startFramework(sinkDescription) : nullptr;
}

namespace {
// The engine until the first file: what it is told is kept, with the engine's own limits,
// and handed to the module's engine once there is one.
class ModuleEngine : public IMediaEngine {
public:
    ModuleEngine(QString sink, MediaModuleLoader load) : m_sink(std::move(sink)), m_load(load) {}

    IMediaEngine* real(bool make) {
        if (m_real || !make || m_unavailable) return m_real.get();
        QString error;
        const MediaModuleApi* api = m_load(&error);
        if (!api) {
            m_unavailable = true;
            qCWarning(lcMediaModule).noquote()
                << QStringLiteral(
                       "the media engine could not be loaded: %1; nothing will play. "
                       "Reinstall Quaverly.")
                       .arg(error);
            return nullptr;
        }
        m_api = api;
        m_real = api->makeEngine(m_sink);
        m_real->setVolume(m_volume);
        m_real->setBalance(m_balance);
        m_real->setRate(m_rate);
        return m_real.get();
    }

    void prepare() {
        if (IMediaEngine* e = real(true)) m_api->prepareEngine(*e);
    }

    bool load(const QString& path) override {
        IMediaEngine* e = real(true);
        return e && e->load(path);
    }
    void run() override {
        if (IMediaEngine* e = real(false)) e->run();
    }
    void pause() override {
        if (IMediaEngine* e = real(false)) e->pause();
    }
    void stop() override {
        if (IMediaEngine* e = real(false)) e->stop();
    }
    State state() const override { return m_real ? m_real->state() : State::Stopped; }
    double position() const override { return m_real ? m_real->position() : 0; }
    void setPosition(double seconds) override {
        if (m_real) m_real->setPosition(seconds);
    }
    double duration() const override { return m_real ? m_real->duration() : 0; }
    double rate() const override { return m_real ? m_real->rate() : m_rate; }
    void setRate(double rate) override {
        if (m_real) return m_real->setRate(rate);
        if (std::isfinite(rate) && rate > 0) m_rate = rate;
    }
    int volume() const override { return m_real ? m_real->volume() : m_volume; }
    void setVolume(int volume) override {
        if (m_real) return m_real->setVolume(volume);
        m_volume = std::clamp(volume, MediaRange::kMinVolume, MediaRange::kMaxVolume);
    }
    int balance() const override { return m_real ? m_real->balance() : m_balance; }
    void setBalance(int balance) override {
        if (m_real) return m_real->setBalance(balance);
        m_balance = std::clamp(balance, -MediaRange::kMaxBalance, MediaRange::kMaxBalance);
    }
    bool hasAudio() const override { return m_real && m_real->hasAudio(); }
    QString failure() const override {
        if (m_real) return m_real->failure();
        return m_unavailable ? QStringLiteral("the media engine could not be started") : QString();
    }
    QString outputFailure() const override { return m_real ? m_real->outputFailure() : QString(); }

private:
    QString m_sink;
    MediaModuleLoader m_load;
    const MediaModuleApi* m_api = nullptr;
    std::unique_ptr<IMediaEngine> m_real;
    bool m_unavailable = false;
    int m_volume = MediaRange::kMaxVolume;
    int m_balance = 0;
    double m_rate = 1.0;
};
}  // namespace

std::unique_ptr<IMediaEngine> makeModuleEngine(const QString& sinkDescription,
                                               MediaModuleLoader load) {
    return std::make_unique<ModuleEngine>(sinkDescription, load);
}

void prepareModuleEngine(IMediaEngine& engine) {
    if (auto* lazy = dynamic_cast<ModuleEngine*>(&engine)) lazy->prepare();
}

void ModuleTagReader::read(const QString& path, std::function<void(const TrackTags&)> done) {
    if (m_closed) return;
    if (!m_real) {
        if (path.isEmpty()) return;  // no cover to remove yet
        const MediaModuleApi* api = mediaModule();
        if (!api) return;
        m_real = api->makeTagReader(m_coverFolder);
    }
    m_real->read(path, std::move(done));
}

void ModuleTagReader::close() {
    m_closed = true;
    if (m_real) mediaModule()->closeTagReader(*m_real);
}

void quietSoundLibraries() {
    // OpenAL, one of the outputs the framework may try, prints its own error when it
    // opens no device; a level the user set stays.
    ::setenv("ALSOFT_LOGLEVEL", "0", 0);
}
