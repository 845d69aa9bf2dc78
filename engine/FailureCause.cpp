#include "engine/FailureCause.h"

#include "engine/ErrorText.h"

namespace vireo {

std::string PlainWords(std::string_view text, size_t maxLength) {
    std::string out;
    for (char c : text) {
        if (out.size() >= maxLength)
            break;
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return out;
}

std::string FailureSummary(int code, int64_t receivedBytes, const FailureCause& cause) {
    // Once the attempts ran out the status shows only the byte count; the kind of the
    // last attempt's failure says more.
    std::string head;
    if (code == ErrAttempts)
        head = cause.kind != 0 ? ErrorText(cause.kind, receivedBytes) : std::string();
    else
        head = ErrorText(code, receivedBytes);
    std::string text;
    if (cause.words.empty())
        text = head.empty() ? ErrorText(code, receivedBytes) : head;
    else if (head.empty() || cause.words.compare(0, head.size(), head) == 0)
        text = cause.words; // "certificate error: ..." names its kind already
    else
        text = head + " - " + cause.words;

    std::string detail;
    if (cause.attempts > 0)
        detail = std::to_string(cause.attempts) + (cause.attempts == 1 ? " attempt" : " attempts");
    if (receivedBytes > 0)
        detail += (detail.empty() ? "" : ", ") + std::to_string(receivedBytes) + " bytes kept";
    return detail.empty() ? text : text + " (" + detail + ")";
}

} // namespace vireo
