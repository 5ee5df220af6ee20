#include "app/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QTreeView>

#include "app/cursorfile.h"
#include "app/hotkeypump.h"
#include "app/isettingsstore.h"
#include "app/numbers.h"
#include "app/playlistcodec.h"
#include "app/steprunner.h"
#include "playback/clsmusic.h"
#include "playlist/addfolder.h"
#include "playlist/mainpaths.h"
#include "playlist/playlist.h"
#include "playlist/samples.h"
#include "tray/csystray.h"
#include "tray/traypicture.h"

Q_LOGGING_CATEGORY(lcApp, "quaverly.app")

namespace {
const QString kProductName = QStringLiteral("Quaverly");
const QString kLoadLocation = QStringLiteral("in Tindrell2021/08/31.Form1.Form_Load ");
const QString kListTip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");

QFont designFont(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}
}  // namespace

Form1::Form1(QString programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_programFolder(std::move(programFolder)) {
    buildControls();
    setTabOrderAsDesigned();
    m_playlist = std::make_unique<Playlist>(ListView1);
    connectHandlers();
}

Form1::~Form1() = default;

int Form1::tw(double twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

QRect Form1::twRect(double left, double top, double width, double height) const {
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

void Form1::buildControls() {
    setFont(designFont(9));
    setFixedSize(tw(8040), tw(6990));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);

    // Names the control, puts it at its place and lets the window see its mouse moves.
    auto place = [this](auto* w, const char* name, QRect r) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(r);
        w->setMouseTracking(true);
        w->installEventFilter(this);
        return w;
    };
    auto frame = [&](const char* name, const QString& caption, QRect r) {
        return place(new QGroupBox(caption, this), name, r);
    };
    auto label = [&](QWidget* parent, const char* name, const QString& text, QRect r) {
        return place(new QLabel(text, parent), name, r);
    };
    auto slider = [&](QWidget* parent, const char* name, QRect r, int min, int max, int large,
                      int small, int tick, int value, QSlider::TickPosition ticks) {
        auto* s = place(new QSlider(Qt::Horizontal, parent), name, r);
        s->setAccessibleName(QString::fromLatin1(name));
        s->setRange(min, max);
        s->setPageStep(large);
        s->setSingleStep(small);
        s->setTickInterval(tick);
        s->setTickPosition(ticks);
        s->setValue(value);
        return s;
    };
    auto option = [&](QWidget* parent, const char* name, const QString& text, QRect r) {
        auto* o = place(new QRadioButton(text, parent), name, r);
        o->setAutoExclusive(false);  // the load step may leave both cleared
        return o;
    };
    auto button = [&](const char* name, const QString& text, QRect r) {
        auto* b = place(new QPushButton(text, this), name, r);
        b->setFont(designFont(11.25));
        return b;
    };

    Frame3 = frame("Frame3", QStringLiteral("Volume Control"), twRect(120, 6015, 7800, 855));
    Slider1 = slider(Frame3, "Slider1", twRect(540, 300, 6555, 315), 0, 100, 5, 1, 1, 0,
                     QSlider::TicksBelow);
    Slider1->setAccessibleName(QStringLiteral("Volume Level"));
    Label2 = label(Frame3, "Label2", QStringLiteral("Min."), twRect(150, 360, 375, 195));
    Label3 = label(Frame3, "Label3", QStringLiteral("Max."), twRect(7170, 345, 405, 225));
    Frame2 = frame("Frame2", QStringLiteral("Settings"), twRect(120, 8400, 7800, 2265));
    Volume = slider(Frame2, "Volume", twRect(945, 160, 6660, 630), 0, 10000, 10000, 5000, 10000,
                    10000, QSlider::TicksBothSides);
    Balance = slider(Frame2, "Balance", twRect(945, 855, 6660, 630), -10000, 10000, 2000, 1000,
                     2000, 0, QSlider::TicksBothSides);
    Speed = slider(Frame2, "Speed", twRect(945, 1530, 6660, 630), 0, 100, 2, 1, 10, 50,
                   QSlider::TicksBothSides);
    Label1_2 = label(Frame2, "Label1_2", QStringLiteral("Volume:"), twRect(135, 383, 690, 225));
    Label1_3 = label(Frame2, "Label1_3", QStringLiteral("Balance:"), twRect(135, 1065, 735, 225));
    Label1_4 = label(Frame2, "Label1_4", QStringLiteral("Speed:"), twRect(135, 1740, 585, 225));
    Frame1 = frame("Frame1", QStringLiteral("Random Option"), twRect(120, 5250, 7800, 705));
    Option2 =
        option(Frame1, "Option2", QStringLiteral("Play in order"), twRect(2280, 300, 1695, 255));
    Option1 =
        option(Frame1, "Option1", QStringLiteral("Play randomly"), twRect(240, 300, 1695, 255));

    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("AAC File(s)"));
    ListView1->setGeometry(twRect(120, 120, 7800, 2535));
    ListView1->setToolTip(kListTip);
    ListView1->setMouseTracking(true);
    ListView1->viewport()->setMouseTracking(true);
    ListView1->viewport()->installEventFilter(this);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->setAcceptDrops(true);

    tmrTimer = new QTimer(this);
    tmrTimer->setObjectName(QStringLiteral("tmrTimer"));
    tmrTimer->setInterval(100);

    PushButton5 =
        button("PushButton5", QStringLiteral("Add AAC File(s)"), twRect(120, 2750, 3840, 405));
    PushButton2 = button("PushButton2", QStringLiteral("Add All AAC File(s) In Folder"),
                         twRect(4080, 2750, 3840, 405));
    PushButton1 = button("PushButton1", QStringLiteral("Start Playing (Ctrl+Shift+X)"),
                         twRect(120, 3770, 7800, 405));
    PushButton11 =
        button("PushButton11", QStringLiteral("Clear List"), twRect(120, 3260, 3840, 405));
    PushButton3 = button("PushButton3", QStringLiteral("Load Sample/Example Files"),
                         twRect(4080, 3260, 3840, 405));
    PushButton4 =
        button("PushButton4", QStringLiteral("Pause (Ctrl+Shift+C)"), twRect(120, 4280, 7800, 405));
    PushButton6 = button("PushButton6", QStringLiteral("Previous AAC (Ctrl+Shift+Z)"),
                         twRect(120, 4790, 3840, 405));
    PushButton7 = button("PushButton7", QStringLiteral("Next AAC (Ctrl+Shift+B)"),
                         twRect(4080, 4790, 3840, 405));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);  // its handling is entered once and never returns
}

