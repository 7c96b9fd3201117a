#pragma once

#include "store/records.h"

#include <QByteArrayView>

#include <optional>

struct MailLists;

// One friend or blocked list pattern against a sender address: "*@domain" matches that exact
// domain (case-sensitive), "user@*" that user name at any domain, anything else the address
// itself, ignoring case. Nothing when the pattern cannot be applied (a "user@*" rule where
// the pattern or the address has no "@").
std::optional<bool> MatchAddressPattern(QByteArrayView pattern, QByteArrayView address);

// Whether a pattern of the list matches, walking from the first entry. A pattern that cannot
// be applied ends the walk with false, even when a later one would match.
bool IsInFriendList(const MailLists &lists, QByteArrayView address);
// As IsInFriendList; false whenever the blocked list is not loaded.
bool IsInBlockedList(const MailLists &lists, QByteArrayView address);

// The list entries IsInFriendList and IsInBlockedList find: the pattern that matched, or
// null when the walk finds none.
const AddressPattern *friendEntryFor(const MailLists &lists, QByteArrayView address);
const AddressPattern *blockedEntryFor(const MailLists &lists, QByteArrayView address);
