#include "accountsecurity.h"

#include "platform/cregister.h"

#include <QUrl>

namespace {

// "Security/<type>,<user>,<server>,<port>/": each part percent-encoded, so that a '/' or a
// '\' in a user name never opens another group of the store.
QString group(const MailAccount &account)
{
    const auto part = [](const QByteArray &text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(text)));
    };
    return QStringLiteral("Security/") + part(account.ServerType) + u',' + part(account.UserName)
        + u',' + part(account.MailServer) + u',' + QString::number(account.Port) + u'/';
}

bool saveOrRemove(CRegister &store, const QString &name, const QString &value)
{
    return value.isEmpty() ? store.REGDeleteSetting(name) : store.REGSaveSetting(name, value);
}

} // namespace

QString securityModeName(SecurityMode mode)
{
    switch (mode) {
    case SecurityMode::SslTls:
        return QStringLiteral("SSL/TLS");
    case SecurityMode::StartTls:
        return QStringLiteral("STARTTLS");
    case SecurityMode::None:
        return QStringLiteral("None");
    }
    return {};
}

std::optional<SecurityMode> securityModeFromName(const QString &name)
{
    for (SecurityMode mode : {SecurityMode::SslTls, SecurityMode::StartTls, SecurityMode::None}) {
        if (name == securityModeName(mode))
            return mode;
    }
    return std::nullopt;
}

AccountSecurity LoadAccountSecurity(const CRegister &store, const MailAccount &account)
{
    const QString prefix = group(account);
    AccountSecurity security;
    security.mode = securityModeFromName(store.REGGetSetting(prefix + "Mode", QString()));
    security.trustedSha256 = store.REGGetSetting(prefix + "TrustedCertificate", QString());
    return security;
}

bool SaveAccountSecurity(CRegister &store, const MailAccount &account,
                         const AccountSecurity &security)
{
    const QString prefix = group(account);
    const QString mode = security.mode ? securityModeName(*security.mode) : QString();
    const bool isModeSaved = saveOrRemove(store, prefix + "Mode", mode);
    return saveOrRemove(store, prefix + "TrustedCertificate", security.trustedSha256)
        && isModeSaved;
}

QString LoadRefusedCertificate(const CRegister &store, const MailAccount &account)
{
    return store.REGGetSetting(group(account) + "RefusedCertificate", QString());
}

bool SaveRefusedCertificate(CRegister &store, const MailAccount &account, const QString &sha256)
{
    return saveOrRemove(store, group(account) + "RefusedCertificate", sha256);
}
