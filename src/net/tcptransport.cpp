#include "tcptransport.h"

#include <QCryptographicHash>
#include <QSslConfiguration>

#include <algorithm>

QString certificateSha256(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

bool isSameFingerprint(const QString &a, const QString &b)
{
    const auto bare = [](QString text) {
        return text.remove(QLatin1Char(':')).trimmed().toUpper();
    };
    return !bare(a).isEmpty() && bare(a) == bare(b);
}

QList<TlsRefusal::Reason> refusalReasons(const QList<QSslError> &errors)
{
    using Reason = TlsRefusal::Reason;
    QList<Reason> reasons;
    for (const QSslError &error : errors) {
        Reason reason = Reason::UnknownIssuer;
        switch (error.error()) {
        case QSslError::CertificateExpired:
            reason = Reason::Expired;
            break;
        case QSslError::CertificateNotYetValid:
            reason = Reason::NotYetValid;
            break;
        case QSslError::SelfSignedCertificate:
            reason = Reason::SelfSigned;
            break;
        case QSslError::HostNameMismatch:
            reason = Reason::WrongHost;
            break;
        case QSslError::NoPeerCertificate:
            reason = Reason::Handshake;
            break;
        default:
            // A chain that no trusted authority ends, or one it cannot vouch for.
            reason = Reason::UnknownIssuer;
            break;
        }
        if (!reasons.contains(reason))
            reasons << reason;
    }
    std::sort(reasons.begin(), reasons.end());
    return reasons;
}

TcpTransport::TcpTransport(QObject *parent)
    : Transport(parent)
{
    m_socket.setPeerVerifyMode(QSslSocket::VerifyPeer);
    connect(&m_socket, &QSslSocket::connected, this, &Transport::connected);
    connect(&m_socket, &QSslSocket::readyRead, this, &TcpTransport::onReadyRead);
    connect(&m_socket, &QSslSocket::disconnected, this, &TcpTransport::onDisconnected);
    connect(&m_socket, &QSslSocket::errorOccurred, this, &TcpTransport::onErrorOccurred);
    // Direct: only a slot that runs inside the handshake can decide on the certificate.
    connect(&m_socket, &QSslSocket::sslErrors, this, &TcpTransport::onSslErrors,
            Qt::DirectConnection);
    connect(&m_socket, &QSslSocket::encrypted, this, &TcpTransport::onEncrypted);
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
    m_isEncrypting = false;
    m_refusal.reset();
    m_socket.connectToHost(host, port);
}

void TcpTransport::connectToHostEncrypted(const QString &host, quint16 port)
{
    close();
    m_closedByUs = false;
    m_isEncrypting = true;
    m_refusal.reset();
    // The host name the certificate must name is the one connected to.
    m_socket.connectToHostEncrypted(host, port);
}

void TcpTransport::startEncryption()
{
    if (m_closedByUs || m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    m_isEncrypting = true;
    m_refusal.reset();
    // Bytes the server sent before its go-ahead are not part of the encrypted session.
    m_socket.readAll();
    m_socket.startClientEncryption();
}

void TcpTransport::write(const QByteArray &data)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    if (m_isEncrypting && !m_socket.isEncrypted())
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
    // Until the certificate has passed, nothing the server sends counts.
    if (m_isEncrypting && !m_socket.isEncrypted())
        return;
    const QByteArray data = m_socket.readAll();
    if (!data.isEmpty())
        emit received(data);
}

void TcpTransport::onDisconnected()
{
    if (m_closedByUs)
        return;
    if (m_isEncrypting && !m_socket.isEncrypted()) {
        // The server hung up during the handshake.
        m_closedByUs = true;
        TlsRefusal refusal = m_refusal.value_or(TlsRefusal {});
        if (refusal.reasons.isEmpty())
            refusal.reasons << TlsRefusal::Reason::Handshake;
        if (refusal.detail.isEmpty())
            refusal.detail = QStringLiteral("The server closed the connection during the "
                                            "TLS handshake");
        emit refused(refusal);
        return;
    }
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
    if (m_isEncrypting && !m_socket.isEncrypted()) {
        TlsRefusal refusal = m_refusal.value_or(TlsRefusal {});
        if (refusal.reasons.isEmpty())
            refusal.reasons << TlsRefusal::Reason::Handshake;
        if (refusal.detail.isEmpty())
            refusal.detail = description;
        emit refused(refusal);
        return;
    }
    emit failed(int(error), description);
}

// Runs inside the handshake. Errors that are not ignored here end it: the socket then
// reports SslHandshakeFailedError and closes without a byte of ours sent.
void TcpTransport::onSslErrors(const QList<QSslError> &errors)
{
    const QSslCertificate certificate = m_socket.peerCertificate();
    const QString sha256 = certificate.isNull() ? QString() : certificateSha256(certificate);
    // The account trusts this very certificate, whatever an authority or its names say.
    if (!sha256.isEmpty() && isSameFingerprint(sha256, trustedCertificate())) {
        m_socket.ignoreSslErrors(errors);
        return;
    }
    TlsRefusal refusal;
    refusal.reasons = refusalReasons(errors);
    if (!trustedCertificate().isEmpty())
        refusal.reasons << TlsRefusal::Reason::NotTheTrustedOne;
    QStringList texts;
    for (const QSslError &error : errors)
        texts << error.errorString();
    refusal.detail = texts.join(QStringLiteral("; "));
    refusal.sha256 = sha256;
    m_refusal = refusal;
}

void TcpTransport::onEncrypted()
{
    if (m_closedByUs)
        return;
    emit encrypted();
    // The greeting of an implicit-TLS server may have come with the end of the handshake.
    if (m_socket.bytesAvailable() > 0)
        onReadyRead();
}
