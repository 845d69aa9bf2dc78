#pragma once
// Display state of one line of the download list, kept beside its item.

#include <cstdint>

namespace vireo {

enum class ItemState : uint8_t { Stopped = 0, Running = 1, Done = 2, Waiting = 3, Failed = 4 };

struct ItemRow {
    int32_t elapsed = 0; // seconds running, counted by the document's tick
    ItemState state = ItemState::Waiting;
    uint8_t linkToPage = 0; // harvest the page's links once it is received
    int32_t imageCycle = 0; // picks the image of a running row; never negative
};

// Images of the 16x16 state strip that rows use.
namespace row_image {
inline constexpr int Stopped = 0;
inline constexpr int AttemptsUsed = 1;
inline constexpr int Done = 2;
inline constexpr int Waiting = 3;
inline constexpr int Failed = 4;
inline constexpr int Busy = 5;
inline constexpr int RunningFirst = 6; // 6..16 animate a receiving row
inline constexpr int RunningFrames = 11;
inline constexpr int RunningStill = 11;
inline constexpr int Unauthorized = 28;
} // namespace row_image

} // namespace vireo
