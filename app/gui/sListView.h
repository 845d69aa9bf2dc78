#pragma once
// The report list of the windows: one line per row, single selection, an image at the
// left of the first column, and every row drawn by this class rather than by the style.
// The download list, the log window and the history window build on it.

#include "app/gui/ListTableModel.h"

#include <QPixmap>

class QMimeData;
#include <QTreeView>

#include <functional>
#include <vector>

namespace vireo {

class sListView : public QTreeView {
    Q_OBJECT
public:
    explicit sListView(QWidget* parent = nullptr);

    // A column at least as wide as its title needs in the header and as typical (the
    // widest text it commonly holds) needs in a cell, in the fonts of this view.
    int AddColumn(const QString& title, int width, const QString& typical = QString());
    int FittingWidth(int column, const QString& title, const QString& typical) const;
    int AddRow(const QString& text, int value, int image);
    void SetCell(int row, int column, const QString& text);
    void DeleteRow(int row);
    int FindRowByValue(int value) const;
    void SetRowImage(int row, int image);
    // -1 when no row is selected.
    int SelectedIndex() const;
    int SelectedValue() const;
    // Makes the row the selected and current one.
    void Select(int row);

    // The small images the rows show, drawn for a device pixel ratio.
    using ImageSource = std::function<QPixmap(int image, qreal dpr)>;
    void SetImageSource(ImageSource source);

    // What a drag out of the list carries; no drag starts while this is unset or gives
    // nothing.
    using DragData = std::function<QMimeData*()>;
    void SetDragData(DragData source) { m_dragData = std::move(source); }

    ListTableModel& Model() { return m_model; }
    const ListTableModel& Model() const { return m_model; }
    // Lets the view see rows appended since control last returned to the event loop.
    void FlushPending() { m_model.Publish(); }
    int RowHeight() const { return m_rowHeight; }
    int RowAt(const QPoint& viewportPos) const;

protected:
    struct RowPaint {
        int row;
        QRect rect; // the whole row, viewport coordinates
        bool selected;
        QColor background; // behind the texts: window colour or the selection colour
        QColor text;
    };
    // Draws one cell; the default writes the text, after the image in the first column.
    virtual void DrawCell(QPainter& p, const RowPaint& row, int column, const QRect& cell) const;
    QPixmap Image(int image) const;
    void DrawCellText(QPainter& p, const RowPaint& row, const QRect& textRect,
                      const QString& text) const;

    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void changeEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void UpdateRowHeight();

    ListTableModel m_model;
    ImageSource m_imageSource;
    DragData m_dragData;
    mutable std::vector<QPixmap> m_images;
    mutable qreal m_imagesDpr = 0;
    int m_rowHeight = 18;
    std::vector<int> m_widths; // of the columns, as asked for and fitted
};

} // namespace vireo
