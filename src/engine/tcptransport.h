#pragma once

#include "transport.h"

#include <QTcpSocket>

// Transport over a plain TCP socket.
class TcpTransport final : public Transport
{
    Q_OBJECT

public:
    explicit TcpTransport(QObject *parent = nullptr);
    ~TcpTransport() override;

    void connectToHost(const QString &host, quint16 port) override;
    void write(const QByteArray &data) override;
    void close() override;

private:
    void onReadyRead();
    void onDisconnected();
    void onErrorOccurred(QAbstractSocket::SocketError error);

    QTcpSocket m_socket;
    bool m_closedByUs = false;
};
