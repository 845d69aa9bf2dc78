#pragma once
// The rows of an owner-drawn list: the texts of their cells, an image, a value chosen
// by the owner and the numbers of a progress bar. Appended rows reach the views in one batch when
// control returns to the event loop, so loading a list of 100,000 entries is one insertion, not
// 100,000; a cell whose text does not change signals nothing.

#include <QAbstractTableModel>
#include <QString>

#include <vector>

namespace vireo {

class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListTableModel(QObject* parent = nullptr);

    // A bar filled to done of size, or, when not shown, none (the cell has words instead).
    struct Bar {
        qint64 size = 0;
        qint64 done = 0;
        bool shown = true;
        bool operator==(const Bar&) const = default;
    };

    void AddColumn(const QString& title);
    // Returns the index of the new row.
    int AppendRow(const QString& text, int value, int image);
    void SetCell(int row, int column, const QString& text);
    void SetImage(int row, int image);
    void SetBar(int row, const Bar& bar);
    // The tooltip of every cell of the row; empty: none.
    void SetTip(int row, const QString& text);
    void RemoveRow(int row);
    int FindValue(int value) const;

    // Every row, including those the views do not know yet.
    int RowTotal() const { return int(m_rows.size()); }
    const QString& Cell(int row, int column) const;
    int Image(int row) const { return m_rows[size_t(row)].image; }
    int Value(int row) const { return m_rows[size_t(row)].value; }
    const Bar& BarOf(int row) const { return m_rows[size_t(row)].bar; }

    // Tells the views of the rows appended since the last time.
    void Publish();
    void SetRowHeight(int height) { m_rowHeight = height; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        std::vector<QString> cells;
        int image = 0;
        int value = 0;
        QString tip;
        Bar bar;
    };
    void SchedulePublish();

    std::vector<QString> m_titles;
    std::vector<Row> m_rows;
    int m_published = 0; // rows the views know
    bool m_publishQueued = false;
    int m_rowHeight = 18;
};

} // namespace vireo
