#pragma once

#include "pop3mailsession.h"
#include "session/deletionsession.h"

#include <QList>

// Deletes given messages of one POP3 account by their UIDLs: the login dialogue, UIDL, DELE of the
// current number of each wanted UIDL one at a time, then QUIT. RFC 1939 §6: the server
// removes them only in the UPDATE state, so a message counts as Deleted only after QUIT
// got +OK; an id the UIDL listing lacks is Gone, a DELE -ERR Refused.
class Pop3Deletion final : public Pop3MailSession<DeletionSession>
{
    Q_OBJECT

public:
    enum class State {
        LoggingIn, // the login dialogue runs: step() names its step
        UidlSent, // waiting for the status line
        UidlListing, // +OK came; waiting for the listing's end
        Deleting, // DELE sent
        QuitSent,
    };
    Q_ENUM(State)

    Pop3Deletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                 const QList<QByteArray> &uidls, int timeOutSeconds, Services &services,
                 QObject *parent = nullptr);

    State state() const { return m_state; }

private:
    void restart() override;
    QString sessionStep() const override;
    bool handleNext(LineReader &reader) override;
    void dialogueDone() override;

    void onReply(const QByteArray &reply);
    void onListing(const QByteArray &listing);
    void deleteNext();

    State m_state = State::LoggingIn;
    QList<std::pair<int, QByteArray>> m_toDelete; // current number, UIDL; ascending
    int m_deleting = -1; // index in m_toDelete of the outstanding DELE
    QList<QByteArray> m_marked; // DELE got +OK
};
