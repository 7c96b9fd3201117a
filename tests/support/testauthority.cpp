#include "testauthority.h"

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

bool trustAuthority(const QString &pemFile)
{
    const QList<QSslCertificate> authority = QSslCertificate::fromPath(pemFile);
    if (authority.isEmpty())
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!configuration.caCertificates().contains(authority.first())) {
        configuration.addCaCertificates(authority);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    return true;
}
