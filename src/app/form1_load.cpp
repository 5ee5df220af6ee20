// SPDX-License-Identifier: GPL-3.0-or-later
// Form1's load step: everything start-up does before the window is first shown.
#include <exception>
#include <optional>

#include <QGroupBox>
#include <QHeaderView>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QTreeView>

#include "app/form1.h"
#include "core/cursorfile.h"
#include "core/failure.h"
#include "core/ifilesystem.h"
#include "core/isettingsstore.h"
#include "core/numbers.h"
#include "core/product.h"
#include "core/steprunner.h"
#include "playlist/mainpaths.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"
#include "playlist/samples.h"
#include "tray/csystray.h"

namespace {
// Clears an option of the group, which the group alone never does: the load step may
// leave both cleared.
void clearOption(QRadioButton* option) {
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}
}  // namespace

void Form1::Form_Load() {
    StepRunner r(*m_services.boxes, formLocation("Form_Load"));
    // A close asked for while one of the load step's boxes is open, before the list is
    // restored, ends the program once that box is answered (see Form_QueryUnload).
    m_loading = true;
    r.stopWhen([this] { return m_closeRequested; });
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
    r.step(110, [&] { m_transport->reseed(); });
    // A record that exists but cannot be read is kept: no new one is taken over it.
    std::optional<QString> snapshot;
    r.step(110, [&] { snapshot = readSetting(store, SettingKey::Snapshot); });
    if (snapshot && r.test(110, [&] { return snapshot->isEmpty(); }))
        r.step(110, [&] { TakeSamplesSnapshot(store, *m_services.fs, m_programFolder); });
    if (snapshot && r.test(126, [&] { return readSetting(store, SettingKey::Snapshot).isEmpty(); }))
        r.step(126, [&] { TakeSamplesSnapshot(store, *m_services.fs, m_programFolder); });
    r.step(128, [&] { m_transport->createMusic(*m_services.engine); });
    r.step(130, [&] { ListView1->header()->setVisible(true); });
    r.step(132, [&] { ListView1->header()->resizeSection(0, tw(6500)); });

    QString files;
    // Only a list that could be read is written back at close; one that could not is
    // kept as it is on disk.
    r.step(134, [&] {
        files = readSetting(store, SettingKey::Files);
        m_keepStoredList = false;
    });
    if (r.test(136, [&] { return !files.isEmpty(); })) {
        QStringList entries;
        r.step(138, [&] { entries = decodePlaylist(files); });
        r.step(144, [&] { m_playlist->AppendAll(entries); });
    }

    // Both options are read before either is applied: selecting one stores both again,
    // which must not hide what the other setting said.
    // A value that cannot be read fails its own step.
    std::optional<QString> option2;
    std::exception_ptr option2Failure;
    try {
        option2 = readSetting(store, SettingKey::Option2, QStringLiteral("0"));
    } catch (...) {
        option2Failure = std::current_exception();
    }
    r.step(148, [&] {
        if (readWholeNumber(readSetting(store, SettingKey::Option1, QStringLiteral("1"))) == 1) {
            selectOption(Option1, Option2);
            Option1_Click();
        } else {
            clearOption(Option1);
        }
    });
    r.step(150, [&] {
        if (option2Failure) std::rethrow_exception(option2Failure);
        if (readWholeNumber(*option2) == 1) {
            selectOption(Option2, Option1);
            Option2_Click();
        } else {
            clearOption(Option2);
        }
    });
    r.step(152, [&] {
        const int level = roundHalfEven(
            readLeadingNumber(readSetting(store, SettingKey::VolumeLevel, QStringLiteral("50"))));
        if (level < Slider1->minimum() || level > Slider1->maximum())
            throw Failure(QStringLiteral("Invalid property value"));
        // The load step sets the caption and the engine itself; the stored text is left
        // as it is until the user moves the slider.
        const QSignalBlocker quiet(Slider1);
        Slider1->setValue(level);
        m_transport->restoreLevel(level);
    });
    r.step(154, [&] { Frame3->setTitle(Caption::volumeLevel(Slider1->value())); });
    r.step(156, [&] { m_transport->applyLevel(Slider1->value()); });
    r.step(160, [&] { m_transport->keepSelectionForFirstStart(); });
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
    m_loading = false;
    if (m_closeRequested && m_services.endProgram) m_services.endProgram();
}
