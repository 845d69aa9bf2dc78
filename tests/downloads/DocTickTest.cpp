#include "DocFixture.h"

using namespace vireo;
using namespace vireo::test;

namespace {
// Counts what the document does to each line.
class CountingLines : public FakeListLines {
public:
    std::vector<int> touches;
    void AppendLine(const std::string& text, int image) override {
        FakeListLines::AppendLine(text, image);
        touches.push_back(0);
    }
    void SetText(int line, int column, const std::string& text) override {
        FakeListLines::SetText(line, column, text);
        ++touches.at(size_t(line));
    }
    void SetProgress(int line, const LineProgress& progress) override {
        FakeListLines::SetProgress(line, progress);
        ++touches.at(size_t(line));
    }
    void SetImage(int line, int image) override {
        FakeListLines::SetImage(line, image);
        ++touches.at(size_t(line));
    }
    void DeleteLine(int line) override {
        FakeListLines::DeleteLine(line);
        touches.erase(touches.begin() + line);
    }
};

class DocTick : public DocFixture {
protected:
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            doc.OnTick();
    }
};
} // namespace

TEST_F(DocTick, DirtyRunningRowsAreRefreshedOnceASecond) {
    AddFiles(2);
    FakeJob* job = doc.Fake(0).Fake();
    doc.Fake(0).SetFlags(0, IF_DIRTY);
    doc.Fake(1).SetFlags(0, IF_DIRTY);
    job->Progress(4096, 1024, 512, 6);
    doc.Fake(0).SetFlags(IF_DIRTY);
    Ticks(4);
    EXPECT_EQ(Text(0, ColStatus), "0"); // not yet
    EXPECT_TRUE(doc.Item(0).HasFlag(IF_DIRTY));
    Ticks(1);
    EXPECT_EQ(Text(0, ColSize), "4096");
    EXPECT_EQ(Text(0, ColStatus), "1024");
    EXPECT_EQ(Text(0, ColLeft), "0:00:06");
    EXPECT_EQ(Text(0, ColSpeed), "512");
    EXPECT_FALSE(doc.Item(0).HasFlag(IF_DIRTY));
    // The clean row keeps its texts, but its time runs all the same.
    doc.Fake(1).Fake()->Progress(10, 5, 5, 1);
    EXPECT_EQ(Text(1, ColStatus), "0");
    Ticks(5);
    EXPECT_EQ(Text(1, ColStatus), "0");
    EXPECT_EQ(doc.Row(0).elapsed, 2);
    EXPECT_EQ(doc.Row(1).elapsed, 2);
    EXPECT_EQ(Text(1, ColElapsed), "0:00:01"); // shown before it is counted

    doc.Fake(0).SetFlags(IF_LIVE | IF_DIRTY);
    Ticks(5);
    EXPECT_EQ(Text(0, ColSize), "live");
}

TEST_F(DocTick, RowsThatDoNotRunAreNotTouched) {
    CountingLines lines;
    doc.SetView(&lines);
    SetMaxDown(1);
    AddFiles(50);
    doc.Fake(0).SetFlags(IF_RECEIVING);
    std::fill(lines.touches.begin(), lines.touches.end(), 0);
    Ticks(10);
    EXPECT_GT(lines.touches[0], 0);
    EXPECT_EQ(std::count(lines.touches.begin() + 1, lines.touches.end(), 0), 49);
    doc.SetView(&view);
}

TEST_F(DocTick, ReceivingRowsStepThroughTheirImagesEveryTick) {
    Settings().SetInt(keys::Animated, 1);
    AddFiles(1);
    Ticks(1);
    EXPECT_EQ(Image(0), 3); // nothing received yet
    doc.Fake(0).SetFlags(IF_RECEIVING);
    std::vector<int> images;
    for (int i = 0; i < 12; ++i) {
        Ticks(1);
        images.push_back(Image(0));
    }
    std::vector<int> expected;
    int first = images[0];
    for (int i = 0; i < 12; ++i)
        expected.push_back(6 + (first - 6 + i) % 11);
    EXPECT_EQ(images, expected);
    Settings().SetInt(keys::Animated, 0);
    Ticks(1);
    EXPECT_EQ(Image(0), 11);
}

TEST_F(DocTick, TrayCyclesWhileAnythingRuns) {
    Ticks(3);
    EXPECT_EQ(ui.trayStarts, 0);
    AddFiles(1);
    Ticks(3);
    EXPECT_EQ(ui.trayStarts, 1);
    EXPECT_TRUE(doc.TrayActive());
    doc.Fake(0).Finish();
    Ticks(3);
    EXPECT_EQ(ui.trayStops, 1);
    EXPECT_FALSE(doc.TrayActive());
}

TEST_F(DocTick, IdleWindowsHideOnceWhenTheCountdownPassesZero) {
    struct Case {
        int dropToTray;
        const char* hiddenBy;
    } cases[] = {{1, "hide"}, {0, "minimize"}};
    for (const Case& c : cases) {
        Settings().SetInt(keys::DropToTray, c.dropToTray);
        ui.windows.clear();
        doc.SetActivityCounter(0);
        doc.SetIdleCountdown(2);
        Ticks(5 * 2);
        EXPECT_TRUE(ui.windows.empty());
        Ticks(5);
        EXPECT_EQ(ui.windows, (std::vector<std::string>{c.hiddenBy, "tools-"}));
        EXPECT_EQ(doc.IdleCountdown(), -1);
        Ticks(5 * 3);
        EXPECT_EQ(ui.windows.size(), 2u); // rests until armed again
    }
}

TEST_F(DocTick, TheCountdownWaitsWhileTheWindowOrADialogIsActive) {
    doc.SetActivityCounter(1);
    doc.SetIdleCountdown(1);
    Ticks(5 * 4);
    EXPECT_EQ(doc.IdleCountdown(), 1);
    EXPECT_TRUE(ui.windows.empty());
}

TEST_F(DocTick, ShowingAllWindowsLeavesTheMainWindowActive) {
    doc.ShowAllWindows(true);
    EXPECT_EQ(ui.windows, (std::vector<std::string>{"tools+", "activate"}));
}
