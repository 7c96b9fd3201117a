#pragma once

#include "net/dialogueclient.h"
#include "net/encryption.h"

#include <QByteArray>
#include <QList>

#include <string>

// What the dialogue tests share: readable names, and a client that writes down every call.

inline const char *failureName(DialogueFailure failure)
{
    switch (failure) {
    case DialogueFailure::GreetingRefused:
        return "GreetingRefused";
    case DialogueFailure::NoStartTls:
        return "NoStartTls";
    case DialogueFailure::StartTlsRefused:
        return "StartTlsRefused";
    case DialogueFailure::PreauthInClear:
        return "PreauthInClear";
    case DialogueFailure::ClearNotChosen:
        return "ClearNotChosen";
    case DialogueFailure::CannotQuote:
        return "CannotQuote";
    case DialogueFailure::LoginRefused:
        return "LoginRefused";
    case DialogueFailure::SelectRefused:
        return "SelectRefused";
    }
    return "?";
}

inline std::string modeName(Encryption encryption)
{
    switch (encryption) {
    case Encryption::None:
        return "None";
    case Encryption::Implicit:
        return "Implicit";
    case Encryption::StartTls:
        return "StartTls";
    case Encryption::StartTlsWhenOffered:
        return "StartTlsWhenOffered";
    }
    return "?";
}

// Writes down every call in the order it came: the commands as sent, the other calls in
// angle brackets, a failure with its name and the server's line.
class RecordingClient : public DialogueClient
{
public:
    void send(const QByteArray &command) override { calls << command; }
    void startEncryption() override { calls << "<startEncryption>"; }
    void dialogueFailed(DialogueFailure failure, const QByteArray &reply) override
    {
        calls << "<failed " + QByteArray(failureName(failure)) + "> " + reply;
        hasFailed = true;
    }
    void dialogueDone() override { calls << "<done>"; }

    QList<QByteArray> calls;
    bool hasFailed = false;
};
