// Form1's playback handlers: track selection, transport, the monitor and the sliders.
#include <chrono>
#include <limits>

#include <QGroupBox>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QTreeView>

#include "app/form1.h"
#include "app/imessageboxes.h"
#include "app/isettingsstore.h"
#include "app/numbers.h"
#include "app/steprunner.h"
#include "playback/clsmusic.h"
#include "playback/randomindex.h"
#include "playlist/ifilesystem.h"
#include "playlist/playlist.h"

Q_LOGGING_CATEGORY(lcPlayback, "quaverly.playback")

namespace {
const QString kStart = QStringLiteral("Start Playing (Ctrl+Shift+X)");
const QString kStop = QStringLiteral("Stop Playing (Ctrl+Shift+X)");
const QString kPause = QStringLiteral("Pause (Ctrl+Shift+C)");
const QString kResume = QStringLiteral("Resume (Ctrl+Shift+C)");

qint32 checkedSub(qint32 a, qint32 b) {
    qint32 r = 0;
    if (__builtin_sub_overflow(a, b, &r)) throw Failure(QStringLiteral("Overflow"));
    return r;
}
qint32 checkedMul(qint32 a, qint32 b) {
    qint32 r = 0;
    if (__builtin_mul_overflow(a, b, &r)) throw Failure(QStringLiteral("Overflow"));
    return r;
}

clsMusic& engineOf(const std::unique_ptr<clsMusic>& music) {
    if (!music) throw Failure(QStringLiteral("Object variable not set"));
    return *music;
}

// An ordinary file: a regular file that is neither hidden nor system. Folders never match.
bool ordinaryFileExists(const IFileSystem& fs, const QString& path) {
    const auto attributes = fs.attributes(path);
    if (!attributes) return false;
    const quint32 a = *attributes;
    return (a & FileAttr::Directory) == 0 && (a & FileAttr::Archive) != 0 &&
           (a & (FileAttr::Hidden | FileAttr::System)) == 0;
}
}  // namespace

void Form1::reseed() {
    using namespace std::chrono;
    // Seconds since midnight, fraction included, as the seed.
    const auto now = system_clock::now().time_since_epoch();
    const auto sinceMidnight = duration_cast<nanoseconds>(now % hours(24)).count();
    m_rng.seed(static_cast<std::mt19937::result_type>(sinceMidnight ^ (sinceMidnight >> 32)));
}

double Form1::rnd() {
    return static_cast<double>(m_rng() >> 8) / 16777216.0;
}

void Form1::PlayTheFile(bool GoBack, bool Navigate) {
    ++m_playTheFileDepth;
    const auto leave = qScopeGuard([this] { --m_playTheFileDepth; });
    StepRunner r(*m_services.boxes, QStringLiteral("in Tindrell2021/08/31.Form1.PlayTheFile "));
    Playlist& list = *m_playlist;

    r.step(100, [&] { reseed(); });
    if (r.test(102, [&] { return list.Count() == 0; })) {
        m_services.boxes->information(m_appTitle, QStringLiteral("No files added."));
        return;
    }
    r.step(104, [&] {
        if (Navigate) KeepSelection = false;
    });
    if (r.test(106, [&] { return RequestedIndex != 0; })) {
        r.step(108, [&] { list.Select(RequestedIndex); });
        r.step(110, [&] { RequestedIndex = 0; });
    } else if (Option1->isChecked()) {
        int i = 0;
        r.step(112, [&] {
            reseed();
            i = static_cast<int>(RandomIndex(list.Count(), rnd()));
            if (list.Count() > 1) {
                while (i == list.Selected()) i = static_cast<int>(RandomIndex(list.Count(), rnd()));
            }
        });
        r.step(116, [&] { list.Select(i); });
    } else if (Option2->isChecked()) {
        r.step(118, [&] {
            if (KeepSelection) return;
            const int k = list.Selected();
            if (GoBack)
                list.Select(k == 1 ? list.Count() : k - 1);
            else
                list.Select(k == list.Count() ? 1 : k + 1);
        });
    }
    r.step(136, [&] { KeepSelection = false; });
    QString path;
    r.step(138, [&] { path = list.SelectedText(); });
    r.step(140, [&] {
        if (isVisible())
            ScrollToItem(list.Selected());
        else
            list.MakeVisible(list.Selected());
    });
    if (r.test(146, [&] { return path.isEmpty(); })) {
        m_services.boxes->information(m_appTitle,
                                      QStringLiteral("You must open or select a file first."));
        return;
    }
    if (r.test(148, [&] { return !ordinaryFileExists(*m_services.fs, path); })) {
        m_services.boxes->information(m_appTitle, QStringLiteral("File selected does not exists."));
        return;
    }
    r.step(164, [&] { IsPlaying = true; });
    r.step(166, [&] { engineOf(Music).setFileName(path); });
    r.step(168, [&] { engineOf(Music).setPosition(0); });
    r.step(170, [&] { engineOf(Music).Play(); });
    r.step(172, [&] { tmrTimer->start(); });
}

