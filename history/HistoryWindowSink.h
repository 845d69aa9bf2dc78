#pragma once
// What the history store needs from the history window. The window of the
// front end implements it; the store holds it without owning it.

namespace vireo {

class HistoryStore;

class HistoryWindowSink {
public:
    // Close at once (at exit): the window calls store.DetachWindow(this) and destroys
    // itself before returning (the store forgets it afterwards in any case).
    virtual void CloseHistoryWindow(HistoryStore& store) = 0;

protected:
    ~HistoryWindowSink() = default;
};

} // namespace vireo
