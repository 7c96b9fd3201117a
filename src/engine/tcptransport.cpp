#include "tcptransport.h"

TcpTransport::TcpTransport(QObject *parent)
    : Transport(parent)
{
    connect(&m_socket, &QTcpSocket::connected, this, &Transport::connected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpTransport::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TcpTransport::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpTransport::onErrorOccurred);
}

TcpTransport::~TcpTransport()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

void TcpTransport::connectToHost(const QString &host, quint16 port)
{
    close();
    m_closedByUs = false;
    m_socket.connectToHost(host, port);
}

void TcpTransport::write(const QByteArray &data)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    m_socket.write(data);
    // Out now rather than at the next turn of the event loop: the server can work on a
    // command while the session is still busy with the previous reply.
    m_socket.flush();
}

void TcpTransport::close()
{
    m_closedByUs = true;
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        return;
    // What was written goes out first (a QUIT sent just before), then the connection ends.
    m_socket.flush();
    m_socket.disconnectFromHost();
}

void TcpTransport::onReadyRead()
{
    if (m_closedByUs)
        return;
    const QByteArray data = m_socket.readAll();
    if (!data.isEmpty())
        emit received(data);
}

void TcpTransport::onDisconnected()
{
    if (m_closedByUs)
        return;
    // Bytes that came with the close are still an arrival of their own.
    onReadyRead();
    if (m_closedByUs)
        return;
    m_closedByUs = true;
    emit closed();
}

void TcpTransport::onErrorOccurred(QAbstractSocket::SocketError error)
{
    if (m_closedByUs)
        return;
    // The end of the connection by the server is told by disconnected(), not as an error.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    m_closedByUs = true;
    const QString description = m_socket.errorString();
    m_socket.abort();
    emit failed(int(error), description);
}
