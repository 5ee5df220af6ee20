// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/listeditor.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QSet>
#include <QTreeView>
#include <QUrl>

#include "core/busystate.h"
#include "core/ifilesystem.h"
#include "core/imessageboxes.h"
#include "core/isettingsstore.h"
#include "core/steprunner.h"
#include "playlist/ishell.h"
#include "playlist/mainpaths.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"
#include "playlist/samples.h"
#include "tray/cursorfile.h"

Q_LOGGING_CATEGORY(lcList, "quaverly.playlist")

namespace {
// The drag scrolls the list when the pointer is above or below these rows of the
// screen. They are absolute screen rows, not rows of the list or the window: that is how
// the auto-scroll has always behaved, and moving the window moves where it starts.
constexpr int kScrollUpAboveScreenRow = 305;
constexpr int kScrollDownFromScreenRow = 365;

bool isFileListDrag(const QMimeData* data) {
    if (!data || !data->hasUrls()) return false;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty()) return false;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) return false;
    }
    return true;
}
}  // namespace

// One add's paths on their way into the list. A path that holds the saved list's separator
// cannot be stored: after a restart it would come back as two entries that name nothing.
// Such paths are left out, and the add says once, at its end, how many it left out.
class ListEditor::Adding {
public:
    explicit Adding(Playlist& list) : m_list(list) {}
    ~Adding() {
        if (m_leftOut == 0) return;
        qCWarning(lcList).noquote()
            << QStringLiteral(
                   "%1 path(s) left out of the list, such as '%2': a path holding "
                   "\"%3\" cannot be kept, as the saved list puts that text between "
                   "entries. Rename the file or its folder to add it.")
                   .arg(QString::number(m_leftOut), m_first, kPlaylistSeparator);
    }
    Adding(const Adding&) = delete;
    Adding& operator=(const Adding&) = delete;

    void operator()(const QString& path) {
        if (isStorableEntry(path)) {
            m_list.Append(path);
        } else if (m_leftOut++ == 0) {
            m_first = path;
        }
    }

private:
    Playlist& m_list;
    int m_leftOut = 0;
    QString m_first;
};

ListEditor::ListEditor(Playlist& list, BusyState& busy, Services services, QString programFolder,
                       const QString& appTitle, std::function<void(int)> playRequested)
    : m_list(list),
      m_busy(busy),
      m_services(services),
      m_programFolder(std::move(programFolder)),
      m_appTitle(appTitle),
      m_playRequested(std::move(playRequested)),
      m_addFolder(services.fs, services.boxes, [] { QCoreApplication::processEvents(); }) {}

void ListEditor::pressed(const QPoint& viewportPos) {
    ListView1_MouseDown();
    m_pressEntry = m_list.EntryAt(viewportPos);
    if (m_pressEntry != 0) {
        m_list.Select(m_pressEntry);
        ListView1_ItemClick();
    } else {
        DragItem = 0;  // a press on no entry drags nothing
    }
    m_list.view()->setFocus(Qt::MouseFocusReason);
}

void ListEditor::moved(const QPoint& viewportPos, const QPoint& screenPos, bool leftDown) {
    // A release can go elsewhere (to a box opened while the button was held): the drag
    // ends with the button, whatever the events said.
    if (MouseIsDown && !leftDown) {
        ListView1_MouseUp();
        m_pressEntry = 0;
    }
    ListView1_MouseMove(viewportPos, screenPos);
}

void ListEditor::released(const QPoint& viewportPos) {
    ListView1_MouseUp();
    const int releaseEntry = m_list.EntryAt(viewportPos);
    const bool click = m_pressEntry != 0 && releaseEntry == m_pressEntry;
    m_pressEntry = 0;
    if (click) ListView1_Click();
}

void ListEditor::ListView1_MouseDown() {
    MouseIsDown = true;
}

void ListEditor::ListView1_ItemClick() {
    QWidget* viewport = m_list.view()->viewport();
    try {
        viewport->setCursor(
            loadCursorFile(m_programFolder + QStringLiteral("/drag.ico"), QPoint(1, 1)));
    } catch (const std::exception& e) {
        // The drag works without its picture.
        viewport->setCursor(Qt::ClosedHandCursor);
        qCDebug(lcList) << "drag cursor:" << e.what();
    }
    DragItem = m_list.Selected();
}

void ListEditor::ListView1_MouseMove(const QPoint& viewportPos, const QPoint& screenPos) {
    m_busy.hover(Pointer::Default);
    if (!MouseIsDown) return;
    Playlist& list = m_list;
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
            if (y < kScrollUpAboveScreenRow && HoverItem > 1)
                list.MakeVisible(HoverItem - 1);
            else if (y >= kScrollDownFromScreenRow && HoverItem + 1 <= list.Count())
                list.MakeVisible(HoverItem + 1);
        }
    }
    HoverItem = 0;
}

void ListEditor::ListView1_MouseUp() {
    MouseIsDown = false;
    // Back to the window's pointer, the hourglass included.
    m_list.view()->viewport()->unsetCursor();
}

void ListEditor::ListView1_Click() {
    if (m_list.Count() == 0) return;
    if (m_playRequested) m_playRequested(m_list.Selected());
}

