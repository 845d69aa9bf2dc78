// The download list: how a row is drawn, the context menu, double click, and text
// dragged in and out; and the list model's batching of appends and changes.
#include "ColumnFit.h"
#include "GuiFixture.h"

#include "app/gui/ListTableModel.h"
#include "app/gui/ReadableNumbers.h"

#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace vireo;
using namespace vireo::test;

namespace {
const QColor kWhite(255, 255, 255);
const QColor kHighlight(48, 140, 198);
constexpr int kCellWidth = 100;
constexpr int kCellHeight = 20;

bool IsBlue(QRgb c) {
    return qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 255;
}
bool IsDark(QRgb c) {
    return qRed(c) < 90 && qGreen(c) < 90 && qBlue(c) < 90;
}
bool IsYellow(QRgb c) {
    return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80;
}

struct Pixels {
    int blue = 0, dark = 0, yellow = 0, other = 0;
    int barEnd = -1;           // last column with a blue pixel
    int textLeft = kCellWidth; // extent of the digits (dark or yellow)
    int textRight = -1;
};

Pixels Count(const QImage& image) {
    Pixels p;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb c = image.pixel(x, y);
            bool text = false;
            if (IsBlue(c)) {
                ++p.blue;
                p.barEnd = std::max(p.barEnd, x);
            } else if (IsDark(c)) {
                ++p.dark;
                text = true;
            } else if (IsYellow(c)) {
                ++p.yellow;
                text = true;
            } else if (c != kWhite.rgb()) {
                ++p.other;
            }
            if (text) {
                p.textLeft = std::min(p.textLeft, x);
                p.textRight = std::max(p.textRight, x);
            }
        }
    return p;
}

// The cell with the status text the list gives it; without one, the byte count.
QImage PaintStatus(const ListTableModel::Bar& bar, QString status = QString()) {
    if (status.isNull())
        status = QString::number(bar.done);
    QImage image(kCellWidth, kCellHeight, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter p(&image);
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::NoAntialias); // pixels are either text or not
    CVireoList::PaintStatusCell(p, QRect(0, 0, kCellWidth, kCellHeight), bar, status, kWhite,
                                kWhite, Qt::black, false, font);
    p.end();
    return image;
}
} // namespace

TEST(StatusCell, BarAndCountFollowTheSizeAndTheBytes) {
    constexpr int kUsable = kCellWidth - 4;
    constexpr int kBarRows = kCellHeight - 4; // from one below the top to four above the bottom
    struct Case {
        qint64 size;
        qint64 received;
        int barWidth; // 0: no bar
        bool overBar; // part of the count lies over the bar
    };
    const Case cases[] = {
        {1000, 250, kUsable / 4, false}, // a quarter; "250" centred, right of the bar
        {1000, 500, kUsable / 2, true},  // the bar ends under the count
        {1000, 1500, kUsable, true},     // more than the size: the whole bar
        {1000, 0, 0, false},
        {0, 4096, 0, false}, // size not known yet (or a live stream)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " / " + std::to_string(c.received));
        Pixels px = Count(PaintStatus({c.size, c.received, true}));
        EXPECT_EQ(px.other, 0); // white, blue, and the digits in black or yellow only
        if (c.barWidth > 0) {
            EXPECT_EQ(px.barEnd, 2 + c.barWidth - 1);
            EXPECT_EQ(px.blue + px.yellow, c.barWidth * kBarRows);
        } else {
            EXPECT_EQ(px.blue, 0);
        }
        EXPECT_GT(px.dark + px.yellow, 10); // the count is written
        EXPECT_EQ(px.yellow > 0, c.overBar);
        // Centred in the text area (2 pixels in from each side).
        EXPECT_NEAR((px.textLeft + px.textRight) / 2.0, kCellWidth / 2.0, 3.0);
    }
}

TEST(StatusCell, QuarterOfTheBytesReadsLikeAPlainDrawingOfBarAndNumber) {
    // What a person should see for 250 of 1000 bytes: a blue bar over a quarter of the
    // usable width and "250" in black, centred.
    QImage expected(kCellWidth, kCellHeight, QImage::Format_RGB32);
    expected.fill(kWhite);
    QPainter p(&expected);
    p.fillRect(QRect(2, 1, (kCellWidth - 4) / 4, kCellHeight - 4), QColor(0, 0, 255));
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(QPoint(2, 1), QPoint(kCellWidth - 3, kCellHeight - 3)), Qt::AlignCenter,
               "250");
    p.end();
    EXPECT_TRUE(PaintStatus({1000, 250, true}) == expected);
}

