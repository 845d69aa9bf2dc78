// The window on the desktop: the first start's tray icon, the lock-key panes where the
// display cannot tell, the clipboard watch, "Open containing folder" in the menus, the
// notification texts and the tray's tooltip.
#include "GuiFixture.h"

#include "app/gui/CSystemTray.h"
#include "app/gui/ClipboardWatcher.h"
#include "app/gui/DesktopIntegration.h"
#include "app/gui/DesktopNotifier.h"
#include "app/gui/SpeedLimitEntry.h"
#include "app/gui/WindowUi.h"
#include "downloads/DocCommand.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

using namespace vireo;
using namespace vireo::test;

namespace {
class FirstStart : public GuiFixture {
protected:
    void SetUpSettings() override {
        GuiFixture::SetUpSettings();
        // Nothing written yet: the window is made before the first-run values exist.
        Settings().SetInt(keys::Version, 0);
    }
};

class Desktop : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        windowUi = std::make_unique<WindowUi>(*frame);
        desktop = std::make_unique<DesktopIntegration>(doc, *frame, *windowUi, nullptr);
    }
    void TearDown() override {
        desktop.reset();
        windowUi.reset();
        GuiFixture::TearDown();
    }
    QMenu* MenuHolding(int command) {
        for (QAction* entry : frame->menuBar()->actions())
            if (entry->menu() && entry->menu()->actions().contains(frame->Action(command)))
                return entry->menu();
        return nullptr;
    }
    static QStringList Texts(QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        return texts;
    }
    std::unique_ptr<WindowUi> windowUi;
    std::unique_ptr<DesktopIntegration> desktop;
};
} // namespace

TEST_F(FirstStart, TrayIconIsShownAndHidingKeepsAWayBack) {
    ASSERT_FALSE(frame->Tray().IsShown()); // "droptotray" did not exist when it was made
    doc.OnNewDocument();                   // writes the first-run values
    frame->OnDocumentStarted();
    EXPECT_EQ(Settings().GetInt(keys::DropToTray.name, 0), 1);
    EXPECT_TRUE(frame->Tray().IsShown());

    WindowUi windowUi(*frame);
    doc.SetUi(&windowUi);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    doc.ShowAllWindows(false); // what minimizing does
    EXPECT_FALSE(frame->isVisible());
    frame->Tray().HandleTrayMouse(CSystemTray::kMenuId, TrayBackend::Click::Left);
    EXPECT_TRUE(frame->isVisible());
    doc.SetUi(&ui);
}

TEST_F(Desktop, LockKeyPanesAreHiddenWhereTheDisplayCannotTell) {
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    int panes = 0;
    for (QLabel* label : frame->statusBar()->findChildren<QLabel*>()) {
        if (label->objectName() == "messagePane")
            continue;
        ++panes;
        EXPECT_FALSE(label->isVisible()) << label->text().toStdString();
    }
    EXPECT_EQ(panes, 3);
}

TEST_F(Desktop, ClipboardAddressesAreAddedOnlyWhenWatchingAndOnlyOnce) {
    ClipboardWatcher& watch = desktop->Clipboard();
    watch.OnText("http://h.x/off.zip", false);
    EXPECT_EQ(doc.ItemCount(), 0) << "off by default";

    Settings().SetInt(keys::WatchClipboard, 1);
    struct Case {
        const char* text;
        bool ours;
        int countAfter;
    };
    const Case cases[] = {
        {"  http://h.x/a.zip \n", false, 1},
        {"http://h.x/a.zip", false, 1},              // the same text again
        {"see http://h.x/b.zip for more", false, 1}, // a sentence, not an address
        {"http://h.x/c.zip\nhttp://h.x/d.zip", false, 1},
        {"www.h.x/e.zip", false, 1},             // no scheme: any word would pass
        {"mailto:someone@h.x", false, 1},        // not a download
        {"http://h.x/copied-here.zip", true, 1}, // Copy of this program's own list
        {"ftp://h.x/pub/f.tar.gz", false, 2},
        {"https://h.x/a.zip", false, 3},
    };
    for (const Case& c : cases) {
        watch.OnText(c.text, c.ours);
        List().FlushPending();
        EXPECT_EQ(doc.ItemCount(), c.countAfter) << c.text;
    }
    EXPECT_EQ(doc.Item(0).Url(), "http://h.x/a.zip");
    EXPECT_EQ(doc.Item(1).Url(), "ftp://h.x/pub/f.tar.gz");
    EXPECT_TRUE(ui.messages.empty()); // refusals are silent, unlike Paste's
}

TEST_F(Desktop, OpenContainingFolderFollowsTargetDirectoryAndOpenFile) {
    QMenu* view = MenuHolding(int(DocCommand::TargetDirectory));
    ASSERT_NE(view, nullptr);
    QStringList texts = Texts(view);
    int target = texts.indexOf(frame->Action(int(DocCommand::TargetDirectory))->text());
    EXPECT_EQ(texts.value(target + 1), "Open containing folder");
    EXPECT_TRUE(texts.contains("Notify when downloads end"));
    EXPECT_TRUE(texts.contains("Add addresses copied to the clipboard"));

    QStringList context = Texts(List().ContextMenu());
    int open = -1;
    for (int i = 0; i < List().ContextMenu()->actions().size(); ++i)
        if (List().ContextMenu()->actions()[i]->data().toInt() == int(DocCommand::OpenFile))
            open = i;
    ASSERT_GE(open, 0);
    EXPECT_EQ(context.value(open + 1), "Open containing folder");

    // Enabled for a selected entry whose folder exists.
    Q_EMIT view->aboutToShow();
    EXPECT_FALSE(desktop->ShowInFolderAction()->isEnabled());
    AddFiles(1);
    List().SelectLine(0);
    Q_EMIT List().ContextMenu()->aboutToShow();
    EXPECT_TRUE(desktop->ShowInFolderAction()->isEnabled());
}

