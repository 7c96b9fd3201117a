#pragma once

#include <QByteArray>

class Clock;
struct AppSettings;
struct MailLists;

// A digest of everything a message's verdict depends on besides the message itself: the
// friend and blocked lists, the spam words with their weights, the security level, every
// setting the rules read and, while the age rule is on, the day a message's age is measured
// against. A verdict stored with the fingerprint it was made under still holds while the
// fingerprint is the same, so the message need not be judged again.
//
// The digest is taken over a fixed serialisation (every value with its length, in a fixed
// order), never over addresses or hash tables, so the same inputs give the same fingerprint
// in every run and on every machine. 32 hexadecimal digits.
QByteArray VerdictFingerprint(const AppSettings &settings, const MailLists &lists,
                              const Clock &clock);
