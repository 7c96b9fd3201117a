#include "mailboxgenerator.h"

namespace {

const char *const wordList[] = {
    "the",         "of",        "and",       "to",
    "in",          "is",        "you",       "that",
    "it",          "he",        "was",       "for",
    "on",          "are",       "as",        "with",
    "his",         "they",      "at",        "be",
    "this",        "have",      "from",      "or",
    "one",         "had",       "by",        "word",
    "but",         "not",       "what",      "all",
    "were",        "we",        "when",      "your",
    "can",         "said",      "there",     "use",
    "an",          "each",      "which",     "she",
    "do",          "how",       "their",     "if",
    "will",        "up",        "other",     "about",
    "out",         "many",      "then",      "them",
    "these",       "so",        "some",      "her",
    "would",       "make",      "like",      "him",
    "into",        "time",      "has",       "look",
    "two",         "more",      "write",     "go",
    "see",         "number",    "no",        "way",
    "could",       "people",    "my",        "than",
    "first",       "water",     "been",      "call",
    "who",         "oil",       "its",       "now",
    "find",        "long",      "down",      "day",
    "did",         "get",       "come",      "made",
    "may",         "part",      "meeting",   "report",
    "invoice",     "project",   "friday",    "monday",
    "lunch",       "please",    "attached",  "thanks",
    "regards",     "review",    "schedule",  "budget",
    "draft",       "agenda",    "update",    "question",
    "answer",      "team",      "office",    "client",
    "order",       "delivery",  "account",   "password",
    "bank",        "verify",    "urgent",    "free",
    "offer",       "cheap",     "pills",     "viagra",
    "casino",      "winner",    "prize",     "lottery",
    "money",       "credit",    "loan",      "mortgage",
    "discount",    "click",     "here",      "unsubscribe",
    "limited",     "guarantee", "deal",      "save",
    "investment",  "bonus",     "exclusive", "congratulations",
    "claim",       "refund",    "pharmacy",  "replica",
    "watches",     "dating",    "singles",   "weight",
    "loss",        "diet",      "miracle",   "cure",
    "million",     "dollars",   "transfer",  "beneficiary",
    "inheritance", "prince",    "stock",     "alert",
    "hot",         "tips",      "profit",    "risk",
    "income",      "home",      "work",      "business",
    "opportunity", "garden",    "holiday",   "photos",
    "family",      "weekend",   "football",  "music",
    "concert",     "ticket",    "train",     "station",
    "airport",     "hotel",     "booking",   "confirm",
    "cancel",      "price",     "list",      "catalogue",
    "newsletter",  "issue",     "release",   "version",
    "server",      "backup",    "printer",   "network",
    "upgrade",     "license",   "support",   "service",
    "contract",
};

const char *const tlds[] = {"example.com", "example.org", "example.net", "mail.example.com"};

} // namespace

MailboxGenerator::MailboxGenerator(quint64 seed)
    : m_state(seed)
{
}

const QList<QByteArray> &MailboxGenerator::vocabulary()
{
    static const QList<QByteArray> words = [] {
        QList<QByteArray> list;
        for (const char *w : wordList)
            list.append(w);
        return list;
    }();
    return words;
}

quint64 MailboxGenerator::nextRandom()
{
    // splitmix64: small, fast and the same on every platform.
    quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

int MailboxGenerator::below(int bound)
{
    return int(nextRandom() % quint64(bound));
}

QByteArray MailboxGenerator::words(qsizetype bytes, int lineLength)
{
    const QList<QByteArray> &vocab = m_words.isEmpty() ? vocabulary() : m_words;
    QByteArray text;
    text.reserve(bytes + 128);
    qsizetype lineStart = 0;
    bool sentenceStart = true;
    while (text.size() < bytes) {
        QByteArray w = vocab[below(int(vocab.size()))];
        if (sentenceStart)
            w[0] = char(w[0] - 32);
        sentenceStart = false;
        text += w;
        const int r = below(20);
        if (r == 0) {
            text += '.';
            sentenceStart = true;
        } else if (r == 1) {
            text += ',';
        }
        if (text.size() - lineStart >= lineLength) {
            text += "\r\n";
            lineStart = text.size();
        } else {
            text += ' ';
        }
    }
    if (!text.endsWith("\r\n"))
        text += "\r\n";
    return text;
}

QByteArray MailboxGenerator::boundary()
{
    return "----=_Part_" + QByteArray::number(nextRandom() % 1000000000ULL) + "_"
        + QByteArray::number(++m_sequence);
}

QByteArray MailboxGenerator::binary(qsizetype bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes; ++i)
        data[i] = char(nextRandom() & 0xff);
    return data;
}