TEST_F(Desktop, SettingTogglesStoreTheirKeys) {
    QMenu* view = MenuHolding(int(DocCommand::TargetDirectory));
    ASSERT_NE(view, nullptr);
    for (auto [text, key, initially] :
         {std::tuple{"Notify when downloads end", "notify", true},
          std::tuple{"Add addresses copied to the clipboard", "watchclipboard", false}}) {
        QAction* toggle = nullptr;
        for (QAction* action : view->actions())
            if (action->text() == text)
                toggle = action;
        ASSERT_NE(toggle, nullptr) << text;
        EXPECT_EQ(toggle->isChecked(), initially) << text;
        toggle->trigger();
        EXPECT_EQ(Settings().GetInt(key, -1), initially ? 0 : 1) << text;
    }
}

TEST(NotificationTexts, OneFileOneFailureOrABatch) {
    using T = DesktopNotifier::Texts;
    T one = DesktopNotifier::Compose({"/d/a.zip"}, {});
    EXPECT_EQ(one.summary, "Download finished");
    EXPECT_EQ(one.body, "a.zip");
    EXPECT_EQ(one.actions,
              (QStringList{"default", "Show Vireo", "open", "Open", "folder", "Open folder"}));

    T failed = DesktopNotifier::Compose({}, {"b.bin: file not found"});
    EXPECT_EQ(failed.summary, "Download failed");
    EXPECT_EQ(failed.body, "b.bin: file not found");
    EXPECT_FALSE(failed.actions.contains("open"));

    QStringList many;
    for (int i = 0; i < 7; ++i)
        many << QString("/d/f%1.bin").arg(i);
    T batch = DesktopNotifier::Compose(many, {"x.bin: refused"});
    EXPECT_EQ(batch.summary, "Downloads: 7 finished, 1 failed");
    EXPECT_EQ(batch.body, "f0.bin\nf1.bin\nf2.bin\nf3.bin\nf4.bin\n… and 3 more");
    EXPECT_TRUE(batch.actions.contains("folder"));
    EXPECT_FALSE(batch.actions.contains("open"));
}

TEST_F(Desktop, TrayToolTipCountsRunningEntriesAndTheirSpeed) {
    EXPECT_EQ(DesktopIntegration::TrayToolTip(0, 0), "Vireo");
    EXPECT_EQ(DesktopIntegration::TrayToolTip(1, 2048), "Vireo: 1 running, 2.0 KB/s");
    EXPECT_EQ(DesktopIntegration::TrayToolTip(3, 300 * 1024), "Vireo: 3 running, 300 KB/s");
    EXPECT_EQ(DesktopIntegration::TrayToolTip(2, 5 * 1024 * 1024 + 512 * 1024),
              "Vireo: 2 running, 5.5 MB/s");

    Settings().SetInt(keys::MaxDown, 2);
    doc.RecountSlots();
    AddFiles(3);
    ASSERT_EQ(doc.RunningCount(), 2);
    doc.Fake(0).Fake()->Progress(1000000, 1000, 100 * 1024, 5);
    doc.Fake(1).Fake()->Progress(1000000, 1000, 50 * 1024, 5);
    desktop->UpdateTrayToolTip();
    EXPECT_EQ(frame->Tray().ToolTip(), "Vireo: 2 running, 150 KB/s");
}

TEST_F(Desktop, SpeedLimitOnTheContextMenuSetsTheSelectedEntrysOwnLimit) {
    SpeedLimitEntry entry(doc, List());
    std::vector<int> shown;
    std::optional<int> answer = 300;
    entry.SetAsk([&](QWidget*, int current) {
        shown.push_back(current);
        return answer;
    });
    QStringList texts = Texts(List().ContextMenu());
    EXPECT_EQ(texts.last(), QString::fromUtf8("Speed limit\u2026"));
    Q_EMIT List().ContextMenu()->aboutToShow();
    EXPECT_FALSE(entry.Action()->isEnabled()); // nothing selected
    AddFiles(2);
    List().SelectLine(1);
    Q_EMIT List().ContextMenu()->aboutToShow();
    ASSERT_TRUE(entry.Action()->isEnabled());
    entry.Action()->trigger();
    EXPECT_EQ(doc.Item(1).SpeedLimit(), 300 * 1024);
    EXPECT_EQ(doc.Item(0).SpeedLimit(), 0);
    answer = std::nullopt; // cancelled: the limit stays
    entry.Action()->trigger();
    EXPECT_EQ(doc.Item(1).SpeedLimit(), 300 * 1024);
    answer = 0; // none
    entry.Action()->trigger();
    EXPECT_EQ(doc.Item(1).SpeedLimit(), 0);
    EXPECT_EQ(shown, (std::vector<int>{0, 300, 300}));
}
