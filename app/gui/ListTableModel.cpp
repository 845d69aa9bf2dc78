#include "app/gui/ListTableModel.h"

#include <QMetaObject>
#include <QSize>

namespace vireo {

namespace {
const QString kEmpty;
}

ListTableModel::ListTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListTableModel::AddColumn(const QString& title) {
    Publish();
    int column = int(m_titles.size());
    beginInsertColumns(QModelIndex(), column, column);
    m_titles.push_back(title);
    for (Row& row : m_rows)
        row.cells.resize(m_titles.size());
    endInsertColumns();
}

int ListTableModel::AppendRow(const QString& text, int value, int image) {
    Row row;
    row.cells.resize(std::max<size_t>(m_titles.size(), 1));
    row.cells[0] = text;
    row.image = image;
    row.value = value;
    m_rows.push_back(std::move(row));
    SchedulePublish();
    return int(m_rows.size()) - 1;
}

void ListTableModel::SchedulePublish() {
    if (m_publishQueued)
        return;
    m_publishQueued = true;
    QMetaObject::invokeMethod(this, &ListTableModel::Publish, Qt::QueuedConnection);
}

void ListTableModel::Publish() {
    m_publishQueued = false;
    int total = int(m_rows.size());
    if (total <= m_published)
        return;
    beginInsertRows(QModelIndex(), m_published, total - 1);
    m_published = total;
    endInsertRows();
}

const QString& ListTableModel::Cell(int row, int column) const {
    const std::vector<QString>& cells = m_rows[size_t(row)].cells;
    return column >= 0 && size_t(column) < cells.size() ? cells[size_t(column)] : kEmpty;
}

void ListTableModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= RowTotal() || column < 0 || size_t(column) >= m_titles.size())
        return;
    QString& cell = m_rows[size_t(row)].cells[size_t(column)];
    if (cell == text)
        return;
    cell = text;
    if (row < m_published) {
        QModelIndex changed = index(row, column);
        Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
    }
}

void ListTableModel::SetImage(int row, int image) {
    if (row < 0 || row >= RowTotal() || m_rows[size_t(row)].image == image)
        return;
    m_rows[size_t(row)].image = image;
    if (row < m_published) {
        QModelIndex changed = index(row, 0);
        Q_EMIT dataChanged(changed, changed, {Qt::DecorationRole});
    }
}

void ListTableModel::SetBar(int row, const Bar& bar) {
    if (row < 0 || row >= RowTotal() || m_rows[size_t(row)].bar == bar)
        return;
    m_rows[size_t(row)].bar = bar;
    if (row < m_published && !m_titles.empty())
        Q_EMIT dataChanged(index(row, 0), index(row, int(m_titles.size()) - 1), {Qt::DisplayRole});
}

void ListTableModel::SetTip(int row, const QString& text) {
    if (row < 0 || row >= RowTotal() || m_rows[size_t(row)].tip == text)
        return;
    m_rows[size_t(row)].tip = text;
    if (row < m_published && !m_titles.empty())
        Q_EMIT dataChanged(index(row, 0), index(row, int(m_titles.size()) - 1), {Qt::ToolTipRole});
}

void ListTableModel::RemoveRow(int row) {
    if (row < 0 || row >= RowTotal())
        return;
    if (row >= m_published) {
        m_rows.erase(m_rows.begin() + row);
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    --m_published;
    endRemoveRows();
}

int ListTableModel::FindValue(int value) const {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].value == value)
            return int(i);
    return -1;
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_published;
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_titles.size());
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_published)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return Cell(index.row(), index.column());
    case Qt::SizeHintRole:
        return QSize(-1, m_rowHeight);
    case Qt::ToolTipRole: {
        const QString& tip = m_rows[size_t(index.row())].tip;
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    default:
        return QVariant();
    }
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        size_t(section) < m_titles.size())
        return m_titles[size_t(section)];
    return QVariant();
}

Qt::ItemFlags ListTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

} // namespace vireo
