// The log window: live rows from the item's log, its commands and its placement.
#include "ColumnFit.h"
#include "GuiFixture.h"

#include "app/gui/CToolBarEx.h"
#include "app/gui/FlatToolButton.h"

#include "app/gui/Artwork.h"
#include "app/gui/LogWindow.h"
#include "app/gui/WindowUi.h"
#include "app/gui/sListView.h"
#include "downloads/DocCommand.h"
#include "log/TransferLog.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QTimer>

using namespace vireo;
using namespace vireo::test;

namespace {

std::string ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

class LogWindowTest : public GuiFixture {
public:
    void SetUpSettings() override {
        GuiFixture::SetUpSettings();
        Settings().SetInt(keys::Log, 1);
        Settings().SetInt(keys::LogNum, 1);
    }
    void SetUp() override {
        GuiFixture::SetUp();
        log = std::make_unique<TransferLog>(); // in the test's download directory
    }
    void TearDown() override {
        delete window.data();
        log.reset();
        GuiFixture::TearDown();
    }
    LogWindow& Open() {
        window = new LogWindow(*log, "f.bin", &doc);
        Flush();
        return *window;
    }
    // Each row as "num|image|cont".
    std::vector<std::string> Rows() {
        sListView& list = window->List();
        list.FlushPending();
        std::vector<std::string> rows;
        for (int r = 0; r < list.Model().RowTotal(); ++r)
            rows.push_back(list.Model().Cell(r, 0).toStdString() + "|" +
                           std::to_string(list.Model().Image(r)) + "|" +
                           list.Model().Cell(r, 1).toStdString());
        return rows;
    }

    std::unique_ptr<TransferLog> log;
    QPointer<LogWindow> window;
};

TEST_F(LogWindowTest, ShowsTheFileThenEveryRecordAsItIsAddedWithTheImageOfItsKind) {
    log->AddRecord("finding host h.x", '!');
    LogWindow& w = Open();
    EXPECT_EQ(w.windowTitle(), "Log window [f.bin]");
    EXPECT_EQ(log->Window(), static_cast<LogWindowSink*>(&w));
    log->AddRecord("HTTP req: /f.bin", 'O');
    log->AddRecord("HTTP/1.0 200 OK", 'I');
    log->AddRecord("receiving data", 'R');
    const char bytes[] = {'G', '\n'};
    log->AddDump(bytes, 2, 'E'); // the header record, then a continuation row
    log->AddRecord("two\r\nlines", 'X');
    log->AddField("title", "t", 'I', false);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1|2|finding host h.x", "2|3|HTTP req: /f.bin",
                                                "3|4|HTTP/1.0 200 OK", "4|5|receiving data",
                                                "5|1|dump:", "|0|47 0A G.", "6|0|two", "|0|lines",
                                                "|0|title: t"}));
}

// The text column is no longer held at 500 pixels: a wide window shows long lines whole.
TEST_F(LogWindowTest, TheTextColumnTakesTheWidthOfTheWindow) {
    for (int i = 0; i < 120; ++i)
        log->AddRecord("record " + std::to_string(i), 'I');
    LogWindow& w = Open();
    w.resize(1200, 400);
    w.show();
    Flush();
    w.List().FlushPending();
    EXPECT_EQ(CutColumns(w.List()), std::vector<std::string>{});
    EXPECT_GT(w.List().header()->sectionSize(1), 1000);
}

// Without a "minimize" key the log and history windows take it for 1: activating them
// restarts the idle countdown. A stored 0 is read as 0.
TEST_F(LogWindowTest, ActivationReadsMinimizeWithOneWhenTheKeyIsMissing) {
    Settings().SetInt(keys::IdleTime, 180);
    ASSERT_FALSE(Settings().Contains(keys::Minimize.name));
    LogWindow& w = Open();
    auto activate = [&] {
        doc.SetIdleCountdown(-1);
        QEvent change(QEvent::ActivationChange);
        QApplication::sendEvent(&w, &change);
        return doc.IdleCountdown();
    };
    EXPECT_EQ(activate(), 180);
    Settings().SetInt(keys::Minimize, 0);
    EXPECT_EQ(activate(), -1);
    Settings().SetInt(keys::Minimize, 1);
    EXPECT_EQ(activate(), 180);
}

TEST_F(LogWindowTest, LineSplittingAndParsing) {
    EXPECT_EQ(LogWindow::SplitLines("a\rb\nc\r\n\r\n  d \x01\r"),
              (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(LogWindow::SplitLines("").empty());
    LogWindow& w = Open();
    w.AddLine("#12 O sending request");
    w.AddLine("#7");   // no space: all of it is the number
    w.AddLine("#8 E"); // no text
    EXPECT_EQ(Rows(), (std::vector<std::string>{"12|3|sending request", "7|0|", "8|1|"}));
}

TEST_F(LogWindowTest, AnItemThatNeverLoggedShowsAnEmptyList) {
    QFile::remove(QString::fromStdString(log->FilePath()));
    Open();
    EXPECT_TRUE(Rows().empty());
}

TEST_F(LogWindowTest, SaveWritesAnIdenticalCopyOverALongerFile) {
    log->AddRecord("one", '!');
    log->AddDump("\x00\xff", 2, 'E');
    std::string copy = temp.Path("/copy.txt");
    {
        QFile longer(QString::fromStdString(copy));
        ASSERT_TRUE(longer.open(QIODevice::WriteOnly));
        longer.write(QByteArray(4000, 'x'));
    }
    Open().SaveTo(copy);
    EXPECT_EQ(ReadAll(copy), ReadAll(log->FilePath()));
    EXPECT_NE(ReadAll(copy).find("dump: "), std::string::npos);
}

TEST_F(LogWindowTest, ClearDeletesTheFileAndTheNextRecordIsTheOnlyRow) {
    log->AddRecord("one", '!');
    LogWindow& w = Open();
    log->AddRecord("two", '!');
    w.ClearList();
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(log->FilePath())));
    log->AddRecord("three", 'E');
    EXPECT_EQ(Rows(), std::vector<std::string>{"3|1|three"});
    EXPECT_EQ(ReadAll(log->FilePath()), "#3 E three\r\n");
}

