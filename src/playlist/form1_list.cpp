// Form1's list handlers (drag, click to play, drop) and the buttons that fill or empty it.
#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include "app/cursorfile.h"
#include "app/form1.h"
#include "app/hotkeypump.h"
#include "app/imessageboxes.h"
#include "app/isettingsstore.h"
#include "app/steprunner.h"
#include "playlist/addfolder.h"
#include "playlist/ifilesystem.h"
#include "playlist/ishell.h"
#include "playlist/mainpaths.h"
#include "playlist/playlist.h"
#include "playlist/samples.h"

Q_LOGGING_CATEGORY(lcList, "quaverly.playlist")

void Form1::ListView1_MouseDown() {
    MouseIsDown = true;
}

void Form1::ListView1_ItemClick() {
    try {
        ListView1->viewport()->setCursor(
            loadCursorFile(m_programFolder + QStringLiteral("/drag.ico"), QPoint(1, 1)));
    } catch (const std::exception& e) {
        // The drag works without its picture.
        ListView1->viewport()->setCursor(Qt::ClosedHandCursor);
        qCDebug(lcList) << "drag cursor:" << e.what();
    }
    DragItem = m_playlist->Selected();
}

void Form1::ListView1_MouseMove(const QPoint& viewportPos, const QPoint& screenPos) {
    hover(0);
    if (!MouseIsDown) return;
    Playlist& list = *m_playlist;
    HoverItem = list.EntryAt(viewportPos);
    // A reference whose position is gone (the list was cleared or shortened) is none.
    if (DragItem > list.Count()) DragItem = 0;
    if (HoverItem != 0 && DragItem != 0) {
        const QString dragged = list.Text(DragItem);
        const QString hovered = list.Text(HoverItem);
        if (dragged != hovered) {
            list.SetText(DragItem, hovered);
            list.SetText(HoverItem, dragged);
            list.Select(HoverItem);
            DragItem = HoverItem;
            const int y = screenPos.y();
            if (y < 305 && HoverItem > 1)
                list.MakeVisible(HoverItem - 1);
            else if (y >= 365 && HoverItem + 1 <= list.Count())
                list.MakeVisible(HoverItem + 1);
        }
    }
    HoverItem = 0;
}

void Form1::ListView1_MouseUp() {
    MouseIsDown = false;
    ListView1->viewport()->setCursor(Qt::ArrowCursor);
}

void Form1::ListView1_Click() {
    if (m_playlist->Count() == 0) return;
    KeepSelection = true;
    RequestedIndex = m_playlist->Selected();
    PushButton1_Click();
}

bool Form1::isFileListDrag(const QMimeData* data) const {
    if (!data || !data->hasUrls()) return false;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty()) return false;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) return false;
    }
    return true;
}

bool Form1::ListView1_OLEDragOver(const QMimeData* data) const {
    return isFileListDrag(data);
}

void Form1::importTree(const QString& folder, const QString& pattern, StepRunner* steps) {
    // Hot keys that arrive while the walk lets events through are dropped.
    const PumpBusy busy(m_pump.get());
    m_addFolder->ImportFolderTree(
        folder, pattern, [this](const QString& path) { m_playlist->Append(path); }, steps);
}

void Form1::ListView1_OLEDragDrop(const QMimeData* data) {
    if (!isFileListDrag(data)) return;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        try {
            if (IsFolder(*m_services.fs, path))
                importTree(path, QStringLiteral("*.*"), nullptr);
            else
                m_playlist->Append(path);
        } catch (const std::exception& e) {
            qCWarning(lcList) << "drop of" << path << "failed:" << e.what();
        }
    }
}

void Form1::PushButton5_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton5_Click "));
    IShell::OpenResult result;
    r.step(112, [&] {
        result = m_services.shell->openFiles(
            QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"),
            QStringLiteral("AAC Files (*.aac)|*.aac|"), 30000);
    });
    if (result.tooMany) {
        m_services.boxes->information(
            m_appTitle, QStringLiteral("You've selected too many files to add.\r\rPlease try "
                                       "adding via the \"Add All\" button."));
        return;
    }
    if (r.test(114, [&] { return result.text.isEmpty(); })) return;
    QStringList parts;
    r.step(116, [&] { parts = result.text.split(QChar(0)); });
    if (r.test(118, [&] { return parts.size() == 1; })) {
        r.step(120, [&] { m_playlist->Append(parts.value(0)); });
        return;
    }
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString path;
        r.step(136, [&] { path = parts[0] + QStringLiteral("/") + parts[i]; });
        r.step(138, [&] { path = CollapseBackslashes(path); });
        r.step(140, [&] { m_playlist->Append(path); });
    }
}

void Form1::PushButton2_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton2_Click "));
    QString pattern;
    r.step(100, [&] { pattern = QStringLiteral("*.") + QStringLiteral("aac"); });
    QString folder;
    r.step(104, [&] {
        folder = m_addFolder->BrowseForFolder(
            *m_services.shell, QStringLiteral("Please select folder:"),
            readSetting(*m_services.store, QStringLiteral("LastFolder")));
    });
    if (r.test(106, [&] { return folder.isEmpty(); })) return;
    QString lastFolder;
    r.step(333, [&] { lastFolder = folder; });
    r.step(334, [&] { m_services.store->save(QStringLiteral("LastFolder"), lastFolder); });
    r.step(112, [&] { setMousePointer(11); });
    importTree(folder, pattern, &r);
    r.step(136, [&] { setMousePointer(0); });
}

void Form1::PushButton11_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton11_Click "));
    r.step(100, [&] {
        if (m_mousePointer == 11) return;
        m_playlist->Clear();
    });
}

void Form1::PushButton3_Click() {
    StepRunner r(*m_services.boxes,
                 QStringLiteral("in Tindrell2021/08/31.Form1.PushButton3_Click "));
    r.step(100, [&] {
        LoadSampleFiles(SampleLoadContext{
            *m_services.store, *m_services.fs, *m_services.boxes, *m_services.shell, m_appTitle,
            m_programFolder, [this](const QString& t) { return m_playlist->IsInPlaylist(t); },
            [this](const QString& t) { m_playlist->Append(t); }});
    });
}
