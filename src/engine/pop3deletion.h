#pragma once

#include "deletionsession.h"
#include "linereader.h"

#include <QList>

// Deletes given messages of one POP3 account by their UIDLs: USER, PASS, UIDL, DELE of the
// current number of each wanted UIDL one at a time, then QUIT. RFC 1939 §6: the server
// removes them only in the UPDATE state, so a message counts as Deleted only after QUIT
// got +OK; an id the UIDL listing lacks is Gone, a DELE -ERR Refused.
class Pop3Deletion final : public DeletionSession
{
    Q_OBJECT

public:
    enum class State {
        Greeting, // connecting, waiting for the greeting
        UserSent,
        PassSent,
        UidlSent, // waiting for the status line
        UidlListing, // +OK came; waiting for the listing's end
        Deleting, // DELE sent
        QuitSent,
        CapaSent, // STARTTLS wanted: CAPA sent after the greeting
        StlsSent,
        Encrypting, // the server agreed to STLS: the TLS handshake runs
    };
    Q_ENUM(State)

    Pop3Deletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                 const QList<QByteArray> &uidls, int timeOutSeconds, Services &services,
                 QObject *parent = nullptr);

    State state() const { return m_state; }
    QString step() const override;

private:
    void reset() override;
    void buffer(const QByteArray &data) override;
    void processBuffered() override;
    QString serverErrorCaption() const override;
    std::pair<QString, QString> connectionErrorCaptions() const override;

    void onReply(const QByteArray &reply);
    void onEncrypted() override;
    void onCapabilities(const QByteArray &list);
    void sendUser();
    void onListing(const QByteArray &listing);
    void deleteNext();

    LineReader m_reader;
    State m_state = State::Greeting;
    bool m_hasCapaStatus = false; // the "+OK" line of CAPA is in
    QList<std::pair<int, QByteArray>> m_toDelete; // current number, UIDL; ascending
    int m_deleting = -1; // index in m_toDelete of the outstanding DELE
    QList<QByteArray> m_marked; // DELE got +OK
};
