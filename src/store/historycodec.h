#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>

// "History.ini" as bytes: nine lines a record, the eight texts in the order below and then
// MailNumber, every line ended by CR LF (LF alone accepted on reading). No file access here:
// History reads and writes the file.

// The text fields of a record in the order of their lines.
inline constexpr std::array<QByteArray HistoryRecord::*, 8> historyTextFields
    = {&HistoryRecord::Sender,    &HistoryRecord::Subject,    &HistoryRecord::SendDate,
       &HistoryRecord::Size,      &HistoryRecord::Status,     &HistoryRecord::Reason,
       &HistoryRecord::CheckedAt, &HistoryRecord::AccountName};

// A text as a history field holds it: every CR and every LF made a blank.
QByteArray historyField(QByteArray text);

// The file for these records in their order. Records marked deleted are left out, and a line
// break inside a text is written as a blank.
QByteArray encodeHistory(const QList<HistoryRecord> &records);

struct DecodedHistory
{
    QList<HistoryRecord> records; // the whole records before any fault, in file order
    bool isComplete = true; // false when the text ends inside a record or a ninth line is no number
};

// The records of the file's text, their texts as history fields.
[[nodiscard]] DecodedHistory decodeHistory(QByteArrayView bytes);
