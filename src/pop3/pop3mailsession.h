#pragma once

#include "linereader.h"
#include "pop3dialogue.h"
#include "pop3texts.h"
#include "session/dialoguesession.h"

#include <QByteArray>

#include <optional>
#include <utility>

// What every POP3 session has on top of its kind of session: the line reader, the protocol's
// captions and the login dialogue. The session itself takes the replies after the dialogue's
// in handleNext().
template<class Kind> class Pop3MailSession : public DialogueSession<Kind, Pop3Dialogue, LineReader>
{
    using Base = DialogueSession<Kind, Pop3Dialogue, LineReader>;

protected:
    // rest are the arguments of Kind's constructor that follow the account and the captions.
    template<class... Rest>
    Pop3MailSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                    Rest &&...rest)
        : Base(
            [](DialogueClient &client, const MailAccount &user) {
                return Pop3Dialogue(client, user.UserName, user.Password);
            },
            std::move(transport), account,
            {&Pop3Texts::serverErrorCaption, &Pop3Texts::connectionErrorCaptions},
            std::forward<Rest>(rest)...)
    {
    }

    // Takes the next reply after the dialogue's from the reader and handles it; false when
    // none is whole yet.
    virtual bool handleNext(LineReader &reader) = 0;

private:
    // Replies are judged only once they are complete, however the server's bytes were split.
    void processBuffered() final
    {
        LineReader &reader = this->reader();
        Pop3Dialogue &dialogue = this->runningDialogue();
        while (!this->hasEnded() && !this->isWaiting()) {
            if (dialogue.isDone()) {
                if (!handleNext(reader))
                    break;
                continue;
            }
            const std::optional<QByteArray> reply = dialogue.take(reader);
            if (!reply)
                break;
            this->logReply(*reply);
            dialogue.onReply(*reply);
        }
        // A server past the reader's limits is not waited for any longer.
        if (reader.hasFailed() && !this->hasEnded())
            this->failFraming(reader.failure(), reader.limits());
    }
};