bool ListEditor::ListView1_OLEDragOver(const QMimeData* data) const {
    return isFileListDrag(data);
}

void ListEditor::importTree(const QString& folder, const QString& pattern, Adding& add,
                            StepRunner* steps) {
    // Hot keys that arrive while the walk lets events through are dropped.
    const BusyState::Guard busy(m_busy);
    m_addFolder.ImportFolderTree(
        folder, pattern, [&add](const QString& path) { add(path); }, steps);
}

void ListEditor::ListView1_OLEDragDrop(const QMimeData* data) {
    if (!isFileListDrag(data)) return;
    Adding add(m_list);
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        try {
            if (IsFolder(m_services.fs, path))
                importTree(path, QStringLiteral("*.*"), add, nullptr);
            else
                add(path);
        } catch (const std::exception& e) {
            qCWarning(lcList).noquote()
                << QStringLiteral(
                       "'%1', dropped on the list, could not be added: %2; add it with "
                       "the buttons instead.")
                       .arg(path, QString::fromLocal8Bit(e.what()));
        }
    }
}

int ListEditor::addFromOutside(const QStringList& paths) {
    const QStringList texts = m_list.Texts();
    QSet<QString> listed(texts.begin(), texts.end());
    QString first;
    Adding adding(m_list);
    const AddFolder::Append add = [&](const QString& path) {
        if (!isStorableEntry(path)) {
            adding(path);  // left out, and said once at the end
            return;
        }
        if (first.isEmpty()) first = path;
        if (listed.contains(path)) return;
        adding(path);
        listed.insert(path);
    };
    for (const QString& path : paths) {
        try {
            if (IsFolder(m_services.fs, path)) {
                const BusyState::Guard busy(m_busy);
                m_addFolder.ImportFolderTree(path, QStringLiteral("*.*"), add, nullptr);
            } else {
                add(path);
            }
        } catch (const std::exception& e) {
            qCWarning(lcList).noquote()
                << QStringLiteral("'%1' could not be added: %2; add it with the buttons instead.")
                       .arg(path, QString::fromLocal8Bit(e.what()));
        }
    }
    // The scan lets events through: the list may have changed under it.
    return first.isEmpty() ? 0 : int(m_list.Texts().indexOf(first)) + 1;
}

void ListEditor::PushButton5_Click() {
    StepRunner r(m_services.boxes, formLocation("PushButton5_Click"));
    IShell::OpenResult result;
    r.step(112, [&] {
        result = m_services.shell.openFiles(
            QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"),
            QStringLiteral("AAC Files (*.aac)|*.aac|"), 30000);
    });
    if (result.tooMany) {
        m_services.boxes.information(
            m_appTitle, QStringLiteral("You've selected too many files to add.\r\rPlease try "
                                       "adding via the \"Add All\" button."));
        return;
    }
    if (r.test(114, [&] { return result.text.isEmpty(); })) return;
    Adding add(m_list);
    QStringList parts;
    r.step(116, [&] { parts = result.text.split(QChar(0)); });
    if (r.test(118, [&] { return parts.size() == 1; })) {
        r.step(120, [&] { add(parts.value(0)); });
        return;
    }
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString path;
        r.step(136, [&] { path = parts[0] + QStringLiteral("/") + parts[i]; });
        r.step(138, [&] { path = CollapseBackslashes(path); });
        r.step(140, [&] { add(path); });
    }
}

void ListEditor::PushButton2_Click() {
    StepRunner r(m_services.boxes, formLocation("PushButton2_Click"));
    QString pattern;
    r.step(100, [&] { pattern = QStringLiteral("*.") + QStringLiteral("aac"); });
    // A last folder that cannot be read shows its box; the browser then opens without it.
    QString initial;
    r.step(104, [&] { initial = readSetting(m_services.store, SettingKey::LastFolder); });
    QString folder;
    r.step(104, [&] {
        folder = m_addFolder.BrowseForFolder(m_services.shell,
                                             QStringLiteral("Please select folder:"), initial);
    });
    if (r.test(106, [&] { return folder.isEmpty(); })) return;
    QString lastFolder;
    r.step(333, [&] { lastFolder = folder; });
    r.step(334, [&] { m_services.store.save(SettingKey::LastFolder, lastFolder); });
    r.step(112, [&] { m_busy.setPointer(Pointer::Hourglass); });
    Adding add(m_list);
    importTree(folder, pattern, add, &r);
    r.step(136, [&] { m_busy.setPointer(Pointer::Default); });
}

void ListEditor::PushButton11_Click() {
    StepRunner r(m_services.boxes, formLocation("PushButton11_Click"));
    r.step(100, [&] {
        if (m_busy.hourglass()) return;
        m_list.Clear();
    });
}

void ListEditor::PushButton3_Click() {
    StepRunner r(m_services.boxes, formLocation("PushButton3_Click"));
    Adding add(m_list);
    r.step(100, [&] {
        LoadSampleFiles(SampleLoadContext{
            m_services.store, m_services.fs, m_services.boxes, m_services.shell, m_appTitle,
            m_programFolder, [this](const QString& t) { return m_list.IsInPlaylist(t); },
            [&add](const QString& t) { add(t); }});
    });
}
