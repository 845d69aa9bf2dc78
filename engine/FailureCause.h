#pragma once
// Why a download failed, in words a user understands: the status texts are terse ("(0)"
// after the attempts ran out), so the item also keeps what went wrong on the last attempt
// and how many attempts were made.

#include <cstdint>
#include <string>
#include <string_view>

namespace vireo {

struct FailureCause {
    // "connection refused", "host not found", "timed out", "HTTP 503 Service Unavailable";
    // empty when the failure itself says it all (disk full, a file that cannot be opened).
    std::string words;
    // The kind of failure the words belong to, as an error code (ErrConnect for a
    // connection that could not be made); 0 when the words stand alone.
    int kind = 0;
    // Attempts started before the item failed.
    int attempts = 0;
};

// Printable ASCII only, at most maxLength characters: the words may come from a server
// and end up on a terminal.
std::string PlainWords(std::string_view text, size_t maxLength = 160);

// One line for a failed item: "can't establish connection - connection refused
// (5 attempts)". code is the item's error code, receivedBytes what its file holds.
std::string FailureSummary(int code, int64_t receivedBytes, const FailureCause& cause);

} // namespace vireo
