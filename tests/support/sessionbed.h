#pragma once

#include "fakemailboxfilter.h"
#include "faketransport.h"
#include "logentries.h"
#include "servicesbed.h"
#include "session/mailsession.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QStringList>

#include <memory>
#include <ostream>

inline void PrintTo(SessionStatus status, std::ostream *os)
{
    static const char *const names[]
        = {"Ok",      "ConnectFailed", "TlsFailed", "AuthRejected", "ProtocolError",
           "Timeout", "Cancelled"};
    *os << names[int(status)];
}

// What the session under test needs around it: a fake connection that the session owns,
// recording services and verdicts, and what it emitted.
struct SessionBed
{
    // The sessions' own tests expect today's deletions; ask mode switches it back on.
    SessionBed() { services.settings.AskBeforeDel = false; }

    // Counts the session's signals and keeps its result.
    void watch(MailSession &session)
    {
        QObject::connect(&session, &MailSession::finished, [this](const SessionResult &r) {
            ++finishedCount;
            result = r;
        });
        QObject::connect(&session, &MailSession::activity, [this] { ++activityCount; });
    }
    // The server's bytes, whole or one byte per arrival.
    void send(const QByteArray &bytes)
    {
        if (!isBytewise)
            return net.serverSends(bytes);
        for (char byte : bytes)
            net.serverSends(QByteArray(1, byte));
    }
    QStringList log() const { return logEntries(services.log.path()); }

    bool isBytewise = false;
    ServicesBed services;
    std::unique_ptr<FakeTransport> ownNet = std::make_unique<FakeTransport>(); // to the session
    FakeTransport &net = *ownNet;
    FakeMailboxFilter filter;
    int finishedCount = 0;
    int activityCount = 0;
    SessionResult result; // of the latest finished()
};

// While it lives, the protocol dialogue is switched on and collected instead of printed.
class ProtocolLogCapture
{
public:
    ProtocolLogCapture()
    {
        lines().clear();
        QLoggingCategory::setFilterRules(QStringLiteral("korvane.protocol.debug=true"));
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &context, const QString &text) {
                if (QByteArrayView(context.category) == "korvane.protocol")
                    lines() << text;
            });
    }
    ~ProtocolLogCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
    }
    ProtocolLogCapture(const ProtocolLogCapture &) = delete;
    ProtocolLogCapture &operator=(const ProtocolLogCapture &) = delete;

    static QStringList &lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    QtMessageHandler m_previous = nullptr;
};
