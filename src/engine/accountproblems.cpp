#include "accountproblems.h"

#include "platform/showntext.h"
#include "store/services.h"

#include <algorithm>

bool AccountProblems::recordEnd(const QByteArray &account, const SessionResult &result,
                                const QString &reason, const QDateTime &at)
{
    if (result.status == SessionStatus::Cancelled)
        return false;
    const auto known = std::find_if(m_problems.begin(), m_problems.end(),
                                    [&account](const Problem &p) { return p.account == account; });
    if (result.status == SessionStatus::Ok) {
        if (known == m_problems.end())
            return false;
        m_problems.erase(known);
        return true;
    }
    if (known != m_problems.end())
        *known = Problem {account, reason, at};
    else
        m_problems.append(Problem {account, reason, at});
    return true;
}

QString AccountProblems::reasonText(const Services &services, const SessionResult &result)
{
    QString reason;
    switch (result.status) {
    case SessionStatus::Ok:
    case SessionStatus::Cancelled:
        return {};
    case SessionStatus::ConnectFailed:
        reason = services.caption("280500", "no connection to the server");
        break;
    case SessionStatus::TlsFailed:
        reason = services.caption("280501", "the connection could not be encrypted");
        break;
    case SessionStatus::AuthRejected:
        reason = services.caption("280502", "the server refused the user name or the password");
        break;
    case SessionStatus::ProtocolError:
        reason = services.caption("280503", "the server broke off the check");
        break;
    case SessionStatus::Timeout:
        reason = services.caption("280504", "the server did not answer in time");
        break;
    }
    return result.serverText.isEmpty() ? reason
                                       : reason + QStringLiteral(" (") + result.serverText + u')';
}

QString AccountProblems::listText(const Services &services, const QList<Problem> &problems)
{
    QStringList lines {services.caption("280505", "The last check of these accounts failed:")};
    for (const Problem &p : problems)
        lines << QStringLiteral("%1, %2: %3")
                     .arg(shownText(p.account), p.at.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                          p.reason);
    return lines.join(u'\n');
}
