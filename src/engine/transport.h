#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// A client connection as a session sees it: connect, write, close, and the events data
// arrival, close by the server and error. After close() it emits nothing more.
class Transport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void connectToHost(const QString &host, quint16 port) = 0;
    virtual void write(const QByteArray &data) = 0;
    // Drops the connection at once; does nothing when it is not open.
    virtual void close() = 0;

signals:
    void connected();
    // One arrival: every byte read since the previous one.
    void received(const QByteArray &data);
    // The server ended the connection.
    void closed();
    void failed(int code, const QString &description);
};
