// The main window: commands and their enabling, the keys really bound, the status-bar
// prompts, placement, the idle hiding, the tray icon and the shut-down.
#include "GuiFixture.h"

#include "app/gui/CSystemTray.h"
#include "app/gui/CToolBarEx.h"
#include "app/gui/CommandTable.h"
#include "app/gui/FlatToolButton.h"
#include "app/gui/Placement.h"
#include "app/gui/WindowUi.h"
#include "common/WriteFileAtomically.h"
#include "downloads/RecentLists.h"

#include <map>

#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

using namespace vireo;
using namespace vireo::test;

namespace {
constexpr int kStop = int(DocCommand::Stop), kStart = int(DocCommand::Start),
              kDel = int(DocCommand::Delete), kCopy = int(DocCommand::Copy),
              kPaste = int(DocCommand::Paste), kView = int(DocCommand::ViewSource),
              kLog = int(DocCommand::Log), kHistory = int(DocCommand::History);

class MainFrame : public GuiFixture {
protected:
    void SetUpSettings() override {
        GuiFixture::SetUpSettings();
        Settings().SetInt(keys::Log, 1);
        Settings().SetInt(keys::History, 0);
    }
    // Row 0 done, 1 running, 2 waiting, 3 stopped.
    void FourStates() {
        doc.script.results[Url(0)] = StartResult::Complete;
        AddFiles(4);
        List().SelectLine(3);
        frame->RunCommand(kStop);
        ASSERT_EQ(doc.States(), (std::vector<ItemState>{ItemState::Done, ItemState::Running,
                                                        ItemState::Waiting, ItemState::Stopped}));
    }
    void ShowActive() {
        frame->show();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    FlatToolButton* ButtonFor(int id) {
        for (int i = 0; i < frame->ToolBar().ButtonCount(); ++i)
            if (frame->ToolBar().Button(i)->defaultAction() == frame->Action(id))
                return frame->ToolBar().Button(i);
        return nullptr;
    }
};
} // namespace

TEST_F(MainFrame, CommandsFollowTheSelectedEntry) {
    FourStates();
    struct Case {
        int selected;
        std::vector<int> on, off;
    };
    const Case cases[] = {
        {-1, {}, {kStop, kStart, kDel, kCopy, kView, kLog}},
        {0, {kStart, kDel, kCopy, kView, kLog}, {kStop}}, // done
        {1, {kStop, kDel, kCopy, kLog}, {kStart, kView}}, // running
        {2, {kStop, kDel, kCopy}, {kStart, kView}},       // waiting
        {3, {kStart, kDel, kView}, {kStop}},              // stopped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected);
        if (c.selected < 0)
            List().selectionModel()->clearSelection();
        else
            List().SelectLine(c.selected);
        frame->UpdateCommandStates();
        for (int id : c.on) {
            EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
            if (FlatToolButton* b = ButtonFor(id))
                EXPECT_TRUE(b->isEnabled()) << id;
        }
        for (int id : c.off) {
            EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
            if (FlatToolButton* b = ButtonFor(id))
                EXPECT_FALSE(b->isEnabled()) << id;
        }
    }
    // Enabled whatever is selected, or by a setting, or by the clipboard.
    for (int id : {57600, 57601, 57603, 32891, 32835, 32836, 32842, 32779, 32838, 57664})
        EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
    EXPECT_FALSE(frame->Action(kHistory)->isEnabled()); // "history" is 0
    EXPECT_FALSE(frame->Action(kPaste)->isEnabled());   // nothing on the clipboard
    ui.clipboard = "http://h.x/new.zip";
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(kPaste)->isEnabled());
}

TEST_F(MainFrame, ToolbarButtonsRunTheirCommands) {
    AddFiles(2);
    List().SelectLine(0);
    frame->UpdateCommandStates();
    ButtonFor(kStop)->click();
    EXPECT_EQ(doc.State(0), ItemState::Stopped);
    EXPECT_EQ(doc.State(1), ItemState::Running); // the freed slot went to the next
    frame->UpdateCommandStates();
    ButtonFor(kDel)->click();
    EXPECT_EQ(doc.ItemCount(), 1);
}

