#include "engine/TransferJob.h"
#include "FakeHost.h"
#include "TempSettings.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/JobSocket.h"
#include "engine/SocketWindow.h"
#include "peers/TestApp.h"
#include "peers/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vireo;
using namespace vireo::test;

namespace {
class ProbeJob : public TransferJob {
public:
    ProbeJob(JobHost* host, std::string name) : TransferJob(host, std::move(name), "/f", 80) {}
    ~ProbeJob() override { Stop(); }
    Step Connect() override {
        ++connects;
        return Step::GoOn();
    }
    void SetSize(int64_t size) { m_size = size; }
    void SetCountdown(int c) { m_countdown = c; }
    int connects = 0;
};

class Jobs : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        Settings().SetInt(keys::Proxy, 0);
        Settings().SetInt(keys::Timeout, 40);
        Settings().SetInt(keys::MaxAttemp, 5);
    }
    TempSettings settings;
    FakeHost host;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
} // namespace

TEST_F(Jobs, SlotsFillTheFirstGap) {
    SocketWindow& window = SocketWindow::Instance();
    ProbeJob a(&host, "1.1.1.1"), b(&host, "1.1.1.1"), c(&host, "1.1.1.1"), d(&host, "1.1.1.1"),
        e(&host, "1.1.1.1");
    window.Register(&a);
    window.Register(&b);
    window.Register(&c);
    window.Register(&d);
    EXPECT_EQ(c.SlotNumber(), 2);
    window.Unregister(&c);
    EXPECT_EQ(c.SlotNumber(), -1);
    window.Register(&e); // slots 0, 1, 3 taken
    EXPECT_EQ(e.SlotNumber(), 2);
    window.Register(&c); // slots 0, 1, 2, 3 taken
    EXPECT_EQ(c.SlotNumber(), 4);
    for (ProbeJob* j : {&a, &b, &c, &d, &e})
        window.Unregister(j);
}

TEST_F(Jobs, RetiredSocketsLiveUntilALaterTick) {
    SocketWindow& window = SocketWindow::Instance();
    size_t before = window.RetiredCount();
    auto* socket = new JobSocket(nullptr);
    window.Retire(socket);
    EXPECT_TRUE(socket->IsDetached());
    EXPECT_EQ(window.RetiredCount(), before + 1);
    window.Tick();
    EXPECT_EQ(window.RetiredCount(), 0u);
}

TEST_F(Jobs, AddressLiteralsSkipTheLookup) {
    for (const char* address : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(address);
        FakeHost h;
        ProbeJob job(&h, address);
        ASSERT_EQ(job.Start(), 1);
        EXPECT_EQ(job.connects, 1);
        EXPECT_EQ(h.notes, std::vector<int>{NotifyAddressKnown});
        EXPECT_FALSE(Contains(h.log, "finding host"));
        EXPECT_TRUE(job.HasFlag(JF_ACTIVE));
        EXPECT_GE(job.SlotNumber(), 0);
    }
}

TEST_F(Jobs, TimeoutsRetryUntilAttemptsRunOut) {
    struct Case {
        int timeout, maxattemp, ticks, attempts;
        bool failed;
    } cases[] = {
        {0, 1, 1, 2, true},  // timeout 0: the first tick after the lookup starts times out
        {0, 0, 1, 2, true},  // at least one attempt is always made
        {0, 3, 1, 2, false}, // the next attempt starts
        {2, 5, 2, 1, false}, // counting down
        {2, 5, 3, 2, false},
    };
    for (const Case& c : cases) {
        FakeHost h;
        Settings().SetInt(keys::Timeout, c.timeout);
        Settings().SetInt(keys::MaxAttemp, c.maxattemp);
        // A name the hosts file answers at once: no lookup is left running at exit.
        ProbeJob job(&h, "localhost");
        ASSERT_EQ(job.Start(), 1);
        EXPECT_TRUE(Contains(h.log, "! finding host localhost"));
        for (int i = 0; i < c.ticks; ++i)
            SocketWindow::Instance().Tick();
        EXPECT_EQ(job.Attempts(), c.attempts) << c.timeout << "/" << c.maxattemp;
        EXPECT_EQ(!h.errors.empty(), c.failed) << c.timeout << "/" << c.maxattemp;
        EXPECT_EQ(job.connects, 0); // the replies were never delivered
        if (c.failed) {
            EXPECT_EQ(h.errors[0], ErrAttempts);
            EXPECT_TRUE(Contains(h.log, "E timeout\nI all attemps passed\n"));
            EXPECT_FALSE(job.HasFlag(JF_ACTIVE));
        }
        job.Stop();
    }
    // Abandoned lookups finish in the network library's threads; let them end before the
    // program does.
    WaitUntil([] { return false; }, 100);
}

