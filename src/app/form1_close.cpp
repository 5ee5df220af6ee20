// SPDX-License-Identifier: GPL-3.0-or-later
// Form1's closing handling: the same for the close button, the end of the desktop
// session and the termination signals.
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include "app/form1.h"
#include "core/failure.h"
#include "core/isettingsstore.h"
#include "core/steprunner.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"
#include "tray/csystray.h"

Q_LOGGING_CATEGORY(lcClosing, "quaverly.app.closing", QtInfoMsg)

void Form1::Form_QueryUnload() {
    if (m_closing || m_closeRequested) return;  // a second request changes nothing
    if (m_loading && m_keepStoredList) {
        // One of the load step's boxes is open and the list is not restored yet: the
        // objects the closing handling works on may not exist, and saving would write
        // an empty list over the stored one. The load step ends the program instead.
        m_closeRequested = true;
        return;
    }
    m_closing = true;
    const BusyState::Guard busy(m_busy);
    StepRunner r(*m_services.boxes, formLocation("Form_QueryUnload"));
    r.step(100, [&] { m_transport->stopEngine(); });
    r.step(102, [&] {
        if (cSysTray1) cSysTray1->setInTray(false);
    });
    r.step(104, [&] { Timer1->stop(); });
    r.step(106, [&] { QCoreApplication::processEvents(); });
    r.step(108, [&] { QCoreApplication::processEvents(); });
    QString text;
    r.step(110, [&] { text = encodePlaylist(m_playlist->Texts()); });
    r.step(118, [&] { saveList(text); });
    r.step(120, [&] { QCoreApplication::processEvents(); });
    r.step(122, [&] { QCoreApplication::processEvents(); });
    if (m_services.endProgram) m_services.endProgram();
}

void Form1::saveList(const QString& text) {
    m_listSaved = true;
    if (m_keepStoredList) {
        qCWarning(lcClosing,
                  "the playlist was not saved: the stored one could not be read at start-up and "
                  "is kept as it is; fix its file's permissions and start again");
        return;
    }
    m_services.store->save(SettingKey::Files, text);
}

void Form1::saveListAtExit() {
    if (m_listSaved) return;
    try {
        saveList(encodePlaylist(m_playlist->Texts()));
    } catch (const std::exception& e) {
        qCWarning(lcClosing, "the playlist could not be saved: %s", e.what());
    }
}
