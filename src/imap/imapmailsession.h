#pragma once

#include "imapdialogue.h"
#include "imapreader.h"
#include "imaptexts.h"
#include "net/transport.h"
#include "store/records.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

struct Services;

// What every IMAP session has on top of its kind of session (a check's MailSession or a
// review's DeletionSession): the reader that frames the server's bytes into responses, the
// protocol's captions, and the dialogue up to "SELECT INBOX", which gets every response
// until it is done. The session itself then sees only what follows, in onResponse().
template<class Kind> class ImapMailSession : public Kind
{
public:
    QString step() const override { return m_dialogue.isDone() ? sessionStep() : dialogueStep(); }

protected:
    // rest are the arguments of Kind's constructor that follow the account and the captions.
    template<class... Rest>
    ImapMailSession(const ImapDialogue::Tags &tags, std::unique_ptr<Transport> transport,
                    const MailAccount &account, Rest &&...rest)
        : Kind(std::move(transport), account,
               {&ImapTexts::serverErrorCaption, &ImapTexts::connectionErrorCaptions},
               std::forward<Rest>(rest)...)
        , m_dialogue(
              *this, [this](const ImapResponse &response) { onUntagged(response); }, tags,
              "SELECT INBOX", account.UserName, account.Password)
    {
    }

    // A response after the dialogue's.
    virtual void onResponse(const ImapResponse &response) = 0;
    // An untagged response, the dialogue's included.
    virtual void onUntagged(const ImapResponse &response) = 0;
    // The session's own fresh start, after the reader's and the dialogue's.
    virtual void restart() = 0;
    // The step of the session once the dialogue is done.
    virtual QString sessionStep() const = 0;
    virtual QString dialogueStep() const { return m_dialogue.stepName(); }

    const ImapDialogue &dialogue() const { return m_dialogue; }

private:
    void reset() final
    {
        m_reader.clear();
        m_dialogue.restart(this->encryption());
        restart();
    }

    void buffer(const QByteArray &data) final { m_reader.append(data); }

    // Responses are judged only once they are whole, literals included, however the
    // server's bytes were split.
    void processBuffered() final
    {
        while (!this->hasEnded() && !this->isWaiting()) {
            const std::optional<ImapResponse> response = m_reader.take();
            if (!response) {
                if (m_reader.hasFailed())
                    this->failFraming(m_reader.failure(), m_reader.limits());
                return;
            }
            this->logReply(response->text);
            if (m_dialogue.isDone())
                onResponse(*response);
            else
                m_dialogue.onResponse(*response);
        }
    }

    void startEncryption() final
    {
        // What the server sent before the handshake is not part of the encrypted session.
        m_reader.clear();
        this->transport().startEncryption();
    }

    void onEncrypted() final { m_dialogue.onEncrypted(); }

    ImapReader m_reader;
    ImapDialogue m_dialogue;
};
