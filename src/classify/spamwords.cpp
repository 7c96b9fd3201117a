#include "spamwords.h"

#include "store/maillists.h"

#include <QHash>

#include <cstring>
#include <limits>

namespace {

constexpr int noCount = -1;

bool fitsInt16(qint64 value)
{
    return value >= std::numeric_limits<qint16>::min()
        && value <= std::numeric_limits<qint16>::max();
}

// The weighted hits of one count, or nothing when the count or the product overflows.
std::optional<float> weightedHits(qint64 count, qint16 weight)
{
    if (!fitsInt16(count))
        return std::nullopt;
    const qint64 product = count * weight;
    if (!fitsInt16(product))
        return std::nullopt;
    return float(product);
}

} // namespace

std::optional<float> CountWordHits(QByteArrayView text, QByteArrayView key, qint16 weight)
{
    if (key.isEmpty())
        return 0.0f;
    qint64 count = 0;
    for (qsizetype p = text.indexOf(key); p >= 0; p = text.indexOf(key, p + 2)) {
        if (++count > std::numeric_limits<qint16>::max())
            return std::nullopt;
    }
    return weightedHits(count, weight);
}

SpamWordScanner::SpamWordScanner(const MailLists &lists)
    : m_loaded(lists.BadWordsLoaded)
{
    if (!m_loaded)
        return;
    QHash<QByteArray, int> keyIds;
    QList<QByteArray> keys;
    for (const SpamWord &word : lists.BadWords) {
        const QByteArray key = ' ' + word.Word.toLower() + ' ';
        auto it = keyIds.constFind(key);
        if (it == keyIds.cend()) {
            it = keyIds.insert(key, int(keys.size()));
            keys.append(key);
            m_keyLength.push_back(int(key.size()));
        }
        m_entries.push_back({*it, word.Value});
        m_words.append(word.Word);
    }
    assignClasses(keys);
    m_next.assign(size_t(m_classes), 0);
    m_keyAt.assign(1, -1);
    for (qsizetype i = 0; i < keys.size(); ++i)
        addKey(keys[i], qint32(i));
    buildAutomaton();
}

void SpamWordScanner::assignClasses(const QList<QByteArray> &keys)
{
    m_classOf.fill(0);
    for (const QByteArray &key : keys) {
        for (char c : key) {
            if (m_classOf[quint8(c)] == 0)
                m_classOf[quint8(c)] = quint16(m_classes++);
        }
    }
    // Keys are lower case, so an upper-case letter in the text moves like its lower-case form.
    for (int c = 'A'; c <= 'Z'; ++c)
        m_classOf[size_t(c)] = m_classOf[size_t(c + 32)];
}

void SpamWordScanner::addKey(const QByteArray &key, qint32 id)
{
    // Trie first: 0 marks a missing edge (the root is never a child).
    const size_t width = size_t(m_classes);
    qint32 state = 0;
    for (char c : key) {
        const size_t slot = size_t(state) * width + m_classOf[quint8(c)];
        if (m_next[slot] == 0) {
            m_next[slot] = qint32(m_keyAt.size());
            m_keyAt.push_back(-1);
            m_next.resize(m_next.size() + width, 0);
        }
        state = m_next[slot];
    }
    m_keyAt[size_t(state)] = id;
}

void SpamWordScanner::buildAutomaton()
{
    // Breadth-first: every missing edge borrows the edge of the failure state, which turns
    // the trie into a complete automaton.
    const size_t width = size_t(m_classes);
    const size_t states = m_keyAt.size();
    std::vector<qint32> failure(states, 0);
    m_outputLink.assign(states, -1);
    std::vector<qint32> queue;
    queue.reserve(states);
    for (size_t c = 0; c < width; ++c) {
        if (const qint32 child = m_next[c]; child != 0)
            queue.push_back(child);
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const qint32 state = queue[head];
        const qint32 fail = failure[size_t(state)];
        m_outputLink[size_t(state)]
            = m_keyAt[size_t(fail)] >= 0 ? fail : m_outputLink[size_t(fail)];
        for (size_t c = 0; c < width; ++c) {
            qint32 &edge = m_next[size_t(state) * width + c];
            const qint32 borrowed = m_next[size_t(fail) * width + c];
            if (edge == 0) {
                edge = borrowed;
            } else {
                failure[size_t(edge)] = borrowed;
                queue.push_back(edge);
            }
        }
    }
    m_firstOutput.resize(states);
    for (size_t state = 0; state < states; ++state)
        m_firstOutput[state] = m_keyAt[state] >= 0 ? qint32(state) : m_outputLink[state];
}

void SpamWordScanner::countKeys(QByteArrayView text, std::vector<int> &counts) const
{
    counts.assign(m_keyLength.size(), 0);
    if (m_keyLength.empty())
        return;
    // Where the key's last counted occurrence started; the next one must start 2 or more
    // bytes later, as CountWordHits goes on at p + 2.
    std::vector<qsizetype> lastStart(m_keyLength.size(), std::numeric_limits<qsizetype>::min() / 2);
    const char *data = text.data();
    const qsizetype n = text.size();
    const qint32 *next = m_next.data();
    const quint16 *classOf = m_classOf.data();
    const size_t width = size_t(m_classes);
    qint32 state = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (state == 0) {
            // Every key begins with a blank, so from the root only a blank leads anywhere.
            const void *blank = std::memchr(data + i, ' ', size_t(n - i));
            if (!blank)
                break;
            i = static_cast<const char *>(blank) - data;
        }
        state = next[size_t(state) * width + classOf[quint8(data[i])]];
        for (qint32 s = m_firstOutput[size_t(state)]; s >= 0; s = m_outputLink[size_t(s)]) {
            const int key = m_keyAt[size_t(s)];
            const qsizetype start = i - m_keyLength[size_t(key)] + 1;
            if (start >= lastStart[size_t(key)] + 2 && counts[size_t(key)] != noCount) {
                lastStart[size_t(key)] = start;
                if (++counts[size_t(key)] > std::numeric_limits<qint16>::max())
                    counts[size_t(key)] = noCount;
            }
        }
    }
}

float SpamWordScanner::score(QByteArrayView subject, QByteArrayView body,
                             QList<SpamWordHit> *hits) const
{
    std::vector<int> subjectCounts;
    std::vector<int> bodyCounts;
    countKeys(subject, subjectCounts);
    countKeys(body, bodyCounts);
    float total = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries[i];
        const int inSubject = subjectCounts[size_t(entry.key)];
        const int inBody = bodyCounts[size_t(entry.key)];
        int counted = 0;
        if (inSubject != noCount) {
            if (const auto subjectHits = weightedHits(inSubject, entry.weight)) {
                total += 2 * *subjectHits;
                counted += 2 * inSubject;
            }
        }
        if (inBody != noCount) {
            if (const auto bodyHits = weightedHits(inBody, entry.weight)) {
                total += *bodyHits;
                counted += inBody;
            }
        }
        if (hits && counted > 0)
            hits->append(SpamWordHit {m_words.at(qsizetype(i)), entry.weight, counted});
    }
    return total;
}

bool IsSpamByWords(const SpamWordScanner &words, QByteArrayView subject, QByteArrayView body,
                   float threshold)
{
    return words.isLoaded() && words.score(subject, body) >= threshold;
}

bool IsSpamByWords(const MailLists &lists, QByteArrayView subject, QByteArrayView body,
                   float threshold)
{
    return lists.BadWordsLoaded && IsSpamByWords(SpamWordScanner(lists), subject, body, threshold);
}
