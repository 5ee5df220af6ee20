// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QPoint>
#include <QString>

#include "playlist/addfolder.h"

class BusyState;
class IFileSystem;
class IMessageBoxes;
class IShell;
class ISettingsStore;
class Playlist;
class QMimeData;
class StepRunner;

// The user's own work on the Playlist: dragging entries to new places, a click that asks
// for an entry to be played, dropping files and folders, and the buttons that add, clear
// and load the samples. It never starts playback itself: it reports the request.
// The window owns it; UI thread only.
class ListEditor {
public:
    struct Services {
        ISettingsStore& store;
        IMessageBoxes& boxes;
        IFileSystem& fs;
        IShell& shell;
    };
    // `appTitle` captions its message boxes; `playRequested` gets the clicked position.
    ListEditor(Playlist& list, BusyState& busy, Services services, QString programFolder,
               const QString& appTitle, std::function<void(int position)> playRequested);

    // Left-button mouse on the list's viewport, as the window's event filter sees it;
    // `leftDown` is the button's real state at the move.
    void pressed(const QPoint& viewportPos);
    void moved(const QPoint& viewportPos, const QPoint& screenPos, bool leftDown);
    void released(const QPoint& viewportPos);

    void ListView1_MouseDown();
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint& viewportPos, const QPoint& screenPos);
    void ListView1_MouseUp();
    void ListView1_Click();
    bool ListView1_OLEDragOver(const QMimeData* data) const;
    void ListView1_OLEDragDrop(const QMimeData* data);
    // Files and folders from outside the window, added as a drop adds them except that
    // a file already in the list is not added again. Returns the position of the first
    // file given (added or already there), or 0 when there is none.
    int addFromOutside(const QStringList& paths);

    void PushButton5_Click();   // Add AAC File(s)
    void PushButton2_Click();   // Add All AAC File(s) In Folder
    void PushButton11_Click();  // Clear List
    void PushButton3_Click();   // Load Sample/Example Files

    // The entry a held left button drags (0: none), and whether it is held.
    int dragItem() const { return DragItem; }
    bool mouseIsDown() const { return MouseIsDown; }

private:
    // Entry references are positions; 0 is none.
    int HoverItem = 0;
    bool MouseIsDown = false;
    int DragItem = 0;
    class Adding;
    void importTree(const QString& folder, const QString& pattern, Adding& add, StepRunner* steps);

    Playlist& m_list;
    BusyState& m_busy;
    Services m_services;
    QString m_programFolder;
    const QString& m_appTitle;
    std::function<void(int)> m_playRequested;
    AddFolder m_addFolder;
    int m_pressEntry = 0;
};
