// The token bucket with the time given by the test, and the rates people write.
#include "engine/RateLimiter.h"

#include <gtest/gtest.h>

using namespace vireo;

namespace {
constexpr int64_t kMs = 1'000'000; // nanoseconds

// Reads as fast as the bucket allows in steps of stepMs for totalMs; the bytes taken.
int64_t Drain(TokenBucket& bucket, int64_t startNs, int64_t stepMs, int64_t totalMs) {
    int64_t taken = 0;
    for (int64_t t = 0; t <= totalMs; t += stepMs) {
        int64_t n = bucket.Available(startNs + t * kMs);
        if (n > 0) {
            bucket.Take(n);
            taken += n;
        }
    }
    return taken;
}
} // namespace

TEST(TokenBucket, StartsEmptyAndFillsAtItsRate) {
    TokenBucket bucket;
    bucket.SetRate(1000, 5 * kMs);
    EXPECT_EQ(bucket.Available(5 * kMs), 0);
    EXPECT_EQ(bucket.Available(55 * kMs), 50);
    bucket.Take(50);
    EXPECT_EQ(bucket.Available(55 * kMs), 0);
    // Time that goes backwards adds nothing.
    EXPECT_EQ(bucket.Available(40 * kMs), 0);
}

TEST(TokenBucket, AnyTenSecondsHoldAtMostTheRateAndATenthOfASecond) {
    const int64_t rate = 2 * 1024 * 1024;
    for (int64_t step : {1, 7, 10, 33, 250}) {
        TokenBucket bucket;
        bucket.SetRate(rate, 0);
        int64_t taken = Drain(bucket, 0, step, 10'000);
        EXPECT_LE(taken, rate * 10 + rate / 10) << step;
        // A reader that comes at least once per capacity loses nothing.
        if (step <= 100) {
            EXPECT_GE(taken, rate * 10 - rate * step / 1000 - 1) << step;
        }
    }
    // An idle reader gathers no more than the capacity.
    TokenBucket idle;
    idle.SetRate(rate, 0);
    EXPECT_EQ(idle.Available(60'000 * kMs), idle.Capacity());
    EXPECT_EQ(idle.Capacity(), rate / 10);
}

TEST(TokenBucket, OverdrawnBytesArePaidBackBeforeMore) {
    TokenBucket bucket;
    bucket.SetRate(1000, 0);
    bucket.Take(300); // read past the budget (the rest of a closed connection)
    EXPECT_EQ(bucket.Available(100 * kMs), -200);
    EXPECT_EQ(bucket.Available(400 * kMs), 100);
}

TEST(TokenBucket, ARateChangeKeepsWhatGatheredWithinTheNewCapacity) {
    TokenBucket bucket;
    bucket.SetRate(10000, 0);
    EXPECT_EQ(bucket.Available(100 * kMs), 1000);
    bucket.SetRate(5000, 100 * kMs); // capacity 500
    EXPECT_EQ(bucket.Available(100 * kMs), 500);
    bucket.SetRate(0, 100 * kMs);
    EXPECT_FALSE(bucket.Limited());
}

TEST(RateText, BytesOrKOrMAfterTheNumber) {
    struct Case {
        const char* text;
        int64_t bytes;
    } cases[] = {
        {"0", 0},
        {"1500", 1500},
        {"500k", 512000},
        {"500K", 512000},
        {"2M", 2097152},
        {"2m", 2097152},
        {"1.5m", 1572864},
        {"0.5k", 512},
        {"", -1},
        {"k", -1},
        {"-1", -1},
        {"2G", -1},
        {"2 M", -1},
        {"1.2.3", -1},
        {".", -1},
        {"2MB", -1},
        {"9999999999999999999", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseRateText(c.text), c.bytes) << c.text;
}
