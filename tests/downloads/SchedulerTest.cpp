#include "DocFixture.h"

using namespace vireo;
using namespace vireo::test;

namespace {
using Scheduler = DocFixture;
using States = std::vector<ItemState>;
} // namespace

TEST_F(Scheduler, StartsUpToMaxDownInListOrderAndRefillsFreedSlots) {
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

TEST_F(Scheduler, EveryWayOutOfRunningGivesItsSlotToTheNextWaitingRow) {
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

TEST_F(Scheduler, LoweringMaxDownStopsNothingAndStartsNothingUntilBelowIt) {
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

TEST_F(Scheduler, AFailedStartIsMarkedFailedAndThePassMovesOn) {
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

TEST_F(Scheduler, NestedPassStartsLaterRowsAndTheOuterPassSkipsThem) {
    SetMaxDown(0);
    AddFiles(4);
    doc.script.results = {{Url(0), StartResult::FailNotified}};
    SetMaxDown(3);
    doc.Schedule();
    EXPECT_EQ(doc.States(), (States{F, R, R, R}));
    EXPECT_EQ(doc.script.started, (std::vector<std::string>{Url(0), Url(1), Url(2), Url(3)}));
    ExpectSlotsAgree();
}

TEST_F(Scheduler, AFileCompleteOnDiskIsDoneWithoutHoldingASlot) {
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

TEST_F(Scheduler, EntriesAddedWhileSlotsAreFullWaitAndStartLater) {
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
