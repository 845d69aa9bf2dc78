// The tray's busy cycle and the idle countdown, without a document.
#include "downloads/IdleTracker.h"
#include "FakeDocument.h"
#include "TempSettings.h"

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

TEST(IdleTracker, TheTrayCycleStartsAndStopsOnceWithTheRunningEntries) {
    ScriptedUi ui;
    IdleTracker idle;
    for (bool running : {false, true, true, true, false, false, true})
        idle.Tick(running, false, ui);
    EXPECT_EQ(ui.trayStarts, 2);
    EXPECT_EQ(ui.trayStops, 1);
    EXPECT_TRUE(idle.TrayActive());
}

TEST(IdleTracker, TheCountdownStepsOncePerSecondOnlyWhileNothingIsActive) {
    TempSettings temp;
    Settings().SetInt(keys::DropToTray, 1);
    ScriptedUi ui;
    IdleTracker idle;
    idle.SetCountdown(1);
    idle.SetActivity(1);
    idle.Tick(false, true, ui); // the window is active: held
    EXPECT_EQ(idle.Countdown(), 1);
    {
        IdleTracker::ModalScope dialog(idle);
        EXPECT_EQ(idle.Activity(), 2);
    }
    idle.SetActivity(0);
    idle.Tick(false, false, ui); // not the end of a second
    EXPECT_EQ(idle.Countdown(), 1);
    idle.Tick(false, true, ui);
    idle.Tick(false, true, ui); // passes zero: hidden, once
    idle.Tick(false, true, ui);
    EXPECT_EQ(idle.Countdown(), -1);
    EXPECT_EQ(ui.windows, (std::vector<std::string>{"hide", "tools-"}));

    ui.windows.clear();
    idle.SetActivity(-1); // minimized: the countdown stops
    idle.SetCountdown(0);
    idle.Tick(false, true, ui);
    EXPECT_EQ(idle.Countdown(), 0);
    EXPECT_TRUE(ui.windows.empty());
}
