#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <random>

#include <QCursor>
#include <QIcon>
#include <QString>
#include <QWidget>

#include "app/hotkeypump.h"

class QGroupBox;
class QLabel;
class QMimeData;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QTreeView;

class clsMusic;
class cSysTray;
class AddFolder;
class StepRunner;
class IFileSystem;
class IHotKeyService;
class IMediaEngine;
class IMessageBoxes;
class INotifyAreaService;
class IShell;
class ISettingsStore;
class Playlist;

// The main window: owns the controls and the program's state for the whole run.
// Its handlers are split by subsystem: the list's under playlist/, the transport's
// under playback/, the tray's and the skin's under tray/. UI thread only.
class Form1 : public QWidget {
    Q_OBJECT
public:
    // The real systems, wired in main.cpp (or fakes, in tests). The optional ones
    // may be null: without them their steps do nothing.
    struct Services {
        ISettingsStore* store = nullptr;
        IMessageBoxes* boxes = nullptr;
        IFileSystem* fs = nullptr;
        IShell* shell = nullptr;
        IMediaEngine* engine = nullptr;
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

    void setServices(Services services);
    // The load step: run once before the window is first shown.
    void Form_Load();
    // Shows the window centred on its screen.
    void showCentred();

    // --- State kept for the whole run ---
    int HoverItem = 0;  // entry references are positions; 0 is none
    bool MouseIsDown = false;
    int DragItem = 0;
    std::unique_ptr<clsMusic> Music;
    bool KeepSelection = false;
    qint32 RequestedIndex = 0;
    bool IsPlaying = false;

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
    HotKeyPump* pump() const { return m_pump.get(); }

    Playlist& playlist() const { return *m_playlist; }
    const QString& appTitle() const { return m_appTitle; }
    const QString& programFolder() const { return m_programFolder; }

    // --- The pointer of the main window: 0 default, 11 hourglass (busy), 99 hand ---
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int value);
    bool hasCustomPointer() const { return m_hasHandCursor; }

    // --- Start-up pieces ---
    void SetAppTitle();
    void ApplySkin();

    // --- Playback (playback/) ---
    void PlayTheFile(bool GoBack, bool Navigate);
    void ScrollToItem(int index);
    int LevelToVolume() const;
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

    // --- The list and the ways of filling it (playlist/) ---
    void ListView1_MouseDown();
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint& viewportPos, const QPoint& screenPos);
    void ListView1_MouseUp();
    void ListView1_Click();
    bool ListView1_OLEDragOver(const QMimeData* data) const;
    void ListView1_OLEDragDrop(const QMimeData* data);
    void PushButton5_Click();
    void PushButton2_Click();
    void PushButton11_Click();
    void PushButton3_Click();

    // --- Tray and closing ---
    void Form_Resize();
    void cSysTray1_MouseUp(int button, int id);
    void Form_QueryUnload();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void buildControls();
    void setTabOrderAsDesigned();
    void connectHandlers();
    int tw(double twips) const;
    QRect twRect(double left, double top, double width, double height) const;
    void hover(int pointer);
    bool isFileListDrag(const QMimeData* data) const;
    void importTree(const QString& folder, const QString& pattern, StepRunner* steps);
    HotKeyPump::Actions hotKeyActions();

    // Marks the pump busy, when there is one, for the life of the scope.
    class PumpBusy {
    public:
        explicit PumpBusy(HotKeyPump* pump) {
            if (pump) m_busy.emplace(*pump);
        }

    private:
        std::optional<HotKeyPump::Busy> m_busy;
    };
    void rememberOptions();
    void selectOption(QRadioButton* on, QRadioButton* off);
    double rnd();
    void reseed();

    QString m_programFolder;
    QString m_appTitle;
    Services m_services;
    std::unique_ptr<Playlist> m_playlist;
    std::unique_ptr<HotKeyPump> m_pump;
    std::unique_ptr<AddFolder> m_addFolder;
    int m_mousePointer = 0;
    bool m_hasHandCursor = false;
    QCursor m_handCursor;
    QIcon m_appIcon;
    std::mt19937 m_rng;
    int m_playTheFileDepth = 0;
    int m_pressEntry = 0;
    bool m_closing = false;
};