// Every key a menu entry shows is bound to that entry's command, and no two entries show
// the same key; the main menu and the list's context menu are one window.
TEST_F(MainFrame, EveryShownKeyIsBoundToItsEntryAndShownOnce) {
    std::map<QString, int> shown; // key as the menus print it -> command
    auto take = [&](const QString& text, int id) {
        QString key = text.section('\t', 1);
        if (key.isEmpty())
            return;
        QKeySequence sequence(key);
        ASSERT_FALSE(sequence.isEmpty()) << key.toStdString();
        auto [it, fresh] = shown.emplace(sequence.toString(), id);
        EXPECT_TRUE(fresh || it->second == id) << "shown twice: " << key.toStdString();
        bool bound = false;
        for (const Accelerator& a : Accelerators())
            bound |= a.keys == sequence && a.id == id;
        EXPECT_TRUE(bound) << key.toStdString() << " does not run " << id;
    };
    for (const MenuCommand& entry : MainMenuCommands())
        if (entry.text)
            take(QString::fromLatin1(entry.text), entry.id);
    for (QAction* action : List().ContextMenu()->actions())
        if (!action->isSeparator())
            take(action->text(), action->data().toInt());
    EXPECT_GE(shown.size(), 10u);
}

TEST_F(MainFrame, TheShownKeysRunTheirCommands) {
    FourStates();
    ShowActive();
    ui.clipboard = "http://h.x/pasted.zip";
    ui.insertLink = DocumentUi::InsertLinkAnswer{"http://h.x/inserted.zip", false};
    ui.fileName.reset(); // the save dialog is cancelled
    frame->UpdateCommandStates();
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        int select;
        std::function<void()> check;
    };
    size_t dialogs = ui.activityInDialog.size();
    const Case cases[] = {
        {Qt::Key_C, Qt::ControlModifier, 1, [&] { EXPECT_EQ(*ui.clipboard, Url(1)); }},
        {Qt::Key_Insert, Qt::ShiftModifier, 1,
         [&] { EXPECT_EQ(doc.Item(doc.ItemCount() - 1).Url(), Url(1)); }},
        {Qt::Key_Return, Qt::NoModifier, 0,
         [&] { EXPECT_EQ(ui.shell.back(), doc.Item(0).TargetPath() + "|" + downDir + "/"); }},
        {Qt::Key_S, Qt::ControlModifier, 3,
         [&] {
             EXPECT_EQ(ui.activityInDialog.size(), ++dialogs); // the save dialog
             EXPECT_EQ(doc.State(3), ItemState::Stopped);      // and nothing else
         }},
        {Qt::Key_R, Qt::ControlModifier, 3, [&] { EXPECT_NE(doc.State(3), ItemState::Stopped); }},
        {Qt::Key_P, Qt::ControlModifier, 2, [&] { EXPECT_EQ(doc.State(2), ItemState::Stopped); }},
        {Qt::Key_Insert, Qt::NoModifier, -1,
         [&] {
             EXPECT_EQ(ui.activityInDialog.size(), ++dialogs); // the insert-link dialog
             EXPECT_EQ(doc.Item(doc.ItemCount() - 1).Url(), "http://h.x/inserted.zip");
         }},
        {Qt::Key_Delete, Qt::NoModifier, 2, [&] { EXPECT_EQ(doc.ItemCount(), 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.mods).toString().toStdString());
        if (c.select >= 0)
            List().SelectLine(c.select);
        frame->UpdateCommandStates();
        QTest::keyClick(frame.get(), Qt::Key(c.key), c.mods);
        c.check();
    }
}

TEST_F(MainFrame, HoveringAButtonShowsItsPromptInTheStatusBar) {
    ShowActive();
    FlatToolButton* stop = ButtonFor(int(DocCommand::NewList));
    EXPECT_EQ(stop->toolTip(), "new");
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), stop->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(stop, &enter);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "new list");
    EXPECT_FALSE(frame->MessagePane()->isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(stop, &leave);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "");
    EXPECT_TRUE(frame->MessagePane()->isVisible());
    EXPECT_EQ(frame->MessagePane()->text(), "Ready");
}

