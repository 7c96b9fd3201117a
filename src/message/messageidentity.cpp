#include "messageidentity.h"

#include <QCryptographicHash>
#include <QList>

#include <array>

namespace {

constexpr std::array<QByteArrayView, 4> identityFields {"message-id", "date", "from", "subject"};

// The index of the field in identityFields, or -1.
int fieldIndex(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return -1;
    const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
    for (std::size_t i = 0; i < identityFields.size(); ++i) {
        if (name == identityFields.at(i))
            return int(i);
    }
    return -1;
}

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

} // namespace

QByteArray identityDigest(QByteArrayView message)
{
    std::array<QList<QByteArray>, identityFields.size()> values;
    int current = -1; // the field whose folded lines follow
    qsizetype start = 0;
    while (start < message.size()) {
        qsizetype end = message.indexOf('\n', start);
        end = end < 0 ? message.size() : end + 1;
        const QByteArrayView line = withoutLineEnd(message.sliced(start, end - start));
        start = end;
        if (line.trimmed().isEmpty())
            break;
        if (line.front() == ' ' || line.front() == '\t') {
            if (current >= 0)
                values[current].last() += ' ' + line.toByteArray();
            continue;
        }
        current = fieldIndex(line);
        if (current >= 0)
            values[current] << line.sliced(line.indexOf(':') + 1).toByteArray();
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (std::size_t i = 0; i < identityFields.size(); ++i) {
        for (const QByteArray &value : values.at(i)) {
            hash.addData(identityFields.at(i));
            hash.addData(":");
            hash.addData(value.simplified());
            hash.addData("\n");
        }
    }
    return hash.result().toHex();
}
