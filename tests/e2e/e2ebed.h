#pragma once

#include "e2erules.h"
#include "engine/korvanecore.h"
#include "mailserver.h"
#include "store/accountsecurity.h"
#include "support/coretestbed.h"
#include "support/logentries.h"
#include "support/sessionbed.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

// A message as a mail client sends it, with a Message-ID of its own.
inline QByteArray mail(const QByteArray &sender, const QByteArray &subject, const QByteArray &body)
{
    return "Return-Path: <" + sender + ">\r\nFrom: <" + sender
        + ">\r\nTo: <joe@example.org>\r\n"
          "Subject: "
        + subject
        + "\r\nDate: Fri, 13 Mar 2026 10:00:00 +0000\r\n"
          "Message-ID: <"
        + QByteArray::number(qHash(subject + body)) + "@example.org>\r\n\r\n" + body;
}

// An account of the given type on 127.0.0.1.
inline MailAccount account(const QByteArray &type, const QByteArray &name, const QByteArray &user,
                           const QByteArray &password, quint16 port)
{
    MailAccount a;
    a.ServerType = type;
    a.AccountName = name;
    a.MailServer = "127.0.0.1";
    a.UserName = user;
    a.Password = password;
    a.Port = qint16(port); // the bits of the port, as an account keeps it
    return a;
}

// A server on 127.0.0.1 that accepts connections and never answers.
struct SilentServer
{
    SilentServer()
    {
        QObject::connect(&server, &QTcpServer::newConnection,
                         [this] { accepted << server.nextPendingConnection(); });
    }
    bool listen() { return server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    QList<QTcpSocket *> accepted; // owned by the server
};

// A port on 127.0.0.1 that refuses connections: one that was just free; 0 when none was.
inline quint16 refusingPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// A core with the real rules and real connections; each test has its own mail users.
struct E2eBed : CoreTestbed
{
    E2eBed()
    {
        core->armTimers();
        applyE2eRules(*core);
        QObject::connect(&core->checkCycle, &CheckCycle::sessionEnded,
                         [this](const SessionResult &result) { statuses << result.status; });
        // As a system trusts its own authorities; the fixture's server certificate is made
        // by this one.
        EXPECT_TRUE(server.trustTestAuthority());
    }
    // The accounts, each in plain mode unless setSecurity() says otherwise.
    void setAccounts(const QList<MailAccount> &accounts)
    {
        core->lists.Accounts = accounts;
        core->lists.AccountsLoaded = true;
        for (const MailAccount &a : accounts)
            setSecurity(a, {SecurityMode::None, {}});
    }
    void setSecurity(const MailAccount &a, const AccountSecurity &security)
    {
        EXPECT_TRUE(SaveAccountSecurity(*registry, a, security));
    }
    // Runs one check to its end; false when it is still running after the deadline.
    bool check(int seconds = 60)
    {
        core->checkCycle.CheckNow();
        QDeadlineTimer deadline(seconds * 1000);
        while (core->IsChecking && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return !core->IsChecking;
    }
    QStringList log() const { return logEntries(core->log.path()); }
    // The history as "subject status reason account" lines.
    QStringList history() const
    {
        QStringList lines;
        for (int i = 1; i <= core->history.count(); ++i) {
            const HistoryRecord &r = core->history.at(i);
            lines << QString::fromUtf8(r.Subject + ' ' + r.Status + ' ' + r.Reason + ' '
                                       + r.AccountName);
        }
        return lines;
    }
    // The review queue as "serverId subject MailNumber" lines, and whether each MailNumber is
    // that of a history record of the same subject awaiting review.
    QStringList queued() const
    {
        QStringList lines;
        for (const ReviewItem &item : core->reviewQueue.items()) {
            bool isRecorded = false;
            for (int i = 1; i <= core->history.count(); ++i) {
                const HistoryRecord &r = core->history.at(i);
                isRecorded = isRecorded
                    || (r.MailNumber == item.MailNumber && r.Subject == item.Subject
                        && r.Status == keyOf(MessageStatus::AwaitingReview));
            }
            lines << QString::fromUtf8(item.serverId + ' ' + item.Subject)
                    + (isRecorded ? QString() : QStringLiteral(" (no history record)"));
        }
        return lines;
    }
    MailServer &server = MailServer::shared();
    QList<SessionStatus> statuses; // of every ended session, in their order
};