TEST(Placement, DefaultCoversTheMiddleOfTheScreen) {
    EXPECT_EQ(CMainFrame::DefaultRect(QSize(1024, 768)), (Rect{128, 192, 896, 576}));
    EXPECT_EQ(CMainFrame::DefaultRect(QSize(1366, 768)), (Rect{170, 192, 1195, 576}));
}

TEST(Placement, StoredRectanglesAreFittedOnTheScreensThereAreNow) {
    const QList<QRect> one{QRect(0, 0, 1280, 720)};
    const QList<QRect> two{QRect(0, 0, 1280, 720), QRect(1280, 0, 1920, 1080)};
    struct Case {
        QRect stored;
        QList<QRect> screens;
        QRect fitted;
    } cases[] = {
        {QRect(100, 50, 800, 500), one, QRect(100, 50, 800, 500)}, // fits: unchanged
        // Stored at scale 1 on a larger screen, opened at scale 2: shrunk and moved in.
        {QRect(240, 270, 1680, 1080), one, QRect(0, 0, 1280, 720)},
        {QRect(900, 600, 800, 500), one, QRect(480, 220, 800, 500)},   // hangs over the edge
        {QRect(5000, 3000, 400, 300), one, QRect(880, 420, 400, 300)}, // a screen now gone
        {QRect(-900, -500, 400, 300), one, QRect(0, 0, 400, 300)},
        {QRect(1500, 100, 800, 500), two, QRect(1500, 100, 800, 500)}, // on the second
        {QRect(1200, 100, 800, 500), two, QRect(1280, 100, 800, 500)}, // mostly there
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitOnScreens(c.stored, c.screens), c.fitted)
            << c.stored.x() << "," << c.stored.y();
}

TEST_F(MainFrame, AWindowStoredOffTheScreenOpensOnIt) {
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    Settings().SetRect(keys::MainWndRect, Rect{screen.right() + 500, 200,
                                               screen.right() + 900 + 2 * screen.width(), 500});
    MakeFrame();
    EXPECT_TRUE(screen.contains(frame->geometry()));
    EXPECT_EQ(frame->geometry().width(), screen.width());
}

TEST_F(MainFrame, PlacementRoundTripsIncludingMaximized) {
    // Nothing stored: the default rectangle of the screen.
    QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    Rect d = CMainFrame::DefaultRect(screen);
    EXPECT_EQ(frame->geometry(), QRect(d.left, d.top, d.right - d.left, d.bottom - d.top));
    EXPECT_FALSE(frame->StartsMaximized());

    frame->setGeometry(40, 60, 500, 300);
    frame->show();
    frame->ShutDown();
    EXPECT_EQ(Settings().GetString(keys::MainWndRect.name, ""), "40 60 540 360");
    MakeFrame();
    EXPECT_EQ(frame->geometry(), QRect(40, 60, 500, 300));

    frame->ShowAtStart();
    frame->showMaximized();
    frame->ShutDown();
    EXPECT_EQ(Settings().GetString(keys::MainWndRect.name, ""), "-1 -1 -1 -1");
    MakeFrame();
    EXPECT_TRUE(frame->StartsMaximized());
    frame->ShowAtStart();
    EXPECT_TRUE(frame->isMaximized());

    Settings().SetString(keys::MainWndRect.name, "garbage");
    MakeFrame();
    EXPECT_EQ(frame->geometry(), QRect(d.left, d.top, d.right - d.left, d.bottom - d.top));
}

TEST_F(MainFrame, ShutDownSavesBarsListAndPlacement) {
    Settings().SetInt(keys::KeepList, 1);
    AddFiles(2);
    frame->RunCommand(command_id::ToggleStatusBar); // hide it, to see it remembered
    frame->ShutDown();
    QSettings store(Settings().FilePath(), QSettings::IniFormat);
    EXPECT_FALSE(store.value("barstate/state").toByteArray().isEmpty());
    EXPECT_FALSE(store.value("barstate/statusbar").toBool());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(doc.LastListPath())));
    EXPECT_FALSE(Settings().GetString(keys::MainWndRect.name, "").empty());
    MakeFrame();
    EXPECT_TRUE(frame->statusBar()->isHidden());
    EXPECT_FALSE(frame->Action(command_id::ToggleStatusBar)->isChecked());
}

