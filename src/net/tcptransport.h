#pragma once

#include "transport.h"

#include <QSslError>
#include <QSslSocket>

#include <optional>

// Transport over a TCP socket, plain or encrypted with the system's TLS library. The
// certificate is checked against the system's trusted authorities and the host name that
// was connected to; there is no way to let a failing certificate through other than the
// one the account trusts by its fingerprint.
class TcpTransport final : public Transport
{
    Q_OBJECT

public:
    explicit TcpTransport(QObject *parent = nullptr);
    ~TcpTransport() override;

    void connectToHost(const QString &host, quint16 port) override;
    void connectToHostEncrypted(const QString &host, quint16 port) override;
    void startEncryption() override;
    void write(const QByteArray &data) override;
    void close() override;

private:
    void onReadyRead();
    void onDisconnected();
    void onErrorOccurred(QAbstractSocket::SocketError error);
    void onSslErrors(const QList<QSslError> &errors);
    void onEncrypted();

    QSslSocket m_socket;
    bool m_closedByUs = false;
    bool m_isEncrypting = false; // a handshake runs: nothing may leave in clear
    std::optional<TlsRefusal> m_refusal; // the certificate's faults, until the socket gives up
};

// The certificate's SHA-256 fingerprint as upper-case hex pairs joined by ':'.
QString certificateSha256(const QSslCertificate &certificate);
// Whether two fingerprints name the same certificate, with or without ':' and in any case.
bool isSameFingerprint(const QString &a, const QString &b);
// The reasons the certificate errors give, in a fixed order, each once.
QList<TlsRefusal::Reason> refusalReasons(const QList<QSslError> &errors);
