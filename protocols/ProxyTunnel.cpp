#include "protocols/ProxyTunnel.h"

#include "engine/ErrorText.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpRequest.h"

namespace vireo {

std::string TunnelTarget(std::string_view host, int port) {
    return HostName(host) + ":" + std::to_string(port);
}

std::string TunnelRequest(std::string_view host, int port) {
    std::string target = TunnelTarget(host, port);
    return "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n";
}

TunnelReply ReadTunnelReply(HttpHeaderBuffer& buffer, const char* data, size_t count,
                            size_t limit) {
    TunnelReply reply;
    size_t end = buffer.Append(data, count);
    if (end == 0) {
        if (buffer.Size() > limit)
            reply.kind = TunnelReply::Kind::TooLarge;
        return reply;
    }
    HeaderTable header;
    header.Parse(buffer.Bytes().substr(0, end));
    buffer.Clear();
    reply.statusLine = header.Count() ? header.Name(0) : std::string();
    if (header.Status() == 200) {
        reply.kind = TunnelReply::Kind::Open;
        return reply;
    }
    reply.kind = TunnelReply::Kind::Refused;
    reply.code = header.Status() > 0 ? header.Status() : ErrConnect;
    return reply;
}

} // namespace vireo
