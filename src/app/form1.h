// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QCursor>
#include <QIcon>
#include <QString>
#include <QWidget>

#include "app/hotkeypump.h"
#include "core/busystate.h"
#include "playback/transport.h"

class QGroupBox;
class QLabel;
class QMimeData;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QTreeView;

class cSysTray;
class IFileSystem;
class IHotKeyService;
class IMessageBoxes;
class INotifyAreaService;
class IShell;
class ISettingsStore;
class ListEditor;
class Playlist;
class TrayHiding;

// The main window: its controls and their layout, the load step, the closing handling
// and the wiring. Each handler forwards to the object that owns the work: playback to
// Transport, the list to ListEditor, the tray to TrayHiding. UI thread only.
class Form1 : public QWidget, private TransportView {
    Q_OBJECT
public:
    // The real systems, wired in main.cpp (or fakes, in tests). The optional ones
    // may be null: without them their steps do nothing.
    struct Services {
        ISettingsStore* store = nullptr;
        IMessageBoxes* boxes = nullptr;
        IFileSystem* fs = nullptr;
        IShell* shell = nullptr;
        Transport::Engine* engine = nullptr;
        IHotKeyService* hotKeys = nullptr;
        INotifyAreaService* tray = nullptr;
        // Ends the process at once (closing step 126); tests replace it.
        std::function<void()> endProgram;
        // The first tick of Timer1 enters the hot-key pump; tests of other parts turn it off.
        bool runPump = true;
    };

    // `programFolder` is the folder that holds the program and its companion files.
    explicit Form1(QString programFolder, QWidget* parent = nullptr);
    ~Form1() override;

    // Store, boxes, file system and shell are required.
    void setServices(Services services);
    // The load step: run once before the window is first shown.
    void Form_Load();
    // Shows the window centred on its screen.
    void showCentred();

    // --- Controls ---
    QGroupBox* Frame3 = nullptr;
    QSlider* Slider1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QSlider* Volume = nullptr;
    QSlider* Balance = nullptr;
    QSlider* Speed = nullptr;
    QLabel* Label1_2 = nullptr;
    QLabel* Label1_3 = nullptr;
    QLabel* Label1_4 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QTreeView* ListView1 = nullptr;
    QTimer* tmrTimer = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton11 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QTimer* Timer1 = nullptr;
    cSysTray* cSysTray1 = nullptr;

    // --- The objects that do the work (made by setServices) ---
    Transport& transport() const { return *m_transport; }
    ListEditor& listEditor() const { return *m_listEditor; }
    TrayHiding& trayHiding() const { return *m_trayHiding; }
    HotKeyPump* pump() const { return m_pump.get(); }
    Playlist& playlist() const { return *m_playlist; }
    BusyState& busy() { return m_busy; }

    const QString& appTitle() const { return m_appTitle; }
    // The closing handling has begun (or was asked for during the load step).
    bool closing() const { return m_closing || m_closeRequested; }
    // The pump will run but has not begun yet: a handler run now would be outside it.
    bool pumpPending() const { return m_pump && m_services.runPump && !m_pump->hasStarted(); }
    const QString& programFolder() const { return m_programFolder; }

    // The pointer of the main window, by its value (see Pointer).
    int MousePointer() const { return static_cast<int>(m_busy.pointer()); }
    void setMousePointer(int value) { m_busy.setPointer(static_cast<Pointer>(value)); }
    bool hasCustomPointer() const { return m_hasHandCursor; }

    // --- Start-up pieces ---
    void SetAppTitle();
    void ApplySkin();

    // --- The handlers, by the controls' names ---
    void PushButton1_Click();
    void PushButton4_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void tmrTimer_Timer();
    void Slider1_Change();
    void Volume_Scroll();
    void Balance_Scroll();
    void Speed_Scroll();
    void Option1_Click();
    void Option2_Click();
    void ListView1_Click();
    bool ListView1_OLEDragOver(const QMimeData* data) const;
    void ListView1_OLEDragDrop(const QMimeData* data);
    void PushButton5_Click();
    void PushButton2_Click();
    void PushButton11_Click();
    void PushButton3_Click();
    void Form_Resize();
    void cSysTray1_MouseUp(int button, int id);
    void Form_QueryUnload();
    // The program ends without its closing handling (the X server went away): saves the
    // list as that handling would, touching no window.
    void saveListAtExit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // TransportView
    void setStartStopCaption(const QString& caption) override;
    void setPauseCaption(const QString& caption) override;
    void setVolumeCaption(const QString& caption) override;
    bool windowVisible() const override;
    void startMonitor() override;

    void buildControls();
    void setTabOrderAsDesigned();
    void connectHandlers();
    int tw(double twips) const;
    QRect twRect(double left, double top, double width, double height) const;
    void showPointer(Pointer pointer);
    bool listViewportEvent(QEvent* event);
    HotKeyPump::Actions hotKeyActions();
    void selectOption(QRadioButton* on, QRadioButton* off);
    void restoreFromTray();
    // Saves "Files", unless the stored list could not be read at start-up.
    void saveList(const QString& text);

    QString m_programFolder;
    QString m_appTitle;
    Services m_services;
    BusyState m_busy;
    std::unique_ptr<Playlist> m_playlist;
    std::unique_ptr<Transport> m_transport;
    std::unique_ptr<ListEditor> m_listEditor;
    std::unique_ptr<TrayHiding> m_trayHiding;
    std::unique_ptr<HotKeyPump> m_pump;
    bool m_hasHandCursor = false;
    QCursor m_handCursor;
    QIcon m_appIcon;
    bool m_loading = false;
    bool m_closeRequested = false;  // during the load step; it ends the program
    bool m_closing = false;
    // True until the load step has read "Files": until then, and when it could not be
    // read, the stored list must not be overwritten.
    bool m_keepStoredList = true;
    bool m_listSaved = false;
};
