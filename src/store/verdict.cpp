#include "verdict.h"

#include "platform/textfile.h"

#include <limits>

namespace {

QByteArray oneLine(QByteArray text)
{
    return text.replace('\r', ' ').replace('\n', ' ');
}

void addLine(QByteArray &out, const char *key, const QByteArray &value)
{
    out += key;
    out += '=';
    out += oneLine(value);
    out += "\r\n";
}

// Nine significant digits bring every float back exactly.
QByteArray floatText(float value)
{
    return QByteArray::number(double(value), 'g', 9);
}

template<typename Int> bool readInt(QByteArrayView text, Int &value)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < qlonglong(std::numeric_limits<Int>::min())
        || number > qlonglong(std::numeric_limits<Int>::max()))
        return false;
    value = Int(number);
    return true;
}

bool readFloat(QByteArrayView text, float &value)
{
    bool ok = false;
    value = text.toFloat(&ok);
    return ok;
}

// "<weight> <count> <word>": the word last, as it may hold blanks.
bool readHit(QByteArrayView text, SpamWordHit &hit)
{
    const qsizetype first = text.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : text.indexOf(' ', first + 1);
    if (second < 0)
        return false;
    hit.word = text.sliced(second + 1).toByteArray();
    return readInt(text.first(first), hit.weight)
        && readInt(text.sliced(first + 1, second - first - 1), hit.count);
}

} // namespace

QByteArray encodeVerdict(const Verdict &verdict)
{
    QByteArray out;
    addLine(out, "status", keyOf(verdict.status));
    addLine(out, "reason", keyOf(verdict.reason));
    if (!verdict.address.isEmpty())
        addLine(out, "address", verdict.address);
    if (!verdict.listEntry.isEmpty())
        addLine(out, "entry", verdict.listEntry);
    if (verdict.wordsScored) {
        for (const SpamWordHit &hit : verdict.spamWords)
            addLine(out, "word",
                    QByteArray::number(hit.weight) + ' ' + QByteArray::number(hit.count) + ' '
                        + hit.word);
        addLine(out, "total", floatText(verdict.wordTotal));
        addLine(out, "threshold", floatText(verdict.threshold));
    }
    if (!verdict.attachmentName.isEmpty() || !verdict.watchedType.isEmpty()) {
        addLine(out, "attachment", verdict.attachmentName);
        addLine(out, "watched", verdict.watchedType);
    }
    if (verdict.sizeLimitKB != 0 || verdict.sizeBytes != 0) {
        addLine(out, "size", QByteArray::number(verdict.sizeBytes));
        addLine(out, "sizelimit", QByteArray::number(verdict.sizeLimitKB));
    }
    if (verdict.dayLimit != 0 || verdict.ageDays != 0) {
        addLine(out, "age", QByteArray::number(verdict.ageDays));
        addLine(out, "daylimit", QByteArray::number(verdict.dayLimit));
    }
    if (verdict.repeatsMessage != 0)
        addLine(out, "repeats", QByteArray::number(verdict.repeatsMessage));
    return out;
}

std::optional<Verdict> decodeVerdict(QByteArrayView bytes)
{
    Verdict verdict;
    std::optional<MessageStatus> status;
    std::optional<Reason> reason;
    for (const QByteArray &line : TextFile::splitLines(bytes)) {
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            return std::nullopt;
        const QByteArrayView key = QByteArrayView(line).first(equals);
        const QByteArrayView value = QByteArrayView(line).sliced(equals + 1);
        bool ok = true;
        if (key == "status") {
            status = statusOf(value);
            ok = status.has_value();
        } else if (key == "reason") {
            reason = reasonOf(value);
            ok = reason.has_value();
        } else if (key == "address") {
            verdict.address = value.toByteArray();
        } else if (key == "entry") {
            verdict.listEntry = value.toByteArray();
        } else if (key == "word") {
            SpamWordHit hit;
            ok = readHit(value, hit);
            verdict.spamWords.append(hit);
            verdict.wordsScored = true;
        } else if (key == "total") {
            ok = readFloat(value, verdict.wordTotal);
            verdict.wordsScored = true;
        } else if (key == "threshold") {
            ok = readFloat(value, verdict.threshold);
            verdict.wordsScored = true;
        } else if (key == "attachment") {
            verdict.attachmentName = value.toByteArray();
        } else if (key == "watched") {
            verdict.watchedType = value.toByteArray();
        } else if (key == "size") {
            ok = readInt(value, verdict.sizeBytes);
        } else if (key == "sizelimit") {
            ok = readInt(value, verdict.sizeLimitKB);
        } else if (key == "age") {
            ok = readInt(value, verdict.ageDays);
        } else if (key == "daylimit") {
            ok = readInt(value, verdict.dayLimit);
        } else if (key == "repeats") {
            ok = readInt(value, verdict.repeatsMessage);
        }
        // Other keys are left for a later version to read.
        if (!ok)
            return std::nullopt;
    }
    if (!status || !reason)
        return std::nullopt;
    verdict.status = *status;
    verdict.reason = *reason;
    return verdict;
}
