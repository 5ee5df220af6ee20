// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to the GStreamer adapter, its tests and benchmarks: it names GStreamer types.

#include <memory>

#include <QString>

#include <gst/gst.h>

#include "playback/imediaengine.h"

class ChainDriver;
class ChainReaper;
struct ChainGuard;

// IMediaEngine on GStreamer, audio only: a new playbin for each file, whose audio chain
// is scaletempo (pitch-keeping rate) ! audiopanorama (balance) ! volume ! the sink.
// Loading returns at once and the file is prepared while the event loop runs; a file
// that neither plays nor fails within kLoadDeadlineMs fails. State changes and seeks are
// carried out on GStreamer's worker threads and a failed or replaced chain is torn down
// on a thread of its own, so neither a file nor the sound output can hold the UI thread.
// A fault of the sound output is not the file's: the engine keeps the file and its place
// and tries again at growing intervals, and gives up only after kOutputPatienceMs.
// Nothing is made until the first file (or initialise()).
// Lives on the UI thread; each chain's bus is watched on the default GLib main context,
// so bus messages are handled on the UI thread too.
class PlaybinEngine final : public IMediaEngine {
public:
    explicit PlaybinEngine(QString sinkDescription);
    ~PlaybinEngine() override;
    PlaybinEngine(const PlaybinEngine&) = delete;
    PlaybinEngine& operator=(const PlaybinEngine&) = delete;

    // Starts the media framework and opens the audio output once (saying on standard
    // error when either cannot be had). load() does it when it has not been done.
    void initialise();

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
    QString failure() const override { return m_failure; }
    QString outputFailure() const override { return m_outputFailure; }

    // Linear gain for a volume in hundredths of a decibel (0 at -10000: muted).
    static double gainForVolume(int volume);
    // audiopanorama position (simple method) that attenuates the opposite channel by
    // |balance| / 100 dB; the ends silence that channel.
    static double panoramaForBalance(int balance);

    // Inspection for tests and benchmarks: the current file's chain, null when there is
    // none (before the first file, and after a file failed).
    GstElement* pipeline() const { return m_playbin; }
    GstElement* volumeElement() const { return m_volumeElement; }
    GstElement* panoramaElement() const { return m_panorama; }
    GstElement* tempoElement() const { return m_tempo; }
    GstElement* audioSink() const { return m_sink; }
    // True when no audio device could be opened and playback runs silently.
    bool playsSilently() const { return m_silent; }
    // True while the sound output has gone away and the engine waits for it.
    bool waitsForOutput() const { return m_chain == Chain::Waiting || m_outageSinceUs != 0; }

    // A file that is not ready to play this long after its load fails (three times that
    // in a sanitizer build, where loading the decoder's libraries alone can take seconds).
#ifdef QUAVERLY_SLOW_BUILD
    static constexpr int kLoadDeadlineMs = 12000;
#else
    static constexpr int kLoadDeadlineMs = 4000;
#endif
    // No sound file needs more elements than this in its chain; a file that makes the
    // chain grow past it (a tag demuxer for each of thousands of stacked tags) fails.
    static constexpr int kMaxElements = 64;
    // Why a file that names media elsewhere (an MP4 "reference movie") fails.
    static constexpr const char* kElsewhere =
        "it refers to media elsewhere, and only the files in the list are played";
    // How long the engine waits for a sound output that went away before it gives up.
    static constexpr int kOutputPatienceMs = 30000;

private:
    enum class Chain { None, Failed, Prerolling, Ready, Waiting };
    // Whose fault a failure is: the file's (it is passed over), a plug-in that is not
    // installed, or the sound output's (the file is kept and tried again).
    enum class Fault { File, Plugin, Output };
    struct Liveness;

    static gboolean onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    static gboolean onDeadline(gpointer self);
    static gboolean onRetry(gpointer self);
    void handleMessage(GstMessage* message);
    void handleError(GstMessage* message);
    void handleApplication(GstMessage* message);
    bool startChain();
    bool buildChain();
    GstElement* makeSink();
    bool fromTheOutput(GstObject* source) const;
    bool heldUpByTheOutput() const;
    void noteOutputWorks();
    void sayPlayingSilently(const QString& why);
    void probeOutput();
    void outputProbed(const QString& choice);
    void releaseChain();
    void finishPreroll();
    void fail(const QString& reason, Fault fault = Fault::File);
    void outputFault(const QString& reason);
    void reopen();
    bool fallBackToFullDecoder();
    void stopWaiting();
    bool seek(double seconds, double rate);
    bool queryPosition(double* seconds) const;
    bool seekPending() const;
    void queryDuration();
    void applyVolume();
    void applyBalance();

    QString m_wantedSink;       // the output asked for
    QString m_sinkDescription;  // what chains are made with: the output found for it
    bool m_initialised = false;
    bool m_usable = false;        // the framework and its playbin are there
    bool m_outputWorked = false;  // a chain has prerolled on a real output
    bool m_silent = false;        // chains are made with a silent output
    bool m_chainSilent = false;   // the current chain was made with it
    bool m_probing = false;       // a look for the real output is under way
    bool m_toldSilent = false;
    bool m_fullDecoder = false;  // the current file plays with libav's AAC decoder
    std::shared_ptr<Liveness> m_liveness;
    std::unique_ptr<ChainReaper> m_reaper;
    std::shared_ptr<ChainDriver> m_driver;

    // The current file's chain.
    GstElement* m_playbin = nullptr;
    GstElement* m_tempo = nullptr;
    GstElement* m_panorama = nullptr;
    GstElement* m_volumeElement = nullptr;
    GstElement* m_sink = nullptr;
    GstBus* m_bus = nullptr;
    ChainGuard* m_guard = nullptr;
    guint m_busWatch = 0;
    guint m_deadline = 0;
    guint m_retryTimer = 0;

    Chain m_chain = Chain::None;
    State m_requested = State::Stopped;
    QString m_path;
    QString m_failure;
    QString m_missingPlugin;  // what the chain last found no plug-in for
    // While the output is away: since when, how often it was tried, and where the file
    // stood; position and length read as they were until a chain is ready again.
    gint64 m_outageSinceUs = 0;
    int m_retries = 0;
    QString m_outageReason;
    QString m_outputFailure;  // the output stayed away: the engine gave up
    bool m_holding = false;
    double m_resumeAt = 0;
    double m_heldDuration = 0;
    double m_duration = 0;
    bool m_lengthCounted = false;  // counted from the frames: exact, the parser's is not
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
