#include "DocFixture.h"

using namespace vireo;
using namespace vireo::test;

namespace {
using DocScheduler = DocFixture;
using States = std::vector<ItemState>;
} // namespace

TEST_F(DocScheduler, StartsUpToMaxDownInListOrderAndRefillsFreedSlots) {
    AddFiles(5);
    EXPECT_EQ(doc.States(), (States{R, R, W, W, W}));
    EXPECT_EQ(doc.script.started, (std::vector<std::string>{Url(0), Url(1)}));
    EXPECT_EQ(doc.FreeSlots(), 0);
    // Every start asks for a name derived anew and resumes what the file holds.
    EXPECT_TRUE(doc.Fake(0).lastResume);

    doc.Fake(1).Finish();
    EXPECT_EQ(doc.States(), (States{R, D, R, W, W}));
    EXPECT_EQ(doc.script.started.back(), Url(2));
    ExpectSlotsAgree();
}

TEST_F(DocScheduler, EveryWayOutOfRunningGivesItsSlotToTheNextWaitingRow) {
    struct Case {
        const char* name;
        std::function<void(DocFixture&)> end; // ends entry 0, which runs
        States after;                         // of the entries left
    } cases[] = {
        {"finish", [](DocFixture& f) { f.doc.Fake(0).Finish(); }, {D, R, R, W}},
        {"fail", [](DocFixture& f) { f.doc.Fake(0).Fail(404); }, {F, R, R, W}},
        {"stop",
         [](DocFixture& f) {
             f.Select(0);
             f.doc.RunCommand(DocCommand::Stop);
         },
         {S, R, R, W}},
        {"delete",
         [](DocFixture& f) {
             f.Select(0);
             f.doc.RunCommand(DocCommand::Delete);
         },
         {R, R, W}},
        {"stop all", [](DocFixture& f) { f.doc.RunCommand(DocCommand::StopAll); }, {S, S, S, S}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        doc.RunCommand(DocCommand::NewList);
        AddFiles(4);
        ASSERT_EQ(doc.States(), (States{R, R, W, W}));
        c.end(*this);
        EXPECT_EQ(doc.States(), c.after);
        ExpectSlotsAgree();
    }
}

TEST_F(DocScheduler, LoweringMaxDownStopsNothingAndStartsNothingUntilBelowIt) {
    SetMaxDown(3);
    AddFiles(5);
    ASSERT_EQ(doc.States(), (States{R, R, R, W, W}));
    ui.duringSettings = [] { Settings().SetInt(keys::MaxDown, 1); };
    doc.RunCommand(DocCommand::Settings);
    EXPECT_EQ(doc.States(), (States{R, R, R, W, W}));
    EXPECT_EQ(doc.FreeSlots(), 0);

    doc.Fake(0).Finish();
    doc.Fake(1).Finish();
    EXPECT_EQ(doc.States(), (States{D, D, R, W, W}));
    doc.Fake(2).Finish();
    EXPECT_EQ(doc.States(), (States{D, D, D, R, W}));
    ExpectSlotsAgree();
}

TEST_F(DocScheduler, AFailedStartIsMarkedFailedAndThePassMovesOn) {
    // Failing quietly, and failing with a notification that runs a nested pass from inside
    // the start, must give the same rows, with every entry started once.
    for (StartResult how : {StartResult::Fail, StartResult::FailNotified}) {
        SCOPED_TRACE(int(how));
        doc.RunCommand(DocCommand::NewList);
        doc.script.started.clear();
        doc.script.results = {{Url(1), how}, {Url(2), how}};
        SetMaxDown(2);
        AddFiles(5);
        EXPECT_EQ(doc.States(), (States{R, F, F, R, W}));
        EXPECT_EQ(doc.script.started, (std::vector<std::string>{Url(0), Url(1), Url(2), Url(3)}));
        ExpectSlotsAgree();
    }
}

TEST_F(DocScheduler, NestedPassStartsLaterRowsAndTheOuterPassSkipsThem) {
    SetMaxDown(0);
    AddFiles(4);
    doc.script.results = {{Url(0), StartResult::FailNotified}};
    SetMaxDown(3);
    doc.Schedule();
    EXPECT_EQ(doc.States(), (States{F, R, R, R}));
    EXPECT_EQ(doc.script.started, (std::vector<std::string>{Url(0), Url(1), Url(2), Url(3)}));
    ExpectSlotsAgree();
}

TEST_F(DocScheduler, AFileCompleteOnDiskIsDoneWithoutHoldingASlot) {
    for (StartResult how : {StartResult::Complete, StartResult::CompleteButStarted}) {
        SCOPED_TRACE(int(how));
        doc.RunCommand(DocCommand::NewList);
        doc.script.results = {{Url(0), how}};
        SetMaxDown(1);
        AddFiles(3);
        EXPECT_EQ(doc.States(), (States{D, R, W}));
        ExpectSlotsAgree();
    }
}

TEST_F(DocScheduler, EntriesAddedWhileSlotsAreFullWaitAndStartLater) {
    SetMaxDown(1);
    AddFiles(3);
    doc.Fake(0).Fail(404);
    doc.Fake(1).Finish();
    ASSERT_TRUE(doc.AddUrl("http://h.x/late.bin", false));
    EXPECT_EQ(doc.States(), (States{F, D, R, W}));
    // A row that waits again before the last started one is found by the next pass.
    Select(0);
    doc.RunCommand(DocCommand::Start);
    doc.Fake(2).Finish();
    EXPECT_EQ(doc.States(), (States{R, D, D, W}));
    ExpectSlotsAgree();
}

// The scheduler on its own: plain items in an entry list, rows set by the test.
namespace {
class SchedulerClass : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 6; ++i)
            entries.Append(std::make_unique<DownloadItem>("http://h.x/" + std::to_string(i),
                                                          "/d/" + std::to_string(i), nullptr));
    }
    void Set(int i, ItemState now) {
        ItemState old = entries.State(i);
        entries.Row(i).state = now;
        scheduler.OnStateChanged(i, entries.Item(i), old, now);
    }
    std::vector<int> RunningIndexes() const {
        std::vector<int> out;
        for (const DownloadItem* item : scheduler.Running())
            out.push_back(item->Index());
        return out;
    }
    // One pass whose starts all succeed; returns the rows it offered.
    std::vector<int> Pass() {
        std::vector<int> offered;
        scheduler.Schedule([&](int i) {
            offered.push_back(i);
            Set(i, R);
            scheduler.TakeSlot();
        });
        return offered;
    }

    vireo::EntryList entries;
    vireo::Scheduler scheduler{entries};
};
} // namespace

