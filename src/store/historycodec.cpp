#include "historycodec.h"

#include "numbers.h"
#include "platform/textfile.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qsizetype linesPerRecord = qsizetype(historyTextFields.size()) + 1;

void appendLine(QByteArray &out, QByteArrayView text)
{
    out.append(text);
    out.append("\r\n", 2);
}

// Fills one record from nine lines starting at first. False when the ninth line is not
// a whole number.
bool readRecord(const QList<QByteArray> &lines, qsizetype first, HistoryRecord &record)
{
    qsizetype line = first;
    for (QByteArray HistoryRecord::*field : historyTextFields)
        record.*field = historyField(lines.at(line++));
    const auto number = toWholeNumber(lines.at(line), std::numeric_limits<int>::min(),
                                      std::numeric_limits<int>::max());
    if (!number)
        return false;
    record.MailNumber = *number;
    return true;
}

} // namespace

QByteArray historyField(QByteArray text)
{
    // A line break inside a field would shift every later record of the nine-line file.
    text.replace('\r', ' ');
    text.replace('\n', ' ');
    return text;
}

QByteArray encodeHistory(const QList<HistoryRecord> &records)
{
    // One buffer for the whole file: the history is rewritten after every check and can
    // hold hundreds of thousands of lines.
    qsizetype total = 0;
    for (const HistoryRecord &record : records) {
        for (QByteArray HistoryRecord::*field : historyTextFields)
            total += (record.*field).size();
        total += 12 + 2 * linesPerRecord;
    }
    QByteArray bytes;
    bytes.reserve(total);
    for (const HistoryRecord &record : records) {
        if (record.AccountName == HistoryRecord::deletedMark)
            continue;
        for (QByteArray HistoryRecord::*field : historyTextFields) {
            const qsizetype start = bytes.size();
            appendLine(bytes, record.*field);
            std::replace_if(
                bytes.begin() + start, bytes.end() - 2,
                [](char c) { return c == '\r' || c == '\n'; }, ' ');
        }
        appendLine(bytes, QByteArray::number(record.MailNumber));
    }
    return bytes;
}

DecodedHistory decodeHistory(QByteArrayView bytes)
{
    const QList<QByteArray> lines = TextFile::splitLines(bytes);
    DecodedHistory decoded;
    qsizetype first = 0;
    for (; first + linesPerRecord <= lines.size(); first += linesPerRecord) {
        HistoryRecord record;
        if (!readRecord(lines, first, record)) {
            decoded.isComplete = false;
            return decoded;
        }
        decoded.records.append(record);
    }
    // A file that ends inside a record.
    decoded.isComplete = first == lines.size();
    return decoded;
}
