// The plan of a download in segments, driven by tables of steps: which bytes each
// connection is given, how the back half of the largest piece goes to a connection that
// is free, and what is kept with the file.
#include "engine/SegmentPlan.h"
#include "engine/SegmentState.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vireo;

namespace {
constexpr int64_t M = 1024 * 1024;
constexpr int64_t K = 1024;

// One step: take for an owner (and the piece expected, or none), advance a piece, or
// release one.
struct Op {
    char what;                  // 'T' take, 'A' advance, 'R' release
    int who;                    // owner for T, piece for A and R
    int64_t first = 0, end = 0; // T: expected piece (end 0: nothing to take); A: count in first
};

struct PlanCase {
    const char* name;
    int64_t total, from;
    int count;
    std::vector<Op> ops;
    std::vector<ByteRange> missing; // the state kept afterwards
};

const PlanCase kCases[] = {
    {"four even pieces, then the fifth connection halves the first",
     8 * M,
     0,
     4,
     {{'T', 0, 0, 2 * M},
      {'T', 1, 2 * M, 4 * M},
      {'T', 2, 4 * M, 6 * M},
      {'T', 3, 6 * M, 8 * M},
      {'T', 4, 1 * M, 2 * M}},
     {{0, 8 * M}}},
    {"the pieces start where the bytes on disk end",
     10 * M,
     4 * M,
     3,
     {{'T', 0, 4 * M, 6 * M}, {'T', 1, 6 * M, 8 * M}, {'T', 2, 8 * M, 10 * M}},
     {{4 * M, 10 * M}}},
    {"small file: fewer pieces, none split below the minimum",
     1536 * K,
     0,
     8,
     {{'T', 0, 0, 512 * K},
      {'T', 1, 512 * K, 1024 * K},
      {'T', 2, 1024 * K, 1536 * K},
      {'T', 3, 0, 0}},
     {{0, 1536 * K}}},
    {"the free connection takes half of the piece with the most bytes left",
     8 * M,
     0,
     2,
     {{'T', 0, 0, 4 * M},
      {'T', 1, 4 * M, 8 * M},
      {'A', 0, 3 * M},
      {'T', 2, 6 * M, 8 * M}, // piece 1 has 4 MiB left, piece 0 one
      {'A', 1, 2 * M},        // piece 1 (now 4-6 MiB) is done
      {'T', 1, 7 * M, 8 * M}, // piece 2 has 2 MiB left, piece 0 one
      {'A', 0, 1 * M}},
     {{6 * M, 8 * M}}},
    {"a released piece goes to the next connection before any is split",
     4 * M,
     0,
     2,
     {{'T', 0, 0, 2 * M},
      {'T', 1, 2 * M, 4 * M},
      {'A', 0, 1 * M},
      {'R', 0},
      {'T', 5, 1 * M, 2 * M}},
     {{1 * M, 4 * M}}},
    {"advancing never passes a piece's end; done pieces leave gaps in the state",
     4 * M,
     0,
     4,
     {{'T', 0, 0, 1 * M}, {'T', 1, 1 * M, 2 * M}, {'A', 1, 5 * M}, {'A', 0, 512 * K}},
     {{512 * K, 1 * M}, {2 * M, 4 * M}}},
};

TEST(SegmentPlan, Steps) {
    for (const PlanCase& c : kCases) {
        SegmentPlan plan = SegmentPlan::Fresh(c.total, c.from, c.count);
        std::vector<int> pieceOf(8, -1);
        for (size_t i = 0; i < c.ops.size(); ++i) {
            const Op& op = c.ops[i];
            if (op.what == 'T') {
                int piece = plan.Take(op.who);
                if (op.end == 0) {
                    EXPECT_EQ(piece, -1) << c.name << " step " << i;
                    continue;
                }
                ASSERT_GE(piece, 0) << c.name << " step " << i;
                EXPECT_EQ(plan.At(piece).next, op.first) << c.name << " step " << i;
                EXPECT_EQ(plan.At(piece).end, op.end) << c.name << " step " << i;
                EXPECT_EQ(plan.At(piece).owner, op.who) << c.name << " step " << i;
            } else if (op.what == 'A') {
                plan.Advance(op.who, op.first);
            } else {
                plan.Release(op.who);
            }
        }
        SegmentState state = plan.State();
        EXPECT_EQ(state.total, c.total) << c.name;
        EXPECT_EQ(state.missing, c.missing) << c.name;
        EXPECT_EQ(plan.DoneBytes(), c.total - state.MissingBytes()) << c.name;
    }
}

// Every byte is fetched once, whatever order the connections finish in: a plan driven
// to its end by connections taking turns covers the file without overlap.
TEST(SegmentPlan, DrivenToTheEndCoversEveryByteOnce) {
    const int64_t total = 37 * M + 12345;
    SegmentPlan plan = SegmentPlan::Fresh(total, 3 * M, 5);
    std::vector<int> holding(5, -1);
    std::vector<ByteRange> fetched;
    for (int round = 0; !plan.Done() && round < 100000; ++round) {
        int who = round % 5;
        if (holding[size_t(who)] < 0 || plan.At(holding[size_t(who)]).Left() == 0)
            holding[size_t(who)] = plan.Take(who);
        int piece = holding[size_t(who)];
        if (piece < 0)
            continue;
        // Slow and fast connections: each moves by its own step.
        int64_t step = std::min<int64_t>(plan.At(piece).Left(), (who + 1) * 300 * K);
        EXPECT_EQ(plan.At(piece).owner, who);
        fetched.push_back({plan.At(piece).next, plan.At(piece).next + step});
        plan.Advance(piece, step);
    }
    EXPECT_TRUE(plan.Done());
    EXPECT_EQ(plan.DoneBytes(), total);
    EXPECT_TRUE(plan.State().missing.empty());
    std::sort(fetched.begin(), fetched.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    int64_t at = 3 * M;
    for (const ByteRange& range : fetched) {
        ASSERT_EQ(range.first, at); // no gap, no byte twice
        at = range.end;
    }
    EXPECT_EQ(at, total);
}

TEST(SegmentState, TextRoundTripAndWhatIsRefused) {
    SegmentState state{100, {{0, 10}, {20, 30}, {90, 100}}};
    EXPECT_EQ(FormatSegments(state), "total 100\nmissing 0 10\nmissing 20 30\nmissing 90 100\n");
    EXPECT_EQ(ParseSegments(FormatSegments(state)), state);
    EXPECT_EQ(ParseSegments("total 7\n"), (SegmentState{7, {}})); // every byte is there
    EXPECT_EQ(FormatSegments({}), "");
    for (const char* bad :
         {"missing 0 10\n", "total 100\nmissing 10 5\n", "total 100\nmissing 0 10\nmissing 5 20\n",
          "total 100\nmissing 90 101\n", "total 100\nmissing 20 30\nmissing 0 10\n", "total -5\n",
          "total 100\nmissing 1\n", "total 100\nmissing a b\n", "total 100\nother 1 2\n",
          "total 1x\n"})
        EXPECT_TRUE(ParseSegments(bad).Empty()) << bad;
}
} // namespace
