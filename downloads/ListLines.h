#pragma once
// The lines of the list the user sees. The window implements it with a list control,
// the terminal front end and the tests with their own doubles. Line i shows entry i.

#include <cstdint>
#include <string>

namespace vireo {

enum Column { ColFile, ColSize, ColStatus, ColElapsed, ColLeft, ColSpeed, ColAttemp, ColAddress };
inline constexpr int kColumnCount = 8;

// What the Size and Status columns stand for. Views format it with SizeText and
// StatusText, and may draw the received part of the size as a bar.
struct LineProgress {
    enum class Status : uint8_t { Count, Busy, Received, Failed };
    int64_t size = 0;     // 0 while not known
    int64_t received = 0; // bytes of the running transfer
    bool live = false;    // a live stream, which has no size
    Status status = Status::Count;
    std::string failure; // shown instead of the count when failed
    // A download made of a known number of parts (a recorded playlist) counts parts:
    // "3/6 segments"; total 0 otherwise.
    int partsDone = 0;
    int partsTotal = 0;
};

inline std::string SizeText(const LineProgress& progress) {
    return progress.live ? "live" : std::to_string(progress.size);
}

inline std::string StatusText(const LineProgress& progress) {
    switch (progress.status) {
    case LineProgress::Status::Busy:
        return "busy";
    case LineProgress::Status::Received:
        return "received";
    case LineProgress::Status::Failed:
        return progress.failure;
    case LineProgress::Status::Count:
        break;
    }
    if (progress.partsTotal > 0)
        return std::to_string(progress.partsDone) + "/" + std::to_string(progress.partsTotal) +
               " segments";
    return std::to_string(progress.received);
}

class ListLines {
public:
    virtual ~ListLines() = default;
    virtual void AppendLine(const std::string& text, int image) = 0;
    virtual void SetText(int line, int column, const std::string& text) = 0;
    // The Size and Status columns.
    virtual void SetProgress(int line, const LineProgress& progress) = 0;
    virtual void SetImage(int line, int image) = 0;
    virtual void DeleteLine(int line) = 0;
    // The text shown when the pointer rests on the line (why it failed); empty: none.
    virtual void SetTip(int line, const std::string& text) {
        (void)line;
        (void)text;
    }
    virtual int SelectedLine() const = 0; // -1 when none
    virtual void SelectLine(int line) = 0;
};

} // namespace vireo