TEST_F(LogWindowTest, WithLoggingOffTheWindowKeepsItsRowsAndClearOnlyEmptiesIt) {
    log->AddRecord("one", '!');
    LogWindow& w = Open();
    Settings().SetInt(keys::Log, 0);
    log->AddRecord("two", '!');
    EXPECT_EQ(Rows(), std::vector<std::string>{"1|2|one"});
    w.ClearList();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(ReadAll(log->FilePath()), "#1 ! one\r\n");
}

TEST_F(LogWindowTest, PlacementRoundTripIncludingMaximized) {
    Settings().SetRect(keys::LogRect, Rect{40, 50, 440, 350});
    LogWindow& w = Open();
    EXPECT_EQ(w.geometry(), QRect(40, 50, 400, 300));
    w.setGeometry(60, 70, 300, 200);
    w.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Settings().GetRect(keys::LogRect, Rect{}), (Rect{60, 70, 360, 270}));

    Settings().SetRect(keys::LogRect, Rect{-1, -1, -1, -1});
    LogWindow& m = Open();
    EXPECT_TRUE(m.isMaximized());
    log->CloseWindow(); // as the item's removal does: gone at once
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(log->Window(), nullptr);
    EXPECT_EQ(Settings().GetRect(keys::LogRect, Rect{}), (Rect{-1, -1, -1, -1}));
}

TEST_F(LogWindowTest, ToolbarAndMenuTexts) {
    LogWindow& w = Open();
    struct Case {
        int id;
        const char* text;
        const char* tip;
        const char* status;
    };
    for (const Case& c : {Case{32840, "&Save", "Save", "Save log to disk"},
                          Case{32861, "Send log to Tarnwell", "Send log file to the tech support",
                               "Sends log file to Tarnwell"},
                          Case{32859, "Clear list", "clear", "clear list"},
                          Case{32841, "&Close", "Close log window", "Close log window"},
                          Case{32843, "About Log Window", "About", "Display About dialog box"}}) {
        QAction* a = w.Action(c.id);
        ASSERT_NE(a, nullptr) << c.id;
        EXPECT_EQ(a->text(), c.text);
        EXPECT_EQ(a->toolTip(), c.tip);
        EXPECT_EQ(a->statusTip(), c.status);
    }
    // The main window's flat bar: save, clear, send, about.
    auto* bar = w.findChild<CToolBarEx*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->ButtonCount(), 4);
    EXPECT_EQ(bar->Button(0)->defaultAction(), w.Action(32840));
    EXPECT_EQ(bar->Button(3)->defaultAction(), w.Action(32843));
    EXPECT_EQ(w.Action(32840)->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(w.Action(32841)->shortcut(), QKeySequence("Ctrl+F4"));
}

TEST_F(LogWindowTest, ADialogHoldsTheLogCommandAndAnItemRemovedUnderItIsSafe) {
    AddFiles(1);
    List().Select(0);
    Flush();
    ASSERT_TRUE(doc.CommandEnabled(DocCommand::Log));
    LogWindow& w = Open();
    bool enabledDuring = true;
    QTimer::singleShot(0, [&] {
        enabledDuring = doc.CommandEnabled(DocCommand::Log);
        ASSERT_NE(w.CurrentDialog(), nullptr);
        log->CloseWindow(); // the window goes away under its own dialog
    });
    w.ShowAbout();
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(doc.CommandEnabled(DocCommand::Log));
}

TEST_F(LogWindowTest, OpeningAnotherItemsLogClosesTheFirstWindow) {
    AddFiles(2);
    WindowUi ui(*frame);
    ui.OpenLogWindow(doc.Item(0));
    QPointer<LogWindow> first = ui.CurrentLogWindow();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first->windowTitle(), "Log window [f0.bin]");
    ui.OpenLogWindow(doc.Item(1));
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(ui.CurrentLogWindow(), nullptr);
    EXPECT_EQ(ui.CurrentLogWindow()->Log(), &doc.Item(1).Log());
    EXPECT_EQ(doc.Item(0).Log().Window(), nullptr);
    ui.CloseLogWindows();
    EXPECT_EQ(ui.CurrentLogWindow(), nullptr);
}

TEST_F(LogWindowTest, KindImagesDiffer) {
    std::vector<QImage> images;
    for (int i = 0; i < art::kLogImageCount; ++i) {
        images.push_back(art::LogKindImage(i, 1).toImage());
        for (int j = 0; j < i; ++j)
            EXPECT_NE(images[size_t(i)], images[size_t(j)]) << i << " " << j;
    }
}

} // namespace
