#pragma once
// Which columns of a list cut their header or a cell's text: a header needs the room its
// style asks for the title, a cell its text between the 2-pixel insets (after the 16-pixel
// image in the first column). The last column is judged by filling the view instead: it
// stretches.

#include "app/gui/sListView.h"

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>

#include <string>
#include <vector>

namespace vireo::test {

inline std::vector<std::string> CutColumns(sListView& list) {
    std::vector<std::string> cut;
    QHeaderView& header = *list.header();
    const ListTableModel& model = list.Model();
    int last = model.columnCount() - 1;
    for (int c = 0; c < last; ++c) {
        QString title = model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        QStyleOptionHeader option;
        option.initFrom(&header);
        option.text = title;
        int need = header.style()
                       ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), &header)
                       .width();
        int width = header.sectionSize(c);
        if (need > width)
            cut.push_back(title.toStdString() + " header");
        for (int r = 0; r < model.RowTotal(); ++r) {
            const QString& text = model.Cell(r, c);
            int cell = list.fontMetrics().horizontalAdvance(text) + 4 + (c == 0 ? 16 : 0);
            if (!text.isEmpty() && cell > width)
                cut.push_back(title.toStdString() + " '" + text.toStdString() + "'");
        }
    }
    if (last >= 0 &&
        header.sectionViewportPosition(last) + header.sectionSize(last) < list.viewport()->width())
        cut.push_back("last column does not reach the right edge");
    return cut;
}

} // namespace vireo::test
