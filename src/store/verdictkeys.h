#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <iterator>
#include <optional>

// What the rules decided about a message and why. A message (CMessage::Status and
// CMessage::Reason) and "History.ini" keep the decision as the caption key of its text,
// so these names are spelled as text only here: keyOf() gives the key, statusOf() and
// reasonOf() read it back.

// AwaitingReview: the rules would delete the message, and "Ask me before deleting" keeps it
// on the server until the user decides. DeletionPending: the message is to be deleted and the
// server has not confirmed it yet; a record that keeps it (the program was killed before the
// confirmation) is settled by the account's next check.
enum class MessageStatus { Deleted, Kept, AwaitingReview, DeletionPending };

// The rule that fired, or what spared the message when none did.
enum class Reason {
    NoRule,
    FriendSender,
    BlockedSender,
    BlockedAttachment,
    SpamWords,
    TooLarge,
    TooOld,
    Repeated,
};

inline constexpr MessageStatus allMessageStatuses[]
    = {MessageStatus::Deleted, MessageStatus::Kept, MessageStatus::AwaitingReview,
       MessageStatus::DeletionPending};
inline constexpr Reason allReasons[]
    = {Reason::NoRule,    Reason::FriendSender, Reason::BlockedSender, Reason::BlockedAttachment,
       Reason::SpamWords, Reason::TooLarge,     Reason::TooOld,        Reason::Repeated};
static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(allReasons); ++i) {
            if (allReasons[i] != Reason(i))
                return false;
        }
        return std::size(allReasons) == std::size_t(Reason::Repeated) + 1;
    }(),
    "allReasons lists every Reason once, in order");

constexpr const char *keyText(MessageStatus status)
{
    switch (status) {
    case MessageStatus::Deleted:
        return "70043";
    case MessageStatus::Kept:
        return "70044";
    case MessageStatus::AwaitingReview:
        return "280007";
    case MessageStatus::DeletionPending:
        return "280139";
    }
    return "";
}

constexpr const char *keyText(Reason reason)
{
    switch (reason) {
    case Reason::NoRule:
        return "10152";
    case Reason::FriendSender:
        return "10160";
    case Reason::BlockedSender:
        return "10155";
    case Reason::BlockedAttachment:
        return "10153";
    case Reason::SpamWords:
        return "10154";
    case Reason::TooLarge:
        return "10156";
    case Reason::TooOld:
        return "10159";
    case Reason::Repeated:
        return "10161";
    }
    return "";
}

// The English text of each reason, as the language packs give it.
constexpr const char *englishText(Reason reason)
{
    switch (reason) {
    case Reason::NoRule:
        return "No rule applied";
    case Reason::FriendSender:
        return "Friend";
    case Reason::BlockedSender:
        return "Blocked sender";
    case Reason::BlockedAttachment:
        return "Blocked attachment type";
    case Reason::SpamWords:
        return "Spam words";
    case Reason::TooLarge:
        return "Larger than the size limit";
    case Reason::TooOld:
        return "Older than the age limit";
    case Reason::Repeated:
        return "Repeated message";
    }
    return "";
}

inline QByteArray keyOf(MessageStatus status)
{
    return QByteArray(keyText(status));
}

inline QByteArray keyOf(Reason reason)
{
    return QByteArray(keyText(reason));
}

// The status or reason whose key is exactly this text; nothing for any other text.
inline std::optional<MessageStatus> statusOf(QByteArrayView key)
{
    for (const MessageStatus status : allMessageStatuses) {
        if (key == QByteArrayView(keyText(status)))
            return status;
    }
    return std::nullopt;
}

inline std::optional<Reason> reasonOf(QByteArrayView key)
{
    for (const Reason reason : allReasons) {
        if (key == QByteArrayView(keyText(reason)))
            return reason;
    }
    return std::nullopt;
}
