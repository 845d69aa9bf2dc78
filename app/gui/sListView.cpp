#include "app/gui/sListView.h"

#include <QDrag>
#include <QEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>

namespace vireo {

namespace {
constexpr int kImageSide = 16;
constexpr int kTextInset = 2;
} // namespace

sListView::sListView(QWidget* parent) : QTreeView(parent), m_model(this) {
    setObjectName("sListView");
    setModel(&m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // what keeps scrolling a long list cheap
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsMovable(false);
    // The last column takes what the window has left, so a wide window shows long texts
    // (addresses, log lines) whole.
    header()->setStretchLastSection(true);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    UpdateRowHeight();
}

void sListView::UpdateRowHeight() {
    m_rowHeight = std::max(kImageSide + 3, fontMetrics().height() + 4);
    m_model.SetRowHeight(m_rowHeight);
}

void sListView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        UpdateRowHeight();
        doItemsLayout();
    }
    QTreeView::changeEvent(event);
}

int sListView::AddColumn(const QString& title, int width, const QString& typical) {
    m_model.AddColumn(title);
    int column = m_model.columnCount() - 1;
    int fitting = FittingWidth(column, title, typical);
    // The last column stretches over what the window has left and never shrinks below
    // its width: it is given only what its title needs, so that it ends at the window's
    // edge. The column before it, last until now, gets the width it was asked for.
    if (column > 0)
        header()->resizeSection(column - 1, m_widths.back());
    m_widths.push_back(std::max(width, fitting));
    header()->resizeSection(column, fitting);
    return column;
}

int sListView::FittingWidth(int column, const QString& title, const QString& typical) const {
    // The header as its style sizes it for the title, margins and frame included.
    QStyleOptionHeader option;
    option.initFrom(header());
    option.section = column;
    option.text = title;
    option.orientation = Qt::Horizontal;
    QSize titleSize =
        header()->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header());
    // A cell writes its text between two insets, after the image in the first column.
    int cell = 0;
    if (!typical.isEmpty())
        cell = fontMetrics().horizontalAdvance(typical) + 2 * kTextInset + 2 +
               (column == 0 ? kImageSide : 0);
    return std::max(titleSize.width(), cell);
}

int sListView::AddRow(const QString& text, int value, int image) {
    return m_model.AppendRow(text, value, image);
}

void sListView::SetCell(int row, int column, const QString& text) {
    m_model.SetCell(row, column, text);
}

void sListView::DeleteRow(int row) {
    // A deleted line takes the selection with it; the view would otherwise select its
    // neighbour, and the next Del would remove an entry nobody chose.
    if (row < m_model.rowCount() && selectionModel()->isRowSelected(row, QModelIndex())) {
        selectionModel()->clearSelection();
        selectionModel()->clearCurrentIndex();
    }
    m_model.RemoveRow(row);
}

int sListView::FindRowByValue(int value) const {
    return m_model.FindValue(value);
}

void sListView::SetRowImage(int row, int image) {
    m_model.SetImage(row, image);
}

int sListView::SelectedIndex() const {
    const QItemSelection selection = selectionModel()->selection();
    int first = -1;
    for (const QItemSelectionRange& range : selection)
        if (first < 0 || range.top() < first)
            first = range.top();
    return first;
}

int sListView::SelectedValue() const {
    int row = SelectedIndex();
    return row < 0 ? -1 : m_model.Value(row);
}

void sListView::Select(int row) {
    if (row < 0 || row >= m_model.RowTotal())
        return;
    FlushPending();
    QModelIndex index = m_model.index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
}

void sListView::startDrag(Qt::DropActions) {
    QMimeData* data = m_dragData ? m_dragData() : nullptr;
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    int row = SelectedIndex();
    if (row >= 0)
        drag->setPixmap(Image(m_model.Image(row)));
    drag->exec(Qt::CopyAction); // a copy only: the row stays where it is
}

int sListView::RowAt(const QPoint& viewportPos) const {
    QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

void sListView::SetImageSource(ImageSource source) {
    m_imageSource = std::move(source);
    m_images.clear();
    m_imagesDpr = 0;
    viewport()->update();
}

QPixmap sListView::Image(int image) const {
    qreal dpr = viewport()->devicePixelRatioF();
    if (dpr != m_imagesDpr) {
        m_images.clear();
        m_imagesDpr = dpr;
    }
    if (!m_imageSource || image < 0)
        return QPixmap();
    if (size_t(image) >= m_images.size())
        m_images.resize(size_t(image) + 1);
    QPixmap& cached = m_images[size_t(image)];
    if (cached.isNull())
        cached = m_imageSource(image, dpr);
    return cached;
}

void sListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    RowPaint row;
    row.row = index.row();
    row.rect = QRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    // The option carries the state of the row as a whole, not its selection.
    row.selected = selectionModel()->isSelected(index.siblingAtColumn(0));
    const QPalette& pal = palette();
    painter->fillRect(row.rect, pal.color(QPalette::Base));
    row.background = pal.color(QPalette::Base);
    row.text = pal.color(QPalette::Text);
    if (row.selected) {
        // One pixel of the window colour above the mark and two below keep lines apart.
        painter->fillRect(row.rect.adjusted(0, 1, 0, -2), pal.color(QPalette::Highlight));
        row.background = pal.color(QPalette::Highlight);
        row.text = pal.color(QPalette::HighlightedText);
    }
    int x = -header()->offset();
    for (int column = 0; column < m_model.columnCount(); ++column) {
        int width = header()->sectionSize(column);
        QRect cell(x, row.rect.top(), width, row.rect.height());
        if (cell.right() >= 0 && cell.left() < row.rect.right() && width > 0)
            DrawCell(*painter, row, column, cell);
        x += width;
    }
}

void sListView::DrawCell(QPainter& p, const RowPaint& row, int column, const QRect& cell) const {
    int inset = kTextInset;
    if (column == 0) {
        QPixmap image = Image(m_model.Image(row.row));
        if (!image.isNull())
            p.drawPixmap(cell.left(), cell.top() + (cell.height() - kImageSide) / 2, image);
        inset += kImageSide;
    }
    QRect text(QPoint(cell.left() + inset, cell.top() + 1),
               QPoint(cell.right() - kTextInset, cell.bottom()));
    DrawCellText(p, row, text, m_model.Cell(row.row, column));
}

void sListView::DrawCellText(QPainter& p, const RowPaint& row, const QRect& textRect,
                             const QString& text) const {
    if (text.isEmpty() || textRect.width() <= 0)
        return;
    p.setPen(row.text);
    QString shown = fontMetrics().elidedText(text, Qt::ElideRight, textRect.width());
    // The selection mark leaves two pixels below the row free; centre the text above them.
    QRect band = textRect.adjusted(0, 0, 0, -2);
    p.drawText(band, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void sListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles) {
    // Rows are drawn whole, and a row holds more than its cells' texts (the numbers of a
    // progress bar): repaint the band of the changed rows. The rows all have one height and the
    // list is flat, so the band is computed, not looked up; the view's own lookup of a row
    // walks its items and would make a change far from the last row shown cost as much as
    // the list is long.
    Q_UNUSED(roles);
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    int height = m_rowHeight;
    int top = topLeft.row() * height - verticalOffset();
    int bottom = (bottomRight.row() + 1) * height - verticalOffset();
    if (bottom <= 0 || top >= viewport()->height())
        return; // out of sight
    viewport()->update(QRect(0, top, viewport()->width(), bottom - top));
}

} // namespace vireo
