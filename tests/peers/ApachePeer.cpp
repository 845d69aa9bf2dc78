#include "peers/ApachePeer.h"

#include <QDir>

#include <unistd.h>

namespace vireo::test {

ApachePeer::ApachePeer() : StaticWebPeer("apache2", "-X") {
    QDir().mkpath(Path("run"));
}

QString ApachePeer::Config(quint16 port) const {
    // The event MPM serves several connections at once even in one process. The logs and
    // the listening socket are opened before root is given up.
    QString config = QString(R"(ServerRoot "%1"
ServerName 127.0.0.1
Listen 127.0.0.1:%2
PidFile "%3/apache2.pid"
DefaultRuntimeDir "%3"
LoadModule mpm_event_module %4/mod_mpm_event.so
LoadModule authz_core_module %4/mod_authz_core.so
LoadModule mime_module %4/mod_mime.so
ErrorLog "%5"
LogLevel info
LogFormat "%a \"%r\" %>s %B \"%{Range}i\" \"%{If-Range}i\"" vireo
CustomLog "%6" vireo
TypesConfig /dev/null
AddType text/html .html .htm
AddType text/plain .txt
DocumentRoot "%7"
<Directory />
  Require all denied
</Directory>
<Directory "%7">
  Require all granted
</Directory>
)")
                         .arg(Path("."))
                         .arg(port)
                         .arg(Path("run"), "/usr/lib/apache2/modules", Path("error.log"),
                              Path("access.log"), DocRoot());
    if (geteuid() == 0)
        config += "User nobody\nGroup nogroup\n";
    return config;
}

} // namespace vireo::test
