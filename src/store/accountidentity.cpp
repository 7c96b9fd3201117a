#include "accountidentity.h"

#include <QList>

AccountIdentity identityOf(const MailAccount &account)
{
    return {account.ServerType, account.UserName, account.MailServer, account.Port};
}

QByteArray identityKey(const AccountIdentity &identity)
{
    // The separator is encoded inside the parts, so the key splits back unambiguously; the
    // encoded texts hold no line break either.
    return identity.ServerType.toPercentEncoding() + ',' + identity.UserName.toPercentEncoding()
        + ',' + identity.MailServer.toPercentEncoding() + ',' + QByteArray::number(identity.Port);
}

std::optional<AccountIdentity> identityFromKey(const QByteArray &key)
{
    const QList<QByteArray> parts = key.split(',');
    if (parts.size() != 4)
        return std::nullopt;
    bool isNumber = false;
    const qint16 port = parts.at(3).toShort(&isNumber);
    if (!isNumber)
        return std::nullopt;
    AccountIdentity identity {QByteArray::fromPercentEncoding(parts.at(0)),
                              QByteArray::fromPercentEncoding(parts.at(1)),
                              QByteArray::fromPercentEncoding(parts.at(2)), port};
    // Only the key's own spelling: another one would be written back differently.
    if (identityKey(identity) != key)
        return std::nullopt;
    return identity;
}
