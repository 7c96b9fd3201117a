#include "tlstexts.h"

#include "net/transport.h"
#include "store/services.h"

#include <QStringList>

namespace TlsTexts {

namespace {

QString reasonText(const Services &services, TlsRefusal::Reason reason, const QString &detail)
{
    switch (reason) {
    case TlsRefusal::Reason::Expired:
        return services.caption("280121", "the certificate has expired");
    case TlsRefusal::Reason::NotYetValid:
        return services.caption("280122", "the certificate is not valid yet");
    case TlsRefusal::Reason::SelfSigned:
        return services.caption("280123", "the certificate is self-signed");
    case TlsRefusal::Reason::UnknownIssuer:
        return services.caption("280124",
                                "the certificate is not signed by an authority this system trusts");
    case TlsRefusal::Reason::WrongHost:
        return services.caption("280125", "the certificate is made out for another host name");
    case TlsRefusal::Reason::NotTheTrustedOne:
        return services.caption("280126",
                                "it is not the certificate this account trusts (it has changed)");
    case TlsRefusal::Reason::Handshake:
        return services.caption("280127", "the encryption could not be agreed on (%1)").arg(detail);
    }
    return detail;
}

} // namespace

QString refusalText(const Services &services, const QString &name, const QString &host,
                    const TlsRefusal &refusal)
{
    QStringList reasons;
    for (TlsRefusal::Reason reason : refusal.reasons)
        reasons << reasonText(services, reason, refusal.detail);
    QString text = services
                       .caption(QStringLiteral("280120"),
                                QStringLiteral("%1: the secure connection to %2 was refused and "
                                               "nothing was sent over it: %3."))
                       .arg(name, host, reasons.join(QStringLiteral("; ")));
    if (!refusal.sha256.isEmpty())
        text += QLatin1Char(' ')
            + services
                  .caption(QStringLiteral("280128"),
                           QStringLiteral("The certificate's SHA-256 fingerprint is %1."))
                  .arg(refusal.sha256);
    return text;
}

} // namespace TlsTexts