TEST_F(MainFrame, IdleWindowHidesOnceAfterTheIdleTime) {
    Settings().SetInt(keys::Minimize, 1);
    Settings().SetInt(keys::IdleTime, 2);
    Settings().SetInt(keys::DropToTray, 1);
    auto seconds = [&](int n) {
        for (int i = 0; i < 5 * n; ++i)
            doc.OnTick();
    };
    frame->OnActivate(true, false);
    EXPECT_EQ(doc.ActivityCounter(), 1);
    EXPECT_EQ(doc.IdleCountdown(), 2);
    seconds(5);
    EXPECT_TRUE(ui.windows.empty()); // active: no countdown
    frame->OnActivate(false, false);
    EXPECT_EQ(doc.ActivityCounter(), 0);
    seconds(2);
    EXPECT_TRUE(ui.windows.empty());
    seconds(1);
    EXPECT_EQ(ui.windows, (std::vector<std::string>{"hide", "tools-"}));
    seconds(10);
    EXPECT_EQ(ui.windows.size(), 2u); // once
    frame->OnActivate(true, false);   // activating again re-arms it
    frame->OnActivate(false, false);
    seconds(3);
    EXPECT_EQ(ui.windows.size(), 4u);

    // Minimized and left: hidden at once, and the countdown stops.
    frame->OnActivate(false, true);
    EXPECT_EQ(doc.ActivityCounter(), -1);
    EXPECT_EQ(ui.windows.size(), 6u);
}

TEST_F(MainFrame, HidingWithoutATrayIconMinimizesInstead) {
    WindowUi windowUi(*frame);
    doc.SetUi(&windowUi);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    ASSERT_FALSE(frame->Tray().IsShown());
    windowUi.HideMainWindow();
    EXPECT_TRUE(frame->isVisible()); // still to be found in the task bar
    EXPECT_TRUE(frame->isMinimized());

    frame->ShowTrayIcon(true);
    ASSERT_TRUE(frame->Tray().IsShown());
    windowUi.ActivateMainWindow();
    EXPECT_FALSE(frame->isMinimized());
    windowUi.HideMainWindow();
    EXPECT_FALSE(frame->isVisible());
    // "Activate" from the tray brings it back.
    frame->Tray().HandleTrayMouse(CSystemTray::kMenuId, TrayBackend::Click::Left);
    EXPECT_TRUE(frame->isVisible());
    doc.SetUi(&ui);
}

class MainFrameWithTray : public MainFrame {
protected:
    void SetUpSettings() override {
        MainFrame::SetUpSettings();
        Settings().SetInt(keys::DropToTray, 1);
    }
};

TEST_F(MainFrameWithTray, TrayIconIsShownAtStartAndAnimatesWhileEntriesRun) {
    EXPECT_TRUE(frame->Tray().IsShown());
    EXPECT_EQ(tray.calls, std::vector<std::string>{"add"});
    // Its menu's Paste follows the clipboard like the window's.
    QMenu* menu = frame->Tray().Menu();
    Q_EMIT menu->aboutToShow();
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    ui.clipboard = "http://h.x/a.zip";
    Q_EMIT menu->aboutToShow();
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    WindowUi windowUi(*frame);
    doc.SetUi(&windowUi);
    AddFiles(1);
    doc.OnTick();
    EXPECT_TRUE(frame->Tray().IsCycling());
    List().SelectLine(0);
    frame->RunCommand(kStop);
    doc.OnTick();
    EXPECT_FALSE(frame->Tray().IsCycling());
    EXPECT_EQ(frame->Tray().IconNumber(), 185);
    doc.SetUi(&ui);
}