TEST_F(SchedulerClass, RunningEntriesStayInListOrderAndSlotsNeverGoBelowZero) {
    for (int i : {4, 1, 5, 0})
        Set(i, R);
    EXPECT_EQ(RunningIndexes(), (std::vector<int>{0, 1, 4, 5}));
    Set(1, D);
    Set(4, R); // running to running changes nothing
    EXPECT_EQ(RunningIndexes(), (std::vector<int>{0, 4, 5}));
    scheduler.Recount(2);
    EXPECT_EQ(scheduler.FreeSlots(), 0);
    scheduler.Recount(5);
    EXPECT_EQ(scheduler.FreeSlots(), 2);
}

TEST_F(SchedulerClass, APassOffersWaitingRowsInOrderAndAWaitingRowBeforeItsStartIsSeenAgain) {
    Set(2, D);
    scheduler.Recount(3);
    EXPECT_EQ(Pass(), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(scheduler.FreeSlots(), 0);
    EXPECT_EQ(Pass(), std::vector<int>{}); // no slot

    Set(4, S);
    Set(5, S);
    EXPECT_FALSE(scheduler.HasWaiting());
    Set(0, W); // back to waiting, before where the last pass began
    EXPECT_TRUE(scheduler.HasWaiting());
    scheduler.Recount(3);
    EXPECT_EQ(Pass(), std::vector<int>{0});

    // The entry before the first waiting one leaves: the first waiting row moves up.
    Set(5, W);
    Set(1, D);
    Set(0, S);
    scheduler.Recount(3);
    EXPECT_EQ(Pass(), std::vector<int>{5});
    Set(2, W);
    entries.Remove(0);
    scheduler.OnEntryRemoved(0);
    scheduler.Recount(3);
    EXPECT_EQ(Pass(), std::vector<int>{1}); // the old row 2
}