TEST(StatusCell, WordsAreWrittenAsTextAtTheLeft) {
    for (const char* status : {"received", "busy", "not found"}) {
        SCOPED_TRACE(status);
        Pixels px = Count(PaintStatus({1000, 250, false}, status));
        EXPECT_EQ(px.blue, 0);
        EXPECT_GT(px.dark, 10);
        EXPECT_LE(px.textLeft, 4);
    }
}

TEST(StatusCell, CountStaysReadableOnASelectedRow) {
    QImage image(kCellWidth, kCellHeight, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter p(&image);
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::NoAntialias);
    CVireoList::PaintStatusCell(p, image.rect(), {1000, 250, true}, "250", kWhite, kHighlight,
                                kWhite, true, font);
    p.end();
    // The selection mark leaves one row of window colour above and two below.
    EXPECT_EQ(QColor(image.pixel(60, 0)), kWhite);
    EXPECT_EQ(QColor(image.pixel(90, 1)), kHighlight);
    EXPECT_EQ(QColor(image.pixel(90, kCellHeight - 3)), kHighlight);
    EXPECT_EQ(QColor(image.pixel(90, kCellHeight - 2)), kWhite);
    EXPECT_TRUE(IsBlue(image.pixel(10, 5)));
    // Over the selection colour the digits take the selected-text colour: its inverse
    // would hardly differ from it.
    int white = 0;
    for (int x = 30; x < 70; ++x)
        for (int y = 2; y < kCellHeight - 3; ++y)
            white += QColor(image.pixel(x, y)) == kWhite;
    EXPECT_GT(white, 10);
}

class ListView : public GuiFixture {
protected:
    void ShowFrame() {
        frame->resize(900, 500);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        Flush();
    }
    QPoint RowPoint(int row) {
        return QPoint(50, row * List().RowHeight() + List().RowHeight() / 2);
    }
};

TEST_F(ListView, RunningRowShowsItsProgressInTheStatusColumn) {
    AddFiles(1);
    doc.Fake(0).SetFlags(IF_RECEIVING);
    doc.Fake(0).Fake()->Progress(1000, 250, 100, 7);
    doc.Fake(0).SetFlags(IF_DIRTY);
    for (int i = 0; i < 5; ++i)
        doc.OnTick();
    ShowFrame();
    QImage shot = List().viewport()->grab().toImage();
    int x = List().header()->sectionViewportPosition(ColStatus);
    int width = List().header()->sectionSize(ColStatus);
    int h = List().RowHeight();
    int blue = 0, barEnd = -1;
    for (int px = x; px < x + width; ++px)
        for (int py = 0; py < h; ++py)
            if (IsBlue(shot.pixel(px, py))) {
                ++blue;
                barEnd = std::max(barEnd, px);
            }
    int bar = (width - 4) / 4;
    EXPECT_EQ(barEnd, x + 2 + bar - 1);
    EXPECT_EQ(blue, bar * (h - 4));
    // The row image sits at the left of the first column.
    int coloured = 0;
    for (int px = 0; px < 16; ++px)
        for (int py = 0; py < h; ++py)
            coloured += QColor(shot.pixel(px, py)).saturation() > 100;
    EXPECT_GT(coloured, 50);
}

TEST_F(ListView, SelectedLineIsMarkedAcrossTheRowLeavingThinGaps) {
    AddFiles(3);
    ShowFrame();
    List().SelectLine(1);
    Flush();
    QImage shot = List().viewport()->grab().toImage();
    const QColor highlight = List().palette().color(QPalette::Highlight);
    const QColor window = List().palette().color(QPalette::Base);
    int h = List().RowHeight();
    // The right end of the Left column, which no line's text reaches.
    int x = List().header()->sectionViewportPosition(ColLeft) +
            List().header()->sectionSize(ColLeft) - 3;
    auto at = [&](int y) { return QColor(shot.pixel(x, y)); };
    EXPECT_EQ(at(h / 2), window);    // line 0
    EXPECT_EQ(at(h), window);        // one pixel above the mark
    EXPECT_EQ(at(h + 1), highlight); // the mark
    EXPECT_EQ(at(2 * h - 3), highlight);
    EXPECT_EQ(at(2 * h - 2), window);     // two pixels below it
    EXPECT_EQ(at(2 * h + h / 2), window); // line 2
}

