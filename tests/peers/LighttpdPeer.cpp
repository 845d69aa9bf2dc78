#include "peers/LighttpdPeer.h"

namespace vireo::test {

QString LighttpdPeer::Config(quint16 port) const {
    // lighttpd keeps access lines in memory for up to four seconds unless the log is a
    // pipe; cat writes each line as it comes.
    return QString(R"(server.document-root = "%1"
server.bind = "127.0.0.1"
server.port = %2
server.errorlog = "%3"
server.modules = ("mod_accesslog", "mod_staticfile")
accesslog.filename = "|exec cat >> '%4'"
accesslog.format = "%h \"%r\" %>s %b \"%{Range}i\" \"%{If-Range}i\""
mimetype.assign = (
  ".html" => "text/html", ".htm" => "text/html", ".txt" => "text/plain",
  "" => "application/octet-stream",
)
)")
        .arg(DocRoot())
        .arg(port)
        .arg(Path("error.log"), Path("access.log"));
}

} // namespace vireo::test
