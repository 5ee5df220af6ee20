// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QString>

// The entries of the list: one text per row, one column. Rows are 0-based here;
// Playlist translates to the 1-based positions the rest of the program uses. The view
// is given at most the first 2,000 characters of an entry, so that an entry of
// megabytes does not freeze each repaint; text() is always the whole entry.
class PlaylistModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const QString& text(int row) const { return m_texts[static_cast<size_t>(row)]; }
    void setText(int row, const QString& text);
    void append(const QStringList& texts);
    void clear();
    bool contains(const QString& text) const;

private:
    std::vector<QString> m_texts;
};
