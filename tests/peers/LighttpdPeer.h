#pragma once
// A second kind of web server for the HTTP tests: lighttpd in the foreground (-D), serving
// static files with its own ETag, Last-Modified and byte ranges. As on a stock install
// every file has a type (.html .htm text/html, .txt text/plain, anything else
// application/octet-stream): lighttpd leaves both validators off a file it finds no type
// for. It takes a range only in an HTTP/1.1 request, and for up to a second after a file
// changed it may still name the old length and tag.

#include "peers/StaticWebPeer.h"

namespace vireo::test {

class LighttpdPeer : public StaticWebPeer {
public:
    LighttpdPeer() : StaticWebPeer("lighttpd", "-D") {}

private:
    QString Config(quint16 port) const override;
};

} // namespace vireo::test
