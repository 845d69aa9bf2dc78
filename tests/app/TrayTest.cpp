// The tray icon: showing and hiding, the default entry that a left click runs, and the
// busy animation.
#include "FakeTray.h"
#include "app/gui/Artwork.h"
#include "app/gui/CSystemTray.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class Tray : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = std::make_unique<FakeTray>(log);
        fake = backend.get();
        tray = std::make_unique<CSystemTray>(std::move(backend));
        tray->SetCommandHandler([this](int id) { commands.push_back(id); });
    }
    void Install() {
        ASSERT_TRUE(tray->Install("Vireo", art::kTrayStill, CSystemTray::kMenuId));
        tray->SetDefaultEntry(2, true);
        ASSERT_TRUE(tray->LoadFrames(art::kTrayFirstFrame, art::kTrayLastFrame));
    }

    FakeTray::Log log;
    FakeTray* fake = nullptr;
    std::unique_ptr<CSystemTray> tray;
    std::vector<int> commands;
};
} // namespace

TEST_F(Tray, LeftClickRunsTheDefaultEntryActivate) {
    Install();
    fake->Click(TrayBackend::Click::Left);
    EXPECT_EQ(commands, std::vector<int>{CSystemTray::kActivate});
    fake->Click(TrayBackend::Click::Right); // the menu opens by itself; no command
    EXPECT_EQ(commands.size(), 1u);
    tray->HandleTrayMouse(CSystemTray::kMenuId + 1, TrayBackend::Click::Left); // another icon
    EXPECT_EQ(commands.size(), 1u);

    QList<QAction*> entries = tray->Menu()->actions();
    QStringList texts;
    for (QAction* a : entries)
        texts << (a->isSeparator() ? "-" : a->text() + (a->font().bold() ? "*" : ""));
    EXPECT_EQ(texts.join("|").toStdString(), "Paste|-|Activate*|Settings|About|-|Close");
    EXPECT_EQ(tray->Menu()->defaultAction(), entries[2]);
    entries[6]->trigger();
    EXPECT_EQ(commands.back(), 57665);
}

TEST_F(Tray, HideAndUnhideTakeTheIconOutAndPutItBack) {
    Install();
    EXPECT_TRUE(tray->Hide());
    EXPECT_FALSE(log.shown);
    EXPECT_FALSE(tray->Hide()); // hidden already
    EXPECT_TRUE(tray->Unhide());
    EXPECT_TRUE(log.shown);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"add", "remove", "add"}));
    tray.reset(); // destruction takes it out
    EXPECT_FALSE(log.shown);
}

TEST_F(Tray, AnimationStartsAtTheSecondFrameAndRestoresTheStillIcon) {
    Install();
    ASSERT_TRUE(tray->BeginCycle(1000, 0));
    std::vector<int> shown;
    for (int i = 0; i < 5; ++i) {
        tray->CycleTick();
        shown.push_back(tray->IconNumber());
    }
    EXPECT_EQ(shown, (std::vector<int>{191, 192, 193, 190, 191}));
    EXPECT_TRUE(tray->IsCycling()); // a duration of 0 runs until ended
    tray->EndCycle();
    EXPECT_FALSE(tray->IsCycling());
    EXPECT_EQ(tray->IconNumber(), art::kTrayStill);

    // Ended before its first tick: the icon shown before it comes back.
    tray->ChangeIcon(192);
    tray->BeginCycle(1000, 0);
    tray->EndCycle();
    EXPECT_EQ(tray->IconNumber(), 192);
}

TEST_F(Tray, AnimationWithADurationEndsByItself) {
    Install();
    tray->BeginCycle(10, 1);
    tray->CycleTick();
    EXPECT_EQ(tray->IconNumber(), 191);
    QElapsedTimer waited;
    waited.start();
    while (tray->IsCycling() && waited.elapsed() < 6000)
        QTest::qWait(20);
    EXPECT_FALSE(tray->IsCycling());
    EXPECT_GE(waited.elapsed(), 1000); // not before the second has passed
    EXPECT_EQ(tray->IconNumber(), art::kTrayStill);
}

TEST_F(Tray, WithoutANotificationAreaEverythingFails) {
    log.supported = false;
    EXPECT_FALSE(tray->Install("Vireo", art::kTrayStill, CSystemTray::kMenuId));
    EXPECT_FALSE(tray->IsAvailable());
    EXPECT_FALSE(tray->Hide());
    EXPECT_FALSE(tray->Unhide());
    EXPECT_FALSE(tray->ChangeIcon(191));
    EXPECT_FALSE(tray->Uninstall());
    EXPECT_TRUE(log.calls.empty());
}
