// The row presentation on its own: an entry list of one plain item and a recording view.
#include "downloads/RowPresenter.h"
#include "FakeListLines.h"
#include "TempSettings.h"
#include "engine/TransferJob.h"

#include <gtest/gtest.h>

using namespace vireo;

namespace {
class FakeJob : public TransferJob {
public:
    FakeJob(int64_t size, int64_t bytes, int64_t speed, int attempts, int64_t left)
        : TransferJob(nullptr, "", "", 0) {
        m_size = size;
        m_bytes = bytes;
        m_speed = speed;
        m_attempts = attempts;
        m_timeLeft = left;
    }
    Parts parts;
    Parts PartsDone() const override { return parts; }
};

class RowText : public ::testing::Test {
protected:
    void SetUp() override {
        Settings().SetInt(keys::Animated, 1);
        entries.Append(std::make_unique<DownloadItem>("http://h.x/file.iso",
                                                      temp.Dir() + "/file.iso", nullptr));
        rows.AppendLine(Item().TargetPath());
    }
    DownloadItem& Item() { return entries.Item(0); }
    ItemRow& Row() { return entries.Row(0); }
    const std::string& Text(int column) {
        rows.Refresh(Item());
        return view.lines[0].text[size_t(column)];
    }
    int Image() {
        rows.Refresh(Item());
        return view.lines[0].image;
    }

    test::TempSettings temp;
    test::FakeListLines view;
    EntryList entries;
    RowPresenter rows{entries, &view};
};
} // namespace
TEST_F(RowText, StatusTextLaterStepsWin) {
    struct Case {
        uint32_t flags;
        int error;
        const char* status;
    } cases[] = {
        {0, 0, "0"},
        {IF_BUSY, 0, "busy"},
        {IF_BUSY | IF_RECEIVED, 0, "received"},
        {IF_RECEIVED | IF_FAILED, 404, "file not found"},
        {IF_FAILED, 10061, "err: 10061"},
    };
    for (const Case& c : cases) {
        Item().SetFlags(c.flags, ~0u);
        Item().SetLastError(c.error);
        EXPECT_EQ(Text(ColStatus), c.status) << c.flags;
    }
}

TEST_F(RowText, JobColumnsShowTheRunningTransfer) {
    Item().SetJob(std::make_unique<FakeJob>(5'000'000'000LL, 4'000'000'000LL, 1000, 2, 3725));
    EXPECT_EQ(Text(ColSize), "5000000000");
    EXPECT_EQ(Text(ColStatus), "4000000000");
    EXPECT_EQ(Text(ColLeft), "1:02:05");
    EXPECT_EQ(Text(ColSpeed), "1000");
    EXPECT_EQ(Text(ColAttemp), "2");

    Item().SetJob(std::make_unique<FakeJob>(0, 10, 0, 1, -1)); // size unknown
    EXPECT_EQ(Text(ColLeft), "-");
    Item().SetFlags(IF_LIVE);
    EXPECT_EQ(Text(ColSize), "live");

    // The size stays on show after the job is gone.
    Item().SetFlags(0, IF_LIVE);
    Item().SetJob(std::make_unique<FakeJob>(777, 777, 0, 1, 0));
    EXPECT_EQ(Text(ColSize), "777");
    Item().SetJob(nullptr);
    EXPECT_EQ(Text(ColSize), "777");
    EXPECT_EQ(Text(ColLeft), "");
    EXPECT_EQ(Text(ColSpeed), "0");
    EXPECT_EQ(Text(ColAttemp), "0");
    EXPECT_EQ(Text(ColStatus), "0");
}

TEST_F(RowText, ARecordingOfCountedSegmentsShowsThemUntilItEnds) {
    auto job = std::make_unique<FakeJob>(0, 3'000'000, 1000, 1, -1);
    job->parts = {3, 6};
    Item().SetJob(std::move(job));
    EXPECT_EQ(Text(ColStatus), "3/6 segments");
    Row().state = ItemState::Stopped; // an ended row shows what its file holds
    EXPECT_EQ(Text(ColStatus), "3000000");
}

TEST_F(RowText, ElapsedColumn) {
    Row().elapsed = 59;
    EXPECT_EQ(Text(ColElapsed), "0:00:59");
    Row().elapsed = 36000;
    EXPECT_EQ(Text(ColElapsed), "10:00:00");
}

TEST_F(RowText, ImageByStateFlagsAndError) {
    struct Case {
        ItemState state;
        uint32_t flags;
        int error;
        int image;
    } cases[] = {
        {ItemState::Waiting, 0, 0, 3},    {ItemState::Stopped, 0, 0, 0},
        {ItemState::Done, 0, 0, 2},       {ItemState::Failed, 0, 404, 4},
        {ItemState::Failed, 0, -7, 1},    {ItemState::Failed, 0, 401, 28},
        {ItemState::Running, 0, 0, 3},    {ItemState::Running, IF_BUSY, 0, 5},
        {ItemState::Done, IF_BUSY, 0, 5},
    };
    for (const Case& c : cases) {
        Row().state = c.state;
        Item().SetFlags(c.flags, ~0u);
        Item().SetLastError(c.error);
        EXPECT_EQ(Image(), c.image) << int(c.state) << " " << c.flags;
    }
}

TEST_F(RowText, ReceivingRowsAnimateThroughElevenImages) {
    Row().state = ItemState::Running;
    Item().SetFlags(IF_RECEIVING);
    Row().imageCycle = -5;
    std::vector<int> seen;
    for (int i = 0; i < 12; ++i)
        seen.push_back(Image());
    EXPECT_EQ(seen, (std::vector<int>{7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 6, 7}));
    Row().imageCycle = INT32_MAX;
    EXPECT_GE(Image(), 6);
    EXPECT_GE(Row().imageCycle, 0);

    Settings().SetInt(keys::Animated, 0);
    EXPECT_EQ(Image(), 11);
}

TEST_F(RowText, TheTickEndsASecondEveryFifthCallAndOnlyThenShowsProgress) {
    Row().state = ItemState::Running;
    Item().SetJob(std::make_unique<FakeJob>(4096, 1024, 512, 1, 6));
    Item().SetFlags(IF_DIRTY | IF_RECEIVING);
    std::vector<DownloadItem*> running{&Item()};
    std::vector<bool> ends;
    for (int i = 0; i < 10; ++i) {
        ends.push_back(rows.Tick(running));
        if (i == 3) {
            EXPECT_EQ(view.lines[0].text[ColStatus], ""); // nothing shown before the second
        }
    }
    EXPECT_EQ(ends, (std::vector<bool>{false, false, false, false, true, false, false, false, false,
                                       true}));
    EXPECT_EQ(view.lines[0].text[ColSize], "4096");
    EXPECT_EQ(view.lines[0].text[ColStatus], "1024");
    EXPECT_EQ(view.lines[0].text[ColElapsed], "0:00:01"); // shown before it counts on
    EXPECT_EQ(Row().elapsed, 2);
    EXPECT_FALSE(Item().HasFlag(IF_DIRTY));
    EXPECT_EQ(rows.TickCounter(), 0);
}
