#include "imapreader.h"

#include <utility>

namespace {

QByteArrayView chopLineEnd(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// RFC 3501 §4.3: a line that ends in "{n}" announces n bytes of literal right after its CR LF.
// Anything else there (no digits, a sign, a number too long to be a size) is plain text.
std::optional<qint64> literalSize(QByteArrayView line)
{
    line = chopLineEnd(line);
    if (!line.endsWith('}'))
        return std::nullopt;
    const qsizetype open = line.lastIndexOf('{');
    const QByteArrayView digits
        = open < 0 ? QByteArrayView() : line.sliced(open + 1, line.size() - open - 2);
    if (digits.isEmpty() || digits.size() > 15)
        return std::nullopt;
    qint64 size = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        size = size * 10 + (c - '0');
    }
    return size;
}

QByteArrayView wordOf(QByteArrayView text, int index)
{
    qsizetype from = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype blank = text.indexOf(' ', from);
        if (blank < 0)
            return {};
        from = blank + 1;
    }
    qsizetype to = from;
    while (to < text.size() && text.at(to) != ' ' && text.at(to) != '\r' && text.at(to) != '\n')
        ++to;
    return text.sliced(from, to - from);
}

} // namespace

QByteArray ImapResponse::word(int index) const
{
    return wordOf(text, index).toByteArray();
}

QByteArray ImapResponse::tag() const
{
    return word(0);
}

QByteArray ImapResponse::status() const
{
    return word(1).toUpper();
}

std::optional<QByteArray> ImapResponse::literalAfter(QByteArrayView itemName) const
{
    for (const Literal &literal : literals) {
        const qsizetype open = text.lastIndexOf('{', literal.end - 1);
        QByteArrayView before = QByteArrayView(text).first(open).trimmed();
        if (before.size() < itemName.size())
            continue;
        const QByteArrayView name = before.last(itemName.size());
        before.chop(itemName.size());
        const bool isWholeWord = before.isEmpty() || before.endsWith(' ') || before.endsWith('(');
        if (isWholeWord && name.compare(itemName, Qt::CaseInsensitive) == 0)
            return literal.bytes;
    }
    return std::nullopt;
}

bool ImapResponse::announces(QByteArrayView capability) const
{
    return tag() == "*" && status() == "CAPABILITY"
        && text.toUpper().simplified().split(' ').contains(capability.toByteArray().toUpper());
}

QByteArray ImapResponse::numberAfter(QByteArrayView itemName) const
{
    QByteArray line = text.left(text.indexOf('\n'));
    for (char &c : line) {
        if (c == '(' || c == ')' || c == '[' || c == ']')
            c = ' ';
    }
    const QList<QByteArray> words = line.simplified().split(' ');
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        bool isNumber = false;
        if (words.at(i).compare(itemName, Qt::CaseInsensitive) == 0) {
            (void)words.at(i + 1).toULongLong(&isNumber);
            return isNumber ? words.at(i + 1) : QByteArray();
        }
    }
    return {};
}

ImapReader::ImapReader(FramingLimits limits)
    : m_limits(limits)
{
}

void ImapReader::append(QByteArrayView data)
{
    // Past a failure nothing more is framed, so nothing more is kept either.
    if (!hasFailed())
        m_frame.append(data);
}

void ImapReader::clear()
{
    m_frame.clear();
    m_current = {};
    m_literalLeft = -1;
    m_literalTotal = 0;
    m_failure = FramingFailure::None;
}

void ImapReader::fail(FramingFailure failure)
{
    m_failure = failure;
    m_current = {};
}

std::optional<ImapResponse> ImapReader::take()
{
    while (!hasFailed()) {
        if (m_literalLeft >= 0) {
            // Only the count matters until the whole literal is in, so waiting is free.
            if (m_frame.size() < m_literalLeft)
                return std::nullopt;
            m_current.literals.last().bytes = m_frame.take(m_literalLeft);
            m_literalLeft = -1;
            continue;
        }
        const qsizetype lf = m_frame.findLineEnd();
        // The text so far counts with the line: a server that strings literals together
        // could otherwise grow a response without end in short lines. Without its end the
        // line is at least one byte longer than what is in.
        const qsizetype textLength = m_current.text.size() + (lf < 0 ? m_frame.size() + 1 : lf + 1);
        if (textLength > m_limits.maxLineLength) {
            fail(FramingFailure::LineTooLong);
            return std::nullopt;
        }
        if (lf < 0)
            return std::nullopt;
        const QByteArrayView line = m_frame.pending().first(lf + 1);
        const std::optional<qint64> size = literalSize(line);
        if (!size) {
            m_current.text += line;
            m_frame.consume(line.size());
            m_literalTotal = 0;
            return std::exchange(m_current, ImapResponse());
        }
        if (*size > m_limits.maxTextSize) {
            fail(FramingFailure::LiteralTooLarge);
            return std::nullopt;
        }
        if (m_literalTotal + *size > m_limits.maxTextSize) {
            fail(FramingFailure::TextTooLarge);
            return std::nullopt;
        }
        m_literalTotal += *size;
        m_current.text += chopLineEnd(line);
        m_current.literals.append(ImapResponse::Literal {m_current.text.size(), {}});
        m_frame.consume(line.size());
        m_frame.expect(*size);
        m_literalLeft = *size;
    }
    return std::nullopt;
}
