#pragma once

#include "imapdialogue.h"
#include "imapreader.h"
#include "imaptexts.h"
#include "session/dialoguesession.h"

#include <optional>
#include <utility>

// What every IMAP session has on top of its kind of session: the response reader, the
// protocol's captions and the dialogue up to "SELECT INBOX". The session itself sees the
// responses after the dialogue's in onResponse(), and every untagged one in onUntagged().
template<class Kind> class ImapMailSession : public DialogueSession<Kind, ImapDialogue, ImapReader>
{
    using Base = DialogueSession<Kind, ImapDialogue, ImapReader>;

protected:
    // rest are the arguments of Kind's constructor that follow the account and the captions.
    template<class... Rest>
    ImapMailSession(const ImapDialogue::Tags &tags, std::unique_ptr<Transport> transport,
                    const MailAccount &account, Rest &&...rest)
        : Base(
            [this, &tags](DialogueClient &client, const MailAccount &user) {
                return ImapDialogue(
                    client, [this](const ImapResponse &response) { onUntagged(response); }, tags,
                    "SELECT INBOX", user.UserName, user.Password);
            },
            std::move(transport), account,
            {&ImapTexts::serverErrorCaption, &ImapTexts::connectionErrorCaptions},
            std::forward<Rest>(rest)...)
    {
    }

    // A response after the dialogue's.
    virtual void onResponse(const ImapResponse &response) = 0;
    // An untagged response, the dialogue's included.
    virtual void onUntagged(const ImapResponse &response) = 0;

private:
    // Responses are judged only once they are whole, literals included, however the
    // server's bytes were split.
    void processBuffered() final
    {
        ImapReader &reader = this->reader();
        ImapDialogue &dialogue = this->runningDialogue();
        while (!this->hasEnded() && !this->isWaiting()) {
            const std::optional<ImapResponse> response = reader.take();
            if (!response) {
                if (reader.hasFailed())
                    this->failFraming(reader.failure(), reader.limits());
                return;
            }
            this->logReply(response->text);
            if (dialogue.isDone())
                onResponse(*response);
            else
                dialogue.onResponse(*response);
        }
    }
};
