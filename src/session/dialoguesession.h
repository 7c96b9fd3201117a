#pragma once

#include "net/dialogueclient.h"
#include "net/transport.h"
#include "store/records.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <utility>

// A session of one protocol on top of its kind (a check's MailSession or a review's
// DeletionSession): the protocol's reader, which frames the server's bytes, and its dialogue
// (greeting, encryption, login), which gets every reply until it is done. The protocols add
// how replies are taken from the reader; the sessions, what they do after the dialogue.
template<class Kind, class Dialogue, class Reader> class DialogueSession : public Kind
{
public:
    QString step() const override { return m_dialogue.isDone() ? sessionStep() : dialogueStep(); }

protected:
    // makeDialogue builds the dialogue for its client and the account; rest are the arguments
    // of Kind's constructor that follow the account and the captions.
    template<class MakeDialogue, class... Rest>
    DialogueSession(MakeDialogue makeDialogue, std::unique_ptr<Transport> transport,
                    const MailAccount &account, const typename Kind::Captions &captions,
                    Rest &&...rest)
        : Kind(std::move(transport), account, captions, std::forward<Rest>(rest)...)
        , m_dialogue(makeDialogue(static_cast<DialogueClient &>(*this), account))
    {
    }

    // The session's own fresh start, after the reader's and the dialogue's.
    virtual void restart() = 0;
    // The step of the session once the dialogue is done.
    virtual QString sessionStep() const = 0;
    virtual QString dialogueStep() const { return m_dialogue.stepName(); }

    const Dialogue &dialogue() const { return m_dialogue; }
    Dialogue &runningDialogue() { return m_dialogue; }
    Reader &reader() { return m_reader; }

private:
    void reset() final
    {
        m_reader.clear();
        m_dialogue.restart(this->encryption());
        restart();
    }

    void buffer(const QByteArray &data) final { m_reader.append(data); }

    void startEncryption() final
    {
        // What the server sent before the handshake is not part of the encrypted session.
        m_reader.clear();
        this->transport().startEncryption();
    }

    void onEncrypted() final { m_dialogue.onEncrypted(); }

    Reader m_reader;
    Dialogue m_dialogue;
};
