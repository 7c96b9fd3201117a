#include "verdictfingerprint.h"

#include "platform/clock.h"
#include "store/appsettings.h"
#include "store/maillists.h"

#include <QCryptographicHash>

#include <cstring>

namespace {

// Raised whenever the rules themselves change what they decide, so that verdicts stored by
// an older program are made again.
constexpr int rulesEdition = 1;

// Feeds values into the digest, each framed so that no two different sequences of values
// give the same bytes: "ab" + "c" and "a" + "bc" differ.
class Feed
{
public:
    void add(QByteArrayView bytes)
    {
        number(bytes.size());
        m_hash.addData(bytes);
    }
    void number(qint64 value)
    {
        // Little-endian and fixed width on every machine.
        char bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = char((quint64(value) >> (8 * i)) & 0xff);
        m_hash.addData(QByteArrayView(bytes, 8));
    }
    void flag(bool value) { number(value ? 1 : 0); }
    // A float by its exact bit pattern: a threshold that differs in the last bit decides
    // differently at that total.
    void real(float value)
    {
        quint32 bits = 0;
        static_assert(sizeof bits == sizeof value);
        std::memcpy(&bits, &value, sizeof bits);
        number(bits);
    }
    // A list by its length and then its elements in order: the first matching pattern is the
    // one a verdict names, so the order counts.
    void list(const QList<QByteArray> &values)
    {
        number(values.size());
        for (const QByteArray &value : values)
            add(value);
    }
    QByteArray result() const { return m_hash.result().toHex().left(32); }

private:
    QCryptographicHash m_hash {QCryptographicHash::Sha256};
};

} // namespace

QByteArray VerdictFingerprint(const AppSettings &settings, const MailLists &lists,
                              const Clock &clock)
{
    Feed feed;
    feed.number(rulesEdition);

    feed.flag(lists.FriendListLoaded);
    feed.list(lists.FriendList);
    feed.flag(lists.BlockedListLoaded);
    feed.list(lists.BlockedList);
    feed.flag(lists.BadWordsLoaded);
    feed.number(lists.BadWords.size());
    for (const SpamWord &word : lists.BadWords) {
        feed.add(word.Word);
        feed.number(word.Value);
    }

    feed.number(settings.SecurityLevel);
    feed.number(settings.SpamThreshold);
    feed.real(settings.EffectiveThreshold);
    feed.flag(settings.CheckLargerThan);
    feed.number(settings.MaxSizeKB);
    feed.flag(settings.DeleteRepeated);
    feed.list(settings.WatchedExtensions);
    feed.flag(settings.DelOld);
    feed.number(settings.Days);
    // Only the age rule reads the date; while it is off a new day leaves every verdict as
    // it was, and cached messages need not be judged again each morning.
    if (settings.DelOld)
        feed.number(clock.utcToday().toJulianDay());
    return feed.result();
}
