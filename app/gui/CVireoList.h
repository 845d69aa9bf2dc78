#pragma once
// The download list: one line per entry of the document with its eight columns, the
// state images, a progress bar in the Status column, the context menu, double click to
// open the file and text dragged in and out.

#include "app/gui/sListView.h"
#include "downloads/ListLines.h"

class QDrag;
class QMenu;

namespace vireo {

class CVireoDoc;

class CVireoList : public sListView, public ListLines {
    Q_OBJECT
public:
    // Registers itself as the document's list.
    explicit CVireoList(CVireoDoc& doc, QWidget* parent = nullptr);
    ~CVireoList() override;

    // The eight columns, their widths read from the settings.
    void InsertColumns();
    // The width a column gets for the width its key holds, in a font of these metrics.
    static int ColumnWidth(int keyWidth, const QFontMetrics& metrics);

    // ---- ListLines
    void AppendLine(const std::string& text, int image) override;
    void SetText(int line, int column, const std::string& text) override;
    // Writes the Size and Status texts and keeps the numbers for the bar.
    void SetProgress(int line, const LineProgress& progress) override;
    // The texts of the Size and Status columns: KB/MB/GB and a percentage, or with the
    // setting "rawnumbers" the byte counts of the list's first versions.
    static QString SizeText(const LineProgress& progress);
    static QString StatusText(const LineProgress& progress);
    void SetImage(int line, int image) override;
    void DeleteLine(int line) override;
    void SetTip(int line, const std::string& text) override;
    int SelectedLine() const override { return SelectedIndex(); }
    void SelectLine(int line) override { Select(line); }

    // The context menu, made once; shown by a right click on a line.
    QMenu* ContextMenu() const { return m_menu; }
    bool DraggingFromHere() const { return m_draggingFromHere; }

    // The Status cell as the list draws it: the status text when the bar is not shown,
    // else the bar with the status text (the percentage or the count) over it.
    static void PaintStatusCell(QPainter& p, const QRect& cell, const ListTableModel::Bar& bar,
                                const QString& statusText, const QColor& window,
                                const QColor& background, const QColor& textColour, bool selected,
                                const QFont& font);

protected:
    void DrawCell(QPainter& p, const RowPaint& row, int column, const QRect& cell) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Runs a drag this list started; returns when it has ended.
    virtual Qt::DropAction RunDrag(QDrag& drag);

private:
    void BuildContextMenu();
    void UpdateContextMenu();
    bool Acceptable(const QMimeData* data) const;

    CVireoDoc& m_doc;
    QMenu* m_menu = nullptr;
    bool m_draggingFromHere = false;
};

} // namespace vireo
