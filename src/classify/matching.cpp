#include "matching.h"

#include "store/maillists.h"

namespace {

const AddressPattern *walkList(const QList<AddressPattern> &patterns, QByteArrayView address)
{
    for (const AddressPattern &pattern : patterns) {
        const std::optional<bool> matches = MatchAddressPattern(pattern, address);
        if (!matches)
            return nullptr;
        if (*matches)
            return &pattern;
    }
    return nullptr;
}

} // namespace

std::optional<bool> MatchAddressPattern(QByteArrayView pattern, QByteArrayView address)
{
    const qsizetype at = address.indexOf('@');
    if (pattern.startsWith('*')) {
        const QByteArrayView domain = at < 0 ? address : address.sliced(at + 1);
        const QByteArrayView patternDomain
            = pattern.size() > 2 ? pattern.sliced(2) : QByteArrayView();
        return patternDomain == domain;
    }
    if (pattern.endsWith('*')) {
        const qsizetype patternAt = pattern.indexOf('@');
        if (patternAt < 0 || at < 0)
            return std::nullopt;
        return pattern.first(patternAt).compare(address.first(at), Qt::CaseInsensitive) == 0;
    }
    return pattern.compare(address, Qt::CaseInsensitive) == 0;
}

bool IsInFriendList(const MailLists &lists, QByteArrayView address)
{
    return friendEntryFor(lists, address) != nullptr;
}

bool IsInBlockedList(const MailLists &lists, QByteArrayView address)
{
    return blockedEntryFor(lists, address) != nullptr;
}

const AddressPattern *friendEntryFor(const MailLists &lists, QByteArrayView address)
{
    return walkList(lists.FriendList, address);
}

const AddressPattern *blockedEntryFor(const MailLists &lists, QByteArrayView address)
{
    return lists.BlockedListLoaded ? walkList(lists.BlockedList, address) : nullptr;
}
