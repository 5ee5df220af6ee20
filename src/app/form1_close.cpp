// Form1's closing handling: the same for the close button, the end of the desktop
// session and the termination signals.
#include <QCoreApplication>
#include <QTimer>

#include "app/form1.h"
#include "core/failure.h"
#include "core/isettingsstore.h"
#include "core/steprunner.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"
#include "tray/csystray.h"

void Form1::Form_QueryUnload() {
    if (m_closing) return;  // a second close request while closing changes nothing
    m_closing = true;
    const BusyState::Guard busy(m_busy);
    StepRunner r(*m_services.boxes, formLocation("Form_QueryUnload"));
    r.step(100, [&] {
        clsMusic* music = m_transport->Music.get();
        if (!music) throw Failure(QStringLiteral("Object variable not set"));
        if (music->State() != 0) music->StopPlaying();
    });
    r.step(102, [&] {
        if (cSysTray1) cSysTray1->setInTray(false);
    });
    r.step(104, [&] { Timer1->stop(); });
    r.step(106, [&] { QCoreApplication::processEvents(); });
    r.step(108, [&] { QCoreApplication::processEvents(); });
    QString text;
    r.step(110, [&] { text = encodePlaylist(m_playlist->Texts()); });
    r.step(118, [&] { m_services.store->save(SettingKey::Files, text); });
    r.step(120, [&] { QCoreApplication::processEvents(); });
    r.step(122, [&] { QCoreApplication::processEvents(); });
    if (m_services.endProgram) m_services.endProgram();
}
