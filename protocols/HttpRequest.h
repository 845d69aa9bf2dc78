#pragma once
// The GET requests the HTTP transfer sends, byte for byte.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// target: the path, or the whole URL in proxy form; host: the Host value (see
// HostHeader); start: the resume offset (0 for a fresh download); authorization: the
// Authorization value, or empty; ifRange: the validator a resume is conditional on (an
// If-Range line), or empty. Control bytes and spaces in target or host are sent
// percent-escaped: a raw one would end the request line or start a header of its own.
std::string BuildHttpRequest(const std::string& target, const std::string& host, int64_t start,
                             const std::string& authorization,
                             const std::string& ifRange = std::string());

// One segment of a download in several: HTTP/1.1 (the connection may ask again for the
// next segment), bytes first to last (inclusive), conditional on ifRange.
std::string BuildRangeRequest(const std::string& target, const std::string& host, int64_t first,
                              int64_t last, const std::string& authorization,
                              const std::string& ifRange);

// The host as an address writes it: an IPv6 literal in brackets ("[::1]"), a name as it is.
std::string HostName(std::string_view host);

// What one run adds to every request (the terminal's --user-agent and --header): the
// agent replaces the User-Agent line, the lines ("Name: value") follow the others. Lines
// with a control byte are never sent. Empty by default.
struct RequestExtras {
    std::string userAgent;
    std::vector<std::string> lines;
};
void SetRequestExtras(RequestExtras extras);

// The Host value for a server: "host", or "host:port" when port is not the scheme's
// default (443 for https, 21 for ftp fetched through a proxy, 80 for the rest).
std::string HostHeader(std::string_view host, int port, std::string_view scheme);

} // namespace vireo
