#include "mimelines.h"

#include "bytetext.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool equalsIgnoringCase(const char *a, const char *b, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

bool lineHolds(QByteArrayView line, QByteArrayView text, bool substring)
{
    return substring ? containsBytes(line, text) : FindToken(line, text) > 0;
}

} // namespace

bool IsTokenDelimiter(char c)
{
    return c == '"' || c == '-' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

qsizetype FindToken(QByteArrayView Line, QByteArrayView Token)
{
    const qsizetype n = Token.size();
    if (n == 0 || n > Line.size())
        return 0;
    const char *data = Line.data();
    const char first = lowerAscii(Token[0]);
    const char firstUpper = (first >= 'a' && first <= 'z') ? char(first - ('a' - 'A')) : first;
    const qsizetype last = Line.size() - n;
    for (qsizetype i = 0; i <= last; ++i) {
        // Skip quickly to the next byte that can start the token.
        const char *hit = nullptr;
        if (first == firstUpper) {
            hit = static_cast<const char *>(std::memchr(data + i, first, size_t(last - i + 1)));
        } else {
            const void *lo = std::memchr(data + i, first, size_t(last - i + 1));
            const void *up = std::memchr(data + i, firstUpper, size_t(last - i + 1));
            hit = static_cast<const char *>(!lo ? up : !up ? lo : (lo < up ? lo : up));
        }
        if (!hit)
            return 0;
        i = hit - data;
        if (!equalsIgnoringCase(data + i, Token.data(), n))
            continue;
        const bool openOk = i == 0 || IsTokenDelimiter(data[i - 1]);
        const bool closeOk = i + n == Line.size() || IsTokenDelimiter(data[i + n]);
        if (openOk && closeOk)
            return i + 1;
    }
    return 0;
}

qsizetype FindLine(qsizetype Start, QByteArrayView Text, const LineArray &Lines, bool Substring)
{
    if (Start < 0)
        return -1;
    for (qsizetype i = Start; i < Lines.size() - 1; ++i) {
        if (lineHolds(Lines[i], Text, Substring))
            return i;
    }
    return -1;
}

qsizetype FindBlankLine(qsizetype Start, const LineArray &Lines)
{
    if (Start < 0)
        return -1;
    const qsizetype examined = Lines.size() - 1;
    for (qsizetype i = Start; i < Lines.size() && i - Start < examined; ++i) {
        if (Lines[i].isEmpty())
            return i;
    }
    return -1;
}

qsizetype FindLastLine(QByteArrayView Text, const LineArray &Lines)
{
    for (qsizetype i = Lines.size() - 1; i >= 1; --i) {
        if (containsBytes(Lines[i], Text))
            return i;
    }
    return -1;
}

qsizetype FindLastEmptyLine(const LineArray &Lines)
{
    for (qsizetype i = Lines.size() - 1; i >= 1; --i) {
        if (Lines[i].isEmpty())
            return i;
    }
    return -1;
}

QByteArray GetParam(qsizetype Index, QByteArrayView Key, const LineArray &Lines)
{
    if (Index < 0 || Index >= Lines.size())
        return {};
    return ParamOfLine(Lines[Index], Key);
}

QByteArray ParamOfLine(QByteArrayView Line, QByteArrayView Key)
{
    // The key is looked for in the lower-cased line, so a key with an upper-case letter is
    // never found; the line itself is not copied for it.
    const bool canMatch
        = std::none_of(Key.begin(), Key.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    const qsizetype found = canMatch ? indexOfBytesIgnoringCase(Line, Key) : -1;
    // Without the key the value starts at the character whose position (from 1) is the length
    // of the key: the last character of a key that would have stood at the line start.
    const qsizetype start = found >= 0 ? found + Key.size() : Key.size() - 1;
    QByteArray value
        = start >= 0 && start < Line.size() ? Line.sliced(start).toByteArray() : QByteArray();
    if (value.startsWith('"')) {
        value.remove(0, 1);
        if (value.endsWith('"'))
            value.chop(1);
    }
    value.removeIf([](char c) { return c == ' '; });
    return value;
}

void MoveLines(LineArray &Source, LineArray &Target, qsizetype From, qsizetype To)
{
    if (To < From)
        return;
    Target = LineArray(To - From + 1);
    if (From < 0 || To >= Source.size())
        return;
    for (qsizetype i = From; i <= To; ++i)
        Target[i - From] = std::exchange(Source[i], QByteArray());
}

LineArray UnfoldHeader(qsizetype From, qsizetype To, const LineArray &Lines)
{
    if (From < 0 || To >= Lines.size() || To < From)
        return {};
    QByteArray joined;
    for (qsizetype i = From; i <= To; ++i) {
        if (i > From)
            joined += "\r\n";
        joined += Lines[i];
    }
    return UnfoldJoinedHeader(joined);
}

LineArray UnfoldJoinedHeader(QByteArrayView Joined)
{
    LineArray result;
    QByteArray current;
    for (qsizetype i = 0; i < Joined.size();) {
        const qsizetype crlf = indexOfBytes(Joined, "\r\n", i);
        if (crlf < 0) {
            current += Joined.sliced(i);
            break;
        }
        current += Joined.sliced(i, crlf - i);
        const char next = crlf + 2 < Joined.size() ? Joined[crlf + 2] : '\0';
        if (next == '\t' || next == '\v' || next == ' ' || next == '\xff') {
            // A folded continuation: the line break and the one fold character become a blank.
            current += ' ';
            i = crlf + 3;
        } else {
            result.append(std::exchange(current, QByteArray()));
            i = crlf + 2;
        }
    }
    result.append(current);
    return result;
}
