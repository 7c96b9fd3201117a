#include "cmessages.h"

void CMessages::Clear()
{
    m_entries.clear();
    m_positionByKey.clear();
}

bool CMessages::Add(CMessage Message, const QString &Key)
{
    if (!Key.isEmpty() && m_positionByKey.contains(Key))
        return false;
    if (!Key.isEmpty())
        m_positionByKey.insert(Key, qsizetype(m_entries.size()));
    m_entries.push_back({Key, std::make_unique<CMessage>(std::move(Message))});
    return true;
}

CMessage *CMessages::Item(qint32 Index)
{
    return const_cast<CMessage *>(std::as_const(*this).Item(Index));
}

const CMessage *CMessages::Item(qint32 Index) const
{
    if (Index < 1 || size_t(Index) > m_entries.size())
        return nullptr;
    return m_entries[size_t(Index) - 1].message.get();
}

CMessage *CMessages::Item(const QString &Key)
{
    return const_cast<CMessage *>(std::as_const(*this).Item(Key));
}

const CMessage *CMessages::Item(const QString &Key) const
{
    const auto it = m_positionByKey.constFind(Key);
    if (Key.isEmpty() || it == m_positionByKey.cend())
        return nullptr;
    return m_entries[size_t(*it)].message.get();
}

qint32 CMessages::Count() const
{
    return qint32(m_entries.size());
}

bool CMessages::Remove(qint32 Index)
{
    if (Index < 1 || size_t(Index) > m_entries.size())
        return false;
    const qsizetype position = Index - 1;
    if (!m_entries[size_t(position)].key.isEmpty())
        m_positionByKey.remove(m_entries[size_t(position)].key);
    m_entries.erase(m_entries.begin() + position);
    reindexFrom(position);
    return true;
}

bool CMessages::Remove(const QString &Key)
{
    const auto it = m_positionByKey.constFind(Key);
    if (Key.isEmpty() || it == m_positionByKey.cend())
        return false;
    return Remove(qint32(*it + 1));
}

CMessages::Iterator CMessages::begin() const
{
    return Iterator(m_entries.cbegin());
}

CMessages::Iterator CMessages::end() const
{
    return Iterator(m_entries.cend());
}

void CMessages::reindexFrom(qsizetype position)
{
    for (size_t i = size_t(position); i < m_entries.size(); ++i) {
        if (!m_entries[i].key.isEmpty())
            m_positionByKey[m_entries[i].key] = qsizetype(i);
    }
}