TEST_F(ListView, RightClickSelectsTheLineAndOpensTheMenuOnlyOnALine) {
    AddFiles(3);
    ShowFrame();
    QTest::mouseClick(List().viewport(), Qt::RightButton, {}, RowPoint(7));
    EXPECT_FALSE(List().ContextMenu()->isVisible());
    EXPECT_EQ(List().SelectedLine(), -1);

    QTest::mouseClick(List().viewport(), Qt::RightButton, {}, RowPoint(1));
    EXPECT_EQ(List().SelectedLine(), 1);
    ASSERT_TRUE(List().ContextMenu()->isVisible());
    QStringList texts;
    for (QAction* a : List().ContextMenu()->actions())
        texts << (a->isSeparator() ? "-" : a->text() + (a->isEnabled() ? "" : " (off)"));
    // Line 1 waits: it can be copied and deleted, but not opened.
    EXPECT_EQ(texts.join("|").toStdString(),
              "Paste\tShift+Ins (off)|&Copy\tCtrl+Ins|&Del\tDel|-|Open\tEnter (off)|-|"
              "Target directory|View source (off)|-|Delete file from disk (off)");
    List().ContextMenu()->hide();
}

TEST_F(ListView, DoubleClickOpensOnlyAFinishedFile) {
    doc.script.results[Url(0)] = StartResult::Complete; // done at once
    AddFiles(2);                                        // the second waits
    ShowFrame();
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, RowPoint(1));
    EXPECT_TRUE(ui.shell.empty());
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, RowPoint(0));
    ASSERT_EQ(ui.shell.size(), 1u);
    EXPECT_EQ(ui.shell[0], doc.Item(0).TargetPath() + "|" + downDir + "/");
}

namespace {
void SendDrop(QWidget* target, const QString& text, bool* entered, bool* dropped) {
    QMimeData data;
    data.setText(text);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    *entered = enter.isAccepted();
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    *dropped = drop.isAccepted();
}

// A list whose drags are dropped straight back onto itself.
class BouncingList : public CVireoList {
public:
    using CVireoList::CVireoList;
    using CVireoList::startDrag;
    bool entered = true, dropped = true;
    QString offered;

protected:
    Qt::DropAction RunDrag(QDrag& drag) override {
        offered = drag.mimeData()->text();
        SendDrop(viewport(), offered, &entered, &dropped);
        return Qt::IgnoreAction;
    }
};
} // namespace

TEST_F(ListView, DroppedTextAddsOneEntryPerLine) {
    bool entered = false, dropped = false;
    SendDrop(List().viewport(), "http://h.x/a.zip\nhttp://h.x/b.zip\r\nftp://h.x/c.txt\n", &entered,
             &dropped);
    EXPECT_TRUE(entered);
    EXPECT_TRUE(dropped);
    ASSERT_EQ(doc.ItemCount(), 3);
    EXPECT_EQ(doc.Item(2).Url(), "ftp://h.x/c.txt");
}

TEST_F(ListView, ItsOwnDragIsNotTakenBack) {
    frame.reset(); // the probe list takes the document's view
    BouncingList list(doc);
    list.InsertColumns();
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(doc.AddUrl(Url(i), false));
    list.FlushPending();
    list.Select(1);
    list.startDrag(Qt::CopyAction);
    EXPECT_EQ(list.offered.toStdString(), Url(1));
    EXPECT_FALSE(list.entered);
    EXPECT_FALSE(list.dropped);
    EXPECT_FALSE(list.DraggingFromHere());
    EXPECT_EQ(doc.ItemCount(), 2);
}

