#pragma once

#include <QString>

struct Services;
struct TlsRefusal;

// The words that tell why an encrypted connection was refused.
namespace TlsTexts {

// "<name>: the secure connection to <host> was refused and nothing was sent over it: <every
// reason>." followed by the certificate's fingerprint when the server showed one.
QString refusalText(const Services &services, const QString &name, const QString &host,
                    const TlsRefusal &refusal);

} // namespace TlsTexts
