// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form1.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include "app/skinframework.h"
#include "core/numbers.h"
#include "core/product.h"
#include "playlist/listeditor.h"
#include "playlist/playlist.h"
#include "tray/csystray.h"
#include "tray/trayhiding.h"
#include "tray/traypicture.h"

namespace {
const QString kListTip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");

QFont designFont(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// The window as assistive technology sees it: its controls, without the Settings frame,
// which lies outside the window where no one can see or reach it.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(Form1* form) : QAccessibleWidget(form), m_form(form) {}
    int childCount() const override { return int(offered().size()); }
    QAccessibleInterface* child(int index) const override { return offered().value(index); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return int(offered().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

private:
    QList<QAccessibleInterface*> offered() const {
        QList<QAccessibleInterface*> children;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface* child = QAccessibleWidget::child(i);
            if (child && child->object() != m_form->Frame2) children.append(child);
        }
        return children;
    }
    Form1* m_form;
};

QAccessibleInterface* windowAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("Form1"))
        return new WindowAccessible(qobject_cast<Form1*>(object));
    return nullptr;
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
    m_busy.onPointerChanged = [this](Pointer p) { showPointer(p); };
    connectHandlers();
}

Form1::~Form1() = default;

int Form1::tw(double twips) const {
    return qRound(twips * logicalDpiX() / kTwipsPerInch);
}

QRect Form1::twRect(double left, double top, double width, double height) const {
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

void Form1::buildControls() {
    setFont(designFont(9));
    setFixedSize(tw(8040), tw(6990));
    // The window's own colours hold whatever the desktop's palette: black text on white, the
    // style's own light colours elsewhere. Boxes and dialogs are windows of their own and
    // keep the desktop's.
    QPalette design = style()->standardPalette();
    design.setColor(QPalette::Window, Qt::white);
    design.setColor(QPalette::WindowText, Qt::black);
    design.setColor(QPalette::Base, Qt::white);
    design.setColor(QPalette::Text, Qt::black);
    setPalette(design);
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
        // One group, as a radio group is: one tab stop, the arrow keys move the choice,
        // and screen readers announce radio buttons (not check boxes, as they would
        // without the group).
        return place(new QRadioButton(text, parent), name, r);
    };
    auto button = [&](const char* name, const QString& text, QRect r) {
        auto* b = place(new QPushButton(text, this), name, r);
        b->setFont(designFont(11.25));
        return b;
    };

    Frame3 = frame("Frame3", QStringLiteral("Volume Control"), twRect(120, 6015, 7800, 855));
    Slider1 = slider(Frame3, "Slider1", twRect(540, 300, 6555, 315), 0, Transport::kMaxLevel, 5, 1,
                     1, 0, QSlider::TicksBelow);
    Slider1->setAccessibleName(QStringLiteral("Volume Level"));
    Label2 = label(Frame3, "Label2", QStringLiteral("Min."), twRect(150, 360, 375, 195));
    Label3 = label(Frame3, "Label3", QStringLiteral("Max."), twRect(7170, 345, 405, 225));
    Frame2 = frame("Frame2", QStringLiteral("Settings"), twRect(120, 8400, 7800, 2265));
    Volume = slider(Frame2, "Volume", twRect(945, 160, 6660, 630), 0, 10000, 10000, 5000, 10000,
                    10000, QSlider::TicksBothSides);
    Balance = slider(Frame2, "Balance", twRect(945, 855, 6660, 630), -10000, 10000, 2000, 1000,
                     2000, 0, QSlider::TicksBothSides);
    Speed = slider(Frame2, "Speed", twRect(945, 1530, 6660, 630), 0, Transport::kMaxSpeed, 2, 1, 10,
                   int(Transport::kSpeedScale), QSlider::TicksBothSides);
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
    ListView1->installEventFilter(this);  // Enter
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->setAcceptDrops(true);

    tmrTimer = new QTimer(this);
    tmrTimer->setObjectName(QStringLiteral("tmrTimer"));
    tmrTimer->setInterval(100);

    PushButton5 =
        button("PushButton5", QStringLiteral("Add AAC File(s)"), twRect(120, 2750, 3840, 405));
    PushButton2 = button("PushButton2", QStringLiteral("Add All AAC File(s) In Folder"),
                         twRect(4080, 2750, 3840, 405));
    PushButton1 = button("PushButton1", Caption::Start, twRect(120, 3770, 7800, 405));
    PushButton11 =
        button("PushButton11", QStringLiteral("Clear List"), twRect(120, 3260, 3840, 405));
    PushButton3 = button("PushButton3", QStringLiteral("Load Sample/Example Files"),
                         twRect(4080, 3260, 3840, 405));
    PushButton4 = button("PushButton4", Caption::Pause, twRect(120, 4280, 7800, 405));
    PushButton6 = button("PushButton6", QStringLiteral("Previous AAC (Ctrl+Shift+Z)"),
                         twRect(120, 4790, 3840, 405));
    PushButton7 = button("PushButton7", QStringLiteral("Next AAC (Ctrl+Shift+B)"),
                         twRect(4080, 4790, 3840, 405));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);  // its handling is entered once and never returns
}

