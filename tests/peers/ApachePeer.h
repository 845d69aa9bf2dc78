#pragma once
// A third kind of web server for the HTTP tests: apache2 as one process in the foreground
// (-X) with a configuration of its own under a temporary ServerRoot that loads only the
// modules it needs. Static files with apache2's own ETag, Last-Modified and byte ranges:
// a file changed within the last second has a weak ETag, and an If-Range date matches only
// a file at least a minute old. Started as root it serves as nobody/nogroup.

#include "peers/StaticWebPeer.h"

namespace vireo::test {

class ApachePeer : public StaticWebPeer {
public:
    ApachePeer();

private:
    QString Config(quint16 port) const override;
};

} // namespace vireo::test
