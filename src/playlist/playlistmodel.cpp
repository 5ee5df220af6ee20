// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/playlistmodel.h"

#include <algorithm>

namespace {
const QString kHeader = QStringLiteral("AAC File(s)");

// The most of an entry that is ever shown: far wider than the list at any font, and
// cheap to lay out on every repaint, as an entry of megabytes is not.
constexpr qsizetype kShownChars = 2000;

QString shownText(const QString& text) {
    if (text.size() <= kShownChars) return text;
    qsizetype cut = kShownChars;
    if (text.at(cut - 1).isHighSurrogate()) --cut;  // never half a character
    return text.left(cut) + QChar(0x2026);          // the view elides it at the right
}
}  // namespace

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_texts.size());
}

int PlaylistModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() >= rowCount()) return {};
    // Only what is drawn or spoken is cut; the entry itself stays whole.
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return shownText(text(index.row()));
    return {};
}

QVariant PlaylistModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 &&
        (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
        return kHeader;
    return {};
}

void PlaylistModel::setText(int row, const QString& text) {
    m_texts[static_cast<size_t>(row)] = text;
    const QModelIndex i = index(row, 0);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

void PlaylistModel::append(const QStringList& texts) {
    if (texts.isEmpty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(texts.size()) - 1);
    m_texts.insert(m_texts.end(), texts.begin(), texts.end());
    endInsertRows();
}

void PlaylistModel::clear() {
    if (m_texts.empty()) return;
    beginResetModel();
    m_texts.clear();
    endResetModel();
}

bool PlaylistModel::contains(const QString& text) const {
    return std::find(m_texts.begin(), m_texts.end(), text) != m_texts.end();
}
