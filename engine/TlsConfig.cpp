#include "engine/TlsConfig.h"

#include "settings/SettingsStore.h"

#include <QSslCertificate>

namespace vireo {

QSslConfiguration ClientTlsConfiguration() {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QString caFile = qEnvironmentVariable("VIREO_CA_FILE");
    if (caFile.isEmpty())
        caFile = QString::fromStdString(Settings().GetString(keys::CaFile));
    if (!caFile.isEmpty()) {
        QList<QSslCertificate> extra = QSslCertificate::fromPath(caFile);
        if (!extra.isEmpty())
            config.addCaCertificates(extra);
    }
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return config;
}

} // namespace vireo