// The document hands the list numbers; the list writes sizes in KB/MB/GB and a percentage
// over the bar, or with "rawnumbers" the byte counts the list first showed, and keeps the
// numbers for the bar either way.
TEST_F(ListView, TheListFormatsTheProgressItIsGiven) {
    Settings().SetInt(keys::MaxDown, 0);
    doc.RecountSlots();
    AddFiles(1);
    using S = LineProgress::Status;
    struct Case {
        LineProgress progress;
        const char *size, *status;       // readable
        const char *rawSize, *rawStatus; // "rawnumbers" 1
        ListTableModel::Bar bar;
    } cases[] = {
        {{1000, 250, false, S::Count, ""}, "1000 B", "25%", "1000", "250", {1000, 250, true}},
        {{1536, 1536, false, S::Count, ""}, "1.5 KB", "100%", "1536", "1536", {1536, 1536, true}},
        {{734003200, 1, false, S::Count, ""},
         "700 MB",
         "0%",
         "734003200",
         "1",
         {734003200, 1, true}},
        // No size: no bar and no percentage, the bytes received.
        {{1000, 3000000, true, S::Count, ""},
         "live",
         "2.9 MB",
         "live",
         "3000000",
         {0, 3000000, true}},
        {{0, 0, false, S::Count, ""}, "", "", "0", "0", {0, 0, true}},
        // A recording of counted segments: the bar measures segments.
        {{0, 3000000, false, S::Count, "", 3, 6},
         "",
         "3/6 segments",
         "0",
         "3/6 segments",
         {6, 3, true}},
        {{5000000000, 0, false, S::Busy, ""},
         "4.7 GB",
         "busy",
         "5000000000",
         "busy",
         {5000000000, 0, false}},
        {{7, 7, false, S::Received, ""}, "7 B", "received", "7", "received", {7, 7, false}},
        {{0, 12, false, S::Failed, "file not found"},
         "",
         "file not found",
         "0",
         "file not found",
         {0, 12, false}},
    };
    for (int raw : {0, 1}) {
        Settings().SetInt(keys::RawNumbers, raw);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.rawStatus) + (raw ? " raw" : ""));
            List().SetProgress(0, c.progress);
            EXPECT_EQ(List().Model().Cell(0, ColSize).toStdString(), raw ? c.rawSize : c.size);
            EXPECT_EQ(List().Model().Cell(0, ColStatus).toStdString(),
                      raw ? c.rawStatus : c.status);
            EXPECT_TRUE(List().Model().BarOf(0) == c.bar);
        }
        // The document writes the speed as bytes per second.
        List().SetText(0, ColSpeed, "1048576");
        EXPECT_EQ(List().Model().Cell(0, ColSpeed), raw ? "1048576" : "1.0 MB/s");
        List().SetText(0, ColSpeed, "");
        EXPECT_EQ(List().Model().Cell(0, ColSpeed), "");
    }
}

TEST(ReadableNumbersText, StepsOf1024WithOneDecimalBelowAHundred) {
    struct Case {
        qint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {102348, "99.9 KB"},
        {102400, "100 KB"},
        {1048575, "1.0 MB"},
        {1048576, "1.0 MB"},
        {5000000000, "4.7 GB"},
        {1LL << 40, "1.0 TB"},
        {-5, "0 B"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadableSize(c.bytes).toStdString(), c.text) << c.bytes;
    EXPECT_EQ(ReadableSpeed(2048).toStdString(), "2.0 KB/s");
    EXPECT_EQ(PercentText(999, 1000).toStdString(), "99%"); // 100% only when whole
    EXPECT_EQ(PercentText(1000, 1000).toStdString(), "100%");
    EXPECT_EQ(PercentText(2000, 1000).toStdString(), "100%");
    EXPECT_EQ(PercentText(5, 0).toStdString(), "");
}

// A failed row tells why when the pointer rests on any of its cells; started again, it
// no longer does.
TEST_F(ListView, FailedRowTooltipNamesTheCauseAndTheAttempts) {
    Settings().SetInt(keys::MaxDown, 0); // nothing starts by itself
    doc.RecountSlots();
    AddFiles(2);
    doc.Fake(0).SetFailureCause({"connection refused", ErrConnect, 5});
    doc.Fake(0).Fail(ErrAttempts);
    Flush();
    const QAbstractItemModel& model = *List().model();
    const QString expected = "can't establish connection - connection refused (5 attempts)";
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(model.data(model.index(0, column), Qt::ToolTipRole).toString(), expected)
            << column;
        EXPECT_FALSE(model.data(model.index(1, column), Qt::ToolTipRole).isValid());
    }
    EXPECT_EQ(List().Model().Cell(0, ColStatus), "(0)"); // the status text is unchanged

    List().Select(0);
    doc.RunCommand(DocCommand::Start);
    EXPECT_EQ(doc.State(0), ItemState::Waiting);
    EXPECT_FALSE(model.data(model.index(0, ColStatus), Qt::ToolTipRole).isValid());
}

TEST(ListModel, AppendsReachTheViewInOneBatchAndOnlyChangesAreSignalled) {
    ListTableModel model;
    for (const char* title : {"a", "b"})
        model.AddColumn(title);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    for (int i = 0; i < 1000; ++i) {
        model.AppendRow(QString::number(i), i, 3);
        model.SetCell(i, 1, "x");
    }
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(changed.count(), 0); // rows the views do not know need no signal
    Flush();
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(model.rowCount(), 1000);

    model.SetCell(500, 1, "x"); // unchanged
    model.SetImage(500, 3);
    EXPECT_EQ(changed.count(), 0);
    model.SetCell(500, 1, "y");
    model.SetImage(501, 4);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(500, 1));
    EXPECT_EQ(changed[1][0].toModelIndex(), model.index(501, 0));

    // A row removed before the views saw it never reaches them.
    model.AppendRow("late", 7, 0);
    model.RemoveRow(1000);
    model.RemoveRow(0);
    Flush();
    EXPECT_EQ(model.rowCount(), 999);
    EXPECT_EQ(model.Cell(0, 0), "1");
}

