#pragma once
// A main window over a document of fake items, in a private settings file. The document's
// questions go to a scripted interface, so no dialog waits for a person; the tray is a
// recording fake.

#include "FakeTray.h"
#include "TempSettings.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/CVireoList.h"
#include "downloads/FakeDocument.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

#include <memory>

namespace vireo::test {

inline void Flush() {
    QApplication::processEvents();
}

class GuiFixture : public ::testing::Test {
public:
    void SetUp() override {
        downDir = temp.Path("/dl");
        QDir().mkpath(QString::fromStdString(downDir));
        QDir().mkpath(QString::fromStdString(temp.Path("/home")));
        Settings().SetString(keys::DownPath, downDir);
        Settings().SetString(keys::Cwd, temp.Path("/home"));
        Settings().SetInt(keys::Version, 1); // no first run over the values set here
        SetUpSettings();
        doc.SetUi(&ui);
        ui.doc = &doc;
        MakeFrame();
    }
    void TearDown() override {
        frame.reset();
        doc.SetUi(nullptr);
    }
    // Values a test needs before the window is made.
    virtual void SetUpSettings() {
        Settings().SetInt(keys::MaxDown, 1);
        Settings().SetInt(keys::DropToTray, 0);
        Settings().SetInt(keys::Animated, 1);
        for (auto [key, width] : {std::pair{keys::WFile, 200},
                                  {keys::WSize, 80},
                                  {keys::WStatus, 100},
                                  {keys::WElapsed, 50},
                                  {keys::WLeft, 50},
                                  {keys::WSpeed, 50},
                                  {keys::WAttemp, 30},
                                  {keys::WAddress, 400}})
            Settings().SetInt(key, width);
    }
    void MakeFrame() {
        frame.reset();
        frame = std::make_unique<CMainFrame>(doc, std::make_unique<FakeTray>(tray));
        doc.RecountSlots();
        frame->OnDocumentStarted();
    }
    CVireoList& List() { return frame->List(); }
    static std::string Url(int i) { return "http://h.x/f" + std::to_string(i) + ".bin"; }
    void AddFiles(int n) {
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(doc.AddUrl(Url(i), false));
        List().FlushPending();
    }

    TempSettings temp;
    std::string downDir;
    ScriptedUi ui;
    FakeDocument doc;
    FakeTray::Log tray;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace vireo::test
