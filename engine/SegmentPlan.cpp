#include "engine/SegmentPlan.h"

#include <algorithm>

namespace vireo {

SegmentPlan::SegmentPlan(const SegmentState& state) : m_total(std::max<int64_t>(state.total, 0)) {
    for (const ByteRange& range : state.missing)
        m_pieces.push_back({range.first, range.end, -1});
}

SegmentPlan SegmentPlan::Fresh(int64_t total, int64_t from, int count) {
    SegmentPlan plan;
    plan.m_total = total;
    int64_t left = total - from;
    if (left <= 0)
        return plan;
    int64_t pieces = std::clamp<int64_t>(left / kMinPiece, 1, std::max(count, 1));
    for (int64_t i = 0; i < pieces; ++i)
        plan.m_pieces.push_back({from + left * i / pieces, from + left * (i + 1) / pieces, -1});
    return plan;
}

int SegmentPlan::Take(int owner) {
    int best = -1;
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& p = m_pieces[i];
        if (p.owner < 0 && p.Left() > 0 && (best < 0 || p.next < At(best).next))
            best = int(i);
    }
    if (best >= 0) {
        m_pieces[size_t(best)].owner = owner;
        return best;
    }
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& p = m_pieces[i];
        if (p.owner >= 0 && p.Left() >= 2 * kMinPiece && (best < 0 || p.Left() > At(best).Left()))
            best = int(i);
    }
    if (best < 0)
        return -1;
    Piece& victim = m_pieces[size_t(best)];
    int64_t middle = victim.next + victim.Left() / 2;
    m_pieces.push_back({middle, victim.end, owner});
    m_pieces[size_t(best)].end = middle; // the push may have moved it: index, not victim
    return int(m_pieces.size() - 1);
}

void SegmentPlan::Advance(int piece, int64_t count) {
    Piece& p = m_pieces[size_t(piece)];
    p.next = std::min(p.end, p.next + count);
}

void SegmentPlan::Release(int piece) {
    m_pieces[size_t(piece)].owner = -1;
}

int64_t SegmentPlan::DoneBytes() const {
    int64_t missing = 0;
    for (const Piece& p : m_pieces)
        missing += p.Left();
    return m_total - missing;
}

bool SegmentPlan::Done() const {
    return std::all_of(m_pieces.begin(), m_pieces.end(),
                       [](const Piece& p) { return p.Left() == 0; });
}

SegmentState SegmentPlan::State() const {
    SegmentState state;
    state.total = m_total;
    for (const Piece& p : m_pieces)
        if (p.Left() > 0)
            state.missing.push_back({p.next, p.end});
    std::sort(state.missing.begin(), state.missing.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    std::vector<ByteRange> merged;
    for (const ByteRange& range : state.missing) {
        if (!merged.empty() && merged.back().end == range.first)
            merged.back().end = range.end;
        else
            merged.push_back(range);
    }
    state.missing = std::move(merged);
    return state;
}

} // namespace vireo
