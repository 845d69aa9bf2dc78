// The history window: the store's records as rows, its commands, its columns, dragging
// an address out and its placement.
#include "ColumnFit.h"
#include "GuiFixture.h"

#include "app/gui/Artwork.h"
#include "app/gui/CToolBarEx.h"
#include "app/gui/FlatToolButton.h"
#include "app/gui/HistoryWindow.h"
#include "app/gui/LogWindow.h"
#include "app/gui/WindowUi.h"
#include "app/gui/sListView.h"
#include "downloads/DocCommand.h"
#include "history/HistoryStore.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QTimer>

using namespace vireo;
using namespace vireo::test;

namespace {

class HistoryWindowTest : public GuiFixture {
public:
    void SetUpSettings() override {
        GuiFixture::SetUpSettings();
        Settings().SetInt(keys::History, 1);
        Settings().SetInt(keys::HistoryMax, 100);
        Settings().SetInt(keys::HistoryColumns, 7);
        Settings().SetInt(keys::WhDate, 80);
        Settings().SetInt(keys::WhFile, 200);
        Settings().SetInt(keys::WhUrl, 1200);
    }
    void SetUp() override {
        GuiFixture::SetUp();
        OpenHistory(temp.Path("/home")); // the program-wide store, in the test's directory
        History().SetClock([] { return HistoryTime{1998, 12, 8, 10, 0, 0}; });
        ASSERT_TRUE(History().Add("a.bin", "http://h.x/a.bin"));
        ASSERT_TRUE(History().Add("b.zip", "ftp://h.x/b.zip"));
    }
    void TearDown() override {
        delete window.data();
        GuiFixture::TearDown();
    }
    HistoryWindow& Open() {
        window = new HistoryWindow(History(), &doc);
        window->List().FlushPending();
        return *window;
    }
    std::vector<std::string> Rows() {
        sListView& list = window->List();
        list.FlushPending();
        std::vector<std::string> rows;
        for (int r = 0; r < list.Model().RowTotal(); ++r) {
            std::string row = std::to_string(list.Model().Image(r));
            for (int c = 0; c < list.Model().columnCount(); ++c)
                row += "|" + list.Model().Cell(r, c).toStdString();
            rows.push_back(row);
        }
        return rows;
    }
    // "title:width"; a column wider than its key (to fit its texts) shows as "title:+", the
    // last (which takes the rest of the window) as its title alone.
    std::vector<std::string> Columns() {
        std::vector<std::string> columns;
        sListView& list = window->List();
        for (int c = 0; c < list.Model().columnCount(); ++c) {
            std::string title = list.Model()
                                    .headerData(c, Qt::Horizontal, Qt::DisplayRole)
                                    .toString()
                                    .toStdString();
            int stored = title == "date" ? 80 : title == "file" ? 200 : 1200;
            int width = list.header()->sectionSize(c);
            if (c == list.Model().columnCount() - 1)
                columns.push_back(title);
            else
                columns.push_back(title + ":" + (width > stored ? "+" : std::to_string(width)));
        }
        return columns;
    }

