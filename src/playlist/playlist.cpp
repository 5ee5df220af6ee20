// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/playlist.h"

#include <algorithm>

#include <QHeaderView>
#include <QScrollBar>
#include <QTreeView>

#include "core/failure.h"
#include "core/numbers.h"
#include "playlist/playlistmodel.h"

double twipsPerPixelY(const QWidget* widget) {
    const int dpi = widget ? widget->logicalDpiY() : 96;
    return kTwipsPerInch / (dpi > 0 ? dpi : 96);
}

Playlist::Playlist(QTreeView* view, QObject* parent)
    : QObject(parent), m_view(view), m_model(new PlaylistModel(this)) {
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setUniformRowHeights(true);  // constant cost per row at any Count
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setDragEnabled(false);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_view->header()->setSectionsMovable(false);
    // Keyboard moves and the view's own selection changes move the selected entry. The
    // view would also let the selection go (Ctrl+Space, Ctrl+click, a move of the current
    // row alone with Ctrl held): while the list holds entries, the selected one stays.
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_view->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            m_selected = rows.first().row() + 1;
        else if (m_selected >= 1 && m_selected <= Count())
            Select(m_selected);
    });
}

Playlist::~Playlist() = default;

int Playlist::Count() const {
    return m_model->rowCount();
}

void Playlist::Append(const QString& text) {
    AppendAll({text});
}

void Playlist::AppendAll(const QStringList& texts) {
    const bool wasEmpty = Count() == 0;
    m_model->append(texts);
    if (wasEmpty && Count() > 0) Select(1);
}

void Playlist::Clear() {
    m_model->clear();
    m_selected = 0;
}

void Playlist::check(int position) const {
    if (position < 1 || position > Count()) throw Failure(QStringLiteral("Index out of bounds"));
}

QString Playlist::Text(int position) const {
    check(position);
    return m_model->text(position - 1);
}

void Playlist::SetText(int position, const QString& text) {
    check(position);
    m_model->setText(position - 1, text);
}

QString Playlist::SelectedText() const {
    if (m_selected == 0) throw Failure(QStringLiteral("Object variable not set"));
    return Text(m_selected);
}

void Playlist::Select(int position) {
    check(position);
    m_selected = position;
    const QModelIndex index = m_model->index(position - 1, 0);
    m_view->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Playlist::MakeVisible(int position) {
    check(position);
    m_view->scrollTo(m_model->index(position - 1, 0), QAbstractItemView::EnsureVisible);
}

int Playlist::FirstVisible() const {
    if (Count() == 0) return 0;
    const QModelIndex top = m_view->indexAt(QPoint(1, 1));
    return top.isValid() ? top.row() + 1 : 1;
}

double Playlist::EntryHeight(int position) const {
    check(position);
    int pixels = m_view->sizeHintForRow(0);
    if (pixels <= 0) pixels = m_view->fontMetrics().height();
    return pixels * twipsPerPixelY(m_view);
}

void Playlist::ScrollBy(int pixels) {
    QScrollBar* bar = m_view->verticalScrollBar();
    const qint64 target = static_cast<qint64>(bar->value()) + pixels;
    bar->setValue(static_cast<int>(std::clamp<qint64>(target, bar->minimum(), bar->maximum())));
}

// The row arithmetic is 32-bit with an overflow check, like the list's own positions.
void Playlist::ScrollToItem(int index) {
    const int top = FirstVisible();
    const int entryTwips = roundHalfEven(EntryHeight(1));
    const int twipsPerPixel = roundHalfEven(twipsPerPixelY(m_view));
    if (twipsPerPixel == 0) throw Failure(QStringLiteral("Division by zero"));
    const qint32 rowPixels = entryTwips / twipsPerPixel;
    qint32 rows = 0;
    qint32 pixels = 0;
    if (__builtin_sub_overflow(index, top, &rows) ||
        __builtin_mul_overflow(rows, rowPixels, &pixels))
        throw Failure(QStringLiteral("Overflow"));
    ScrollBy(pixels);
    Select(index);
    m_view->setFocus(Qt::OtherFocusReason);
}

bool Playlist::IsInPlaylist(const QString& text) const {
    return m_model->contains(text);
}

int Playlist::EntryAt(const QPoint& viewportPos) const {
    const QModelIndex index = m_view->indexAt(viewportPos);
    return index.isValid() ? index.row() + 1 : 0;
}

QStringList Playlist::Texts() const {
    QStringList texts;
    texts.reserve(Count());
    for (int row = 0; row < Count(); ++row) texts.append(m_model->text(row));
    return texts;
}