void Form1::setTabOrderAsDesigned() {
    const QList<QWidget*> order = {ListView1,    PushButton5, PushButton2, PushButton1,
                                   PushButton11, PushButton3, PushButton4, PushButton6,
                                   PushButton7,  Option1,     Option2,     Slider1};
    for (QWidget* w : order) w->setFocusPolicy(Qt::StrongFocus);
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    // The Settings frame's sliders lie outside the window: with the keyboard they would
    // move the balance or the speed with nothing on screen to show it or to undo it. They
    // take no focus and are not offered to assistive technology; the program still sets
    // them.
    for (QWidget* w : {Volume, Balance, Speed}) w->setFocusPolicy(Qt::NoFocus);
    static const bool offered = (QAccessible::installFactory(windowAccessible), true);
    Q_UNUSED(offered);
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

void Form1::setServices(Services services) {
    m_services = std::move(services);
    const Services& s = m_services;
    TransportView& view = *this;
    m_transport =
        std::make_unique<Transport>(*m_playlist, view, *s.boxes, *s.fs, *s.store, m_appTitle);
    m_listEditor = std::make_unique<ListEditor>(
        *m_playlist, m_busy, ListEditor::Services{*s.store, *s.boxes, *s.fs, *s.shell},
        m_programFolder, m_appTitle, [this](int position) { m_transport->playRequest(position); });
    if (s.tray && !cSysTray1) {
        cSysTray1 = new cSysTray(*s.tray, this);
        cSysTray1->setTrayIcon(trayPicture());
        connect(cSysTray1, &cSysTray::MouseUp, this,
                [this](qint16 button, qint32 id) { cSysTray1_MouseUp(button, id); });
    }
    m_trayHiding = std::make_unique<TrayHiding>(
        s.tray, cSysTray1, m_busy,
        TrayHiding::Window{[this] { return bool(windowState() & Qt::WindowMinimized); },
                           [this] { hide(); }, [this] { restoreFromTray(); }});
    if (s.hotKeys && !m_pump)
        m_pump = std::make_unique<HotKeyPump>(*s.hotKeys, *s.boxes, m_busy, hotKeyActions());
}

HotKeyPump::Actions Form1::hotKeyActions() {
    // The keys reach the transport as the remote does: straight, not through the window.
    HotKeyPump::Actions a;
    Transport& t = *m_transport;
    a.next = [&t] { t.PushButton7_Click(); };
    a.startStop = [&t] { t.PushButton1_Click(); };
    a.pauseResume = [&t] { t.PushButton4_Click(); };
    a.previous = [&t] { t.PushButton6_Click(); };
    a.playing = [&t] { return t.status() != PlaybackStatus::Stopped; };
    a.start = [&t] { t.start(); };
    a.keepImage = [] {};  // Qt widgets always repaint from their own state
    a.showWindow = [this] {
        if (!m_trayHiding->hiddenInTray()) show();
    };
    return a;
}

void Form1::selectOption(QRadioButton* on, QRadioButton* off) {
    on->setChecked(true);
    off->setChecked(false);
}

void Form1::showCentred() {
    // A Wayland desktop places windows itself; a client cannot move its own.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        show();
        return;
    }
    const auto centre = [this] {
        if (QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    };
    centre();
    show();
    // The window manager's frame is known only once the window is shown: when it comes,
    // the window is centred again, frame included.
    auto* once = new QObject(this);
    const auto framed = [this, once, centre] {
        if (frameGeometry().size() == size() || once->parent() == nullptr) return;
        once->setParent(nullptr);
        once->deleteLater();
        centre();
    };
    connect(windowHandle(), &QWindow::xChanged, once, framed);
    connect(windowHandle(), &QWindow::yChanged, once, framed);
}

void Form1::SetAppTitle() {
    m_appTitle = makeAppTitle(kProductName);
}

void Form1::ApplySkin() {
    ::ApplySkin(*this, *m_services.fs, m_programFolder);
}

void Form1::showPointer(Pointer pointer) {
    if (pointer == Pointer::Hourglass)
        setCursor(Qt::WaitCursor);
    else if (pointer == Pointer::Hand && m_hasHandCursor)
        setCursor(m_handCursor);
    else
        unsetCursor();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    m_busy.hover(Pointer::Default);
    QWidget::mouseMoveEvent(event);
}

bool Form1::listViewportEvent(QEvent* event) {
    switch (event->type()) {
        // Only the left button presses, clicks and drags entries; the others do nothing.
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton) m_listEditor->pressed(e->position().toPoint());
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            m_listEditor->moved(e->position().toPoint(), e->globalPosition().toPoint(),
                                e->buttons().testFlag(Qt::LeftButton));
            return e->buttons() != Qt::NoButton;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton) m_listEditor->released(e->position().toPoint());
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

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (ListView1 && watched == ListView1->viewport() && m_listEditor)
        return listViewportEvent(event);
    if (watched == ListView1 && m_listEditor && event->type() == QEvent::KeyPress) {
        // Enter plays the selected entry, as a click on it does.
        const auto* e = static_cast<QKeyEvent*>(event);
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
            (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            m_listEditor->ListView1_Click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove) {
        auto* e = static_cast<QMouseEvent*>(event);
        // A handled move stops here, so the window behind does not reset the pointer.
        if (qobject_cast<QPushButton*>(watched)) {
            m_busy.hover(Pointer::Hand);
            return e->buttons() == Qt::NoButton;
        } else if (qobject_cast<QGroupBox*>(watched)) {
            m_busy.hover(Pointer::Default);
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
    // The window's size is fixed. Where it draws its own frame (Wayland), Qt's frame still
    // offers a maximise button; what it asks for is undone.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
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