void Form1::ScrollToItem(int index) {
    Playlist& list = *m_playlist;
    const int top = list.FirstVisible();
    const int entryTwips = roundHalfEven(list.EntryHeight(1));
    const int twipsPerPixel = roundHalfEven(twipsPerPixelY(ListView1));
    if (twipsPerPixel == 0) throw Failure(QStringLiteral("Division by zero"));
    const qint32 rowPixels = entryTwips / twipsPerPixel;
    list.ScrollBy(checkedMul(checkedSub(index, top), rowPixels));
    list.Select(index);
    ListView1->setFocus(Qt::OtherFocusReason);
}

int Form1::LevelToVolume() const {
    const int v = Slider1->value();
    if (v == 0) return -10000;
    if (v == 100) return 0;
    return v * 10 - 1000;
}

void Form1::PushButton1_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton1_Click "));
    if (r.test(100, [&] { return PushButton1->text() == kStop; })) {
        r.step(112, [&] { PushButton1->setText(kStart); });
        r.step(114, [&] { PushButton4->setText(kPause); });
        r.step(116, [&] { engineOf(Music).StopPlaying(); });
        r.step(118, [&] { IsPlaying = false; });
        return;
    }
    if (r.test(102, [&] { return IsPlaying; })) {
        m_services.boxes->information(m_appTitle, QStringLiteral("Please stop playing first."));
        return;
    }
    r.step(104, [&] { PushButton1->setText(kStop); });
    r.step(106, [&] { PushButton4->setText(kPause); });
    r.step(108, [&] { PlayTheFile(false, false); });
}

void Form1::PushButton4_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton4_Click "));
    if (r.test(100, [&] { return PushButton4->text() == kPause; })) {
        if (r.test(102, [&] { return !IsPlaying; })) {
            m_services.boxes->information(m_appTitle,
                                          QStringLiteral("Please start playing first."));
            return;
        }
        r.step(106, [&] { engineOf(Music).Pause(); });
        r.step(108, [&] { PushButton4->setText(kResume); });
        return;
    }
    r.step(110, [&] { PushButton4->setText(kPause); });
    r.step(112, [&] { engineOf(Music).Play(); });
}

void Form1::PushButton6_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton6_Click "));
    r.step(100, [&] { PlayTheFile(true, true); });
    r.step(102, [&] { PushButton1->setText(kStop); });
    r.step(104, [&] { PushButton4->setText(kPause); });
}

void Form1::PushButton7_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton7_Click "));
    r.step(100, [&] { PlayTheFile(false, true); });
    r.step(102, [&] { PushButton1->setText(kStop); });
    r.step(104, [&] { PushButton4->setText(kPause); });
}

void Form1::tmrTimer_Timer() {
    // While an earlier PlayTheFile still waits in one of its message boxes, a tick must
    // not start another one: with a missing next file that would stack a new box every
    // 100 ms without end.
    if (m_playTheFileDepth > 0 || !Music) return;
    if (Music->duration() == 0) return;
    const double length = Music->duration();
    const double position = Music->Position();
    if (position == length) PlayTheFile(false, false);
}

void Form1::Slider1_Change() {
    const int value = Slider1->value();
    Frame3->setTitle(QStringLiteral("Volume Level = %1").arg(value));
    try {
        m_services.store->save(QStringLiteral("Volume Level"), QString::number(value));
    } catch (const std::exception& e) {
        qCWarning(lcPlayback) << "Volume Level not saved:" << e.what();
    }
    if (Music) Music->setVolume(LevelToVolume());
}

void Form1::Volume_Scroll() {
    try {
        const qint32 volume = checkedSub(Volume->value(), Volume->maximum());
        if (Music) Music->setVolume(volume);
    } catch (const std::exception& e) {
        qCWarning(lcPlayback) << "Volume:" << e.what();
    }
}

void Form1::Balance_Scroll() {
    if (Music) Music->setBalance(Balance->value());
}

void Form1::Speed_Scroll() {
    if (Music) Music->setSpeed(Speed->value() / 50.0);
}

void Form1::rememberOptions() {
    try {
        m_services.store->save(QStringLiteral("Option1"),
                               Option1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        m_services.store->save(QStringLiteral("Option2"),
                               Option2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    } catch (const std::exception& e) {
        qCWarning(lcPlayback) << "play order not saved:" << e.what();
    }
}

void Form1::Option1_Click() {
    rememberOptions();
}

void Form1::Option2_Click() {
    rememberOptions();
}
