#include "platform/gst/gstmediaengine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <gst/gst.h>

#include "platform/gst/playbinengine.h"

namespace {

// The program's engine: nothing of the media framework is made at start-up, so the
// window does not wait for it. The framework is initialised when asked for (once the
// window is on screen) or at the first file, and the playback chain at the first file;
// until then this is an engine with nothing loaded that keeps volume, balance and rate
// for the chain.
class DeferredGstEngine final : public IMediaEngine {
public:
    explicit DeferredGstEngine(QString sinkDescription) : m_sink(std::move(sinkDescription)) {}

    void initialise() {
        if (m_initialised) return;
        m_initialised = true;
        QString error;
        if (!initMediaFramework(&error))
            std::fprintf(stderr,
                         "quaverly: the media framework could not be started: %s; nothing will "
                         "play. Check the GStreamer 1.0 installation.\n",
                         qPrintable(error));
    }

    bool load(const QString& path) override { return chain().load(path); }
    void run() override {
        if (m_chain) m_chain->run();
    }
    void pause() override {
        if (m_chain) m_chain->pause();
    }
    void stop() override {
        if (m_chain) m_chain->stop();
    }
    State state() const override { return m_chain ? m_chain->state() : State::Stopped; }
    double position() const override { return m_chain ? m_chain->position() : 0; }
    void setPosition(double seconds) override {
        if (m_chain) m_chain->setPosition(seconds);
    }
    double duration() const override { return m_chain ? m_chain->duration() : 0; }
    double rate() const override { return m_chain ? m_chain->rate() : m_rate; }
    void setRate(double rate) override {
        if (m_chain)
            m_chain->setRate(rate);
        else if (std::isfinite(rate) && rate > 0)
            m_rate = rate;
    }
    int volume() const override { return m_chain ? m_chain->volume() : m_volume; }
    void setVolume(int volume) override {
        if (m_chain)
            m_chain->setVolume(volume);
        else
            m_volume = std::clamp(volume, -10000, 0);
    }
    int balance() const override { return m_chain ? m_chain->balance() : m_balance; }
    void setBalance(int balance) override {
        if (m_chain)
            m_chain->setBalance(balance);
        else
            m_balance = std::clamp(balance, -10000, 10000);
    }
    bool hasAudio() const override { return m_chain && m_chain->hasAudio(); }

private:
    PlaybinEngine& chain() {
        if (!m_chain) {
            initialise();
            m_chain = std::make_unique<PlaybinEngine>(m_sink);
            m_chain->setRate(m_rate);
            m_chain->setVolume(m_volume);
            m_chain->setBalance(m_balance);
        }
        return *m_chain;
    }

    QString m_sink;
    bool m_initialised = false;
    std::unique_ptr<PlaybinEngine> m_chain;
    double m_rate = 1.0;
    int m_volume = 0;
    int m_balance = 0;
};

}  // namespace

bool initMediaFramework(QString* error) {
    if (gst_is_initialized()) return true;
    GError* err = nullptr;
    if (gst_init_check(nullptr, nullptr, &err)) return true;
    if (error) *error = QString::fromUtf8(err && err->message ? err->message : "unknown error");
    g_clear_error(&err);
    return false;
}

std::unique_ptr<IMediaEngine> makeGstMediaEngine(const QString& sinkDescription) {
    return std::make_unique<DeferredGstEngine>(sinkDescription);
}

void prepareGstMediaEngine(IMediaEngine& engine) {
    if (auto* deferred = dynamic_cast<DeferredGstEngine*>(&engine)) deferred->initialise();
}

QString audioSinkDescription(const QStringList& arguments, const QString& environmentValue) {
    static const QString kOption = QStringLiteral("--audio-sink");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == kOption && i + 1 < arguments.size()) return arguments.at(i + 1);
        if (arg.startsWith(kOption + QLatin1Char('='))) return arg.mid(kOption.size() + 1);
    }
    return environmentValue;
}
