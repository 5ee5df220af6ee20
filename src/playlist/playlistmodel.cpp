#include "playlist/playlistmodel.h"

#include <algorithm>

namespace {
const QString kHeader = QStringLiteral("AAC File(s)");
}

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_texts.size());
}

int PlaylistModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return text(index.row());
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
