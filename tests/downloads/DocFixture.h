#pragma once
// A document of fake items with a recording view and user interface, in a private
// settings file with a download directory of its own.

#include "FakeDocument.h"
#include "FakeListLines.h"
#include "TempSettings.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace vireo::test {

// Short names for tables of row states.
inline constexpr ItemState R = ItemState::Running, W = ItemState::Waiting, D = ItemState::Done,
                           F = ItemState::Failed, S = ItemState::Stopped;

// Members are public so that tables of cases can drive the fixture from lambdas.
class DocFixture : public ::testing::Test {
public:
    void SetUp() override {
        QtApp();
        downDir = temp.Path("/dl");
        QDir().mkpath(QString::fromStdString(downDir));
        Settings().SetString(keys::DownPath, downDir);
        Settings().SetString(keys::Cwd, temp.Path("/home"));
        SetMaxDown(2);
        doc.SetUi(&ui);
        ui.doc = &doc;
    }
    void SetMaxDown(int n) {
        Settings().SetInt(keys::MaxDown, n);
        doc.RecountSlots();
    }
    static std::string Url(int i) { return "http://h.x/f" + std::to_string(i) + ".bin"; }
    void AddFiles(int n) {
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(doc.AddUrl(Url(i), false));
    }
    void Select(int i) { view.selected = i; }
    const std::string& Text(int line, int column) {
        return view.lines.at(size_t(line)).text.at(size_t(column));
    }
    int Image(int line) { return view.lines.at(size_t(line)).image; }
    // The free slots always equal "maxdown" minus the running rows (never below 0), and
    // the document's running count agrees with the rows.
    void ExpectSlotsAgree() {
        std::vector<ItemState> states = doc.States();
        int running = int(std::count(states.begin(), states.end(), ItemState::Running));
        EXPECT_EQ(doc.RunningCount(), running);
        EXPECT_EQ(doc.FreeSlots(), std::max(0, Settings().GetInt(keys::MaxDown) - running));
    }

    TempSettings temp;
    std::string downDir;
    FakeListLines view;
    ScriptedUi ui;
    FakeDocument doc{&view};
};

} // namespace vireo::test
