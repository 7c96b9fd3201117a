#pragma once

#include "net/framingbuffer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

// One complete IMAP server response: its line or lines, and the contents of its literals.
struct ImapResponse
{
    struct Literal
    {
        qsizetype end = 0; // offset in text just past the literal's "{n}"
        QByteArray bytes; // exactly the n bytes the server sent
    };

    // The response as sent, except that each literal's contents are left out: the "{n}"
    // stays where the literal was, and its CR LF goes with the contents. Ends with the
    // response's line end.
    QByteArray text;
    QList<Literal> literals;

    // The word at index (from 0) of the first line, split at blanks; empty past the last.
    QByteArray word(int index) const;
    // The first word: "*" for untagged data, "+" for a continuation, else the command tag.
    QByteArray tag() const;
    // The word after the tag ("OK", "NO", "BAD", "BYE", a number, ...), in upper case.
    QByteArray status() const;
    // The contents of the literal that follows the item name (compared without regard to
    // case), for example "BODY[]"; nullopt when the response holds no such literal.
    std::optional<QByteArray> literalAfter(QByteArrayView itemName) const;
    // The number after an item name in the first line, such as "UID" in "* 3 FETCH (UID 47)"
    // or "UIDVALIDITY" in "* OK [UIDVALIDITY 3857529045] UIDs valid"; empty when there is
    // none or it is no number.
    QByteArray numberAfter(QByteArrayView itemName) const;
    // An untagged CAPABILITY response that names capability (compared without regard to
    // case), such as "STARTTLS" or "UIDPLUS".
    bool announces(QByteArrayView capability) const;
};

// Frames the byte stream of an IMAP connection into responses, whatever the arrivals' split:
// lines end at LF (CR LF from servers), and a line ending in "{n}" continues after exactly
// n bytes of literal. Knows nothing of commands or states. Each byte is looked at a bounded
// number of times, so a long literal costs time linear in its size.
class ImapReader
{
public:
    explicit ImapReader(FramingLimits limits = {});

    void append(QByteArrayView data);
    void clear();

    // The next complete response; nullopt until it is in, or after a failure. A literal
    // announced beyond the text limit fails the reader instead of being waited for, and so
    // do literals of one response that pass it together. A response whose text outside its
    // literals passes the line limit fails it as soon as that many bytes are in.
    std::optional<ImapResponse> take();
    // The server broke a limit; nothing more is framed until clear().
    bool hasFailed() const { return m_failure != FramingFailure::None; }
    FramingFailure failure() const { return m_failure; }
    const FramingLimits &limits() const { return m_limits; }

private:
    void fail(FramingFailure failure);

    FramingLimits m_limits;
    FramingBuffer m_frame;
    ImapResponse m_current; // the response being put together
    qint64 m_literalLeft = -1; // bytes of literal still to come; -1 outside a literal
    qint64 m_literalTotal = 0; // announced by the literals of m_current
    FramingFailure m_failure = FramingFailure::None;
};