QByteArray MailboxGenerator::header(const QByteArray &contentType, const QByteArray &extra)
{
    const QList<QByteArray> &vocab = vocabulary();
    const QByteArray user = vocab[below(int(vocab.size()))] + QByteArray::number(below(100));
    const QByteArray domain = tlds[below(4)];
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    QByteArray subject;
    for (int i = 0, n = 2 + below(6); i < n; ++i)
        subject += (i ? " " : "") + vocab[below(int(vocab.size()))];
    const QByteArray ip = "192.0.2." + QByteArray::number(1 + below(254));
    const QByteArray id
        = QByteArray::number(nextRandom() % 100000000ULL) + "." + QByteArray::number(m_sequence);
    return "Return-Path: <" + user + "@" + domain
        + ">\r\n"
          "Received: from relay."
        + domain + " (relay." + domain + " [198.51.100." + QByteArray::number(below(254))
        + "])\r\n"
          "\tby mx.example.com (Postfix) with ESMTP id "
        + id
        + "\r\n"
          "\tfor <bob@example.com>; Tue, 4 Mar 2008 09:12:44 +0100\r\n"
          "Received: from ["
        + ip + "] (helo=client) by relay." + domain
        + "; Tue, 4 Mar 2008 09:12:40 +0100\r\n"
          "Message-ID: <"
        + id + "@" + domain
        + ">\r\n"
          "Date: "
        + days[below(7)] + ", " + QByteArray::number(1 + below(28)) + " " + months[below(12)] + " "
        + QByteArray::number(2005 + below(4)) + " " + QByteArray::number(10 + below(14)) + ":"
        + QByteArray::number(10 + below(50)) + ":" + QByteArray::number(10 + below(50))
        + " +0000\r\n"
          "From: \""
        + user + "\" <" + user + "@" + domain
        + ">\r\n"
          "To: Bob <bob@example.com>\r\n"
          "Subject: "
        + subject
        + "\r\n"
          "MIME-Version: 1.0\r\n"
          "Content-Type: "
        + contentType + "\r\n" + extra + "\r\n";
}

namespace {

QByteArray base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        out += encoded.mid(i, 76) + "\r\n";
    return out;
}

