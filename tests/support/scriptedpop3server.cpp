#include "scriptedpop3server.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int pauseMs = 30;
}

ScriptedPop3Server::ScriptedPop3Server(QList<Reply> replies, QObject *parent)
    : QObject(parent)
    , m_replies(std::move(replies))
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedPop3Server::onNewConnection);
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    if (m_client)
        m_client->abort();
}

bool ScriptedPop3Server::listen()
{
    return m_server.listen(QHostAddress::LocalHost);
}

void ScriptedPop3Server::onNewConnection()
{
    QTcpSocket *socket = m_server.nextPendingConnection();
    if (m_client) {
        socket->abort();
        return;
    }
    m_client = socket;
    m_client->setParent(this);
    connect(m_client, &QTcpSocket::readyRead, this, &ScriptedPop3Server::onReadyRead);
    connect(m_client, &QTcpSocket::disconnected, this, [this] { hasClientClosed = true; });
    play(0);
}

void ScriptedPop3Server::onReadyRead()
{
    m_pending += m_client->readAll();
    qsizetype lf;
    while ((lf = m_pending.indexOf("\r\n")) >= 0) {
        commands << m_pending.left(lf);
        m_pending.remove(0, lf + 2);
        play(int(commands.size()));
    }
}

void ScriptedPop3Server::play(int index)
{
    if (index >= m_replies.size())
        return;
    const Reply reply = m_replies.at(index);
    QTcpSocket *client = m_client;
    if (!m_clock.isValid())
        m_clock.start();
    // A reply never starts before the one before it is written whole.
    const qint64 start = std::max<qint64>(0, m_busyUntil - m_clock.elapsed());
    m_busyUntil = m_clock.elapsed() + start + pauseMs * (reply.pieces.size() - 1);
    for (qsizetype i = 0; i < reply.pieces.size(); ++i) {
        const bool isLast = i + 1 == reply.pieces.size();
        QTimer::singleShot(int(start) + pauseMs * int(i), Qt::PreciseTimer, this,
                           [this, client, piece = reply.pieces.at(i), isLast, reply, index] {
                               if (client->state() != QAbstractSocket::ConnectedState)
                                   return;
                               client->write(piece);
                               client->flush();
                               if (!isLast)
                                   return;
                               repliesWritten = index;
                               if (reply.hangsUp)
                                   client->disconnectFromHost();
                           });
    }
}
