#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A POP3 server in the test process on 127.0.0.1 that plays a script to one client: the
// greeting, then one reply per command line received, each reply written in the given pieces
// with a pause between them so that they arrive separately. A reply may end in a hang-up.
// Commands sent together are answered in order, each reply after the whole one before.
class ScriptedPop3Server : public QObject
{
public:
    struct Reply
    {
        QList<QByteArray> pieces;
        bool hangsUp = false;
    };

    explicit ScriptedPop3Server(QList<Reply> replies, QObject *parent = nullptr);
    ~ScriptedPop3Server() override;

    bool listen();
    quint16 port() const { return m_server.serverPort(); }

    // The command lines the client sent, without their CR LF.
    QList<QByteArray> commands;
    // Set once the reply to this command (1-based, the greeting is 0) has been written whole.
    int repliesWritten = 0;
    bool hasClientClosed = false;

private:
    void onNewConnection();
    void onReadyRead();
    void play(int index);

    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    QList<Reply> m_replies; // [0] is the greeting
    QByteArray m_pending;
    QElapsedTimer m_clock;
    qint64 m_busyUntil = 0; // by m_clock: when the last reply scheduled is written whole
};