QByteArray quotedPrintable(const QByteArray &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    qsizetype column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = quint8(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        QByteArray piece;
        if (c == '=' || c >= 128 || (c < 32 && c != '\t'))
            piece = QByteArray("=") + hex[c >> 4] + hex[c & 15];
        else
            piece = QByteArray(1, char(c));
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

QByteArray uuencode(const QByteArray &data, const QByteArray &name)
{
    auto enc = [](int v) {
        return char(v ? v + 32 : '`');
    };
    QByteArray out = "begin 644 " + name + "\r\n";
    for (qsizetype i = 0; i < data.size(); i += 45) {
        const QByteArray chunk = data.mid(i, 45);
        out += enc(int(chunk.size()));
        for (qsizetype j = 0; j < chunk.size(); j += 3) {
            const int b0 = quint8(chunk[j]);
            const int b1 = j + 1 < chunk.size() ? quint8(chunk[j + 1]) : 0;
            const int b2 = j + 2 < chunk.size() ? quint8(chunk[j + 2]) : 0;
            out += enc(b0 >> 2);
            out += enc(((b0 & 3) << 4) | (b1 >> 4));
            out += enc(((b1 & 15) << 2) | (b2 >> 6));
            out += enc(b2 & 63);
        }
        out += "\r\n";
    }
    return out + "`\r\nend\r\n";
}

} // namespace

QByteArray MailboxGenerator::message(Kind kind, qsizetype bodyBytes)
{
    const QByteArray b = boundary();
    const QByteArray multipart = "; boundary=\"" + b + "\"";
    switch (kind) {
    case Kind::PlainText:
        return header("text/plain; charset=us-ascii") + words(bodyBytes);
    case Kind::Alternative: {
        const QByteArray text = words(bodyBytes / 2);
        return header("multipart/alternative" + multipart)
            + "This is a multi-part message in MIME format.\r\n\r\n--" + b
            + "\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
              "7bit\r\n\r\n"
            + text + "--" + b
            + "\r\nContent-Type: text/html; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
              "quoted-printable\r\n\r\n"
            + quotedPrintable("<html><body><p>" + text + "</p></body></html>\r\n") + "--" + b
            + "--\r\n";
    }
    case Kind::MixedAttachments:
        return header("multipart/mixed" + multipart) + "--" + b
            + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + words(bodyBytes / 2) + "--"
            + b + "\r\nContent-Type: application/pdf;\r\n\tname=\"report "
            + QByteArray::number(below(1000))
            + ".pdf\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: "
              "attachment\r\n\r\n"
            + base64Lines(binary(bodyBytes / 3)) + "--" + b
            + "\r\nContent-Type: application/zip\r\nContent-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"photos.zip\"\r\n\r\n"
            + base64Lines(binary(bodyBytes / 6)) + "--" + b + "--\r\n";
    case Kind::Nested: {
        const QByteArray inner = boundary();
        const QByteArray text = words(bodyBytes / 2);
        return header("multipart/mixed" + multipart) + "--" + b
            + "\r\nContent-Type: multipart/alternative; boundary=\"" + inner + "\"\r\n\r\n--"
            + inner + "\r\nContent-Type: text/plain\r\n\r\n" + text + "--" + inner
            + "\r\nContent-Type: text/html\r\n\r\n<div>" + text + "</div>\r\n--" + inner
            + "--\r\n\r\n--" + b
            + "\r\nContent-Type: image/png; name=\"image.png\"\r\nContent-Transfer-Encoding: "
              "base64\r\n\r\n"
            + base64Lines(binary(qMax<qsizetype>(16, bodyBytes / 8))) + "--" + b + "--\r\n";
    }
    case Kind::QuotedPrintable:
        return header("text/plain; charset=iso-8859-1",
                      "Content-Transfer-Encoding: quoted-printable\r\n")
            + quotedPrintable(
                   words(bodyBytes, 200).replace("the ", "th\xe9 ").replace(", ", " = "));
    case Kind::Base64Text:
        return header("multipart/mixed" + multipart) + "--" + b
            + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
              "base64\r\n\r\n"
            + base64Lines(words(bodyBytes)) + "--" + b + "--\r\n";
    case Kind::Uuencoded:
        return header("multipart/mixed" + multipart) + "--" + b
            + "\r\nContent-Type: text/plain\r\n\r\n" + words(bodyBytes / 2) + "--" + b
            + "\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
              "Content-Transfer-Encoding: x-uuencode\r\n\r\n"
            + uuencode(binary(bodyBytes / 3), "data.bin") + "--" + b + "--\r\n";
    case Kind::EncodedWordName:
        return header("multipart/mixed" + multipart) + "--" + b
            + "\r\nContent-Type: text/plain\r\n\r\n" + words(bodyBytes) + "--" + b
            + "\r\nContent-Type: application/octet-stream;\r\n\tname=\"=?iso-8859-1?Q?r=E9sum=E9_"
            + QByteArray::number(below(100))
            + ".doc?=\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64Lines(binary(256))
            + "--" + b + "--\r\n";
    case Kind::DotStuffed:
        return header("text/plain") + words(bodyBytes / 2) + ".\r\n..hidden dots\r\n"
            + words(bodyBytes / 2);
    }
    return {};
}

QByteArray MailboxGenerator::nextMessage()
{
    const auto kind = Kind(m_messages++ % kindCount);
    // Most mail is small; one message in fifty carries a large body.
    const qsizetype size = below(50) == 0 ? 100000 + below(400000) : 500 + below(8000);
    return message(kind, size);
}

QList<QByteArray> MailboxGenerator::mailbox(qint64 totalBytes)
{
    QList<QByteArray> messages;
    qint64 total = 0;
    while (total < totalBytes) {
        messages.append(nextMessage());
        total += messages.last().size();
    }
    return messages;
}
