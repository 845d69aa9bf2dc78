#pragma once
// What a transfer log needs from the window that shows it. The log window of
// the front end implements it; the log holds it without owning it.

namespace vireo {

class TransferLog;

class LogWindowSink {
public:
    // Command 12345, sent synchronously after a line is on disk: append log.LastRecord().
    virtual void OnLogRecordAdded(const TransferLog& log) = 0;
    // Close at once: the window calls log.DetachWindow(this) and destroys itself before
    // returning (the log forgets it afterwards in any case).
    virtual void CloseLogWindow(TransferLog& log) = 0;

protected:
    ~LogWindowSink() = default;
};

} // namespace vireo
