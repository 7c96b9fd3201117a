#pragma once

#include "pop3mailsession.h"
#include "session/deletionsession.h"

#include <QList>

#include <optional>

// Deletes given messages of one POP3 account by their UIDLs: the login dialogue, UIDL, LIST,
// "TOP n 0" of each wanted message of the size it had, DELE of the current number of each
// wanted message whose headers are the ones it was judged with, one at a time, then QUIT.
// RFC 1939 §6: the server removes them only in the UPDATE state, so a message counts as
// Deleted only after QUIT got +OK; an id the UIDL listing lacks is Gone, one whose size or
// headers differ (a server may give a gone message's id to a new one) NotTheSame, a DELE
// -ERR Refused.
class Pop3Deletion final : public Pop3MailSession<DeletionSession>
{
    Q_OBJECT

public:
    enum class State {
        LoggingIn, // the login dialogue runs: step() names its step
        UidlSent, // waiting for the status line
        UidlListing, // +OK came; waiting for the listing's end
        ListSent, // the sizes
        ListListing,
        TopSent, // the headers of a wanted message
        TopListing,
        Deleting, // DELE sent
        QuitSent,
    };
    Q_ENUM(State)

    Pop3Deletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                 const QList<MessageIdentity> &wanted, int timeOutSeconds, Services &services,
                 QObject *parent = nullptr);

    State state() const { return m_state; }

private:
    void restart() override;
    QString sessionStep() const override;
    bool handleNext(LineReader &reader) override;
    void dialogueDone() override;

    void onReply(const QByteArray &reply);
    void onListing(const QByteArray &listing);
    void onSizes(const QByteArray &listing);
    void verifyNext();
    void onHeaders(const std::optional<QByteArray> &headers);
    void deleteNext();

    State m_state = State::LoggingIn;
    QList<std::pair<int, QByteArray>> m_found; // current number, UIDL of the wanted; ascending
    qsizetype m_verifying = -1; // index in m_found of the outstanding TOP
    QList<std::pair<int, QByteArray>> m_toDelete; // current number, UIDL; ascending
    int m_deleting = -1; // index in m_toDelete of the outstanding DELE
    QList<QByteArray> m_marked; // DELE got +OK
};
