#pragma once

#include "verdictkeys.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

// One spam word found in a message: its weight and how often the score counted it (a hit in
// the subject counts twice), so weight x count is what the word added to the total.
struct SpamWordHit
{
    QByteArray word;
    qint16 weight = 0;
    int count = 0;
    friend bool operator==(const SpamWordHit &, const SpamWordHit &) = default;
};

// What the rules decided about one message and the facts behind it. The evidence fields
// hold what the deciding rule saw; those of rules that did not decide stay at their defaults,
// except the friend entry (kept when a later rule fires) and the word score (kept whenever
// the word test ran, so a kept message shows how far it was from the threshold).
struct Verdict
{
    MessageStatus status = MessageStatus::Kept;
    Reason reason = Reason::NoRule;

    // The sender address the friend and blocked lists were compared with (Return-Path).
    QByteArray address;
    QByteArray listEntry; // the blocked pattern, else the friend pattern that matched
    bool wordsScored = false;
    QList<SpamWordHit> spamWords; // list order, only words found
    float wordTotal = 0.0f;
    float threshold = 0.0f; // the effective threshold the total was held against
    QByteArray attachmentName;
    QByteArray watchedType; // as written in the watched types setting
    qint64 sizeBytes = 0;
    int sizeLimitKB = 0;
    int ageDays = 0;
    int dayLimit = 0;
    int repeatsMessage = 0; // the earlier message (1-based index in the mailbox), 0 for none

    bool isToDelete() const { return status == MessageStatus::Deleted; }
    friend bool operator==(const Verdict &, const Verdict &) = default;
};

// "key=value" lines ending in CR LF. Words are written as they are; a CR or LF in a text
// becomes a blank so that every value stays on its line.
QByteArray encodeVerdict(const Verdict &verdict);

// Reads what encodeVerdict wrote. Unknown keys are skipped; nothing when the status or the
// reason is missing or unknown, or when a number cannot be read.
std::optional<Verdict> decodeVerdict(QByteArrayView bytes);
