#pragma once

#include "engine/mailsession.h"
#include "fakemailboxfilter.h"
#include "faketransport.h"
#include "logentries.h"
#include "servicesbed.h"

#include <QByteArray>
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

