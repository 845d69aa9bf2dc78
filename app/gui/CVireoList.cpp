#include "app/gui/CVireoList.h"

#include "app/gui/Artwork.h"
#include "app/gui/ReadableNumbers.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <array>

namespace vireo {

namespace {
struct ColumnSpec {
    const char* title;
    IntKey width;
    // The widest text the column commonly holds, in either way of writing numbers.
    const char* typical;
};
const std::array<ColumnSpec, kColumnCount> kColumns{{
    {"File", keys::WFile, ""},
    {"Size", keys::WSize, "4294967296"},
    {"Status", keys::WStatus, "4294967296"},
    {"Elapsed", keys::WElapsed, "10:00:00"},
    {"Left", keys::WLeft, "10:00:00"},
    {"Speed", keys::WSpeed, "1023.9 KB/s"},
    {"Attemp", keys::WAttemp, "99"},
    {"Address", keys::WAddress, ""},
}};

bool RawNumbers() {
    return Settings().GetInt(keys::RawNumbers) != 0;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct MenuEntry {
    const char* text; // nullptr for a separator
    DocCommand command;
};
const MenuEntry kMenu[] = {
    {"Paste\tShift+Ins", DocCommand::Paste},
    {"&Copy\tCtrl+Ins", DocCommand::Copy},
    {"&Del\tDel", DocCommand::Delete},
    {nullptr, DocCommand::Paste},
    {"Open\tEnter", DocCommand::OpenFile},
    {nullptr, DocCommand::Paste},
    {"Target directory", DocCommand::TargetDirectory},
    {"View source", DocCommand::ViewSource},
    {nullptr, DocCommand::Paste},
    {"Delete file from disk", DocCommand::DeleteFile},
};

const QColor kBarBlue(0, 0, 255);
constexpr int kTextInset = 2;

// Writes the count's mask into the cell as the inverse of what lies under each pixel
// (white XOR): black on the window colour, yellow on the blue bar. Edge pixels of the
// digits blend towards that inverse rather than inverting part of their bits. On the
// selected line the digits over the selection colour take the selected-text colour
// (selectedText non-zero), since the inverse of a modern selection colour is no contrast.
void CombineCount(QImage& cell, const QImage& mask, QRgb selectedText) {
    const QRgb bar = kBarBlue.rgb() | 0xff000000;
    for (int y = 0; y < cell.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(cell.scanLine(y));
        const auto* in = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < cell.width(); ++x) {
            int a = qGray(in[x]);
            if (a == 0)
                continue;
            QRgb under = out[x] | 0xff000000;
            QRgb ink = (selectedText != 0 && under != bar) ? selectedText : ~under;
            auto mix = [a](int from, int to) { return (from * (255 - a) + to * a + 127) / 255; };
            out[x] = qRgb(mix(qRed(under), qRed(ink)), mix(qGreen(under), qGreen(ink)),
                          mix(qBlue(under), qBlue(ink)));
        }
    }
}
} // namespace

CVireoList::CVireoList(CVireoDoc& doc, QWidget* parent) : sListView(parent), m_doc(doc) {
    m_doc.SetView(this);
    SetImageSource([](int image, qreal dpr) { return art::StateImage(image, dpr); });
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
    BuildContextMenu();
}

CVireoList::~CVireoList() {
    if (m_doc.View() == this)
        m_doc.SetView(nullptr);
}

int CVireoList::ColumnWidth(int keyWidth, const QFontMetrics& metrics) {
    // The stored widths were chosen for a small 8-point font, in which an elapsed time
    // "0:00:00" is 36 pixels wide. A larger font widens every column in proportion, so
    // that what fitted then still fits.
    double factor = std::max(1.0, metrics.horizontalAdvance("0:00:00") / 36.0);
    return int(keyWidth * factor + 0.5);
}

void CVireoList::InsertColumns() {
    SettingsStore& settings = Settings();
    for (const ColumnSpec& column : kColumns)
        AddColumn(QString::fromLatin1(column.title),
                  ColumnWidth(settings.GetInt(column.width), fontMetrics()),
                  QString::fromLatin1(column.typical));
}

QString CVireoList::SizeText(const LineProgress& progress) {
    if (progress.live || RawNumbers())
        return QString::fromStdString(vireo::SizeText(progress));
    return progress.size > 0 ? ReadableSize(progress.size) : QString();
}

QString CVireoList::StatusText(const LineProgress& progress) {
    if (progress.status != LineProgress::Status::Count || RawNumbers() || progress.partsTotal > 0)
        return QString::fromStdString(vireo::StatusText(progress));
    if (progress.size > 0 && !progress.live)
        return PercentText(progress.received, progress.size);
    return progress.received > 0 ? ReadableSize(progress.received) : QString();
}

void CVireoList::AppendLine(const std::string& text, int image) {
    AddRow(QString::fromStdString(text), 0, image);
}

void CVireoList::SetText(int line, int column, const std::string& text) {
    // The document writes a speed as bytes per second.
    if (column == ColSpeed && AllDigits(text) && !RawNumbers()) {
        SetCell(line, column, ReadableSpeed(QString::fromStdString(text).toLongLong()));
        return;
    }
    SetCell(line, column, QString::fromStdString(text));
}

void CVireoList::SetProgress(int line, const LineProgress& progress) {
    // A live stream has no size to measure a bar against; a download of counted parts
    // measures its parts.
    bool count = progress.status == LineProgress::Status::Count;
    if (progress.partsTotal > 0)
        Model().SetBar(line, {progress.partsTotal, progress.partsDone, count});
    else
        Model().SetBar(line, {progress.live ? 0 : progress.size, progress.received, count});
    SetCell(line, ColSize, SizeText(progress));
    SetCell(line, ColStatus, StatusText(progress));
}

void CVireoList::SetImage(int line, int image) {
    SetRowImage(line, image);
}

void CVireoList::SetTip(int line, const std::string& text) {
    Model().SetTip(line, QString::fromStdString(text));
}

void CVireoList::DeleteLine(int line) {
    DeleteRow(line);
}

void CVireoList::BuildContextMenu() {
    m_menu = new QMenu(this);
    for (const MenuEntry& entry : kMenu) {
        if (!entry.text) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(QString::fromLatin1(entry.text));
        DocCommand command = entry.command;
        action->setData(int(command));
        connect(action, &QAction::triggered, this, [this, command] { m_doc.RunCommand(command); });
    }
}

void CVireoList::UpdateContextMenu() {
    for (QAction* action : m_menu->actions())
        if (!action->isSeparator())
            action->setEnabled(m_doc.CommandEnabled(DocCommand(action->data().toInt())));
}

void CVireoList::mousePressEvent(QMouseEvent* event) {
    sListView::mousePressEvent(event);
    if (event->button() != Qt::RightButton)
        return;
    int row = RowAt(event->position().toPoint());
    if (row < 0)
        return; // below the last line: no menu
    Select(row);
    UpdateContextMenu();
    m_menu->popup(viewport()->mapToGlobal(event->position().toPoint()));
}

void CVireoList::mouseDoubleClickEvent(QMouseEvent* event) {
    sListView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton || RowAt(event->position().toPoint()) < 0)
        return;
    m_doc.RunCommand(DocCommand::OpenFile); // does nothing for running or waiting rows
}

