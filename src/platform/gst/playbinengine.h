#pragma once

// Private to the GStreamer adapter, its tests and benchmarks: it names GStreamer types.

#include <QString>

#include <gst/gst.h>

#include "playback/imediaengine.h"

// IMediaEngine on one reused playbin, audio only. The chain behind the playbin is
// scaletempo (pitch-keeping rate) ! audiopanorama (balance) ! volume ! the sink.
// Lives on the UI thread; the bus is watched on the default GLib main context, so
// bus messages are handled on the UI thread too. Only waits of bounded length.
class PlaybinEngine final : public IMediaEngine {
public:
    explicit PlaybinEngine(const QString& sinkDescription);
    ~PlaybinEngine() override;
    PlaybinEngine(const PlaybinEngine&) = delete;
    PlaybinEngine& operator=(const PlaybinEngine&) = delete;

    bool load(const QString& path) override;
    void run() override;
    void pause() override;
    void stop() override;
    State state() const override;
    double position() const override;
    void setPosition(double seconds) override;
    double duration() const override;
    double rate() const override { return m_rate; }
    void setRate(double rate) override;
    int volume() const override { return m_volume; }
    void setVolume(int volume) override;
    int balance() const override { return m_balance; }
    void setBalance(int balance) override;
    bool hasAudio() const override { return m_hasAudio; }

    // Linear gain for a volume in hundredths of a decibel (0 at -10000: muted).
    static double gainForVolume(int volume);
    // audiopanorama position (simple method) that attenuates the opposite channel by
    // |balance| / 100 dB; the ends silence that channel.
    static double panoramaForBalance(int balance);

    // Inspection for tests and benchmarks. The elements live as long as the engine.
    GstElement* pipeline() const { return m_playbin; }
    GstElement* volumeElement() const { return m_volumeElement; }
    GstElement* panoramaElement() const { return m_panorama; }
    GstElement* tempoElement() const { return m_tempo; }
    GstElement* audioSink() const { return m_sink; }
    // True when no audio device could be opened and playback runs silently.
    bool playsSilently() const { return m_silent; }
    // How long load() waits for a file to be ready before it lets it finish later.
    static constexpr int kLoadWaitMs = 1500;

private:
    enum class Chain { None, Failed, Prerolling, Ready };

    static gboolean onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void handleMessage(GstMessage* message);
    GstElement* makeSink(const QString& description);
    void sayPlayingSilently(const QString& why);
    void resetChain();
    void drainBus();
    void finishPreroll();
    void fail(const QString& reason);
    bool seek(double seconds, double rate);
    bool queryPosition(double* seconds) const;
    bool seekPending() const;
    void queryDuration();
    void applyVolume();
    void applyBalance();

    GstElement* m_playbin = nullptr;
    GstElement* m_tempo = nullptr;
    GstElement* m_panorama = nullptr;
    GstElement* m_volumeElement = nullptr;
    GstElement* m_sink = nullptr;
    GstBus* m_bus = nullptr;
    guint m_busWatch = 0;
    bool m_silent = false;

    Chain m_chain = Chain::None;
    State m_requested = State::Stopped;
    QString m_path;
    double m_duration = 0;
    mutable double m_lastPosition = 0;
    bool m_hasAudio = false;
    bool m_ended = false;        // the stream has ended: position reads the duration
    bool m_seekPending = false;  // a flushing seek has not completed yet
    gint64 m_seekStartedUs = 0;
    static constexpr gint64 kSeekSettleUs = 2'000'000;
    bool m_atStart = false;     // prerolled at 0 and not yet moved
    double m_pendingSeek = -1;  // position to seek to once prerolled, if >= 0

    // Kept across files and applied to each new one.
    double m_rate = 1.0;
    int m_volume = 0;
    int m_balance = 0;
};