void Form1::setTabOrderAsDesigned() {
    const QList<QWidget*> order = {ListView1,   PushButton5, PushButton2, PushButton1, PushButton11,
                                   PushButton3, Volume,      Balance,     Speed,       PushButton4,
                                   PushButton6, PushButton7, Option1,     Option2,     Slider1};
    for (QWidget* w : order) w->setFocusPolicy(Qt::StrongFocus);
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void Form1::connectHandlers() {
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
    connect(Slider1, &QSlider::valueChanged, this, &Form1::Slider1_Change);
    connect(Volume, &QSlider::valueChanged, this, &Form1::Volume_Scroll);
    connect(Balance, &QSlider::valueChanged, this, &Form1::Balance_Scroll);
    connect(Speed, &QSlider::valueChanged, this, &Form1::Speed_Scroll);
    // The two option buttons behave as one group; a click on the selected one keeps it.
    connect(Option1, &QRadioButton::clicked, this, [this] {
        selectOption(Option1, Option2);
        Option1_Click();
    });
    connect(Option2, &QRadioButton::clicked, this, [this] {
        selectOption(Option2, Option1);
        Option2_Click();
    });
    connect(tmrTimer, &QTimer::timeout, this, &Form1::tmrTimer_Timer);
    connect(Timer1, &QTimer::timeout, this, [this] {
        if (m_pump) m_pump->Timer1_Timer();
    });
}

HotKeyPump::Actions Form1::hotKeyActions() {
    HotKeyPump::Actions a;
    a.next = [this] { PushButton7_Click(); };
    a.startStop = [this] { PushButton1_Click(); };
    a.pauseResume = [this] { PushButton4_Click(); };
    a.previous = [this] { PushButton6_Click(); };
    a.playing = [this] { return PushButton1->text().startsWith(QStringLiteral("Stop Playing")); };
    a.keepImage = [] {};  // Qt widgets always repaint from their own state
    a.showWindow = [this] {
        if (!mSysTray::HiddenInTray) show();
    };
    return a;
}

void Form1::selectOption(QRadioButton* on, QRadioButton* off) {
    on->setChecked(true);
    off->setChecked(false);
}

void Form1::setServices(Services services) {
    m_services = std::move(services);
    if (m_services.tray && !cSysTray1) {
        cSysTray1 = new cSysTray(*m_services.tray, this);
        cSysTray1->setTrayIcon(trayPicture());
        connect(cSysTray1, &cSysTray::MouseUp, this,
                [this](qint16 button, qint32 id) { cSysTray1_MouseUp(button, id); });
    }
    if (m_services.fs && m_services.boxes) {
        m_addFolder = std::make_unique<AddFolder>(*m_services.fs, *m_services.boxes,
                                                  [] { QCoreApplication::processEvents(); });
    }
    if (m_services.hotKeys && !m_pump) {
        m_pump =
            std::make_unique<HotKeyPump>(*m_services.hotKeys, *m_services.boxes, hotKeyActions());
    }
}

void Form1::showCentred() {
    if (QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
    show();
}

void Form1::SetAppTitle() {
    m_appTitle = makeAppTitle(kProductName);
}

void Form1::setMousePointer(int value) {
    m_mousePointer = value;
    if (value == 11)
        setCursor(Qt::WaitCursor);
    else if (value == 99 && m_hasHandCursor)
        setCursor(m_handCursor);
    else
        unsetCursor();
}

void Form1::hover(int pointer) {
    if (m_mousePointer != 11) setMousePointer(pointer);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    hover(0);
    QWidget::mouseMoveEvent(event);
}

void Form1::Form_Load() {
    StepRunner r(*m_services.boxes, kLoadLocation);
    ISettingsStore& store = *m_services.store;
    r.step(102, [&] { ApplySkin(); });
    r.step(104, [&] {
        setWindowTitle(kProductName);
        m_appIcon = QIcon();
        for (int size : {32, 48, 128, 256})
            m_appIcon.addFile(m_programFolder + QStringLiteral("/icons/quaverly-%1.png").arg(size),
                              QSize(size, size));
        setWindowIcon(m_appIcon);
    });
    r.step(104, [&] { SetAppTitle(); });
    const QString cursorFile = m_programFolder + QStringLiteral("/HAND-M.CUR");
    if (r.test(106, [&] { return FileExists(*m_services.fs, cursorFile); })) {
        r.step(108, [&] {
            m_handCursor = loadCursorFile(cursorFile);
            m_hasHandCursor = true;
        });
    }
    r.step(110, [&] { reseed(); });
    if (r.test(110, [&] { return readSetting(store, QStringLiteral("Snapshot")).isEmpty(); }))
        r.step(110, [&] { TakeSamplesSnapshot(store, *m_services.fs, m_programFolder); });
    if (r.test(126, [&] { return readSetting(store, QStringLiteral("Snapshot")).isEmpty(); }))
        r.step(126, [&] { TakeSamplesSnapshot(store, *m_services.fs, m_programFolder); });
    r.step(128, [&] { Music = std::make_unique<clsMusic>(*m_services.engine); });
    r.step(130, [&] { ListView1->header()->setVisible(true); });
    r.step(132, [&] { ListView1->header()->resizeSection(0, tw(6500)); });

    QString files;
    r.step(134, [&] { files = readSetting(store, QStringLiteral("Files")); });
    if (r.test(136, [&] { return !files.isEmpty(); })) {
        QStringList entries;
        r.step(138, [&] { entries = decodePlaylist(files); });
        r.step(144, [&] { m_playlist->AppendAll(entries); });
    }

    // Both options are read before either is applied: selecting one stores both again,
    // which must not hide what the other setting said.
    const QString option1 = readSetting(store, QStringLiteral("Option1"), QStringLiteral("1"));
    const QString option2 = readSetting(store, QStringLiteral("Option2"), QStringLiteral("0"));
    r.step(148, [&] {
        if (readWholeNumber(option1) == 1) {
            selectOption(Option1, Option2);
            Option1_Click();
        } else {
            Option1->setChecked(false);
        }
    });
    r.step(150, [&] {
        if (readWholeNumber(option2) == 1) {
            selectOption(Option2, Option1);
            Option2_Click();
        } else {
            Option2->setChecked(false);
        }
    });
    r.step(152, [&] {
        const int level = roundHalfEven(readLeadingNumber(
            readSetting(store, QStringLiteral("Volume Level"), QStringLiteral("50"))));
        if (level < Slider1->minimum() || level > Slider1->maximum())
            throw Failure(QStringLiteral("Invalid property value"));
        // The load step sets the caption and the engine itself; the stored text is left
        // as it is until the user moves the slider.
        const QSignalBlocker quiet(Slider1);
        Slider1->setValue(level);
    });
    r.step(154,
           [&] { Frame3->setTitle(QStringLiteral("Volume Level = %1").arg(Slider1->value())); });
    r.step(156, [&] {
        if (!Music) throw Failure(QStringLiteral("Object variable not set"));
        Music->setVolume(LevelToVolume());
    });
    r.step(160, [&] { KeepSelection = true; });
    r.step(162, [&] {
        if (cSysTray1) cSysTray1->setTrayTip(kProductName);
    });
    r.step(164, [&] {
        if (cSysTray1) cSysTray1->setInTray(true);
    });
    r.step(166, [&] {
        if (m_services.runPump) Timer1->start();
    });
    r.step(168, [&] { Timer1->setInterval(10); });
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (ListView1 && watched == ListView1->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: {
                auto* e = static_cast<QMouseEvent*>(event);
                ListView1_MouseDown();
                m_pressEntry = m_playlist->EntryAt(e->position().toPoint());
                if (m_pressEntry != 0) {
                    m_playlist->Select(m_pressEntry);
                    ListView1_ItemClick();
                } else {
                    DragItem = 0;  // a press on no entry drags nothing
                }
                ListView1->setFocus(Qt::MouseFocusReason);
                return true;
            }
            case QEvent::MouseMove: {
                auto* e = static_cast<QMouseEvent*>(event);
                ListView1_MouseMove(e->position().toPoint(), e->globalPosition().toPoint());
                return e->buttons() != Qt::NoButton;
            }
            case QEvent::MouseButtonRelease: {
                auto* e = static_cast<QMouseEvent*>(event);
                ListView1_MouseUp();
                const int releaseEntry = m_playlist->EntryAt(e->position().toPoint());
                const bool click = m_pressEntry != 0 && releaseEntry == m_pressEntry;
                m_pressEntry = 0;
                if (click) ListView1_Click();
                return true;
            }
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* e = static_cast<QDropEvent*>(event);
                if (ListView1_OLEDragOver(e->mimeData()))
                    e->acceptProposedAction();
                else
                    e->ignore();
                return true;
            }
            case QEvent::Drop: {
                auto* e = static_cast<QDropEvent*>(event);
                if (!ListView1_OLEDragOver(e->mimeData())) {
                    e->ignore();
                    return true;
                }
                e->acceptProposedAction();
                ListView1_OLEDragDrop(e->mimeData());
                return true;
            }
            default:
                return false;
        }
    }
    if (event->type() == QEvent::MouseMove) {
        auto* e = static_cast<QMouseEvent*>(event);
        // A handled move stops here, so the window behind does not reset the pointer.
        if (qobject_cast<QPushButton*>(watched)) {
            hover(99);
            return e->buttons() == Qt::NoButton;
        } else if (qobject_cast<QGroupBox*>(watched)) {
            hover(0);
            return e->buttons() == Qt::NoButton;
        } else if (e->buttons() == Qt::NoButton) {
            // Labels, option buttons and sliders have no hover rule: the pointer stays
            // as it was, and the move does not reach the frame behind them.
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Handled once the state change is complete: the handler hides the window and may
    // wait for the balloon, which must not happen inside the window system's own event.
    if (event->type() == QEvent::WindowStateChange)
        QMetaObject::invokeMethod(this, &Form1::Form_Resize, Qt::QueuedConnection);
}

void Form1::closeEvent(QCloseEvent* event) {
    // The close is never refused; the closing handling ends the program itself.
    event->accept();
    Form_QueryUnload();
}