    QPointer<HistoryWindow> window;
};

TEST_F(HistoryWindowTest, ListsTheStoresRecordsInFileOrder) {
    HistoryWindow& w = Open();
    EXPECT_EQ(w.windowTitle(), "History window");
    EXPECT_EQ(History().Window(), static_cast<HistoryWindowSink*>(&w));
    EXPECT_EQ(Columns(), (std::vector<std::string>{"date:+", "file:200", "url"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1|12.08.1998|a.bin|http://h.x/a.bin",
                                                "1|12.08.1998|b.zip|ftp://h.x/b.zip"}));
}

// The date column is widened for its dates (the stored 80 pixels were meant for a smaller
// font), the url column takes the rest of a wide window.
TEST_F(HistoryWindowTest, TheToolbarIsTheMainWindowsFlatBar) {
    HistoryWindow& w = Open();
    auto* bar = w.findChild<CToolBarEx*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_GE(bar->ButtonCount(), 2);
    EXPECT_EQ(bar->Button(0)->defaultAction(), w.Action(art::kHistorySave));
}

TEST_F(HistoryWindowTest, EveryColumnFitsItsTitleAndItsTexts) {
    Settings().SetInt(keys::WhDate, 20); // far too narrow for a date
    HistoryWindow& w = Open();
    w.resize(1400, 400);
    w.show();
    Flush();
    EXPECT_EQ(CutColumns(w.List()), std::vector<std::string>{});
}

TEST_F(HistoryWindowTest, TheColumnMaskChoosesTheColumnsAndTheirCells) {
    struct Case {
        int mask;
        std::vector<std::string> columns;
        std::string firstRow;
    };
    for (const Case& c :
         {Case{6, {"date:+", "url"}, "1|12.08.1998|http://h.x/a.bin"}, Case{1, {"file"}, "1|a.bin"},
          Case{3, {"file:200", "url"}, "1|a.bin|http://h.x/a.bin"}}) {
        Settings().SetInt(keys::HistoryColumns, c.mask);
        Open();
        EXPECT_EQ(Columns(), c.columns) << c.mask;
        EXPECT_EQ(Rows().at(0), c.firstRow) << c.mask;
        delete window.data();
    }
}

TEST_F(HistoryWindowTest, ChecksumResultsShowInAColumnOfTheirOwnAndGoWithClear) {
    ASSERT_TRUE(History().NoteCheck("b.zip", "mismatch"));
    ASSERT_TRUE(History().NoteCheck("a.bin", "mismatch"));
    ASSERT_TRUE(History().NoteCheck("a.bin", "verified")); // the later check counts
    HistoryWindow& w = Open();
    // The date column fits its dates; the checksum column, last, takes the rest.
    EXPECT_EQ(Columns(), (std::vector<std::string>{"date:+", "file:200", "url:1200", "checksum"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1|12.08.1998|a.bin|http://h.x/a.bin|verified",
                                                "1|12.08.1998|b.zip|ftp://h.x/b.zip|mismatch"}));
    // The history file itself is as older readers know it.
    EXPECT_EQ(History().ReadEntries().size(), 2u);
    w.ClearHistory();
    EXPECT_TRUE(History().ReadChecks().empty());
}

TEST_F(HistoryWindowTest, ClearEmptiesTheStoreAndTheWindow) {
    HistoryWindow& w = Open();
    w.ClearHistory();
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(History().ReadEntries().empty());
    EXPECT_EQ(QFileInfo(QString::fromStdString(History().FilePath())).size(), 36);
}

TEST_F(HistoryWindowTest, AReopenedWindowReadsTheFileAfresh) {
    WindowUi ui(*frame);
    ui.OpenHistoryWindow();
    QPointer<HistoryWindow> first = ui.CurrentHistoryWindow();
    ASSERT_FALSE(first.isNull());
    ASSERT_TRUE(History().Remove("A.BIN"));
    ASSERT_TRUE(History().Add("c.txt", "http://h.x/c.txt"));
    ui.OpenHistoryWindow();
    EXPECT_TRUE(first.isNull());
    window = ui.CurrentHistoryWindow();
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1|12.08.1998|b.zip|ftp://h.x/b.zip",
                                                "1|12.08.1998|c.txt|http://h.x/c.txt"}));
    // At exit both kinds of window go, and their placements are stored.
    AddFiles(1);
    ui.OpenLogWindow(doc.Item(0));
    QPointer<LogWindow> log = ui.CurrentLogWindow();
    Settings().SetRect(keys::HistoryRect, Rect{});
    ui.CloseToolWindows();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(log.isNull());
    EXPECT_EQ(History().Window(), nullptr);
    EXPECT_NE(Settings().GetRect(keys::HistoryRect, Rect{}), Rect{});
}

