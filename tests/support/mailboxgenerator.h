#pragma once

#include <QByteArray>
#include <QList>

// Deterministic mailboxes of realistic messages for benchmarks and stress tests: the same
// seed always gives the same bytes. Messages use CR LF line ends, as received from a server,
// and mix the shapes the parser must handle.
class MailboxGenerator
{
public:
    enum class Kind {
        PlainText,
        Alternative, // text/plain + text/html
        MixedAttachments, // text + base64 attachments, one name on a continuation line
        Nested, // multipart/alternative inside multipart/mixed
        QuotedPrintable,
        Base64Text,
        Uuencoded,
        EncodedWordName, // attachment named with an ISO encoded word
        DotStuffed,
    };
    static constexpr int kindCount = 9;

    explicit MailboxGenerator(quint64 seed = 20080101);

    // One message of the given kind whose text parts hold about bodyBytes of words.
    QByteArray message(Kind kind, qsizetype bodyBytes);
    // The next message of a mailbox: kinds in turn, bodies mostly of a few KB, now and then
    // a large one.
    QByteArray nextMessage();
    // Messages until their total size reaches at least totalBytes.
    QList<QByteArray> mailbox(qint64 totalBytes);

    // The words the texts are made of (lower case); spam words drawn from it will hit.
    static const QList<QByteArray> &vocabulary();
    // Texts made from now on draw their words from these instead (the vocabulary again when
    // empty), so that a mailbox can hold mail that a word list tells apart.
    void setWords(const QList<QByteArray> &words) { m_words = words; }

private:
    quint64 nextRandom();
    int below(int bound);
    QByteArray words(qsizetype bytes, int lineLength = 72);
    QByteArray header(const QByteArray &contentType, const QByteArray &extra = {});
    QByteArray boundary();
    QByteArray binary(qsizetype bytes);

    quint64 m_state;
    QList<QByteArray> m_words;
    int m_sequence = 0; // boundaries made so far
    int m_messages = 0; // messages made by nextMessage
};