void CVireoList::startDrag(Qt::DropActions) {
    int row = SelectedIndex();
    if (row < 0)
        return;
    m_draggingFromHere = true;
    auto* data = new QMimeData;
    data->setText(Model().Cell(row, ColAddress));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(Image(Model().Image(row)));
    RunDrag(*drag);
    m_draggingFromHere = false;
}

Qt::DropAction CVireoList::RunDrag(QDrag& drag) {
    return drag.exec(Qt::CopyAction);
}

bool CVireoList::Acceptable(const QMimeData* data) const {
    // A line dragged out of this list and dropped back would add its own entry again.
    return data && data->hasText() && !m_draggingFromHere;
}

void CVireoList::dragEnterEvent(QDragEnterEvent* event) {
    if (Acceptable(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CVireoList::dragMoveEvent(QDragMoveEvent* event) {
    if (Acceptable(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CVireoList::dropEvent(QDropEvent* event) {
    if (!Acceptable(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    m_doc.AddUrlsFromText(event->mimeData()->text().toStdString());
}

void CVireoList::DrawCell(QPainter& p, const RowPaint& row, int column, const QRect& cell) const {
    if (column != ColStatus) {
        sListView::DrawCell(p, row, column, cell);
        return;
    }
    PaintStatusCell(p, cell, Model().BarOf(row.row), Model().Cell(row.row, ColStatus),
                    palette().color(QPalette::Base), row.background, row.text, row.selected,
                    font());
}

void CVireoList::PaintStatusCell(QPainter& p, const QRect& cell, const ListTableModel::Bar& bar,
                                 const QString& statusText, const QColor& window,
                                 const QColor& background, const QColor& textColour, bool selected,
                                 const QFont& font) {
    QRect textRect(QPoint(cell.left() + kTextInset, cell.top() + 1),
                   QPoint(cell.right() - kTextInset, cell.bottom()));
    QFontMetrics metrics(font);
    if (!bar.shown) {
        // "busy", "received", an error: plain text.
        p.setPen(textColour);
        p.setFont(font);
        p.drawText(textRect.adjusted(0, 0, 0, -2), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(statusText, Qt::ElideRight, textRect.width()));
        return;
    }
    if (cell.width() <= 0 || cell.height() <= 0)
        return;
    qint64 size = bar.size;
    qint64 received = bar.done;

    // The cell is composed off screen: its background, the bar, then the count combined
    // by XOR so that it reads black on the window colour and yellow on the blue bar.
    qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    QImage composed(cell.size() * dpr, QImage::Format_RGB32);
    composed.setDevicePixelRatio(dpr);
    QPainter c(&composed);
    QRect local(QPoint(0, 0), cell.size());
    // Behind the selection mark the window colour shows one pixel above and two below.
    c.fillRect(local, window);
    if (selected)
        c.fillRect(local.adjusted(0, 1, 0, -2), background);
    if (size > 0 && received > 0) {
        int usable = cell.width() - 4;
        int filled = size < received ? usable : int(double(received) / double(size) * usable);
        if (filled > 0)
            c.fillRect(QRect(QPoint(2, 1), QPoint(2 + filled - 1, cell.height() - 4)), kBarBlue);
    }
    QRect countRect(QPoint(textRect.left() - cell.left(), 1),
                    QPoint(textRect.right() - cell.left(), cell.height() - 1));
    QImage mask(composed.size(), QImage::Format_RGB32);
    mask.setDevicePixelRatio(dpr);
    mask.fill(Qt::black);
    {
        QPainter m(&mask);
        m.setFont(font);
        m.setPen(Qt::white);
        m.drawText(countRect.adjusted(0, 0, 0, -2), Qt::AlignCenter | Qt::TextSingleLine,
                   statusText);
    }
    c.end();
    CombineCount(composed, mask, selected ? textColour.rgb() : 0);
    p.drawImage(cell.topLeft(), composed);
}

} // namespace vireo
