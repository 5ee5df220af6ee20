// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QTreeView;
class PlaylistModel;

// The Playlist: the entries of the list control, positions 1..Count. It owns the model
// and drives the view that shows it; while it holds entries exactly one is selected.
// UI thread only.
class Playlist : public QObject {
    Q_OBJECT
public:
    // `view` shows the list; the Playlist sets its model and display settings.
    explicit Playlist(QTreeView* view, QObject* parent = nullptr);
    ~Playlist() override;

    int Count() const;
    void Append(const QString& text);
    void AppendAll(const QStringList& texts);
    void Clear();
    // Throws Failure for a position outside 1..Count.
    QString Text(int position) const;
    void SetText(int position, const QString& text);
    // Position of the selected entry; 0 only when the list is empty.
    int Selected() const { return m_selected; }
    QString SelectedText() const;
    void Select(int position);
    void MakeVisible(int position);
    // Position of the entry in the top visible row; 0 when the list is empty.
    int FirstVisible() const;
    // Height of the entry's row, in twips.
    double EntryHeight(int position) const;
    // Scrolls by that many pixels, negative upwards, clamped at the ends.
    void ScrollBy(int pixels);
    // Scrolls so that the entry at `index` is the first visible row, selects it and gives
    // the list the keyboard focus. Throws on an overflow of the row arithmetic.
    void ScrollToItem(int index);
    bool IsInPlaylist(const QString& text) const;
    // Entry at a point of the view's viewport; 0 when none.
    int EntryAt(const QPoint& viewportPos) const;
    QStringList Texts() const;

    QTreeView* view() const { return m_view; }
    PlaylistModel* model() const { return m_model; }

private:
    void check(int position) const;

    QTreeView* m_view;
    PlaylistModel* m_model;
    int m_selected = 0;
};

// Twips in one vertical pixel of the screen the widget is on.
double twipsPerPixelY(const QWidget* widget);
