#pragma once

#include "cmessage.h"

#include <QHash>
#include <QString>

#include <iterator>
#include <memory>
#include <vector>

// The messages of one mailbox in the order they were added, each optionally under a unique
// key (the message number). Positions count from 1. Items keep their address until removed.
class CMessages
{
public:
    CMessages() = default;
    CMessages(const CMessages &) = delete;
    CMessages &operator=(const CMessages &) = delete;
    CMessages(CMessages &&) = default;
    CMessages &operator=(CMessages &&) = default;

    void Clear();
    // Appends Message under Key (an empty Key appends it without one). A Key already in use
    // is refused: nothing is added and the result is false.
    [[nodiscard]] bool Add(CMessage Message, const QString &Key = {});
    // The message at Index (from 1) or under Key; nullptr when there is none.
    CMessage *Item(qint32 Index);
    const CMessage *Item(qint32 Index) const;
    CMessage *Item(const QString &Key);
    const CMessage *Item(const QString &Key) const;
    qint32 Count() const;
    // Removes one message; false when there is none at Index or under Key.
    bool Remove(qint32 Index);
    bool Remove(const QString &Key);

    // The enumerator: iterates the messages in order (`for (CMessage &m : messages)`).
    class Iterator;
    Iterator begin() const;
    Iterator end() const;

private:
    struct Entry
    {
        QString key;
        std::unique_ptr<CMessage> message;
    };
    void reindexFrom(qsizetype position);

    std::vector<Entry> m_entries;
    QHash<QString, qsizetype> m_positionByKey; // 0-based
};

class CMessages::Iterator
{
public:
    using Base = std::vector<Entry>::const_iterator;
    using iterator_category = std::forward_iterator_tag;
    using value_type = CMessage;
    using difference_type = std::ptrdiff_t;
    using pointer = CMessage *;
    using reference = CMessage &;

    Iterator() = default;
    explicit Iterator(Base it)
        : m_it(it)
    {
    }
    CMessage &operator*() const { return *m_it->message; }
    CMessage *operator->() const { return m_it->message.get(); }
    Iterator &operator++()
    {
        ++m_it;
        return *this;
    }
    Iterator operator++(int)
    {
        Iterator old = *this;
        ++m_it;
        return old;
    }
    bool operator==(const Iterator &other) const { return m_it == other.m_it; }

private:
    Base m_it;
};