// New asks before it drops entries that are not finished, Exit while downloads run; a
// "yes" with "don't ask again" is stored and the question does not come back.
TEST_F(MainFrame, NewAndExitAskBeforeTheyDropDownloads) {
    std::vector<std::string> asked;
    CMainFrame::Answer answer;
    const int activity = doc.ActivityCounter();
    frame->SetAsker([&](const QString& text) {
        asked.push_back(text.toStdString());
        // Counted as a dialog of the application: the idle hiding waits for the answer.
        EXPECT_EQ(doc.ActivityCounter(), activity + 1);
        return answer;
    });
    FourStates(); // done, running, waiting, stopped

    answer = {false, true}; // No, even with "don't ask again", keeps the list and asking
    ButtonFor(int(DocCommand::NewList))->click();
    EXPECT_EQ(doc.ItemCount(), 4);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("3 download(s) that are not finished"), std::string::npos);
    EXPECT_FALSE(frame->close()); // one runs
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[1].find("1 download(s) are running"), std::string::npos);
    EXPECT_EQ(Settings().GetInt(keys::AskNew), 1);

    answer = {true, true};
    frame->RunCommand(int(DocCommand::NewList));
    EXPECT_EQ(doc.ItemCount(), 0);
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(Settings().GetInt(keys::AskNew), 0);
    FourStates();
    frame->RunCommand(int(DocCommand::NewList)); // not asked again
    EXPECT_EQ(doc.ItemCount(), 0);
    EXPECT_EQ(asked.size(), 3u);

    // Only finished entries: nothing to lose, nothing asked.
    Settings().SetInt(keys::AskNew, 1);
    doc.script.results[Url(0)] = StartResult::Complete;
    AddFiles(1);
    frame->RunCommand(int(DocCommand::NewList));
    EXPECT_EQ(doc.ItemCount(), 0);
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_TRUE(frame->close()); // nothing runs: no question either
    EXPECT_EQ(asked.size(), 3u);
}

TEST_F(MainFrame, ExitWithDontAskAgainIsStoredAndASignalNeverAsks) {
    int asked = 0;
    frame->SetAsker([&](const QString&) {
        ++asked;
        return CMainFrame::Answer{true, true};
    });
    AddFiles(1);
    ASSERT_EQ(doc.RunningCount(), 1);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QSettings(Settings().FilePath(), QSettings::IniFormat).value("setup/askexit").toInt(),
              0);

    Settings().SetInt(keys::AskExit, 1);
    MakeFrame();
    frame->SetAsker([&](const QString&) {
        ++asked;
        return CMainFrame::Answer{};
    });
    AddFiles(1);
    frame->CloseWithoutAsking();
    EXPECT_EQ(asked, 1);
}

TEST_F(MainFrame, TheFileMenuOffersTheListFilesUsedLast) {
    QMenu* file = frame->menuBar()->actions().at(0)->menu();
    ASSERT_NE(file, nullptr);
    auto texts = [file] {
        Q_EMIT file->aboutToShow();
        QStringList all;
        for (QAction* action : file->actions())
            all << (action->isSeparator() ? "-" : action->text());
        return all;
    };
    QStringList plain = texts();
    std::string a = temp.Path("/a&b.txt"), b = temp.Path("/b.txt");
    WriteFileAtomically(a, "http://h.x/from-a.zip\r\n");
    RecentLists::Note(b);
    RecentLists::Note(a);
    QStringList offered = texts();
    // New, Open, Save, -, the lists, -, Exit; a '&' in a name is shown as one.
    QStringList expected = plain;
    expected.insert(plain.size() - 1, "-");
    expected.insert(plain.size() - 1, "&2 " + QString::fromStdString(b));
    expected.insert(plain.size() - 1, "&1 " + QString::fromStdString(a).replace("&", "&&"));
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(texts(), expected); // made again, not added again

    file->actions().at(plain.size() - 1)->trigger();
    ASSERT_EQ(doc.ItemCount(), 1);
    EXPECT_EQ(doc.Item(0).Url(), "http://h.x/from-a.zip");
}
