#include "protocols/HttpRequest.h"

#include "common/AsciiCase.h"
#include "common/PercentCoding.h"

namespace vireo {

namespace {
const char kAccept[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                       "application/vnd ms-excel, application/msword, */*\r\n";
const char kBrowserLines[] = "Accept-Language: en-us,ru;q=0.5\r\n"
                             "Accept-Encoding: gzip, deflate\r\n"
                             "User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\n";
const char kResumeAgent[] = "User-Agent: Corvid (Build 777) pro\r\n";

// Controls, space and DEL as %XX; every other byte as it is, '%' included, so an escaped
// address is sent unchanged.
std::string WireSafe(std::string_view text) {
    return PercentEncode(text, [](unsigned char c) { return c <= 0x20 || c == 0x7f; });
}
RequestExtras& Extras() {
    static RequestExtras extras;
    return extras;
}

bool HasControl(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

// The fixed lines with the run's agent in place of theirs, then the run's own lines.
std::string WithExtras(std::string lines) {
    const RequestExtras& extras = Extras();
    if (!extras.userAgent.empty() && !HasControl(extras.userAgent)) {
        size_t agent = lines.find("User-Agent: ");
        size_t end = lines.find("\r\n", agent);
        if (agent != std::string::npos && end != std::string::npos)
            lines.replace(agent, end - agent, "User-Agent: " + extras.userAgent);
    }
    for (const std::string& line : extras.lines)
        if (!HasControl(line))
            lines += line + "\r\n";
    return lines;
}
} // namespace

void SetRequestExtras(RequestExtras extras) {
    Extras() = std::move(extras);
}

std::string BuildHttpRequest(const std::string& rawTarget, const std::string& rawHost,
                             int64_t start, const std::string& authorization,
                             const std::string& ifRange) {
    std::string target = WireSafe(rawTarget);
    std::string host = WireSafe(rawHost);
    std::string r;
    if (start == 0) {
        // A fresh download: HTTP/1.1 with the browser-like header set.
        r = "GET " + target + " HTTP/1.1\r\n" + kAccept + kBrowserLines + "Host: " + host + "\r\n";
        r += authorization.empty() ? "Extension: Security/Remote-passphrase\r\n"
                                   : "Authorization: " + authorization + "\r\n";
    } else {
        // A resume: always HTTP/1.0 with a range.
        r = "GET " + target + " HTTP/1.0\r\n" + kResumeAgent + kAccept +
            "Range: bytes=" + std::to_string(start) + "-\r\nHost: " + host + "\r\n";
        if (!authorization.empty())
            r += "Authorization: " + authorization + "\r\n";
        // The range is appended only while the file is still the one the part came from;
        // otherwise the server sends all of it.
        if (!ifRange.empty())
            r += "If-Range: " + ifRange + "\r\n";
    }
    return WithExtras(std::move(r)) + "\r\n";
}

std::string BuildRangeRequest(const std::string& rawTarget, const std::string& rawHost,
                              int64_t first, int64_t last, const std::string& authorization,
                              const std::string& ifRange) {
    // No Accept-Encoding: a range of a compressed body is no range of the file.
    std::string r = "GET " + WireSafe(rawTarget) + " HTTP/1.1\r\n" + kResumeAgent + kAccept +
                    "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) +
                    "\r\nHost: " + WireSafe(rawHost) + "\r\n";
    if (!authorization.empty())
        r += "Authorization: " + authorization + "\r\n";
    if (!ifRange.empty())
        r += "If-Range: " + ifRange + "\r\n";
    return WithExtras(std::move(r)) + "\r\n";
}

std::string HostName(std::string_view host) {
    if (host.find(':') != std::string_view::npos)
        return "[" + std::string(host) + "]";
    return std::string(host);
}

std::string HostHeader(std::string_view host, int port, std::string_view scheme) {
    std::string lower = AsciiLower(scheme);
    int standard = lower == "https" ? 443 : lower == "ftp" ? 21 : 80;
    std::string value = HostName(host);
    if (port != standard)
        value += ":" + std::to_string(port);
    return value;
}

} // namespace vireo
