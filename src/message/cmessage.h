#pragma once

#include "mimelines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// One fetched message: the header fields the filter reads, the text of its body parts, its
// attachments and the verdict the classifier writes back. Every text is kept as the bytes of
// the message. ParseMessage fills the fields once; every field can be read and written freely.
class CMessage
{
public:
    // Text is the whole message (header block, empty line, body) with CR LF line ends. A text
    // without an empty line leaves every field empty and SIZE 0. Never throws; hostile input
    // costs time linear in its size.
    void ParseMessage(QByteArrayView Text);
    // ParseMessage of a text handed over. When the body is one part as it stands with no
    // "<BR>" of its own, the text's array becomes MessageBody (the body with each CR LF as
    // "<BR>") in place, so a large message is never held twice; text then keeps only its
    // header block, empty line included, and the text was that block followed by MessageBody
    // with each "<BR>" as CR LF. True when that happened; otherwise text is left as it was.
    bool parseTakingBody(QByteArray &text);

    QByteArray Headers; // empty once ParseMessage returns
    QByteArray MessageBody; // text parts joined, every CR LF written as "<BR>"
    QByteArray References;
    QByteArray InReplyTo;
    QByteArray BCC;
    QByteArray CC;
    QByteArray Sender;
    QByteArray ReplyTo;
    QByteArray Subject; // not decoded
    QByteArray from;
    QByteArray MessageTo;
    QByteArray MessageID; // without its angle brackets
    QByteArray SendDate; // the "Date" header as text
    QByteArray Received; // the last "Received" header
    QByteArray ReturnPath; // without its angle brackets
    QList<QByteArray> Attachment {QByteArray()}; // element 0 always empty, names from 1
    QList<QByteArray> AttachmentBodies {QByteArray()}; // parallel to Attachment
    QByteArray Status; // caption key, written by the classifier
    QByteArray Reason; // caption key, written by the classifier
    qint32 SIZE = 0; // length of the whole message text
    QByteArray SourceIP; // first address-like word of Received

    // Content decoders. None of them throws.

    // The body text of one MIME entity (header lines, an empty line, body lines) according to
    // its Content-Transfer-Encoding; base64 and uuencoded bodies are decoded to their bytes.
    QByteArray DecodeAttachment(const LineArray &Lines) const;
    // Quoted-printable: "=" plus two upper-case hex digits becomes that byte, "==_" (a soft
    // line break joined by DecodeAttachment) vanishes, "=_" becomes CR LF, anything else stays.
    QByteArray DecodeQP(QByteArrayView Text) const;
    // RFC 2047 encoded words in ISO charsets (Q and B); any other text comes back unchanged.
    QByteArray DecodeIso(QByteArrayView Text) const;
    // Base64 text to bytes.
    QByteArray Decode(QByteArrayView Text) const;
    // Uuencoded lines (an optional "begin" line, CR LF between lines) to bytes; empty on
    // malformed input.
    QByteArray DecodeUUE(QByteArrayView Text) const;

private:
    void readHeader(QByteArrayView text, qsizetype headerEnd);
    QByteArray DecodeBase64Bytes(QByteArrayView bytes) const;
};
