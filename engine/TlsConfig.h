#pragma once
// The TLS settings of every encrypted connection: the system's certificate store, plus
// the CA file named by the setting "cafile" or $VIREO_CA_FILE (private CAs, tests).

#include <QSslConfiguration>

namespace vireo {

QSslConfiguration ClientTlsConfiguration();

} // namespace vireo
