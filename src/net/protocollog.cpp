#include "protocollog.h"

Q_LOGGING_CATEGORY(lcProtocol, "korvane.protocol", QtInfoMsg)

namespace {

constexpr QByteArrayView mask("****");

// The length of the IMAP string at the start of text: a quoted string with its escapes, or
// an atom up to the next blank.
qsizetype stringLength(QByteArrayView text)
{
    if (!text.startsWith('"')) {
        const qsizetype blank = text.indexOf(' ');
        return blank < 0 ? text.size() : blank;
    }
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text.at(i) == '\\')
            ++i;
        else if (text.at(i) == '"')
            return i + 1;
    }
    return text.size();
}

bool startsWithWord(QByteArrayView text, QByteArrayView word)
{
    return text.size() > word.size() && text.at(word.size()) == ' '
        && text.first(word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray maskedCommand(QByteArrayView command)
{
    if (startsWithWord(command, "PASS"))
        return "PASS " + mask.toByteArray();
    // "<tag> LOGIN <user> <password>": the user name stays readable.
    const qsizetype afterTag = command.indexOf(' ') + 1;
    if (afterTag > 0 && startsWithWord(command.sliced(afterTag), "LOGIN")) {
        const qsizetype user = afterTag + 6;
        const qsizetype userEnd = user + stringLength(command.sliced(user));
        if (userEnd < command.size())
            return command.first(userEnd).toByteArray() + ' ' + mask.toByteArray();
    }
    return command.toByteArray();
}
