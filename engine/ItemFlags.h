#pragma once
// Bits of an item's flag word. A job keeps the same bits in its own word and mirrors every
// change onto its item, so the shared bits carry the item's names.

#include <cstdint>

namespace vireo {

inline constexpr uint32_t IF_RECEIVING = 0x1;      // data arrived in this attempt
inline constexpr uint32_t IF_BUSY = 0x10;          // streaming server reported itself busy
inline constexpr uint32_t IF_LIVE = 0x40;          // a stream without an end
inline constexpr uint32_t IF_DIRTY = 0x80;         // progress since the row was refreshed
inline constexpr uint32_t IF_FAILED = 0x100;       // the item failed; see its last error
inline constexpr uint32_t IF_RECEIVED = 0x200;     // the item finished
inline constexpr uint32_t IF_NO_NAME = 0x10000000; // target name derived from the URL
inline constexpr uint32_t IF_RESUME = 0x20000000;  // keep what the target file holds

} // namespace vireo
