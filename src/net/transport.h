#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

// Why an encrypted connection was refused: every fault found with the server's certificate,
// or the handshake's own failure. Nothing was sent over the connection after it.
struct TlsRefusal
{
    enum class Reason {
        Expired,
        NotYetValid,
        SelfSigned,
        UnknownIssuer, // no trusted authority vouches for it
        WrongHost, // made out for another host name
        NotTheTrustedOne, // the account trusts another certificate
        Handshake, // no certificate was judged: the handshake itself failed
    };

    QList<Reason> reasons;
    QString detail; // the TLS library's words, for the log
    // The server certificate's SHA-256, upper-case hex pairs joined by ':'; empty when the
    // server showed none.
    QString sha256;
};

Q_DECLARE_METATYPE(TlsRefusal)

// A client connection as a session sees it: connect, write, close, and the events data
// arrival, close by the server and error. It can be encrypted from the first byte or on the
// session's request (STARTTLS); the server's certificate must then pass the system's trusted
// authorities and the host name, or be the one certificate the account trusts. After
// close() it emits nothing more.
class Transport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A plain connection.
    virtual void connectToHost(const QString &host, quint16 port) = 0;
    // A connection that is encrypted before the first byte: no data arrives before the
    // certificate has passed.
    virtual void connectToHostEncrypted(const QString &host, quint16 port) = 0;
    // Encrypts the open plain connection; emits encrypted() once the certificate has passed,
    // or refused(). Nothing written before encrypted() leaves in clear.
    virtual void startEncryption() = 0;
    virtual void write(const QByteArray &data) = 0;
    // Drops the connection at once; does nothing when it is not open.
    virtual void close() = 0;

    // The SHA-256 fingerprint (hex, with or without ':') of the one certificate that passes
    // without an authority; empty for none.
    void trustCertificate(const QString &sha256) { m_trustedSha256 = sha256; }
    QString trustedCertificate() const { return m_trustedSha256; }

signals:
    void connected();
    // One arrival: every byte read since the previous one.
    void received(const QByteArray &data);
    // The server ended the connection.
    void closed();
    void failed(int code, const QString &description);
    // The connection is encrypted and the certificate has passed.
    void encrypted();
    // The encryption failed; the connection is closed.
    void refused(const TlsRefusal &refusal);

private:
    QString m_trustedSha256;
};