// Both windows have the same default place; the second to open does not cover the first.
TEST_F(HistoryWindowTest, TheLogAndTheHistoryWindowDoNotOpenOnTopOfEachOther) {
    WindowUi ui(*frame);
    AddFiles(1);
    ui.OpenLogWindow(doc.Item(0));
    ui.OpenHistoryWindow();
    window = ui.CurrentHistoryWindow();
    QPointer<LogWindow> log = ui.CurrentLogWindow();
    ASSERT_FALSE(log.isNull());
    ASSERT_FALSE(window.isNull());
    EXPECT_NE(log->geometry().topLeft(), window->geometry().topLeft());
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window->geometry())) << "still on the screen";
    ui.CloseToolWindows();
}

TEST_F(HistoryWindowTest, SaveWritesEveryAddressWithCrLfAndNothingAfter) {
    std::string path = temp.Path("/urls.txt");
    {
        QFile longer(QString::fromStdString(path));
        ASSERT_TRUE(longer.open(QIODevice::WriteOnly));
        longer.write(QByteArray(500, 'x'));
    }
    ASSERT_TRUE(Open().SaveTo(path));
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), "http://h.x/a.bin\r\nftp://h.x/b.zip\r\n");
    EXPECT_FALSE(window->SaveTo(temp.Path("/no/such/dir/urls.txt")));
}

TEST_F(HistoryWindowTest, ADraggedRowCarriesItsAddressAsPlainText) {
    HistoryWindow& w = Open();
    EXPECT_EQ(w.DragData(), nullptr); // nothing selected, nothing dragged
    w.List().Select(1);
    std::unique_ptr<QMimeData> data(w.DragData());
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasFormat("text/plain"));
    EXPECT_EQ(data->text(), "ftp://h.x/b.zip\r\n");
    // The download list takes such a drop as its address.
    EXPECT_EQ(doc.ItemCount(), 0);
    EXPECT_TRUE(doc.AddUrlsFromText(data->text().toStdString()));
    ASSERT_EQ(doc.ItemCount(), 1);
    EXPECT_EQ(doc.Item(0).Url(), "ftp://h.x/b.zip");
}

TEST_F(HistoryWindowTest, PlacementRoundTripAndClosingAtExit) {
    Settings().SetRect(keys::HistoryRect, Rect{-1, -1, -1, -1});
    HistoryWindow& w = Open();
    EXPECT_TRUE(w.isMaximized());
    History().CloseWindow(); // as at exit: gone at once
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(History().Window(), nullptr);
    EXPECT_EQ(Settings().GetRect(keys::HistoryRect, Rect{}), (Rect{-1, -1, -1, -1}));

    Settings().SetRect(keys::HistoryRect, Rect{30, 40, 330, 240});
    HistoryWindow& n = Open();
    EXPECT_EQ(n.geometry(), QRect(30, 40, 300, 200));
    n.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Settings().GetRect(keys::HistoryRect, Rect{}), (Rect{30, 40, 330, 240}));
}

TEST_F(HistoryWindowTest, CommandTextsAndADialogHoldsTheHistoryCommand) {
    HistoryWindow& w = Open();
    struct Case {
        int id;
        const char* text;
        const char* tip;
    };
    for (const Case& c :
         {Case{32857, "&Save", "save"}, Case{32859, "Clear", "clear"},
          Case{32858, "&Close", "close window"}, Case{32860, "About History Window", "about"}}) {
        QAction* a = w.Action(c.id);
        ASSERT_NE(a, nullptr) << c.id;
        EXPECT_EQ(a->text(), c.text);
        EXPECT_EQ(a->toolTip(), c.tip);
    }
    ASSERT_TRUE(doc.CommandEnabled(DocCommand::History));
    bool enabledDuring = true;
    QTimer::singleShot(0, [&] {
        enabledDuring = doc.CommandEnabled(DocCommand::History);
        w.FollowMainWindow(false); // the main window goes to the tray: the dialog ends
    });
    w.ShowAbout();
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(w.CurrentDialog(), nullptr);
    EXPECT_TRUE(doc.CommandEnabled(DocCommand::History));
}

} // namespace
