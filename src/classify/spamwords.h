#pragma once

#include "store/records.h"
#include "store/verdict.h"

#include <QByteArrayView>
#include <QList>

#include <array>
#include <optional>
#include <vector>

struct MailLists;

// The number of occurrences of key in text times weight. After an occurrence at p the search
// goes on at p + 2, so one blank can end one occurrence and begin the next. Nothing when the
// count or the product leaves the 16-bit signed range.
std::optional<float> CountWordHits(QByteArrayView text, QByteArrayView key, qint16 weight);

// The spam words prepared for scoring: every word becomes the key " word " (lower case), and
// all keys are found in one pass over a text. Build it once per word list and reuse it for
// every message; the scores are exactly those of CountWordHits word by word.
class SpamWordScanner
{
public:
    explicit SpamWordScanner(const MailLists &lists);

    bool isLoaded() const { return m_loaded; }
    // 2 x the hits in the subject plus the hits in the body, added word by word in list order;
    // a word whose count or product overflows adds nothing for that text. With hits, also
    // appends every list entry that added to the score, with the count it added.
    float score(QByteArrayView subject, QByteArrayView body,
                QList<SpamWordHit> *hits = nullptr) const;

private:
    struct Entry
    {
        int key;
        qint16 weight;
    };
    void assignClasses(const QList<QByteArray> &keys);
    void addKey(const QByteArray &key, qint32 id);
    void buildAutomaton();
    void countKeys(QByteArrayView text, std::vector<int> &counts) const;

    bool m_loaded = false;
    std::vector<Entry> m_entries; // list order
    QList<QByteArray> m_words; // the words of m_entries as the list writes them
    std::vector<int> m_keyLength;
    // Aho-Corasick automaton over byte classes: every byte that occurs in a key has a class of
    // its own (an upper-case ASCII letter shares that of its lower-case form), all other bytes
    // share class 0, which keeps the table small enough to stay in cache.
    std::array<quint16, 256> m_classOf {};
    int m_classes = 1;
    std::vector<qint32> m_next; // state * m_classes + class -> state
    std::vector<qint32> m_keyAt; // the key ending at a state, -1 for none
    std::vector<qint32> m_outputLink; // next state on the suffix chain that ends a key
    std::vector<qint32> m_firstOutput; // the state itself or its output link
};

// Whether subject and body score at least threshold against the spam words. False when the
// word list is not loaded.
bool IsSpamByWords(const SpamWordScanner &words, QByteArrayView subject, QByteArrayView body,
                   float threshold);
// The same with a scanner built for this one call; prefer the overload above for a mailbox.
bool IsSpamByWords(const MailLists &lists, QByteArrayView subject, QByteArrayView body,
                   float threshold);