TEST(ListViewRows, SelectionAndValuesAnswerMinusOneWhenThereAreNone) {
    sListView view;
    view.AddColumn("x", 50);
    EXPECT_EQ(view.SelectedIndex(), -1);
    EXPECT_EQ(view.SelectedValue(), -1);
    view.AddRow("a", 10, 0);
    view.AddRow("b", 20, 0);
    view.AddRow("c", 20, 0);
    EXPECT_EQ(view.FindRowByValue(20), 1); // the first of the two
    EXPECT_EQ(view.FindRowByValue(30), -1);
    view.Select(2);
    EXPECT_EQ(view.SelectedIndex(), 2);
    EXPECT_EQ(view.SelectedValue(), 20);
    view.DeleteRow(2);
    EXPECT_EQ(view.SelectedIndex(), -1);
}

TEST(ColumnWidths, GrowWithTheFontSoThatAnElapsedTimeStillFits) {
    QFont small = QApplication::font();
    small.setPixelSize(7);
    QFontMetrics smallMetrics(small);
    ASSERT_LE(smallMetrics.horizontalAdvance("0:00:00"), 36);
    EXPECT_EQ(CVireoList::ColumnWidth(50, smallMetrics), 50); // the stored width as it is

    for (int pixels : {12, 16, 24}) {
        QFont font = QApplication::font();
        font.setPixelSize(pixels);
        QFontMetrics metrics(font);
        // The Elapsed column (50) holds its text between the 2-pixel insets.
        EXPECT_GE(CVireoList::ColumnWidth(50, metrics), metrics.horizontalAdvance("0:00:00") + 4)
            << pixels;
    }
}

// A row that has ended moves no bytes: stopped, finished and failed rows show neither a
// speed nor a time left, while a running one shows both.
TEST_F(ListView, EndedRowsShowNoSpeedAndNoTimeLeft) {
    Settings().SetInt(keys::MaxDown, 3);
    doc.RecountSlots();
    AddFiles(3);
    for (int i = 0; i < 3; ++i) {
        doc.Fake(i).Fake()->Progress(1000, 250, 2048, 15);
        doc.Fake(i).Notify(NotifyAttempt);
        ASSERT_FALSE(List().Model().Cell(i, ColSpeed).isEmpty()) << i;
        ASSERT_EQ(List().Model().Cell(i, ColLeft), "0:00:15") << i;
    }
    List().SelectLine(0);
    doc.RunCommand(DocCommand::Stop);
    doc.Fake(1).Finish();
    doc.Fake(2).Fail(404);
    ASSERT_EQ(doc.States(),
              (std::vector<ItemState>{ItemState::Stopped, ItemState::Done, ItemState::Failed}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(List().Model().Cell(i, ColSpeed), "") << i;
        EXPECT_EQ(List().Model().Cell(i, ColLeft), "") << i;
        // A later refresh (a changed setting, a new attempt's count) keeps them empty.
        doc.RefreshRow(doc.Item(i));
        EXPECT_EQ(List().Model().Cell(i, ColSpeed), "") << i;
    }
}

// Every column holds its title and what it commonly shows (a running row of gigabytes at
// megabytes a second, a finished, a failed row), written either way; Address, the last,
// takes the rest of a wide window.
TEST_F(ListView, EveryColumnFitsItsTitleAndTypicalTexts) {
    Settings().SetInt(keys::MaxDown, 3);
    doc.RecountSlots();
    AddFiles(3);
    doc.Fake(0).Fake()->Progress(4'700'000'000LL, 1'234'567'890LL, 1'048'000, 35999);
    doc.Fake(0).Notify(NotifyAttempt);
    doc.Fake(1).Finish();
    doc.Fake(2).Fail(404);
    frame->resize(1600, 500);
    ShowFrame();
    frame->resize(1600, 500);
    Flush();
    for (int raw : {0, 1}) {
        SCOPED_TRACE(raw);
        Settings().SetInt(keys::RawNumbers, raw);
        for (int i = 0; i < doc.ItemCount(); ++i)
            doc.RefreshRow(doc.Item(i));
        EXPECT_EQ(CutColumns(List()), std::vector<std::string>{});
    }
    frame->resize(1100, 500); // narrower than the stored widths add up to
    Flush();
    EXPECT_EQ(CutColumns(List()), std::vector<std::string>{});
    EXPECT_EQ(List().Model().Cell(0, ColStatus).toStdString(), "1234567890");
    EXPECT_EQ(List().Model().Cell(0, ColSpeed).toStdString(), "1048000");
}
