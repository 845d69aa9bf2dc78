#pragma once
// Who fetches which bytes of a download in several segments. Each piece is a range with
// the offset of its next missing byte and, while a connection works on it, that
// connection's number. A connection that has finished its piece takes an untaken one, or
// else the back half of the largest piece still being fetched, so that a slow connection
// does not hold the end of the file back. No sockets, no file: the transfer asks, this
// answers.

#include "engine/SegmentState.h"

#include <cstdint>
#include <vector>

namespace vireo {

class SegmentPlan {
public:
    // A piece is only split when both halves keep at least this many bytes: smaller
    // ones are not worth a connection of their own.
    static constexpr int64_t kMinPiece = 512 * 1024;

    struct Piece {
        int64_t next = 0; // the next byte missing
        int64_t end = 0;  // one past the piece's last byte
        int owner = -1;   // the connection fetching it, -1 for none
        int64_t Left() const { return end - next; }
    };

    // The missing ranges of a state, each a piece of its own.
    explicit SegmentPlan(const SegmentState& state);
    // Bytes from up to total missing, cut into count pieces of nearly equal size (fewer
    // when they would be smaller than kMinPiece).
    static SegmentPlan Fresh(int64_t total, int64_t from, int count);

    // The piece for connection owner: the untaken one that starts first, else the back
    // half of the piece with the most bytes left (its owner's piece ends where the new
    // one starts). -1 when nothing is left to take.
    int Take(int owner);
    // Count bytes of piece arrived at its next byte (never past its end).
    void Advance(int piece, int64_t count);
    // The piece's connection is gone; the piece waits for another.
    void Release(int piece);

    const Piece& At(int piece) const { return m_pieces[size_t(piece)]; }
    size_t Count() const { return m_pieces.size(); }
    int64_t Total() const { return m_total; }
    int64_t DoneBytes() const;
    bool Done() const;
    // What is missing, merged, for keeping with the file.
    SegmentState State() const;

private:
    SegmentPlan() = default;

    int64_t m_total = 0;
    std::vector<Piece> m_pieces;
};

} // namespace vireo