TEST_F(Jobs, DataIsWrittenCountedAndFinishesAtTheSize) {
    ProbeJob job(&host, "127.0.0.1");
    job.Start();
    job.SetStartOffset(0);
    job.SetSize(3000);
    job.ChangeFlags(JF_SIZE_LIMITED, 0);
    EXPECT_TRUE(job.HandleData(nullptr, "", 0));
    std::string block(1000, 'x');
    EXPECT_TRUE(job.HandleData(nullptr, block.data(), block.size()));
    EXPECT_TRUE(host.flags & IF_RECEIVING);
    EXPECT_TRUE(host.flags & IF_DIRTY);
    EXPECT_TRUE(Contains(host.log, "R receiving data"));
    EXPECT_EQ(job.Countdown(), 40);
    SocketWindow::Instance().Tick();
    EXPECT_EQ(job.Speed(), 1000);
    EXPECT_EQ(job.TimeLeft(), 2);
    EXPECT_EQ(job.TimeLeftText(), "0:00:02");
    EXPECT_TRUE(job.HandleData(nullptr, block.data(), block.size()));
    EXPECT_FALSE(job.HandleData(nullptr, block.data(), block.size())); // size reached
    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(host.file.size(), 3000u);
    EXPECT_TRUE(Contains(host.log, "! file received (3000 bytes) in 1 attemps"));
}

TEST_F(Jobs, UnknownSizeLeavesTimeLeftUnknown) {
    ProbeJob job(&host, "127.0.0.1");
    job.Start();
    std::string block(500, 'x');
    job.HandleData(nullptr, block.data(), block.size());
    SocketWindow::Instance().Tick();
    EXPECT_EQ(job.Speed(), 500);
    EXPECT_EQ(job.TimeLeftText(), "-");
}

TEST_F(Jobs, LookupRepliesReachOnlyTheJobThatAsked) {
    ProbeJob job(&host, "127.0.0.1");
    job.Start();
    // A reply for a lookup this job did not start (another job held the slot before) is
    // dropped: the job connects once, from its own start.
    int stale = SocketWindow::Instance().LookupHost("127.0.0.1", job.SlotNumber());
    EXPECT_GE(stale, 0);
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(job.connects, 1);
}

// A job its item lets go of inside one of the job's own calls (here: the finish) lives
// until that call has returned, even when the event loop turns inside it.
TEST_F(Jobs, AReleasedJobIsFreedOnlyAfterItsOwnCallReturned) {
    struct Releasing : FakeHost {
        void FinishItem() override {
            ++finished;
            SocketWindow::Instance().Release(std::move(owned));
            SocketWindow::Instance().FreeReleased();
            stillThere = destroyed == false;
        }
        std::unique_ptr<TransferJob> owned;
        bool destroyed = false;
        bool stillThere = false;
    };
    struct Watched : ProbeJob {
        Watched(Releasing* h) : ProbeJob(h, "127.0.0.1"), host(h) {}
        ~Watched() override { host->destroyed = true; }
        Releasing* host;
    };
    Releasing h;
    auto owned = std::make_unique<Watched>(&h);
    Watched* job = owned.get();
    h.owned = std::move(owned);
    job->Start();
    job->SetSize(3);
    job->ChangeFlags(JF_SIZE_LIMITED, 0);
    EXPECT_FALSE(job->HandleData(nullptr, "abc", 3)); // the size is reached: finished
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.stillThere);
    EXPECT_FALSE(h.destroyed);
    EXPECT_FALSE(SocketWindow::Instance().IsRegistered(job));
    SocketWindow::Instance().FreeReleased();
    EXPECT_TRUE(h.destroyed);
}
