#pragma once
// The tunnel an https transfer opens through an HTTP proxy: CONNECT host:port, then TLS
// with the server inside it once the proxy answered 200.

#include "protocols/HttpHeaderBuffer.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vireo {

// "host:port" as CONNECT names it (an IPv6 literal in brackets).
std::string TunnelTarget(std::string_view host, int port);
// The whole CONNECT request for host:port.
std::string TunnelRequest(std::string_view host, int port);

// The proxy's answer to CONNECT as far as it has come.
struct TunnelReply {
    enum class Kind {
        Partial,  // its header has not ended yet
        TooLarge, // its header ran past the limit
        Open,     // 200: TLS with the server goes next
        Refused,  // any other answer: the transfer fails with code
    };
    Kind kind = Kind::Partial;
    int code = 0;
    std::string statusLine; // logged as received, once the header ended
};
// Adds a read of the reply to buffer; limit is the most a header may have. Once the
// header ended the buffer is cleared.
TunnelReply ReadTunnelReply(HttpHeaderBuffer& buffer, const char* data, size_t count, size_t limit);

} // namespace vireo
