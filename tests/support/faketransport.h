#pragma once

#include "net/transport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// A synchronous Transport for session transcripts: the test plays the server's bytes in any
// split and takes what the client wrote.
class FakeTransport final : public Transport
{
public:
    void connectToHost(const QString &toHost, quint16 toPort) override
    {
        host = toHost;
        port = toPort;
        isOpen = true;
        ++connects;
    }
    void connectToHostEncrypted(const QString &toHost, quint16 toPort) override
    {
        connectToHost(toHost, toPort);
        isEncrypting = true;
        ++encryptedConnects;
    }
    void startEncryption() override
    {
        if (isOpen)
            isEncrypting = true;
        ++encryptionRequests;
    }
    void write(const QByteArray &data) override
    {
        if (isOpen)
            m_written += data;
        else
            lostWrites += data;
        // As an encrypted socket may: what arrived meanwhile is handed over inside the write.
        if (!arrivesDuringWrite.isEmpty())
            deliver(std::exchange(arrivesDuringWrite, QByteArray()));
    }
    void close() override
    {
        if (isOpen)
            ++closes;
        isOpen = false;
    }

    // One arrival, then every continuation it queued runs, as the event loop would run it.
    void serverSends(const QByteArray &bytes)
    {
        deliver(bytes);
        runPending();
    }
    // One arrival and nothing more: queued continuations wait for runPending().
    void deliver(const QByteArray &bytes) { emit received(bytes); }
    static void runPending() { QCoreApplication::sendPostedEvents(); }
    // The server hangs up, or the connection fails.
    void drop()
    {
        isOpen = false;
        emit closed();
    }
    void fail(int code, const QString &description)
    {
        isOpen = false;
        emit failed(code, description);
    }

    // The handshake of an encrypted connection ends: the certificate passed, or was refused.
    void serverEncrypts()
    {
        isEncrypting = false;
        isEncrypted = true;
        emit encrypted();
        runPending();
    }
    void refuse(const TlsRefusal &refusal)
    {
        isOpen = false;
        emit refused(refusal);
    }

    QByteArray takeWritten() { return std::exchange(m_written, QByteArray()); }

    // Delivered from inside the next write.
    QByteArray arrivesDuringWrite;
    QString host;
    quint16 port = 0;
    bool isOpen = false;
    int connects = 0;
    int closes = 0;
    int encryptedConnects = 0; // encrypted from the first byte
    int encryptionRequests = 0; // encryption of an open connection asked for
    bool isEncrypting = false; // a handshake runs
    bool isEncrypted = false;
    QByteArray lostWrites; // written after close

private:
    QByteArray m_written;
};
