#include "services.h"

#include "actionlog.h"
#include "lang/language.h"
#include "platform/notifier.h"

QString Services::caption(const QString &key, const QString &defaultText) const
{
    return lang.SetCaptionfromINI(key, defaultText);
}

QString Services::caption(const char *key, const char *defaultText) const
{
    return lang.SetCaptionfromINI(QString::fromLatin1(key), QString::fromUtf8(defaultText));
}

void Services::ErrorReport(const QString &description, const QString &procedure)
{
    const QString text = caption(QStringLiteral("10133"), QStringLiteral("Error:"))
        + QStringLiteral(" ") + description + u'(' + procedure + u')';
    notifier.ShowTrayWindow(text);
    log.Log(text);
}
