#pragma once

#include "linereader.h"
#include "net/transport.h"
#include "pop3dialogue.h"
#include "pop3texts.h"
#include "store/records.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

// What every POP3 session has on top of its kind of session (a check's MailSession or a
// review's DeletionSession): the reader that frames the server's bytes into lines and
// multi-line texts, the protocol's captions, and the login dialogue, which gets every reply
// until it is done. The session itself then takes what follows, in handleNext().
template<class Kind> class Pop3MailSession : public Kind
{
public:
    QString step() const override
    {
        return m_dialogue.isDone() ? sessionStep() : m_dialogue.stepName();
    }

protected:
    // rest are the arguments of Kind's constructor that follow the account and the captions.
    template<class... Rest>
    Pop3MailSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                    Rest &&...rest)
        : Kind(std::move(transport), account,
               {&Pop3Texts::serverErrorCaption, &Pop3Texts::connectionErrorCaptions},
               std::forward<Rest>(rest)...)
        , m_dialogue(*this, account.UserName, account.Password)
    {
    }

    // Takes the next reply after the dialogue's from the reader and handles it; false when
    // none is whole yet.
    virtual bool handleNext(LineReader &reader) = 0;
    // The session's own fresh start, after the reader's and the dialogue's.
    virtual void restart() = 0;
    // The step of the session once the dialogue is done.
    virtual QString sessionStep() const = 0;

    const Pop3Dialogue &dialogue() const { return m_dialogue; }

private:
    void reset() final
    {
        m_reader.clear();
        m_dialogue.restart(this->encryption());
        restart();
    }

    void buffer(const QByteArray &data) final { m_reader.append(data); }

    // Replies are judged only once they are complete, however the server's bytes were split.
    void processBuffered() final
    {
        while (!this->hasEnded() && !this->isWaiting()) {
            if (m_dialogue.isDone()) {
                if (!handleNext(m_reader))
                    break;
                continue;
            }
            const std::optional<QByteArray> reply = m_dialogue.take(m_reader);
            if (!reply)
                break;
            this->logReply(*reply);
            m_dialogue.onReply(*reply);
        }
        // A server past the reader's limits is not waited for any longer.
        if (m_reader.hasFailed() && !this->hasEnded())
            this->failFraming(m_reader.failure(), m_reader.limits());
    }

    void startEncryption() final
    {
        // What the server sent before the handshake is not part of the encrypted session.
        m_reader.clear();
        this->transport().startEncryption();
    }

    void onEncrypted() final { m_dialogue.onEncrypted(); }

    LineReader m_reader;
    Pop3Dialogue m_dialogue;
};
